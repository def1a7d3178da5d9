// The drive view of the file system: rooted paths, whole writes, remove and rename, listing.
#include "platform/system.h"
#include "platform/system_local.h"
#include "tests/test_util.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

class PathTest : public ::testing::Test, protected TestFolders {
protected:

    std::string cwd()
    {
        char buffer[512];
        return _getcwd(buffer, sizeof buffer) ? buffer : "<null>";
    }

    std::vector<std::string> list(const char *pattern)
    {
        std::vector<std::string> names;
        _finddata_t data;
        intptr_t handle = _findfirst(pattern, &data);
        if (handle == -1) return names;
        do names.push_back(data.name);
        while (_findnext(handle, &data) == 0);
        _findclose(handle);
        return names;
    }

    std::string read(const char *path)
    {
        FILE *file = sys_fopen(path, "rb");
        if (!file) return "<missing>";
        char buffer[256] = {};
        size_t n = fread(buffer, 1, sizeof buffer - 1, file);
        fclose(file);
        return std::string(buffer, n);
    }
};

TEST_F(PathTest, RootedAndParentPathsStayOnTheirDrive)
{
    ASSERT_EQ(_chdir("c:\\"), 0);
    EXPECT_EQ(_chdir(".."), 0);  // clamped at the drive root
    EXPECT_EQ(cwd(), "C:\\");
    ASSERT_EQ(_chdir("Z:\\"), 0);
    EXPECT_EQ(cwd(), "Z:\\");
    ASSERT_EQ(_chdir(run.c_str()), 0);  // rooted on the current drive Z: is the POSIX path
    EXPECT_EQ(cwd().substr(0, 3), "Z:\\");
    EXPECT_EQ(_chdir("no such folder"), -1);
    char native[1024];
    ASSERT_EQ(sys_native_path("d:\\x", native, sizeof native), 1);
    EXPECT_EQ(std::string(native), user + "-d/x");
    EXPECT_EQ(sys_native_path("d:\\x", native, 3), 0);
}

TEST_F(PathTest, WholeWritesReplaceOrKeepTheOldFile)
{
    ASSERT_EQ(sys_write_whole("Data.bin", "first", 5), 1);
    EXPECT_EQ(read("DATA.BIN"), "first");
    ASSERT_EQ(sys_write_whole("data.BIN", "second", 6), 1);
    EXPECT_EQ(test_read_file(run + "/Data.bin"), "second");
    // The temporary cannot be made: the old file stays as it was.
    std::filesystem::create_directories(run + "/Data.bin.tmp");
    EXPECT_EQ(sys_write_whole("Data.bin", "third", 5), 0);
    EXPECT_EQ(test_read_file(run + "/Data.bin"), "second");
    EXPECT_EQ(sys_write_whole("no/folder/x.bin", "x", 1), 0);
}

TEST_F(PathTest, RemoveAndRename)
{
    test_write_file(run + "/a.txt", "a");
    EXPECT_EQ(sys_rename("A.TXT", "b.txt"), 0);
    EXPECT_EQ(read("b.txt"), "a");
    EXPECT_EQ(sys_remove("B.txt"), 0);
    EXPECT_EQ(sys_remove("b.txt"), -1);
}

TEST_F(PathTest, ListingFollowsWindowsWildcards)
{
    for (const char *name : {"b.qel", "A.QEL", "c.qel.bak", "noext", "x.png"}) test_write_file(run + "/" + name, "");
    std::filesystem::create_directories(run + "/Folder");
    std::filesystem::create_directories(run + "/sub.dir");

    EXPECT_EQ(list("*.qel"), (std::vector<std::string>{"A.QEL", "b.qel"}));
    EXPECT_EQ(list("*."), (std::vector<std::string>{".", "..", "Folder", "noext"}));
    EXPECT_EQ(list("*.*").size(), 9u);
    EXPECT_EQ(list("*").size(), 9u);
    EXPECT_EQ(list("?.qel"), (std::vector<std::string>{"A.QEL", "b.qel"}));
    EXPECT_EQ(list("*.jp2"), std::vector<std::string>{});
    EXPECT_EQ(list(".\\*.PNG"), (std::vector<std::string>{"x.png"}));

    _finddata_t data;
    intptr_t handle = _findfirst("*.", &data);
    ASSERT_NE(handle, -1);
    bool folder_is_dir = false, noext_is_dir = true;
    do {
        if (std::string(data.name) == "Folder") folder_is_dir = data.attrib & _A_SUBDIR;
        if (std::string(data.name) == "noext") noext_is_dir = data.attrib & _A_SUBDIR;
    } while (_findnext(handle, &data) == 0);
    EXPECT_EQ(_findnext(handle, &data), -1);
    EXPECT_EQ(_findclose(handle), 0);
    EXPECT_EQ(_findclose(handle), -1);
    EXPECT_TRUE(folder_is_dir);
    EXPECT_FALSE(noext_is_dir);
}

}  // namespace
