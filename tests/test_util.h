// Helpers shared by the test programs: a temporary folder removed at the end of the test, and
// small file utilities.
#pragma once

#include "platform/system.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

struct TempDir {
    std::string path;

    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "zavtest-XXXXXX").string();
        path = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempDir()
    {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    std::string operator/(const std::string &name) const { return path + "/" + name; }
};

// Puts the path layer back as the program started (its own folder, the default C: drive) when it
// goes, so that a test which pointed it at a temporary folder leaves no removed folder current.
struct TestPathRestore {
    TestPathRestore() = default;
    ~TestPathRestore() { sys_path_reset(nullptr, nullptr); }
    TestPathRestore(const TestPathRestore &) = delete;
    TestPathRestore &operator=(const TestPathRestore &) = delete;
};

// A temporary working folder ("run") and user data folder (drive C:) put in use by the path layer
// for the object's life.
struct TestFolders {
    TestPathRestore restore;
    TempDir temp;
    std::string run = temp / "run";
    std::string user = temp / "user";

    TestFolders()
    {
        std::filesystem::create_directories(run);
        sys_path_reset(run.c_str(), user.c_str());
    }
};

inline void test_write_file(const std::string &posix_path, const std::string &bytes)
{
    std::filesystem::create_directories(std::filesystem::path(posix_path).parent_path());
    FILE *file = fopen(posix_path.c_str(), "wb");
    if (!file) return;
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

inline std::string test_read_file(const std::string &posix_path)
{
    std::string bytes;
    FILE *file = fopen(posix_path.c_str(), "rb");
    if (!file) return bytes;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, n);
    fclose(file);
    return bytes;
}
