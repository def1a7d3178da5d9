// System services in the Windows form the game code is written against: paths with drive letters
// and either slash, the current folder, folder listing, INI reading, the performance counter,
// sleeps, threads and shell "open", over POSIX.
//
// Drives: Z: is the POSIX root, C: is the user's data folder (ZAVGOLF_DRIVE_C, else
// $XDG_DATA_HOME/zavgolf), any other letter X: is the folder beside it named "<C folder>-x".
// A path component that does not exist as written is looked up without regard to case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

typedef int BOOL;
typedef uint32_t DWORD;
typedef void *HANDLE;
typedef void *HWND;
typedef void *HINSTANCE;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

// ---- files and folders (C runtime names) --------------------------------------------------------

// Current folder in Windows form ("Z:\home\me\run", "C:\ZAV Games"); null when `size` is too small.
char *_getcwd(char *buffer, int size);
// 0 on success, -1 when the folder does not exist.
int _chdir(const char *path);
// 0 on success, -1 when it exists already or cannot be made.
int _mkdir(const char *path);

// fopen through the path layer; creating a file in a folder written in another case finds it.
FILE *sys_fopen(const char *path, const char *mode);
// Writes `size` bytes as the whole file: to a temporary beside it, then renamed over it, so the
// file is either all new or as it was. 1 on success, 0 on failure.
int sys_write_whole(const char *path, const void *data, size_t size);
// Deletes a file: 0 on success, -1 on failure.
int sys_remove(const char *path);
// Renames a file, replacing the target: 0 on success, -1 on failure.
int sys_rename(const char *from, const char *to);
// The POSIX path that `path` stands for, for libraries that open files themselves. Returns 1, or 0
// when `size` is too small.
int sys_native_path(const char *path, char *out, size_t size);
// Overrides the current folder's starting value and the C: drive; for tests and tools.
void sys_path_reset(const char *posix_cwd, const char *posix_drive_c);

#define _A_NORMAL 0x00
#define _A_RDONLY 0x01
#define _A_HIDDEN 0x02
#define _A_SUBDIR 0x10
#define _A_ARCH 0x20

struct _finddata_t {
    unsigned attrib;
    int64_t time_write;
    uint32_t size;
    char name[260];
};

// Folder listing with Windows wildcards ("*.qel", "*." for names without a dot, "?"), case-blind,
// "." and ".." included when they match, sorted ("." and ".." first, then by name ignoring case).
// -1 when nothing matches.
intptr_t _findfirst(const char *pattern, _finddata_t *data);
// 0 with the next entry, -1 at the end.
int _findnext(intptr_t handle, _finddata_t *data);
int _findclose(intptr_t handle);

// ---- settings files ------------------------------------------------------------------------------

// Reads [section] key=value from an INI file: names case-blind, value trimmed and unquoted, the
// default (trailing blanks trimmed) when the file, section or key is missing. Returns the length
// copied, truncated to size - 1.
DWORD GetPrivateProfileStringA(const char *section, const char *key, const char *default_value,
                               char *out, DWORD size, const char *file_name);

// ---- time ---------------------------------------------------------------------------------------

union LARGE_INTEGER {
    int64_t QuadPart;
};

BOOL QueryPerformanceFrequency(LARGE_INTEGER *frequency);
BOOL QueryPerformanceCounter(LARGE_INTEGER *count);
// Tests: while held, the counter stands still and moves only by sys_clock_advance_ms.
void sys_clock_hold(bool held);
void sys_clock_advance_ms(double ms);
// Sleeps `ms` milliseconds (0 yields). A thread suspended by SuspendThread stops here until resumed.
void Sleep(DWORD ms);

// ---- threads ------------------------------------------------------------------------------------

#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_HIGHEST 2
#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0u
#define WAIT_TIMEOUT 0x102u

typedef DWORD (*LPTHREAD_START_ROUTINE)(void *parameter);

// Starts a thread running at once. Security and stack size are accepted and ignored.
HANDLE CreateThread(void *security, size_t stack_size, LPTHREAD_START_ROUTINE start, void *parameter,
                    DWORD flags, DWORD *thread_id);
// Best effort: the priority is recorded, the scheduler is left alone.
BOOL SetThreadPriority(HANDLE thread, int priority);
// Cooperative: the thread stops in its next Sleep. Suspension is a flag, not a count. A null or
// ended thread is accepted. Both return the previous state (0 or 1), or -1 for a null handle.
DWORD SuspendThread(HANDLE thread);
DWORD ResumeThread(HANDLE thread);
// Waits for the thread to end, at most `ms` milliseconds.
DWORD WaitForSingleObject(HANDLE thread, DWORD ms);
// Releases the handle; the thread goes on if it still runs.
BOOL CloseHandle(HANDLE thread);

// Starts a thread that owns no handle; returns a non-zero value, or -1 on failure. Stack size is
// ignored. The thread ends when `start` returns.
uintptr_t _beginthread(void (*start)(void *), unsigned stack_size, void *argument);

// ---- shell and display --------------------------------------------------------------------------

#define SW_SHOWNORMAL 1

// "open" on a page: xdg-open in the background. Off when ZAVGOLF_SHELL=off or in headless mode;
// with ZAVGOLF_SHELL=log:<file> the resolved path is appended to <file> instead. Returns a value
// above 32 on success, as the platform does.
HINSTANCE ShellExecuteA(HWND window, const char *operation, const char *file, const char *parameters,
                        const char *directory, int show);

// True when ZAVGOLF_HEADLESS is set: tests, tools and CI.
bool sys_headless(void);

// Name of the first display adapter; set by the graphics back end once it has a device.
void sys_display_adapter_name(char *out, size_t size);
void sys_set_display_adapter_name(const char *name);
