// The islands: in a step that allows it, the bodies that candidate pairs join are stepped through
// all the step's sub-steps by one worker each, handed out among the pool's workers and their
// lookups of the whole body order answered.
#include "physics/physics_local.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace {

// In a step without joints, whose colliders stand still, a body's sub-steps read only its own data,
// its broad-phase candidates', the static meshes and the body order. The bodies that candidate
// pairs join (an island) are then stepped through all the step's sub-steps by one worker, which
// waits for no other between sub-steps; a worker done with its own range's islands takes those no
// other worker has begun. The body order serves only the order in which a body meets its
// candidates, the highest first: the island's worker knows their heights; only when two of them
// tie and both touch the body does it need the whole order, sorted from every body's height at
// that sub-step once every island has reached it.
constexpr int32_t kIslandMostSubsteps = 16;
// Each body's heights as its prepares of the islands' sub-steps began, on lines of its own.
struct alignas(64) IslandHeights {
    float at[kIslandMostSubsteps];
};
IslandHeights g_island_heights[kPhysicsMaxBodies];
// An island's state: the number of the phase it was last of (bits 32 to 63), whether a thread is
// stepping it (31), and its stages done (0 to 30): stage 0 is its bodies' stroke and first prepare,
// stage k + 1 sub-step k; stage k writes the heights of sub-step k. Of an earlier phase, none done.
// Taken by compare-and-swap with the phase number the thread came for, so that a thread late from
// an earlier phase never takes an island of a later one.
struct alignas(64) IslandUnit {
    std::atomic<uint64_t> state{0};
};
constexpr uint64_t kUnitTaken = uint64_t(1) << 31;
// Each island's phase number once it has written its heights of the last sub-step (its stage
// before the last done), on a line apart from its state: the islands' sort waits on these, and
// polling the state would take its line from the island's thread at every stage.
struct alignas(64) IslandReady {
    std::atomic<uint32_t> phase{0};
};
IslandUnit g_units[kPhysicsMaxBodies];
IslandReady g_unit_ready[kPhysicsMaxBodies];
// Each range's next island to hand out (from range_units[r] on), on a line of its own: the phase's
// number (bits 32 to 63) and the next island (0 to 31); of an earlier phase, the first.
struct alignas(64) IslandNext {
    std::atomic<uint64_t> next{0};
};
IslandNext g_island_next[kPhysicsWorkers];
struct IslandStep {
    int32_t substeps = 0, bodies = 0, ranges = 0;
    uint32_t phase = 0;  // the islands phase's number
    uint32_t first_serial = 0;
    int32_t range_units[kPhysicsWorkers + 1] = {};  // range r's islands: [range_units[r], [r + 1])
};
// Written by the stepping thread before the phase, read by every job: on lines that nothing
// written during the phase shares (each atomic below has a line of its own).
alignas(64) IslandStep g_island;
// Whether the islands may be read (g_island and the islands' arrays), and of which phase; and the
// threads reading them. The stepping thread closes them and waits for every thread out before it
// writes them again, so that a thread late from an earlier islands phase never reads them half
// written (it finds them closed, or of another phase, and leaves).
alignas(64) std::atomic<uint8_t> g_island_open{0};
alignas(64) std::atomic<uint32_t> g_island_phase{0};
alignas(64) std::atomic<int32_t> g_island_threads{0};
// The body order the islands phase leaves, sorted from the last sub-step's heights: the phase's
// number (bits 2 to 33) and whether the sort is taken or made (bits 0 and 1; neither, or of an
// earlier phase: the sort is free). The first thread out of islands takes it and sorts as soon as
// every island has written those heights, while the last islands run their last sub-step; the
// stepping thread sorts after the phase when no thread did.
constexpr uint64_t kSortTaken = 1, kSortMade = 2;
alignas(64) std::atomic<uint64_t> g_island_sort{0};
bool sort_taken(uint64_t sort, uint32_t phase) { return uint32_t(sort >> 2) == phase && (sort & 3) != 0; }
alignas(64) int32_t g_island_order[kPhysicsMaxBodies];
int32_t g_unit_first[kPhysicsMaxBodies + 1];  // island u's bodies: [first[u], first[u + 1]) of the order
// Main thread: the islands (union-find roots), their ranges and numbers.
int32_t g_island_root[kPhysicsMaxBodies];
int32_t g_island_unit[kPhysicsMaxBodies];

// The worker's island run: whether it is in one, its sub-step (-1: none, or the islands' stroke
// and first prepare), the whole order it sorted for one sub-step, and its worker number.
struct IslandThread {
    bool stepping = false;
    int32_t substep = -1;
    int32_t rank_substep = -1;
    int32_t worker = 0;
};
constinit thread_local IslandThread t_island;
constinit thread_local int16_t t_island_rank[kPhysicsMaxBodies];
constinit thread_local BodyOrderEntry t_island_entries[kPhysicsMaxBodies] = {};  // {} for clang's constinit
constinit thread_local float t_island_gathered[kPhysicsMaxBodies];

uint32_t unit_phase(uint64_t state) { return uint32_t(state >> 32); }
int32_t unit_done(uint64_t state) { return int32_t(state & (kUnitTaken - 1)); }
uint64_t unit_state(uint32_t phase, bool taken, int32_t done)
{
    return uint64_t(phase) << 32 | (taken ? kUnitTaken : 0) | uint64_t(done);
}

// Island u's stages done in the phase numbered `phase`.
int32_t unit_progress(int32_t u, uint32_t phase)
{
    const uint64_t state = g_units[u].state.load(std::memory_order_acquire);
    return unit_phase(state) == phase ? unit_done(state) : 0;
}

// Takes island u of the phase numbered `phase` when no thread is stepping it and it is not done:
// true, with its stages done in *done.
bool take_unit(int32_t u, uint32_t phase, int32_t *done)
{
    uint64_t state = g_units[u].state.load(std::memory_order_acquire);
    const int32_t so_far = unit_phase(state) == phase ? unit_done(state) : 0;
    if (unit_phase(state) == phase && ((state & kUnitTaken) || so_far > g_island.substeps)) return false;
    if (!g_units[u].state.compare_exchange_strong(state, unit_state(phase, true, so_far), std::memory_order_acq_rel))
        return false;
    *done = so_far;
    return true;
}

// The islands phase's body heights and order on this thread if no other has taken them: false when
// taken. It waits for every island's heights of the last sub-step (written by its stage before
// the last).
bool island_sort(uint32_t phase)
{
    uint64_t free = g_island_sort.load(std::memory_order_relaxed);
    if (sort_taken(free, phase) ||
        !g_island_sort.compare_exchange_strong(free, uint64_t(phase) << 2 | kSortTaken, std::memory_order_acq_rel))
        return false;
    const int32_t units = g_island.range_units[g_island.ranges], n = g_island.substeps;
    for (int32_t u = 0; u < units; u++)
        for (int spins = 0; g_unit_ready[u].phase.load(std::memory_order_acquire) != phase; spins++)
            physics_spin_wait(spins);
    PhysicsWorld *world = g_physics_world_pointer;
    for (int32_t i = 0; i < g_island.bodies; i++)
        physics_store_changed(&world->body_heights[i], g_island_heights[i].at[n - 1]);
    physics_sort_body_order(world, g_island.bodies);
    g_island_sort.store(uint64_t(phase) << 2 | kSortMade, std::memory_order_release);
    return true;
}

// Island u's stages from `done` up to `target` on this thread, which has it; then let go. The
// island's bodies when it is finished, else 0.
int32_t step_unit(int32_t u, int32_t done, int32_t target)
{
    const int32_t first = g_unit_first[u], end = g_unit_first[u + 1];
    const int32_t n = g_island.substeps, worker = t_island.worker;
    int32_t stage = done;
    for (; stage < target; stage++) {
        if (stage == 0) {
            // Outside any sub-step (this may run for a lookup inside another island's collide job).
            t_island.substep = -1;
            g_physics_island_serial = 0;
            g_physics_use_collide_positions = 0;
            for (int32_t c = first; c < end; c++) physics_job_stroke_and_prepare(g_island_order[c], worker);
        } else {
            const int32_t k = stage - 1;
            t_island.substep = k;
            g_physics_island_serial = g_island.first_serial + uint32_t(k);
            for (int32_t c = first; c < end; c++) physics_job_wake_and_collide(g_island_order[c], worker);
            for (int32_t c = first; c < end; c++) {
                if (k + 1 < n)
                    physics_job_correct_hold_and_prepare(g_island_order[c], worker);
                else
                    physics_job_correct_and_hold(g_island_order[c], worker);
            }
            t_island.substep = -1;
            g_physics_island_serial = 0;
        }
        if (stage + 1 == n) g_unit_ready[u].phase.store(g_island.phase, std::memory_order_release);
        if (stage + 1 < target)
            g_units[u].state.store(unit_state(g_island.phase, true, stage + 1), std::memory_order_release);
    }
    g_units[u].state.store(unit_state(g_island.phase, false, stage), std::memory_order_release);
    return done <= n && stage == n + 1 ? end - first : 0;
}

// What a job puts aside while its thread steps another island: the island run's state, and the
// contacts its worker's buffer holds.
struct PutAside {
    IslandThread island;
    uint32_t serial;
    uint8_t use_collide_positions;
    int32_t contacts;
    std::vector<float> floats;
    std::vector<int32_t> ints;

    explicit PutAside(ContactBuffer &buffer)
        : island(t_island), serial(g_physics_island_serial), use_collide_positions(g_physics_use_collide_positions),
          contacts(buffer.count < 0 ? 0 : buffer.count)
    {
        floats.resize(size_t(contacts) * 7);
        ints.resize(size_t(contacts) * 2);
        for (int32_t c = 0; c < contacts; c++) {
            float *f = &floats[size_t(c) * 7];
            f[0] = buffer.depth[c];
            memcpy(f + 1, buffer.normal[c], 3 * sizeof(float));
            memcpy(f + 4, buffer.point[c], 3 * sizeof(float));
            ints[size_t(c) * 2] = buffer.kind[c];
            ints[size_t(c) * 2 + 1] = buffer.other[c];
        }
    }
    void restore(ContactBuffer &buffer) const
    {
        for (int32_t c = 0; c < contacts; c++) {
            const float *f = &floats[size_t(c) * 7];
            buffer.depth[c] = f[0];
            memcpy(buffer.normal[c], f + 1, 3 * sizeof(float));
            memcpy(buffer.point[c], f + 4, 3 * sizeof(float));
            buffer.kind[c] = ints[size_t(c) * 2];
            buffer.other[c] = ints[size_t(c) * 2 + 1];
        }
        buffer.count = contacts;
        t_island = island;
        g_physics_island_serial = serial;
        g_physics_use_collide_positions = use_collide_positions;
    }
};

// The whole body order's ranks at sub-step k of the islands, once every island has written its
// heights of that sub-step (done its stage k). An island behind it that no worker has is stepped up
// to it here, the job's state put aside (its stages up to k wait only for islands at lower
// sub-steps: this ends).
const int16_t *island_rank(int32_t k)
{
    if (t_island.rank_substep == k) return t_island_rank;
    g_physics_island_lookups.fetch_add(1, std::memory_order_relaxed);
    const int32_t units = g_island.range_units[g_island.ranges];
    for (int32_t u = 0; u < units; u++)
        for (int spins = 0;; spins++) {
            if (unit_progress(u, g_island.phase) > k) break;
            int32_t done = 0;
            if (take_unit(u, g_island.phase, &done)) {
                ContactBuffer &buffer = g_physics_world_pointer->contact_buffers[t_island.worker];
                const PutAside aside(buffer);
                // Never the island's last stage (k is below the sub-steps): it finishes nothing.
                step_unit(u, done, k + 1);
                aside.restore(buffer);
                continue;
            }
            physics_spin_wait(spins);
        }
    for (int32_t i = 0; i < g_island.bodies; i++) t_island_gathered[i] = g_island_heights[i].at[k];
    physics_sort_exchange(t_island_gathered, t_island_entries, g_island.bodies);
    for (int32_t p = 0; p < g_island.bodies; p++) t_island_rank[t_island_entries[p].body] = int16_t(p);
    t_island.rank_substep = k;
    return t_island_rank;
}

int32_t island_find(int32_t i)
{
    while (g_island_root[i] != i) {
        g_island_root[i] = g_island_root[g_island_root[i]];
        i = g_island_root[i];
    }
    return i;
}

// Whether the colliders stand still through the step's n sub-steps: each one's interpolated
// transform is the one it has, so that interpolating it would change nothing.
bool colliders_still(const PhysicsWorld *world, int32_t n)
{
    for (int32_t s = 0; s < world->collider_count && s < kPhysicsMaxColliders; s++) {
        const ColliderSlot *slot = &world->colliders[s];
        const MeshObject *mesh = slot->object;
        if (!mesh) continue;
        if (!slot->applied_valid) return false;
        for (int32_t k = 0; k < n; k++) {
            const float t = float(k) / float(n);
            for (int c = 0; c < 3; c++) {
                const float position = physics_interpolated(slot->previous_position[c], slot->current_position[c], t);
                const float rotation = physics_interpolated(slot->previous_rotation[c], slot->current_rotation[c], t);
                if (memcmp(&position, &mesh->position[c], sizeof position) != 0 ||
                    memcmp(&rotation, &mesh->rotation[c], sizeof rotation) != 0)
                    return false;
            }
        }
    }
    return true;
}

// Main thread: the lists, bodies and ranges the islands were last shared out from (-1: none).
CandidateList g_shared_lists[kPhysicsMaxBodies];
int32_t g_shared_bodies = -1, g_shared_ranges = -1;

// Main thread: the order and island starts as share_islands makes them, before they are stored.
int32_t g_made_order[kPhysicsMaxBodies];
int32_t g_made_first[kPhysicsMaxBodies + 1];

// The islands shared out among the ranges of the phase: each to the range that holds its first body
// in the other phases (whose cache has its data; a worker done with its range takes others'
// islands). Fills the order (range by range, island by island) and the islands, storing only what
// changed: every worker reads these lines, and the islands change seldom from step to step.
void share_islands(const PhysicsWorld *world, int32_t bodies, int32_t ranges)
{
    for (int32_t i = 0; i < bodies; i++) g_island_root[i] = i;
    for (int32_t i = 0; i < bodies; i++) {
        const CandidateList &list = world->candidate_lists[i];
        for (int32_t c = 0; c < list.count; c++) {
            const int32_t j = list.body[c];
            if (j < 0 || j >= bodies) continue;
            const int32_t a = island_find(i), b = island_find(j);
            if (a != b) g_island_root[a > b ? a : b] = a < b ? a : b;
        }
    }
    // Every body's root, its island's lowest body: a body's parent is never above it, so one pass
    // in body order finds them. A root is its island's first body met; its island's range is
    // noted in g_island_unit for now.
    int32_t islands[kPhysicsWorkers] = {};
    int32_t home = 0, home_end = bodies / ranges;
    for (int32_t i = 0; i < bodies; i++) {
        g_island_root[i] = g_island_root[g_island_root[i]];
        while (i >= home_end) home_end = bodies * (++home + 1) / ranges;
        if (g_island_root[i] != i) continue;
        g_island_unit[i] = home;
        islands[home]++;
    }
    // The islands numbered range by range, in the order of their first bodies; their bodies laid
    // out island by island.
    g_island.range_units[0] = 0;
    for (int32_t r = 0; r < ranges; r++) g_island.range_units[r + 1] = g_island.range_units[r] + islands[r];
    int32_t next[kPhysicsWorkers];
    for (int32_t r = 0; r < ranges; r++) next[r] = g_island.range_units[r];
    const int32_t units = g_island.range_units[ranges];
    for (int32_t i = 0; i < bodies; i++)
        if (g_island_root[i] == i) g_island_unit[i] = next[g_island_unit[i]]++;
    // Sizes, their running sums, then each body placed (taking its island's next place).
    int32_t *first = g_made_first;
    for (int32_t u = 0; u <= units; u++) first[u] = 0;
    for (int32_t i = 0; i < bodies; i++) first[g_island_unit[g_island_root[i]] + 1]++;
    for (int32_t u = 0; u < units; u++) first[u + 1] += first[u];
    for (int32_t i = 0; i < bodies; i++) g_made_order[first[g_island_unit[g_island_root[i]]]++] = i;
    // The starts were moved on by the placing: each is now the next island's.
    for (int32_t u = units; u > 0; u--) first[u] = first[u - 1];
    first[0] = 0;
    for (int32_t u = 0; u <= units; u++) physics_store_changed(&g_unit_first[u], first[u]);
    for (int32_t k = 0; k < bodies; k++) physics_store_changed(&g_island_order[k], g_made_order[k]);
}

}  // namespace

// (A worker waiting for an island's heights steps it itself when no worker has it: no island waits
// for a thread to come.)
bool physics_islands_allowed(const PhysicsWorld *world, int32_t n, int32_t bodies)
{
    const int32_t ranges = physics_phase_ranges(bodies);
    return ranges >= 2 && ranges <= kPhysicsWorkers && n <= kIslandMostSubsteps && world->joint_chain_count <= 0 &&
           colliders_still(world, n);
}

bool physics_islands_run(PhysicsWorld *world, int32_t n, int32_t bodies)
{
    const int32_t ranges = physics_phase_ranges(bodies);
    for (int32_t i = 0; i < bodies; i++)
        if (world->candidate_lists[i].count < 0) return false;
    g_island_open.store(0);
    for (int spins = 0; g_island_threads.load() != 0; spins++) physics_spin_wait(spins);
    g_island.substeps = n;
    g_island.bodies = bodies;
    g_island.ranges = ranges;
    g_island.phase = physics_next_phase_number();
    g_island.first_serial = g_physics_substep_serial + 1;
    // The islands change only with the lists: most steps keep them.
    const size_t lists = size_t(bodies) * sizeof(CandidateList);
    if (bodies != g_shared_bodies || ranges != g_shared_ranges ||
        memcmp(g_shared_lists, world->candidate_lists, lists) != 0) {
        share_islands(world, bodies, ranges);
        memcpy(g_shared_lists, world->candidate_lists, lists);
        g_shared_bodies = bodies;
        g_shared_ranges = ranges;
    }
    // Opened for the phase. (Its publication orders these stores before the reads of the threads
    // that take it; a thread late from an earlier islands phase, which does not read it, finds the
    // new phase's number once it finds the islands open.)
    g_island_phase.store(g_island.phase, std::memory_order_relaxed);
    g_island_open.store(1, std::memory_order_release);
    g_physics_island_steps++;
    physics_run_phase(kJobIslands, g_island_order, bodies);
    g_physics_substep_serial += uint32_t(n);
    // The order of the last sub-step's heights, as the sub-steps one by one leave it: here when no
    // worker has taken it, else waited for at the step's end (physics_islands_sort_wait).
    island_sort(g_island.phase);
    return true;
}

// The step's end: nothing before reads the order.
void physics_islands_sort_wait()
{
    const uint64_t made = uint64_t(g_island.phase) << 2 | kSortMade;
    for (int spins = 0; g_island_sort.load(std::memory_order_acquire) != made; spins++) physics_spin_wait(spins);
}
uint64_t g_physics_island_steps = 0;
std::atomic<uint64_t> g_physics_island_lookups{0};
constinit thread_local uint32_t g_physics_island_serial = 0;

namespace {

void order_by_rank(int16_t *bodies, int32_t n, const int16_t *rank)
{
    for (int32_t c = 1; c < n; c++) {
        const int16_t j = bodies[c];
        int32_t at = c;
        for (; at > 0 && rank[bodies[at - 1]] > rank[j]; at--) bodies[at] = bodies[at - 1];
        bodies[at] = j;
    }
}

}  // namespace

void physics_order_tied(int16_t *bodies, int32_t count)
{
    if (t_island.substep >= 0) order_by_rank(bodies, count, island_rank(t_island.substep));
}

int32_t physics_rank_candidates(const PhysicsWorld *world, int32_t i, const CandidateList &candidates,
                                int16_t *ranked, uint8_t *tied)
{
    int32_t n = 0;
    for (int32_t c = 0; c < candidates.count && c < kPhysicsListedCandidates; c++) {
        const int16_t j = candidates.body[c];
        if (j != i && j >= 0 && j < world->body_count) {
            tied[n] = 0;
            ranked[n++] = j;
        }
    }
    if (n < 2) return n;
    const int16_t *rank = world->body_rank;
    if (t_island.substep >= 0) {
        // Highest first: the whole order's, when every two heights compare.
        const int32_t k = t_island.substep;
        float height[kPhysicsListedCandidates];
        for (int32_t c = 0; c < n; c++) height[c] = g_island_heights[ranked[c]].at[k];
        for (int32_t c = 1; c < n; c++) {
            const int16_t j = ranked[c];
            const float y = height[c];
            int32_t at = c;
            for (; at > 0 && height[at - 1] < y; at--) {
                ranked[at] = ranked[at - 1];
                height[at] = height[at - 1];
            }
            ranked[at] = j;
            height[at] = y;
        }
        // Heights that are numbers place every candidate but those of equal heights, whose order
        // matters only when two of them touch the body (the collide job's to find out). A height
        // that is not a number compares with none: the whole order places them all.
        bool numbers = true;
        for (int32_t c = 0; c < n; c++) numbers = numbers && !std::isnan(height[c]);
        if (numbers) {
            for (int32_t c = 0; c + 1 < n; c++) tied[c] = height[c] > height[c + 1] ? 0 : 1;
            return n;
        }
        rank = island_rank(k);
    }
    order_by_rank(ranked, n, rank);
    return n;
}

int32_t physics_job_islands(int32_t worker, uint32_t phase)
{
    g_island_threads.fetch_add(1);
    if (!g_island_open.load() || phase != g_island_phase.load(std::memory_order_relaxed)) {
        g_island_threads.fetch_sub(1, std::memory_order_release);
        return 0;
    }
    t_island.stepping = true;
    t_island.worker = worker;
    int32_t finished = 0;
    const int32_t ranges = g_island.ranges;
    // Its own range's islands, then the other ranges' from the next one on (the stepping thread is
    // worker 0). An island handed out is this thread's to finish; another thread may step it part
    // of the way for a lookup meanwhile, and let it go.
    const int32_t own = worker < ranges ? worker : 0;
    for (int32_t q = 0; q < ranges; q++) {
        const int32_t r = (own + q) % ranges;
        const int32_t first = g_island.range_units[r], count = g_island.range_units[r + 1] - first;
        std::atomic<uint64_t> &next = g_island_next[r].next;
        uint64_t word = next.load(std::memory_order_relaxed);
        for (;;) {
            const int32_t at = uint32_t(word >> 32) == phase ? int32_t(uint32_t(word)) : 0;
            if (at >= count) break;
            if (!next.compare_exchange_weak(word, uint64_t(phase) << 32 | uint32_t(at + 1), std::memory_order_relaxed))
                continue;
            const int32_t u = first + at;
            int32_t done = 0;
            for (int spins = 0; !take_unit(u, phase, &done); spins++) physics_spin_wait(spins);
            finished += step_unit(u, done, g_island.substeps + 1);
            word = next.load(std::memory_order_relaxed);
        }
    }
    t_island = IslandThread{};
    g_island_threads.fetch_sub(1, std::memory_order_release);
    return finished;
}

void physics_islands_sort(uint32_t phase)
{
    if (sort_taken(g_island_sort.load(std::memory_order_relaxed), phase)) return;
    // Counted among the islands' readers, as their jobs are: the stepping thread writes the
    // islands' state again only once every reader is out.
    g_island_threads.fetch_add(1);
    if (g_island_open.load() && phase == g_island_phase.load(std::memory_order_relaxed)) island_sort(phase);
    g_island_threads.fetch_sub(1, std::memory_order_release);
}

void physics_islands_keep_height(PhysicsWorld *world, int32_t i, float y)
{
    // Islands keep each sub-step's heights (the first one's from the step's first prepare) on
    // lines of their own, and the world's are gathered from the last one's by the islands' sort:
    // the world's lines hold other workers' bodies too.
    const int32_t substep = t_island.substep + 1;
    if (t_island.stepping) {
        if (substep < kIslandMostSubsteps) g_island_heights[i].at[substep] = y;
    } else if (t_island.substep < 0) {
        physics_store_changed(&world->body_heights[i], y);
    }
}
