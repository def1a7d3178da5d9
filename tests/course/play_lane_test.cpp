// A railed lane with a 7-degree ramp, built with the editor's operations from a small palette,
// played as a player would: 1,000 seeded strokes all round at every power. Walls turn the ball
// back without launching it, the ball never sinks deep into a face, and it never sleeps on the
// ramp.
#include "course/editor.h"
#include "tests/course/course_test_util.h"

#include "game/app.h"
#include "game/files.h"
#include "game/menu_theme.h"
#include "script/config_main.h"

#include <algorithm>
#include <cstdio>
#include <random>

namespace {

constexpr float kRadius = 0.1f;
constexpr int32_t kGrass = 5, kOther = 3;

// The ramp: 4 x 4, its top rising from 0.5 at -x to 1.0 at +x (about 7 degrees), grass all over.
MeshObject *ramp_block()
{
    CourseMeshBuilder b;
    b.quad({-2, -0.5f, -2}, {2, -1, -2}, {2, -1, 2}, {-2, -0.5f, 2}, {0, -1, 0}, kGrass);
    b.quad({-2, 0, -2}, {2, 0, -2}, {2, 0, 2}, {-2, 0, 2}, {0, 1, 0}, kGrass);
    b.quad({-2, 0, -2}, {-2, 0, 2}, {-2, -0.5f, 2}, {-2, -0.5f, -2}, {-1, 0, 0}, kGrass);
    b.quad({2, 0, -2}, {2, 0, 2}, {2, -1, 2}, {2, -1, -2}, {1, 0, 0}, kGrass);
    for (float z : {-2.0f, 2.0f}) b.quad({-2, 0, z}, {2, 0, z}, {2, -1, z}, {-2, -0.5f, z}, {0, 0, z}, kGrass);
    return b.build("BLOC_RAMP");
}

MeshObject *palette_block(const char *name, float sx, float sy, float sz, int32_t material)
{
    MeshObject *b = scene_test_make_block(name, sx, sy, sz);
    for (int32_t f = 0; f < b->face_count; f++) b->faces[f].material = uint16_t(material);
    return b;
}

int32_t palette_index(const char *name)
{
    for (int32_t i = 0; i < g_menu_world.object_count; i++)
        if (hole_name_is(g_menu_world.objects[i]->name, name)) return i;
    return -1;
}

// The lane along +x between x -6 and 14, z -2 and 2: START, two flat tiles, the ramp, a tile
// stacked on a tile at the top; rails 0.3 above the surface beside it and across both ends.
void build_lane()
{
    world_release_and_reset(&g_menu_world);
    scene_add_object(&g_menu_world, palette_block("DECORBLOC", 4, 0.5f, 4, kGrass));  // step 0.25, snap 0.125
    scene_add_object(&g_menu_world, palette_block("START", 4, 0.25f, 4, kGrass));
    scene_add_object(&g_menu_world, palette_block("BLOC_LANE", 4, 0.5f, 4, kGrass));
    scene_add_object(&g_menu_world, palette_block("BLOC_RAIL", 4, 0.8f, 0.25f, kOther));
    scene_add_object(&g_menu_world, palette_block("BLOC_RAILHIGH", 4, 1.3f, 0.25f, kOther));
    scene_add_object(&g_menu_world, ramp_block());
    menu_theme_arrange_palette(&g_menu_world);
    editor_start_new_course();
    const int32_t start = palette_index("START"), lane = palette_index("BLOC_LANE"), rail = palette_index("BLOC_RAIL"),
                  high = palette_index("BLOC_RAILHIGH"), ramp = palette_index("BLOC_RAMP");
    ASSERT_GE(editor_place_block_at(start, -4, 0, 0, 0), 0);
    for (float x : {0.0f, 4.0f, 12.0f, 12.0f}) ASSERT_GE(editor_place_block_at(lane, x, 0, 0, 0), 0);
    ASSERT_GE(editor_place_block_at(ramp, 8, 0, 0, 0), 0);
    for (float z : {-2.125f, 2.125f}) {
        for (float x : {-4.0f, 0.0f, 4.0f}) ASSERT_GE(editor_place_block_at(rail, x, z, 0, 0), 0);
        for (float x : {8.0f, 12.0f}) ASSERT_GE(editor_place_block_at(high, x, z, 0, 0), 0);
    }
    ASSERT_GE(editor_place_block_at(rail, -6.125f, 0, 90, 0), 0);
    ASSERT_GE(editor_place_block_at(high, 14.125f, 0, 90, 0), 0);
}

// The lane's surface height (y) under x.
float surface_y(float x) { return x < 6.0f ? -0.5f : (x < 10.0f ? -0.5f - 0.125f * (x - 6.0f) : -1.0f); }

bool inside_lane(const float *p) { return p[0] > -6.0f && p[0] < 14.0f && p[2] > -2.0f && p[2] < 2.0f; }

// A contact point on a wall's inner face (below the rail's top): the sides z = -2 and 2, the back
// x = -6 and the end x = 14.
bool on_wall(const float *p)
{
    const float top = p[0] < 6.0f ? -0.8f : -1.3f;
    if (!(p[1] > top + 0.01f)) return false;
    return fabsf(fabsf(p[2]) - 2.0f) < 0.01f || fabsf(p[0] + 6.0f) < 0.01f || fabsf(p[0] - 14.0f) < 0.01f;
}

// Squared distance from p to triangle abc.
float triangle_distance_squared(const float *p, const float *a, const float *b, const float *c)
{
    float ab[3], ac[3], ap[3], q[3];
    vec3_sub(ab, b, a);
    vec3_sub(ac, c, a);
    vec3_sub(ap, p, a);
    const float d1 = vec3_dot(ab, ap), d2 = vec3_dot(ac, ap);
    auto at = [&](const float *o, const float *e, float t) {
        for (int k = 0; k < 3; k++) q[k] = o[k] + e[k] * t;
    };
    if (d1 <= 0 && d2 <= 0) {
        at(a, ab, 0);
    } else {
        float bp[3], cp[3];
        vec3_sub(bp, p, b);
        vec3_sub(cp, p, c);
        const float d3 = vec3_dot(ab, bp), d4 = vec3_dot(ac, bp), d5 = vec3_dot(ab, cp), d6 = vec3_dot(ac, cp);
        const float vc = d1 * d4 - d3 * d2, vb = d5 * d2 - d1 * d6, va = d3 * d6 - d5 * d4;
        if (d3 >= 0 && d4 <= d3) {
            at(b, ab, 0);
        } else if (d6 >= 0 && d5 <= d6) {
            at(c, ab, 0);
        } else if (vc <= 0 && d1 >= 0 && d3 <= 0) {
            at(a, ab, d1 / (d1 - d3));
        } else if (vb <= 0 && d2 >= 0 && d6 <= 0) {
            at(a, ac, d2 / (d2 - d6));
        } else if (va <= 0 && d4 - d3 >= 0 && d5 - d6 >= 0) {
            float bc[3];
            vec3_sub(bc, c, b);
            at(b, bc, (d4 - d3) / ((d4 - d3) + (d5 - d6)));
        } else {
            const float denom = 1.0f / (va + vb + vc);
            for (int k = 0; k < 3; k++) q[k] = a[k] + ab[k] * vb * denom + ac[k] * vc * denom;
        }
    }
    float d[3];
    vec3_sub(d, p, q);
    return vec3_dot(d, d);
}

// How deep the ball centred at p sinks into the mesh's faces: the radius less its distance to the
// nearest face it is in front of, or the radius plus its depth behind a face it passed through
// (straight behind it, less than a radius deep: farther back lies the block's far side).
float overlap(const MeshObject *mesh, const float *p)
{
    float worst = 0.0f;
    for (int32_t f = 0; mesh && f < mesh->face_count; f++) {
        const MeshFace &face = mesh->faces[f];
        const float *a = mesh->vertices[face.v[0]].world_position, *b = mesh->vertices[face.v[1]].world_position,
                    *c = mesh->vertices[face.v[2]].world_position;
        const float side = vec3_dot(face.world_normal, p) - vec3_dot(face.world_normal, a);
        if (!(fabsf(side) < kRadius)) continue;  // a radius or more from its plane
        const float distance = sqrtf(triangle_distance_squared(p, a, b, c));
        if (side >= 0.0f)
            worst = std::max(worst, kRadius - distance);
        else if (-side < kRadius && distance <= -side * 1.0001f + 1e-6f)
            worst = std::max(worst, kRadius + distance);
    }
    return worst;
}

bool finite3(const float *v) { return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]); }

// Leaves the hole, the palette, the physics world and the block measures as other tests expect.
struct LaneCleanup {
    ~LaneCleanup()
    {
        physics_world_reset(&g_physics_world);
        world_release_and_reset(&g_hole_world);
        world_release_and_reset(&g_menu_world);
        lightmap_atlas_free(&g_render_context);  // the grid's lighting set-up made it; a later test remakes the context
        g_block_step = 0.5f;
        g_block_snap_x = g_block_snap_z = 0.0f;
    }
};

struct LaneFigures {
    int wall_hits = 0;
    int over_03 = 0;          // hits sending the ball up faster than max(2.0, 0.3 x its speed)
    int over_05 = 0;          // ... than max(2.0, 0.5 x its speed)
    float largest_up = 0.0f;  // upward speed after a wall contact
    float deepest = 0.0f;     // overlap, in radii
    int left = 0;             // balls that left the lane over the rails
    int asleep_on_ramp = 0;
    int not_finite = 0;
    int unfinished = 0;
};

// Plays one stroke until the ball sleeps or leaves the lane, adding to the figures.
void play_stroke(PlayState *state, int32_t wall_slot, LaneFigures *out)
{
    RigidBody *ball = state->ball.body;
    float up = 0.0f, incoming = 0.0f;
    int watching = 0;  // frames left to watch the ball after a wall contact
    for (int frame = 0; frame < 1500; frame++) {
        const float speed = hypotf(ball->velocity[0], ball->velocity[2]);
        const uint32_t events = play_frame_logic(state, 1.0f);
        const float *p = ball->position;
        if (!finite3(p) || !finite3(ball->velocity)) {
            out->not_finite++;
            return;
        }
        bool wall = false;
        for (const CollisionEventNode *e = g_physics_world.events.first; e; e = e->next)
            if (e->value.kind == 3 && e->value.other == wall_slot && on_wall(e->value.point)) wall = true;
        if (wall && watching == 0) {
            incoming = speed;
            up = 0.0f;
            watching = 2;  // this frame and the next (a contact of a step's last sub-step acts then)
        }
        if (watching > 0) {
            up = std::max(up, -ball->velocity[1]);
            if (--watching == 0) {
                out->wall_hits++;
                out->largest_up = std::max(out->largest_up, up);
                if (up > std::max(2.0f, 0.3f * incoming)) out->over_03++;
                if (up > std::max(2.0f, 0.5f * incoming)) out->over_05++;
            }
        }
        if (events & (kPlayEventWater | kPlayEventOutOfCourse) || !inside_lane(p)) {
            out->left++;
            return;
        }
        out->deepest =
            std::max(out->deepest, std::max(overlap(state->grass_mesh, p), overlap(state->other_mesh, p)) / kRadius);
        if (ball->asleep) {
            if (p[0] > 6.02f && p[0] < 9.98f) out->asleep_on_ramp++;
            return;
        }
    }
    out->unfinished++;
}

}  // namespace

TEST(CoursePlaySim, StrokesOnARailedLaneWithARamp)
{
    g_sound_card_on = 0;
    g_option_replay = 0;
    g_mouse_left_down = g_mouse_right_down = g_wheel_delta = 0;
    LaneCleanup cleanup;
    build_lane();
    if (HasFatalFailure()) return;
    physics_set_workers(0, 2);
    CoursePlay play;
    PlayState *state = &play.state;
    ASSERT_TRUE(play_setup_hole_collision(state));
    ASSERT_TRUE(state->grass_mesh && state->other_mesh);
    int32_t wall_slot = -1;
    for (int32_t s = 0; s < g_physics_world.collider_count; s++)
        if (g_physics_world.colliders[s].object == state->other_mesh) wall_slot = s;
    ASSERT_GE(wall_slot, 0);

    std::mt19937 random(74);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    LaneFigures out;
    for (int k = 0; k < 1000; k++) {
        const float x = -5.5f + 19.0f * unit(random), z = -1.7f + 3.4f * unit(random);
        const float lift = x > 6.0f && x < 10.0f ? 1.0f / cosf(atanf(0.125f)) : 1.0f;  // on the ramp
        play_sim_place_ball(state, x, surface_y(x) - kRadius * lift, z);
        const float yaw = 360.0f * unit(random), power = 0.2f + 15.0f * unit(random);
        ASSERT_TRUE(play_sim_strike(state, yaw, -30.0f, power)) << k;
        play_stroke(state, wall_slot, &out);
    }
    printf(
        "lane: %d wall hits, largest upward %.2f, %d over max(2, 0.3 v), deepest overlap %.3f radii, %d left the "
        "lane, %d asleep on the ramp\n",
        out.wall_hits, out.largest_up, out.over_03, out.deepest, out.left, out.asleep_on_ramp);
    EXPECT_EQ(out.not_finite, 0);
    EXPECT_EQ(out.unfinished, 0);
    EXPECT_EQ(out.asleep_on_ramp, 0);
    EXPECT_LE(out.deepest, 0.5f + 1e-4f);
    // Friction that stops the slip still lifts a ball whose spin meets the wall: a ball rolling
    // square into it goes up at 0.4 of its speed with this ball's inertia (a box's, 2/3 m r^2),
    // a little more with its other contacts. Friction that overshot sent it up at 1.26 times.
    EXPECT_EQ(out.over_05, 0);
    EXPECT_LE(out.left, 12);  // 33 balls hopped the rails before
}
