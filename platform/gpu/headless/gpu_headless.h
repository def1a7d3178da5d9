// Controls of the headless graphics back end, for tests: the caps and formats the device offers,
// failures to inject, device loss, and what the device recorded (draws, uploads, presents). The
// headless device keeps every resource in memory and draws nothing; Clear fills its back buffer.
#pragma once

#include "platform/gpu/gpu.h"

#include <vector>

#define GPU_RENDER_STATES 256
#define GPU_STAGES 8
#define GPU_STAGE_STATES 33
#define GPU_SAMPLERS 16
#define GPU_SAMPLER_STATES 14
#define GPU_VS_CONSTANTS 256
#define GPU_PS_CONSTANTS 32
#define GPU_LIGHTS 1024

// Byte written over memory locked with DISCARD, so that callers who read it show up.
#define GPU_HEADLESS_DISCARD_BYTE 0xCD
// Bytes added to every locked row of a texture or the back buffer.
#define GPU_HEADLESS_PITCH_PADDING 16

// One draw as the device saw it. Texture pointers are for identity only (no reference is held).
struct GpuDrawRecord {
    D3DPRIMITIVETYPE type;
    UINT primitive_count;
    UINT vertex_count;
    bool indexed;
    bool user_pointer;                     // DrawPrimitiveUP
    UINT start;                            // first vertex, or first index when indexed
    INT base_vertex;
    UINT stride;
    DWORD fvf;                             // 0 when a vertex declaration was in use
    std::vector<uint8_t> user_vertices;    // the vertices of DrawPrimitiveUP
    IDirect3DBaseTexture9 *textures[GPU_SAMPLERS];
    DWORD render_states[GPU_RENDER_STATES];
    DWORD stage_states[GPU_STAGES][GPU_STAGE_STATES];
    DWORD sampler_states[GPU_SAMPLERS][GPU_SAMPLER_STATES];
    float world[16], view[16], projection[16];
    DWORD vertex_shader_version;           // 0: fixed function
    DWORD pixel_shader_version;            // 0: fixed-function texture stages
    float vs_constants[GPU_VS_CONSTANTS][4];
    float ps_constants[GPU_PS_CONSTANTS][4];
};

// A rectangle of one texture level copied to the device.
struct GpuUploadRecord {
    IDirect3DTexture9 *texture;
    UINT level;
    RECT rect;
};

enum GpuFailPoint {
    GPU_FAIL_DIRECT3D,
    GPU_FAIL_CREATE_DEVICE,
    GPU_FAIL_CREATE_VERTEX_BUFFER,
    GPU_FAIL_CREATE_INDEX_BUFFER,
    GPU_FAIL_CREATE_TEXTURE,
    GPU_FAIL_LOCK,
    GPU_FAIL_RESET,
    GPU_FAIL_COUNT
};

// Back to the defaults: the caps of gpu_headless_default_caps, the five texture formats, no
// failures, empty records. Devices already made keep their resources.
void gpu_headless_reset(void);
// Multitexture (8 stages), dot3, vs 1.1, ps 1.4, LOD bias, two-sided stencil, 4096 x 4096 textures.
void gpu_headless_default_caps(D3DCAPS9 *caps);
// What GetDeviceCaps reports from now on, and what effect validation reads.
void gpu_headless_set_caps(const D3DCAPS9 *caps);
void gpu_headless_set_format_supported(D3DFORMAT format, bool supported);
// The next `count` calls of that kind fail (creation with D3DERR_OUTOFVIDEOMEMORY or
// D3DERR_NOTAVAILABLE, locks and Reset with D3DERR_INVALIDCALL).
void gpu_headless_fail_next(GpuFailPoint point, int count);
// The device is lost: TestCooperativeLevel and Present report D3DERR_DEVICELOST, or
// D3DERR_DEVICENOTRESET when `resettable`, until Reset succeeds.
void gpu_headless_lose_device(IDirect3DDevice9 *device, bool resettable);

// Draws since the last clear; the first 256 are kept in full.
int gpu_headless_draw_count(void);
const GpuDrawRecord *gpu_headless_draw(int index);
void gpu_headless_clear_draws(void);
// Texture uploads since the last clear (the first 4096 are kept).
int gpu_headless_upload_count(void);
const GpuUploadRecord *gpu_headless_upload(int index);
void gpu_headless_clear_uploads(void);
int gpu_headless_present_count(IDirect3DDevice9 *device);

// What the device holds, as opposed to the memory the caller locks: a texel of a texture level
// (its raw bits), or the bytes of a buffer. False or null when out of range.
bool gpu_headless_texel(IDirect3DTexture9 *texture, UINT level, UINT x, UINT y, uint32_t *bits);
const uint8_t *gpu_headless_vertex_bytes(IDirect3DVertexBuffer9 *buffer);
const uint8_t *gpu_headless_index_bytes(IDirect3DIndexBuffer9 *buffer);
// Live objects of each kind on all devices, to find leaks: buffers, textures, effects.
int gpu_headless_live_resources(void);
