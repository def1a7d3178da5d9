// The impulse of one contact: its normal part as the collide job computes it, its friction never
// more than what stops the contact point's slip, so a hard hit never reverses the slip.
#include "tests/physics/physics_test_util.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// The collide job's impulse before friction was bounded by the slip: J along t = n - mu u_t.
void unbounded_impulse(const RigidBody *body, const float *n, const float *r, const float *u, float vn, float e,
                       float mu, float *out)
{
    float ut[3], t[3], rn[3], i_rn[3], c[3];
    for (int k = 0; k < 3; k++) ut[k] = u[k] - vn * n[k];
    if (vec3_dot(ut, ut) > 1.0f) vec3_normalize(ut);
    for (int k = 0; k < 3; k++) t[k] = n[k] - mu * ut[k];
    vec3_normalize(t);
    mat4_transform_point(i_rn, body->world_inverse_inertia, vec3_cross(rn, r, n));
    const float K = body->inverse_mass * vec3_dot(t, n) + vec3_dot(vec3_cross(c, i_rn, r), n);
    vec3_scale(out, t, -(1.0f + e) * vn / K);
}

// The contact point's velocity after impulse P at r, as the step applies it (velocity by the
// inverse mass, spin by the world inverse inertia).
void velocity_after(const RigidBody *body, const float *u, const float *r, const float *P, float *out)
{
    float rp[3], dw[3], c[3];
    mat4_transform_point(dw, body->world_inverse_inertia, vec3_cross(rp, r, P));
    vec3_cross(c, dw, r);
    for (int k = 0; k < 3; k++) out[k] = u[k] + body->inverse_mass * P[k] + c[k];
}

}  // namespace

TEST(PhysicsImpulse, FrictionNeverReversesTheSlipAndTheNormalPartIsKept)
{
    MeshPtr ball = test_ball(0, 0, 0);
    RigidBody box;  // unequal sides, turned: an inertia that is not the same about every axis
    test_box_body(&box, 0.3f, 0.1f, 0.2f, 0, 0, 0);
    const float q[4] = {0.8f, 0.36f, 0.48f, 0.0f};
    memcpy(box.quaternion, q, sizeof q);
    physics_body_prepare(&box);

    std::mt19937 random(2000);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::normal_distribution<float> gauss(0.0f, 1.0f);
    int bounded = 0, unchanged = 0;
    for (int k = 0; k < 2000; k++) {
        SCOPED_TRACE(k);
        const RigidBody *body = k % 2 ? &box : &ball->body;
        float n[3] = {gauss(random), gauss(random), gauss(random)};
        vec3_normalize(n);
        // A contact straight below the centre along the normal, as a sphere or ball meets a face.
        float r[3];
        vec3_scale(r, n, -(0.05f + 0.25f * unit(random)));
        float v[3], w[3], u[3], c[3];
        for (int a = 0; a < 3; a++) {
            v[a] = 15.0f * gauss(random) / 1.7f;
            w[a] = 150.0f * gauss(random) / 1.7f;
        }
        vec3_add(u, v, vec3_cross(c, w, r));
        float vn = vec3_dot(u, n);
        if (vn > -0.01f) {  // approaching
            for (int a = 0; a < 3; a++) u[a] -= (vn + 0.01f + unit(random)) * n[a];
            vn = vec3_dot(u, n);
        }
        const float e = unit(random), mu = unit(random);
        float P[3], before[3];
        ASSERT_EQ(physics_contact_impulse(body, nullptr, n, r, nullptr, u, vn, e, mu, P), 1);
        unbounded_impulse(body, n, r, u, vn, e, mu, before);
        ASSERT_TRUE(test_finite(P));

        const float normal = vec3_dot(P, n), normal_before = vec3_dot(before, n);
        EXPECT_NEAR(normal, normal_before, 1e-4f * fabsf(normal_before) + 1e-6f);
        float tangential[3], tangential_before[3], slip[3], slip_after[3], after[3];
        for (int a = 0; a < 3; a++) {
            tangential[a] = P[a] - normal * n[a];
            tangential_before[a] = before[a] - normal_before * n[a];
            slip[a] = u[a] - vn * n[a];
        }
        const float friction = vec3_length(tangential), friction_before = vec3_length(tangential_before);
        EXPECT_LE(friction, friction_before * (1.0f + 1e-5f) + 1e-6f);
        EXPECT_LE(friction, mu * normal * (1.0f + 1e-5f) + 1e-6f);  // inside the friction cone
        velocity_after(body, u, r, P, after);
        const float vn_after = vec3_dot(after, n);
        for (int a = 0; a < 3; a++) slip_after[a] = after[a] - vn_after * n[a];
        const float slip2 = vec3_dot(slip, slip);
        EXPECT_GE(vec3_dot(slip_after, slip), -1e-4f * slip2 - 1e-6f);
        if (friction < friction_before * (1.0f - 1e-4f)) {
            bounded++;
            // Bounded friction stops the slip along its direction exactly.
            EXPECT_NEAR(vec3_dot(slip_after, slip), 0.0f, 1e-3f * slip2 + 1e-5f);
        } else {
            unchanged++;
            for (int a = 0; a < 3; a++) EXPECT_NEAR(P[a], before[a], 1e-4f * vec3_length(before) + 1e-6f);
        }
    }
    // Both kinds of contact came up often.
    EXPECT_GT(bounded, 200);
    EXPECT_GT(unchanged, 200);
}

TEST(PhysicsImpulse, NoContactWithoutAPositiveK)
{
    RigidBody fixed;
    test_sphere_body(&fixed, 0.1f, 0, 0, 0);
    fixed.inverse_mass = 0.0f;
    memset(fixed.world_inverse_inertia, 0, sizeof fixed.world_inverse_inertia);
    const float n[3] = {0, -1, 0}, r[3] = {0, 0.1f, 0}, u[3] = {1, 2, 0};
    float P[3] = {7, 7, 7};
    EXPECT_EQ(physics_contact_impulse(&fixed, nullptr, n, r, nullptr, u, -2.0f, 0.5f, 0.4f, P), 0);
    EXPECT_EQ(P[0], 7.0f);  // nothing written
}
