// The headless graphics back end: device-side copies of buffers and textures in memory, a back
// buffer that clears fill, a record of draws and uploads, and the controls tests use.
#include "platform/gpu/gpu_effect_local.h"
#include "platform/gpu/headless/gpu_headless.h"
#include "platform/gpu/gpu_local.h"

#include <cstring>

namespace {

const int KEPT_DRAWS = 256;
const int KEPT_UPLOADS = 4096;

// Whole-run test controls; gpu_headless_reset puts them back.
struct HeadlessControls {
    bool ready;
    D3DCAPS9 caps;
    bool format_off[128];
    int fail[GPU_FAIL_COUNT];
    std::vector<GpuDrawRecord> draws;
    int draw_count;
    std::vector<GpuUploadRecord> uploads;
    int upload_count;
};

HeadlessControls g_headless;

struct HeadlessDevice {
    std::vector<uint32_t> back_buffer;
    UINT width, height;
    int presents;
};

struct HeadlessTexture {
    std::vector<std::vector<uint8_t>> levels;  // rows packed without padding
};

HeadlessControls &controls()
{
    if (!g_headless.ready) gpu_headless_reset();
    return g_headless;
}

HeadlessDevice *headless(GpuDevice *device) { return static_cast<HeadlessDevice *>(device->backend_data); }

void size_back_buffer(GpuDevice *device)
{
    HeadlessDevice *h = headless(device);
    h->width = device->parameters.BackBufferWidth;
    h->height = device->parameters.BackBufferHeight;
    h->back_buffer.assign(size_t(h->width) * h->height, 0);
}

void get_caps(D3DCAPS9 *caps) { *caps = controls().caps; }

bool format_supported(D3DFORMAT format)
{
    return gpu_format_bytes(format) != 0 && !controls().format_off[format];
}

bool device_open(GpuDevice *device)
{
    device->backend_data = new HeadlessDevice{{}, 0, 0, 0};
    size_back_buffer(device);
    return true;
}

void device_close(GpuDevice *device)
{
    delete headless(device);
    device->backend_data = nullptr;
}

bool device_reset(GpuDevice *device)
{
    size_back_buffer(device);
    return true;
}

bool buffer_create(GpuDevice *, GpuBufferData *buffer)
{
    buffer->backend = new std::vector<uint8_t>(buffer->length, 0);
    return true;
}

void buffer_destroy(GpuDevice *, GpuBufferData *buffer) { delete static_cast<std::vector<uint8_t> *>(buffer->backend); }

void buffer_upload(GpuDevice *, GpuBufferData *buffer, UINT offset, UINT size)
{
    std::vector<uint8_t> &copy = *static_cast<std::vector<uint8_t> *>(buffer->backend);
    memcpy(copy.data() + offset, buffer->memory.data() + offset, size);
}

bool texture_create(GpuDevice *, GpuTexture *texture)
{
    HeadlessTexture *h = new HeadlessTexture;
    for (const GpuLevel &level : texture->levels)
        h->levels.emplace_back(size_t(level.width) * level.height * texture->bytes_per_pixel, 0);
    texture->backend = h;
    return true;
}

void texture_destroy(GpuDevice *, GpuTexture *texture) { delete static_cast<HeadlessTexture *>(texture->backend); }

void texture_upload(GpuDevice *, GpuTexture *texture, UINT level, const RECT &rect)
{
    const GpuLevel &l = texture->levels[level];
    std::vector<uint8_t> &copy = static_cast<HeadlessTexture *>(texture->backend)->levels[level];
    UINT bpp = texture->bytes_per_pixel;
    size_t row = size_t(rect.right - rect.left) * bpp;
    for (long y = rect.top; y < rect.bottom; y++)
        memcpy(copy.data() + (size_t(y) * l.width + size_t(rect.left)) * bpp,
               l.memory.data() + size_t(y) * l.pitch + size_t(rect.left) * bpp, row);
    HeadlessControls &c = controls();
    if (c.upload_count++ < KEPT_UPLOADS) c.uploads.push_back(GpuUploadRecord{texture, level, rect});
}

bool program_create(GpuDevice *, GpuProgram *) { return true; }

void program_destroy(GpuDevice *, GpuProgram *) {}

void clear(GpuDevice *device, const RECT &rect, DWORD flags, D3DCOLOR color, float, DWORD)
{
    if (!(flags & D3DCLEAR_TARGET)) return;
    HeadlessDevice *h = headless(device);
    for (long y = rect.top; y < rect.bottom; y++)
        for (long x = rect.left; x < rect.right; x++) h->back_buffer[size_t(y) * h->width + size_t(x)] = color;
}

// Constants as the program sees them: the device's, with the program's own def values over them.
void program_constants(const GpuProgram *program, float (*constants)[4], int count)
{
    if (!program) return;
    for (const GpuInstruction &in : program->code)
        if (in.op == GPU_OP_DEF && in.dest.index < count) memcpy(constants[in.dest.index], in.values, sizeof in.values);
}

void draw(GpuDevice *device, const GpuDraw &draw)
{
    HeadlessControls &c = controls();
    if (c.draw_count++ >= KEPT_DRAWS) return;
    const GpuState &s = *device->state;
    c.draws.emplace_back();
    GpuDrawRecord &r = c.draws.back();
    r.type = draw.type;
    r.primitive_count = draw.primitive_count;
    r.vertex_count = draw.vertex_count;
    r.indexed = draw.indexed;
    r.user_pointer = draw.user_vertices != nullptr;
    r.start = draw.start;
    r.base_vertex = draw.base_vertex;
    r.stride = draw.user_vertices ? draw.user_stride : s.stream_stride[0];
    r.fvf = s.declaration ? 0 : s.fvf;
    if (draw.user_vertices) {
        const uint8_t *bytes = static_cast<const uint8_t *>(draw.user_vertices);
        r.user_vertices.assign(bytes, bytes + size_t(draw.vertex_count) * draw.user_stride);
    }
    for (int i = 0; i < GPU_SAMPLERS; i++) r.textures[i] = s.textures[i];
    memcpy(r.render_states, s.render, sizeof r.render_states);
    memcpy(r.stage_states, s.stage, sizeof r.stage_states);
    memcpy(r.sampler_states, s.sampler, sizeof r.sampler_states);
    memcpy(r.world, s.world, sizeof r.world);
    memcpy(r.view, s.view, sizeof r.view);
    memcpy(r.projection, s.projection, sizeof r.projection);
    r.vertex_shader_version = s.vertex_program ? s.vertex_program->version : 0;
    r.pixel_shader_version = s.pixel_program ? s.pixel_program->version : 0;
    memcpy(r.vs_constants, s.vs_constants, sizeof r.vs_constants);
    memcpy(r.ps_constants, s.ps_constants, sizeof r.ps_constants);
    program_constants(s.vertex_program.get(), r.vs_constants, GPU_VS_CONSTANTS);
    program_constants(s.pixel_program.get(), r.ps_constants, GPU_PS_CONSTANTS);
}

void present(GpuDevice *device) { headless(device)->presents++; }

void read_back_buffer(GpuDevice *device, uint8_t *pixels, UINT pitch)
{
    HeadlessDevice *h = headless(device);
    for (UINT y = 0; y < h->height; y++)
        memcpy(pixels + size_t(y) * pitch, h->back_buffer.data() + size_t(y) * h->width, size_t(h->width) * 4);
}

const GpuBackend g_backend = {
    .name = "headless",
    .pitch_padding = GPU_HEADLESS_PITCH_PADDING,
    .discard_fill = GPU_HEADLESS_DISCARD_BYTE,
    .get_caps = get_caps,
    .format_supported = format_supported,
    .device_open = device_open,
    .device_close = device_close,
    .device_reset = device_reset,
    .buffer_create = buffer_create,
    .buffer_destroy = buffer_destroy,
    .buffer_upload = buffer_upload,
    .texture_create = texture_create,
    .texture_destroy = texture_destroy,
    .texture_upload = texture_upload,
    .program_create = program_create,
    .program_destroy = program_destroy,
    .clear = clear,
    .draw = draw,
    .present = present,
    .read_back_buffer = read_back_buffer,
};

}  // namespace

const GpuBackend *gpu_backend_headless(void) { return &g_backend; }

bool gpu_fail_point(GpuFailPoint point)
{
    HeadlessControls &c = controls();
    if (c.fail[point] <= 0) return false;
    c.fail[point]--;
    return true;
}

// ---- controls ------------------------------------------------------------------------------------

void gpu_headless_default_caps(D3DCAPS9 *caps)
{
    memset(caps, 0, sizeof *caps);
    caps->TextureOpCaps = D3DTEXOPCAPS_DOTPRODUCT3 | D3DTEXOPCAPS_BUMPENVMAP;
    caps->RasterCaps = D3DPRASTERCAPS_MIPMAPLODBIAS;
    caps->StencilCaps = D3DSTENCILCAPS_TWOSIDED;
    caps->MaxTextureWidth = caps->MaxTextureHeight = 4096;
    caps->MaxSimultaneousTextures = 8;
    caps->VertexShaderVersion = D3DVS_VERSION(1, 1);
    caps->PixelShaderVersion = D3DPS_VERSION(1, 4);
}

void gpu_headless_reset(void)
{
    HeadlessControls &c = g_headless;
    c.ready = true;
    gpu_headless_default_caps(&c.caps);
    memset(c.format_off, 0, sizeof c.format_off);
    memset(c.fail, 0, sizeof c.fail);
    gpu_headless_clear_draws();
    gpu_headless_clear_uploads();
}

void gpu_headless_set_caps(const D3DCAPS9 *caps) { controls().caps = *caps; }

void gpu_headless_set_format_supported(D3DFORMAT format, bool supported)
{
    if (unsigned(format) < 128) controls().format_off[format] = !supported;
}

void gpu_headless_fail_next(GpuFailPoint point, int count)
{
    if (point >= 0 && point < GPU_FAIL_COUNT) controls().fail[point] = count;
}

void gpu_headless_lose_device(IDirect3DDevice9 *device, bool resettable)
{
    gpu_device(device)->cooperative = resettable ? D3DERR_DEVICENOTRESET : D3DERR_DEVICELOST;
}

int gpu_headless_draw_count(void) { return controls().draw_count; }

const GpuDrawRecord *gpu_headless_draw(int index)
{
    HeadlessControls &c = controls();
    return index >= 0 && index < int(c.draws.size()) ? &c.draws[size_t(index)] : nullptr;
}

void gpu_headless_clear_draws(void)
{
    g_headless.draws.clear();
    g_headless.draws.shrink_to_fit();
    g_headless.draw_count = 0;
}

int gpu_headless_upload_count(void) { return controls().upload_count; }

const GpuUploadRecord *gpu_headless_upload(int index)
{
    HeadlessControls &c = controls();
    return index >= 0 && index < int(c.uploads.size()) ? &c.uploads[size_t(index)] : nullptr;
}

void gpu_headless_clear_uploads(void)
{
    g_headless.uploads.clear();
    g_headless.upload_count = 0;
}

int gpu_headless_present_count(IDirect3DDevice9 *device)
{
    GpuDevice *d = gpu_device(device);
    return d->backend == &g_backend ? headless(d)->presents : 0;
}

bool gpu_headless_texel(IDirect3DTexture9 *texture, UINT level, UINT x, UINT y, uint32_t *bits)
{
    GpuTexture *t = static_cast<GpuTexture *>(texture);
    if (!t || t->device->backend != &g_backend || level >= t->levels.size()) return false;
    const GpuLevel &l = t->levels[level];
    if (x >= l.width || y >= l.height) return false;
    const std::vector<uint8_t> &copy = static_cast<HeadlessTexture *>(t->backend)->levels[level];
    *bits = 0;
    memcpy(bits, copy.data() + (size_t(y) * l.width + x) * t->bytes_per_pixel, t->bytes_per_pixel);
    return true;
}

const uint8_t *gpu_headless_vertex_bytes(IDirect3DVertexBuffer9 *buffer)
{
    GpuVertexBuffer *b = static_cast<GpuVertexBuffer *>(buffer);
    if (!b || b->data.device->backend != &g_backend) return nullptr;
    return static_cast<std::vector<uint8_t> *>(b->data.backend)->data();
}

const uint8_t *gpu_headless_index_bytes(IDirect3DIndexBuffer9 *buffer)
{
    GpuIndexBuffer *b = static_cast<GpuIndexBuffer *>(buffer);
    if (!b || b->data.device->backend != &g_backend) return nullptr;
    return static_cast<std::vector<uint8_t> *>(b->data.backend)->data();
}

int gpu_headless_live_resources(void) { return gpu_live_objects(); }
