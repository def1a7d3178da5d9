// Shape trees: boxes over the faces of one tag, split in two along one axis per level.
#include "physics/physics_local.h"

#include <new>

namespace {

bool face_corners(const MeshObject *mesh, const MeshFace *face, const float *out[3])
{
    for (int k = 0; k < 3; k++) {
        int32_t v = face->v[k];
        if (v < 0 || v >= mesh->vertex_count) return false;
        out[k] = mesh->vertices[v].position;
    }
    return true;
}

// Tags of the faces on one side of the mean: every tagged face whose centroid lies strictly above
// (side +1) or below (side -1) `mean` on `axis` gets tag + 1. Returns how many were marked.
int32_t mark_side(MeshObject *mesh, int32_t tag, int axis, float mean, int side)
{
    int32_t marked = 0;
    for (int32_t f = 0; f < mesh->face_count; f++) {
        MeshFace *face = &mesh->faces[f];
        const float *c[3];
        if (face->tag != tag || !face_corners(mesh, face, c)) continue;
        float centroid = (c[0][axis] + c[1][axis] + c[2][axis]) * 0.33333334f;
        if (side > 0 ? centroid > mean : centroid < mean) {
            face->tag = tag + 1;
            marked++;
        }
    }
    return marked;
}

void restore_tags(MeshObject *mesh, int32_t tag)
{
    for (int32_t f = 0; f < mesh->face_count; f++)
        if (mesh->faces[f].tag == tag + 1) mesh->faces[f].tag = tag;
}

}  // namespace

ShapeTreeNode *physics_build_shape_tree(MeshObject *mesh, int32_t tag, int32_t depth)
{
    if (!mesh) return nullptr;
    float sum[3] = {0, 0, 0};
    int32_t tagged = 0;
    for (int32_t f = 0; f < mesh->face_count; f++) {
        const float *c[3];
        if (mesh->faces[f].tag != tag || !face_corners(mesh, &mesh->faces[f], c)) continue;
        for (int k = 0; k < 3; k++) sum[k] += c[0][k] + c[1][k] + c[2][k];
        tagged++;
    }
    // No face to bound: no tree (the caller's precondition; a box of nothing has no size).
    if (tagged == 0) return nullptr;
    ShapeTreeNode *node = new (std::nothrow) ShapeTreeNode{};
    if (!node) return nullptr;
    node->type = 2;
    for (int k = 0; k < 3; k++) node->axes[k][k] = 1.0f;

    float n = float(3 * tagged);
    float mean[3] = {sum[0] / n, sum[1] / n, sum[2] / n};
    float hi[3] = {-10000.0f, -10000.0f, -10000.0f}, lo[3] = {10000.0f, 10000.0f, 10000.0f};
    for (int32_t f = 0; f < mesh->face_count; f++) {
        const float *c[3];
        if (mesh->faces[f].tag != tag || !face_corners(mesh, &mesh->faces[f], c)) continue;
        for (int corner = 0; corner < 3; corner++)
            for (int k = 0; k < 3; k++) {
                float d = c[corner][k] - mean[k];
                if (d > hi[k]) hi[k] = d;
                if (d < lo[k]) lo[k] = d;
            }
    }
    for (int k = 0; k < 3; k++) {
        node->centre[k] = mean[k] + (hi[k] + lo[k]) / 2.0f;
        node->half_sizes[k] = (hi[k] - lo[k]) / 2.0f;
        node->lower_offsets[k] = -node->half_sizes[k];
    }
    if (depth <= 0) return node;

    node->type = 1;
    float ratio[3];
    for (int k = 0; k < 3; k++) {
        int32_t above = 0;
        for (int32_t f = 0; f < mesh->face_count; f++) {
            const float *c[3];
            if (mesh->faces[f].tag != tag || !face_corners(mesh, &mesh->faces[f], c)) continue;
            if ((c[0][k] + c[1][k] + c[2][k]) * 0.33333334f > mean[k]) above++;
        }
        ratio[k] = float(above) / float(mesh->face_count - above);
    }
    // Ties (and a ratio that is not a number) keep the lower axis.
    int axis = 0;
    for (int k = 1; k < 3; k++)
        if (ratio[k] > ratio[axis]) axis = k;

    // A side with no face gets no child.
    if (mark_side(mesh, tag, axis, mean[axis], 1) > 0) node->first = physics_build_shape_tree(mesh, tag + 1, depth - 1);
    restore_tags(mesh, tag);
    if (mark_side(mesh, tag, axis, mean[axis], -1) > 0)
        node->second = physics_build_shape_tree(mesh, tag + 1, depth - 1);
    restore_tags(mesh, tag);
    return node;
}
