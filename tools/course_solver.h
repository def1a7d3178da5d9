// Proof that a hole can be finished: strokes a player could make, played through course play's own
// logic frames, headless, at frame factor 1.0 on the calling thread. A stroke is judged by where it
// leaves the ball: holed, in a hazard (water or off the course), or at rest, a rest scored by how
// far it still is along the hole's route. A plan is a stroke per turn, each one robust: the same
// stroke a little stronger, weaker or turned must not end in a hazard and must end about as well.
// Used by course_solve and the tests. Main thread; one solver at a time (course play's globals).
#pragma once

#include "course/course.h"
#include "tools/data_course.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Strokes simulated until the ball sleeps, at most this many frames (timers included).
constexpr int32_t SOLVER_STROKE_FRAMES = 1200;
// Powers a player can release: the charge starts at 0.2 and grows 0.2 a frame, so levels 1 to 76.
constexpr int32_t SOLVER_LEVELS = 76;
// The camera's highest pitch: the largest horizontal share of the strike.
constexpr float SOLVER_PITCH = -20.0f;

enum SolverOutcome : int32_t { SOLVER_HOLED, SOLVER_REST, SOLVER_HAZARD };

// A stroke: camera yaw in degrees (180 strikes along +x), power level k (power 0.2 k as the charge
// reaches it), frames waited with the ball at rest before charging.
struct SolverShot {
    float yaw = 0.0f;
    int32_t level = 1;
    int32_t wait = 0;
    DataPoint aim = {0.0f, 0.0f};  // the point the yaw is toward, when the shot was aimed at one
};

struct SolverResult {
    SolverOutcome outcome = SOLVER_HAZARD;
    float position[3] = {};  // where the ball is when the stroke is over
    float cost = 0.0f;       // holed -1; rest: route left plus twice the distance off it
    float travel = 0.0f;     // the ball's path length from the strike on
    float farthest = 0.0f;   // the greatest distance on x and z from where it was struck
    uint32_t events = 0;     // course play's kPlayEvent* bits of its frames
    int32_t material = -1;   // the material of the face under the ball at the end (-1 none)
    int32_t frames = 0;      // frames the stroke took
};

// One hole in play: the state course play keeps, the hole's layout (route, PAR, hint plan) and the
// frames simulated so far (waits and settling included).
struct CourseSolver {
    PlayState state;
    const DataHoleLayout *hole = nullptr;
    bool mill = false;  // the hole has turning blades: waits matter
    int64_t frames = 0;
};

// Power of level k as the charge reaches it at factor 1.0 (0.2 first, then + 0.2 a frame up to 15).
float solver_power(int32_t level);
// The level whose power is nearest `power`, within 1 .. SOLVER_LEVELS.
int32_t solver_level_of(float power);

// Opens the hole file as course play does (ball on START, waiting to settle), with PAR from the
// layout, sounds and the replay off and the physics on the calling thread. 1, or 0 when the hole
// cannot be opened (and the solver holds nothing).
int solver_open(CourseSolver *solver, const char *path, const DataHoleLayout *hole);
void solver_close(CourseSolver *solver);

// The yaw that strikes from the ball toward (x, z).
float solver_yaw_toward(const CourseSolver *solver, float x, float z);
// The shot toward an aim point; and the aim point for a yaw: 8 units out from the ball, rounded to
// hundredths, as the hole data write it (so that a plan read back from them strikes alike).
SolverShot solver_shot_toward(const CourseSolver *solver, DataPoint aim, int32_t level, int32_t wait);
DataPoint solver_aim_along(const CourseSolver *solver, float yaw);
// Rest cost of a point: the route left from its nearest point on the route, plus twice its
// distance from the route.
float solver_route_cost(const DataHoleLayout &hole, const float *position);

// Plays the shot from the ball's rest: the wait, the charge released at the shot's power, then
// frames until the ball sleeps with the timers clear, the hole-out or a hazard (which sends the
// ball back to where it was struck), at most SOLVER_STROKE_FRAMES. The state is left after it.
SolverResult solver_play(CourseSolver *solver, const SolverShot &shot);
// The frames of a stroke already under way (a ball set moving): until it is over as above.
SolverResult solver_follow(CourseSolver *solver);
// One logic frame of course play at factor 1.0, counted; its kPlayEvent* bits.
uint32_t solver_frame(CourseSolver *solver);
// The same, with the state put back as it was afterwards.
SolverResult solver_try(CourseSolver *solver, const SolverShot &shot);
// The four neighbours of a shot (level -+ 1, yaw -+ 1 degree) tried: none ends in a hazard, and
// for a holing shot two of them hole too, for a resting one each costs at most 2 more. `centre` is
// the shot's own result.
bool solver_robust(CourseSolver *solver, const SolverShot &shot, const SolverResult &centre);

// How a plan is found: the hint plan alone; the hint, then a local search round each hint that is
// not robust; or the full search without hints.
enum SolverMode : int32_t { SOLVER_HINT, SOLVER_LOCAL, SOLVER_FULL };

struct SolverStroke {
    SolverShot shot;
    float start[3] = {};  // where the ball lay
    SolverResult result;
};

struct SolverPlan {
    std::vector<SolverStroke> strokes;
    bool holed = false;
    bool robust = true;  // every stroke passed solver_robust
};

// Plays the hole from its start, a stroke at a time, up to PAR + 2 strokes; stops at the hole-out
// or when no stroke is found. Each stroke chosen is logged to `log` when given.
SolverPlan solver_plan_hole(CourseSolver *solver, SolverMode mode, FILE *log);
// The hole's hint plan played as it stands, from the ball's rest: each hint a shot toward its aim
// point at its power's level after its wait, no neighbour tried, until the ball holes out, a hint
// is refused or the hints end. Cheaper than solver_plan_hole, and the same strokes.
SolverPlan solver_play_hints(CourseSolver *solver);
// The plan's strokes as course play's listed strokes (ZAVGOLF_STROKES, course/course.h):
// "yaw,pitch,power;..." at the solver's pitch, every number in "%.9g" so that the game reads back
// the very floats the solver struck with.
std::string solver_strokes_text(const SolverPlan &plan);
// The plan's strokes as a hole layout's hint strokes: aim point, power, wait.
std::vector<DataStroke> solver_plan_hints(const SolverPlan &plan);
// The same as the hole data's source writes them, on one line.
void solver_print_plan(const SolverPlan &plan, FILE *out);
