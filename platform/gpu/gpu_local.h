// Internals of the graphics stand-in: the records behind the interface objects, the device state,
// and the small interface a back end (headless, OpenGL) provides under the common front.
#pragma once

#include "platform/gpu/gpu.h"
#include "platform/gpu/headless/gpu_headless.h"

#include <memory>
#include <vector>

struct GpuDevice;
struct GpuProgram;

// One vertex input as the draw supplies it, from the FVF or a vertex declaration.
struct GpuVertexElement {
    uint8_t stream;
    uint16_t offset;
    uint8_t type;  // D3DDECLTYPE
    uint8_t usage;  // D3DDECLUSAGE
    uint8_t usage_index;
};

struct GpuVertexLayout {
    GpuVertexElement elements[16];
    int count;
};

struct GpuBufferData {
    GpuDevice *device;
    bool index;
    UINT length;
    DWORD usage;
    D3DPOOL pool;
    DWORD fvf;
    D3DFORMAT format;  // index buffers
    std::vector<uint8_t> memory;  // what the caller locks
    int lock_count;  // locks nest
    UINT lock_offset, lock_end;  // what the open locks cover
    bool lock_upload;  // one of them writes to the device at the last unlock
    void *backend;
};

struct GpuVertexBuffer : IDirect3DVertexBuffer9 {
    GpuBufferData data;
    void release_last() override;
};

struct GpuIndexBuffer : IDirect3DIndexBuffer9 {
    GpuBufferData data;
    void release_last() override;
};

struct GpuLevel {
    UINT width, height, pitch;
    std::vector<uint8_t> memory;
    bool locked;
    RECT lock_rect;
    DWORD lock_flags;
};

struct GpuTexture : IDirect3DTexture9 {
    GpuDevice *device;
    D3DFORMAT format;
    DWORD usage;
    D3DPOOL pool;
    UINT bytes_per_pixel;
    std::vector<GpuLevel> levels;
    std::vector<RECT> dirty;  // level-0 rectangles waiting for upload (managed pool)
    void *backend;
    void release_last() override;
};

struct GpuSurface : IDirect3DSurface9 {
    GpuDevice *device;
    UINT width, height, pitch;
    std::vector<uint8_t> memory;
    bool locked;
    void release_last() override;
};

struct GpuDeclaration : IDirect3DVertexDeclaration9 {
    GpuDevice *device;
    GpuVertexLayout layout;
    void release_last() override;
};

typedef std::shared_ptr<const GpuProgram> GpuProgramRef;

// Everything Reset brings back to its default. Bound objects hold a reference.
struct GpuState {
    DWORD render[GPU_RENDER_STATES];
    DWORD stage[GPU_STAGES][GPU_STAGE_STATES];
    DWORD sampler[GPU_SAMPLERS][GPU_SAMPLER_STATES];
    GpuTexture *textures[GPU_SAMPLERS];
    float world[16], view[16], projection[16], texture_matrix[GPU_STAGES][16];
    D3DLIGHT9 lights[GPU_LIGHTS];
    bool light_set[GPU_LIGHTS];
    bool light_enabled[GPU_LIGHTS];
    D3DVIEWPORT9 viewport;
    DWORD fvf;
    GpuDeclaration *declaration;
    GpuVertexBuffer *stream[2];  // stream 1 carries the second frame of tweened draws
    UINT stream_offset[2], stream_stride[2];
    GpuIndexBuffer *indices;
    GpuProgramRef vertex_program, pixel_program;
    float vs_constants[GPU_VS_CONSTANTS][4];
    float ps_constants[GPU_PS_CONSTANTS][4];
};

// One draw call, checked, as the back end receives it; states are the device's.
struct GpuDraw {
    D3DPRIMITIVETYPE type;
    UINT primitive_count;
    UINT vertex_count;  // vertices the primitives use (indices when indexed)
    bool indexed;
    const void *user_vertices;  // DrawPrimitiveUP
    UINT user_stride;
    UINT start;
    INT base_vertex;
    GpuVertexLayout layout;
};

// What a back end does; the front has checked every argument. Resource memory the caller locks
// lives in the front; uploads copy from it.
struct GpuBackend {
    const char *name;
    int pitch_padding;  // bytes added to each locked row
    int discard_fill;  // byte written over memory locked with DISCARD, or -1
    void (*get_caps)(D3DCAPS9 *caps);
    bool (*format_supported)(D3DFORMAT format);
    bool (*device_open)(GpuDevice *device);
    void (*device_close)(GpuDevice *device);
    bool (*device_reset)(GpuDevice *device);
    bool (*buffer_create)(GpuDevice *device, GpuBufferData *buffer);
    void (*buffer_destroy)(GpuDevice *device, GpuBufferData *buffer);
    void (*buffer_upload)(GpuDevice *device, GpuBufferData *buffer, UINT offset, UINT size);
    bool (*texture_create)(GpuDevice *device, GpuTexture *texture);
    void (*texture_destroy)(GpuDevice *device, GpuTexture *texture);
    void (*texture_upload)(GpuDevice *device, GpuTexture *texture, UINT level, const RECT &rect);
    bool (*program_create)(GpuDevice *device, GpuProgram *program);
    void (*program_destroy)(GpuDevice *device, GpuProgram *program);
    void (*clear)(GpuDevice *device, const RECT &rect, DWORD flags, D3DCOLOR color, float z, DWORD stencil);
    void (*draw)(GpuDevice *device, const GpuDraw &draw);
    void (*present)(GpuDevice *device);
    // The back buffer as X8R8G8B8 rows, top to bottom, `pitch` bytes apart.
    void (*read_back_buffer)(GpuDevice *device, uint8_t *pixels, UINT pitch);
};

const GpuBackend *gpu_backend_headless(void);
// The back end a new Direct3D object uses (headless in headless mode).
const GpuBackend *gpu_select_backend(void);

struct GpuDevice : IDirect3DDevice9 {
    const GpuBackend *backend;
    void *backend_data;
    D3DPRESENT_PARAMETERS parameters;
    DWORD behavior;
    HWND window;
    std::unique_ptr<GpuState> state;
    HRESULT cooperative;
    bool in_scene;
    bool closed;  // the caller's references are gone; the record stays while objects point at it
    int live_objects;  // buffers, textures, declarations, surfaces, effects
    int default_pool;  // what blocks Reset
    GpuSurface *back_buffer;
    void release_last() override;
};

// ---- shared by the front's files -----------------------------------------------------------------

// True when the headless controls asked this call to fail (counts the failure down).
bool gpu_fail_point(GpuFailPoint point);
// Bytes per pixel of a texture format; 0 for formats the stand-in does not know.
UINT gpu_format_bytes(D3DFORMAT format);

// An object that points at the device appeared or went (the device may go with the last one).
void gpu_device_object_added(GpuDevice *device, bool default_pool);
void gpu_device_object_removed(GpuDevice *device, bool default_pool);
// Objects alive on all devices.
int gpu_live_objects(void);
// Uploads the dirty rectangles of a managed texture.
void gpu_texture_flush(GpuTexture *texture);
// Vertex inputs of an FVF code and its stride; false for codes the stand-in does not know.
bool gpu_fvf_layout(DWORD fvf, GpuVertexLayout *layout, UINT *stride);

// For the effect runtime: shader programs and their constants on the device.
void gpu_device_set_vertex_program(GpuDevice *device, const GpuProgramRef &program);
void gpu_device_set_pixel_program(GpuDevice *device, const GpuProgramRef &program);
void gpu_device_set_vs_constants(GpuDevice *device, UINT start, const float *values, UINT count);

inline GpuDevice *gpu_device(IDirect3DDevice9 *device) { return static_cast<GpuDevice *>(device); }
inline GpuTexture *gpu_texture(IDirect3DBaseTexture9 *texture)
{
    return static_cast<GpuTexture *>(static_cast<IDirect3DTexture9 *>(texture));
}
