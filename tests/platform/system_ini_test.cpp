// INI reading by the private-profile rules.
#include "platform/system.h"
#include "tests/test_util.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class IniTest : public ::testing::Test {
protected:
    TempDir temp;
    TestPathRestore restore;

    void SetUp() override
    {
        sys_path_reset(temp.path.c_str(), (temp / "user").c_str());
        test_write_file(temp / "repertoire.ini",
                        "; settings\r\n"
                        "[Other]\r\n"
                        "GamePath=wrong\r\n"
                        "[ Path ]\r\n"
                        "  GamePath =  c:\\ZAV Games\\  \r\n"
                        "SubDir1=\"Quoted Caps\"\r\n"
                        "SubDir2='single'\r\n"
                        "SubDir3=\"half\r\n"
                        "Empty=\r\n"
                        "GamePath=second\r\n"
                        "novalue\r\n"
                        "[Html]\r\n"
                        "FileName=.\\html\\index.html\r\n");
    }

    std::string get(const char *section, const char *key, const char *fallback = "dflt",
                    const char *file = ".\\repertoire.ini", DWORD size = 1024)
    {
        char buffer[1024];
        DWORD n = GetPrivateProfileStringA(section, key, fallback, buffer, size, file);
        EXPECT_EQ(n, std::string(buffer).size());
        return buffer;
    }
};

TEST_F(IniTest, RemovesMatchingQuotesOnly)
{
    EXPECT_EQ(get("Path", "SubDir1"), "Quoted Caps");
    EXPECT_EQ(get("Path", "SubDir2"), "single");
    EXPECT_EQ(get("Path", "SubDir3"), "\"half");
}

TEST_F(IniTest, DefaultsForMissingFileSectionOrKey)
{
    EXPECT_EQ(get("Path", "SubDir9", "Players"), "Players");
    EXPECT_EQ(get("Nope", "GamePath", "x"), "x");
    EXPECT_EQ(get("Path", "GamePath", "d  ", "missing.ini"), "d");
    EXPECT_EQ(get("Path", "novalue", nullptr), "");
    // A file far larger than any settings file is not read.
    test_write_file(temp / "huge.ini", "[Path]\r\nGamePath=big\r\n" + std::string(2 << 20, ';'));
    EXPECT_EQ(get("Path", "GamePath", "d", ".\\huge.ini"), "d");
}

TEST_F(IniTest, TruncatesToTheBuffer)
{
    EXPECT_EQ(get("Path", "GamePath", "", ".\\repertoire.ini", 5), "c:\\Z");
    char one[1] = {'x'};
    EXPECT_EQ(GetPrivateProfileStringA("Path", "GamePath", "", one, 1, ".\\repertoire.ini"), 0u);
    EXPECT_EQ(one[0], '\0');
}

}  // namespace
