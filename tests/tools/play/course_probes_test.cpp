// What the holes of "Meadow" are built to do, shown in course play's own logic frames: the pond and
// the bridge's water take the ball back, sand slows it and lets it out, the mill's blades let it through only at
// times, the rails keep in the hardest strokes, a cup keeps a ball rolled into it, and the strokes
// have the lengths the holes are laid out for.
#include "tests/tools/play/play_test_util.h"

#include "course/course_local.h"
#include "course/editor.h"
#include "geometry/mesh_edit.h"
#include "geometry/vecmath.h"
#include "platform/gpu/headless/gpu_headless.h"
#include "render/render.h"
#include "scene/scene.h"
#include "tools/data_palette.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

class CourseProbes : public SolverTest {
protected:
    // The ball laid at rest on a lane at (x, z) and struck along `yaw` with power `level`.
    SolverResult strike_from(float x, float y, float z, float yaw, int32_t level)
    {
        play_sim_place_ball(&solver.state, x, y, z);
        return solver_play(&solver, {yaw, level, 0});
    }
    // The garden's palette loaded into the editor on a headless device, for holes the tests build
    // and save under C:/; close_editor() lets it all go before the holes are played.
    static bool open_editor()
    {
        data_test_free_config_texts();  // the palette reads them again
        gpu_headless_reset();
        render_context_construct(&g_render_context);
        g_render_context.width = g_render_context.height = 64;
        if (render_create_device(&g_render_context) != 1) return false;
        data_course_use_folders("C:/");
        return data_course_load_palette("data/themes/garden/blocs.qel");
    }
    static void close_editor()
    {
        for (SceneWorld *world : {&g_hole_world, &g_menu_world}) {
            world_release_and_reset(world);
            world_release_effects(world);
        }
        scene_shutdown();
        lightmap_atlas_free(&g_render_context);
        render_shutdown_device(&g_render_context);
        render_context_destroy(&g_render_context);
    }
    // The index of the hole's object named `name` nearest (x, z), or -1.
    static int32_t piece_at(const char *name, float x, float z)
    {
        int32_t best = -1;
        float nearest = INFINITY;
        for (int32_t i = kPlayFirstHoleObject; i < g_hole_world.object_count; i++) {
            const MeshObject *o = g_hole_world.objects[i];
            if (!o || strcmp(o->name, name) != 0) continue;
            const float d = hypotf(o->position[0] - x, o->position[2] - z);
            if (d < nearest) nearest = d, best = i;
        }
        return best;
    }
};

// The lane's top where a ball lies: a floor's top is the lane, 0.1 above it the ball's centre.
constexpr float BALL_ON_LANE = DATA_LANE_TOP - 0.1f;

}  // namespace

// Straight at the cup of "The Pond" with a power that reaches the pond: the water takes the ball
// back to where it was struck, asleep, and the stroke counts.
TEST_F(CourseProbes, Pond)
{
    ASSERT_TRUE(open(5));
    float start[3];
    memcpy(start, ball()->position, sizeof start);
    for (int32_t &b : solver.state.block_history) b = 300;
    const SolverResult r = solver_play(&solver, {180.0f, solver_level_of(4.0f), 0});
    EXPECT_TRUE(r.events & kPlayEventWater);
    EXPECT_EQ(memcmp(ball()->position, start, sizeof start), 0);
    EXPECT_EQ(ball()->asleep, 1);
    EXPECT_EQ(solver.state.strokes, 1);
    EXPECT_EQ(solver.state.block_history[0], -1);
    EXPECT_EQ(solver.state.block_history[1], -1);
}

// "The Bridge" struck 12 degrees off the deck, either way, with a power that reaches the bridge:
// water.
TEST_F(CourseProbes, Bridge)
{
    ASSERT_TRUE(open(8));
    for (float turn : {-12.0f, 12.0f}) {
        SCOPED_TRACE(turn);
        const SolverResult r = solver_try(&solver, {180.0f + turn, solver_level_of(3.0f), 0});
        EXPECT_TRUE(r.events & kPlayEventWater);
    }
}

// Two lanes built alike, one with a sand tile third: three successive powers stop on the sand, where
// on the grass lane they end more than 2 units apart (the first from the last: on grass successive
// powers end about 1.5 apart there); and a ball rolled onto the sand at the speeds a medium stroke
// still has there stops in less than half the way it rolls on grass.
TEST_F(CourseProbes, Sand)
{
    ASSERT_TRUE(open_editor());
    auto lane = [](char third) {
        DataHoleLayout layout{"Probe", 3, {}, {}, {{-16, 0}, {16, 0}}, {}};
        layout.tiles.push_back({'S', -4, 0, false, "NSW", ""});
        for (int i = -3; i <= 4; i++) layout.tiles.push_back({i == -2 ? third : 'G', i, 0, false, i == 4 ? "NSE" : "NS", ""});
        return layout;
    };
    const DataHoleLayout sand = lane('D'), grass = lane('G');
    for (const DataHoleLayout *layout : {&sand, &grass}) {
        ASSERT_TRUE(data_course_place_hole(*layout, 1));
        ASSERT_TRUE(editor_save_hole_to(layout == &sand ? "C:/sand.qel" : "C:/grass.qel"));
    }
    close_editor();

    // On the sand lane: the first three successive levels that all stop on sand.
    ASSERT_TRUE(open_file("C:/sand.qel", &sand));
    int32_t first = -1, run = 0;
    for (int32_t level = 1; level <= 40 && first < 0; level++) {
        const SolverResult r = solver_try(&solver, {180.0f, level, 0});
        run = r.outcome == SOLVER_REST && r.material == g_material_sable ? run + 1 : 0;
        if (run == 3) first = level - 2;
    }
    ASSERT_GT(first, 0) << "no three successive powers stop on the sand";
    printf("sand holds powers %.1f to %.1f\n", solver_power(first), solver_power(first + 2));

    ASSERT_TRUE(open_file("C:/grass.qel", &grass));
    float nearest = INFINITY, farthest = -INFINITY;
    for (int32_t level = first; level < first + 3; level++) {
        const SolverResult r = solver_try(&solver, {180.0f, level, 0});
        EXPECT_EQ(r.outcome, SOLVER_REST);
        nearest = fminf(nearest, r.position[0]);
        farthest = fmaxf(farthest, r.position[0]);
        printf("  on grass, power %.1f rests at x %.2f\n", solver_power(level), r.position[0]);
    }
    EXPECT_GT(farthest - nearest, 2.0f);

    // Rolled from 0.5 before the sand band (x -9 to -7), as fast as it rolls: how far past its start.
    float rolled[2][3];
    for (int on_sand = 0; on_sand < 2; on_sand++) {
        ASSERT_TRUE(open_file(on_sand ? "C:/sand.qel" : "C:/grass.qel", on_sand ? &sand : &grass));
        const float speeds[3] = {2.0f, 3.0f, 4.0f};
        for (int k = 0; k < 3; k++) {
            play_sim_place_ball(&solver.state, -9.5f, BALL_ON_LANE, 0.0f);
            ball()->asleep = 0;
            ball()->wake_timer = 1;
            vec3_set(ball()->velocity, speeds[k], 0.0f, 0.0f);
            vec3_set(ball()->angular_velocity, 0.0f, 0.0f, -speeds[k] / ball()->radius);
            const SolverResult r = solver_follow(&solver);
            ASSERT_EQ(r.outcome, SOLVER_REST);
            rolled[on_sand][k] = r.position[0] + 9.0f;
        }
    }
    for (int k = 0; k < 3; k++) {
        printf("rolled at %d: stops %.2f into the sand, %.2f on grass\n", k + 2, rolled[1][k], rolled[0][k]);
        EXPECT_LT(rolled[1][k], DATA_SAND_HALF * 2);
        EXPECT_LT(rolled[1][k], 0.5f * rolled[0][k]);
    }
}

// Balls at rest at eleven places spread over the sand of "Sand Trap", struck toward each of its open
// sides (west, east and south, straight and 30 degrees either way) at powers 4 to 15: at least 9 in
// 10 of each power's strokes get out, their centres a radius past the sand's rim. From its middle,
// a soft stroke toward any open side gets out.
TEST_F(CourseProbes, SandLetsTheBallOut)
{
    ASSERT_TRUE(open(3));
    const int32_t sand = piece_at("BLOC_SAND", 4.0f, 0.0f);
    ASSERT_GE(sand, 0);
    const MeshObject *block = g_hole_world.objects[sand];
    const float cx = block->position[0], cz = block->position[2], radius = ball()->radius;
    // The band's open sides: x = cx -+ DATA_SAND_HALF, and the tile's south side (a rail stands north).
    auto out = [&](const float *p) {
        return fabsf(p[0] - cx) > DATA_SAND_HALF + radius || p[2] - cz > DATA_TILE / 2 + radius;
    };
    std::vector<DataPoint> places = {{cx, cz + 0.125f}, {cx, cz - 1.3f}, {cx, cz + 1.5f}};
    for (float dx : {-0.7f, 0.7f})
        for (float dz : {-1.3f, -0.5f, 0.5f, 1.5f}) places.push_back({cx + dx, cz + dz});
    // Struck from `rest` along `yaw`: whether the ball gets out before it stops.
    auto gets_out = [&](const float *rest, float yaw, int power) {
        play_sim_place_ball(&solver.state, rest[0], rest[1], rest[2]);
        if (!play_sim_strike(&solver.state, yaw, SOLVER_PITCH, float(power))) return false;
        for (int f = 0; f < SOLVER_STROKE_FRAMES && !ball()->asleep; f++) {
            solver_frame(&solver);
            if (out(ball()->position)) return true;
        }
        return false;
    };
    constexpr int kWeakest = 4, kStrongest = 15;
    int struck[kStrongest + 1] = {}, left[kStrongest + 1] = {};
    int weakest_from_middle = 0;
    for (size_t k = 0; k < places.size(); k++) {
        play_sim_place_ball(&solver.state, places[k].x, block->bounds[2] - 0.3f, places[k].z);
        ball()->asleep = 0;
        ball()->wake_timer = 1;
        ASSERT_EQ(solver_follow(&solver).outcome, SOLVER_REST) << k;
        ASSERT_EQ(solver.state.block_material, g_material_sable) << k;
        float rest[3];
        memcpy(rest, ball()->position, sizeof rest);
        for (float side : {0.0f, 180.0f, 270.0f}) {
            for (float turn : {-30.0f, 0.0f, 30.0f})
                for (int power = kWeakest; power <= kStrongest; power++) {
                    struck[power]++;
                    left[power] += gets_out(rest, side + turn, power);
                }
            if (k > 0) continue;
            int weakest = 1;
            while (weakest <= kStrongest && !gets_out(rest, side, weakest)) weakest++;
            weakest_from_middle = std::max(weakest_from_middle, weakest);
        }
    }
    for (int power = kWeakest; power <= kStrongest; power++) {
        printf("power %2d: %3d of %3d strokes got out of the sand\n", power, left[power], struck[power]);
        EXPECT_GE(10 * left[power], 9 * struck[power]) << "power " << power;
    }
    printf("from the middle, every open side is reached at power %d\n", weakest_from_middle);
    EXPECT_LE(weakest_from_middle, 4);
}

// The ball before the mill, struck through it with one power after waits of 0 to 330 frames: a
// blade passes every 360 frames, so some strokes are stopped before the blades and some go through.
TEST_F(CourseProbes, Windmill)
{
    ASSERT_TRUE(open(6));
    const int32_t blades = piece_at("PALES", 0, 0);
    ASSERT_GE(blades, 0);
    // The blades turn 0.15 on from the mill's centre, toward the cup.
    const float x = g_hole_world.objects[blades]->position[0] + 0.15f;
    play_sim_place_ball(&solver.state, x - 3.15f, BALL_ON_LANE, 0.0f);
    int blocked = 0, through = 0;
    for (int32_t wait = 0; wait <= 330; wait += 30) {
        const SolverResult r = solver_try(&solver, {180.0f, solver_level_of(2.2f), wait});
        EXPECT_EQ(r.outcome, SOLVER_REST) << wait;
        if (r.position[0] < x) blocked++;
        if (r.position[0] > x + 0.5f) through++;
        printf("  wait %3d: rests at x %.2f\n", wait, r.position[0] - x);
    }
    EXPECT_GT(blocked, 0);
    EXPECT_GT(through, 0);
}

// Stroke lengths on the flat: power 1.0 rolls a little way, the strongest stroke reaches the cup's
// tile from the tee.
TEST_F(CourseProbes, Calibration)
{
    ASSERT_TRUE(open(1));
    const SolverResult gentle = solver_try(&solver, {180.0f, solver_level_of(1.0f), 0});
    EXPECT_EQ(gentle.outcome, SOLVER_REST);
    const float moved = hypotf(gentle.position[0] - ball()->position[0], gentle.position[2] - ball()->position[2]);
    EXPECT_GE(moved, 0.3f);
    EXPECT_LE(moved, 6.0f);
    // The cup's tile begins 2 before its centre.
    const DataPoint cup = g_data_course_holes[0].route.back();
    const SolverResult hard = solver_try(&solver, {180.0f, SOLVER_LEVELS, 0});
    EXPECT_GE(hard.farthest, cup.x - DATA_TILE / 2 - ball()->position[0]);
    printf("power 1.0 moves %.2f; power 15.2 reaches %.2f\n", moved, hard.farthest);
}

// Forty strokes of 12 to 15.2 into the rails of "Sand Trap" at 30 to 70 degrees: none leaves the
// course.
TEST_F(CourseProbes, Rails)
{
    ASSERT_TRUE(open(3));
    std::mt19937 random(65);
    auto uniform = [&](float lo, float hi) { return lo + (hi - lo) * float(random() % 100001) / 100000.0f; };
    int out = 0;
    for (int k = 0; k < 40; k++) {
        const float x = uniform(-10.0f, -6.5f), z = uniform(-1.2f, 1.2f), angle = uniform(30.0f, 70.0f);
        const int32_t level = solver_level_of(uniform(12.0f, 15.2f));
        // Yaw 180 runs along +x; less turns toward the north rails, more toward the south.
        const float yaw = k % 2 ? 180.0f - angle : 180.0f + angle;
        play_sim_place_ball(&solver.state, x, BALL_ON_LANE, z);
        const SolverResult r = solver_try(&solver, {yaw, level, 0});
        if (r.events & (kPlayEventOutOfCourse | kPlayEventWater)) {
            out++;
            ADD_FAILURE() << "from (" << x << ", " << z << ") yaw " << yaw << " power " << solver_power(level);
        }
    }
    EXPECT_EQ(out, 0);
}

// A ball rolled at each cup's centre along the hole's last leg, at 1, 2 and 3 units a second, ends
// asleep on the cup's SOL floor.
TEST_F(CourseProbes, CupTakesTheBall)
{
    for (int number = 1; number <= DATA_COURSE_HOLE_COUNT; number++) {
        const DataHoleLayout &hole = g_data_course_holes[number - 1];
        ASSERT_TRUE(open(number));
        const DataPoint cup = hole.route.back(), before = hole.route[hole.route.size() - 2];
        const int32_t cup_block = piece_at("BLOC_CUP", cup.x, cup.z);
        ASSERT_GE(cup_block, 0);
        const MeshObject *block = g_hole_world.objects[cup_block];
        const float length = hypotf(cup.x - before.x, cup.z - before.z);
        const float dx = (cup.x - before.x) / length, dz = (cup.z - before.z) / length;
        for (float speed : {1.0f, 2.0f, 3.0f}) {
            SCOPED_TRACE(testing::Message() << "hole " << number << " at " << speed);
            // From 1.5 before the cup, on the lane the cup's block tops.
            play_sim_place_ball(&solver.state, cup.x - 1.5f * dx, block->bounds[2] - 0.1f, cup.z - 1.5f * dz);
            solver.state.holeout_timer = 0;
            ball()->asleep = 0;
            ball()->wake_timer = 1;
            vec3_set(ball()->velocity, dx * speed, 0.0f, dz * speed);
            const SolverResult r = solver_follow(&solver);
            EXPECT_EQ(r.outcome, SOLVER_HOLED) << "rests at (" << r.position[0] << ", " << r.position[2] << ")";
            EXPECT_EQ(solver.state.block, cup_block);
            EXPECT_EQ(solver.state.block_material, g_material_sol);
        }
    }
}

// On every hole, 200 seeded strokes from the tee the whole way round at powers 0.2 to 15.2: none
// leaves the course over a rail, and no ball that meets a cup's lip (a cup block's face within the
// ball's radius + 0.1 of the rim's circle) is thrown up from it faster than 1 unit a second.
TEST_F(CourseProbes, StrokesStayOnTheCourseAndTheLipNeverThrowsTheBall)
{
    std::mt19937 random(2026);
    auto uniform = [&](float lo, float hi) { return lo + (hi - lo) * float(random() % 100001) / 100000.0f; };
    for (int number = 1; number <= DATA_COURSE_HOLE_COUNT; number++) {
        ASSERT_TRUE(open(number));
        const DataPoint cup = g_data_course_holes[number - 1].route.back();
        const int32_t cup_block = piece_at("BLOC_CUP", cup.x, cup.z);
        ASSERT_GE(cup_block, 0);
        const MeshObject *block = g_hole_world.objects[cup_block];
        const float rim = block->bounds[2];
        const float *centre = block->position;
        const float tee[3] = {ball()->position[0], ball()->position[1], ball()->position[2]};
        const PhysicsWorld *physics = play_physics(&solver.state);
        int left = 0;
        float lip_up = 0.0f;
        for (int k = 0; k < 200; k++) {
            play_sim_place_ball(&solver.state, tee[0], tee[1], tee[2]);
            const float yaw = uniform(0.0f, 360.0f), power = uniform(0.2f, 15.2f);
            ASSERT_TRUE(play_sim_strike(&solver.state, yaw, -30.0f, power));
            int lip_frames = 0;
            for (int frame = 0; frame < 300 && !ball()->asleep; frame++) {
                const uint32_t events = play_frame_logic(&solver.state, 1.0f);
                solver.frames++;
                if (events & kPlayEventOutOfCourse) {
                    left++;
                    ADD_FAILURE() << "hole " << number << ": yaw " << yaw << " power " << power << " left the course";
                }
                if (events & (kPlayEventOutOfCourse | kPlayEventWater | kPlayEventHoled)) break;
                for (const CollisionEventNode *e = physics->events.first; e; e = e->next) {
                    const float *p = e->value.point;
                    if (p[0] < block->bounds[0] || p[0] > block->bounds[1] || p[2] < block->bounds[4] ||
                        p[2] > block->bounds[5])
                        continue;
                    const float across = hypotf(p[0] - centre[0], p[2] - centre[2]) - DATA_CUP_RADIUS;
                    if (hypotf(across, p[1] - rim) <= ball()->radius + 0.1f) lip_frames = 3;
                }
                if (lip_frames > 0) {
                    lip_up = fmaxf(lip_up, -ball()->velocity[1]);
                    lip_frames--;
                }
            }
        }
        printf("hole %d: %d left the course; largest upward speed off the lip %.2f\n", number, left, lip_up);
        EXPECT_LE(lip_up, 1.0f) << "hole " << number;
    }
}

namespace {

// Whether a ball centred at p has something under its centre to bear it: a top face of a hole
// block (stored facing +y) within its radius and a little below.
bool borne_at(const float *p, float radius)
{
    const float from[3] = {p[0], p[1], p[2]}, to[3] = {p[0], p[1] + radius + 0.05f, p[2]};
    for (int32_t i = kPlayFirstHoleObject; i < g_hole_world.object_count; i++) {
        MeshObject *o = g_hole_world.objects[i];
        if (!o) continue;
        for (int32_t f = 0; f < o->face_count; f++)
            if (o->faces[f].normal[1] > 0.0f && mesh_face_segment_hit(o, f, from, to)) return true;
    }
    return false;
}

struct StrokeEnds {
    int strokes = 0, placed = 0, holed = 0, water = 0, out = 0, asleep = 0;
    int past_edge = 0, unended = 0;
    int64_t frames = 0;
};

}  // namespace

// On every hole, strokes from seeded resting places spread over the course (anywhere on its blocks,
// and half of them within 0.15 of a block's side: on and beside the sand, on ramps, at block edges
// and lane ends) at powers 0.2 to 15.2: each ends (asleep, holed, in the water or off the course)
// within 60 s of play, and none ends asleep with nothing under its centre. The ball is laid by
// dropping it onto the place, which must end as well.
TEST_F(CourseProbes, EveryStrokeEndsWhereABallCanRest)
{
    constexpr int kStrokes = 2000;
    constexpr int kMinute = 3530;  // 60 s of 17-ms frames
    std::mt19937 random(89);
    auto uniform = [&](float lo, float hi) { return lo + (hi - lo) * float(random() % 100001) / 100000.0f; };
    StrokeEnds ends;
    // Follows the ball until it ends; false when it never does within a minute of play.
    auto follow = [&](int *frames) {
        for (*frames = 0; *frames < kMinute; ++*frames) {
            const uint32_t events = play_frame_logic(&solver.state, 1.0f);
            solver.frames++;
            if (events & kPlayEventHoled) return ends.holed++, true;
            if (events & kPlayEventWater) return ends.water++, true;
            if (events & kPlayEventOutOfCourse) return ends.out++, true;
            if (ball()->asleep) {
                ends.asleep++;
                if (!borne_at(ball()->position, ball()->radius)) {
                    ends.past_edge++;
                    ADD_FAILURE() << "asleep with nothing under it at (" << ball()->position[0] << ", "
                                  << ball()->position[1] << ", " << ball()->position[2] << ")";
                }
                return true;
            }
        }
        ends.unended++;
        return false;
    };
    for (int number = 1; number <= DATA_COURSE_HOLE_COUNT; number++) {
        ASSERT_TRUE(open(number));
        std::vector<int32_t> blocks;
        for (int32_t i = kPlayFirstHoleObject; i < g_hole_world.object_count; i++) {
            const MeshObject *o = g_hole_world.objects[i];
            if (o && !o->rotating && !hole_name_has(o->name, "DECOR")) blocks.push_back(i);
        }
        ASSERT_FALSE(blocks.empty());
        const int quota = kStrokes / DATA_COURSE_HOLE_COUNT + (number <= kStrokes % DATA_COURSE_HOLE_COUNT);
        const int first = ends.strokes;
        for (int k = 0; k < 4 * quota && ends.strokes - first < quota; k++) {
            const float *b = g_hole_world.objects[blocks[random() % blocks.size()]]->bounds;
            float x = uniform(b[0], b[1]), z = uniform(b[4], b[5]);
            if (k % 2) {
                // Near one of its sides.
                const int side = int(random() % 4);
                const float in = uniform(0.0f, 0.15f);
                if (side == 0) x = b[0] + in;
                if (side == 1) x = b[1] - in;
                if (side == 2) z = b[4] + in;
                if (side == 3) z = b[5] - in;
            }
            play_sim_place_ball(&solver.state, x, b[2] - 0.3f, z);
            ball()->asleep = 0;
            ball()->wake_timer = 1;
            solver.state.holeout_timer = 0;
            int frames = 0;
            const int before = ends.asleep;
            const bool ended = follow(&frames);
            ends.frames += frames;
            if (!ended) ADD_FAILURE() << "hole " << number << ": a ball dropped at (" << x << ", " << z << ") never rests";
            if (!ended || ends.asleep == before) continue;  // not at rest on the course: no stroke from there
            ends.placed++;
            float from[3];
            memcpy(from, ball()->position, sizeof from);
            const float yaw = uniform(0.0f, 360.0f), power = uniform(0.2f, 15.2f);
            if (!play_sim_strike(&solver.state, yaw, -30.0f, power)) continue;
            ends.strokes++;
            if (!follow(&frames))
                ADD_FAILURE() << "hole " << number << ": from (" << from[0] << ", " << from[1] << ", " << from[2]
                              << ") yaw " << yaw << " power " << power << " never ends";
            ends.frames += frames;
        }
    }
    printf("figure: %d places, %d strokes: %d holed, %d in the water, %d off the course, %d asleep, %d asleep past "
           "an edge, %d unended; %lld frames\n",
           ends.placed, ends.strokes, ends.holed, ends.water, ends.out, ends.asleep, ends.past_edge, ends.unended,
           (long long)ends.frames);
    EXPECT_EQ(ends.past_edge, 0);
    EXPECT_EQ(ends.unended, 0);
    EXPECT_EQ(ends.strokes, kStrokes);
}

// A tee and a cup in line on the flat, 2.5 to 4 apart, without rails (as a player lays them in the
// editor; the whole game's run plays one): a putt of power 2.6 straight at the cup holes out.
TEST_F(CourseProbes, Putt)
{
    ASSERT_TRUE(open_editor());
    int32_t start = -1, cup = -1;
    for (int32_t i = 0; i < g_menu_world.object_count; i++) {
        if (strcmp(g_menu_world.objects[i]->name, "START") == 0) start = i;
        if (strcmp(g_menu_world.objects[i]->name, "BLOC_CUP") == 0) cup = i;
    }
    ASSERT_GE(start, 0);
    ASSERT_GE(cup, 0);
    const float apart[] = {2.5f, 3.25f, 4.0f};
    auto path = [](float d) { return "C:/putt" + std::to_string(int(d * 100)) + ".qel"; };
    for (float d : apart) {
        editor_start_new_course();
        ASSERT_GE(editor_place_block_at(start, 0.0f, -5.0f, 0, 0.0f), 0);
        ASSERT_GE(editor_place_block_at(cup, 0.125f, -5.0f + d, 0, 0.0f), 0);  // a snap off the line
        ASSERT_TRUE(editor_save_hole_to(path(d).c_str()));
    }
    close_editor();

    for (float d : apart) {
        SCOPED_TRACE(d);
        const DataHoleLayout layout{"Putt", 2, {}, {}, {{0.0f, -5.0f}, {0.125f, -5.0f + d}}, {}};
        ASSERT_TRUE(open_file(path(d).c_str(), &layout));
        const SolverShot putt = solver_shot_toward(&solver, {0.125f, -5.0f + d}, solver_level_of(2.6f), 0);
        const SolverResult r = solver_play(&solver, putt);
        EXPECT_EQ(r.outcome, SOLVER_HOLED);
    }
}
