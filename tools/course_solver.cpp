// The hole solver (see course_solver.h): course play's logic frames driven as a player would, with
// the state saved and put back round each stroke it only tries.
#include "tools/course_solver.h"

#include "game/app.h"
#include "game/files.h"
#include "game/play_requests.h"
#include "scene/scene.h"
#include "script/config_main.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr float kPi = 3.14159265f;
// Aim points of printed plans lie this far out along the stroke.
constexpr float kAimReach = 8.0f;
// A resting neighbour may end this much worse than the shot itself.
constexpr float kRobustSlack = 2.0f;
// The candidates of a search checked for robustness, best first.
constexpr size_t kRobustChecks = 60;

// Everything a stroke changes that a later stroke reads: the ball's body, the turn's fields and
// course play's globals. The turning blades follow pales_time; the physics keeps nothing else
// from one step to the next.
struct Snapshot {
    RigidBody body;
    int32_t strokes, yaw_at_stroke, replaying, holeout_timer, end_timer, banner_timer, hole_done, hole_index;
    int32_t auto_turn_done, block, block_face, block_material, last_mouse_x, last_mouse_y;
    int32_t block_history[4];
    float power, stroke_start[3], replay_time, replay_accumulator, physics_accumulator, pales_time;
    uint32_t events;
    float camera_yaw, camera_pitch, camera_distance, pivot[3], eye[3], target[3];
    int32_t current_block, camera_mouse_x, camera_mouse_y, stored_strokes;
};

void save(const CourseSolver *solver, Snapshot *s)
{
    const PlayState &p = solver->state;
    s->body = *p.ball.body;
    s->strokes = p.strokes, s->yaw_at_stroke = p.yaw_at_stroke, s->replaying = p.replaying;
    s->holeout_timer = p.holeout_timer, s->end_timer = p.end_timer, s->banner_timer = p.banner_timer;
    s->hole_done = p.hole_done, s->hole_index = p.hole_index, s->auto_turn_done = p.auto_turn_done;
    s->block = p.block, s->block_face = p.block_face, s->block_material = p.block_material;
    s->last_mouse_x = p.last_mouse_x, s->last_mouse_y = p.last_mouse_y;
    memcpy(s->block_history, p.block_history, sizeof s->block_history);
    s->power = p.power;
    memcpy(s->stroke_start, p.stroke_start, sizeof s->stroke_start);
    s->replay_time = p.replay_time, s->replay_accumulator = p.replay_accumulator;
    s->physics_accumulator = p.physics_accumulator, s->pales_time = p.pales_time, s->events = p.events;
    s->camera_yaw = g_camera_yaw, s->camera_pitch = g_camera_pitch, s->camera_distance = g_camera_distance;
    memcpy(s->pivot, g_camera_pivot, sizeof s->pivot);
    memcpy(s->eye, g_camera_eye, sizeof s->eye);
    memcpy(s->target, g_camera_target, sizeof s->target);
    s->current_block = g_current_block;
    s->camera_mouse_x = g_camera_last_mouse_x, s->camera_mouse_y = g_camera_last_mouse_y;
    s->stored_strokes = g_hole_strokes_p1[0];
}

void restore(CourseSolver *solver, const Snapshot &s)
{
    PlayState &p = solver->state;
    *p.ball.body = s.body;
    p.strokes = s.strokes, p.yaw_at_stroke = s.yaw_at_stroke, p.replaying = s.replaying;
    p.holeout_timer = s.holeout_timer, p.end_timer = s.end_timer, p.banner_timer = s.banner_timer;
    p.hole_done = s.hole_done, p.hole_index = s.hole_index, p.auto_turn_done = s.auto_turn_done;
    p.block = s.block, p.block_face = s.block_face, p.block_material = s.block_material;
    p.last_mouse_x = s.last_mouse_x, p.last_mouse_y = s.last_mouse_y;
    memcpy(p.block_history, s.block_history, sizeof s.block_history);
    p.power = s.power;
    memcpy(p.stroke_start, s.stroke_start, sizeof s.stroke_start);
    p.replay_time = s.replay_time, p.replay_accumulator = s.replay_accumulator;
    p.physics_accumulator = s.physics_accumulator, p.pales_time = s.pales_time, p.events = s.events;
    g_camera_yaw = s.camera_yaw, g_camera_pitch = s.camera_pitch, g_camera_distance = s.camera_distance;
    memcpy(g_camera_pivot, s.pivot, sizeof s.pivot);
    memcpy(g_camera_eye, s.eye, sizeof s.eye);
    memcpy(g_camera_target, s.target, sizeof s.target);
    g_current_block = s.current_block;
    g_camera_last_mouse_x = s.camera_mouse_x, g_camera_last_mouse_y = s.camera_mouse_y;
    g_hole_strokes_p1[0] = s.stored_strokes;
    // With the replay off nothing reads the recorded frames; tries would only grow the list.
    list_clear(&p.replay_list);
}

bool asleep(const CourseSolver *solver) { return solver->state.ball.body->asleep != 0; }

// Frames until the ball has lain still through one whole frame of tests (at most `limit`).
void settle(CourseSolver *solver, int32_t limit)
{
    for (int32_t f = 0; f < limit; f++) {
        const bool before = asleep(solver);
        solver_frame(solver);
        if (before && asleep(solver)) return;
    }
}

float wrap_degrees(float yaw)
{
    yaw = fmodf(yaw, 360.0f);
    return yaw < 0.0f ? yaw + 360.0f : yaw;
}

// The route point nearest (x, z): its segment, and the distance from it.
struct RouteSpot {
    size_t segment = 0;
    float along = 0.0f;  // route left from the nearest point to the cup
    float off = 0.0f;
};

RouteSpot route_spot(const DataHoleLayout &hole, float x, float z)
{
    RouteSpot best;
    const std::vector<DataPoint> &r = hole.route;
    if (r.empty()) return best;
    if (r.size() == 1) {
        best.off = hypotf(x - r[0].x, z - r[0].z);
        return best;
    }
    float best_distance = INFINITY;
    for (size_t i = 0; i + 1 < r.size(); i++) {
        const float dx = r[i + 1].x - r[i].x, dz = r[i + 1].z - r[i].z, length2 = dx * dx + dz * dz;
        float t = length2 > 0.0f ? ((x - r[i].x) * dx + (z - r[i].z) * dz) / length2 : 0.0f;
        t = std::clamp(t, 0.0f, 1.0f);
        const float px = r[i].x + t * dx, pz = r[i].z + t * dz, distance = hypotf(x - px, z - pz);
        if (distance < best_distance) {
            best_distance = distance;
            best.segment = i;
            best.off = distance;
            float along = hypotf(r[i + 1].x - px, r[i + 1].z - pz);
            for (size_t k = i + 1; k + 1 < r.size(); k++) along += hypotf(r[k + 1].x - r[k].x, r[k + 1].z - r[k].z);
            best.along = along;
        }
    }
    return best;
}

const char *outcome_name(SolverOutcome outcome)
{
    switch (outcome) {
    case SOLVER_HOLED: return "holed";
    case SOLVER_REST: return "rest";
    case SOLVER_HAZARD: return "hazard";
    }
    return "?";
}

struct Candidate {
    SolverShot shot;
    SolverResult result;
};

// Best first: holed, then the lowest rest cost; hazards last.
bool better(const SolverResult &a, const SolverResult &b)
{
    if ((a.outcome == SOLVER_HAZARD) != (b.outcome == SOLVER_HAZARD)) return b.outcome == SOLVER_HAZARD;
    return a.cost < b.cost;
}

// Of the candidates tried, the best robust one among the first kRobustChecks (or, failing that,
// the best that is not a hazard, with *robust false); false when every candidate ends in a hazard.
bool choose(CourseSolver *solver, std::vector<Candidate> &candidates, Candidate *chosen, bool *robust)
{
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate &a, const Candidate &b) { return better(a.result, b.result); });
    if (candidates.empty() || candidates[0].result.outcome == SOLVER_HAZARD) return false;
    for (size_t k = 0; k < candidates.size() && k < kRobustChecks; k++) {
        if (candidates[k].result.outcome == SOLVER_HAZARD) break;
        if (solver_robust(solver, candidates[k].shot, candidates[k].result)) {
            *chosen = candidates[k];
            *robust = true;
            return true;
        }
    }
    *chosen = candidates[0];
    *robust = false;
    return true;
}

std::vector<int32_t> waits_of(const CourseSolver *solver, int32_t hint_wait)
{
    if (!solver->mill) return {hint_wait};
    std::vector<int32_t> waits;
    for (int32_t w = 0; w <= 300; w += 60) waits.push_back(w);
    return waits;
}

// Yaw -+ 5 degrees in whole degrees, power -+ 20 % in five levels, and on mill holes the waits.
std::vector<Candidate> local_search(CourseSolver *solver, const SolverShot &hint)
{
    std::vector<Candidate> out;
    std::vector<int32_t> levels;
    for (float scale : {0.8f, 0.9f, 1.0f, 1.1f, 1.2f}) {
        const int32_t level = solver_level_of(solver_power(hint.level) * scale);
        if (std::find(levels.begin(), levels.end(), level) == levels.end()) levels.push_back(level);
    }
    for (int32_t wait : waits_of(solver, hint.wait))
        for (int32_t turn = -5; turn <= 5; turn++)
            for (int32_t level : levels) {
                const DataPoint aim = solver_aim_along(solver, hint.yaw + float(turn));
                const SolverShot shot = solver_shot_toward(solver, aim, level, wait);
                out.push_back({shot, solver_try(solver, shot)});
            }
    return out;
}

// Toward the next two waypoints and the cup, each turned by 0, -+3, -+6, -+10 and -+15 degrees;
// per direction 12 powers over the whole range, then three bisections round the best.
std::vector<Candidate> full_search(CourseSolver *solver)
{
    const DataHoleLayout &hole = *solver->hole;
    const float *ball = solver->state.ball.body->position;
    std::vector<DataPoint> targets;
    if (!hole.route.empty()) {
        const RouteSpot spot = route_spot(hole, ball[0], ball[2]);
        for (size_t k = spot.segment + 1; k <= spot.segment + 2 && k < hole.route.size(); k++)
            targets.push_back(hole.route[k]);
        targets.push_back(hole.route.back());
    }
    std::vector<float> yaws;
    for (const DataPoint &t : targets) {
        const float base = solver_yaw_toward(solver, t.x, t.z);
        for (float turn : {0.0f, -3.0f, 3.0f, -6.0f, 6.0f, -10.0f, 10.0f, -15.0f, 15.0f}) {
            const float yaw = wrap_degrees(base + turn);
            bool seen = false;
            for (float y : yaws) seen |= fabsf(y - yaw) < 0.5f;
            if (!seen) yaws.push_back(yaw);
        }
    }
    std::vector<Candidate> out;
    for (int32_t wait : waits_of(solver, 0))
        for (float yaw : yaws) {
            std::vector<Candidate> line;  // this direction's powers
            auto tried = [&](int32_t level) -> const Candidate * {
                for (const Candidate &c : line)
                    if (c.shot.level == level) return &c;
                return nullptr;
            };
            auto attempt = [&](int32_t level) {
                if (level < 1 || level > SOLVER_LEVELS || tried(level)) return;
                const SolverShot shot = solver_shot_toward(solver, solver_aim_along(solver, yaw), level, wait);
                line.push_back({shot, solver_try(solver, shot)});
            };
            for (int32_t i = 1; i <= 12; i++) attempt(int32_t(lroundf(float(SOLVER_LEVELS) * float(i) / 12.0f)));
            for (int round = 0; round < 3; round++) {
                const Candidate *best = &line[0];
                for (const Candidate &c : line)
                    if (better(c.result, best->result)) best = &c;
                // Halfway from the best to the nearest level tried on either side (or the very next
                // level once they are neighbours).
                const int32_t centre = best->shot.level;
                int32_t below = 0, above = SOLVER_LEVELS + 1;
                for (const Candidate &c : line) {
                    if (c.shot.level < centre) below = std::max(below, c.shot.level);
                    if (c.shot.level > centre) above = std::min(above, c.shot.level);
                }
                attempt((below + centre) / 2 > below ? (below + centre) / 2 : centre - 1);
                attempt((centre + above + 1) / 2 < above ? (centre + above + 1) / 2 : centre + 1);
            }
            out.insert(out.end(), line.begin(), line.end());
        }
    return out;
}

void log_stroke(FILE *log, int32_t number, const SolverStroke &s, bool robust, const char *how)
{
    if (!log) return;
    fprintf(log, "  stroke %d (%s): from (%.2f, %.2f) yaw %.2f power %.1f wait %d -> %s at (%.2f, %.2f, %.2f) cost %.2f, %d frames%s\n",
            number, how, s.start[0], s.start[2], s.shot.yaw, solver_power(s.shot.level), s.shot.wait,
            outcome_name(s.result.outcome), s.result.position[0], s.result.position[1], s.result.position[2],
            s.result.cost, s.result.frames, robust ? "" : ", NOT ROBUST");
}

}  // namespace

float solver_power(int32_t level)
{
    // The charge as course play grows it at factor 1.0: 0.2 in the first frame, then + 0.2 a
    // frame while under 15.
    float power = 0.2f;
    for (int32_t k = 1; k < level; k++)
        if (power > 0.0f && power < 15.0f) power += 1.0f * 0.2f;
    return power;
}

int32_t solver_level_of(float power)
{
    int32_t best = 1;
    for (int32_t k = 2; k <= SOLVER_LEVELS; k++)
        if (fabsf(solver_power(k) - power) < fabsf(solver_power(best) - power)) best = k;
    return best;
}

int solver_open(CourseSolver *solver, const char *path, const DataHoleLayout *hole)
{
    solver_close(solver);
    physics_set_workers(0, 0);
    g_sound_card_on = 0;
    g_option_replay = 0;
    g_mouse_left_down = g_mouse_right_down = g_wheel_delta = 0;
    options_open = leave_requested = restart_requested = 0;
    for (int32_t i = 0; i < kPlayMaxHoles; i++) g_hole_strokes_p1[i] = g_hole_strokes_p2[i] = g_hole_par_table[i] = -1;
    solver->state.hole_index = 0;
    solver->state.player_count = 1;
    solver->state.player = 0;
    if (!play_sim_open(&solver->state, path)) {
        solver_close(solver);
        return 0;
    }
    solver->hole = hole;
    solver->state.par = hole->par;
    g_hole_par_table[0] = hole->par;
    solver->mill = false;
    const SceneWorld *world = &g_hole_world;
    for (int32_t i = 0; i < world->object_count; i++)
        if (world->objects[i] && world->objects[i]->rotating) solver->mill = true;
    solver->frames = 0;
    settle(solver, SOLVER_STROKE_FRAMES);
    return 1;
}

void solver_close(CourseSolver *solver)
{
    play_teardown_hole(&solver->state);
    play_ball_free(&solver->state.ball);
    world_release_and_reset(&g_hole_world);
    solver->hole = nullptr;
}

float solver_yaw_toward(const CourseSolver *solver, float x, float z)
{
    const float *ball = solver->state.ball.body->position;
    // A strike runs along -(cos yaw, sin yaw).
    return wrap_degrees(atan2f(ball[2] - z, ball[0] - x) * 180.0f / kPi);
}

SolverShot solver_shot_toward(const CourseSolver *solver, DataPoint aim, int32_t level, int32_t wait)
{
    SolverShot shot;
    shot.yaw = solver_yaw_toward(solver, aim.x, aim.z);
    shot.level = level;
    shot.wait = wait;
    shot.aim = aim;
    return shot;
}

DataPoint solver_aim_along(const CourseSolver *solver, float yaw)
{
    const float *ball = solver->state.ball.body->position, a = yaw * kPi / 180.0f;
    const float x = ball[0] - kAimReach * cosf(a), z = ball[2] - kAimReach * sinf(a);
    return {roundf(x * 100.0f) / 100.0f, roundf(z * 100.0f) / 100.0f};
}

float solver_route_cost(const DataHoleLayout &hole, const float *position)
{
    const RouteSpot spot = route_spot(hole, position[0], position[2]);
    return spot.along + 2.0f * spot.off;
}

SolverResult solver_follow(CourseSolver *solver)
{
    SolverResult result;
    PlayState *state = &solver->state;
    RigidBody *body = state->ball.body;
    const float start[3] = {body->position[0], body->position[1], body->position[2]};
    const int64_t first = solver->frames;
    bool over = false;
    for (int32_t f = 0; f < SOLVER_STROKE_FRAMES && !over; f++) {
        const bool before = body->asleep != 0;
        const float from[3] = {body->position[0], body->position[1], body->position[2]};
        const uint32_t events = solver_frame(solver);
        result.events |= events;
        over = true;
        if (events & kPlayEventHoled)
            result.outcome = SOLVER_HOLED;
        else if (events & (kPlayEventWater | kPlayEventOutOfCourse))
            result.outcome = SOLVER_HAZARD;
        else if (before && body->asleep && !state->holeout_timer && !state->end_timer && !state->replaying)
            result.outcome = SOLVER_REST;
        else
            over = false;
        if (events & (kPlayEventWater | kPlayEventOutOfCourse)) continue;  // the ball was sent back
        const float *p = body->position;
        result.travel += sqrtf((p[0] - from[0]) * (p[0] - from[0]) + (p[1] - from[1]) * (p[1] - from[1]) +
                               (p[2] - from[2]) * (p[2] - from[2]));
        result.farthest = fmaxf(result.farthest, hypotf(p[0] - start[0], p[2] - start[2]));
    }
    // A ball still moving after all the frames counts as lost.
    if (!over) result.outcome = SOLVER_HAZARD;
    memcpy(result.position, body->position, sizeof result.position);
    result.material = state->block_material;
    result.frames = int32_t(solver->frames - first);
    result.cost = result.outcome == SOLVER_HOLED    ? -1.0f
                  : result.outcome == SOLVER_HAZARD ? INFINITY
                                                    : solver_route_cost(*solver->hole, result.position);
    return result;
}

uint32_t solver_frame(CourseSolver *solver)
{
    solver->frames++;
    return play_frame_logic(&solver->state, 1.0f);
}

SolverResult solver_play(CourseSolver *solver, const SolverShot &shot)
{
    for (int32_t w = 0; w < shot.wait; w++) solver_frame(solver);
    // A blade may have pushed the ball during the wait: it is struck once it lies still again.
    if (!asleep(solver)) settle(solver, SOLVER_STROKE_FRAMES);
    if (!play_sim_strike(&solver->state, shot.yaw, SOLVER_PITCH, solver_power(shot.level))) {
        SolverResult refused;  // not a stroke a player could make now
        memcpy(refused.position, solver->state.ball.body->position, sizeof refused.position);
        refused.cost = INFINITY;
        return refused;
    }
    return solver_follow(solver);
}

SolverResult solver_try(CourseSolver *solver, const SolverShot &shot)
{
    Snapshot before;
    save(solver, &before);
    const SolverResult result = solver_play(solver, shot);
    restore(solver, before);
    return result;
}

bool solver_robust(CourseSolver *solver, const SolverShot &shot, const SolverResult &centre)
{
    if (centre.outcome == SOLVER_HAZARD) return false;
    const SolverShot neighbours[4] = {{shot.yaw, shot.level - 1, shot.wait},
                                      {shot.yaw, shot.level + 1, shot.wait},
                                      {wrap_degrees(shot.yaw - 1.0f), shot.level, shot.wait},
                                      {wrap_degrees(shot.yaw + 1.0f), shot.level, shot.wait}};
    int32_t holed = 0;
    for (const SolverShot &n : neighbours) {
        if (n.level < 1 || n.level > SOLVER_LEVELS) continue;  // past what a charge gives
        const SolverResult r = solver_try(solver, n);
        if (r.outcome == SOLVER_HAZARD) return false;
        if (r.outcome == SOLVER_HOLED) holed++;
        if (centre.outcome == SOLVER_REST && r.outcome == SOLVER_REST && r.cost > centre.cost + kRobustSlack) return false;
    }
    return centre.outcome == SOLVER_REST || holed >= 2;
}

SolverPlan solver_plan_hole(CourseSolver *solver, SolverMode mode, FILE *log)
{
    SolverPlan plan;
    const DataHoleLayout &hole = *solver->hole;
    for (int32_t s = 0; s < hole.par + 2; s++) {
        const bool has_hint = mode != SOLVER_FULL && size_t(s) < hole.plan.size();
        SolverShot hint;
        if (has_hint) {
            const DataStroke &h = hole.plan[size_t(s)];
            hint = solver_shot_toward(solver, h.aim, solver_level_of(h.power), h.wait);
        }
        Candidate chosen;
        bool robust = false;
        const char *how = "hint";
        if (has_hint) {
            chosen = {hint, solver_try(solver, hint)};
            robust = solver_robust(solver, hint, chosen.result);
        }
        if (mode == SOLVER_HINT && !has_hint) break;
        if (mode != SOLVER_HINT && !robust) {
            std::vector<Candidate> candidates = has_hint ? local_search(solver, hint) : full_search(solver);
            how = has_hint ? "local search" : "full search";
            if (!choose(solver, candidates, &chosen, &robust)) break;
        }
        SolverStroke stroke;
        stroke.shot = chosen.shot;
        memcpy(stroke.start, solver->state.ball.body->position, sizeof stroke.start);
        stroke.result = solver_play(solver, chosen.shot);
        // The try and the stroke itself start from the same state: they must agree.
        if (memcmp(stroke.result.position, chosen.result.position, sizeof stroke.result.position) != 0 ||
            stroke.result.outcome != chosen.result.outcome) {
            if (log) fprintf(log, "  stroke %d: the stroke played ended elsewhere than its try\n", s + 1);
            robust = false;
        }
        plan.robust = plan.robust && robust;
        plan.strokes.push_back(stroke);
        log_stroke(log, s + 1, stroke, robust, how);
        if (stroke.result.outcome == SOLVER_HOLED) {
            plan.holed = true;
            break;
        }
    }
    return plan;
}

SolverPlan solver_play_hints(CourseSolver *solver)
{
    SolverPlan plan;
    plan.robust = false;  // nothing was tried
    for (const DataStroke &h : solver->hole->plan) {
        SolverStroke stroke;
        stroke.shot = solver_shot_toward(solver, h.aim, solver_level_of(h.power), h.wait);
        memcpy(stroke.start, solver->state.ball.body->position, sizeof stroke.start);
        stroke.result = solver_play(solver, stroke.shot);
        if (stroke.result.frames == 0) break;  // refused: not a stroke a player could make now
        plan.strokes.push_back(stroke);
        if (stroke.result.outcome == SOLVER_HOLED) {
            plan.holed = true;
            break;
        }
    }
    return plan;
}

std::string solver_strokes_text(const SolverPlan &plan)
{
    std::string text;
    for (const SolverStroke &s : plan.strokes) {
        char one[96];
        snprintf(one, sizeof one, "%s%.9g,%.9g,%.9g", text.empty() ? "" : ";", double(s.shot.yaw),
                 double(SOLVER_PITCH), double(solver_power(s.shot.level)));
        text += one;
    }
    return text;
}

std::vector<DataStroke> solver_plan_hints(const SolverPlan &plan)
{
    std::vector<DataStroke> out;
    for (const SolverStroke &s : plan.strokes)
        out.push_back({s.shot.aim, roundf(solver_power(s.shot.level) * 10.0f) / 10.0f, s.shot.wait});
    return out;
}

void solver_print_plan(const SolverPlan &plan, FILE *out)
{
    fprintf(out, "{");
    bool first = true;
    for (const DataStroke &h : solver_plan_hints(plan)) {
        fprintf(out, "%s{{%.2ff, %.2ff}, %.1ff, %d}", first ? "" : ", ", h.aim.x, h.aim.z, h.power, h.wait);
        first = false;
    }
    fprintf(out, "}\n");
}
