// The mesh utilities' edge cases.
#include "tests/course/course_test_util.h"

#include <functional>

namespace {

// A one-face mesh whose three vertex normals are `n`, shaded; the first vertex's grey.
float shade_of(float nx, float ny, float nz)
{
    MeshObject *m = mesh_new();
    mesh_alloc_arrays(m, 3);
    m->vertex_count = 3;
    m->face_count = 1;
    for (int k = 0; k < 3; k++) {
        m->vertices[k].position[k] = 1.0f;
        vec3_set(m->vertices[k].normal, nx, ny, nz);
        m->faces[0].v[k] = k;
    }
    mesh_link_face_vertices(m);
    course_mesh_shade_and_build(m, 1);
    float grey = m->vertices[0].color[0];
    EXPECT_EQ(m->faces[0].build_flag, 0);
    mesh_delete(m);
    return grey;
}

}  // namespace

TEST(CourseMesh, EdgeTable)
{
    CourseHole hole;
    hole.block("BLOC", 0, 0, 0, 2, 1.2f, 2);      // x -1..1, top -1.2
    hole.block("BLOC", 0, -1.2f, 0, 1, 1.0f, 1);  // stacked: top -2.2
    hole.finish();
    const float p0[3] = {0.1f, -0.5f, 0.1f}, p1[3] = {5.0f, -0.5f, 0.1f};  // from inside the first block
    struct Case {
        const char *name;
        float step;
        std::function<float()> run;
        float expected;
    } cases[] = {
        {"x on the block's edge is not under it", 0.5f, [] { return course_ground_height_at(-1.0f, 0, 0.5f); }, 0.0f},
        {"the stacked top wins", 0.5f, [] { return course_ground_height_at(0.2f, 0, 0.2f); }, -2.0f},
        {"top -1.2 with step 0.5 gives -1.0", 0.5f, [] { return course_ground_height_at(0.8f, 0, 0.8f); }, -1.0f},
        {"step 0 returns the top unsnapped", 0.0f, [] { return course_ground_height_at(0.8f, 0, 0.8f); }, -1.2f},
        {"shade 1.5 gives 1.0", 0.5f, [] { return shade_of(0.5f, 0.5f, 0.5f); }, 1.0f},
        {"shade -1 gives 0.3", 0.5f, [] { return shade_of(-1.0f, 0.0f, 0.0f); }, 0.3f},
        {"a segment starting inside picks", 0.5f,
         [&] { return float(editor_pick_object_box(hole.world->objects[kPlayFirstHoleObject], p0, p1)); }, 1.0f},
        {"a box segment crossing the box hits", 0.5f,
         [] {
             const float a[3] = {-1, -1, -1}, b[3] = {1, 1, 1}, s0[3] = {-3, 0, 0}, s1[3] = {3, 0, 0};
             return float(course_box_segment_hit(a, b, s0, s1));
         },
         1.0f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        g_block_step = c.step;
        EXPECT_NEAR(c.run(), c.expected, 1e-5f);
    }
    g_block_step = 0.5f;
}
