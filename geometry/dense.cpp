// Dense matrices for the joint solver.
#include "geometry/dense.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// Largest element count accepted (keeps byte sizes and row x column products in range).
constexpr int64_t kMaxElements = int64_t(1) << 26;

float &at(DenseMatrix *m, int32_t r, int32_t c) { return m->data[size_t(r) * size_t(m->columns) + size_t(c)]; }
float at(const DenseMatrix *m, int32_t r, int32_t c) { return m->data[size_t(r) * size_t(m->columns) + size_t(c)]; }

DenseMatrix *new_matrix(int32_t rows, int32_t columns)
{
    DenseMatrix *m = new (std::nothrow) DenseMatrix{nullptr, 0, 0};
    if (!m) return nullptr;
    if (!matrix_resize_zero(m, rows, columns)) {
        matrix_delete(m);
        return nullptr;
    }
    return m;
}

// The three skew rows of an anchor, written into rows 0 to 2.
void write_skew_rows(DenseMatrix *m, float x, float y, float z, float s)
{
    at(m, 0, 1) = s * z;
    at(m, 0, 2) = -s * y;
    at(m, 0, 3) = s;
    at(m, 1, 0) = -s * z;
    at(m, 1, 2) = s * x;
    at(m, 1, 4) = s;
    at(m, 2, 0) = s * y;
    at(m, 2, 1) = -s * x;
    at(m, 2, 5) = s;
}

}  // namespace

int matrix_resize_zero(DenseMatrix *matrix, int32_t rows, int32_t columns)
{
    int64_t count = int64_t(rows) * int64_t(columns);
    if (rows < 0 || columns < 0 || count > kMaxElements) {
        matrix_free_data(matrix);
        return 0;
    }
    if (count != int64_t(matrix->rows) * int64_t(matrix->columns) || (count > 0 && !matrix->data)) {
        free(matrix->data);
        matrix->data = count > 0 ? static_cast<float *>(malloc(size_t(count) * sizeof(float))) : nullptr;
        if (count > 0 && !matrix->data) {
            matrix->rows = matrix->columns = 0;
            return 0;
        }
    }
    matrix->rows = rows;
    matrix->columns = columns;
    if (count > 0) memset(matrix->data, 0, size_t(count) * sizeof(float));
    return 1;
}

void matrix_copy_block(DenseMatrix *destination, int32_t row, int32_t column, const DenseMatrix *source)
{
    if (destination->rows <= 0 || destination->columns <= 0) return;
    for (int32_t r = 0; r < source->rows; r++) {
        int64_t dr = int64_t(row) + r;
        if (dr < 0 || dr >= destination->rows) continue;
        for (int32_t c = 0; c < source->columns; c++) {
            int64_t dc = int64_t(column) + c;
            if (dc < 0 || dc >= destination->columns) continue;
            at(destination, int32_t(dr), int32_t(dc)) = at(source, r, c);
        }
    }
}

DenseMatrix *matrix_transpose(const DenseMatrix *source)
{
    DenseMatrix *t = new_matrix(source->columns, source->rows);
    if (!t) return nullptr;
    for (int32_t r = 0; r < source->rows; r++)
        for (int32_t c = 0; c < source->columns; c++) at(t, c, r) = at(source, r, c);
    return t;
}

void matrix_set_skew_block(DenseMatrix *matrix, float x, float y, float z, float s)
{
    if (!matrix_resize_zero(matrix, 4, 6)) return;
    write_skew_rows(matrix, x, y, z, s);
    at(matrix, 3, 0) = x;
    at(matrix, 3, 1) = y;
    at(matrix, 3, 2) = z;
}

void matrix_set_rotation_block(DenseMatrix *matrix, float ax, float ay, float az, float ux, float uy, float uz,
                               float mx, float my, float mz, float s)
{
    if (!matrix_resize_zero(matrix, 5, 6)) return;
    write_skew_rows(matrix, ax, ay, az, s);
    // The x, y and z components of s (w x u) as rows over the angular columns.
    const float x_row[3] = {0.0f, s * uz, -s * uy};
    const float y_row[3] = {-s * uz, 0.0f, s * ux};
    const float z_row[3] = {s * uy, -s * ux, 0.0f};
    const float *row3;
    const float *row4;
    float amx = fabsf(mx), amy = fabsf(my), amz = fabsf(mz);
    if (amz > amx && amz > amy) {
        row3 = x_row;
        row4 = y_row;
    } else if (amy > amx && amy > amz) {
        row3 = x_row;
        row4 = z_row;
    } else {
        row3 = z_row;
        row4 = y_row;
    }
    for (int c = 0; c < 3; c++) {
        at(matrix, 3, c) = row3[c];
        at(matrix, 4, c) = row4[c];
    }
}

DenseMatrix *matrix_solve(const DenseMatrix *a, const DenseMatrix *b)
{
    int32_t n = a->rows;
    if (a->columns != n || b->rows != n || b->columns != 1) return nullptr;
    DenseMatrix work{nullptr, 0, 0};
    if (!matrix_resize_zero(&work, n, n + 1)) return nullptr;
    float largest = 0.0f;
    for (int32_t r = 0; r < n; r++) {
        for (int32_t c = 0; c < n; c++) {
            at(&work, r, c) = at(a, r, c);
            largest = fmaxf(largest, fabsf(at(a, r, c)));
        }
        at(&work, r, n) = at(b, r, 0);
    }
    // A pivot at rounding-noise level against the matrix's own scale means no unique solution.
    float tiny = largest * 1e-7f;
    for (int32_t col = 0; col < n; col++) {
        int32_t pivot = col;
        for (int32_t r = col + 1; r < n; r++)
            if (fabsf(at(&work, r, col)) > fabsf(at(&work, pivot, col))) pivot = r;
        if (!(fabsf(at(&work, pivot, col)) > tiny)) {
            matrix_free_data(&work);
            return nullptr;
        }
        if (pivot != col)
            for (int32_t c = 0; c <= n; c++) {
                float t = at(&work, col, c);
                at(&work, col, c) = at(&work, pivot, c);
                at(&work, pivot, c) = t;
            }
        for (int32_t r = col + 1; r < n; r++) {
            float f = at(&work, r, col) / at(&work, col, col);
            for (int32_t c = col; c <= n; c++) at(&work, r, c) -= f * at(&work, col, c);
        }
    }
    DenseMatrix *x = new_matrix(n, 1);
    if (x) {
        for (int32_t r = n - 1; r >= 0; r--) {
            float sum = at(&work, r, n);
            for (int32_t c = r + 1; c < n; c++) sum -= at(&work, r, c) * at(x, c, 0);
            at(x, r, 0) = sum / at(&work, r, r);
        }
    }
    matrix_free_data(&work);
    return x;
}

void matrix_free_data(DenseMatrix *matrix)
{
    free(matrix->data);
    matrix->data = nullptr;
    matrix->rows = matrix->columns = 0;
}

void matrix_delete(DenseMatrix *matrix)
{
    if (!matrix) return;
    matrix_free_data(matrix);
    delete matrix;
}
