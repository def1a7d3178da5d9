// The scene and world: the two worlds (the hole and the menu's theme scene) with their objects,
// settings and derived tables, and the operations that fill and release them.
//
// Lifetimes: a world's objects, plants, maps and textures live from its load (or the editor's
// grid) until world_release_and_reset, which course play calls after each hole. The derived
// tables (render objects, companions, lightmaps, links) are rebuilt by the callers between.
// The releases free the entries below the object count; whoever moves an entry (the editor moves
// the last object into a deleted slot) nulls its old place. Main thread only.
#pragma once

#include "geometry/bsp.h"
#include "scene/vegetal.h"

#include <cstddef>
#include <cstdint>

struct MeshObject;
struct RenderContext;
struct RenderObject;
struct ObjectLightmaps;
struct SceneRayTree;

constexpr int32_t SCENE_MAX_OBJECTS = 8192;
constexpr int32_t SCENE_MAX_LINKS = 128;
constexpr int32_t SCENE_MAP_SLOTS = 128;
constexpr int32_t SCENE_MAX_TEXTURES = 640;
constexpr int32_t SCENE_MAX_VEGETALS = 256;
constexpr int32_t SCENE_SUN_SLOT = 0;
constexpr int32_t SCENE_MAP_TEXTURE_BASE = 640;      // texture of map slot k: 640 + k
constexpr int32_t SCENE_SHADOW_TEXTURE_BASE = 1200;  // course play's shadow of plant j: 1200 + j

// The objects that touch one object, ascending.
struct ObjectLinks {
    int32_t index[SCENE_MAX_LINKS];
    int32_t count;
};

// A map slot: the height data of texture k and the normal map made from it (texture 640 + k).
struct MapSlot {
    uint8_t in_use;
    uint8_t has_texture;  // texture 640 + k was made from the map
    int32_t width;
    int32_t height;
    uint8_t *height_data;  // width x height (malloc)
    uint8_t *map;          // RGBA normal map (malloc)
};

// A texture the world loaded, with its own copy of the pixels.
struct SceneTexture {
    int32_t slot = -1;  // texture slot made by this world; -1 none
    uint8_t options;    // 1 alpha, 4 clamp
    char name[128];
    int32_t width;
    int32_t height;
    uint8_t *pixels;  // RGBA (malloc)
};

typedef void (*SceneProgressFn)(const char *text, float fraction);

struct SceneWorld {
    // Set by the caller and kept by every release.
    RenderContext *renderer = nullptr;  // null: g_render_context
    int32_t play_mode = 0;              // 1 while a hole is played
    uint32_t options = 0;               // one bit per scene_set_option id
    SceneProgressFn load_progress = nullptr;

    // Settings, stored in scene files.
    int32_t first_block_index = -1;  // the first hole block; the GROUND tiles come before
    int32_t scene_word_1 = -1;
    float view[3] = {0.0f, 0.0f, 10.0f};
    uint8_t lit = 0;  // 1 once the world holds lighting
    float ambient_colour[4] = {0.35f, 0.35f, 0.40f, 1.0f};
    float light_colour[4] = {0.75f, 0.72f, 0.65f, 1.0f};
    float light_vector[3] = {0.35777088f, 0.89442719f, 0.26832816f};  // the way the light travels (y down)
    float light_factor = 1.0f;
    int32_t lightmap_tile_size = 16;
    uint8_t lighting_flag = 0;    // the atlas holds this world's blocks
    uint8_t face_list_byte = 1;   // the reader builds face lists and the per-light work
    uint8_t map_slot_marker = 0;  // the normal maps are current

    // Objects (owned) and their derived tables, indexed alike.
    int32_t object_count = 0;
    MeshObject *objects[SCENE_MAX_OBJECTS] = {};
    MeshObject *companions[SCENE_MAX_OBJECTS] = {};             // lit copies (owned); objects[i]->companion
    RenderObject *render_objects[SCENE_MAX_OBJECTS] = {};       // the editor's
    RenderObject *play_render_objects[SCENE_MAX_OBJECTS] = {};  // play's; may be the same handle
    uint8_t object_marks[SCENE_MAX_OBJECTS] = {};               // lightmaps in the atlas
    uint8_t prepare_modes[SCENE_MAX_OBJECTS] = {};              // 0 none, 1 full, 2 reduced
    ObjectLinks *links[SCENE_MAX_OBJECTS] = {};                 // null: no list
    ObjectLightmaps *lightmaps[SCENE_MAX_OBJECTS] = {};         // per-object lighting buffers

    // Face lists: play's light test and the lighting's ray tree (they point at the objects).
    LightBsp light_bsp = {};
    MeshObject *light_meshes[SCENE_MAX_OBJECTS] = {};
    SceneRayTree *ray_tree = nullptr;

    MapSlot maps[SCENE_MAP_SLOTS] = {};
    SceneTexture textures[SCENE_MAX_TEXTURES] = {};

    // Plants: near and far objects, the editor's parameter block and instance record.
    int32_t vegetal_count = 0;
    VegetalObject vegetal_slots[SCENE_MAX_VEGETALS][2] = {};
    VegetalParams vegetal_params[SCENE_MAX_VEGETALS] = {};
    VegetalInstance vegetal_instances[SCENE_MAX_VEGETALS] = {};

    // Course play's shadow tables (it fills and frees them; a release frees what is left).
    uint8_t *shadow_masks[SCENE_MAX_OBJECTS] = {};
    int32_t shadow_mask_sizes[SCENE_MAX_OBJECTS] = {};
    RenderObject *shadow_receivers[SCENE_MAX_OBJECTS] = {};

    RenderObject *standard_effects[1] = {};  // the shadow receivers' effect; may be null
};

// The script of the shadow receivers' effect (standard_effects[0]).
extern const char EFFECT_SCRIPT_SHADOWVEGETALS[];

// The hole being played or edited, and the menu's theme scene (also the editor's palette).
extern SceneWorld g_hole_world;
extern SceneWorld g_menu_world;

// ---- scene files ----------------------------------------------------------------------------------

// scene_load flags.
enum : uint32_t {
    kSceneLoadKeepBuffers = 0x04,      // leave the maps and lightmap buffers for the caller to free
    kSceneLoadKeepColours = 0x08,      // the world keeps its ambient and light colours
    kSceneLoadTile16 = 0x10,           // lightmap tile size 16
    kSceneLoadTile4 = 0x20,            // lightmap tile size 4 (without 0x10)
    kSceneLoadKeepLightVector = 0x40,  // the world keeps its light vector
};

// Reads a scene file into the world (objects appended), then bounds and links: 1 when it held
// lightmaps and was lit from them, else 0. A failure gives 0, logs "scene: <path>: <reason>",
// sets scene_last_error and leaves the world as it was.
uint8_t scene_load(SceneWorld *world, const char *path, uint32_t flags);
// The same from bytes in memory.
uint8_t scene_load_memory(SceneWorld *world, const void *data, size_t size, uint32_t flags);
// Writes the world whole or not at all: 1 written, 0 not (logged, scene_last_error set).
uint8_t scene_save(const SceneWorld *world, const char *path, uint8_t lit, uint32_t a, uint8_t b, uint32_t flags);
// The reason the last load or save failed; empty after one that succeeded.
const char *scene_last_error();

// ---- textures and map slots -------------------------------------------------------------------------

// Loads picture `name` as texture id (0..639; options 1 alpha, 4 clamp), id < 128 with height
// data for map slot id. 1, or 0 (logged; a missing picture leaves the entry named but empty).
int scene_set_texture(SceneWorld *world, int32_t id, const char *name, uint8_t options);
// The world's own RGBA copy of texture id, with its size; null when it has none.
const uint8_t *scene_texture_pixels(const SceneWorld *world, int32_t id, int32_t *width, int32_t *height);
// Unless current: a normal map (texture 640 + k) for each slot in use without one.
void world_alloc_all_map_slots(SceneWorld *world);
// Rebuilds slot k's normal map and texture from height data of its size (null: its own).
void world_build_normal_map_from_height(SceneWorld *world, int32_t k, const uint8_t *height);

// Plant j's near meshes seen from the sun as a new width x height cover map (0 to 255; the
// caller frees it), laid out for course play's point-in-shadow test. Null for a bad j or size.
uint8_t *world_rasterise_object_map(int32_t width, int32_t height, const SceneWorld *world, int32_t j);

// Sets option bit `id` (0 to 31); nothing reads the bits.
void scene_set_option(SceneWorld *world, int32_t id);
// Appends the object (the world owns it): its index, or -1 (logged; still the caller's) when full.
int32_t scene_add_object(SceneWorld *world, MeshObject *mesh);
// Puts `object` (or null) in both render-object tables at i, freeing what it replaces once; 0 for a bad i.
int scene_set_render_object(SceneWorld *world, int32_t i, RenderObject *object);
// Appends a plant's records (random pointer set) and empty near and far objects with its texture
// sets, for the caller to build: its index, or -1 (logged) when 256 plants exist.
int32_t scene_add_vegetal(SceneWorld *world, const VegetalParams *params, const VegetalInstance *instance);
// Clears plant j and moves the last plant into its slot. 0 for an index outside the plants.
int scene_remove_vegetal(SceneWorld *world, int32_t j);

// World-space bounds of every object (after its world transform); no vertices: 10000 / -10000.
void world_compute_object_bounds(SceneWorld *world);
// Bounds, then links between objects whose boxes grown by 0.01 touch, from the first block index
// on when set (objects before it get null). Lists ascending, symmetric, at most 128.
void world_compute_bounds_and_links(SceneWorld *world);

// ---- lighting ----------------------------------------------------------------------------------

// Sets the renderer's tile size, ambient colour and sun (light slot SCENE_SUN_SLOT) from the
// world, frees the lightmap atlas and resets it with the eight colour tiles.
void world_setup_lighting_textures(SceneWorld *world);
// Face lists over the objects of type 2 but object `value` (-2 leaves none out), world transforms
// updated: light_bsp for play's light test and the ray tree of the shadow rays. They point at the
// objects, so they are rebuilt after objects change.
void world_build_object_face_lists(SceneWorld *world, int32_t value);
// Lightmaps of object i from the ambient colour and the sun with shadow rays against the face
// lists, on the light workers; blocks in the atlas, uploaded, and its lit companion. A full atlas
// leaves the object without lightmaps (logged). Main thread; done when it returns.
void lightmap_compute_all(SceneWorld *world, int32_t i);
// Makes object i's render object: full (1) with lightmaps draws the companion with the sun's
// slot; otherwise (or without lightmaps) the reduced form, light in the vertex colours.
void mesh_prepare_world_object(SceneWorld *world, int32_t i, int32_t full);
// Threads that light: 0 one per hardware thread (at most 16), 1 the calling thread only. Parked
// workers are ended and made again on the next use.
void scene_set_light_workers(int32_t count);
// Ends the light workers (the game's shut-down; tests).
void scene_shutdown(void);

// Frees everything the world holds but the caller's fields and the effects, and resets settings.
void world_release_and_reset(SceneWorld *world);
// Frees the standard effects.
void world_release_effects(SceneWorld *world);
// Frees per object the render objects, companions, lightmaps, marks, modes and links.
void world_clear_keep_default(SceneWorld *world);
// world_clear_keep_default, the face lists too; then lit and the lighting flag 0.
void world_clear_for_editor(SceneWorld *world);
// Frees the normal-map buffers and the lightmap buffers; the height data stays.
void world_free_maps_and_objects(SceneWorld *world);
// Writes the identity matrix.
void world_transform_init_identity(float m[16]);
