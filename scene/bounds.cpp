// World-space bounds of the objects and the links between touching objects, which play reads
// every frame (block under the ball, camera turn, aim).
#include "scene/scene_local.h"

#include "geometry/mesh.h"
#include "geometry/vecmath.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

struct LinkBox {
    float box[6];  // xmin, xmax, ymin, ymax, zmin, zmax, grown
    int32_t index;
};

bool overlap(const float *a, const float *b, int axis)
{
    return a[2 * axis] <= b[2 * axis + 1] && b[2 * axis] <= a[2 * axis + 1];
}

}  // namespace

void scene_update_object_bounds(MeshObject *mesh)
{
    mesh_update_world_transform(mesh);
    float *b = mesh->bounds;
    b[0] = b[2] = b[4] = 10000.0f;
    b[1] = b[3] = b[5] = -10000.0f;
    for (int32_t v = 0; v < mesh->vertex_count; v++) {
        const float *p = mesh->vertices[v].world_position;
        for (int axis = 0; axis < 3; axis++) {
            b[2 * axis] = std::min(b[2 * axis], p[axis]);
            b[2 * axis + 1] = std::max(b[2 * axis + 1], p[axis]);
        }
    }
}

namespace {

// Object i's box grown by the clip tolerance, when it has vertices and finite bounds (others
// would break the ordering of the sweep).
bool link_box(const MeshObject *mesh, int32_t i, LinkBox *entry)
{
    if (mesh->vertex_count <= 0) return false;
    bool finite = true;
    for (int k = 0; k < 6; k++) {
        entry->box[k] = mesh->bounds[k] + ((k & 1) ? g_clip_epsilon : -g_clip_epsilon);
        finite = finite && std::isfinite(entry->box[k]);
    }
    entry->index = i;
    return finite;
}

// Calls touch(a, b) for pairs of overlapping boxes (positions in `boxes`): a sweep along x whose
// open boxes are kept ordered by their z start, so each box meets only those near it in x and in
// z. A box that has met `cap` others leaves the sweep, so that boxes piled at one place cost
// n x cap pairs, not n x n; where no box touches more than `cap` others, every pair is met.
template <class Touch>
void sweep_pairs(std::vector<LinkBox> &boxes, int32_t cap, Touch touch)
{
    std::sort(boxes.begin(), boxes.end(), [](const LinkBox &a, const LinkBox &b) {
        return a.box[0] < b.box[0] || (a.box[0] == b.box[0] && a.index < b.index);
    });
    std::vector<int32_t> by_end(boxes.size());
    for (size_t k = 0; k < boxes.size(); k++) by_end[k] = int32_t(k);
    std::sort(by_end.begin(), by_end.end(), [&](int32_t a, int32_t b) { return boxes[a].box[1] < boxes[b].box[1]; });

    auto z_start_less = [&](int32_t a, float z) { return boxes[a].box[4] < z; };
    std::vector<int32_t> met(boxes.size(), 0);  // pairs each box has been given
    std::vector<int32_t> open;                  // ordered by z start; no box in it has met `cap`
    float widest_z = 0.0f;                      // of the boxes opened so far: bounds the z starts worth looking at
    size_t closed = 0;
    for (size_t k = 0; k < boxes.size(); k++) {
        const float *b = boxes[k].box;
        while (closed < by_end.size() && boxes[by_end[closed]].box[1] < b[0]) {
            int32_t gone = by_end[closed++];
            if (met[size_t(gone)] >= cap) continue;  // left the sweep already
            auto it = std::lower_bound(open.begin(), open.end(), boxes[gone].box[4], z_start_less);
            while (it != open.end() && *it != gone) ++it;
            if (it != open.end()) open.erase(it);
        }
        int32_t &mine = met[k];
        for (auto it = std::lower_bound(open.begin(), open.end(), b[4] - widest_z, z_start_less);
             mine < cap && it != open.end() && boxes[*it].box[4] <= b[5];) {
            const float *a = boxes[*it].box;
            if (!overlap(a, b, 2) || !overlap(a, b, 1)) {
                ++it;
                continue;
            }
            touch(*it, int32_t(k));
            mine++;
            if (++met[size_t(*it)] >= cap)
                it = open.erase(it);
            else
                ++it;
        }
        widest_z = std::max(widest_z, b[5] - b[4]);
        if (mine < cap) open.insert(std::lower_bound(open.begin(), open.end(), b[4], z_start_less), int32_t(k));
    }
}

}  // namespace

void world_compute_object_bounds(SceneWorld *world)
{
    for (int32_t i = 0; i < world->object_count; i++)
        if (world->objects[i]) scene_update_object_bounds(world->objects[i]);
}

void world_compute_bounds_and_links(SceneWorld *world) { scene_compute_bounds_and_links(world, world->object_count); }

void scene_compute_bounds_and_links(SceneWorld *world, int32_t bounds_known_from)
{
    // Objects that take no part (the tiles before the first block) have no list.
    const int32_t count = world->object_count;
    const int32_t first_linked = world->first_block_index >= 0 ? world->first_block_index : 0;
    std::vector<LinkBox> boxes;
    for (int32_t i = 0; i < count; i++) {
        MeshObject *mesh = world->objects[i];
        if (mesh && i < bounds_known_from) scene_update_object_bounds(mesh);
        if (i < first_linked) continue;
        LinkBox entry;
        if (mesh && link_box(mesh, i, &entry)) boxes.push_back(entry);
        if (!world->links[i]) world->links[i] = static_cast<ObjectLinks *>(malloc(sizeof(ObjectLinks)));
        if (world->links[i]) world->links[i]->count = 0;
    }
    for (int32_t i = 0; i < SCENE_MAX_OBJECTS; i++) {
        if (i == first_linked) i = std::max(count, first_linked);
        if (i >= SCENE_MAX_OBJECTS || !world->links[i]) continue;
        free(world->links[i]);
        world->links[i] = nullptr;
    }

    // Every object's touching objects, at most the cap of them, in a run of the cap's length per
    // object (left uninitialised: a load whose objects touch little writes few of its pages).
    const size_t cap = SCENE_MAX_LINKS;
    std::unique_ptr<int32_t[]> met(new int32_t[size_t(count) * cap]);
    std::vector<int32_t> met_count(size_t(count), 0);
    sweep_pairs(boxes, SCENE_MAX_LINKS, [&](int32_t a, int32_t b) {
        const size_t i = size_t(boxes[a].index), j = size_t(boxes[b].index);
        met[i * cap + size_t(met_count[i]++)] = int32_t(j);
        met[j * cap + size_t(met_count[j]++)] = int32_t(i);
    });
    // No object met more than the cap, so every pair fits both lists. Walking the objects in index
    // order, each hands itself to those it met (meeting is mutual): every list fills ascending.
    for (int32_t j = first_linked; j < count; j++) {
        if (!world->links[j]) continue;  // no memory for its list: no pair of it on either side
        for (size_t k = 0; k < size_t(met_count[size_t(j)]); k++)
            if (ObjectLinks *list = world->links[met[size_t(j) * cap + k]]) list->index[list->count++] = j;
    }
}
