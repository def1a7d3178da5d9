// The solver's tests: the run folder the build wrote, its script.txt read, holes of "Meadow"
// opened in the solver, and the frames each test simulates. The frames stand in for a clock: each
// test prints them as "figure: frames N" and keeps within its share of the whole budget.
#pragma once

#include "tests/tools/data_test_util.h"
#include "tools/course_build.h"
#include "tools/course_solver.h"

#include <cstring>
#include <string>

// Frames each test may simulate; together at most 1,100,000, about two minutes under ASan.
struct PlayBudget {
    const char *test;
    int64_t frames;
};
constexpr PlayBudget PLAY_BUDGETS[] = {
    {"Hole01", 6000},       {"Hole02", 7000},     {"Hole03", 7000},         {"Hole04", 7000},
    {"Hole05", 7000},       {"Hole06", 8000},     {"Hole07", 9000},         {"Hole08", 7000},
    {"Hole09", 10000},      {"CourseWithinPar", 0}, {"BallOverCupFindsSol", 1500}, {"Pond", 1500},
    {"Bridge", 1500},       {"Sand", 20000},      {"SandLetsTheBallOut", 12000}, {"Windmill", 8000},
    {"Calibration", 2500},  {"Rails", 20000},     {"CupTakesTheBall", 12000}, {"ListedStrokes", 1500},
    {"StrokesStayOnTheCourseAndTheLipNeverThrowsTheBall", 330000},
    {"Putt", 1500},         {"EveryStrokeEndsWhereABallCanRest", 600000},
};
constexpr int64_t play_budget_total()
{
    int64_t sum = 0;
    for (const PlayBudget &b : PLAY_BUDGETS) sum += b.frames;
    return sum;
}
static_assert(play_budget_total() <= 1100000, "the solver's tests must stay within 1,100,000 frames");

class SolverTest : public DataRunFolderTest {
protected:
    CourseSolver solver;

    void SetUp() override
    {
        DataRunFolderTest::SetUp();
        config_read_file(g_main_config_table, "data/txt/script.txt");
    }
    void TearDown() override
    {
        solver_close(&solver);
        data_test_free_config_texts();
        const char *name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        const int64_t frames = used + solver.frames;
        printf("figure: frames %lld\n", (long long)frames);
        for (const PlayBudget &b : PLAY_BUDGETS)
            if (strcmp(b.test, name) == 0) {
                EXPECT_LE(frames, b.frames) << "over the test's share of frames";
            }
    }

    // Hole `number` of the set (1-based) opened with its layout, or with `layout` when given.
    bool open(int number, const DataHoleLayout *layout = nullptr)
    {
        used += solver.frames;
        solver.frames = 0;
        const std::string path = data_course_folder() + "/" + data_course_hole_file(number) + ".qel";
        return solver_open(&solver, path.c_str(), layout ? layout : &g_data_course_holes[number - 1]);
    }
    // A hole file of the test's own (a path of the path layer).
    bool open_file(const char *path, const DataHoleLayout *layout)
    {
        used += solver.frames;
        solver.frames = 0;
        return solver_open(&solver, path, layout);
    }

    RigidBody *ball() { return solver.state.ball.body; }

private:
    int64_t used = 0;  // frames of holes opened before the current one
};
