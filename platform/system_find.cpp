// Folder listing with Windows wildcard rules: the _findfirst family.
#include "platform/system.h"
#include "platform/system_local.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

namespace {

// Pattern characters as the file system sees them once the wildcards are translated.
const char DOS_STAR = '<';  // any run that stops short of the name's last dot
const char DOS_QM = '>';    // one character, or none at a dot or the end
const char DOS_DOT = '"';   // a dot, or nothing at the end

struct FindState {
    std::vector<_finddata_t> entries;
    size_t next;
};

std::mutex g_find_mutex;
std::map<intptr_t, std::unique_ptr<FindState>> g_finds;
intptr_t g_find_next_handle = 1;

std::string translate(const char *pattern)
{
    std::string out = pattern;
    for (size_t i = 0; i < out.size(); i++) {
        char next = i + 1 < out.size() ? out[i + 1] : '\0';
        if (out[i] == '?') out[i] = DOS_QM;
        else if (out[i] == '*' && next == '.') out[i] = DOS_STAR;
        else if (out[i] == '.' && (next == '?' || next == '*' || next == '\0')) out[i] = DOS_DOT;
    }
    return out;
}

bool match_at(const std::string &t, size_t ti, const char *name, size_t ni, size_t len, long last_dot)
{
    if (ti == t.size()) return ni == len;
    char c = t[ti];
    if (c == '*') {
        for (size_t k = ni; k <= len; k++)
            if (match_at(t, ti + 1, name, k, len, last_dot)) return true;
        return false;
    }
    if (c == DOS_STAR) {
        size_t limit = last_dot >= long(ni) ? size_t(last_dot) : len;
        for (size_t k = ni; k <= limit; k++)
            if (match_at(t, ti + 1, name, k, len, last_dot)) return true;
        return false;
    }
    if (c == DOS_QM) {
        if (ni == len || name[ni] == '.') return match_at(t, ti + 1, name, ni, len, last_dot);
        return match_at(t, ti + 1, name, ni + 1, len, last_dot);
    }
    if (c == DOS_DOT) {
        if (ni < len && name[ni] == '.') return match_at(t, ti + 1, name, ni + 1, len, last_dot);
        return ni == len && match_at(t, ti + 1, name, ni, len, last_dot);
    }
    return ni < len && tolower((unsigned char)name[ni]) == tolower((unsigned char)c) &&
           match_at(t, ti + 1, name, ni + 1, len, last_dot);
}

bool entry_before(const _finddata_t &a, const _finddata_t &b)
{
    auto rank = [](const char *n) { return strcmp(n, ".") == 0 ? 0 : strcmp(n, "..") == 0 ? 1 : 2; };
    int ra = rank(a.name), rb = rank(b.name);
    if (ra != rb) return ra < rb;
    int order = sys_name_compare(a.name, b.name);
    return order != 0 ? order < 0 : strcmp(a.name, b.name) < 0;
}

}  // namespace

bool sys_wildcard_match(const char *pattern, const char *name)
{
    std::string t = translate(pattern);
    const char *dot = strrchr(name, '.');
    return match_at(t, 0, name, 0, strlen(name), dot ? long(dot - name) : -1);
}

intptr_t _findfirst(const char *pattern, _finddata_t *data)
{
    if (!pattern || !data) return -1;
    // Split into the folder and the name pattern after the last separator (or drive colon).
    const char *cut = pattern;
    for (const char *p = pattern; *p; p++)
        if (*p == '/' || *p == '\\' || (p == pattern + 1 && *p == ':')) cut = p + 1;
    std::string folder(pattern, cut);
    std::string mask = cut;
    if (mask.empty()) return -1;
    SysPath at = sys_resolve(folder.empty() ? "." : folder.c_str());

    DIR *dir = opendir(at.posix.c_str());
    if (!dir) return -1;
    auto state = std::make_unique<FindState>();
    state->next = 0;
    while (dirent *entry = readdir(dir)) {
        if (strlen(entry->d_name) >= sizeof(data->name)) continue;
        if (!sys_wildcard_match(mask.c_str(), entry->d_name)) continue;
        _finddata_t found{};
        snprintf(found.name, sizeof found.name, "%s", entry->d_name);
        struct stat info;
        // fstatat on the open folder: no path to build, and the entry is looked up where it was listed.
        if (fstatat(dirfd(dir), entry->d_name, &info, 0) == 0) {
            found.attrib = S_ISDIR(info.st_mode) ? _A_SUBDIR : _A_ARCH;
            found.size = info.st_size > 0xFFFFFFFFll ? 0xFFFFFFFFu : uint32_t(info.st_size);
            found.time_write = int64_t(info.st_mtime);
        }
        state->entries.push_back(found);
    }
    closedir(dir);
    if (state->entries.empty()) return -1;
    std::sort(state->entries.begin(), state->entries.end(), entry_before);

    *data = state->entries[0];
    state->next = 1;
    std::lock_guard<std::mutex> lock(g_find_mutex);
    intptr_t handle = g_find_next_handle++;
    g_finds[handle] = std::move(state);
    return handle;
}

int _findnext(intptr_t handle, _finddata_t *data)
{
    std::lock_guard<std::mutex> lock(g_find_mutex);
    auto it = g_finds.find(handle);
    if (it == g_finds.end() || !data) return -1;
    FindState &state = *it->second;
    if (state.next >= state.entries.size()) return -1;
    *data = state.entries[state.next++];
    return 0;
}

int _findclose(intptr_t handle)
{
    std::lock_guard<std::mutex> lock(g_find_mutex);
    return g_finds.erase(handle) ? 0 : -1;
}
