// The compiler object, its containers, the shared capacity check and recorded constant operations.
#include "tests/shader/shader_test_util.h"

namespace {

using Lines = std::vector<std::string>;

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
