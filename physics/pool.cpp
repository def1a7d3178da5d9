// The worker pool: one job slot per worker and job kind, filled by the stepping thread and emptied
// by the workers. The threads are started once and kept between steps. Both sides spin only
// briefly: a worker with nothing to do sleeps until a job is handed out, and the stepping thread
// sleeps until a worker finishes, so idle threads take no processor time from a loaded machine.
// Every job phase goes through physics_run_phase, which runs it on the pool or, for the inline
// executor, on the stepping thread.
#include "physics/physics_local.h"

#include "platform/system.h"

#include <cstdio>

PhysicsWorld *g_physics_world_pointer = nullptr;
std::atomic<int32_t> g_physics_collide_slots[kPhysicsWorkers];
std::atomic<int32_t> g_physics_wake_slots[kPhysicsWorkers];
std::atomic<int32_t> g_physics_correct_slots[kPhysicsWorkers];
std::atomic<int32_t> g_physics_worker_running[kPhysicsWorkers];
std::atomic<uint8_t> g_physics_workers_started{0};
std::atomic<int32_t> g_physics_workers_ended{0};

namespace {

// Checks of a condition before a waiting side gives up its time slice, and yields before it sleeps.
constexpr int kSpinChecks = 512;
constexpr int kYields = 2;

// Executor settings (main thread): pool threads wanted, the fewest jobs a phase hands to the pool.
int32_t g_worker_count = kPhysicsWorkers;
int32_t g_pool_min_jobs = 2;
// Threads that exist (started successfully), workers 0 .. g_threads - 1. Main thread only.
int32_t g_threads = 0;
// Workers taking jobs in the current step (at most g_threads). Main thread only.
int32_t g_active = 0;
// Per worker: bumped when a job is handed to it (and at the exit), the worker sleeps on it; set
// while it sleeps, so that a hand-out to a spinning worker makes no system call.
std::atomic<uint32_t> g_bell[kPhysicsWorkers];
std::atomic<uint8_t> g_asleep[kPhysicsWorkers];
// Bumped by a worker after it freed a slot; the stepping thread waits on it while g_waiting is set.
std::atomic<uint32_t> g_finished{0};
std::atomic<uint8_t> g_waiting{0};
std::atomic<uint8_t> g_exit{0};

// The slots, the counters and the flags above are all sequentially consistent: a side that goes
// to sleep publishes that it does (g_asleep, g_waiting) and then reads the other side's counter,
// while the other side changes the counter and then reads the flag, so one of them always sees
// the other and no wake-up is lost.

std::atomic<int32_t> *slots_of(int32_t kind)
{
    if (kind == kJobCollide) return g_physics_collide_slots;
    if (kind == kJobWake) return g_physics_wake_slots;
    return g_physics_correct_slots;
}

bool run_slot(std::atomic<int32_t> *slots, int32_t kind, int32_t w)
{
    int32_t body = slots[w].load();
    if (body < 0) return false;
    physics_run_job(kind, body, w);
    slots[w].store(-1);
    g_finished.fetch_add(1);
    if (g_waiting.load()) g_finished.notify_one();
    return true;
}

void worker_entry(void *argument)
{
    int32_t w = int32_t(reinterpret_cast<intptr_t>(argument));
    physics_worker_loop(w);
    g_physics_workers_ended.fetch_add(1, std::memory_order_release);
}

int32_t free_slot(std::atomic<int32_t> *slots)
{
    for (int32_t w = 0; w < g_active; w++)
        if (slots[w].load() < 0) return w;
    return -1;
}

bool pending(std::atomic<int32_t> *slots)
{
    for (int32_t w = 0; w < g_active; w++)
        if (slots[w].load() >= 0) return true;
    return false;
}

// The stepping thread's wait until `ready` holds: spin, yield, then sleep until a worker finishes.
template <class Ready>
void wait_for_workers(Ready ready)
{
    for (int n = 0; n < kSpinChecks + kYields; n++) {
        if (ready()) return;
        if (n >= kSpinChecks) Sleep(0);
    }
    for (;;) {
        g_waiting.store(1);
        uint32_t seen = g_finished.load();
        if (ready()) break;
        g_finished.wait(seen);
    }
    g_waiting.store(0);
}

}  // namespace

void physics_run_job(int32_t kind, int32_t body, int32_t worker)
{
    if (kind == kJobCollide) physics_job_collide(body, worker);
    else if (kind == kJobWake) physics_job_wake(body, worker);
    else physics_job_correct(body, worker);
}

void physics_worker_loop(int32_t w)
{
    int idle = 0;
    while (!g_exit.load()) {
        uint32_t seen = g_bell[w].load();
        if (g_physics_worker_running[w].load()) {
            bool worked = run_slot(g_physics_collide_slots, kJobCollide, w);
            worked = run_slot(g_physics_wake_slots, kJobWake, w) || worked;
            worked = run_slot(g_physics_correct_slots, kJobCorrect, w) || worked;
            if (worked) idle = 0;
        }
        if (++idle <= kSpinChecks + kYields) {
            if (idle > kSpinChecks) Sleep(0);
            continue;
        }
        // Nothing to do: sleep until the next hand-out (or the exit).
        idle = 0;
        g_asleep[w].store(1);
        if (g_exit.load()) break;  // an exit after `seen` was read would ring no bell
        g_bell[w].wait(seen);
        g_asleep[w].store(0);
    }
}

void physics_set_workers(int32_t count, int32_t pool_min_jobs)
{
    g_worker_count = count < 0 ? 0 : (count > kPhysicsWorkers ? kPhysicsWorkers : count);
    g_pool_min_jobs = pool_min_jobs < 1 ? 1 : pool_min_jobs;
}

int32_t physics_worker_threads() { return g_threads; }

void physics_start_workers(PhysicsWorld *world)
{
    g_physics_world_pointer = world;
    for (int32_t w = 0; w < kPhysicsWorkers; w++) {
        g_physics_collide_slots[w].store(-1);
        g_physics_wake_slots[w].store(-1);
        g_physics_correct_slots[w].store(-1);
    }
    g_active = 0;
    if (g_worker_count == 0) return;
    g_exit.store(0);
    // Threads are made on first use; one that cannot be started leaves the pool smaller, and a pool
    // with no thread runs its jobs inline.
    while (g_threads < g_worker_count) {
        int32_t w = g_threads;
        g_physics_worker_running[w].store(0);
        if (_beginthread(worker_entry, 0, reinterpret_cast<void *>(intptr_t(w))) == uintptr_t(-1)) {
            fprintf(stderr, "physics: cannot start worker thread %d, running with %d\n", w, g_threads);
            g_worker_count = g_threads;
            break;
        }
        g_threads++;
    }
    g_physics_workers_started.store(g_threads > 0 ? 1 : 0);
    g_active = g_worker_count < g_threads ? g_worker_count : g_threads;
    // The workers stay asleep until a phase hands them a job.
    for (int32_t w = 0; w < g_active; w++) g_physics_worker_running[w].store(1);
}

void physics_stop_workers()
{
    for (int32_t w = 0; w < g_active; w++) g_physics_worker_running[w].store(0);
    g_active = 0;
}

void physics_shutdown()
{
    physics_stop_workers();
    if (g_threads == 0) return;
    g_exit.store(1);
    for (int32_t w = 0; w < kPhysicsWorkers; w++) {
        g_bell[w].fetch_add(1);
        g_bell[w].notify_one();
    }
    while (g_physics_workers_ended.load(std::memory_order_acquire) < g_threads) Sleep(0);
    g_physics_workers_ended.store(0, std::memory_order_relaxed);
    g_physics_workers_started.store(0);
    g_threads = 0;
}

uint8_t physics_collide_jobs_pending() { return pending(g_physics_collide_slots) ? 1 : 0; }
uint8_t physics_wake_jobs_pending() { return pending(g_physics_wake_slots) ? 1 : 0; }
uint8_t physics_correct_jobs_pending() { return pending(g_physics_correct_slots) ? 1 : 0; }
int32_t physics_free_collide_slot() { return free_slot(g_physics_collide_slots); }
int32_t physics_free_wake_slot() { return free_slot(g_physics_wake_slots); }
int32_t physics_free_correct_slot() { return free_slot(g_physics_correct_slots); }

void physics_run_phase(int32_t kind, const int32_t *order, int32_t count)
{
    if (count <= 0) return;
    // Any serial order of a phase's jobs is one of the schedules the pool may give, and a job's
    // results do not depend on its worker: the stepping thread runs small phases as worker 0.
    if (g_active == 0 || count < g_pool_min_jobs) {
        for (int32_t n = 0; n < count; n++) physics_run_job(kind, order[n], 0);
        return;
    }
    std::atomic<int32_t> *slots = slots_of(kind);
    for (int32_t n = 0; n < count; n++) {
        int32_t w = free_slot(slots);
        if (w < 0) {
            wait_for_workers([&] { return (w = free_slot(slots)) >= 0; });
        }
        slots[w].store(order[n]);
        g_bell[w].fetch_add(1);
        if (g_asleep[w].load()) g_bell[w].notify_one();
    }
    wait_for_workers([&] { return !pending(slots); });
}
