// Builds the holes of the course set with the editor's own operations (see course_build.h).
#include "tools/course_build.h"

#include "course/editor.h"
#include "game/files.h"
#include "game/menu_theme.h"
#include "geometry/mesh.h"
#include "platform/system.h"
#include "render/render.h"
#include "scene/scene.h"
#include "script/config_main.h"
#include "tools/course_preview.h"
#include "tools/data_palette.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const char *const SAVES_FOLDER = "data/parcours/";
const float PLACE_TOLERANCE = 1e-4f;
// Plants: how many, and how far from the lanes, the origin and each other.
const int PLANTS_MIN = 2, PLANTS_MAX = 5;
const float PLANT_TILE_CLEARANCE = 3.0f, PLANT_REACH = 30.0f, PLANT_SPACING = 4.0f;

int32_t palette_index(const char *name)
{
    for (int32_t i = 0; i < g_menu_world.object_count; i++)
        if (g_menu_world.objects[i] && strcmp(g_menu_world.objects[i]->name, name) == 0) return i;
    return -1;
}

// Places one piece and checks that it landed where the design has it: the editor stacks by what
// is under the point (DECOR pieces included), so a piece out of order lands elsewhere.
bool place(const DataPlacement &p, int number)
{
    const int32_t index = palette_index(p.piece);
    if (index < 0) {
        fprintf(stderr, "course_data: the palette has no %s\n", p.piece);
        return false;
    }
    const int32_t placed = editor_place_block_at(index, p.x, p.z, p.yaw, p.raise);
    const MeshObject *o = placed >= 0 ? g_hole_world.objects[placed] : nullptr;
    if (!o) {
        fprintf(stderr, "course_data: hole %d: the editor refused %s at (%g, %g)\n", number, p.piece, p.x, p.z);
        return false;
    }
    if (std::fabs(o->position[0] - p.x) > PLACE_TOLERANCE || std::fabs(o->position[2] - p.z) > PLACE_TOLERANCE ||
        std::fabs(o->position[1] - p.y) > PLACE_TOLERANCE) {
        fprintf(stderr, "course_data: hole %d: %s landed at (%g, %g, %g), not (%g, %g, %g)\n", number, p.piece,
                o->position[0], o->position[1], o->position[2], p.x, p.y, p.z);
        return false;
    }
    return true;
}

// Distance from (x, z) to the nearest tile square of the hole.
float distance_to_tiles(const DataHoleLayout &hole, float x, float z)
{
    float best = 1e9f;
    for (const DataHoleTile &t : hole.tiles) {
        const float dx = std::fmax(0.0f, std::fabs(x - DATA_TILE * float(t.i)) - DATA_TILE / 2);
        const float dz = std::fmax(0.0f, std::fabs(z - DATA_TILE * float(t.j)) - DATA_TILE / 2);
        best = std::fmin(best, std::sqrt(dx * dx + dz * dz));
    }
    return best;
}

// Trees and bushes away from the lanes, the same ones every run (the editor draws its own random
// words from the same sequence). They do not collide, so play is unchanged.
bool add_plants(const DataHoleLayout &hole, int number)
{
    srand(unsigned(number));
    const int wanted = PLANTS_MIN + rand() % (PLANTS_MAX - PLANTS_MIN + 1);
    std::vector<DataPoint> placed;
    for (int attempt = 0; attempt < 1000 && int(placed.size()) < wanted; attempt++) {
        const float x = float(rand() % 121 - 60) * 0.5f, z = float(rand() % 121 - 60) * 0.5f;
        if (std::sqrt(x * x + z * z) > PLANT_REACH || distance_to_tiles(hole, x, z) < PLANT_TILE_CLEARANCE) continue;
        bool crowded = false;
        for (const DataPoint &p : placed) crowded |= std::hypot(p.x - x, p.z - z) < PLANT_SPACING;
        if (crowded) continue;
        const int32_t kind = rand() % 2 ? kVegetalTree : kVegetalBush;
        if (editor_add_plant_at(kind, x, z) < 0) {
            fprintf(stderr, "course_data: hole %d: the editor refused a plant at (%g, %g)\n", number, x, z);
            return false;
        }
        placed.push_back({x, z});
    }
    if (int(placed.size()) < PLANTS_MIN) {
        fprintf(stderr, "course_data: hole %d: no room for its plants\n", number);
        return false;
    }
    return true;
}

}  // namespace

std::string data_course_folder() { return std::string(SAVES_FOLDER) + g_data_course_name; }

bool data_course_load_palette(const char *scene_path)
{
    const char *config = "data/txt/script.txt";
    FILE *file = sys_fopen(config, "rb");
    if (!file) {
        fprintf(stderr, "course_data: cannot read %s\n", config);
        return false;
    }
    fclose(file);
    config_read_file(g_main_config_table, config);
    SceneWorld *world = &g_menu_world;
    world->renderer = &g_render_context;
    world_release_and_reset(world);
    world_release_effects(world);
    scene_load(world, scene_path, kSceneLoadKeepBuffers);
    if (scene_last_error()[0]) {
        fprintf(stderr, "course_data: cannot load %s: %s\n", scene_path, scene_last_error());
        return false;
    }
    // The first theme's colours, as the theme loader gives them; the light vector is the scene's.
    menu_theme_apply_colours(world, 0);
    menu_theme_arrange_palette(world);
    return true;
}

void data_course_use_folders(const char *scratch_folder)
{
    snprintf(g_saves_folder, sizeof g_saves_folder, "%s", SAVES_FOLDER);
    snprintf(g_lit_cache_folder_personal, sizeof g_lit_cache_folder_personal, "%s", scratch_folder);
}

bool data_course_place_hole(const DataHoleLayout &hole, int number)
{
    editor_start_new_course();
    for (const DataPlacement &p : data_course_placements(hole))
        if (!place(p, number)) return false;
    return true;
}

bool data_course_build_hole(const DataHoleLayout &hole, int number)
{
    if (!data_course_place_hole(hole, number) || !add_plants(hole, number)) return false;
    snprintf(g_edit_text, sizeof g_edit_text, "%s", hole.title);
    g_edit_length = int32_t(strlen(g_edit_text));
    g_edit_par = hole.par;

    const std::string folder = data_course_folder(), file = data_course_hole_file(number);
    const std::string base = folder + "/" + file;
    _mkdir(SAVES_FOLDER);
    _mkdir(folder.c_str());  // either may exist already
    if (!editor_save_hole_to((base + ".qel").c_str())) {
        fprintf(stderr, "course_data: cannot write %s.qel: %s\n", base.c_str(), scene_last_error());
        return false;
    }
    // The name the editor's panel shows for it, relative to the saves folder.
    const std::string relative = std::string(g_data_course_name) + "/" + file;
    if (relative != g_editor.hole_name) {
        fprintf(stderr, "course_data: the editor names %s \"%s\"\n", base.c_str(), g_editor.hole_name);
        return false;
    }
    if (!app_write_hole_description((base + ".txt").c_str(), g_edit_text, g_edit_par)) {
        fprintf(stderr, "course_data: cannot write %s.txt\n", base.c_str());
        return false;
    }
    if (!data_course_write_preview(&g_hole_world, &g_menu_world, (base + ".png").c_str())) {
        fprintf(stderr, "course_data: cannot write %s.png\n", base.c_str());
        return false;
    }
    return true;
}

bool data_course_write_set_description()
{
    const std::string text = data_course_description(), path = data_course_folder() + "/desc.txt";
    if (sys_write_whole(path.c_str(), text.data(), text.size())) return true;
    fprintf(stderr, "course_data: cannot write %s\n", path.c_str());
    return false;
}
