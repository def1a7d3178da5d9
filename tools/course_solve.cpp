// The hole solver as a program (a Release build's tool): course_solve <run folder> and one of
//   --plan [N]     plays hole N's hint plan (all holes without N), searching round a hint that is
//                  not robust, and prints the plan;
//   --search [N]   finds a plan without the hints, then checks the plan as the course data would hold it;
//   --calibrate    strikes straight down hole 1 at every power and prints how far the ball went;
//   --strokes N    plays the hint plans of holes 1 to N and prints their strokes on one line, in
//                  the form course play's test switch ZAVGOLF_STROKES reads (fails when a plan
//                  does not hole out).
// The run folder is the one the data target wrote (data/txt/script.txt, data/parcours/Meadow).
#include "tools/course_build.h"
#include "tools/course_solver.h"

#include "platform/system.h"
#include "scene/scene.h"
#include "script/config_main.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string hole_path(int number)
{
    return data_course_folder() + "/" + data_course_hole_file(number) + ".qel";
}

bool open_hole(CourseSolver *solver, int number, const DataHoleLayout *layout)
{
    if (solver_open(solver, hole_path(number).c_str(), layout)) return true;
    fprintf(stderr, "course_solve: cannot open %s\n", hole_path(number).c_str());
    return false;
}

// The hole's plan from `hints` alone (SOLVER_HINT) or repaired round them (SOLVER_LOCAL).
SolverPlan run_plan(int number, const std::vector<DataStroke> &hints, SolverMode mode, FILE *log)
{
    DataHoleLayout layout = g_data_course_holes[number - 1];
    layout.plan = hints;
    CourseSolver solver;
    SolverPlan plan;
    if (open_hole(&solver, number, &layout)) plan = solver_plan_hole(&solver, mode, log);
    solver_close(&solver);
    return plan;
}

bool within_par(const SolverPlan &plan, int number)
{
    return plan.holed && int32_t(plan.strokes.size()) <= g_data_course_holes[number - 1].par + 2;
}

// One hole: its plan by the mode, printed; true when it holes within PAR + 2. A plan found by a
// search is played again from its hints alone, as the course data and the tests will hold it.
bool plan_hole(int number, SolverMode mode)
{
    const DataHoleLayout &layout = g_data_course_holes[number - 1];
    printf("hole %02d \"%s\", PAR %d:\n", number, layout.title, layout.par);
    const SolverPlan plan = run_plan(number, layout.plan, mode, stdout);
    printf("  %s in %zu strokes%s; plan:\n    ", plan.holed ? "holed" : "NOT HOLED", plan.strokes.size(),
           plan.robust ? "" : " (not every stroke robust)");
    solver_print_plan(plan, stdout);
    if (!within_par(plan, number)) return false;
    if (mode == SOLVER_HINT) return plan.robust;
    const SolverPlan alone = run_plan(number, solver_plan_hints(plan), SOLVER_HINT, nullptr);
    printf("  from its hints alone: %s in %zu strokes%s\n", alone.holed ? "holed" : "NOT HOLED",
           alone.strokes.size(), alone.robust ? ", robust" : ", NOT ROBUST");
    return within_par(alone, number) && alone.robust;
}

// Straight down hole 1 from its tee at each power: where the ball came to rest and how far it
// rolled on its way.
bool calibrate()
{
    const DataHoleLayout &layout = g_data_course_holes[0];
    CourseSolver solver;
    if (!open_hole(&solver, 1, &layout)) return false;
    const float *ball = solver.state.ball.body->position;
    printf("hole 01, from (%.2f, %.2f, %.2f) along +x; power: outcome, rest x, path length, frames\n", ball[0],
           ball[1], ball[2]);
    for (int32_t level = 1; level <= SOLVER_LEVELS; level++) {
        const SolverResult r = solver_try(&solver, {180.0f, level, 0});
        const char *outcome = r.outcome == SOLVER_HOLED ? "holed" : r.outcome == SOLVER_REST ? "rest" : "hazard";
        printf("  %5.1f: %-6s x %6.2f  path %6.2f  %4d frames\n", solver_power(level), outcome, r.position[0], r.travel,
               r.frames);
    }
    solver_close(&solver);
    return true;
}

// Holes 1 to `count` played by their hints, their strokes printed as one listed-strokes text.
bool print_strokes(int count)
{
    std::string text;
    for (int n = 1; n <= count; n++) {
        const DataHoleLayout &layout = g_data_course_holes[n - 1];
        CourseSolver solver;
        if (!open_hole(&solver, n, &layout)) return false;
        const SolverPlan plan = solver_play_hints(&solver);
        solver_close(&solver);
        if (!plan.holed) {
            fprintf(stderr, "course_solve: the hints of hole %02d do not hole out\n", n);
            return false;
        }
        text += (text.empty() ? "" : ";") + solver_strokes_text(plan);
    }
    printf("%s\n", text.c_str());
    return true;
}

int usage()
{
    fprintf(stderr, "usage: course_solve <run folder> --plan [N] | --search [N] | --calibrate | --strokes N\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 3 || argc > 4) return usage();
    // The path layer takes whole paths.
    char *whole = realpath(argv[1], nullptr);
    if (!whole) {
        fprintf(stderr, "course_solve: no folder %s\n", argv[1]);
        return 1;
    }
    const std::string run = whole, what = argv[2];
    free(whole);
    int only = 0;
    if (argc == 4) {
        only = atoi(argv[3]);
        if (only < 1 || only > DATA_COURSE_HOLE_COUNT) return usage();
    }
    sys_path_reset(run.c_str(), (run + "/data").c_str());
    FILE *config = sys_fopen("data/txt/script.txt", "rb");
    if (!config) {
        fprintf(stderr, "course_solve: no data/txt/script.txt in %s\n", run.c_str());
        return 1;
    }
    fclose(config);
    config_read_file(g_main_config_table, "data/txt/script.txt");
    bool ok = true;
    if (what == "--calibrate" && argc == 3) {
        ok = calibrate();
    } else if (what == "--strokes" && only) {
        ok = print_strokes(only);
    } else if (what == "--plan" || what == "--search") {
        const SolverMode mode = what == "--plan" ? SOLVER_LOCAL : SOLVER_FULL;
        for (int n = 1; n <= DATA_COURSE_HOLE_COUNT; n++) {
            if (only && n != only) continue;
            ok = plan_hole(n, mode) && ok;
        }
    } else {
        return usage();
    }
    physics_shutdown();
    return ok ? 0 : 1;
}
