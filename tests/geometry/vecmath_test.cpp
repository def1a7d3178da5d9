// Matrices: quaternions against Euler turns, inverses of random and singular matrices, views.
#include "geometry/vecmath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

void expect_vec3(const float *v, float x, float y, float z, float tolerance = 1e-5f)
{
    EXPECT_NEAR(v[0], x, tolerance);
    EXPECT_NEAR(v[1], y, tolerance);
    EXPECT_NEAR(v[2], z, tolerance);
}

void expect_mat4(const float *a, const float *b, float tolerance)
{
    for (int i = 0; i < 16; i++) EXPECT_NEAR(a[i], b[i], tolerance) << "element " << i;
}

TEST(Mat4, QuaternionAgreesWithEulerForSingleAxisTurns)
{
    const float angles[] = {-135.0f, -30.0f, 0.0f, 45.0f, 90.0f, 170.0f};
    for (int axis = 0; axis < 3; axis++) {
        for (float angle : angles) {
            float e[16], q[16];
            float xyz[3] = {0, 0, 0};
            xyz[axis] = angle;
            mat4_rotate_euler_deg(mat4_identity(e), xyz[0], xyz[1], xyz[2]);
            float half = angle * kDegToRad * 0.5f;
            float quat[4] = {cosf(half), 0, 0, 0};
            quat[1 + axis] = sinf(half);
            mat4_rotate_quat(mat4_identity(q), quat);
            expect_mat4(e, q, 1e-5f);
        }
    }
    // The first diagonal entry is 1 - 2(y^2 + z^2).
    float m[16];
    mat4_rotate_quat(mat4_identity(m), 0.5f, 0.5f, 0.5f, 0.5f);
    EXPECT_FLOAT_EQ(m[0], 0.0f);
}

TEST(Mat4, InverseOfRandomMatricesAndSingularOnes)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> angle(-180, 180), offset(-2, 2), scale(0.5f, 2);
    for (int trial = 0; trial < 200; trial++) {
        float m[16], inverse[16], product[16], identity[16];
        mat4_identity(m);
        mat4_scale(m, scale(random), scale(random), scale(random));
        mat4_rotate_euler_deg(m, angle(random), angle(random), angle(random));
        mat4_translate(m, offset(random), offset(random), offset(random));
        // Some projective part too, as view-projection products have.
        m[3] = offset(random) * 0.05f;
        ASSERT_EQ(mat4_invert(m, inverse), 1);
        render_mat4_multiply(product, m, inverse);
        expect_mat4(product, mat4_identity(identity), 1e-5f);
        render_mat4_multiply(product, inverse, m);
        expect_mat4(product, identity, 1e-5f);
    }

    float zero[16] = {}, out[16];
    mat4_identity(out);
    EXPECT_EQ(mat4_invert(zero, out), 0);
    EXPECT_EQ(out[0], 1.0f);  // left as it was
    float flat[16];
    mat4_scale(mat4_identity(flat), 1, 0, 1);
    EXPECT_EQ(mat4_invert(flat, out), 0);
    float dependent[16] = {1, 2, 3, 4, 2, 4, 6, 8, 0, 1, 0, 0, 0, 0, 1, 1};
    EXPECT_EQ(D3DXMatrixInverse(out, nullptr, dependent), nullptr);

    float det = 0.0f;
    float s[16];
    mat4_scale(mat4_identity(s), 2, 3, 4);
    ASSERT_EQ(D3DXMatrixInverse(out, &det, s), out);
    EXPECT_NEAR(det, 24.0f, 1e-4f);
    EXPECT_NEAR(out[5], 1.0f / 3.0f, 1e-6f);
    // In place.
    ASSERT_EQ(mat4_invert(s, s), 1);
    EXPECT_NEAR(s[10], 0.25f, 1e-6f);
}

TEST(Mat4, LookAtShadowAndProject)
{
    float view[16];
    float eye[3] = {0, 0, -10}, target[3] = {0, 0, 0};
    g_up_vector[0] = 0;
    g_up_vector[1] = 1;
    g_up_vector[2] = 0;
    mat4_look_at(view, eye, target);
    float p[3] = {0, 0, 0};
    mat4_transform_point(p, view, p);
    expect_vec3(p, 0, 0, 10);
    vec3_set(p, 1, 0, 0);
    mat4_transform_point(p, view, p);
    expect_vec3(p, 1, 0, 10);
    // Looking along up gives a finite view.
    float above[3] = {0, 10, 0};
    mat4_look_at(view, above, target);
    for (float v : view) EXPECT_TRUE(std::isfinite(v));
    g_up_vector[1] = -1;

    // Shadow of (1, 5, 1) on the plane y = 0 from a point light at (0, 10, 0).
    float shadow[16];
    mat4_planar_shadow(shadow, 0, 1, 0, 0, 0, 10, 0, 1);
    float q[3] = {1, 5, 1};
    mat4_transform_project(shadow, q);
    expect_vec3(q, 2, 0, 2);
    // A directional light (w = 0) straight down.
    mat4_planar_shadow(shadow, 0, 1, 0, 0, 0, 1, 0, 0);
    vec3_set(q, 3, 7, -2);
    mat4_transform_project(shadow, q);
    expect_vec3(q, 3, 0, -2);
}

}  // namespace
