// The save's check of a world against the reader's rules: a file the reader would refuse is never
// written (the hole in it would be lost), and the first field that breaks a rule is named.
#include "scene/scene_local.h"

#include "geometry/mesh.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

bool finite(const float *values, int count)
{
    for (int k = 0; k < count; k++)
        if (!std::isfinite(values[k])) return false;
    return true;
}

// Writes the broken rule into `why`; false, for `return broken(...)`.
__attribute__((format(printf, 3, 4))) bool broken(char *why, size_t why_size, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vsnprintf(why, why_size, format, args);
    va_end(args);
    return false;
}

bool check_settings(const SceneWorld *world, char *why, size_t why_size)
{
    const struct {
        const float *values;
        int count;
        const char *field;
    } floats[] = {{world->view, 3, "view"},
                  {world->ambient_colour, 4, "ambient colour"},
                  {world->light_colour, 4, "light colour"},
                  {world->light_vector, 3, "light vector"},
                  {&world->light_factor, 1, "light factor"}};
    for (const auto &f : floats)
        if (!finite(f.values, f.count)) return broken(why, why_size, "settings: %s not finite", f.field);
    if (world->first_block_index < -1 || world->first_block_index > SCENE_MAX_OBJECTS)
        return broken(why, why_size, "settings: first block index %d out of range", int(world->first_block_index));
    if (!scene_valid_tile_size(world->lightmap_tile_size))
        return broken(why, why_size, "settings: lightmap tile size %d", int(world->lightmap_tile_size));
    return true;
}

bool check_textures(const SceneWorld *world, char *why, size_t why_size)
{
    for (int32_t id = 0; id < SCENE_MAX_TEXTURES; id++) {
        const SceneTexture &texture = world->textures[id];
        if (!texture.name[0]) continue;
        char stored[128], shown[128];  // as the writer stores it: at most 127 bytes
        snprintf(stored, sizeof stored, "%.*s", int(strnlen(texture.name, 127)), texture.name);
        scene_shown_name(stored, shown);
        if (!scene_relative_name(stored))
            return broken(why, why_size, "texture %d \"%s\": name not under the data folder", int(id), shown);
    }
    return true;
}

bool check_vertices(const MeshObject *mesh, const char *object, char *why, size_t why_size)
{
    for (int32_t v = 0; v < mesh->vertex_count; v++) {
        const MeshVertex &vertex = mesh->vertices[v];
        const struct {
            const float *values;
            int count;
            const char *field;
        } fields[] = {{vertex.position, 3, "position"},
                      {vertex.normal, 3, "normal"},
                      {vertex.uv0, 2, "uv0"},
                      {vertex.uv1, 2, "uv1"},
                      {vertex.color, 4, "colour"}};
        for (const auto &f : fields)
            if (!finite(f.values, f.count))
                return broken(why, why_size, "%s: vertex %d %s not finite", object, int(v), f.field);
    }
    return true;
}

bool check_faces(const MeshObject *mesh, const char *object, char *why, size_t why_size)
{
    for (int32_t f = 0; f < mesh->face_count; f++) {
        const MeshFace &face = mesh->faces[f];
        for (int k = 0; k < 3; k++)
            if (face.v[k] < 0 || face.v[k] >= mesh->vertex_count)
                return broken(why, why_size, "%s: face %d vertex index %d out of range", object, int(f),
                              int(face.v[k]));
        if (!finite(face.normal, 3)) return broken(why, why_size, "%s: face %d normal not finite", object, int(f));
        if (!finite(face.uv, 6)) return broken(why, why_size, "%s: face %d uv not finite", object, int(f));
    }
    return true;
}

bool check_object(const SceneWorld *world, int32_t i, int64_t *face_total, char *why, size_t why_size)
{
    const MeshObject *mesh = world->objects[i];
    char shown[128], object[160];
    scene_shown_name(mesh->name, shown);
    snprintf(object, sizeof object, "object %d \"%s\"", int(i), shown);
    if (!finite(mesh->position, 3)) return broken(why, why_size, "%s: position not finite", object);
    if (!finite(mesh->rotation, 3)) return broken(why, why_size, "%s: rotation not finite", object);
    if (mesh->vertex_count < 0 || mesh->face_count < 0 || uint32_t(mesh->vertex_count) > kSceneMaxElements ||
        uint32_t(mesh->face_count) > kSceneMaxElements)
        return broken(why, why_size, "%s: %d vertices and %d faces (at most %u each)", object, int(mesh->vertex_count),
                      int(mesh->face_count), unsigned(kSceneMaxElements));
    *face_total += mesh->face_count;
    if (*face_total > kSceneMaxFileFaces)
        return broken(why, why_size, "%s: more than %lld faces in the file", object, (long long)kSceneMaxFileFaces);
    return check_vertices(mesh, object, why, why_size) && check_faces(mesh, object, why, why_size);
}

bool check_plants(const SceneWorld *world, char *why, size_t why_size)
{
    for (int32_t j = 0; j < world->vegetal_count; j++) {
        if (!scene_finite_plant_params(world->vegetal_params[j]))
            return broken(why, why_size, "plant %d: parameter not finite", int(j));
        if (!finite(world->vegetal_slots[j][0].position, 3))
            return broken(why, why_size, "plant %d: position not finite", int(j));
    }
    return true;
}

}  // namespace

void scene_shown_name(const char *name, char out[128])
{
    size_t n = strnlen(name, 127);
    for (size_t k = 0; k < n; k++) out[k] = (unsigned char)name[k] < 32 ? '?' : name[k];
    out[n] = 0;
}

bool scene_check_world(const SceneWorld *world, bool lightmaps, char *why, size_t why_size)
{
    if (!check_settings(world, why, why_size) || !check_textures(world, why, why_size)) return false;
    int64_t face_total = 0;
    for (int32_t i = 0; i < world->object_count; i++)
        if (world->objects[i] && !check_object(world, i, &face_total, why, why_size)) return false;
    if (!check_plants(world, why, why_size)) return false;
    return !lightmaps || scene_check_lightmaps(world, why, why_size);
}
