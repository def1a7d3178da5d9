// Dense row-major float matrices of any size, for the joint solver. The data is malloc'd; headers
// returned by matrix_transpose and matrix_solve are new'd and released with matrix_delete.
#pragma once

#include <cstdint>

struct DenseMatrix {
    float *data;  // rows x columns, row-major
    int32_t rows;
    int32_t columns;
};

// Sizes the matrix (reallocating only when the element count changes) and zeroes every element.
// Returns 1, or 0 for a negative or too large size or without memory (the matrix is then 0 x 0).
int matrix_resize_zero(DenseMatrix *matrix, int32_t rows, int32_t columns);
// Copies the source into the destination from (row, column); the part falling outside the
// destination is left out. Nothing happens when the destination has no rows or no columns.
void matrix_copy_block(DenseMatrix *destination, int32_t row, int32_t column, const DenseMatrix *source);
// A new matrix holding the transpose; null without memory.
DenseMatrix *matrix_transpose(const DenseMatrix *source);
// 4 x 6: rows (0, s z, -s y, s, 0, 0), (-s z, 0, s x, 0, s, 0), (s y, -s x, 0, 0, 0, s), (x, y, z, 0, 0, 0).
void matrix_set_skew_block(DenseMatrix *matrix, float x, float y, float z, float s);
// 5 x 6: rows 0 to 2 as matrix_set_skew_block for the anchor, rows 3 and 4 two components of
// s (w x u) in the angular columns, chosen by the selector's largest component (see dense.cpp).
void matrix_set_rotation_block(DenseMatrix *matrix, float ax, float ay, float az, float ux, float uy, float uz,
                               float mx, float my, float mz, float s);
// A new n x 1 matrix x with A x = b, by Gaussian elimination with partial pivoting; null when A is
// not square, b is not n x 1, A is singular (no usable pivot) or memory runs out.
DenseMatrix *matrix_solve(const DenseMatrix *a, const DenseMatrix *b);

// Frees the data; the matrix becomes 0 x 0.
void matrix_free_data(DenseMatrix *matrix);
// Frees the data and deletes a header made by matrix_transpose or matrix_solve. Null does nothing.
void matrix_delete(DenseMatrix *matrix);
