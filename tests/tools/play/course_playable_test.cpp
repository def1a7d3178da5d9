// Every hole of "Meadow" can be finished by strokes a player could make: its hint plan, played
// through course play's own logic frames with the game's physics, holes out within PAR + 2, each
// stroke robust against a little more or less power and a degree of aim either way.
#include "tests/tools/play/play_test_util.h"

#include "scene/scene.h"

#include <cmath>

namespace {

class CoursePlayable : public SolverTest {
protected:
    void play_hole(int number)
    {
        const DataHoleLayout &hole = g_data_course_holes[number - 1];
        ASSERT_FALSE(hole.plan.empty()) << "hole " << number << " has no plan";
        ASSERT_TRUE(open(number));
        printf("hole %02d \"%s\", PAR %d:\n", number, hole.title, hole.par);
        const SolverPlan plan = solver_plan_hole(&solver, SOLVER_HINT, stdout);
        printf("  plan: ");
        solver_print_plan(plan, stdout);
        EXPECT_TRUE(plan.robust);
        ASSERT_TRUE(plan.holed);
        EXPECT_LE(int32_t(plan.strokes.size()), hole.par + 2);
        // The plan holes out at its last stroke, so its length is the strokes it takes.
        EXPECT_EQ(plan.strokes.size(), hole.plan.size());

        // The hole closes 150 frames after the hole-out, the first of them the hole-out's own.
        PlayState &state = solver.state;
        EXPECT_EQ(state.holeout_timer, 149);
        int32_t frames = 0;
        while (!state.hole_done && frames < 200) {
            solver_frame(&solver);
            frames++;
        }
        EXPECT_EQ(frames, 149);
        EXPECT_EQ(state.hole_done, 1);
        EXPECT_EQ(g_hole_strokes_p1[0], int32_t(plan.strokes.size()));
    }
};

}  // namespace

TEST_F(CoursePlayable, Hole01) { play_hole(1); }
TEST_F(CoursePlayable, Hole02) { play_hole(2); }
TEST_F(CoursePlayable, Hole03) { play_hole(3); }
TEST_F(CoursePlayable, Hole04) { play_hole(4); }
TEST_F(CoursePlayable, Hole05) { play_hole(5); }
TEST_F(CoursePlayable, Hole06) { play_hole(6); }
TEST_F(CoursePlayable, Hole07) { play_hole(7); }
TEST_F(CoursePlayable, Hole08) { play_hole(8); }
TEST_F(CoursePlayable, Hole09) { play_hole(9); }

// What `course_solve --strokes` prints for the game's test switch: the hint plans of the first
// holes, holed, as listed strokes that the game reads back to the very yaw, pitch and power the
// solver struck with.
TEST_F(CoursePlayable, ListedStrokes)
{
    std::string all;
    std::vector<SolverShot> shots;
    for (int number = 1; number <= 2; number++) {
        SCOPED_TRACE(number);
        ASSERT_TRUE(open(number));
        const SolverPlan plan = solver_play_hints(&solver);
        ASSERT_TRUE(plan.holed);
        ASSERT_EQ(plan.strokes.size(), g_data_course_holes[number - 1].plan.size());
        for (const SolverStroke &s : plan.strokes) shots.push_back(s.shot);
        all += (all.empty() ? "" : ";") + solver_strokes_text(plan);
    }
    PlayStrokeList list;
    char error[160] = "";
    ASSERT_EQ(play_strokes_parse(all.c_str(), &list, error, sizeof error), 1) << error << ": " << all;
    ASSERT_EQ(size_t(list.count), shots.size()) << all;
    for (size_t k = 0; k < shots.size(); k++) {
        SCOPED_TRACE(k);
        EXPECT_EQ(list.strokes[k].yaw, shots[k].yaw);
        EXPECT_EQ(list.strokes[k].pitch, SOLVER_PITCH);
        EXPECT_EQ(list.strokes[k].power, solver_power(shots[k].level));
    }
    // Hole 1's first stroke starts on the tee: straight toward its aim point at the hint's power.
    const DataStroke &first = g_data_course_holes[0].plan[0];
    EXPECT_EQ(shots[0].level, solver_level_of(first.power));
    EXPECT_EQ(shots[0].aim.x, first.aim.x);
    EXPECT_EQ(shots[0].aim.z, first.aim.z);
}

// A good player can make par: the plans together take no more strokes than the course's PAR (each
// plan holes out at its last stroke, which the tests above check).
TEST_F(CoursePlayable, CourseWithinPar)
{
    size_t strokes = 0;
    for (const DataHoleLayout &hole : g_data_course_holes) strokes += hole.plan.size();
    EXPECT_LE(int32_t(strokes), data_course_total_par());
}

// A ball lying in a cup is over the cup block, on its SOL floor, and holes out; the block under
// the ball at the previous hole's end is forgotten when the next hole is set up (the ball on its
// tee stands on no block).
TEST_F(CoursePlayable, BallOverCupFindsSol)
{
    for (int number = 1; number <= DATA_COURSE_HOLE_COUNT; number++) {
        SCOPED_TRACE(number);
        g_current_block = 400;
        ASSERT_TRUE(open(number));
        EXPECT_EQ(g_current_block, -1);
        int32_t cup = -1;
        for (int32_t i = kPlayFirstHoleObject; i < g_hole_world.object_count; i++)
            if (g_hole_world.objects[i] && strcmp(g_hole_world.objects[i]->name, "BLOC_CUP") == 0) cup = i;
        ASSERT_GE(cup, 0);
        const MeshObject *o = g_hole_world.objects[cup];
        // The cup's floor is the block's lowest point (its largest y).
        play_sim_place_ball(&solver.state, o->position[0], o->bounds[3] - 0.1f, o->position[2]);
        play_find_block_under_ball(&solver.state);
        EXPECT_EQ(solver.state.block, cup);
        EXPECT_EQ(solver.state.block_material, g_material_sol);
        EXPECT_GT(ball()->position[1] + 0.2f, o->bounds[3]) << "over the block";
        EXPECT_TRUE(solver_frame(&solver) & kPlayEventHoled);
    }
}
