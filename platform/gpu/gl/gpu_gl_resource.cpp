// The OpenGL back end's resources: buffers, textures with every level, and the sampler states a
// texture is given when a draw binds it.
#include "platform/gpu/gl/gpu_gl_local.h"

namespace {

struct GlFormat {
    D3DFORMAT format;
    GLint internal;
    GLenum layout, type;
};

// 16-bit formats are kept in 8-bit channels, which holds every value exactly; X formats have no
// alpha channel and so read alpha 1.
const GlFormat kFormats[] = {
    {D3DFMT_A8R8G8B8, GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE},
    {D3DFMT_X8R8G8B8, GL_RGB8, GL_BGRA, GL_UNSIGNED_BYTE},
    {D3DFMT_R5G6B5, GL_RGB8, GL_RGB, GL_UNSIGNED_SHORT_5_6_5},
    {D3DFMT_X1R5G5B5, GL_RGB8, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV},
    {D3DFMT_A4R4G4B4, GL_RGBA8, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV},
};

const GlFormat *find_format(D3DFORMAT format)
{
    for (const GlFormat &f : kFormats)
        if (f.format == format) return &f;
    return nullptr;
}

GlTexture *gl_texture(GpuTexture *texture) { return static_cast<GlTexture *>(texture->backend); }

void upload_rect(GpuTexture *texture, UINT level, const RECT &rect)
{
    const GpuLevel &l = texture->levels[level];
    GlTexture *t = gl_texture(texture);
    UINT bpp = texture->bytes_per_pixel;
    glPixelStorei(GL_UNPACK_ROW_LENGTH, GLint(l.pitch / bpp));
    glTexSubImage2D(GL_TEXTURE_2D, GLint(level), GLint(rect.left), GLint(rect.top), GLsizei(rect.right - rect.left),
                    GLsizei(rect.bottom - rect.top), t->format, t->type,
                    l.memory.data() + size_t(rect.top) * l.pitch + size_t(rect.left) * bpp);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    g_gl_stats.texture_uploads++;
}

GLint wrap_of(DWORD address) { return address == D3DTADDRESS_CLAMP ? GL_CLAMP_TO_EDGE : GL_REPEAT; }

GLint min_filter_of(DWORD min, DWORD mip)
{
    bool linear = min == D3DTEXF_LINEAR;
    if (mip == D3DTEXF_POINT) return linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    if (mip == D3DTEXF_LINEAR) return linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    return linear ? GL_LINEAR : GL_NEAREST;
}

}  // namespace

// ---- buffers -------------------------------------------------------------------------------------

bool gl_buffer_create(GpuDevice *device, GpuBufferData *buffer)
{
    gl_use(device);
    GlDevice *g = gl_device(device);
    GlBuffer *b = new GlBuffer{0, GLenum(buffer->index ? GL_ELEMENT_ARRAY_BUFFER : GL_ARRAY_BUFFER)};
    g_gl.GenBuffers(1, &b->name);
    gl_bind_buffer(g, b->target, b->name);
    GLenum usage = buffer->pool == D3DPOOL_DEFAULT ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW;
    g_gl.BufferData(b->target, GLsizeiptr(buffer->length), buffer->memory.data(), usage);
    buffer->backend = b;
    return true;
}

void gl_buffer_destroy(GpuDevice *device, GpuBufferData *buffer)
{
    gl_use(device);
    GlBuffer *b = static_cast<GlBuffer *>(buffer->backend);
    gl_forget_buffer(gl_device(device), b->name);
    g_gl.DeleteBuffers(1, &b->name);
    delete b;
    buffer->backend = nullptr;
}

void gl_buffer_upload(GpuDevice *device, GpuBufferData *buffer, UINT offset, UINT size)
{
    gl_use(device);
    GlBuffer *b = static_cast<GlBuffer *>(buffer->backend);
    gl_bind_buffer(gl_device(device), b->target, b->name);
    if (offset == 0 && size == buffer->length) {
        // A new store for the whole buffer: draws still reading the old one need not wait.
        GLenum usage = buffer->pool == D3DPOOL_DEFAULT ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW;
        g_gl.BufferData(b->target, GLsizeiptr(buffer->length), buffer->memory.data(), usage);
    } else {
        g_gl.BufferSubData(b->target, GLintptr(offset), GLsizeiptr(size), buffer->memory.data() + offset);
    }
    g_gl_stats.buffer_uploads++;
}

// ---- textures ------------------------------------------------------------------------------------

bool gl_texture_create(GpuDevice *device, GpuTexture *texture)
{
    const GlFormat *f = find_format(texture->format);
    if (!f) return false;
    gl_use(device);
    GlDevice *g = gl_device(device);
    GlTexture *t = new GlTexture{0, f->layout, f->type, -1, -1, -1, -1};
    glGenTextures(1, &t->name);
    texture->backend = t;
    gl_bind_texture(g, 0, t->name);
    gl_active_unit(g, 0);
    // Every level now, and the chain cut where it ends: an incomplete chain would sample black.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, GLint(texture->levels.size()) - 1);
    for (UINT level = 0; level < texture->levels.size(); level++) {
        const GpuLevel &l = texture->levels[level];
        glPixelStorei(GL_UNPACK_ROW_LENGTH, GLint(l.pitch / texture->bytes_per_pixel));
        glTexImage2D(GL_TEXTURE_2D, GLint(level), f->internal, GLsizei(l.width), GLsizei(l.height), 0, f->layout,
                     f->type, l.memory.data());
        g_gl_stats.texture_uploads++;
    }
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    return true;
}

void gl_texture_destroy(GpuDevice *device, GpuTexture *texture)
{
    GlTexture *t = gl_texture(texture);
    if (!t) return;
    gl_use(device);
    gl_forget_texture(gl_device(device), t->name);
    glDeleteTextures(1, &t->name);
    delete t;
    texture->backend = nullptr;
}

void gl_texture_upload(GpuDevice *device, GpuTexture *texture, UINT level, const RECT &rect)
{
    gl_use(device);
    GlDevice *g = gl_device(device);
    gl_bind_texture(g, 0, gl_texture(texture)->name);
    gl_active_unit(g, 0);
    upload_rect(texture, level, rect);
}

void gl_apply_sampler(GlDevice *g, int unit, GlTexture *t, const DWORD *sampler, bool single_level)
{
    int u = wrap_of(sampler[D3DSAMP_ADDRESSU]), v = wrap_of(sampler[D3DSAMP_ADDRESSV]);
    int mag = sampler[D3DSAMP_MAGFILTER] == D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST;
    int min = min_filter_of(sampler[D3DSAMP_MINFILTER], single_level ? DWORD(D3DTEXF_NONE) : sampler[D3DSAMP_MIPFILTER]);
    if (t->address_u == u && t->address_v == v && t->mag_filter == mag && t->min_filter == min) return;
    gl_active_unit(g, unit);
    if (t->address_u != u) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, t->address_u = u);
    if (t->address_v != v) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, t->address_v = v);
    if (t->mag_filter != mag) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, t->mag_filter = mag);
    if (t->min_filter != min) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, t->min_filter = min);
}
