// Vectors, 4x4 matrices and quaternions.
//
// Matrices are 16 floats, row-major, row-vector convention: a point p maps to p x M, the
// translation sits in elements 12 to 14, and M1 x M2 applies M1 first. The in-place operations
// (mat4_translate, mat4_scale, mat4_rotate_*) multiply m on the right, m := m x T, so a sequence of
// calls applies its transforms in call order. Angles are in degrees. Quaternions are 4 floats,
// scalar first (w, x, y, z).
#pragma once

#include <cstdint>

// Degrees to radians as the engine has always converted them.
constexpr float kDegToRad = 3.14159265358979f * 0.0055555557f;

// The up direction of mat4_look_at; the game sets (0, -1, 0) (its y axis points down).
extern float g_up_vector[3];

// Geometric tolerances: plane-side tests (1e-5), coplanarity and welding (0.001), clipping (0.01).
extern float g_bsp_epsilon;
extern float g_weld_epsilon;
extern float g_clip_epsilon;

// ---- vectors (3 floats) -----------------------------------------------------------------------

inline float vec3_dot(const float *a, const float *b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

inline float *vec3_set(float *out, float x, float y, float z)
{
    out[0] = x;
    out[1] = y;
    out[2] = z;
    return out;
}

inline float *vec3_sub(float *out, const float *a, const float *b)
{
    return vec3_set(out, a[0] - b[0], a[1] - b[1], a[2] - b[2]);
}

inline float *vec3_add(float *out, const float *a, const float *b)
{
    return vec3_set(out, a[0] + b[0], a[1] + b[1], a[2] + b[2]);
}

inline float *vec3_scale(float *out, const float *a, float s) { return vec3_set(out, a[0] * s, a[1] * s, a[2] * s); }

// out = a x b; out may alias a or b.
inline float *vec3_cross(float *out, const float *a, const float *b)
{
    return vec3_set(out, a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]);
}

inline float vec3_length(const float *v) { return __builtin_sqrtf(vec3_dot(v, v)); }
// Normalises v in place; a zero vector stays zero. Returns v.
float *vec3_normalize(float *v);

// One unit vector perpendicular to the direction (x, y, z) (normalised first when not zero).
// Flag 0: the part of (0, -1, 0) perpendicular to the direction, or (1, 0, 0) when the direction
// lies within 0.00001 of the y axis. Flag 1: direction x (the flag-0 vector). Together with the
// direction they form an orthonormal frame.
void vec3_perpendicular_unit(float *out, float x, float y, float z, int32_t flag);

// The same operation for callers holding a direction array: writes 3 floats (the first row of a
// rotation whose other rows are the direction and the other perpendicular).
void mat4_orient_to_direction(float *out, const float *direction, int32_t selector);

// ---- 4x4 matrices -----------------------------------------------------------------------------

float *mat4_identity(float *m);
float *mat4_copy(float *out, const float *m);

// out = a x b (out[r][c] = sum over k of a[r][k] x b[k][c]); out may alias a or b. Returns out.
float *render_mat4_multiply(float *out, const float *a, const float *b);

// Inverse by Gauss-Jordan elimination with partial pivoting. Returns 1, or 0 for a singular
// matrix, in which case destination is left as it was.
int mat4_invert(const float *source, float *destination);

// m := m x translation / scaling / rotation. Each returns m.
float *mat4_translate(float *m, float x, float y, float z);
float *mat4_scale(float *m, float x, float y, float z);
// Euler angles in degrees; the point turns about x first, then y, then z: m := m x Rx x Ry x Rz.
// A positive angle turns the next axis toward the one after it (x toward y about z).
float *mat4_rotate_euler_deg(float *m, float x, float y, float z);
// The rotation of the unit quaternion (w, x, y, z); agrees with mat4_rotate_euler_deg for one axis.
float *mat4_rotate_quat(float *m, float w, float x, float y, float z);
inline float *mat4_rotate_quat(float *m, const float *q) { return mat4_rotate_quat(m, q[0], q[1], q[2], q[3]); }

// View matrix from eye toward the target point with g_up_vector as up (left-handed: the view
// direction becomes +z). A caller holding a direction passes eye + direction.
float *mat4_look_at(float *out, const float *eye, const float *target);

// The planar projection matrix dot(plane, light) x I - light x plane (row vectors: point x M, then
// divide by w, lands on the plane a x + b y + c z + d = 0). w = 0 gives a directional light.
float *mat4_planar_shadow(float *out, float a, float b, float c, float d, float lx, float ly, float lz, float lw);

// point := (point, 1) x m divided by w (not divided when w is 0). Returns point.
float *mat4_transform_project(const float *m, float *point);
// out := (p, 1) x m, w dropped; out may alias p.
inline float *mat4_transform_point(float *out, const float *m, const float *p)
{
    return vec3_set(out, p[0] * m[0] + p[1] * m[4] + p[2] * m[8] + m[12],
                    p[0] * m[1] + p[1] * m[5] + p[2] * m[9] + m[13], p[0] * m[2] + p[1] * m[6] + p[2] * m[10] + m[14]);
}
// out := (v, 0) x m, the rotation and scaling only; out may alias v.
inline float *mat4_transform_vector(float *out, const float *m, const float *v)
{
    return vec3_set(out, v[0] * m[0] + v[1] * m[4] + v[2] * m[8], v[0] * m[1] + v[1] * m[5] + v[2] * m[9],
                    v[0] * m[2] + v[1] * m[6] + v[2] * m[10]);
}

// The two D3DX matrix calls the renderer makes, on 16-float arrays.
float *D3DXMatrixMultiply(float *out, const float *a, const float *b);
// Null when m is singular; *determinant (when not null) receives the determinant.
float *D3DXMatrixInverse(float *out, float *determinant, const float *m);

// ---- quaternions (w, x, y, z) -----------------------------------------------------------------

// Hamilton product out = a b; out may alias a or b. Returns out.
float *quat_multiply(float *out, const float *a, const float *b);
// Spherical interpolation, normalised: `second` at t = 0, `first` at t = 1. Takes the short way
// round (q and -q are one rotation); plain linear weights when the two are within 1e-5 of equal.
void quat_slerp(float *destination, const float *first, const float *second, float t);
