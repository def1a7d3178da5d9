// The Windows-form view of the POSIX file system: drives, the current folder, case-blind lookup,
// and the file and folder calls that go through it.
#include "platform/system.h"
#include "platform/system_local.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

std::mutex g_path_mutex;
bool g_path_ready;
std::string g_drive_c;                 // POSIX folder of drive C:, no trailing slash
char g_cwd_drive = 'Z';                // the current folder: its drive ...
std::vector<std::string> g_cwd_parts;  // ... and its components below the drive root

bool is_separator(char c) { return c == '/' || c == '\\'; }

std::vector<std::string> split_posix(const std::string &path)
{
    std::vector<std::string> parts;
    size_t i = 0;
    while (i < path.size()) {
        while (i < path.size() && path[i] == '/') i++;
        size_t j = i;
        while (j < path.size() && path[j] != '/') j++;
        if (j > i) parts.push_back(path.substr(i, j - i));
        i = j;
    }
    return parts;
}

std::string default_drive_c()
{
    const char *over = getenv("ZAVGOLF_DRIVE_C");
    if (over && over[0]) return over;
    const char *xdg = getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/zavgolf";
    const char *home = getenv("HOME");
    return std::string(home && home[0] ? home : "/tmp") + "/.local/share/zavgolf";
}

std::string drive_root(char drive)
{
    if (drive == 'Z') return "";
    if (drive == 'C') return g_drive_c;
    return g_drive_c + "-" + char(tolower((unsigned char)drive));
}

void make_folders(const std::string &posix)
{
    std::string at;
    for (const std::string &part : split_posix(posix)) {
        at += "/" + part;
        mkdir(at.c_str(), 0777);
    }
}

// Places a POSIX absolute path on its drive: under the C: folder (or a sibling drive folder) or Z:.
void place_posix(const std::string &posix, char *drive, std::vector<std::string> *parts)
{
    std::vector<std::string> all = split_posix(posix);
    std::vector<std::string> c_parts = split_posix(g_drive_c);
    if (!c_parts.empty() && all.size() >= c_parts.size()) {
        bool under = true;
        for (size_t i = 0; i + 1 < c_parts.size() && under; i++) under = all[i] == c_parts[i];
        const std::string &last = c_parts.back();
        const std::string &mine = all[c_parts.size() - 1];
        if (under && mine == last) {
            *drive = 'C';
            parts->assign(all.begin() + c_parts.size(), all.end());
            return;
        }
        if (under && mine.size() == last.size() + 2 && mine.compare(0, last.size(), last) == 0 &&
            mine[last.size()] == '-' && islower((unsigned char)mine.back())) {
            *drive = char(toupper((unsigned char)mine.back()));
            parts->assign(all.begin() + c_parts.size(), all.end());
            return;
        }
    }
    *drive = 'Z';
    *parts = all;
}

void ensure_ready()
{
    if (g_path_ready) return;
    g_drive_c = default_drive_c();
    while (g_drive_c.size() > 1 && g_drive_c.back() == '/') g_drive_c.pop_back();
    char buffer[PATH_MAX];
    std::string cwd = getcwd(buffer, sizeof buffer) ? buffer : "/";
    place_posix(cwd, &g_cwd_drive, &g_cwd_parts);
    g_path_ready = true;
}

// The entry of `folder` named `name` without regard to case; the first in sorted order wins.
bool find_case_blind(const std::string &folder, const std::string &name, std::string *found)
{
    DIR *dir = opendir(folder.empty() ? "/" : folder.c_str());
    if (!dir) return false;
    bool any = false;
    while (dirent *entry = readdir(dir)) {
        std::string candidate = entry->d_name;
        if (sys_name_compare(candidate, name) != 0) continue;
        if (!any || candidate < *found) *found = candidate;
        any = true;
    }
    closedir(dir);
    return any;
}

std::string join(char drive, const std::vector<std::string> &parts)
{
    std::string posix = drive_root(drive);
    for (const std::string &part : parts) posix += "/" + part;
    return posix.empty() ? "/" : posix;
}

SysPath resolve_locked(const char *path)
{
    ensure_ready();
    SysPath out;
    out.drive = g_cwd_drive;
    std::vector<std::string> parts = g_cwd_parts;
    const char *rest = path ? path : "";
    if (isalpha((unsigned char)rest[0]) && rest[1] == ':') {
        char drive = char(toupper((unsigned char)rest[0]));
        rest += 2;
        if (drive != g_cwd_drive || is_separator(rest[0])) parts.clear();
        out.drive = drive;
    } else if (is_separator(rest[0])) {
        parts.clear();
    }

    // Lexical "." and "..", clamped at the drive root as Windows does.
    for (const char *p = rest; *p;) {
        while (is_separator(*p)) p++;
        const char *end = p;
        while (*end && !is_separator(*end)) end++;
        std::string part(p, end);
        p = end;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    if (out.drive != 'Z') make_folders(drive_root(out.drive));

    out.posix = join(out.drive, parts);
    struct stat info;
    if (stat(out.posix.c_str(), &info) == 0) {
        out.parts = parts;
        return out;
    }
    // Not there as written: walk it component by component without regard to case.
    std::string at = drive_root(out.drive);
    bool lost = false;
    for (std::string &part : parts) {
        std::string found;
        struct stat exact;
        if (lost || stat((at + "/" + part).c_str(), &exact) == 0) {
        } else if (find_case_blind(at, part, &found)) {
            part = found;
        } else {
            lost = true;
        }
        at += "/" + part;
    }
    out.parts = parts;
    out.posix = join(out.drive, parts);
    return out;
}

}  // namespace

SysPath sys_resolve(const char *path)
{
    std::lock_guard<std::mutex> lock(g_path_mutex);
    return resolve_locked(path);
}

int sys_name_compare(const std::string &a, const std::string &b)
{
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; i++) {
        int x = tolower((unsigned char)a[i]), y = tolower((unsigned char)b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

void sys_path_reset(const char *posix_cwd, const char *posix_drive_c)
{
    std::lock_guard<std::mutex> lock(g_path_mutex);
    g_path_ready = false;
    ensure_ready();
    if (posix_drive_c) {
        g_drive_c = posix_drive_c;
        while (g_drive_c.size() > 1 && g_drive_c.back() == '/') g_drive_c.pop_back();
    }
    if (posix_cwd) place_posix(posix_cwd, &g_cwd_drive, &g_cwd_parts);
}

char *_getcwd(char *buffer, int size)
{
    std::lock_guard<std::mutex> lock(g_path_mutex);
    ensure_ready();
    std::string form = std::string(1, g_cwd_drive) + ":";
    for (const std::string &part : g_cwd_parts) form += "\\" + part;
    if (g_cwd_parts.empty()) form += "\\";
    if (!buffer || size <= 0 || form.size() + 1 > size_t(size)) return nullptr;
    memcpy(buffer, form.c_str(), form.size() + 1);
    return buffer;
}

int _chdir(const char *path)
{
    std::lock_guard<std::mutex> lock(g_path_mutex);
    SysPath at = resolve_locked(path);
    struct stat info;
    if (stat(at.posix.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return -1;
    g_cwd_drive = at.drive;
    g_cwd_parts = at.parts;
    return 0;
}

int _mkdir(const char *path)
{
    SysPath at = sys_resolve(path);
    return mkdir(at.posix.c_str(), 0777) == 0 ? 0 : -1;
}

FILE *sys_fopen(const char *path, const char *mode)
{
    if (!path || !mode) return nullptr;
    SysPath at = sys_resolve(path);
    return fopen(at.posix.c_str(), mode);
}

int sys_write_whole(const char *path, const void *data, size_t size)
{
    if (!path || (!data && size)) return 0;
    SysPath at = sys_resolve(path);
    std::string temporary = at.posix + ".tmp";
    FILE *file = fopen(temporary.c_str(), "wb");
    if (!file) return 0;
    bool ok = size == 0 || fwrite(data, 1, size, file) == size;
    ok = fflush(file) == 0 && ok;
    ok = fsync(fileno(file)) == 0 && ok;  // on disk before it replaces the old file
    ok = fclose(file) == 0 && ok;
    if (ok && rename(temporary.c_str(), at.posix.c_str()) == 0) return 1;
    unlink(temporary.c_str());
    return 0;
}

int sys_remove(const char *path)
{
    SysPath at = sys_resolve(path);
    return unlink(at.posix.c_str()) == 0 ? 0 : -1;
}

int sys_rename(const char *from, const char *to)
{
    SysPath a = sys_resolve(from);
    SysPath b = sys_resolve(to);
    return rename(a.posix.c_str(), b.posix.c_str()) == 0 ? 0 : -1;
}

int sys_native_path(const char *path, char *out, size_t size)
{
    SysPath at = sys_resolve(path);
    if (!out || at.posix.size() + 1 > size) return 0;
    memcpy(out, at.posix.c_str(), at.posix.size() + 1);
    return 1;
}

bool sys_read_file(const char *path, std::string &out, size_t max_bytes)
{
    FILE *file = sys_fopen(path, "rb");
    if (!file) return false;
    out.clear();
    char chunk[4096];
    size_t n;
    while (out.size() <= max_bytes && (n = fread(chunk, 1, sizeof chunk, file)) > 0) out.append(chunk, n);
    fclose(file);
    if (out.size() <= max_bytes) return true;
    out.clear();
    return false;
}
