// Joint chains: pair exclusion, the constraint matrix of a chain, and the joint pass that solves
// each chain's velocities and then its positions once per sub-step.
#include "physics/physics_local.h"

#include "geometry/dense.h"

#include <cmath>
#include <cstring>

namespace {

int32_t rows_of(int32_t type)
{
    switch (type) {
    case 1:
        return 4;
    case 3:
        return 5;
    default:
        return 3;
    }
}

// p . R: a body-frame vector turned to world orientation.
void to_world(float *out, const RigidBody *body, const float *v)
{
    mat4_transform_point(out, body->rotation_matrix, v);
}

int32_t body_index(const PhysicsWorld *world, const RigidBody *body)
{
    if (!body) return -1;
    for (int32_t i = 0; i < world->body_count && i < kPhysicsMaxBodies; i++)
        if (world->bodies[i] == body) return i;
    return -1;
}

// The first three rows of a skew block (rows 0 to 2 of matrix_set_skew_block).
void skew_rows(DenseMatrix *block, const float *a, float s)
{
    DenseMatrix full{};
    matrix_set_skew_block(&full, a[0], a[1], a[2], s);
    matrix_resize_zero(block, 3, 6);
    if (full.data && block->data) memcpy(block->data, full.data, sizeof(float) * 18);
    matrix_free_data(&full);
}

// Copies a body's block into J at the joint's rows, when the body has columns.
void place(DenseMatrix *J, const Joint *head, const Joint *joint, const RigidBody *body, const DenseMatrix *block)
{
    int32_t index = body->joint_system_index;
    if (index < 0 || index >= head->chain_body_count) return;
    matrix_copy_block(J, head->row_offsets[joint->joint_index], 6 * index, block);
}

// The two components of v that the hinge selector m picks (z greatest: x, y; else y greatest:
// x, z; otherwise z, y).
void hinge_pick(const float *m, const float *v, float *out)
{
    float ax = fabsf(m[0]), ay = fabsf(m[1]), az = fabsf(m[2]);
    if (az > ax && az > ay) {
        out[0] = v[0];
        out[1] = v[1];
    } else if (ay > ax && ay > az) {
        out[0] = v[0];
        out[1] = v[2];
    } else {
        out[0] = v[2];
        out[1] = v[1];
    }
}

void world_anchors(const Joint *j, float *a1w, float *b1w, float *a2w, float *b2w)
{
    to_world(a1w, j->body_a, j->anchor_a);
    to_world(b1w, j->body_b, j->anchor_b);
    to_world(a2w, j->body_a, j->axis_a);
    to_world(b2w, j->body_b, j->axis_b);
}

// (dt / 2) (0, w) q added to q, then normalised.
void turn(float *q, const float *w, float scale)
{
    const float v[4] = {0.0f, w[0], w[1], w[2]};
    float spin[4], length = 0.0f;
    quat_multiply(spin, v, q);
    for (int k = 0; k < 4; k++) {
        q[k] += scale * spin[k];
        length += q[k] * q[k];
    }
    length = sqrtf(length);
    if (length > 0.0f && std::isfinite(length))
        for (int k = 0; k < 4; k++) q[k] /= length;
}

// The 6 x 6 block of a chain body and its right side: inertia and mass, or the identity.
void body_block(DenseMatrix *block, const RigidBody *body, bool identity)
{
    matrix_resize_zero(block, 6, 6);
    if (!block->data) return;
    if (identity) {
        for (int k = 0; k < 6; k++) block->data[k * 7] = 1.0f;
        return;
    }
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++) block->data[r * 6 + c] = body->world_inertia[c * 4 + r];
    for (int k = 3; k < 6; k++) block->data[k * 7] = body->mass;
}

DenseMatrix *negated_transpose(const DenseMatrix *J)
{
    DenseMatrix *N = matrix_transpose(J);
    if (N && N->data)
        for (int32_t k = 0; k < N->rows * N->columns; k++) N->data[k] = -N->data[k];
    return N;
}

// A = [[M, -J^T], [J, 0]] for the chain; the body rows of b are the caller's.
bool assemble(DenseMatrix *A, const Joint *head, const DenseMatrix *J, const DenseMatrix *N, bool position_stage)
{
    const int32_t bodies = head->chain_body_count;
    int32_t n = 6 * bodies + head->total_rows;
    if (!matrix_resize_zero(A, n, n)) return false;
    DenseMatrix block{};
    for (int32_t i = 0; i < bodies; i++) {
        const RigidBody *body = head->chain_bodies[i];
        bool identity = body->joint_owned || (position_stage && body->contacts);
        body_block(&block, body, identity);
        matrix_copy_block(A, 6 * i, 6 * i, &block);
    }
    matrix_free_data(&block);
    matrix_copy_block(A, 6 * bodies, 0, J);
    matrix_copy_block(A, 0, 6 * bodies, N);
    return true;
}

void velocity_stage(PhysicsWorld *world, Joint *head)
{
    const float h = world->substep_time;
    DenseMatrix *J = physics_joint_build_system(head);
    DenseMatrix *N = J ? negated_transpose(J) : nullptr;
    const int32_t bodies = head->chain_body_count;
    DenseMatrix A{}, b{};
    DenseMatrix *x = nullptr;
    if (J && N && assemble(&A, head, J, N, false) && matrix_resize_zero(&b, A.rows, 1)) {
        if (head->type == 3)
            for (Joint *j = head; j; j = j->next) {
                if (j->type != 3 || !j->body_a || !j->body_b) continue;
                float a1w[3], b1w[3], a2w[3], b2w[3];
                world_anchors(j, a1w, b1w, a2w, b2w);
                float la = vec3_length(a2w), lb = vec3_length(b2w);
                if (la > 0.001f) vec3_scale(j->body_a->spin_axis, a2w, 1.0f / la);
                if (lb > 0.001f) vec3_scale(j->body_b->spin_axis, b2w, 1.0f / lb);
            }
        for (int32_t i = 0; i < bodies; i++) {
            const RigidBody *body = head->chain_bodies[i];
            if (body->joint_owned) continue;
            float w[3], spin[3];
            float along = vec3_dot(body->angular_velocity, body->spin_axis) * body->spin_damping;
            for (int k = 0; k < 3; k++) w[k] = body->angular_velocity[k] - along * body->spin_axis[k];
            mat4_transform_point(spin, body->world_inertia, w);
            for (int k = 0; k < 3; k++) {
                b.data[6 * i + k] = spin[k] + body->torque[k] * h;
                b.data[6 * i + 3 + k] = body->mass * body->velocity[k] + body->force[k] * h;
            }
        }
        x = matrix_solve(&A, &b);
    }
    // A system without a solution (a zero pivot) leaves the chain as it is for this sub-step.
    if (x && x->data) {
        for (int32_t i = 0; i < bodies; i++) {
            RigidBody *body = head->chain_bodies[i];
            if (body->joint_owned) continue;
            if (head->type != 3) body->asleep = 0;
            for (int k = 0; k < 3; k++) body->position[k] += body->velocity[k] * h;
            turn(body->quaternion, body->angular_velocity, h / 2.0f);
            bool finite = true;
            for (int k = 0; k < 6; k++) finite = finite && std::isfinite(x->data[6 * i + k]);
            if (!finite) continue;
            for (int k = 0; k < 3; k++) {
                body->angular_velocity[k] = x->data[6 * i + k];
                body->velocity[k] = x->data[6 * i + 3 + k];
            }
        }
    }
    matrix_delete(x);
    matrix_delete(J);
    matrix_delete(N);
    matrix_free_data(&A);
    matrix_free_data(&b);
}

void position_stage(Joint *head)
{
    const int32_t bodies = head->chain_body_count;
    for (int32_t i = 0; i < bodies; i++)
        if (!head->chain_bodies[i]->joint_owned) physics_body_prepare_matrices(head->chain_bodies[i]);
    DenseMatrix *J = physics_joint_build_system(head);
    DenseMatrix *N = J ? negated_transpose(J) : nullptr;
    DenseMatrix A{}, b{};
    DenseMatrix *x = nullptr;
    if (J && N && assemble(&A, head, J, N, true) && matrix_resize_zero(&b, A.rows, 1)) {
        for (Joint *j = head; j; j = j->next) {
            if (!j->body_a || !j->body_b) continue;
            float a1w[3], b1w[3], a2w[3], b2w[3], pa[3], pb[3], gap[3];
            world_anchors(j, a1w, b1w, a2w, b2w);
            vec3_add(pa, a1w, j->body_a->position);
            vec3_add(pb, b1w, j->body_b->position);
            float *rows = b.data + 6 * bodies + head->row_offsets[j->joint_index];
            if (j->type == 2) vec3_sub(gap, j->fixed_point, pa);
            else vec3_sub(gap, pb, pa);
            for (int k = 0; k < 3; k++) rows[k] = gap[k];
            if (j->type == 3) {
                float m[3], d[3], pick[2];
                vec3_add(m, a2w, b2w);
                vec3_scale(m, m, 0.5f);
                vec3_sub(d, b2w, a2w);
                hinge_pick(m, d, pick);
                rows[3] = pick[0];
                rows[4] = pick[1];
            }
        }
        x = matrix_solve(&A, &b);
    }
    if (x && x->data) {
        for (int32_t i = 0; i < bodies; i++) {
            RigidBody *body = head->chain_bodies[i];
            if (body->joint_owned || body->contacts) continue;
            const float *r = x->data + 6 * i, *t = r + 3;
            if (!std::isfinite(r[0] + r[1] + r[2] + t[0] + t[1] + t[2])) continue;
            for (int k = 0; k < 3; k++) body->position[k] += t[k];
            turn(body->quaternion, r, 0.5f);
        }
    }
    matrix_delete(x);
    matrix_delete(J);
    matrix_delete(N);
    matrix_free_data(&A);
    matrix_free_data(&b);
}

void sleep_rule(Joint *head)
{
    for (int32_t i = 0; i < head->chain_body_count; i++) {
        RigidBody *body = head->chain_bodies[i];
        if (body->joint_owned || body->accumulate) continue;
        if (!(vec3_length(body->velocity) <= 0.01f && vec3_length(body->angular_velocity) <= 0.01f)) continue;
        if (body->wake_timer < 1) body->asleep = 1;
        else body->wake_timer--;
    }
}

}  // namespace

void physics_joint_release_chains(PhysicsWorld *world)
{
    for (int32_t c = 0; c < world->joint_chain_count && c < kPhysicsMaxJointChains; c++) {
        Joint *joint = world->joint_chains[c];
        while (joint) {
            Joint *next = joint->next;
            if (joint->body_b && joint->body_b->joint_owned) {
                mesh_free_body_shapes(joint->body_b);
                delete joint->body_b;
            }
            delete[] joint->row_offsets;
            delete[] joint->row_counts;
            delete joint;
            joint = next;
        }
        world->joint_chains[c] = nullptr;
    }
    world->joint_chain_count = 0;
}

void physics_mark_jointed_pairs(PhysicsWorld *world)
{
    for (int32_t c = 0; c < world->joint_chain_count && c < kPhysicsMaxJointChains; c++)
        for (Joint *j = world->joint_chains[c]; j; j = j->next) {
            int32_t a = body_index(world, j->body_a), b = body_index(world, j->body_b);
            if (a < 0 || b < 0) continue;
            world->handled_pairs[a][b] = 1;
            world->handled_pairs[b][a] = 1;
        }
}

int32_t physics_joint_collect_bodies(Joint *head)
{
    head->collected_count = 0;
    auto add = [head](RigidBody *body, bool look_up) {
        if (!body) return;
        if (look_up)
            for (int32_t k = 0; k < head->collected_count; k++)
                if (head->chain_bodies[k] == body) {
                    body->joint_system_index = k;
                    return;
                }
        // A chain holds at most 32 bodies: one past that gets no columns.
        if (head->collected_count >= kPhysicsChainBodies) {
            body->joint_system_index = -1;
            return;
        }
        body->joint_system_index = head->collected_count;
        head->chain_bodies[head->collected_count++] = body;
    };
    for (Joint *j = head; j; j = j->next) {
        add(j->body_a, true);
        add(j->body_b, j->type != 2);
    }
    return head->collected_count;
}

DenseMatrix *physics_joint_build_system(Joint *head)
{
    int32_t joints = 0;
    for (Joint *j = head; j; j = j->next) j->joint_index = joints++;
    head->chain_body_count = physics_joint_collect_bodies(head);
    if (!head->row_offsets) {
        head->row_offsets = new int32_t[size_t(joints)];
        head->row_counts = new int32_t[size_t(joints)];
        head->chain_joint_count = joints;
    }
    // The row arrays were sized for the chain as first built; joints added later get no rows.
    int32_t total = 0;
    for (Joint *j = head; j && j->joint_index < head->chain_joint_count; j = j->next) {
        head->row_offsets[j->joint_index] = total;
        head->row_counts[j->joint_index] = rows_of(j->type);
        total += rows_of(j->type);
    }
    head->total_rows = total;
    DenseMatrix *J = new DenseMatrix{};
    matrix_resize_zero(J, total, head->chain_body_count * 6);
    DenseMatrix block_a{}, block_b{};
    for (Joint *j = head; j && j->joint_index < head->chain_joint_count; j = j->next) {
        if (!j->body_a || !j->body_b) continue;
        j->body_a->contacts = 0;
        j->body_b->contacts = 0;
        float a1w[3], b1w[3], a2w[3], b2w[3];
        world_anchors(j, a1w, b1w, a2w, b2w);
        switch (j->type) {
        case 1:
            matrix_set_skew_block(&block_a, a1w[0], a1w[1], a1w[2], 1.0f);
            matrix_set_skew_block(&block_b, b1w[0], b1w[1], b1w[2], -1.0f);
            place(J, head, j, j->body_a, &block_a);
            place(J, head, j, j->body_b, &block_b);
            break;
        case 2:
            skew_rows(&block_a, a1w, 1.0f);
            place(J, head, j, j->body_a, &block_a);
            break;
        case 3: {
            float m[3];
            vec3_add(m, a2w, b2w);
            vec3_scale(m, m, 0.5f);
            matrix_set_rotation_block(&block_a, a1w[0], a1w[1], a1w[2], a2w[0], a2w[1], a2w[2], m[0], m[1], m[2], 1.0f);
            matrix_set_rotation_block(&block_b, b1w[0], b1w[1], b1w[2], b2w[0], b2w[1], b2w[2], m[0], m[1], m[2],
                                      -1.0f);
            bool touch_a = j->body_a->contact_flags != 0, touch_b = j->body_b->contact_flags != 0;
            if (touch_a != touch_b) {
                // The body in contact is left out of the hinge and marked.
                RigidBody *held = touch_a ? j->body_a : j->body_b;
                held->contacts = 1;
                place(J, head, j, touch_a ? j->body_b : j->body_a, touch_a ? &block_b : &block_a);
            } else {
                place(J, head, j, j->body_a, &block_a);
                place(J, head, j, j->body_b, &block_b);
            }
            break;
        }
        default:
            skew_rows(&block_a, a1w, 1.0f);
            skew_rows(&block_b, b1w, -1.0f);
            place(J, head, j, j->body_a, &block_a);
            place(J, head, j, j->body_b, &block_b);
            break;
        }
    }
    matrix_free_data(&block_a);
    matrix_free_data(&block_b);
    return J;
}

void physics_joint_pass(PhysicsWorld *world)
{
    for (int32_t c = 0; c < world->joint_chain_count && c < kPhysicsMaxJointChains; c++) {
        Joint *head = world->joint_chains[c];
        if (!head) continue;
        int32_t bodies = physics_joint_collect_bodies(head);
        bool active = false;
        for (int32_t i = 0; i < bodies; i++) {
            RigidBody *body = head->chain_bodies[i];
            float w = vec3_length(body->angular_velocity);
            if (w > 0.001f) vec3_scale(body->spin_axis, body->angular_velocity, 1.0f / w);
            else vec3_set(body->spin_axis, 0, 0, 0);
            body->contacts = 0;
            if (body->joint_owned) continue;
            if (head->type == 3 && body->asleep) body->contact_flags = 1;
            else active = true;
        }
        if (active) {
            velocity_stage(world, head);
            position_stage(head);
        }
        head->chain_body_count = bodies;
        sleep_rule(head);
    }
}
