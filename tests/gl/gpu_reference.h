// A CPU reference of what the graphics device draws, without OpenGL, for differential tests: the
// fixed-function texture stages, point-sampled textures from the front's levels, and a rasteriser
// of screen-aligned points and rectangles with w = 1 (attributes affine across the rectangle, so
// interpolation at pixel centres is exact).
#pragma once

#include "platform/gpu/gpu_effect_local.h"
#include "platform/gpu/gpu_local.h"

#include <vector>

struct RefColour {
    float r, g, b, a;
};

// A D3DCOLOR as four floats 0..1.
RefColour ref_colour(D3DCOLOR colour);
// Rounded to bytes, as the back buffer holds it (alpha dropped: X8R8G8B8).
uint32_t ref_pack(const RefColour &c);

// One texel of a texture level, decoded as the device reads its format (X formats alpha 1).
RefColour ref_texel(const GpuTexture *texture, UINT level, UINT x, UINT y);
// Point sampling at (u, v) of a level with WRAP or CLAMP addressing. `near_edge` (may be null)
// is set when the sample lies within `margin` texels of a texel boundary, where the device may
// pick the neighbour.
RefColour ref_sample(const GpuTexture *texture, UINT level, float u, float v, DWORD address_u, DWORD address_v,
                     float margin, bool *near_edge);

// The texture stages of a draw without a pixel program: stage states as the device holds them,
// the interpolated colours, and each stage's texture sample (white where none is bound).
RefColour ref_stages(const DWORD (*stage)[GPU_STAGE_STATES], const RefColour &diffuse, const RefColour &specular,
                     const RefColour *textures);

// The registers of an assembler program as the reference runs it (vertex inputs, or a pixel
// program's colours v0/v1 and coordinates t#).
struct RefMachine {
    float c[256][4];
    float v[16][4];
    float t[8][4];
    float r[32][4];
    int a0[4];
    float o_pos[4], o_d[2][4], o_t[8][4], o_c[4], o_depth;
};
// Texture sample of a stage at a coordinate (point-sampled by the caller).
typedef RefColour (*RefSampler)(int stage, const float *coord, void *user);
// Runs a program's instructions with the semantics of the OpenGL translation: def constants over
// `c`, relative reads 0 outside, shift then saturate then mask, pixel shader 1.4 ranges, the
// alpha of temporaries 0 after phase, subroutines. Outputs start as the device leaves unwritten
// ones: oPos (0,0,0,1), oD0 1, oD1 0, oT# (0,0,0,1). A pixel shader 1.4 result is r0 saturated,
// left in o_c.
void ref_run(const GpuProgram &program, RefMachine *m, RefSampler sampler, void *user);

// What a pixel shader sees at one pixel centre.
struct RefFragment {
    RefColour diffuse, specular;
    float texcoord[8][4];
};

struct RefImage {
    int width, height;
    std::vector<uint32_t> pixels;  // X8R8G8B8, alpha 0
    std::vector<uint8_t> skip;     // 1 where a comparison would be unfair (edges)
};
void ref_image_init(RefImage *image, int width, int height, uint32_t clear);

// The corners of a rectangle: attributes at the top-left, top-right and bottom-left corners; the
// bottom-right is their affine completion (tr + bl - tl), as the caller must draw it.
struct RefRect {
    float x0, y0, x1, y1;
    RefFragment top_left, top_right, bottom_left;
};
// Shades every pixel whose centre lies inside the rectangle; pixels within one pixel of its edge
// are marked to skip. The shader returns false to mark the pixel to skip (e.g. near a texel edge).
// A point of size 1 at (x, y): the pixel whose square holds it.
void ref_draw_point(RefImage *image, float x, float y, const RefColour &colour);
typedef bool (*RefShader)(const RefFragment &fragment, void *user, RefColour *out);
void ref_draw_rect(RefImage *image, const RefRect &rect, RefShader shader, void *user);
