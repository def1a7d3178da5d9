// The performance counter, sleeps and threads with cooperative suspend and resume.
#include "platform/system.h"

#include <time.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace {

struct SysThread {
    std::mutex mutex;
    std::condition_variable changed;
    bool suspended = false;
    bool ended = false;
    std::atomic<int> priority{THREAD_PRIORITY_NORMAL};
};

// What a HANDLE points at; the thread keeps its own reference to the record.
struct ThreadHandle {
    std::shared_ptr<SysThread> thread;
};

thread_local SysThread *t_self;

template <typename Body>
std::shared_ptr<SysThread> start_thread(Body body)
{
    auto record = std::make_shared<SysThread>();
    try {
        std::thread([record, body]() {
            t_self = record.get();
            body();
            std::lock_guard<std::mutex> lock(record->mutex);
            record->ended = true;
            record->changed.notify_all();
        }).detach();
    } catch (const std::system_error &) {
        return nullptr;
    }
    return record;
}

SysThread *record_of(HANDLE handle) { return handle ? static_cast<ThreadHandle *>(handle)->thread.get() : nullptr; }

}  // namespace

BOOL QueryPerformanceFrequency(LARGE_INTEGER *frequency)
{
    if (!frequency) return FALSE;
    frequency->QuadPart = 1000000000ll;
    return TRUE;
}

namespace {
// A counter that stands still until a test moves it; -1 while the real clock runs.
std::atomic<int64_t> g_held_clock{-1};
}  // namespace

void sys_clock_hold(bool held)
{
    if (!held) {
        g_held_clock = -1;
        return;
    }
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    g_held_clock = now.QuadPart;
}

void sys_clock_advance_ms(double ms)
{
    if (g_held_clock >= 0) g_held_clock += int64_t(ms * 1000000.0);
}

BOOL QueryPerformanceCounter(LARGE_INTEGER *count)
{
    if (!count) return FALSE;
    int64_t held = g_held_clock;
    if (held >= 0) {
        count->QuadPart = held;
        return TRUE;
    }
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    count->QuadPart = int64_t(now.tv_sec) * 1000000000ll + now.tv_nsec;
    return TRUE;
}

void Sleep(DWORD ms)
{
    if (SysThread *self = t_self) {
        std::unique_lock<std::mutex> lock(self->mutex);
        self->changed.wait(lock, [self] { return !self->suspended; });
    }
    if (ms == 0) std::this_thread::yield();
    else std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

HANDLE CreateThread(void *, size_t, LPTHREAD_START_ROUTINE start, void *parameter, DWORD, DWORD *thread_id)
{
    if (!start) return nullptr;
    std::shared_ptr<SysThread> record = start_thread([start, parameter] { start(parameter); });
    if (!record) return nullptr;
    static std::atomic<DWORD> next_id{1};
    if (thread_id) *thread_id = next_id++;
    return new ThreadHandle{record};
}

uintptr_t _beginthread(void (*start)(void *), unsigned, void *argument)
{
    if (!start) return uintptr_t(-1);
    std::shared_ptr<SysThread> record = start_thread([start, argument] { start(argument); });
    return record ? uintptr_t(record.get()) : uintptr_t(-1);
}

BOOL SetThreadPriority(HANDLE thread, int priority)
{
    SysThread *record = record_of(thread);
    if (!record) return FALSE;
    record->priority = priority;
    return TRUE;
}

DWORD SuspendThread(HANDLE thread)
{
    SysThread *record = record_of(thread);
    if (!record) return DWORD(-1);
    std::lock_guard<std::mutex> lock(record->mutex);
    DWORD was = record->suspended ? 1 : 0;
    record->suspended = true;
    return was;
}

DWORD ResumeThread(HANDLE thread)
{
    SysThread *record = record_of(thread);
    if (!record) return DWORD(-1);
    std::lock_guard<std::mutex> lock(record->mutex);
    DWORD was = record->suspended ? 1 : 0;
    record->suspended = false;
    record->changed.notify_all();
    return was;
}

DWORD WaitForSingleObject(HANDLE thread, DWORD ms)
{
    SysThread *record = record_of(thread);
    if (!record) return WAIT_OBJECT_0;
    std::unique_lock<std::mutex> lock(record->mutex);
    auto ended = [record] { return record->ended; };
    if (ms == INFINITE) {
        record->changed.wait(lock, ended);
        return WAIT_OBJECT_0;
    }
    return record->changed.wait_for(lock, std::chrono::milliseconds(ms), ended) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL CloseHandle(HANDLE thread)
{
    if (!thread) return FALSE;
    delete static_cast<ThreadHandle *>(thread);
    return TRUE;
}
