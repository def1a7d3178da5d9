// Symbol tables: registers by slot, last declaration wins, bounded tables, temporaries.
#include "tests/shader/shader_test_util.h"

namespace {

using SymbolTest = CompilerTest;

TEST_F(SymbolTest, PixelLookupsDifferOnlyInRegisterCount)
{
    shader_add_pixel_constant(c, dup("P"));
    shader_add_pixel_matrix(c, dup("PM"));
    EXPECT_EQ(c->ps_const_registers[1], 4);
    EXPECT_STREQ(shader_find_pixel_matrix(c, "P"), "P");
    EXPECT_EQ(c->last_found_index, 0);
    EXPECT_EQ(c->last_found_registers, 4);
    EXPECT_STREQ(shader_find_pixel_constant(c, "PM"), "PM");
    EXPECT_EQ(c->last_found_index, 1);
    EXPECT_EQ(c->last_found_registers, 1);
    EXPECT_EQ(shader_set_pixel_matrix_text(c, "PM", dup("16 values")), 1);
    EXPECT_EQ(shader_set_pixel_constant_text(c, "P", dup("0.5f")), 0);
    EXPECT_STREQ(c->ps_const_texts[0], "0.5f");
}

TEST_F(SymbolTest, TablesRefuseToOverflow)
{
    for (int i = 0; i < 64; i++) ASSERT_EQ(shader_add_constant(c, dup("M"), 1), 1);
    EXPECT_EQ(c->const_register_count, 256);
    EXPECT_EQ(c->syntax_error, 0);
    EXPECT_EQ(shader_add_constant(c, dup("V"), 2), 0);
    EXPECT_EQ(c->const_register_count, 256);
    EXPECT_EQ(c->syntax_error, 1);
    EXPECT_STREQ(c->capacity_error, "Too many constant registers");

    ShaderCompiler *d = shader_compiler_construct(new ShaderCompiler);
    EXPECT_EQ(shader_add_constant_array(d, 65, 1, dup("PALETTE")), 0); // 260 registers
    EXPECT_EQ(d->const_register_count, 0);
    EXPECT_EQ(shader_add_constant_array(d, 0, 1, dup("EMPTY")), 0);
    EXPECT_EQ(shader_add_constant(d, dup("T"), 0), 0);
    EXPECT_EQ(d->syntax_error, 1);
    for (int i = 0; i < 256; i++) ASSERT_EQ(shader_add_pixel_constant(d, dup("p")), 1);
    EXPECT_EQ(shader_add_pixel_matrix(d, dup("q")), 0);
    EXPECT_EQ(d->ps_const_count, 256);
    for (int i = 0; i < 16; i++) ASSERT_EQ(shader_add_texture(d, dup("t")), 1);
    EXPECT_EQ(shader_add_texture(d, dup("t17")), 0);
    EXPECT_EQ(d->texture_count, 16);
    for (int i = 0; i < 32; i++) ASSERT_EQ(shader_name_map_add(d, &d->register_map, "oPos", "oPos"), 1);
    EXPECT_EQ(shader_name_map_add(d, &d->register_map, "oD0", "oD0"), 0);
    EXPECT_EQ(d->register_map.count, 32);
    shader_free_tables(d);
    delete d;
}

TEST_F(SymbolTest, ExhaustedTemporariesAreAnError)
{
    // Vertex shader 1.1 has r0 to r11, of which r9 to r11 are the work registers.
    for (int n = 0; n < 9; n++) ASSERT_EQ(shader_alloc_temp(c), n);
    EXPECT_EQ(c->syntax_error, 0);
    EXPECT_EQ(shader_alloc_scratch_temp(c), -1);
    EXPECT_EQ(c->syntax_error, 1);
    EXPECT_STREQ(c->capacity_error, "Too many temporary registers in use");

    // In HLSL all 32 are there; with r31 reserved for a parameter, r0 to r28 are left.
    shader_clear_locals(c);
    c->hlsl_mode = 1;
    shader_set_work_registers(true);
    c->temp_scratch[28] = SHADER_TEMP_RESERVED;
    for (int n = 0; n < 28; n++) ASSERT_EQ(shader_alloc_temp(c), n);
    EXPECT_EQ(shader_alloc_temp(c), -1);
    EXPECT_EQ(shader_alloc_scratch_temp(c), -1);
    EXPECT_EQ(c->temp_scratch[28], SHADER_TEMP_RESERVED);
    shader_set_work_registers(false);

    // Pixel shader 1.4 has r0 to r5.
    shader_clear_locals(c);
    c->hlsl_mode = 0;
    c->pixel_side = 1;
    for (int n = 0; n < 6; n++) ASSERT_EQ(shader_alloc_temp(c), n);
    EXPECT_EQ(shader_alloc_temp(c), -1);
}

} // namespace
