// The OpenGL back end's device: the context on the window, the checks that refuse a driver too
// weak for the engine, fixed caps, present, clear, read-back, and the cache of applied state.
#include "platform/gpu/gl/gpu_gl_local.h"
#include "platform/system.h"
#include "platform/window.h"

#include <SDL2/SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

GpuGlEntryPoints g_gl;
GpuGlStats g_gl_stats;

namespace {

GpuDevice *g_current;  // whose context is current
bool g_logged[GL_ONCE_COUNT];

bool refuse(const char *why, const char *detail = "")
{
    fprintf(stderr, "gpu: OpenGL device refused: %s%s\n", why, detail);
    return false;
}

bool load_entry_points()
{
    bool ok = true;
#define GPU_GL_LOAD(type, name)                                                        \
    g_gl.name = reinterpret_cast<type>(SDL_GL_GetProcAddress("gl" #name));             \
    if (!g_gl.name) ok = refuse("missing entry point gl", #name);
    GPU_GL_ENTRY_POINTS(GPU_GL_LOAD)
#undef GPU_GL_LOAD
    g_gl.DebugMessageCallback = nullptr;
    if (SDL_GL_ExtensionSupported("GL_KHR_debug"))
        g_gl.DebugMessageCallback =
            reinterpret_cast<PFNGLDEBUGMESSAGECALLBACKPROC>(SDL_GL_GetProcAddress("glDebugMessageCallback"));
    g_gl.ProvokingVertex = nullptr;
    if (SDL_GL_ExtensionSupported("GL_EXT_provoking_vertex"))
        g_gl.ProvokingVertex = reinterpret_cast<PFNGLPROVOKINGVERTEXPROC>(SDL_GL_GetProcAddress("glProvokingVertexEXT"));
    else if (SDL_GL_ExtensionSupported("GL_ARB_provoking_vertex"))
        g_gl.ProvokingVertex = reinterpret_cast<PFNGLPROVOKINGVERTEXPROC>(SDL_GL_GetProcAddress("glProvokingVertex"));
    return ok;
}

void GLAPIENTRY debug_message(GLenum, GLenum type, GLuint, GLenum, GLsizei, const GLchar *message, const void *)
{
    if (type != GL_DEBUG_TYPE_ERROR) return;
    if (g_gl_stats.errors++ < 20) fprintf(stderr, "gpu: GL error: %s\n", message);
}

// "major.minor" at the start of a GL version string, as major * 100 + minor.
int version_of(const char *text)
{
    if (!text) return 0;
    int major = 0, minor = 0;
    if (sscanf(text, "%d.%d", &major, &minor) != 2) return 0;
    return major * 100 + minor;
}

int get_int(GLenum name)
{
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

bool trivial_program_links(GlDevice *g)
{
    GLuint vs = gl_compile(g, GL_VERTEX_SHADER, "#version 120\nvoid main() { gl_Position = vec4(0.0); }\n");
    GLuint fs = gl_compile(g, GL_FRAGMENT_SHADER, "#version 120\nvoid main() { gl_FragColor = vec4(1.0); }\n");
    return vs && fs && gl_link(g, vs, fs) >= 0;
}

// What the engine needs of the driver; each refusal says why.
bool driver_sufficient(GlDevice *g)
{
    if (version_of(reinterpret_cast<const char *>(glGetString(GL_VERSION))) < 201)
        return refuse("OpenGL 2.1 is needed, the driver offers ", reinterpret_cast<const char *>(glGetString(GL_VERSION)));
    if (version_of(reinterpret_cast<const char *>(glGetString(GL_SHADING_LANGUAGE_VERSION))) < 120)
        return refuse("GLSL 1.20 is needed");
    if (!load_entry_points()) return false;
    if (get_int(GL_MAX_TEXTURE_IMAGE_UNITS) < GL_UNITS) return refuse("fewer than 8 texture image units");
    if (get_int(GL_MAX_TEXTURE_COORDS) < GL_TEXCOORD_SETS) return refuse("fewer than 8 texture coordinate sets");
    if (get_int(GL_MAX_VERTEX_ATTRIBS) < GL_ATTRS) return refuse("fewer than 16 vertex attributes");
    if (get_int(GL_MAX_TEXTURE_SIZE) < 4096) return refuse("textures of 4096 x 4096 are not supported");
    if (get_int(GL_STENCIL_BITS) < 8) return refuse("the window has fewer than 8 stencil bits");
    if (get_int(GL_DEPTH_BITS) < 24) return refuse("the window has fewer than 24 depth bits");
    // Colours are read from bytes B, G, R, A as Direct3D stores them.
    if (version_of(reinterpret_cast<const char *>(glGetString(GL_VERSION))) < 302 &&
        !SDL_GL_ExtensionSupported("GL_ARB_vertex_array_bgra") && !SDL_GL_ExtensionSupported("GL_EXT_vertex_array_bgra"))
        return refuse("vertex colours in BGRA order are not supported");
    if (!trivial_program_links(g)) return refuse("a trivial GLSL 1.20 program does not build");
    return true;
}

void set_interval(GpuDevice *device)
{
    UINT interval = device->parameters.PresentationInterval;
    int swap = 1;
    if (interval == D3DPRESENT_INTERVAL_IMMEDIATE) swap = 0;
    else if (interval == D3DPRESENT_INTERVAL_TWO || interval == D3DPRESENT_INTERVAL_THREE ||
             interval == D3DPRESENT_INTERVAL_FOUR)
        swap = 2;
    if (SDL_GL_SetSwapInterval(swap) != 0) gl_log_once(GL_ONCE_INTERVAL, "gpu: the driver refuses the present interval");
}

void size_window(GpuDevice *device, GlDevice *g)
{
    g->width = int(device->parameters.BackBufferWidth);
    g->height = int(device->parameters.BackBufferHeight);
    int w = 0, h = 0;
    SDL_GetWindowSize(static_cast<SDL_Window *>(g->window), &w, &h);
    if (w != g->width || h != g->height) SDL_SetWindowSize(static_cast<SDL_Window *>(g->window), g->width, g->height);
}

void make_white(GlDevice *g)
{
    glGenTextures(1, &g->white);
    gl_bind_texture(g, 0, g->white);
    gl_active_unit(g, 0);
    const uint32_t white = 0xFFFFFFFFu;
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_BGRA, GL_UNSIGNED_BYTE, &white);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
}

void close_context(GpuDevice *device, GlDevice *g)
{
    if (g->context) {
        for (const GlLinked &l : g->linked) g_gl.DeleteProgram(l.program);
        for (const GlShader &s : g->shaders) g_gl.DeleteShader(s.shader);
        if (g->white) glDeleteTextures(1, &g->white);
        SDL_GL_DeleteContext(static_cast<SDL_GLContext>(g->context));
    }
    if (g_current == device) g_current = nullptr;
    SDL_GL_MakeCurrent(static_cast<SDL_Window *>(g->window), nullptr);
    delete g;
    device->backend_data = nullptr;
}

// ---- the back end's table ------------------------------------------------------------------------

void get_caps(D3DCAPS9 *caps)
{
    memset(caps, 0, sizeof *caps);
    caps->TextureOpCaps = D3DTEXOPCAPS_DOTPRODUCT3;
    caps->RasterCaps = D3DPRASTERCAPS_MIPMAPLODBIAS;
    caps->StencilCaps = D3DSTENCILCAPS_TWOSIDED;
    caps->MaxTextureWidth = caps->MaxTextureHeight = 4096;
    caps->MaxSimultaneousTextures = 8;
    caps->VertexShaderVersion = D3DVS_VERSION(1, 1);
    caps->PixelShaderVersion = D3DPS_VERSION(1, 4);
}

bool format_supported(D3DFORMAT format) { return gpu_format_bytes(format) != 0; }

bool device_open(GpuDevice *device)
{
    void *window = window_native_handle(device->window);
    if (!window) return refuse("the device has no window to draw in");
    GlDevice *g = new GlDevice();
    g->window = window;
    g->last_vertex = g->last_fragment = g->last_linked = -1;
    device->backend_data = g;
    g->context = SDL_GL_CreateContext(static_cast<SDL_Window *>(window));
    if (!g->context) {
        refuse("no OpenGL context: ", SDL_GetError());
        close_context(device, g);
        return false;
    }
    g_current = device;
    if (!driver_sufficient(g)) {
        close_context(device, g);
        return false;
    }
    if (g_gl.DebugMessageCallback) {
        glEnable(GL_DEBUG_OUTPUT);
        g_gl.DebugMessageCallback(debug_message, nullptr);
    }
    if (g_gl.ProvokingVertex) g_gl.ProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
    sys_set_display_adapter_name(reinterpret_cast<const char *>(glGetString(GL_RENDERER)));
    size_window(device, g);
    set_interval(device);
    glFrontFace(GL_CW);  // Direct3D's front faces are clockwise on screen
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    gl_cache_forget(g);
    make_white(g);
    return true;
}

void device_close(GpuDevice *device)
{
    gl_use(device);
    close_context(device, gl_device(device));
}

bool device_reset(GpuDevice *device)
{
    gl_use(device);
    GlDevice *g = gl_device(device);
    size_window(device, g);
    set_interval(device);
    gl_cache_forget(g);
    return true;
}

void clear(GpuDevice *device, const RECT &rect, DWORD flags, D3DCOLOR color, float z, DWORD stencil)
{
    gl_use(device);
    GlDevice *g = gl_device(device);
    GLbitfield mask = 0;
    glEnable(GL_SCISSOR_TEST);
    glScissor(GLint(rect.left), GLint(g->height - rect.bottom), GLsizei(rect.right - rect.left),
              GLsizei(rect.bottom - rect.top));
    if (flags & D3DCLEAR_TARGET) {
        glClearColor(float((color >> 16) & 0xFF) / 255.0f, float((color >> 8) & 0xFF) / 255.0f,
                     float(color & 0xFF) / 255.0f, float(color >> 24) / 255.0f);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if (flags & D3DCLEAR_ZBUFFER) {
        glClearDepth(z);
        glDepthMask(GL_TRUE);
        g->cache[GLC_DEPTH_MASK] = -1;
        mask |= GL_DEPTH_BUFFER_BIT;
    }
    if (flags & D3DCLEAR_STENCIL) {
        glClearStencil(GLint(stencil & 0xFF));
        glStencilMask(0xFF);
        g->cache[GLC_STENCIL_WRITE] = -1;
        mask |= GL_STENCIL_BUFFER_BIT;
    }
    glClear(mask);
    glDisable(GL_SCISSOR_TEST);
}

void present(GpuDevice *device)
{
    gl_use(device);
    SDL_GL_SwapWindow(static_cast<SDL_Window *>(gl_device(device)->window));
}

void read_back_buffer(GpuDevice *device, uint8_t *pixels, UINT pitch)
{
    gl_use(device);
    GlDevice *g = gl_device(device);
    glPixelStorei(GL_PACK_ROW_LENGTH, GLint(pitch / 4));
    glReadPixels(0, 0, g->width, g->height, GL_BGRA, GL_UNSIGNED_BYTE, pixels);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    // GL's rows run bottom-up; the surface's top-down.
    std::vector<uint8_t> row(size_t(g->width) * 4);
    for (int y = 0; y < g->height / 2; y++) {
        uint8_t *a = pixels + size_t(y) * pitch, *b = pixels + size_t(g->height - 1 - y) * pitch;
        memcpy(row.data(), a, row.size());
        memcpy(a, b, row.size());
        memcpy(b, row.data(), row.size());
    }
    for (GLenum e = glGetError(); e != GL_NO_ERROR; e = glGetError())
        if (g_gl_stats.errors++ < 20) fprintf(stderr, "gpu: GL error 0x%x\n", e);
}

const GpuBackend g_backend = {
    .name = "opengl",
    .pitch_padding = 0,
    .discard_fill = -1,
    .get_caps = get_caps,
    .format_supported = format_supported,
    .device_open = device_open,
    .device_close = device_close,
    .device_reset = device_reset,
    .buffer_create = gl_buffer_create,
    .buffer_destroy = gl_buffer_destroy,
    .buffer_upload = gl_buffer_upload,
    .texture_create = gl_texture_create,
    .texture_destroy = gl_texture_destroy,
    .texture_upload = gl_texture_upload,
    .program_create = gl_program_create,
    .program_destroy = gl_program_destroy,
    .clear = clear,
    .draw = gl_draw,
    .present = present,
    .read_back_buffer = read_back_buffer,
};

}  // namespace

const GpuBackend *gpu_backend_gl(void) { return &g_backend; }
const GpuGlStats *gpu_gl_stats(void) { return &g_gl_stats; }

void gpu_gl_reset_stats(void)
{
    int errors = g_gl_stats.errors;
    g_gl_stats = GpuGlStats{};
    g_gl_stats.errors = errors;  // errors are for the whole run
}

GlDevice *gl_device(GpuDevice *device) { return static_cast<GlDevice *>(device->backend_data); }

void gl_use(GpuDevice *device)
{
    if (g_current == device) return;
    GlDevice *g = gl_device(device);
    SDL_GL_MakeCurrent(static_cast<SDL_Window *>(g->window), static_cast<SDL_GLContext>(g->context));
    g_current = device;
}

void gl_cache_forget(GlDevice *g)
{
    for (int &slot : g->cache) slot = -1;
    g->attributes_known = false;
    g->last_linked = -1;
}

void gl_active_unit(GlDevice *g, int unit)
{
    if (g->cache[GLC_ACTIVE_UNIT] == unit) return;
    g_gl.ActiveTexture(GLenum(GL_TEXTURE0 + unit));
    g->cache[GLC_ACTIVE_UNIT] = unit;
}

void gl_bind_texture(GlDevice *g, int unit, GLuint name)
{
    // The active unit changes only for a bind: each switch costs the driver a texture validation.
    if (g->cache[GLC_TEXTURE0 + unit] == int(name)) return;
    gl_active_unit(g, unit);
    glBindTexture(GL_TEXTURE_2D, name);
    g->cache[GLC_TEXTURE0 + unit] = int(name);
}

void gl_bind_buffer(GlDevice *g, GLenum target, GLuint name)
{
    int slot = target == GL_ARRAY_BUFFER ? GLC_ARRAY_BUFFER : target == GL_ELEMENT_ARRAY_BUFFER ? GLC_ELEMENT_BUFFER : -1;
    if (slot >= 0 && g->cache[slot] == int(name)) return;
    g_gl.BindBuffer(target, name);
    if (slot >= 0) g->cache[slot] = int(name);
}

void gl_forget_texture(GlDevice *g, GLuint name)
{
    for (int unit = 0; unit < GL_UNITS; unit++)
        if (g->cache[GLC_TEXTURE0 + unit] == int(name)) g->cache[GLC_TEXTURE0 + unit] = -1;
}

void gl_forget_buffer(GlDevice *g, GLuint name)
{
    if (g->cache[GLC_ARRAY_BUFFER] == int(name)) g->cache[GLC_ARRAY_BUFFER] = -1;
    if (g->cache[GLC_ELEMENT_BUFFER] == int(name)) g->cache[GLC_ELEMENT_BUFFER] = -1;
    g->attributes_known = false;
}

void gl_log_once(int key, const char *message)
{
    if (key < 0 || key >= GL_ONCE_COUNT || g_logged[key]) return;
    g_logged[key] = true;
    fprintf(stderr, "%s\n", message);
}
