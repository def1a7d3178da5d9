// The configuration reader against small tables: lists, boxes, unquoted texts.
#include "platform/system.h"
#include "script/config.h"
#include "script/config_main.h"
#include "tests/test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

char *g_err1, *g_err10, *g_names[4];
int32_t g_distance, g_count, g_list[2 * CONFIG_LIST_RECORD];
ConfigBoxRecord g_boxes[2];
float g_quads[8];

const ConfigKeyDescriptor g_table[] = {
    {CONFIG_SECTION, "MENUS", nullptr, nullptr, nullptr, nullptr, 0},
    {CONFIG_TEXT, "ERR1", &g_err1, nullptr, nullptr, nullptr, 0},
    {CONFIG_TEXT, "ERR10", &g_err10, nullptr, nullptr, nullptr, 0},
    {CONFIG_SECTION_END, "", nullptr, nullptr, nullptr, nullptr, 0},
    {CONFIG_SECTION, "PARAMS", nullptr, nullptr, nullptr, nullptr, 0},
    {CONFIG_INT, "DISTANCE", nullptr, &g_distance, nullptr, nullptr, 0},
    {CONFIG_INT, "COUNT", nullptr, &g_count, nullptr, nullptr, 0},
    {CONFIG_CLAIM, "COUNTX", nullptr, nullptr, nullptr, nullptr, 0},
    {CONFIG_GROUP, "THEME", nullptr, nullptr, nullptr, nullptr, 4},
    {CONFIG_TEXT, "NAME", g_names, nullptr, nullptr, nullptr, 0},
    {CONFIG_INT_LIST, "LIST", nullptr, g_list, nullptr, nullptr, 0},
    {CONFIG_BOX, "BOX", nullptr, nullptr, g_boxes, nullptr, 0},
    {CONFIG_BOX_VALUES, "VALUES", nullptr, nullptr, g_boxes, nullptr, 0},
    {CONFIG_QUAD, "QUAD", nullptr, nullptr, nullptr, g_quads, 0},
    {CONFIG_GROUP_END, "", nullptr, nullptr, nullptr, nullptr, 0},
    {CONFIG_SECTION_END, "", nullptr, nullptr, nullptr, nullptr, 0},
    {CONFIG_SCRIPT, "SCRIPT", nullptr, nullptr, nullptr, nullptr, 0},
    {CONFIG_END, "", nullptr, nullptr, nullptr, nullptr, 0},
};

std::string str(const char *text) { return text ? text : "<null>"; }

class ConfigTest : public ::testing::Test {
protected:
    TempDir temp;
    TestPathRestore restore;

    void SetUp() override
    {
        sys_path_reset(temp.path.c_str(), (temp / "user").c_str());
        free_texts();
        g_distance = g_count = 0;
        for (int32_t &v : g_list) v = 99;
        for (ConfigBoxRecord &box : g_boxes) box = ConfigBoxRecord{};
        for (float &q : g_quads) q = 0;
    }

    void TearDown() override { free_texts(); }

    // The reader hands its text copies to the destinations for good.
    static void free_texts()
    {
        free(g_err1);
        free(g_err10);
        g_err1 = g_err10 = nullptr;
        for (char *&name : g_names) {
            free(name);
            name = nullptr;
        }
    }

    // Reads `text` (lines joined with CR LF) against the test table.
    void read(const std::string &text)
    {
        free_texts();
        std::string crlf;
        for (char c : text) {
            if (c == '\n') crlf += "\r\n";
            else crlf += c;
        }
        test_write_file(temp / "c.txt", crlf);
        config_read_file(g_table, "c.txt");
    }
};

TEST_F(ConfigTest, IntegerLists)
{
    read("PARAMS\n{\nTHEME:1\n{\nLIST = 1,2,3\n}\nTHEME\n{\nLIST = 7\n}\n}\n");
    EXPECT_EQ(g_list[32], 1);
    EXPECT_EQ(g_list[33], 2);
    EXPECT_EQ(g_list[34], 3);
    EXPECT_EQ(g_list[35], -1);
    EXPECT_EQ(g_list[0], 99);  // one value without a comma stores nothing

    read("PARAMS\n{\nTHEME\n{\nLIST = 5,\n}\n}\n");
    EXPECT_EQ(g_list[0], 5);
    EXPECT_EQ(g_list[1], 99);
    EXPECT_EQ(g_list[2], -1);

    for (int32_t &v : g_list) v = 99;
    std::string many = "LIST = ";
    for (int i = 0; i < 40; i++) many += std::to_string(i) + ",";
    read("PARAMS\n{\nTHEME\n{\n" + many + "\n}\n}\n");
    EXPECT_EQ(g_list[30], 30);
    EXPECT_EQ(g_list[31], -1);
    EXPECT_EQ(g_list[32], 99);  // the next record is untouched
}

TEST_F(ConfigTest, BoxesAndQuads)
{
    read("PARAMS\n{\nTHEME:1\n{\nBOX = (1,2),(3,4)\nVALUES = (5,6,7,8)\nQUAD = (0.5,1.5,2.5,3.5)\n}\n}\n");
    EXPECT_EQ(g_boxes[1].rect_set, 1);
    EXPECT_FLOAT_EQ(g_boxes[1].rect[3], 4.0f);
    EXPECT_FLOAT_EQ(g_boxes[1].values[0], 5.0f);
    EXPECT_FLOAT_EQ(g_quads[4], 0.5f);
    EXPECT_FLOAT_EQ(g_quads[7], 3.5f);
    EXPECT_EQ(g_boxes[0].rect_set, 0);
}

TEST_F(ConfigTest, TextsWithoutTheirQuotesAreIgnored)
{
    read("MENUS\n{\nERR1 = no quotes\nERR10 = \"open only\n}\n");
    EXPECT_EQ(str(g_err1), "<null>");
    EXPECT_EQ(str(g_err10), "<null>");
    EXPECT_STREQ(config_extract_quoted_string("x \"open only"), "open only");
    EXPECT_STREQ(config_extract_quoted_string("\"\""), "");
    EXPECT_EQ(strlen(config_extract_quoted_string(("\"" + std::string(900, 'q') + "\"").c_str())), 511u);
}

class MainTableTest : public ConfigTest {
protected:
    void TearDown() override
    {
        for (char *&text : g_menu_texts) {
            free(text);
            text = nullptr;
        }
        for (char *&name : g_theme_names) {
            free(name);
            name = nullptr;
        }
        g_menu_text_r = -1;
    }
};

}  // namespace
