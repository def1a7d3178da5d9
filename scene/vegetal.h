// Procedural plants (trees and bushes): the editor's parameter block, the instance record, the
// built plant in one level of detail, and the operations that build, clear and draw it.
//
// Ownership: a VegetalObject owns its meshes and render objects; vegetal_clear frees them and
// keeps the record (position, textures, sway).
#pragma once

#include <cstdint>

struct MeshObject;
struct MeshScratch;
struct RenderContext;
struct RenderObject;

constexpr int32_t kVegetalRandomCount = 4096;
constexpr int32_t kVegetalTree = 3;
constexpr int32_t kVegetalBush = 2;

// The editor's parameter block: 28 words in file order, floats unless noted.
struct VegetalParams {
    int32_t kind;  // 3 tree, 2 bush
    float leaf_density;
    float trunk_taper;
    float trunk_radius;  // relative to the height
    float crown_scale;
    float crown_radius;
    float branches;
    float leaf_cards;
    float card_size;
    float size;      // the trunk's height; a plant is large above 3.0
    int32_t levels;  // branch levels
    float bend;
    uint32_t reserved[6];
    int32_t textures_a[5];  // texture ids of the near set
    int32_t textures_b[5];
};
static_assert(sizeof(VegetalParams) == 112);

// The instance record, in word order. Word 9 points at the shared random table, so it is not a
// 32-bit word on this host and files store the other 17 words.
struct VegetalInstance {
    int32_t kind;
    float trunk_radius;  // parameter word 3
    float crown_scale;   // parameter word 4
    uint32_t word3[3];
    int32_t values[2];  // words 6 and 7: branches and leaf cards
    float card_size;    // parameter word 8
    const float *random;
    int32_t variant;  // word 10: the kind for a tree, the kind - 1 for a bush
    uint32_t reserved[7];
};

// What one draw of a plant submits: the world matrix and the alpha states.
struct VegetalDraw {
    float world[16];
    uint32_t alpha_test;  // 1 while the leaves are drawn alpha-tested
    uint32_t alpha_ref;
};

// One plant in one level of detail (the editor and play hold a near and a far one per plant).
struct VegetalObject {
    RenderContext *renderer;  // null: the game's render context
    float position[3];
    float sway[3];  // degrees, written by course play each frame
    int32_t textures_a[5];
    int32_t textures_b[5];
    // From the build, relative to the position, y down: min y is the top (< 0), max y is 0.
    float bounds_min_y;
    float bounds_max_y;
    int32_t kind;
    int32_t detail;  // 0 near, 1 far
    float size;
    float crown_pivot[3];
    MeshObject *meshes[2];  // trunk and crown (owned)
    int32_t mesh_count;
    RenderObject *render_objects[2];  // owned
    VegetalDraw draw[2];
    uint32_t cache_key;  // of the vertex colours last built; 0 none
};

// 4096 floats in [0, 1) from a fixed generator: the same on every run.
extern const float *const g_vegetal_random;  // kVegetalRandomCount values

// Leaf coverage of the FEUILLES picture (the theme loader fills it; null: opaque leaves).
extern uint8_t *g_leaf_alpha_map;
extern int32_t g_leaf_alpha_width;
extern int32_t g_leaf_alpha_height;

// Gives the scratch room for n vertices and n faces (zeroed, counts 0), releasing what it held.
// 1, or 0 for a bad n or without memory (the scratch is then empty). Freed by mesh_scratch_free.
int vegetal_alloc_arrays(MeshScratch *scratch, int32_t n);
// Builds the plant in one level of detail (0 near, 1 far: fewer sides, branches and larger leaf
// cards) from the instance record and its size (the trunk's height; a bush's is under 1):
// the trunk with its branches, and the crown of leaf cards. The same record and size always give
// the same plant; words out of range are clamped. Instance words 6 and 7 are the branch and leaf
// card counts. 1, or 0 without memory (the plant is then empty).
int vegetal_build(VegetalObject *object, const VegetalInstance *instance, float size, int32_t detail);
// Draws the plant under the context's current world matrix (the plant's place), on a device:
// vertex colours shaded by the light (one-sided, leaves wrapped) and render objects, rebuilt only
// when the light, colours or alpha change; the trunk's matrix, and the crown's turned by the sway
// about its pivot, with the leaves alpha-tested (reference 128), kept in draw[0] and draw[1].
void vegetal_draw(VegetalObject *object, const float *eye, const float *light_vector, const float *ambient,
                  const float *light_colour, float alpha);
// Frees the plant's meshes and render objects; the record stays.
void vegetal_clear(VegetalObject *object);
