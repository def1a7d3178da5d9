// Writes the 3D data of the default data: course_data <run folder>. First the theme's palette
// scene, then the course set "Meadow" built from it with the hole editor's own operations. The
// pictures and texts zavdata writes must be there already: the scene loads its textures, and the
// course reads the theme's colours from script.txt. Everything it writes lies in the run folder.
#include "tools/course_build.h"
#include "tools/course_check.h"
#include "tools/data_palette.h"

#include "geometry/mesh.h"
#include "platform/system.h"
#include "render/render.h"
#include "scene/scene.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

const char *const THEME_SCENE = "data/themes/garden/blocs.qel";

bool write_theme_scene()
{
    auto world = std::make_unique<SceneWorld>();
    bool ok = true;
    for (const DataTexture &texture : g_data_textures)
        if (!scene_set_texture(world.get(), texture.id, texture.name, texture.alpha ? 1 : 0)) {
            fprintf(stderr, "course_data: cannot load %s\n", texture.name);
            ok = false;
        }
    for (const DataPiece &piece : g_data_pieces) {
        MeshObject *mesh = data_piece_build(piece);
        if (!mesh || scene_add_object(world.get(), mesh) < 0) {
            fprintf(stderr, "course_data: cannot build %s\n", piece.name);
            mesh_delete(mesh);
            ok = false;
        }
    }
    const float sun[3] = {0.45f, 1.0f, 0.55f};
    float length = std::sqrt(sun[0] * sun[0] + sun[1] * sun[1] + sun[2] * sun[2]);
    for (int k = 0; k < 3; k++) world->light_vector[k] = sun[k] / length;
    if (ok && !scene_save(world.get(), THEME_SCENE, 0, 0, 0, 2)) {
        fprintf(stderr, "course_data: cannot write %s: %s\n", THEME_SCENE, scene_last_error());
        ok = false;
    }
    world_release_and_reset(world.get());
    world_release_effects(world.get());
    return ok;
}

// The lit copies a save deletes are looked for here: an empty folder of the run folder, removed
// again at the end, so that no save touches the player's own lit copies.
const char *const SCRATCH_FOLDER = "course_data.lit";

bool remove_scratch_folder()
{
    char native[4096];
    return sys_native_path(SCRATCH_FOLDER, native, sizeof native) && (rmdir(native) == 0 || errno == ENOENT);
}

// The holes, the set's description, then every hole checked as the editor and course play will
// read it.
bool build_and_check_holes()
{
    for (int k = 0; k < DATA_COURSE_HOLE_COUNT; k++)
        if (!data_course_build_hole(g_data_course_holes[k], k + 1)) return false;
    if (!data_course_write_set_description()) return false;
    bool ok = true;
    for (int k = 0; k < DATA_COURSE_HOLE_COUNT; k++) {
        const std::string base = data_course_folder() + "/" + data_course_hole_file(k + 1);
        for (const std::string &problem : data_course_check_hole(base)) {
            fprintf(stderr, "course_data: %s\n", problem.c_str());
            ok = false;
        }
    }
    return ok;
}

bool write_course()
{
    remove_scratch_folder();
    _mkdir(SCRATCH_FOLDER);
    data_course_use_folders(SCRATCH_FOLDER);
    bool ok = data_course_load_palette(THEME_SCENE) && build_and_check_holes();
    for (SceneWorld *world : {&g_hole_world, &g_menu_world}) {
        world_release_and_reset(world);
        world_release_effects(world);
    }
    if (!remove_scratch_folder()) {
        fprintf(stderr, "course_data: %s is not empty\n", SCRATCH_FOLDER);
        ok = false;
    }
    return ok;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: course_data <run folder>\n");
        return 2;
    }
    // The headless device: the scene's textures need a renderer, not a display.
    setenv("ZAVGOLF_HEADLESS", "1", 1);
    std::string run = argv[1];
    sys_path_reset(run.c_str(), (run + "/data").c_str());
    RenderContext *context = &g_render_context;
    render_context_construct(context);
    context->width = 64;
    context->height = 64;
    if (!render_create_device(context)) {
        fprintf(stderr, "course_data: no headless device\n");
        return 1;
    }
    bool ok = write_theme_scene() && write_course();
    render_shutdown_device(context);
    render_context_destroy(context);
    scene_shutdown();
    return ok ? 0 : 1;
}
