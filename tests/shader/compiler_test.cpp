// The compiler object, its containers, the shared capacity check and recorded constant operations.
#include "tests/shader/shader_test_util.h"

namespace {

using Lines = std::vector<std::string>;

TEST_F(CompilerTest, ConstructedEmpty)
{
    EXPECT_EQ(c->effect_flags, 1u);
    EXPECT_EQ(c->first_symbol.kind, 1u);
    EXPECT_STREQ(c->first_symbol.name, "");
    EXPECT_EQ(c->effect_lines.first, nullptr);
    EXPECT_EQ(c->effect_lines.cursor_index, -1);
    EXPECT_EQ(c->pass_state_lines[7].cursor_index, -1);
    EXPECT_EQ(c->variables.count, 0);
    EXPECT_EQ(c->const_register_count, 0);
    EXPECT_EQ(c->ps_const_count, 0);
    EXPECT_EQ(c->texture_count, 0);
    EXPECT_EQ(c->syntax_error, 0);
    EXPECT_EQ(c->modifier_error, 0);
    EXPECT_STREQ(c->capacity_error, "");
    EXPECT_EQ(c->vertex_functions[63].name[0], 0);
    EXPECT_EQ(c->pass_const_blocks[7], nullptr);
    for (const ShaderStateBlock &block : c->render_states) {
        EXPECT_EQ(block.words[0], SHADER_RS_UNDEFINED);
        EXPECT_EQ(block.words[82], SHADER_RS_UNDEFINED);
        EXPECT_EQ(block.stage_textures[15], nullptr);
    }
}

TEST(ShaderPassBlock, ConstructedWithIdentityMatrices)
{
    PassConstBlock *block = new PassConstBlock;
    memset(block, 0x5A, sizeof *block);
    shader_pass_block_construct(block);
    EXPECT_EQ(block->op_count, 0u);
    EXPECT_EQ(block->valid[255], 0);
    EXPECT_EQ(block->work_arrays[4], nullptr);
    for (int m : {0, 255}) {
        for (int i = 0; i < 16; i++) EXPECT_EQ(block->matrices[m][i], i % 5 == 0 ? 1.0f : 0.0f);
    }
    delete block;
}

TEST(ShaderSymbolNode, InitKeepsNameWhenNoneGiven)
{
    ShaderSymbol symbol = {};
    shader_init_symbol_node(&symbol, 2, "r7");
    EXPECT_EQ(symbol.kind, 2u);
    EXPECT_STREQ(symbol.name, "r7");
    shader_init_symbol_node(&symbol, 1, nullptr);
    EXPECT_STREQ(symbol.name, "r7");
    shader_init_symbol_node(&symbol, 1, std::string(300, 'n').c_str());
    EXPECT_EQ(strlen(symbol.name), 128u);
}

TEST(ShaderLineList, AppendPrependAndCursor)
{
    TextLineList list;
    shader_line_list_append(&list, "b");
    shader_line_list_append(&list, "c");
    shader_line_list_prepend(&list, "a");
    EXPECT_EQ(lines_of(list), (Lines{"a", "b", "c"}));
    EXPECT_EQ(list.count, 3);
    EXPECT_EQ(list.last->prev->prev, list.first);

    list_at(&list, 1);
    EXPECT_EQ(list.cursor_index, 1);
    shader_line_list_append(&list, std::string(600, 'x').c_str());
    EXPECT_EQ(list.cursor_index, -1);
    EXPECT_EQ(strlen(list.last->text), 511u);

    shader_line_list_free(&list);
    EXPECT_EQ(list.first, nullptr);
    EXPECT_EQ(list.last, nullptr);
    EXPECT_EQ(list.count, 0);
    EXPECT_EQ(list.cursor_index, -1);
}

TEST(ShaderSymbolList, FindsFirstExactName)
{
    ShaderSymbolList list;
    EXPECT_EQ(shader_symbol_list_find(&list, "x"), nullptr);
    ShaderSymbol symbol = {};
    shader_symbol_list_append(&list, *shader_init_symbol_node(&symbol, 1, "r0"), "x");
    shader_symbol_list_append(&list, *shader_init_symbol_node(&symbol, 1, "r1"), "x");
    shader_symbol_list_append(&list, *shader_init_symbol_node(&symbol, 2, "r2"), "xy");
    ASSERT_NE(shader_symbol_list_find(&list, "x"), nullptr);
    EXPECT_STREQ(shader_symbol_list_find(&list, "x")->symbol.name, "r0");
    EXPECT_EQ(shader_symbol_list_find(&list, "xy")->symbol.kind, 2u);
    EXPECT_EQ(shader_symbol_list_find(&list, "X"), nullptr);
    EXPECT_EQ(list.count, 3);
    shader_symbol_list_free(&list);
    EXPECT_EQ(list.count, 0);
    EXPECT_EQ(list.first, nullptr);
}

TEST(ShaderLabelList, AppendFindsOrAddsAndFreeReleasesTexts)
{
    ShaderLabelList list;
    ShaderLabel *x = shader_label_list_append(&list, "x");
    EXPECT_EQ(x->then_value, nullptr);
    EXPECT_EQ(x->break_word, nullptr);
    EXPECT_EQ(x->branch, 0u);
    shader_set_label_text_a(x, "1");
    shader_set_label_text_a(x, "2"); // replaces, the old text freed
    shader_set_label_text_b(x, "3");
    EXPECT_EQ(shader_label_list_append(&list, "x"), x);
    shader_label_list_append(&list, "y");
    EXPECT_EQ(list.count, 2);
    EXPECT_STREQ(list.first->then_value, "2");
    EXPECT_STREQ(list.first->else_value, "3");
    shader_label_list_free(&list);
    EXPECT_EQ(list.count, 0);
}

TEST_F(CompilerTest, MacroRecordsAppendInOrder)
{
    ShaderMacro record = {};
    strcpy(record.name, "M");
    shader_new_macro_record(&c->macros, record);
    strcpy(record.name, "N");
    shader_new_macro_record(&c->macros, record);
    EXPECT_EQ(c->macros.count, 2);
    EXPECT_STREQ(c->macros.first->value.name, "M");
    EXPECT_STREQ(c->macros.last->value.name, "N");
}

TEST_F(CompilerTest, CapacityCheckKeepsFirstMessageAndFailsTheCompile)
{
    EXPECT_EQ(shader_check_capacity(c, 3, 1, 4, "things"), 1);
    EXPECT_EQ(c->syntax_error, 0);
    EXPECT_EQ(shader_check_capacity(c, 4, 1, 4, "things"), 0);
    EXPECT_EQ(c->syntax_error, 1);
    EXPECT_STREQ(c->capacity_error, "Too many things");
    EXPECT_EQ(shader_check_capacity(c, -1, 1, 4, "others"), 0);
    EXPECT_EQ(shader_check_capacity(c, 0, -1, 4, "others"), 0);
    EXPECT_STREQ(c->capacity_error, "Too many things");
}

TEST_F(CompilerTest, FreeTablesReleasesEverything)
{
    shader_add_constant(c, dup("M"), 1);
    shader_set_constant_text(c, "M", dup("1,2,3,4"));
    shader_add_pixel_constant(c, dup("P"));
    shader_set_pixel_constant_text(c, "P", dup("0,0,0,0"));
    shader_add_texture(c, dup("tex"));
    c->string_slots[3] = dup("slot");
    ShaderSymbol symbol = {};
    shader_symbol_list_append(&c->variables, symbol, "v");
    shader_symbol_list_append(&c->call_variables, symbol, "w");
    shader_line_list_append(&c->effect_lines, "line");
    shader_line_list_append(&c->pixel_main_lines[7], "line");
    shader_new_macro_record(&c->macros, ShaderMacro{});
    shader_free_tables(c);
    EXPECT_EQ(c->const_names[0], nullptr);
    EXPECT_EQ(c->const_register_count, 0);
    EXPECT_EQ(c->ps_const_count, 0);
    EXPECT_EQ(c->texture_count, 0);
    EXPECT_EQ(c->macros.count, 0);
    EXPECT_EQ(c->pixel_main_lines[7].count, 0);
    EXPECT_EQ(c->string_slots[3], nullptr);
}

class ConstOpTest : public CompilerTest {
protected:
    PassConstBlock *block = shader_pass_block_construct(new PassConstBlock);

    void SetUp() override { c->current_const_block = block; }
    ~ConstOpTest() override { delete block; }

    void set(int slot, float x, float y, float z, float w)
    {
        float *v = shader_const_slot(block, slot);
        v[0] = x, v[1] = y, v[2] = z, v[3] = w;
    }
    void run_all()
    {
        for (uint32_t i = 0; i < block->op_count; i++) block->ops[i].routine(block, &block->ops[i]);
    }
    std::vector<float> value(int slot)
    {
        float *v = shader_const_slot(block, slot);
        return {v[0], v[1], v[2], v[3]};
    }
};

TEST_F(ConstOpTest, RecordsSlotsMasksAndRoutines)
{
    set(CONST_SLOT_CONSTANT + 1, 1, 2, 3, 4);
    set(CONST_SLOT_CONSTANT + 2, 10, 20, 30, 40);
    set(CONST_SLOT_TEMPORARY + 0, -1, -1, -1, -1);
    ASSERT_EQ(shader_record_const_op(c, 1, "r0.xy", "c1", "c2.w"), 1);
    ASSERT_EQ(shader_record_const_op(c, 2, "oPos", "-c1.wzyx", "c2"), 1);
    EXPECT_EQ(block->ops[0].dest, CONST_SLOT_TEMPORARY);
    EXPECT_EQ(block->ops[0].dest_mask, 0x3);
    EXPECT_EQ(block->ops[0].src2_swizzle, 0xFF);
    run_all();
    EXPECT_EQ(value(CONST_SLOT_TEMPORARY), (std::vector<float>{41, 42, -1, -1}));
    EXPECT_EQ(value(CONST_SLOT_REGISTER + 1), (std::vector<float>{-14, -23, -32, -41}));
}

TEST_F(ConstOpTest, MatrixProductAndRelativeSources)
{
    float *m = block->matrices[4];
    m[12] = 5, m[13] = 6, m[14] = 7; // translation row
    set(CONST_SLOT_CONSTANT + 9, 1, 2, 3, 1);
    set(CONST_SLOT_CONSTANT + 12, 9, 9, 9, 9);
    set(CONST_SLOT_REGISTER + 0, 3, 0, 0, 0); // a0.x = 3
    ASSERT_EQ(shader_record_const_op(c, 8, "r1", "c9", "c4"), 1);
    ASSERT_EQ(shader_record_const_op(c, 0, "r2", "c[9+a0.x]", nullptr), 1);
    run_all();
    EXPECT_EQ(value(CONST_SLOT_TEMPORARY + 1), (std::vector<float>{6, 8, 10, 1}));
    EXPECT_EQ(value(CONST_SLOT_TEMPORARY + 2), (std::vector<float>{9, 9, 9, 9}));
}

TEST_F(ConstOpTest, RefusesBadOperandsAndAFullBlock)
{
    EXPECT_EQ(shader_record_const_op(c, 0, "r12", "c1", nullptr), 0);
    EXPECT_EQ(shader_record_const_op(c, 0, "r0.q", "c1", nullptr), 0);
    EXPECT_EQ(shader_record_const_op(c, 0, "r0", "c[300]", nullptr), 0);
    EXPECT_EQ(shader_record_const_op(c, 8, "r0", "c1", "r2"), 0);
    EXPECT_EQ(c->syntax_error, 1);
    EXPECT_STREQ(c->capacity_error, "");
    EXPECT_EQ(block->op_count, 0u);

    for (int i = 0; i < CONST_OP_CAPACITY; i++) ASSERT_EQ(shader_record_const_op(c, 0, "r0", "c1", nullptr), 1);
    EXPECT_EQ(shader_record_const_op(c, 0, "r0", "c1", nullptr), 0);
    EXPECT_EQ(block->op_count, (uint32_t)CONST_OP_CAPACITY);
    EXPECT_STREQ(c->capacity_error, "Too many constant operations in one pass");

    c->current_const_block = nullptr;
    EXPECT_EQ(shader_record_const_op(c, 0, "r0", "c1", nullptr), 0);
}

} // namespace
