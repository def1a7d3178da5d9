// The worker pool: one job slot per worker and job kind, filled by the stepping thread and emptied
// by the workers, busy waiting on both sides. The threads are started once and stay parked between
// steps; a step wakes them at its start and parks them at its end. Every job phase goes through
// physics_run_phase, which runs it on the pool or, for the inline executor, on the stepping thread.
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

// Executor settings (main thread): pool threads wanted, the fewest jobs a phase hands to the pool.
int32_t g_worker_count = kPhysicsWorkers;
int32_t g_pool_min_jobs = 2;
// Threads that exist (started successfully), workers 0 .. g_threads - 1. Main thread only.
int32_t g_threads = 0;
// Workers taking jobs in the current step (at most g_threads). Main thread only.
int32_t g_active = 0;
// Bumped to wake parked workers; g_exit asks them to end.
std::atomic<uint32_t> g_epoch{0};
std::atomic<uint8_t> g_exit{0};

std::atomic<int32_t> *slots_of(int32_t kind)
{
    if (kind == kJobCollide) return g_physics_collide_slots;
    if (kind == kJobWake) return g_physics_wake_slots;
    return g_physics_correct_slots;
}

void run_slot(std::atomic<int32_t> *slots, int32_t kind, int32_t w)
{
    int32_t body = slots[w].load(std::memory_order_acquire);
    if (body < 0) return;
    physics_run_job(kind, body, w);
    slots[w].store(-1, std::memory_order_release);
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
        if (slots[w].load(std::memory_order_acquire) < 0) return w;
    return -1;
}

bool pending(std::atomic<int32_t> *slots)
{
    for (int32_t w = 0; w < g_active; w++)
        if (slots[w].load(std::memory_order_acquire) >= 0) return true;
    return false;
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
    uint32_t seen = g_epoch.load(std::memory_order_acquire);
    while (!g_exit.load(std::memory_order_acquire)) {
        if (!g_physics_worker_running[w].load(std::memory_order_acquire)) {
            // Parked between steps: wait for the next start (or the exit).
            g_epoch.wait(seen, std::memory_order_acquire);
            seen = g_epoch.load(std::memory_order_acquire);
            continue;
        }
        run_slot(g_physics_collide_slots, kJobCollide, w);
        run_slot(g_physics_wake_slots, kJobWake, w);
        run_slot(g_physics_correct_slots, kJobCorrect, w);
        Sleep(0);
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
        g_physics_collide_slots[w].store(-1, std::memory_order_relaxed);
        g_physics_wake_slots[w].store(-1, std::memory_order_relaxed);
        g_physics_correct_slots[w].store(-1, std::memory_order_relaxed);
    }
    g_active = 0;
    if (g_worker_count == 0) return;
    g_exit.store(0, std::memory_order_relaxed);
    // Threads are made on first use; one that cannot be started leaves the pool smaller, and a pool
    // with no thread runs its jobs inline.
    while (g_threads < g_worker_count) {
        int32_t w = g_threads;
        g_physics_worker_running[w].store(0, std::memory_order_relaxed);
        if (_beginthread(worker_entry, 0, reinterpret_cast<void *>(intptr_t(w))) == uintptr_t(-1)) {
            fprintf(stderr, "physics: cannot start worker thread %d, running with %d\n", w, g_threads);
            g_worker_count = g_threads;
            break;
        }
        g_threads++;
    }
    g_physics_workers_started.store(g_threads > 0 ? 1 : 0, std::memory_order_relaxed);
    g_active = g_worker_count < g_threads ? g_worker_count : g_threads;
    for (int32_t w = 0; w < g_active; w++) g_physics_worker_running[w].store(1, std::memory_order_release);
    g_epoch.fetch_add(1, std::memory_order_release);
    g_epoch.notify_all();
}

void physics_stop_workers()
{
    for (int32_t w = 0; w < g_active; w++) g_physics_worker_running[w].store(0, std::memory_order_release);
    g_active = 0;
}

void physics_shutdown()
{
    physics_stop_workers();
    if (g_threads == 0) return;
    g_exit.store(1, std::memory_order_release);
    g_epoch.fetch_add(1, std::memory_order_release);
    g_epoch.notify_all();
    while (g_physics_workers_ended.load(std::memory_order_acquire) < g_threads) Sleep(0);
    g_physics_workers_ended.store(0, std::memory_order_relaxed);
    g_physics_workers_started.store(0, std::memory_order_relaxed);
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
        int32_t w;
        while ((w = free_slot(slots)) < 0) Sleep(0);
        slots[w].store(order[n], std::memory_order_release);
    }
    while (pending(slots)) Sleep(0);
}
