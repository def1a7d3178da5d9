// The worker pool. The threads are started once and kept between steps. A phase is published once
// and its jobs are shared out in ranges among the pool's threads and the stepping thread itself,
// which is worker 0 (and takes what an owner late to its range leaves); the workers wake once per
// phase, not per job, and each reports on its own cache line. Between phases a worker spins
// briefly, then sleeps (std::atomic::wait), so idle threads take no processor time from a loaded
// machine. Every job phase goes through physics_run_phase (or physics_phase_start, whose workers go
// from one phase to the next without waiting for the stepping thread), which runs it on the pool
// or on the stepping thread: the steps are timed inline and on pools of several sizes as the steps
// run, and run the way that has been fastest.
#include "physics/physics_local.h"

#include "platform/system.h"

#include <chrono>
#include <cstdio>
#include <thread>

PhysicsWorld *g_physics_world_pointer = nullptr;
PhysicsJobSlot g_physics_collide_slots[kPhysicsWorkers];
PhysicsJobSlot g_physics_wake_slots[kPhysicsWorkers];
PhysicsJobSlot g_physics_correct_slots[kPhysicsWorkers];
std::atomic<int32_t> g_physics_worker_running[kPhysicsWorkers];
std::atomic<uint8_t> g_physics_workers_started{0};
std::atomic<int32_t> g_physics_workers_ended{0};

namespace {

typedef std::chrono::steady_clock Clock;

// How long a worker keeps looking for the next phase before it sleeps, and how many checks the
// stepping thread makes for the last jobs of a phase before it yields its time slice.
constexpr auto kWorkerSpin = std::chrono::microseconds(200);
constexpr int kMainSpinChecks = 4096;
// Checks of the stepping thread between its looks for ranges that their owners have not begun.
constexpr int kMainLateChecks = 32;

// Executor settings (main thread): workers wanted (the stepping thread is one of them), and the
// fewest jobs a phase hands to the pool (0: decided by the measured costs).
int32_t g_worker_count = kPhysicsWorkers;
int32_t g_pool_min_jobs = 0;
// Pool threads that exist (started successfully), workers 1 .. g_threads. Main thread only.
int32_t g_threads = 0;
// Pool threads taking jobs in the current step (at most g_threads). Main thread only.
int32_t g_active = 0;

// The phase being run is split into one range of jobs per worker (the stepping thread and the
// active pool threads), so that a worker takes the same bodies phase after phase and finds them in
// its cache. Each range is one atomic word on its own cache line: the phase's serial (bits 24 to
// 63), the range's end (12 to 23) and its next job (0 to 11). The stepping thread publishes a phase as one word
// (below); a range is begun by the first worker that looks at it in that phase, its owner as a rule, and every worker
// computes the same bounds, so publishing costs the stepping thread one store. A job is claimed by
// compare-and-swap on the whole word, so it is never claimed from a phase other than the one the
// worker read; the job order is read only after a claim, while the phase cannot end (the stepping
// thread waits for every claimed job).
static_assert(kPhysicsMaxBodies < 4096, "job numbers fit 12 bits");
static_assert(kPhysicsWorkers < 256 && kJobKinds < 16, "ranges fit 8 bits, kinds 4");
// Serials are 40 bits (the top of each word) and compared modulo 2^40: a range left alone for 2^39
// phases would be taken for a later phase's.
constexpr int kSerialShift = 24;
struct alignas(64) JobRange {
    std::atomic<uint64_t> word{0};
};
JobRange g_ranges[kPhysicsWorkers];
// The phase: serial (bits 24 to 63), job count (12 to 23), ranges (4 to 11), job kind (0 to 3). An
// islands phase is not split into ranges: its workers take islands (physics_job_islands).
alignas(64) std::atomic<uint64_t> g_phase{0};
const int32_t *g_phase_order = nullptr;  // written before the phase is published
// Bumped when a phase is published while workers sleep; they sleep on it. The number asleep.
alignas(64) std::atomic<uint32_t> g_wake{0};
std::atomic<int32_t> g_sleepers{0};
// What each worker has finished: the phase's serial (bits 24 to 63) and the jobs it ran in it (0 to
// 23), written by that worker only, on its own line: the stepping thread adds them up rather than
// every worker adding to one contended counter.
struct alignas(64) WorkerDone {
    std::atomic<uint64_t> word{0};
};
WorkerDone g_finished[kPhysicsWorkers];
// The stepping thread sleeps on g_main_wake while g_main_waiting is set (a long phase on a loaded
// machine); a worker that finishes jobs then bumps it.
alignas(64) std::atomic<uint8_t> g_main_waiting{0};
std::atomic<uint8_t> g_exit{0};
alignas(64) std::atomic<uint32_t> g_main_wake{0};

// The serial field of a word (its other bits cleared).
uint64_t serial_of(uint64_t word) { return word >> kSerialShift << kSerialShift; }
int32_t phase_count(uint64_t phase) { return int32_t((phase >> 12) & 0xfff); }
int32_t phase_ranges(uint64_t phase) { return int32_t((phase >> 4) & 0xff); }
int32_t phase_kind(uint64_t phase) { return int32_t(phase & 0xf); }
// The jobs a phase runs: a chained phase's first part runs the begin jobs.
int32_t job_kind(uint64_t phase) { return phase_kind(phase) == kJobBeginPairs ? kJobBegin : phase_kind(phase); }
// The pairs phase that follows a chained phase: the next serial, the same jobs and ranges.
uint64_t chained_pairs(uint64_t phase)
{
    return (serial_of(phase) + (uint64_t(1) << kSerialShift)) | (phase & 0xfffff0) | uint64_t(kJobPairs);
}

// The sleep hand-offs are sequentially consistent: a side that goes to sleep publishes that it does
// (g_sleepers, g_main_waiting) and then reads the other side's counter, while the other side
// changes the counter and then reads the flag, so one of them always sees the other.

// Measured costs (main thread): a step's wall time over its sub-steps, with its phases inline and
// with them on pools of 2, 4 and 8 workers (at most the workers wanted), each the median of its
// last kSamples steps (0: not measured yet; a median, since a pool thread preempted by another
// program now and then makes one step many times slower). The steps run the way that has been
// fastest. Whole steps are compared, not phases: a phase on the pool moves its bodies' data into
// the workers' caches, which makes the serial work around it slower on the stepping thread, and
// the other way round; and more workers share the work but cost more to hand it to (on a loaded
// machine, more of them are preempted). Every kRemeasure, one of the ways not taken, in turn, is
// tried for kTrySteps steps, so that all stay measured as the machine's load changes. The first
// kSwitchSteps steps after a change of way are not counted: they move the data, and wake parked
// threads (which on a virtual machine can take longer than a step). Steps far apart, whose threads
// fall asleep between them, pay the wake-up each time: that is counted.
constexpr int32_t kSamples = 7;
struct Samples {
    double value[kSamples] = {};
    int32_t count = 0, next = 0;
    double median = 0.0;

    void add(double v)
    {
        value[next] = v;
        next = (next + 1) % kSamples;
        if (count < kSamples) count++;
        double sorted[kSamples];
        for (int32_t k = 0; k < count; k++) {
            int32_t j = k;
            for (; j > 0 && sorted[j - 1] > value[k]; j--) sorted[j] = sorted[j - 1];
            sorted[j] = value[k];
        }
        median = sorted[count / 2];
    }
};
constexpr int32_t kWays = 4;
const int32_t kWayWorkers[kWays] = {1, 2, 4, 8};  // 1: inline
Samples g_step_ns[kWays];
int32_t g_measured_active = -1;  // the pool size and body count the times were measured with
int32_t g_measured_bodies = -1;
int32_t g_way = 0;            // the current step's (-1: inline, not measured)
int32_t g_best = 0;           // the way the steps run when not trying another
int32_t g_phase_workers = 1;  // workers of the current step's phases (1: inline)
int32_t g_uncounted = 0;      // steps not to count (the way just changed)
int32_t g_trying = 0;         // steps left of a try of a way not taken
bool g_timed = false;         // the current step is timed
Clock::time_point g_step_start;
// When each way was last tried, and how long until its next try: kRemeasure, doubled (up to
// kRemeasureMost) each time the way was tried and lost by far, so that a way much slower than
// the best costs little.
Clock::time_point g_last_try[kWays];
Clock::duration g_try_every[kWays];
constexpr int32_t kTrySteps = 5;
constexpr int32_t kSwitchSteps = 2;
constexpr auto kRemeasure = std::chrono::milliseconds(50);
constexpr auto kRemeasureMost = std::chrono::milliseconds(800);
constexpr double kFarSlower = 1.25;
constexpr double kClearlyFaster = 0.92;

PhysicsJobSlot g_prepare_slots[kPhysicsWorkers];

PhysicsJobSlot *slots_of(int32_t kind)
{
    if (kind == kJobWakeCollide) return g_physics_collide_slots;
    if (kind == kJobCorrectHold || kind == kJobCorrectHoldPrepare) return g_physics_correct_slots;
    return g_prepare_slots;
}

// Claims jobs of range r in `phase` into [*first, *end): all that is left when `whole` is set (the
// owner), else a quarter of it (at least one: the stepping thread taking a late owner's range, who
// may still come for the rest). False when none is left, or when the range is not begun and
// `begin` is not set.
bool claim(int32_t r, uint64_t phase, bool begin, bool whole, int32_t *first, int32_t *end)
{
    const uint64_t serial = serial_of(phase);
    std::atomic<uint64_t> &range = g_ranges[r].word;
    uint64_t word = range.load(std::memory_order_acquire);
    for (;;) {
        const uint64_t seen = serial_of(word);
        if (seen != serial) {
            // A later phase: this one is over. An earlier one: the range is not begun yet.
            if (int64_t(seen - serial) > 0 || !begin) return false;
            const uint64_t count = uint64_t(phase_count(phase)), ranges = uint64_t(phase_ranges(phase));
            const uint64_t from = count * uint64_t(r) / ranges, to = count * uint64_t(r + 1) / ranges;
            const uint64_t begun = serial | to << 12 | from;
            if (!range.compare_exchange_weak(word, begun, std::memory_order_acq_rel, std::memory_order_acquire))
                continue;
            word = begun;
        }
        const int32_t stop = int32_t((word >> 12) & 0xfff), next = int32_t(word & 0xfff);
        if (next >= stop) return false;
        const int32_t take = whole ? stop - next : ((stop - next) / 4 > 1 ? (stop - next) / 4 : 1);
        if (range.compare_exchange_weak(word, word + uint64_t(take), std::memory_order_acq_rel,
                                        std::memory_order_acquire)) {
            *first = next;
            *end = next + take;
            return true;
        }
    }
}

// Runs what worker w claims of range r in `phase` (begun here if `begin`); the jobs run added to
// *ran. The worker's slot of the kind holds the first body it took (-1 again at the end of its part,
// set by the caller).
void run_range(int32_t r, uint64_t phase, bool begin, int32_t w, int32_t *ran, PhysicsJobSlot **slots)
{
    int32_t first, end;
    while (claim(r, phase, begin, r == w, &first, &end)) {
        const int32_t kind = job_kind(phase);
        const int32_t *order = g_phase_order;
        if (!*slots) {
            *slots = slots_of(kind);
            (*slots)[w].body.store(order[first], std::memory_order_relaxed);
        }
        for (int32_t n = first; n < end; n++) physics_run_job(kind, order[n], w);
        *ran += end - first;
    }
}

// The phase's number: the low 32 bits of its serial.
uint32_t phase_number(uint64_t phase) { return uint32_t(phase >> kSerialShift); }

// Worker w's part of `phase`: its own range, whole. (Workers do not take from each other: a thief
// looking at a range makes its owner's next claim a cache miss, and a job taken moves its body's
// data to another cache for this phase and back for the next; what it saves on these short phases
// is less than it costs. The stepping thread takes what a late owner leaves, see run_on_pool.) The
// number of jobs run.
int32_t take_jobs(uint64_t phase, int32_t w)
{
    int32_t ran = 0;
    if (w >= phase_ranges(phase)) return 0;
    if (phase_kind(phase) == kJobIslands) return physics_job_islands(w, phase_number(phase));
    PhysicsJobSlot *slots = nullptr;
    run_range(w, phase, true, w, &ran, &slots);
    if (slots) slots[w].body.store(-1, std::memory_order_relaxed);
    return ran;
}

void worker_entry(void *argument)
{
    int32_t w = int32_t(reinterpret_cast<intptr_t>(argument));
    physics_worker_loop(w);
    g_physics_workers_ended.fetch_add(1, std::memory_order_release);
}

int32_t free_slot(const PhysicsJobSlot *slots)
{
    for (int32_t w = 0; w <= g_active && w < kPhysicsWorkers; w++)
        if (slots[w].body.load() < 0) return w;
    return -1;
}

bool pending(const PhysicsJobSlot *slots)
{
    for (int32_t w = 0; w < kPhysicsWorkers; w++)
        if (slots[w].body.load() >= 0) return true;
    return false;
}

double nanoseconds(Clock::time_point from, Clock::time_point to)
{
    return double(std::chrono::duration_cast<std::chrono::nanoseconds>(to - from).count());
}

void run_inline(int32_t kind, const int32_t *order, int32_t count)
{
    for (int32_t n = 0; n < count; n++) physics_run_job(kind, order[n], 0);
}

// Whether workers first .. last have finished `needed` jobs of the phase of serial field `serial`.
// A worker that has reported a later phase has gone on from a chained phase's begin jobs, which
// it does only once every one of them is done.
bool finished(uint64_t serial, int32_t first, int32_t last, uint32_t needed,
              std::memory_order order = std::memory_order_acquire)
{
    uint32_t done = 0;
    for (int32_t w = first; w <= last; w++) {
        const uint64_t word = g_finished[w].word.load(order);
        if (serial_of(word) == serial) done += uint32_t(word & 0xffffff);
        if (int64_t(serial_of(word) - serial) > 0) return true;
    }
    return done >= needed;
}

// Worker w's jobs of the phase of serial field `serial`, for the stepping thread (and, of a
// chained phase, for the workers that wait on every begin job). The count is stored before the flag
// is read (as the stepping thread sets the flag before it reads the counts), so one of the two
// sides always sees the other.
void report_finished(int32_t w, uint64_t serial, int32_t ran)
{
    g_finished[w].word.store(serial | uint32_t(ran));
    if (w != 0 && g_main_waiting.load()) {
        g_main_wake.fetch_add(1);
        g_main_wake.notify_one();
    }
}

// Publishes a phase of `count` jobs of `kind` on `workers` workers: the stepping thread and pool
// threads 1 .. workers - 1.
uint64_t publish(int32_t kind, const int32_t *order, int32_t count, int32_t workers)
{
    // (Not written again for a chained phase's pairs: the workers may be running them already.)
    if (g_phase_order != order) g_phase_order = order;
    const uint64_t serial = serial_of(g_phase.load(std::memory_order_relaxed)) + (uint64_t(1) << kSerialShift);
    const uint64_t phase = serial | uint64_t(count) << 12 | uint64_t(workers) << 4 | uint64_t(kind);
    g_phase.store(phase);
    if (g_sleepers.load() > 0) {
        g_wake.fetch_add(1);
        g_wake.notify_all();
    }
    return phase;
}

// Waits until every job of `phase` is done, this thread having run `ran` of them. The last jobs
// may still be running on the workers. A range its owner has not begun after a while (a worker
// asleep or preempted) is taken here; every job is claimed before this thread can sleep. With
// `report`, what this thread runs is reported as worker 0's.
void wait_phase(uint64_t phase, int32_t ran, bool report)
{
    const uint64_t serial = serial_of(phase);
    const int32_t count = phase_count(phase), ranges = phase_ranges(phase), kind = phase_kind(phase);
    for (int n = 0; !finished(serial, 1, ranges - 1, uint32_t(count - ran)); n++) {
        if (n % kMainLateChecks == kMainLateChecks - 1) {
            if (kind == kJobIslands) {
                ran += physics_job_islands(0, phase_number(phase));
                continue;
            }
            const int32_t before = ran;
            PhysicsJobSlot *slots = nullptr;
            for (int32_t r = 1; r < ranges; r++) run_range(r, phase, true, 0, &ran, &slots);
            if (slots) slots[0].body.store(-1, std::memory_order_relaxed);
            if (report && ran != before) report_finished(0, serial, ran);
            continue;
        }
        if (n < kMainSpinChecks) {
            physics_pause();
            continue;
        }
        if (n < 2 * kMainSpinChecks) {
            std::this_thread::yield();
            continue;
        }
        g_main_waiting.store(1);
        const uint32_t seen = g_main_wake.load();
        if (!finished(serial, 1, ranges - 1, uint32_t(count - ran), std::memory_order_seq_cst))
            g_main_wake.wait(seen);
        g_main_waiting.store(0);
    }
}

// A worker that has run its begin jobs of chained `phase`: waits until every begin job is done (or
// the stepping thread has gone on to the next phase), counting every worker's reports.
void wait_begin_jobs(uint64_t phase)
{
    const uint64_t serial = serial_of(phase);
    const int32_t count = phase_count(phase), ranges = phase_ranges(phase);
    for (int n = 0;; n++) {
        if (serial_of(g_phase.load(std::memory_order_acquire)) != serial) return;
        if (finished(serial, 0, ranges - 1, uint32_t(count))) return;
        physics_spin_wait(n);
    }
}

// The chained phase under way: its begin part (0 once its pairs are published) and the begin jobs
// the stepping thread ran; then its pairs phase and the jobs the stepping thread ran of it.
uint64_t g_open_begin = 0;
int32_t g_open_begin_ran = 0;
uint64_t g_open_phase = 0;
int32_t g_open_ran = 0;

void run_on_pool(int32_t kind, const int32_t *order, int32_t count, int32_t workers)
{
    const uint64_t phase = publish(kind, order, count, workers);
    wait_phase(phase, take_jobs(phase, 0), false);
}

// Pool threads 1 .. threads take phases (at most g_active), the others sleep; a flag is written,
// and its thread woken, only when it changes.
void set_running(int32_t threads)
{
    for (int32_t w = 1; w <= g_threads; w++) {
        const int32_t running = w <= threads && w <= g_active ? 1 : 0;
        if (g_physics_worker_running[w].load(std::memory_order_relaxed) == running) continue;
        g_physics_worker_running[w].store(running);
        if (running) g_physics_worker_running[w].notify_one();
    }
}

}  // namespace

void physics_run_job(int32_t kind, int32_t body, int32_t worker)
{
    switch (kind) {
    case kJobBegin: physics_job_begin(body, worker); break;
    case kJobStrokePrepare: physics_job_stroke_and_prepare(body, worker); break;
    case kJobPairsStrokePrepare: physics_job_pairs_stroke_and_prepare(body, worker); break;
    case kJobPairs: physics_job_pairs(body, worker); break;
    case kJobWakeCollide: physics_job_wake_and_collide(body, worker); break;
    case kJobCorrectHoldPrepare: physics_job_correct_hold_and_prepare(body, worker); break;
    default: physics_job_correct_and_hold(body, worker); break;
    }
}

void physics_worker_loop(int32_t w)
{
    uint64_t seen = serial_of(g_phase.load());
    while (!g_exit.load()) {
        // Not among the workers wanted: asleep until it is (or the exit).
        // (Woken, it takes the phase under way, if any: whatever of it is left is its range.)
        if (g_physics_worker_running[w].load() == 0) {
            g_physics_worker_running[w].wait(0);
            continue;
        }
        const uint64_t phase = g_phase.load(std::memory_order_acquire);
        if (serial_of(phase) != seen) {
            seen = serial_of(phase);
            const int32_t ran = take_jobs(phase, w);
            if (ran != 0) report_finished(w, seen, ran);
            // The body order while the last islands finish: the stepping thread waits for it only
            // at the step's end.
            if (phase_kind(phase) == kJobIslands && w < phase_ranges(phase))
                physics_islands_sort(phase_number(phase));
            if (phase_kind(phase) == kJobBeginPairs && w < phase_ranges(phase)) {
                // Its pairs jobs once every begin job is done. (When the stepping thread publishes
                // that phase, this thread finds its range taken.)
                wait_begin_jobs(phase);
                const uint64_t pairs = chained_pairs(phase);
                const int32_t more = take_jobs(pairs, w);
                if (more != 0) report_finished(w, serial_of(pairs), more);
            }
            continue;
        }
        // Nothing new: look again for a while (the next phase of a step follows shortly), then
        // sleep until the next phase (or the exit).
        const Clock::time_point idle = Clock::now();
        bool found = false;
        for (int round = 0; !found; round++) {
            for (int k = 0; k < 64 && !found; k++) {
                found = serial_of(g_phase.load(std::memory_order_relaxed)) != seen ||
                        g_exit.load(std::memory_order_relaxed) ||
                        g_physics_worker_running[w].load(std::memory_order_relaxed) == 0;
                physics_pause();
            }
            if (found || Clock::now() - idle >= kWorkerSpin) break;
            // Past the first rounds, give the processor to any thread that waits for it.
            if (round >= 16) std::this_thread::yield();
        }
        if (found) continue;
        g_sleepers.fetch_add(1);
        const uint32_t wake = g_wake.load();
        if (serial_of(g_phase.load()) == seen && !g_exit.load()) g_wake.wait(wake);
        g_sleepers.fetch_sub(1);
    }
}

void physics_set_workers(int32_t count, int32_t pool_min_jobs)
{
    g_worker_count = count < 0 ? 0 : (count > kPhysicsWorkers ? kPhysicsWorkers : count);
    g_pool_min_jobs = pool_min_jobs < 0 ? 0 : pool_min_jobs;
}

int32_t physics_worker_threads() { return g_threads; }

void physics_start_workers(PhysicsWorld *world)
{
    // Every worker reads it: written only when it changes. (No job runs between steps: the store
    // needs no fence of its own, the phases' hand-off publishes it. The job slots are -1 between
    // phases already: each worker's part of a phase ends by resetting its own.)
    if (g_physics_world_pointer != world) g_physics_world_pointer = world;
    g_active = 0;
    // The stepping thread is worker 0: the pool has one thread fewer than the workers wanted.
    const int32_t wanted = g_worker_count - 1;
    if (wanted <= 0) return;
    // The workers poll these lines between phases: written only when they change.
    if (g_exit.load(std::memory_order_relaxed) != 0) g_exit.store(0);
    // Threads are made on first use; one that cannot be started leaves the pool smaller, and a pool
    // with no thread runs its jobs inline.
    while (g_threads < wanted) {
        int32_t w = g_threads + 1;
        g_physics_worker_running[w].store(0);
        if (_beginthread(worker_entry, 0, reinterpret_cast<void *>(intptr_t(w))) == uintptr_t(-1)) {
            fprintf(stderr, "physics: cannot start worker thread %d, running with %d\n", w, g_threads);
            g_worker_count = g_threads + 1;
            break;
        }
        g_threads++;
    }
    const uint8_t started = g_threads > 0 ? 1 : 0;
    if (g_physics_workers_started.load(std::memory_order_relaxed) != started) g_physics_workers_started.store(started);
    g_active = wanted < g_threads ? wanted : g_threads;
    // Every phase on the pool: all the threads take phases. Else the step's way decides which
    // (physics_step_begin).
    if (g_pool_min_jobs != 0) set_running(g_active);
}

void physics_stop_workers()
{
    // The workers stay as they are between steps: they sleep unless a phase is handed out.
    g_active = 0;
}

void physics_shutdown()
{
    physics_stop_workers();
    if (g_threads == 0) return;
    g_exit.store(1);
    g_wake.fetch_add(1);
    g_wake.notify_all();
    for (int32_t w = 1; w <= g_threads; w++) {
        g_physics_worker_running[w].store(-1);
        g_physics_worker_running[w].notify_one();
    }
    while (g_physics_workers_ended.load(std::memory_order_acquire) < g_threads) Sleep(0);
    g_physics_workers_ended.store(0, std::memory_order_relaxed);
    g_physics_workers_started.store(0);
    for (int32_t w = 0; w < kPhysicsWorkers; w++) g_physics_worker_running[w].store(0);
    g_threads = 0;
}

uint8_t physics_collide_jobs_pending() { return pending(g_physics_collide_slots) ? 1 : 0; }
uint8_t physics_wake_jobs_pending() { return pending(g_physics_wake_slots) ? 1 : 0; }
uint8_t physics_correct_jobs_pending() { return pending(g_physics_correct_slots) ? 1 : 0; }
int32_t physics_free_collide_slot() { return free_slot(g_physics_collide_slots); }
int32_t physics_free_wake_slot() { return free_slot(g_physics_wake_slots); }
int32_t physics_free_correct_slot() { return free_slot(g_physics_correct_slots); }

void physics_step_begin(int32_t bodies)
{
    g_timed = false;
    if (g_active == 0 || g_pool_min_jobs != 0) return;
    if (bodies < 2) {
        g_phase_workers = 1;  // every phase inline: nothing to measure
        g_way = -1;
        set_running(0);
        return;
    }
    int32_t ways = 1;
    while (ways < kWays && kWayWorkers[ways] <= g_active + 1) ways++;
    if (g_measured_active != g_active || g_measured_bodies != bodies) {
        for (Samples &samples : g_step_ns) samples = Samples{};
        for (Clock::duration &every : g_try_every) every = kRemeasure;
        g_measured_active = g_active;
        g_measured_bodies = bodies;
        g_trying = 0;
        g_best = 0;
    }
    const int32_t previous = g_way;
    int32_t unmeasured = -1, fastest = 0;
    for (int32_t w = 0; w < ways; w++) {
        if (g_step_ns[w].median <= 0.0 && unmeasured < 0) unmeasured = w;
        if (g_step_ns[w].median < g_step_ns[fastest].median) fastest = w;
    }
    // The best way so far stays unless another has been clearly faster: ways a few percent apart
    // would otherwise change places on the noise of steps measured at different moments.
    if (g_best >= ways) g_best = 0;
    if (g_step_ns[fastest].median < kClearlyFaster * g_step_ns[g_best].median) g_best = fastest;
    const int32_t best = g_best;
    g_step_start = Clock::now();
    g_timed = true;
    if (unmeasured >= 0) {
        g_way = unmeasured;
    } else if (g_trying > 0) {
        g_trying--;
    } else {
        // A try just ended: the way's next one is later if it lost by far.
        if (previous >= 0 && previous < ways && previous != best) {
            Clock::duration &every = g_try_every[previous];
            if (g_step_ns[previous].median > kFarSlower * g_step_ns[best].median)
                every = every * 2 < kRemeasureMost ? every * 2 : Clock::duration(kRemeasureMost);
            else
                every = kRemeasure;
        }
        g_way = best;
        // The way whose try is the most overdue, if any.
        for (int32_t w = 0; w < ways; w++) {
            if (w == best || g_step_start - g_last_try[w] < g_try_every[w]) continue;
            if (g_way == best || g_last_try[w] + g_try_every[w] < g_last_try[g_way] + g_try_every[g_way]) g_way = w;
        }
        if (g_way != best) {
            g_last_try[g_way] = g_step_start;
            g_trying = kTrySteps - 1;
        }
    }
    if (g_way != previous) g_uncounted = kSwitchSteps;
    g_phase_workers = kWayWorkers[g_way] <= g_active + 1 ? kWayWorkers[g_way] : g_active + 1;
    // Threads of no use to this way sleep rather than spin: on a loaded machine a spinning thread
    // takes a processor from one that has jobs.
    set_running(g_phase_workers - 1);
}

void physics_step_end(int32_t substeps)
{
    if (!g_timed) return;
    g_timed = false;
    const double ns = nanoseconds(g_step_start, Clock::now());
    if (g_uncounted > 0) {
        g_uncounted--;
        return;
    }
    g_step_ns[g_way].add(ns / double(substeps > 0 ? substeps : 1));
}

bool physics_phase_on_pool(int32_t count)
{
    const int32_t workers = g_pool_min_jobs == 0 ? g_phase_workers : g_active + 1;
    return g_active > 0 && count >= 2 && count >= g_pool_min_jobs && workers >= 2;
}

uint32_t physics_next_phase_number()
{
    return phase_number(serial_of(g_phase.load(std::memory_order_relaxed)) + (uint64_t(1) << kSerialShift));
}

int32_t physics_phase_ranges(int32_t count)
{
    if (!physics_phase_on_pool(count)) return 1;
    return g_pool_min_jobs == 0 ? g_phase_workers : g_active + 1;
}

void physics_phase_start(int32_t kind, const int32_t *order, int32_t count)
{
    g_open_begin = g_open_phase = 0;
    if (count <= 0) return;
    if (kind != kJobBeginPairs || !physics_phase_on_pool(count)) {
        physics_run_phase(kind == kJobBeginPairs ? kJobBegin : kind, order, count);
        if (kind == kJobBeginPairs) physics_run_phase(kJobPairs, order, count);
        return;
    }
    // The begin jobs, this thread's reported for the workers waiting on them.
    g_open_begin = publish(kind, order, count, physics_phase_ranges(count));
    g_open_begin_ran = take_jobs(g_open_begin, 0);
    report_finished(0, serial_of(g_open_begin), g_open_begin_ran);
}

void physics_phase_pairs()
{
    if (g_open_begin == 0) return;
    // Every begin job done; then the pairs phase, which the workers may have begun already.
    wait_phase(g_open_begin, g_open_begin_ran, true);
    g_open_phase = publish(kJobPairs, g_phase_order, phase_count(g_open_begin), phase_ranges(g_open_begin));
    g_open_ran = take_jobs(g_open_phase, 0);
    g_open_begin = 0;
}

void physics_phase_finish()
{
    physics_phase_pairs();
    if (g_open_phase != 0) wait_phase(g_open_phase, g_open_ran, false);
    g_open_phase = 0;
}

void physics_run_phase(int32_t kind, const int32_t *order, int32_t count)
{
    if (count <= 0) return;
    // Any serial order of a phase's jobs is one of the schedules the pool may give, and a job's
    // results do not depend on its worker: the stepping thread runs small phases as worker 0.
    if (!physics_phase_on_pool(count)) {
        if (kind == kJobIslands)
            physics_job_islands(0, physics_next_phase_number());
        else
            run_inline(kind, order, count);
        return;
    }
    run_on_pool(kind, order, count, physics_phase_ranges(count));
}
