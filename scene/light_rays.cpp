// The ray tree of the face lists: the world's triangles for the lighting's shadow rays.
#include "scene/scene_local.h"

#include <cstdlib>

struct SceneRayTree {
    void *nodes;      // malloc
    void *triangles;  // malloc
    int32_t node_count;
    int32_t triangle_count;
};

void ray_tree_free(SceneRayTree *tree)
{
    if (!tree) return;
    free(tree->nodes);
    free(tree->triangles);
    delete tree;
}
