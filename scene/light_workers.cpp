// The lighting's worker threads: started on first use, parked between calls, ended by
// scene_shutdown. One run hands out items from an atomic counter; the caller works too and the run
// is over when the call returns.
#include "scene/scene_local.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

const int32_t MAX_WORKERS = 16;
// Between two objects a worker watches for the next run this many turns before it sleeps: the
// calling thread hands out runs in quick succession. Each turn yields, so that a busy machine
// gives the time to threads with work.
const int32_t SPIN_TURNS = 400;

struct LightRun {
    void (*work)(void *context, int32_t item);
    void *context;
    int32_t count;
    std::atomic<int32_t> next{0};
    std::atomic<int32_t> done{0};
};

// Guarded by g_mutex: the threads, the run on offer, the helpers inside it, the stop request. The
// generation also changes under it, but is read without it while a worker watches.
std::mutex g_mutex;
std::condition_variable g_wake;
std::condition_variable g_finished;
std::vector<std::thread> g_threads;
LightRun *g_run = nullptr;
std::atomic<uint64_t> g_generation{0};
std::atomic<bool> g_stopping{false};
std::atomic<int32_t> g_active{0};  // changed under g_mutex; read without it while the caller waits
int32_t g_wanted = 0;              // 0: one per hardware thread

void cpu_relax() { std::this_thread::yield(); }

// Runs items of the run until none is left; the number this thread ran.
int32_t take_items(LightRun *run)
{
    int32_t ran = 0;
    for (int32_t item = run->next++; item < run->count; item = run->next++, ran++) {
        run->work(run->context, item);
        if (++run->done == run->count) {
            std::lock_guard<std::mutex> lock(g_mutex);
            g_finished.notify_all();
        }
    }
    return ran;
}

void worker_main()
{
    uint64_t seen = g_generation;
    for (;;) {
        for (int32_t k = 0; k < SPIN_TURNS && g_generation == seen && !g_stopping; k++) cpu_relax();
        std::unique_lock<std::mutex> lock(g_mutex);
        g_wake.wait(lock, [&] { return g_stopping || g_generation != seen; });
        if (g_stopping) return;
        seen = g_generation;
        // A run already over is gone: its caller does not wait for helpers that came late.
        LightRun *run = g_run;
        if (!run) continue;
        g_active++;
        lock.unlock();
        take_items(run);
        lock.lock();
        if (--g_active == 0) g_finished.notify_all();
    }
}

void stop_threads()
{
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_stopping = true;
    }
    g_wake.notify_all();
    for (std::thread &thread : g_threads) thread.join();
    g_threads.clear();
    g_stopping = false;
}

// A process ended by exit() (the X connection lost, say) destroys the globals with the helpers
// still parked: they are stopped first, since a joinable thread's destruction aborts.
struct StopAtExit {
    ~StopAtExit() { stop_threads(); }
} g_stop_at_exit;

int32_t worker_total()
{
    int32_t n = g_wanted > 0 ? g_wanted : int32_t(std::thread::hardware_concurrency());
    return std::clamp(n, 1, MAX_WORKERS);
}

// Starts the helper threads still missing; a thread that cannot start leaves the work to fewer.
void start_threads(int32_t helpers)
{
    while (int32_t(g_threads.size()) < helpers) {
        try {
            g_threads.emplace_back(worker_main);
        } catch (...) {
            return;
        }
    }
}

}  // namespace

void scene_set_light_workers(int32_t count)
{
    stop_threads();
    g_wanted = std::clamp(count, 0, MAX_WORKERS);
}

void scene_shutdown(void) { stop_threads(); }

int32_t light_pool_run(int32_t count, void (*work)(void *context, int32_t item), void *context)
{
    LightRun run;
    run.work = work;
    run.context = context;
    run.count = count;
    if (worker_total() > 1 && count > 1) start_threads(worker_total() - 1);
    if (count <= 1 || g_threads.empty()) {
        take_items(&run);
        return 0;
    }
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_run = &run;
        g_generation++;
    }
    g_wake.notify_all();
    const int32_t own = take_items(&run);
    // The helpers are usually on their last items: watch briefly before sleeping.
    for (int32_t k = 0; k < SPIN_TURNS && !(run.done == run.count && g_active == 0); k++) cpu_relax();
    std::unique_lock<std::mutex> lock(g_mutex);
    g_finished.wait(lock, [&run] { return run.done == run.count && g_active == 0; });
    g_run = nullptr;
    return count - own;
}
