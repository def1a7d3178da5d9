// Internals of the OpenGL back end: the entry points beyond OpenGL 1.1, the device record with its
// cache of applied state, and the helpers its files share. Everything runs on the main thread.
#pragma once

#include "platform/gpu/gl/gpu_gl.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdint>
#include <string>
#include <vector>

// Entry points loaded through SDL when a device opens; a missing one refuses the device.
#define GPU_GL_ENTRY_POINTS(X)                                      \
    X(PFNGLACTIVETEXTUREPROC, ActiveTexture)                        \
    X(PFNGLGENBUFFERSPROC, GenBuffers)                              \
    X(PFNGLDELETEBUFFERSPROC, DeleteBuffers)                        \
    X(PFNGLBINDBUFFERPROC, BindBuffer)                              \
    X(PFNGLBUFFERDATAPROC, BufferData)                              \
    X(PFNGLBUFFERSUBDATAPROC, BufferSubData)                        \
    X(PFNGLCREATESHADERPROC, CreateShader)                          \
    X(PFNGLSHADERSOURCEPROC, ShaderSource)                          \
    X(PFNGLCOMPILESHADERPROC, CompileShader)                        \
    X(PFNGLGETSHADERIVPROC, GetShaderiv)                            \
    X(PFNGLGETSHADERINFOLOGPROC, GetShaderInfoLog)                  \
    X(PFNGLDELETESHADERPROC, DeleteShader)                          \
    X(PFNGLCREATEPROGRAMPROC, CreateProgram)                        \
    X(PFNGLATTACHSHADERPROC, AttachShader)                          \
    X(PFNGLBINDATTRIBLOCATIONPROC, BindAttribLocation)              \
    X(PFNGLLINKPROGRAMPROC, LinkProgram)                            \
    X(PFNGLGETPROGRAMIVPROC, GetProgramiv)                          \
    X(PFNGLGETPROGRAMINFOLOGPROC, GetProgramInfoLog)                \
    X(PFNGLDELETEPROGRAMPROC, DeleteProgram)                        \
    X(PFNGLUSEPROGRAMPROC, UseProgram)                              \
    X(PFNGLGETUNIFORMLOCATIONPROC, GetUniformLocation)              \
    X(PFNGLUNIFORM1IPROC, Uniform1i)                                \
    X(PFNGLGETACTIVEUNIFORMPROC, GetActiveUniform)                  \
    X(PFNGLUNIFORM4FVPROC, Uniform4fv)                              \
    X(PFNGLUNIFORMMATRIX4FVPROC, UniformMatrix4fv)                  \
    X(PFNGLVERTEXATTRIBPOINTERPROC, VertexAttribPointer)            \
    X(PFNGLENABLEVERTEXATTRIBARRAYPROC, EnableVertexAttribArray)    \
    X(PFNGLDISABLEVERTEXATTRIBARRAYPROC, DisableVertexAttribArray)  \
    X(PFNGLVERTEXATTRIB4FPROC, VertexAttrib4f)                      \
    X(PFNGLSTENCILOPSEPARATEPROC, StencilOpSeparate)                \
    X(PFNGLSTENCILFUNCSEPARATEPROC, StencilFuncSeparate)

struct GpuGlEntryPoints {
#define GPU_GL_DECLARE(type, name) type name;
    GPU_GL_ENTRY_POINTS(GPU_GL_DECLARE)
#undef GPU_GL_DECLARE
    PFNGLDEBUGMESSAGECALLBACKPROC DebugMessageCallback;  // optional
    PFNGLPROVOKINGVERTEXPROC ProvokingVertex;  // optional
};
extern GpuGlEntryPoints g_gl;
extern GpuGlStats g_gl_stats;

// Vertex attribute locations: the register numbers the shader compiler gives each input usage.
enum {
    GL_ATTR_POSITION = 0,
    GL_ATTR_BLENDWEIGHT = 1,
    GL_ATTR_BLENDINDICES = 2,
    GL_ATTR_NORMAL = 3,
    GL_ATTR_PSIZE = 4,
    GL_ATTR_COLOR0 = 5,
    GL_ATTR_COLOR1 = 6,
    GL_ATTR_TEXCOORD0 = 7,
    GL_ATTRS = 16,
};
#define GL_TEXCOORD_SETS 8  // texcoord n at location 7 + n
#define GL_UNITS 8          // texture units drawn from

// Applied state the draw code compares against, -1 for unknown (after open and reset).
enum GlCacheSlot {
    GLC_DEPTH_TEST, GLC_DEPTH_MASK, GLC_DEPTH_FUNC, GLC_BLEND, GLC_BLEND_SRC, GLC_BLEND_DST,
    GLC_ALPHA_TEST, GLC_ALPHA_FUNC, GLC_ALPHA_REF, GLC_CULL, GLC_OFFSET, GLC_SHADE, GLC_DITHER,
    GLC_STENCIL_TEST, GLC_STENCIL_TWO_SIDED, GLC_STENCIL_FUNC, GLC_STENCIL_REF, GLC_STENCIL_MASK,
    GLC_STENCIL_WRITE, GLC_STENCIL_OPS, GLC_STENCIL_BACK_FUNC, GLC_STENCIL_BACK_OPS,
    GLC_VIEW_X, GLC_VIEW_Y, GLC_VIEW_W, GLC_VIEW_H, GLC_DEPTH_NEAR, GLC_DEPTH_FAR,
    GLC_PROGRAM, GLC_ARRAY_BUFFER, GLC_ELEMENT_BUFFER, GLC_ACTIVE_UNIT,
    GLC_TEXTURE0,  // one per unit
    GLC_COUNT = GLC_TEXTURE0 + GL_UNITS,
};

// One vertex attribute as last pointed at.
struct GlAttribute {
    bool enabled;
    GLuint buffer;
    const void *pointer;
    GLint size;
    GLenum type;
    GLboolean normalised;
    GLsizei stride;
};

// A linked program: which shaders, and where its uniforms are.
struct GlLinked {
    GLuint vertex, fragment;  // shader objects (the key)
    GLuint program;
    GLint mvp, screen;  // fixed-function vertex uniforms, -1 when absent
    GLint vs_constants, ps_constants;  // shader programs' constant arrays
    int vs_count, ps_count;  // their sizes
    std::vector<float> vs_sent, ps_sent;  // what they hold, so that unchanged values are not sent
    GLint fog, fog_colour;  // the fogged fragment shaders' uniforms, -1 when absent
    float fog_sent[8];  // what they hold
};

// A compiled shader object, kept by its source so that equal texts compile once.
struct GlShader {
    std::string source;
    GLenum kind;
    GLuint shader;
};

// Fixed-function programs by key (the key holds no padding: compared as bytes).
struct GlFixedKey {
    uint32_t vertex;  // bit 0 pre-transformed, 1 colour 0, 2 colour 1, bits 4-7 stages, 8.. sets
    uint8_t stages[GPU_STAGES][6];  // op, arg1, arg2 for colour then alpha, up to the first DISABLE
};
struct GlFixedVertex {
    uint32_t key;
    GLuint shader;
};
struct GlFixedFragment {
    uint8_t key[GPU_STAGES][6];
    GLuint shader;
};
// A fragment shader and its copy that blends its colour into the fog.
struct GlFogged {
    GLuint plain, fogged;
};

struct GlDevice {
    void *window;  // SDL_Window*
    void *context;  // SDL_GLContext
    int width, height;  // of the back buffer
    int cache[GLC_COUNT];
    GlAttribute attributes[GL_ATTRS];
    bool attributes_known;
    GLuint white;  // 1 x 1 opaque white texture: unbound stages sample it
    std::vector<GlShader> shaders;
    std::vector<GlLinked> linked;
    std::vector<GlFixedVertex> fixed_vertex;
    std::vector<GlFixedFragment> fixed_fragment;
    std::vector<GlFogged> fogged;
    int last_vertex, last_fragment, last_linked;  // the previous draw's, or -1
};

// Per texture: the GL name and the sampler states it was last given.
struct GlTexture {
    GLuint name;
    GLenum format, type;
    int address_u, address_v, min_filter, mag_filter;
};

struct GlBuffer {
    GLuint name;
    GLenum target;
};

GlDevice *gl_device(GpuDevice *device);
// Makes the device's context current (the back end may hold several devices).
void gl_use(GpuDevice *device);
// Forgets every applied state, so the next draw sets all of it again.
void gl_cache_forget(GlDevice *g);
// Binds a texture to a unit through the cache. The active unit changes only when a bind happens
// (each switch costs the driver a validation of every unit): calls that act on the bound texture
// make its unit active first with gl_active_unit.
void gl_bind_texture(GlDevice *g, int unit, GLuint name);
void gl_active_unit(GlDevice *g, int unit);
void gl_bind_buffer(GlDevice *g, GLenum target, GLuint name);
// A GL name went away: cached bindings of it are forgotten (names are reused).
void gl_forget_texture(GlDevice *g, GLuint name);
void gl_forget_buffer(GlDevice *g, GLuint name);
// Gives a texture bound at `unit` the stage's sampler states, skipping those it already has.
void gl_apply_sampler(GlDevice *g, int unit, GlTexture *texture, const DWORD *sampler, bool single_level);
// Logs a message once per run and key (a small fixed set of keys).
void gl_log_once(int key, const char *message);
enum { GL_ONCE_INTERVAL, GL_ONCE_LIGHTING, GL_ONCE_BASE_VERTEX, GL_ONCE_LINK, GL_ONCE_COUNT };

// Shader objects and linked programs (gpu_gl_draw.cpp). Compile returns 0 on failure (logged).
GLuint gl_compile(GlDevice *g, GLenum kind, const std::string &source);
int gl_link(GlDevice *g, GLuint vertex, GLuint fragment);

// Fixed-function programs (gpu_gl_fixed.cpp): the key of a draw's layout and stage states, and
// the GLSL of each half.
// With `all_sets` (a pixel program follows) every stage's coordinate set is passed on.
void gl_fixed_key(const GpuState &s, const GpuVertexLayout &layout, bool all_sets, GlFixedKey *key);
int gl_fixed_stage_count(const GlFixedKey &key);
std::string gl_fixed_vertex_source(const GlFixedKey &key);
std::string gl_fixed_fragment_source(const GlFixedKey &key);

// Buffers and textures (gpu_gl_resource.cpp).
bool gl_buffer_create(GpuDevice *device, GpuBufferData *buffer);
void gl_buffer_destroy(GpuDevice *device, GpuBufferData *buffer);
void gl_buffer_upload(GpuDevice *device, GpuBufferData *buffer, UINT offset, UINT size);
bool gl_texture_create(GpuDevice *device, GpuTexture *texture);
void gl_texture_destroy(GpuDevice *device, GpuTexture *texture);
void gl_texture_upload(GpuDevice *device, GpuTexture *texture, UINT level, const RECT &rect);

// Draws (gpu_gl_draw.cpp).
void gl_draw(GpuDevice *device, const GpuDraw &draw);
// Shader programs of effects (gpu_gl_glsl.cpp): the GLSL of an instruction list, and a line the
// back end cannot run (0 when none).
std::string gpu_gl_program_source(const GpuProgram *program, int *refused_line);
// The attribute location of a vertex program's input register.
int gpu_gl_input_location(const GpuProgram *program, int input);
bool gl_program_create(GpuDevice *device, GpuProgram *program);
void gl_program_destroy(GpuDevice *device, GpuProgram *program);
