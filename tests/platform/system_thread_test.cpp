// Threads, cooperative suspend and resume, the counter and shell "open".
#include "platform/system.h"
#include "tests/test_util.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

namespace {

std::atomic<int> g_ticks;
std::atomic<int> g_stop;

DWORD ticking_thread(void *)
{
    while (!g_stop) {
        g_ticks++;
        Sleep(1);
    }
    return 0;
}

int ticks_after(int ms)
{
    int before = g_ticks;
    Sleep(DWORD(ms));
    return g_ticks - before;
}

// Waits (at most 5 s) until the thread ticks; a loaded machine may be slow to run it.
bool ticking()
{
    for (int waited = 0; waited < 5000; waited += 5)
        if (ticks_after(5) > 0) return true;
    return false;
}

// Waits (at most 5 s) until the count stops changing for 50 ms: the thread reached its sleep.
bool stopped()
{
    for (int waited = 0; waited < 5000; waited += 50)
        if (ticks_after(50) == 0) return true;
    return false;
}

TEST(Thread, SuspendStopsAtTheNextSleepAndResumeGoesOn)
{
    g_ticks = 0;
    g_stop = 0;
    HANDLE thread = CreateThread(nullptr, 0, ticking_thread, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST));
    EXPECT_TRUE(ticking());

    EXPECT_EQ(SuspendThread(thread), 0u);
    EXPECT_EQ(SuspendThread(thread), 1u);  // a flag, not a count
    ASSERT_TRUE(stopped());
    EXPECT_EQ(ticks_after(100), 0);  // and it stays stopped

    EXPECT_EQ(ResumeThread(thread), 1u);  // one resume undoes both suspends
    EXPECT_TRUE(ticking());

    g_stop = 1;
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(thread));
}

TEST(Thread, NullHandlesAreAccepted)
{
    EXPECT_EQ(SuspendThread(nullptr), DWORD(-1));
    EXPECT_EQ(ResumeThread(nullptr), DWORD(-1));
    EXPECT_FALSE(SetThreadPriority(nullptr, THREAD_PRIORITY_HIGHEST));
    EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
}

TEST(Thread, SuspendingAnEndedThreadIsHarmless)
{
    g_stop = 1;
    HANDLE thread = CreateThread(nullptr, 0, ticking_thread, nullptr, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(SuspendThread(thread), 0u);
    EXPECT_EQ(ResumeThread(thread), 1u);
    CloseHandle(thread);
}

std::atomic<int> g_started;

void counting_entry(void *) { g_started++; }

TEST(Thread, BeginThreadRunsItsEntry)
{
    g_started = 0;
    for (int i = 0; i < 8; i++) ASSERT_NE(_beginthread(counting_entry, 0, nullptr), uintptr_t(-1));
    for (int waited = 0; g_started < 8 && waited < 5000; waited++) Sleep(1);
    EXPECT_EQ(g_started, 8);
}

TEST(Clock, CounterAdvancesAtItsFrequency)
{
    LARGE_INTEGER frequency, a, b;
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
    ASSERT_TRUE(QueryPerformanceCounter(&a));
    Sleep(20);
    ASSERT_TRUE(QueryPerformanceCounter(&b));
    double ms = double(b.QuadPart - a.QuadPart) * 1000.0 / double(frequency.QuadPart);
    EXPECT_GE(ms, 19.0);
    EXPECT_LT(ms, 2000.0);
}

TEST(Shell, OpenIsLoggedOrSwitchedOff)
{
    TempDir temp;
    TestPathRestore restore;
    sys_path_reset(temp.path.c_str(), (temp / "user").c_str());
    test_write_file(temp / "html/index.html", "<html></html>");
    std::string log = temp / "shell.log";
    setenv("ZAVGOLF_SHELL", ("log:" + log).c_str(), 1);
    EXPECT_GT(intptr_t(ShellExecuteA(nullptr, "open", ".\\html\\index.html", nullptr, nullptr, SW_SHOWNORMAL)), 32);
    EXPECT_EQ(intptr_t(ShellExecuteA(nullptr, "open", "missing.html", nullptr, nullptr, SW_SHOWNORMAL)), 2);
    EXPECT_EQ(test_read_file(log), temp / "html/index.html\n");
    setenv("ZAVGOLF_SHELL", "off", 1);
    EXPECT_GT(intptr_t(ShellExecuteA(nullptr, "open", "html/INDEX.HTML", nullptr, nullptr, SW_SHOWNORMAL)), 32);
    EXPECT_EQ(test_read_file(log), temp / "html/index.html\n");
}

TEST(Display, AdapterNameHasAHeadlessDefault)
{
    char name[128];
    sys_display_adapter_name(name, sizeof name);
    EXPECT_STRNE(name, "");
    sys_set_display_adapter_name("llvmpipe");
    sys_display_adapter_name(name, sizeof name);
    EXPECT_STREQ(name, "llvmpipe");
}

}  // namespace
