// The drive view of the file system: opening, folder walks, case-blind lookup and listing.
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

TEST_F(PathTest, WorkingFolderReadsAsDriveZ)
{
    std::string expected = "Z:" + run;
    for (char &c : expected)
        if (c == '/') c = '\\';
    EXPECT_EQ(cwd(), expected);
    char tiny[4];
    EXPECT_EQ(_getcwd(tiny, sizeof tiny), nullptr);
}

TEST_F(PathTest, OpensFilesRelativeToWorkingFolderInEitherForm)
{
    test_write_file(run + "/repertoire.ini", "ini");
    test_write_file(run + "/data/txt/x.txt", "x");
    EXPECT_EQ(read(".\\repertoire.ini"), "ini");
    EXPECT_EQ(read("data/txt/x.txt"), "x");
    EXPECT_EQ(read("data\\txt\\x.txt"), "x");
    EXPECT_EQ(read("DATA\\TXT\\X.TXT"), "x");
    EXPECT_EQ(read("data/txt/../txt/./x.txt"), "x");
    EXPECT_EQ(read("data/txt/y.txt"), "<missing>");
}

TEST_F(PathTest, GameFolderWalkCreatesFoldersOnDriveC)
{
    // The component walk the game does for "c:\ZAV Games\Captures".
    ASSERT_EQ(_chdir("c:/"), 0);
    EXPECT_EQ(cwd(), "C:\\");
    const char *parts[] = {"ZAV Games", "Captures"};
    for (const char *part : parts) {
        _mkdir(part);
        ASSERT_EQ(_chdir(part), 0) << part;
    }
    EXPECT_EQ(cwd(), "C:\\ZAV Games\\Captures");
    EXPECT_TRUE(std::filesystem::is_directory(user + "/ZAV Games/Captures"));
    EXPECT_EQ(_mkdir("."), -1);  // existing folders are refused, not recreated

    // A second walk in another case lands in the same folders and creates nothing new.
    ASSERT_EQ(_chdir("C:\\zav games"), 0);
    EXPECT_EQ(_mkdir("CAPTURES"), -1);
    EXPECT_EQ(cwd(), "C:\\ZAV Games");
}

TEST_F(PathTest, BothPathFormsNameOneFile)
{
    ASSERT_EQ(_mkdir("c:/ZAV Games"), 0);
    ASSERT_EQ(_mkdir("c:/ZAV Games/Saves"), 0);
    FILE *file = sys_fopen("c:/ZAV Games/Saves/OPTIONS.DAT", "wb");
    ASSERT_NE(file, nullptr);
    fputs("opts", file);
    fclose(file);
    EXPECT_EQ(read("C:\\ZAV Games\\Saves\\OPTIONS.DAT"), "opts");
    EXPECT_EQ(read("c:\\zav games\\saves\\options.dat"), "opts");
    EXPECT_EQ(test_read_file(user + "/ZAV Games/Saves/OPTIONS.DAT"), "opts");

    // Writing in another case replaces the existing file instead of making a twin.
    file = sys_fopen("C:/zav games/SAVES/options.dat", "wb");
    ASSERT_NE(file, nullptr);
    fputs("new", file);
    fclose(file);
    EXPECT_EQ(test_read_file(user + "/ZAV Games/Saves/OPTIONS.DAT"), "new");
    EXPECT_FALSE(std::filesystem::exists(user + "/ZAV Games/Saves/options.dat"));
}

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

TEST_F(PathTest, ListingWithAFolderPrefix)
{
    test_write_file(run + "/data/parcours/Set1/h2.qel", "");
    test_write_file(run + "/data/parcours/Set1/h10.qel", "");
    test_write_file(run + "/data/parcours/Set1/h1.png", "");
    EXPECT_EQ(list("data/parcours/set1/*.qel"), (std::vector<std::string>{"h10.qel", "h2.qel"}));
    EXPECT_EQ(list("data/parcours/*."), (std::vector<std::string>{".", "..", "Set1"}));
    EXPECT_EQ(list("data/nothing/*.qel"), std::vector<std::string>{});
    EXPECT_EQ(list("data/parcours/"), std::vector<std::string>{});
}

TEST(Wildcard, DosRules)
{
    EXPECT_TRUE(sys_wildcard_match("*.", "."));
    EXPECT_TRUE(sys_wildcard_match("*.", ".."));
    EXPECT_TRUE(sys_wildcard_match("*.", "abc"));
    EXPECT_FALSE(sys_wildcard_match("*.", "a.b"));
    EXPECT_TRUE(sys_wildcard_match("*.qel", "a.b.qel"));
    EXPECT_FALSE(sys_wildcard_match("*.qel", "a.qel.bak"));
    EXPECT_TRUE(sys_wildcard_match("*.*", "abc"));
    EXPECT_TRUE(sys_wildcard_match("a?.txt", "a.txt"));
    EXPECT_TRUE(sys_wildcard_match("a?.txt", "ab.txt"));
    EXPECT_FALSE(sys_wildcard_match("a?.txt", "abc.txt"));
    EXPECT_TRUE(sys_wildcard_match("PLAYER*.DAT", "player1.dat"));
}

}  // namespace
