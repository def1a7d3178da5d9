// Vectors, 4x4 matrices and quaternions.
#include "geometry/vecmath.h"

#include <cmath>
#include <cstring>

float g_up_vector[3] = {0.0f, -1.0f, 0.0f};
float g_bsp_epsilon = 1e-5f;
float g_weld_epsilon = 0.001f;
float g_clip_epsilon = 0.01f;

namespace {

// m := m x t, with t a 4x4 built by the caller.
float *multiply_right(float *m, const float *t) { return render_mat4_multiply(m, m, t); }

// Rotation about one axis by `radians` as a row-vector matrix; axis 0, 1 or 2.
void axis_rotation(float *out, int axis, float radians)
{
    float c = cosf(radians);
    float s = sinf(radians);
    mat4_identity(out);
    int i = (axis + 1) % 3;
    int j = (axis + 2) % 3;
    out[i * 4 + i] = c;
    out[i * 4 + j] = s;
    out[j * 4 + i] = -s;
    out[j * 4 + j] = c;
}

// Gauss-Jordan inverse in double; the determinant as a by-product. 0 when singular.
int invert(const float *source, float *destination, double *determinant)
{
    double a[4][8];
    double largest = 0.0;
    for (int r = 0; r < 4; r++) {
        for (int c = 0; c < 4; c++) {
            a[r][c] = source[r * 4 + c];
            a[r][c + 4] = r == c ? 1.0 : 0.0;
            largest = fmax(largest, fabs(a[r][c]));
        }
    }
    double det = 1.0;
    // A pivot this small against the matrix's own scale means the rows are dependent.
    double tiny = largest * 1e-7;
    for (int col = 0; col < 4; col++) {
        int pivot = col;
        for (int r = col + 1; r < 4; r++)
            if (fabs(a[r][col]) > fabs(a[pivot][col])) pivot = r;
        if (!(fabs(a[pivot][col]) > tiny)) return 0;
        if (pivot != col) {
            for (int c = 0; c < 8; c++) {
                double t = a[col][c];
                a[col][c] = a[pivot][c];
                a[pivot][c] = t;
            }
            det = -det;
        }
        double p = a[col][col];
        det *= p;
        for (int c = 0; c < 8; c++) a[col][c] /= p;
        for (int r = 0; r < 4; r++) {
            if (r == col || a[r][col] == 0.0) continue;
            double f = a[r][col];
            for (int c = 0; c < 8; c++) a[r][c] -= f * a[col][c];
        }
    }
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++) destination[r * 4 + c] = float(a[r][c + 4]);
    if (determinant) *determinant = det;
    return 1;
}

}  // namespace

float *vec3_normalize(float *v)
{
    float length = vec3_length(v);
    if (length > 0.0f) {
        v[0] /= length;
        v[1] /= length;
        v[2] /= length;
    }
    return v;
}

void vec3_perpendicular_unit(float *out, float x, float y, float z, int32_t flag)
{
    float d[3] = {x, y, z};
    vec3_normalize(d);
    static const float reference[3] = {0.0f, -1.0f, 0.0f};
    float along = vec3_dot(d, reference);
    float p[3];
    if (fabsf(along) > 1.0f - 0.00001f) {
        vec3_set(p, 1.0f, 0.0f, 0.0f);
    } else {
        vec3_set(p, reference[0] - along * d[0], reference[1] - along * d[1], reference[2] - along * d[2]);
        vec3_normalize(p);
    }
    if (flag == 1) {
        vec3_cross(p, d, p);
        vec3_normalize(p);
    }
    vec3_set(out, p[0], p[1], p[2]);
}

void mat4_orient_to_direction(float *out, const float *direction, int32_t selector)
{
    vec3_perpendicular_unit(out, direction[0], direction[1], direction[2], selector);
}

float *mat4_identity(float *m)
{
    for (int i = 0; i < 16; i++) m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
    return m;
}

float *mat4_copy(float *out, const float *m)
{
    if (out != m) memmove(out, m, 16 * sizeof(float));
    return out;
}

float *render_mat4_multiply(float *out, const float *a, const float *b)
{
    float r[16];
    for (int row = 0; row < 4; row++) {
        for (int col = 0; col < 4; col++) {
            float sum = 0.0f;
            for (int k = 0; k < 4; k++) sum += a[row * 4 + k] * b[k * 4 + col];
            r[row * 4 + col] = sum;
        }
    }
    memcpy(out, r, sizeof r);
    return out;
}

int mat4_invert(const float *source, float *destination)
{
    float result[16];
    if (!invert(source, result, nullptr)) return 0;
    memcpy(destination, result, sizeof result);
    return 1;
}

float *mat4_translate(float *m, float x, float y, float z)
{
    float t[16];
    mat4_identity(t);
    t[12] = x;
    t[13] = y;
    t[14] = z;
    return multiply_right(m, t);
}

float *mat4_scale(float *m, float x, float y, float z)
{
    float t[16];
    mat4_identity(t);
    t[0] = x;
    t[5] = y;
    t[10] = z;
    return multiply_right(m, t);
}

float *mat4_rotate_euler_deg(float *m, float x, float y, float z)
{
    float t[16];
    axis_rotation(t, 0, x * kDegToRad);
    multiply_right(m, t);
    axis_rotation(t, 1, y * kDegToRad);
    multiply_right(m, t);
    axis_rotation(t, 2, z * kDegToRad);
    return multiply_right(m, t);
}

float *mat4_rotate_quat(float *m, float w, float x, float y, float z)
{
    float t[16];
    mat4_identity(t);
    t[0] = 1.0f - 2.0f * (y * y + z * z);
    t[1] = 2.0f * (x * y + z * w);
    t[2] = 2.0f * (x * z - y * w);
    t[4] = 2.0f * (x * y - z * w);
    t[5] = 1.0f - 2.0f * (x * x + z * z);
    t[6] = 2.0f * (y * z + x * w);
    t[8] = 2.0f * (x * z + y * w);
    t[9] = 2.0f * (y * z - x * w);
    t[10] = 1.0f - 2.0f * (x * x + y * y);
    return multiply_right(m, t);
}

float *mat4_look_at(float *out, const float *eye, const float *target)
{
    float z[3], x[3], y[3];
    vec3_sub(z, target, eye);
    if (vec3_length(z) == 0.0f) vec3_set(z, 0.0f, 0.0f, 1.0f);
    vec3_normalize(z);
    vec3_cross(x, g_up_vector, z);
    if (vec3_length(x) < 1e-6f) {
        // Looking along the up vector: any side axis will do, as long as it is not NaN.
        vec3_perpendicular_unit(x, z[0], z[1], z[2], 0);
    }
    vec3_normalize(x);
    vec3_cross(y, z, x);
    mat4_identity(out);
    for (int i = 0; i < 3; i++) {
        out[i * 4 + 0] = x[i];
        out[i * 4 + 1] = y[i];
        out[i * 4 + 2] = z[i];
    }
    out[12] = -vec3_dot(x, eye);
    out[13] = -vec3_dot(y, eye);
    out[14] = -vec3_dot(z, eye);
    return out;
}

float *mat4_planar_shadow(float *out, float a, float b, float c, float d, float lx, float ly, float lz, float lw)
{
    const float plane[4] = {a, b, c, d};
    const float light[4] = {lx, ly, lz, lw};
    float dot = a * lx + b * ly + c * lz + d * lw;
    for (int r = 0; r < 4; r++)
        for (int col = 0; col < 4; col++) out[r * 4 + col] = (r == col ? dot : 0.0f) - plane[r] * light[col];
    return out;
}

float *mat4_transform_project(const float *m, float *point)
{
    float p[4];
    for (int c = 0; c < 4; c++) p[c] = point[0] * m[c] + point[1] * m[4 + c] + point[2] * m[8 + c] + m[12 + c];
    if (p[3] != 0.0f) {
        p[0] /= p[3];
        p[1] /= p[3];
        p[2] /= p[3];
    }
    return vec3_set(point, p[0], p[1], p[2]);
}

float *D3DXMatrixMultiply(float *out, const float *a, const float *b) { return render_mat4_multiply(out, a, b); }

float *D3DXMatrixInverse(float *out, float *determinant, const float *m)
{
    float result[16];
    double det = 0.0;
    if (!invert(m, result, &det)) return nullptr;
    memcpy(out, result, sizeof result);
    if (determinant) *determinant = float(det);
    return out;
}

float *quat_multiply(float *out, const float *a, const float *b)
{
    float r[4];
    r[0] = a[0] * b[0] - (a[1] * b[1] + a[2] * b[2] + a[3] * b[3]);
    r[1] = a[2] * b[3] - a[3] * b[2] + a[0] * b[1] + a[1] * b[0];
    r[2] = a[3] * b[1] - a[1] * b[3] + a[0] * b[2] + a[2] * b[0];
    r[3] = a[1] * b[2] - a[2] * b[1] + a[0] * b[3] + a[3] * b[0];
    memcpy(out, r, sizeof r);
    return out;
}

void quat_slerp(float *destination, const float *first, const float *second, float t)
{
    float other[4] = {first[0], first[1], first[2], first[3]};
    float cosine = second[0] * other[0] + second[1] * other[1] + second[2] * other[2] + second[3] * other[3];
    if (cosine < 0.0f) {
        // q and -q are one rotation: turn the short way. Opposite quaternions become equal here.
        for (float &v : other) v = -v;
        cosine = -cosine;
    }
    float w_second = 1.0f - t;
    float w_first = t;
    if (1.0f - cosine > 1e-5f) {
        float theta = acosf(fminf(cosine, 1.0f));
        float s = sinf(theta);
        w_second = sinf((1.0f - t) * theta) / s;
        w_first = sinf(t * theta) / s;
    }
    float r[4];
    float length = 0.0f;
    for (int i = 0; i < 4; i++) {
        r[i] = w_second * second[i] + w_first * other[i];
        length += r[i] * r[i];
    }
    length = sqrtf(length);
    for (int i = 0; i < 4; i++) destination[i] = length > 0.0f ? r[i] / length : second[i];
}
