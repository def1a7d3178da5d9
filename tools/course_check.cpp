// The shipped holes' rules (see course_check.h).
#include "tools/course_check.h"

#include "codecs/codecs.h"
#include "game/files.h"
#include "geometry/mesh.h"
#include "platform/system.h"
#include "render/render.h"
#include "scene/scene.h"
#include "tools/course_preview.h"

#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

void note(std::vector<std::string> *problems, const char *format, ...) __attribute__((format(printf, 2, 3)));
void note(std::vector<std::string> *problems, const char *format, ...)
{
    char line[512];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    problems->push_back(line);
}

bool has(const char *name, const char *word) { return strstr(name, word) != nullptr; }

// The object's world bounds (as the load or the editor computed them) within reach.
void check_reach(const MeshObject *o, int32_t i, std::vector<std::string> *problems)
{
    const float *b = o->bounds;
    float far = 0;
    for (int corner = 0; corner < 8; corner++) {
        const float x = b[corner & 1], y = b[2 + (corner >> 1 & 1)], z = b[4 + (corner >> 2 & 1)];
        far = std::fmax(far, std::sqrt(x * x + y * y + z * z));
    }
    const bool inside_xz = std::fabs(b[0]) <= DATA_HOLE_REACH_XZ && std::fabs(b[1]) <= DATA_HOLE_REACH_XZ &&
                           std::fabs(b[4]) <= DATA_HOLE_REACH_XZ && std::fabs(b[5]) <= DATA_HOLE_REACH_XZ;
    if (!inside_xz || !(far <= DATA_HOLE_REACH))
        note(problems, "object %d (%s) reaches x %g..%g, z %g..%g, %g from the origin", int(i), o->name, b[0], b[1],
             b[4], b[5], far);
}

void check_description(const std::string &path, std::vector<std::string> *problems)
{
    FILE *file = sys_fopen(path.c_str(), "rb");
    if (!file) {
        note(problems, "%s is missing", path.c_str());
        return;
    }
    fclose(file);
    g_hole_name[0] = '\0';
    g_hole_par = -1;
    app_read_hole_description(path.c_str());
    const size_t length = strlen(g_hole_name);
    if (length == 0 || length > size_t(DATA_HOLE_TITLE_MAX))
        note(problems, "%s: the title \"%s\" is not 1 to %d characters", path.c_str(), g_hole_name,
             int(DATA_HOLE_TITLE_MAX));
    if (g_hole_par < 1 || g_hole_par > 9) note(problems, "%s: PAR %d is not 1 to 9", path.c_str(), int(g_hole_par));
}

void check_preview(const std::string &path, std::vector<std::string> *problems)
{
    ImageData image = {};
    if (png_load_file(path.c_str(), &image, 0) != 1) {
        note(problems, "%s does not load", path.c_str());
        return;
    }
    if (image.width != DATA_PREVIEW_SIZE || image.height != DATA_PREVIEW_SIZE)
        note(problems, "%s is %d x %d, not %d x %d", path.c_str(), int(image.width), int(image.height),
             DATA_PREVIEW_SIZE, DATA_PREVIEW_SIZE);
    free(image.pixels);
}

}  // namespace

std::vector<std::string> data_course_check_world(const SceneWorld *world)
{
    std::vector<std::string> problems;
    const int32_t count = world->object_count;
    if (world->first_block_index != DATA_HOLE_GROUND_TILES)
        note(&problems, "the first block index is %d, not %d", int(world->first_block_index),
             int(DATA_HOLE_GROUND_TILES));
    if (count > DATA_HOLE_OBJECTS_MAX) note(&problems, "%d objects, more than %d", int(count), int(DATA_HOLE_OBJECTS_MAX));
    int starts = 0, blocs = 0, pales = 0;
    for (int32_t i = 0; i < count; i++) {
        const MeshObject *o = world->objects[i];
        if (!o) {
            note(&problems, "object %d is missing", int(i));
            continue;
        }
        const bool ground = strcmp(o->name, "GROUND") == 0;
        if (i < DATA_HOLE_GROUND_TILES) {
            if (!ground) note(&problems, "object %d is %s, not a GROUND tile", int(i), o->name);
            continue;
        }
        if (has(o->name, "GROUND")) note(&problems, "object %d (%s) is a GROUND tile among the blocks", int(i), o->name);
        check_reach(o, i, &problems);
        starts += has(o->name, "START");
        blocs += has(o->name, "BLOC") && !has(o->name, "DECOR");
        if (has(o->name, "PALES")) {
            pales++;
            // The drawn blades turn about the object's centre alone: only an unturned one matches
            // its collider.
            if (o->rotation[0] != 0 || o->rotation[1] != 0 || o->rotation[2] != 0)
                note(&problems, "object %d (PALES) is turned (%g, %g, %g)", int(i), o->rotation[0], o->rotation[1],
                     o->rotation[2]);
        }
    }
    if (starts != 1) note(&problems, "%d START objects, not one", starts);
    if (blocs == 0) note(&problems, "no BLOC to play on");
    if (pales > DATA_HOLE_PALES_MAX) note(&problems, "%d PALES, more than %d", pales, int(DATA_HOLE_PALES_MAX));
    return problems;
}

std::vector<std::string> data_course_check_hole(const std::string &base)
{
    std::vector<std::string> problems;
    const size_t n = base.size();
    if (n < 2 || !isdigit(static_cast<unsigned char>(base[n - 1])) || !isdigit(static_cast<unsigned char>(base[n - 2])))
        note(&problems, "%s: the name does not end in two digits", base.c_str());
    auto world = std::make_unique<SceneWorld>();
    world->renderer = &g_render_context;
    const std::string scene = base + ".qel";
    scene_load(world.get(), scene.c_str(), kSceneLoadKeepBuffers | kSceneLoadKeepColours | kSceneLoadKeepLightVector);
    if (scene_last_error()[0]) {
        note(&problems, "%s does not load: %s", scene.c_str(), scene_last_error());
    } else {
        for (const std::string &problem : data_course_check_world(world.get()))
            problems.push_back(scene + ": " + problem);
    }
    world_release_and_reset(world.get());
    world_release_effects(world.get());
    check_description(base + ".txt", &problems);
    check_preview(base + ".png", &problems);
    return problems;
}
