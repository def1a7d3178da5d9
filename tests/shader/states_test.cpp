// Render states: values, hexadecimal, texture bindings, over-long words.
#include "tests/shader/shader_test_util.h"

namespace {

using Lines = std::vector<std::string>;

class StatesTest : public CompilerTest {
protected:
    TextLineList out;

    void SetUp() override { shader_rs_reset_states(&g_shader_rs_block); }
    ~StatesTest() override { shader_line_list_free(&out); }

    int parse(const char *text)
    {
        int position = 0;
        return shader_parse_render_states(c, text, &position);
    }
    Lines write()
    {
        shader_line_list_free(&out);
        shader_write_pass_states(c, &out);
        return lines_of(out);
    }
    Lines parse_and_write(const char *text)
    {
        shader_rs_reset_states(&g_shader_rs_block);
        EXPECT_EQ(parse(text), 1) << text;
        return write();
    }
};

TEST_F(StatesTest, ValuesAndHexadecimal)
{
    EXPECT_EQ(parse_and_write("CULL NONE"), (Lines{"CullMode = None;", ""}));
    EXPECT_EQ(g_shader_rs_block.words[80], 514u);
    EXPECT_EQ(parse_and_write("cull ccw\r\n"), (Lines{"CullMode = Ccw;", ""}));
    EXPECT_EQ(parse_and_write("DSTBLEND INVDSTCOLOR"), (Lines{"DestBlend = invDestColor;", ""}));
    EXPECT_EQ(parse_and_write("COLORARG1[1] TEXCOO2 MIN[2] REPEAT"),
              (Lines{"ColorArg1[1] = 2;", "MinFilter[2] = Wrap;", ""})); // word order, not line order
    EXPECT_EQ(parse_and_write("ALPHAREF 0X80"), (Lines{"AlphaRef = 0x80;", ""}));
    EXPECT_EQ(g_shader_rs_block.words[77], 128u);
    EXPECT_EQ(parse_and_write("ALPHAREF 0X5"), (Lines{"AlphaRef = 0x50;", ""}));
    EXPECT_EQ(parse_and_write("ALPHAREF 0x123"), (Lines{"AlphaRef = 0x12;", ""}));
    EXPECT_EQ(parse_and_write("ALPHAREF 0XFF"), (Lines{"AlphaRef = 0xFF;", ""}));

    EXPECT_EQ(str_hex_digit_value('f'), 0);
    EXPECT_EQ(str_hex_digit_value('F'), 15);
    EXPECT_EQ(shader_rs_parse_value("OFFSET_7"), 556);
    EXPECT_EQ(shader_rs_parse_value("EQUAL"), 559);
    EXPECT_EQ(shader_rs_parse_value("7"), -1);
    EXPECT_STREQ(shader_rs_value_name(10), "0x0A");
    EXPECT_STREQ(shader_rs_value_name(666), "TWOSIDED");
    EXPECT_STREQ(shader_rs_value_name(499), nullptr);
    EXPECT_STREQ(shader_rs_is_value_keyword("STENCIL"), "");
    EXPECT_STREQ(shader_rs_is_value_keyword("stencil"), nullptr);
}

TEST_F(StatesTest, TextureBindings)
{
    shader_add_texture(c, dup("Decal"));
    shader_add_texture(c, dup("Light"));
    EXPECT_EQ(parse_and_write("TEXTURE[1] Light TEXTURE[0] Decal"),
              (Lines{"Texture[0] = <Decal>;", "Texture[1] = <Light>;", ""}));
    EXPECT_EQ(g_shader_rs_block.stage_textures[1], c->texture_names[1]);

    EXPECT_EQ(parse("TEXTURE[2] decal"), 0); // names keep their case
    EXPECT_STREQ(g_shader_rs_error, "Error: RS:'decal'");
    EXPECT_EQ(parse("TEXTURE[16] Decal"), 0);
    EXPECT_STREQ(g_shader_rs_error, "Error: RS:'TEXTURE[16]'");
    EXPECT_EQ(parse("TEXTURE[3]"), 0);

    // In HLSL mode the samplers bind textures: no Texture lines and no filters.
    shader_rs_reset_states(&g_shader_rs_block);
    parse("TEXTURE[0] Decal MAG[0] LINEAR ADDRESSU[0] CLAMP");
    c->hlsl_mode = 1;
    EXPECT_EQ(write(), (Lines{"AddressU[0] = Clamp;", ""}));
}

TEST_F(StatesTest, OverlongWordIsACapacityError)
{
    std::string text = "CULL " + std::string(1100, 'Q');
    EXPECT_EQ(parse(text.c_str()), 0);
    EXPECT_EQ(strlen(g_shader_rs_error), 1023u);
    EXPECT_STREQ(c->capacity_error, "Too many characters in a render-state word");
}

} // namespace
