// Writes the theme's palette scene of the default data: course_data <run folder>. The pictures it
// names must be there already (zavdata writes them), since the scene loads its textures.
#include "tools/data_palette.h"

#include "geometry/mesh.h"
#include "platform/system.h"
#include "render/render.h"
#include "scene/scene.h"

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
    bool ok = write_theme_scene();
    render_shutdown_device(context);
    render_context_destroy(context);
    scene_shutdown();
    return ok ? 0 : 1;
}
