// Symbol tables: registers by slot, last declaration wins, bounded tables, temporaries.
#include "tests/shader/shader_test_util.h"

namespace {

using SymbolTest = CompilerTest;

TEST_F(SymbolTest, ConstantsTakeRegistersBySlot)
{
    ASSERT_EQ(shader_add_constant(c, dup("M"), 1), 1);
    ASSERT_EQ(shader_add_constant(c, dup("V"), 2), 1);
    EXPECT_EQ(c->const_register_count, 5);
    for (int slot = 1; slot <= 3; slot++) EXPECT_EQ(c->const_names[slot], nullptr);
    EXPECT_EQ(c->const_types[0], 1u);

    EXPECT_STREQ(shader_find_constant(c, "V"), "V");
    EXPECT_EQ(c->last_found_index, 4);
    EXPECT_EQ(c->last_found_registers, 1);
    EXPECT_STREQ(shader_find_constant(c, "M"), "M");
    EXPECT_EQ(c->last_found_index, 0);
    EXPECT_EQ(c->last_found_registers, 4);

    // A miss leaves the last lookup's results; the setter then stores nothing.
    EXPECT_EQ(shader_find_constant(c, "m"), nullptr);
    EXPECT_EQ(c->last_found_index, 0);
    EXPECT_EQ(shader_set_constant_text(c, "missing", dup("1,2,3,4")), 0);
    EXPECT_EQ(c->const_texts[0], nullptr);
}

TEST_F(SymbolTest, ArraysAndRedeclarations)
{
    shader_add_constant(c, dup("W"), 3);
    ASSERT_EQ(shader_add_constant_array(c, 48, 1, dup("PALETTE")), 1);
    EXPECT_EQ(c->const_types[1], (48u << 16) + 1);
    EXPECT_EQ(c->const_register_count, 193);
    shader_find_constant(c, "PALETTE");
    EXPECT_EQ(c->last_found_index, 1);
    EXPECT_EQ(c->last_found_registers, 4);

    shader_add_constant(c, dup("W"), 2);
    shader_find_constant(c, "W");
    EXPECT_EQ(c->last_found_index, 193);
    EXPECT_EQ(shader_set_constant_text(c, "W", dup("a")), 193);
    EXPECT_EQ(shader_set_constant_text(c, "W", dup("b")), 193); // the older text is freed
    EXPECT_STREQ(c->const_texts[193], "b");
}

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

TEST_F(SymbolTest, NameMapsLastEntryWinsAndHlslFunctionsUseArguments)
{
    shader_name_map_add(c, &c->input_map, "iPos", "v0");
    shader_name_map_add(c, &c->input_map, "iPos", "i.v0");
    EXPECT_STREQ(shader_find_input_name(c, "iPos")->to, "i.v0");
    EXPECT_EQ(shader_find_input_name(c, "ipos"), nullptr);

    shader_name_map_add(c, &c->register_map, "Diffuse", "i.v0");
    shader_name_map_add(c, &c->pixel_argument_map, "Diffuse", "iv0");
    EXPECT_STREQ(shader_find_register_name(c, "Diffuse")->to, "i.v0");
    c->in_hlsl_function = 1;
    EXPECT_STREQ(shader_find_register_name(c, "Diffuse")->to, "i.v0"); // assembler mode
    c->hlsl_mode = 1;
    EXPECT_STREQ(shader_find_register_name(c, "Diffuse")->to, "iv0");
}

TEST_F(SymbolTest, TemporariesLowestFirst)
{
    EXPECT_EQ(shader_alloc_temp(c), 0);
    EXPECT_EQ(shader_alloc_scratch_temp(c), 1);
    EXPECT_EQ(shader_alloc_temp(c), 1); // held as scratch, not in use: a variable may take it
    EXPECT_EQ(shader_alloc_scratch_temp(c), 2);
    c->temp_scratch[3] = SHADER_TEMP_RESERVED;
    EXPECT_EQ(shader_alloc_scratch_temp(c), 4);
    EXPECT_EQ(shader_alloc_temp(c), 2);
    EXPECT_EQ(shader_alloc_temp(c), 4);
    EXPECT_EQ(shader_alloc_temp(c), 5);

    // Scratch temporaries live for one statement; reserved and in-use marks stay.
    c->variable_count = 7;
    shader_release_scratch_temps(c);
    EXPECT_EQ(c->statement_variable_mark, 7);
    EXPECT_EQ(c->temp_scratch[1], 0);
    EXPECT_EQ(c->temp_scratch[4], 0);
    EXPECT_EQ(c->temp_scratch[3], SHADER_TEMP_RESERVED);
    EXPECT_EQ(c->temp_in_use[4], 1);
    EXPECT_EQ(shader_alloc_scratch_temp(c), 6);

    // Variables and temporaries end with their section.
    ShaderSymbol symbol = {};
    shader_symbol_list_append(&c->variables, symbol, "x");
    shader_clear_locals(c);
    EXPECT_EQ(c->variables.count, 0);
    EXPECT_EQ(c->variable_count, 0);
    EXPECT_EQ(c->temp_scratch[3], 0);
    EXPECT_EQ(shader_alloc_temp(c), 0);
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
