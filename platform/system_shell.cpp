// Shell "open" of pages, the headless switch and the display adapter's name.
#include "platform/system.h"
#include "platform/system_local.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

extern char **environ;

namespace {

std::mutex g_adapter_mutex;
std::string g_adapter_name;
bool g_adapter_set;

const int SE_ERR_FNF = 2;
const int SE_ERR_NOASSOC = 31;
const intptr_t SHELL_OK = 42;

}  // namespace

bool sys_headless(void)
{
    const char *value = getenv("ZAVGOLF_HEADLESS");
    return value && value[0] && strcmp(value, "0") != 0;
}

HINSTANCE ShellExecuteA(HWND, const char *operation, const char *file, const char *, const char *directory, int)
{
    if (!file || (operation && strcmp(operation, "open") != 0)) return HINSTANCE(intptr_t(SE_ERR_NOASSOC));
    std::string path = file;
    if (directory && directory[0]) path = std::string(directory) + "/" + file;
    SysPath at = sys_resolve(path.c_str());
    struct stat info;
    if (stat(at.posix.c_str(), &info) != 0) return HINSTANCE(intptr_t(SE_ERR_FNF));

    const char *mode = getenv("ZAVGOLF_SHELL");
    if (mode && strncmp(mode, "log:", 4) == 0) {
        FILE *log = fopen(mode + 4, "a");
        if (!log) return HINSTANCE(intptr_t(SE_ERR_FNF));
        fprintf(log, "%s\n", at.posix.c_str());
        fclose(log);
        return HINSTANCE(SHELL_OK);
    }
    if ((mode && strcmp(mode, "off") == 0) || sys_headless()) return HINSTANCE(SHELL_OK);

    char program[] = "xdg-open";
    std::string target = at.posix;
    char *argv[] = {program, target.data(), nullptr};
    pid_t child;
    if (posix_spawnp(&child, program, nullptr, nullptr, argv, environ) != 0)
        return HINSTANCE(intptr_t(SE_ERR_NOASSOC));
    // Reap the opener without making the game wait for the browser.
    std::thread([child] { waitpid(child, nullptr, 0); }).detach();
    return HINSTANCE(SHELL_OK);
}

void sys_display_adapter_name(char *out, size_t size)
{
    if (!out || size == 0) return;
    std::lock_guard<std::mutex> lock(g_adapter_mutex);
    const char *name = g_adapter_set ? g_adapter_name.c_str() : sys_headless() ? "Headless display adapter" : "";
    snprintf(out, size, "%s", name);
}

void sys_set_display_adapter_name(const char *name)
{
    std::lock_guard<std::mutex> lock(g_adapter_mutex);
    g_adapter_name = name ? name : "";
    g_adapter_set = true;
}
