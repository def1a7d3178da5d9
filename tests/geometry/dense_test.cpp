// Dense matrices of the joint solver: blocks, transpose and the solver with its refusals.
#include "geometry/dense.h"

#include <gtest/gtest.h>

#include <random>

namespace {

float at(const DenseMatrix *m, int r, int c) { return m->data[r * m->columns + c]; }

TEST(DenseMatrix, SolveRandomSystems)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<float> u(-1, 1);
    for (int n : {1, 2, 6, 12}) {
        DenseMatrix a{nullptr, 0, 0}, b{nullptr, 0, 0};
        ASSERT_EQ(matrix_resize_zero(&a, n, n), 1);
        ASSERT_EQ(matrix_resize_zero(&b, n, 1), 1);
        for (int r = 0; r < n; r++) {
            for (int c = 0; c < n; c++) a.data[r * n + c] = u(random);
            a.data[r * n + r] += 4.0f;  // well conditioned
            b.data[r] = u(random);
        }
        if (n > 1) a.data[0] = 0.0f;  // row exchanges are needed
        DenseMatrix *x = matrix_solve(&a, &b);
        ASSERT_NE(x, nullptr);
        EXPECT_EQ(x->rows, n);
        EXPECT_EQ(x->columns, 1);
        for (int r = 0; r < n; r++) {
            float sum = 0.0f;
            for (int c = 0; c < n; c++) sum += at(&a, r, c) * x->data[c];
            EXPECT_NEAR(sum, b.data[r], 1e-5f);
        }
        matrix_delete(x);
        matrix_free_data(&a);
        matrix_free_data(&b);
    }
}

TEST(DenseMatrix, SolveRefusesSingularAndMismatchedSystems)
{
    DenseMatrix a{nullptr, 0, 0}, b{nullptr, 0, 0};
    matrix_resize_zero(&a, 3, 3);
    matrix_resize_zero(&b, 3, 1);
    const float rows[9] = {1, 2, 3, 2, 4, 6, 0, 1, 1};  // row 1 = 2 x row 0
    for (int i = 0; i < 9; i++) a.data[i] = rows[i];
    EXPECT_EQ(matrix_solve(&a, &b), nullptr);
    matrix_resize_zero(&a, 3, 3);  // all zero
    EXPECT_EQ(matrix_solve(&a, &b), nullptr);
    matrix_resize_zero(&a, 3, 2);
    EXPECT_EQ(matrix_solve(&a, &b), nullptr);
    matrix_resize_zero(&a, 3, 3);
    matrix_resize_zero(&b, 3, 2);
    EXPECT_EQ(matrix_solve(&a, &b), nullptr);
    matrix_resize_zero(&b, 2, 1);
    EXPECT_EQ(matrix_solve(&a, &b), nullptr);
    matrix_free_data(&a);
    matrix_free_data(&b);
}

TEST(DenseMatrix, SkewAndRotationBlocks)
{
    DenseMatrix m{nullptr, 0, 0};
    matrix_set_skew_block(&m, 1, 2, 3, 2);
    ASSERT_EQ(m.rows, 4);
    ASSERT_EQ(m.columns, 6);
    const float skew[24] = {0, 6, -4, 2, 0, 0, -6, 0, 2, 0, 2, 0, 4, -2, 0, 0, 0, 2, 1, 2, 3, 0, 0, 0};
    for (int i = 0; i < 24; i++) EXPECT_EQ(m.data[i], skew[i]) << i;

    // Selector z largest: x then y components of s (w x u); u = (1, 2, 3), s = 2.
    matrix_set_rotation_block(&m, 1, 2, 3, 1, 2, 3, 0, 0, 5, 2);
    ASSERT_EQ(m.rows, 5);
    for (int i = 0; i < 18; i++) EXPECT_EQ(m.data[i], skew[i]) << i;
    const float xy[12] = {0, 6, -4, 0, 0, 0, -6, 0, 2, 0, 0, 0};
    for (int i = 0; i < 12; i++) EXPECT_EQ(m.data[18 + i], xy[i]) << i;
    // Selector y largest: x then z.
    matrix_set_rotation_block(&m, 0, 0, 0, 1, 2, 3, 0, -5, 1, 2);
    const float xz[12] = {0, 6, -4, 0, 0, 0, 4, -2, 0, 0, 0, 0};
    for (int i = 0; i < 12; i++) EXPECT_EQ(m.data[18 + i], xz[i]) << i;
    // Ties go to z then y.
    matrix_set_rotation_block(&m, 0, 0, 0, 1, 2, 3, 1, 1, 1, 2);
    const float zy[12] = {4, -2, 0, 0, 0, 0, -6, 0, 2, 0, 0, 0};
    for (int i = 0; i < 12; i++) EXPECT_EQ(m.data[18 + i], zy[i]) << i;
    matrix_free_data(&m);
}

TEST(DenseMatrix, CopyBlockClipsAndTransposeSwaps)
{
    DenseMatrix big{nullptr, 0, 0}, small{nullptr, 0, 0};
    matrix_resize_zero(&big, 3, 4);
    matrix_resize_zero(&small, 2, 2);
    for (int i = 0; i < 4; i++) small.data[i] = float(i + 1);
    matrix_copy_block(&big, 1, 2, &small);
    EXPECT_EQ(at(&big, 1, 2), 1.0f);
    EXPECT_EQ(at(&big, 2, 3), 4.0f);
    // Partly outside: only the part inside is written, nothing past the data.
    matrix_copy_block(&big, 2, 3, &small);
    EXPECT_EQ(at(&big, 2, 3), 1.0f);
    matrix_copy_block(&big, -1, -1, &small);
    EXPECT_EQ(at(&big, 0, 0), 4.0f);
    DenseMatrix empty{nullptr, 0, 0};
    matrix_copy_block(&empty, 0, 0, &small);

    DenseMatrix *t = matrix_transpose(&big);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->rows, 4);
    EXPECT_EQ(t->columns, 3);
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 4; c++) EXPECT_EQ(at(t, c, r), at(&big, r, c));
    matrix_delete(t);

    // Resizing to the same element count keeps the buffer and zeroes it.
    float *before = big.data;
    ASSERT_EQ(matrix_resize_zero(&big, 4, 3), 1);
    EXPECT_EQ(big.data, before);
    EXPECT_EQ(at(&big, 0, 0), 0.0f);
    EXPECT_EQ(matrix_resize_zero(&big, -1, 3), 0);
    EXPECT_EQ(big.data, nullptr);
    matrix_free_data(&small);
}

}  // namespace
