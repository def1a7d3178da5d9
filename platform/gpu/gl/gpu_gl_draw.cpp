// The OpenGL back end's draws: render states through the cache of applied state, the program for
// the draw (linked at its first use and kept), textures and their samplers, vertex attributes.
#include "platform/gpu/gl/gpu_gl_local.h"
#include "platform/gpu/gpu_effect_local.h"

#include <cstdio>
#include <cstring>

namespace {

int changed(GlDevice *g, int slot, int value)
{
    if (g->cache[slot] == value) return false;
    g->cache[slot] = value;
    return true;
}

void enable(GlDevice *g, int slot, GLenum capability, bool on)
{
    if (!changed(g, slot, on)) return;
    if (on)
        glEnable(capability);
    else
        glDisable(capability);
}

GLenum compare_of(DWORD func)
{
    static const GLenum kCompare[] = {GL_NEVER, GL_NEVER, GL_LESS, GL_EQUAL, GL_LEQUAL,
                                      GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
    return func < 9 ? kCompare[func] : GL_ALWAYS;
}

GLenum blend_of(DWORD blend)
{
    static const GLenum kBlend[] = {GL_ONE, GL_ZERO, GL_ONE, GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR, GL_SRC_ALPHA,
                                    GL_ONE_MINUS_SRC_ALPHA, GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA, GL_DST_COLOR,
                                    GL_ONE_MINUS_DST_COLOR};
    return blend < 11 ? kBlend[blend] : GL_ONE;
}

GLenum stencil_op_of(DWORD op)
{
    static const GLenum kOps[] = {GL_KEEP, GL_KEEP, GL_ZERO, GL_REPLACE, GL_INCR, GL_DECR, GL_INVERT,
                                  GL_INCR_WRAP, GL_DECR_WRAP};
    return op < 9 ? kOps[op] : GL_KEEP;
}

GLenum primitive_of(D3DPRIMITIVETYPE type)
{
    switch (type) {
    case D3DPT_POINTLIST: return GL_POINTS;
    case D3DPT_LINELIST: return GL_LINES;
    case D3DPT_LINESTRIP: return GL_LINE_STRIP;
    case D3DPT_TRIANGLESTRIP: return GL_TRIANGLE_STRIP;
    case D3DPT_TRIANGLEFAN: return GL_TRIANGLE_FAN;
    default: return GL_TRIANGLES;
    }
}

// The alpha test compares 8-bit alpha with the reference; half a step keeps values equal to the
// reference on the side the function puts them, whatever the float rounding of the colour.
float alpha_reference(DWORD func, DWORD ref)
{
    float r = float(ref & 0xFF);
    if (func == D3DCMP_GREATER || func == D3DCMP_LESSEQUAL) r += 0.5f;
    if (func == D3DCMP_LESS || func == D3DCMP_GREATEREQUAL) r -= 0.5f;
    return r / 255.0f;
}

void apply_depth_blend_alpha(GlDevice *g, const DWORD *rs)
{
    enable(g, GLC_DEPTH_TEST, GL_DEPTH_TEST, rs[D3DRS_ZENABLE] != D3DZB_FALSE);
    if (changed(g, GLC_DEPTH_MASK, rs[D3DRS_ZWRITEENABLE] != 0)) glDepthMask(rs[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
    if (changed(g, GLC_DEPTH_FUNC, int(rs[D3DRS_ZFUNC]))) glDepthFunc(compare_of(rs[D3DRS_ZFUNC]));
    enable(g, GLC_BLEND, GL_BLEND, rs[D3DRS_ALPHABLENDENABLE] != 0);
    if (rs[D3DRS_ALPHABLENDENABLE] && (changed(g, GLC_BLEND_SRC, int(rs[D3DRS_SRCBLEND])) |
                                       changed(g, GLC_BLEND_DST, int(rs[D3DRS_DESTBLEND]))))
        glBlendFunc(blend_of(rs[D3DRS_SRCBLEND]), blend_of(rs[D3DRS_DESTBLEND]));
    enable(g, GLC_ALPHA_TEST, GL_ALPHA_TEST, rs[D3DRS_ALPHATESTENABLE] != 0);
    if (rs[D3DRS_ALPHATESTENABLE] && (changed(g, GLC_ALPHA_FUNC, int(rs[D3DRS_ALPHAFUNC])) |
                                      changed(g, GLC_ALPHA_REF, int(rs[D3DRS_ALPHAREF] & 0xFF))))
        glAlphaFunc(compare_of(rs[D3DRS_ALPHAFUNC]), alpha_reference(rs[D3DRS_ALPHAFUNC], rs[D3DRS_ALPHAREF]));
}

void apply_raster(GlDevice *g, const DWORD *rs)
{
    // Front faces are clockwise (glFrontFace at open): CCW culls the back, CW the front.
    int cull = rs[D3DRS_CULLMODE] == D3DCULL_CCW ? 1 : rs[D3DRS_CULLMODE] == D3DCULL_CW ? 2 : 0;
    if (changed(g, GLC_CULL, cull)) {
        if (cull == 0) {
            glDisable(GL_CULL_FACE);
        } else {
            glEnable(GL_CULL_FACE);
            glCullFace(cull == 1 ? GL_BACK : GL_FRONT);
        }
    }
    int bias = int(rs[D3DRS_ZBIAS] & 0xFF);
    if (changed(g, GLC_OFFSET, bias)) {
        if (bias == 0) {
            glDisable(GL_POLYGON_OFFSET_FILL);
        } else {
            glEnable(GL_POLYGON_OFFSET_FILL);
            glPolygonOffset(-1.0f, -float(bias));
        }
    }
    if (changed(g, GLC_SHADE, rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT)) glShadeModel(rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT ? GL_FLAT : GL_SMOOTH);
    enable(g, GLC_DITHER, GL_DITHER, rs[D3DRS_DITHERENABLE] != 0);
}

int pack_ops(DWORD fail, DWORD zfail, DWORD pass) { return int((fail & 15) | (zfail & 15) << 4 | (pass & 15) << 8); }

void apply_stencil(GlDevice *g, const DWORD *rs)
{
    bool on = rs[D3DRS_STENCILENABLE] != 0;
    enable(g, GLC_STENCIL_TEST, GL_STENCIL_TEST, on);
    if (!on) return;
    bool two = rs[D3DRS_TWOSIDEDSTENCILMODE] != 0;
    bool sides = changed(g, GLC_STENCIL_TWO_SIDED, two);
    int ref = int(rs[D3DRS_STENCILREF] & 0xFF), mask = int(rs[D3DRS_STENCILMASK] & 0xFF);
    if (changed(g, GLC_STENCIL_WRITE, int(rs[D3DRS_STENCILWRITEMASK] & 0xFF))) glStencilMask(rs[D3DRS_STENCILWRITEMASK] & 0xFF);
    bool func = changed(g, GLC_STENCIL_FUNC, int(rs[D3DRS_STENCILFUNC])) | changed(g, GLC_STENCIL_REF, ref) |
                changed(g, GLC_STENCIL_MASK, mask);
    bool ops = changed(g, GLC_STENCIL_OPS, pack_ops(rs[D3DRS_STENCILFAIL], rs[D3DRS_STENCILZFAIL], rs[D3DRS_STENCILPASS]));
    bool back_func = changed(g, GLC_STENCIL_BACK_FUNC, two ? int(rs[D3DRS_CCW_STENCILFUNC]) : -2);
    bool back_ops = changed(g, GLC_STENCIL_BACK_OPS, two ? pack_ops(rs[D3DRS_CCW_STENCILFAIL], rs[D3DRS_CCW_STENCILZFAIL],
                                                                 rs[D3DRS_CCW_STENCILPASS])
                                                          : -2);
    // Counter-clockwise triangles are GL's back faces: they take the CCW_ states in two-sided mode.
    GLenum front = two ? GL_FRONT : GL_FRONT_AND_BACK;
    if (sides || func || back_func)
        g_gl.StencilFuncSeparate(front, compare_of(rs[D3DRS_STENCILFUNC]), ref, GLuint(mask));
    if (sides || ops || back_ops)
        g_gl.StencilOpSeparate(front, stencil_op_of(rs[D3DRS_STENCILFAIL]), stencil_op_of(rs[D3DRS_STENCILZFAIL]),
                               stencil_op_of(rs[D3DRS_STENCILPASS]));
    if (two && (sides || func || back_func))
        g_gl.StencilFuncSeparate(GL_BACK, compare_of(rs[D3DRS_CCW_STENCILFUNC]), ref, GLuint(mask));
    if (two && (sides || ops || back_ops))
        g_gl.StencilOpSeparate(GL_BACK, stencil_op_of(rs[D3DRS_CCW_STENCILFAIL]),
                               stencil_op_of(rs[D3DRS_CCW_STENCILZFAIL]), stencil_op_of(rs[D3DRS_CCW_STENCILPASS]));
}

void apply_viewport(GlDevice *g, const D3DVIEWPORT9 &v)
{
    int y = g->height - int(v.Y) - int(v.Height);
    if (changed(g, GLC_VIEW_X, int(v.X)) | changed(g, GLC_VIEW_Y, y) | changed(g, GLC_VIEW_W, int(v.Width)) |
        changed(g, GLC_VIEW_H, int(v.Height)))
        glViewport(GLint(v.X), y, GLsizei(v.Width), GLsizei(v.Height));
    int near_bits, far_bits;
    memcpy(&near_bits, &v.MinZ, 4);
    memcpy(&far_bits, &v.MaxZ, 4);
    if (changed(g, GLC_DEPTH_NEAR, near_bits) | changed(g, GLC_DEPTH_FAR, far_bits)) glDepthRange(v.MinZ, v.MaxZ);
}

// Row-vector product a x b of two 4 x 4 matrices stored row by row.
void multiply(const float *a, const float *b, float *out)
{
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++)
            out[r * 4 + c] = a[r * 4] * b[c] + a[r * 4 + 1] * b[4 + c] + a[r * 4 + 2] * b[8 + c] + a[r * 4 + 3] * b[12 + c];
}

GLuint fixed_vertex(GlDevice *g, const GlFixedKey &key)
{
    if (g->last_vertex >= 0 && g->fixed_vertex[size_t(g->last_vertex)].key == key.vertex)
        return g->fixed_vertex[size_t(g->last_vertex)].shader;
    for (size_t i = 0; i < g->fixed_vertex.size(); i++) {
        if (g->fixed_vertex[i].key != key.vertex) continue;
        g->last_vertex = int(i);
        return g->fixed_vertex[i].shader;
    }
    GLuint shader = gl_compile(g, GL_VERTEX_SHADER, gl_fixed_vertex_source(key));
    g->fixed_vertex.push_back(GlFixedVertex{key.vertex, shader});
    g->last_vertex = int(g->fixed_vertex.size() - 1);
    return shader;
}

GLuint fixed_fragment(GlDevice *g, const GlFixedKey &key)
{
    if (g->last_fragment >= 0 && memcmp(g->fixed_fragment[size_t(g->last_fragment)].key, key.stages, sizeof key.stages) == 0)
        return g->fixed_fragment[size_t(g->last_fragment)].shader;
    for (size_t i = 0; i < g->fixed_fragment.size(); i++) {
        if (memcmp(g->fixed_fragment[i].key, key.stages, sizeof key.stages) != 0) continue;
        g->last_fragment = int(i);
        return g->fixed_fragment[i].shader;
    }
    GlFixedFragment f;
    memcpy(f.key, key.stages, sizeof key.stages);
    f.shader = gl_compile(g, GL_FRAGMENT_SHADER, gl_fixed_fragment_source(key));
    g->fixed_fragment.push_back(f);
    g->last_fragment = int(g->fixed_fragment.size() - 1);
    return f.shader;
}

GLuint program_shader(const GpuProgramRef &program)
{
    return GLuint(reinterpret_cast<uintptr_t>(program->backend));
}

// Linear fog by the view depth of each pixel: the clip w, which a perspective projection makes
// the eye-space depth (Direct3D's table fog). Off unless enabled in the linear table mode.
bool fog_on(const DWORD *rs) { return rs[D3DRS_FOGENABLE] && rs[D3DRS_FOGTABLEMODE] == D3DFOG_LINEAR; }

// The fragment shader's copy that mixes its colour toward the fog colour, made at its first use:
// the fog's uniforms declared after the version line, the mix at the end of main.
GLuint fogged_fragment(GlDevice *g, GLuint plain)
{
    for (const GlFogged &f : g->fogged)
        if (f.plain == plain) return f.fogged;
    std::string source;
    for (const GlShader &shader : g->shaders)
        if (shader.shader == plain) source = shader.source;
    const size_t version = source.find('\n'), end = source.rfind('}');
    if (version == std::string::npos || end == std::string::npos || end < version) return plain;
    source.insert(end, "  gl_FragColor.rgb = mix(fog_colour.rgb, gl_FragColor.rgb, "
                       "clamp(fog.x / gl_FragCoord.w + fog.y, 0.0, 1.0));\n");
    source.insert(version + 1, "uniform vec4 fog;\nuniform vec4 fog_colour;\n");
    GLuint fogged = gl_compile(g, GL_FRAGMENT_SHADER, source);
    if (!fogged) fogged = plain;  // drawn without its fog rather than not at all
    g->fogged.push_back(GlFogged{plain, fogged});
    return fogged;
}

// The fog's factor as scale and offset of the depth (1 near, 0 beyond the end) and its colour.
void set_fog_uniforms(GlLinked *l, const DWORD *rs)
{
    if (l->fog < 0 && l->fog_colour < 0) return;
    float start, end;
    memcpy(&start, &rs[D3DRS_FOGSTART], 4);
    memcpy(&end, &rs[D3DRS_FOGEND], 4);
    const float range = end - start > 1e-6f ? end - start : 1e-6f;
    const DWORD c = rs[D3DRS_FOGCOLOR];
    const float values[8] = {-1.0f / range, end / range, 0.0f, 0.0f, float((c >> 16) & 0xFF) / 255.0f,
                             float((c >> 8) & 0xFF) / 255.0f, float(c & 0xFF) / 255.0f, 1.0f};
    if (memcmp(values, l->fog_sent, sizeof values) == 0) return;
    memcpy(l->fog_sent, values, sizeof values);
    if (l->fog >= 0) g_gl.Uniform4fv(l->fog, 1, values);
    if (l->fog_colour >= 0) g_gl.Uniform4fv(l->fog_colour, 1, values + 4);
}

// The linked program of the draw: the previous draw's when it is the same pair.
int linked_program(GlDevice *g, GLuint vs, GLuint fs)
{
    if (!vs || !fs) return -1;
    if (g->last_linked >= 0) {
        const GlLinked &l = g->linked[size_t(g->last_linked)];
        if (l.vertex == vs && l.fragment == fs) return g->last_linked;
    }
    int linked = gl_link(g, vs, fs);
    if (linked >= 0) g->last_linked = linked;
    return linked;
}

void use_program(GlDevice *g, const GlLinked &l)
{
    if (changed(g, GLC_PROGRAM, int(l.program))) g_gl.UseProgram(l.program);
}

void set_fixed_uniforms(const GlLinked &l, const GpuState &s)
{
    if (l.mvp >= 0) {
        float wv[16], wvp[16];
        multiply(s.world, s.view, wv);
        multiply(wv, s.projection, wvp);
        g_gl.UniformMatrix4fv(l.mvp, 1, GL_FALSE, wvp);
    }
    if (l.screen >= 0) {
        const D3DVIEWPORT9 &v = s.viewport;
        float screen[4] = {float(v.X), float(v.Y), 2.0f / float(v.Width), 2.0f / float(v.Height)};
        g_gl.Uniform4fv(l.screen, 1, screen);
    }
}

// Sends a program's constant array unless it already holds these values.
void send_constants(GLint location, int count, const float *values, std::vector<float> *sent)
{
    if (location < 0 || count <= 0) return;
    size_t n = size_t(count) * 4;
    if (sent->size() == n && memcmp(sent->data(), values, n * sizeof(float)) == 0) return;
    sent->assign(values, values + n);
    g_gl.Uniform4fv(location, count, values);
}

void bind_textures(GlDevice *g, const GpuState &s, int units)
{
    for (int unit = 0; unit < units; unit++) {
        GpuTexture *texture = s.textures[unit];
        if (!texture) {
            gl_bind_texture(g, unit, g->white);
            continue;
        }
        GlTexture *t = static_cast<GlTexture *>(texture->backend);
        gl_bind_texture(g, unit, t->name);
        gl_apply_sampler(g, unit, t, s.sampler[unit], texture->levels.size() == 1);
    }
}

// A vertex program reads an element through the register its dcl names; -1 when it reads none.
int program_location_of(const GpuProgram *program, const GpuVertexElement &e)
{
    for (const GpuInstruction &in : program->code)
        if (in.op == GPU_OP_DCL && in.dest.file == GPU_REG_INPUT && in.usage == e.usage && in.usage_index == e.usage_index)
            return gpu_gl_input_location(program, in.dest.index);
    return -1;
}

int location_of(const GpuVertexElement &e)
{
    switch (e.usage) {
    case D3DDECLUSAGE_POSITION:
    case D3DDECLUSAGE_POSITIONT: return e.usage_index == 0 ? GL_ATTR_POSITION : -1;
    case D3DDECLUSAGE_BLENDWEIGHT: return GL_ATTR_BLENDWEIGHT;
    case D3DDECLUSAGE_BLENDINDICES: return GL_ATTR_BLENDINDICES;
    case D3DDECLUSAGE_NORMAL: return GL_ATTR_NORMAL;
    case D3DDECLUSAGE_PSIZE: return GL_ATTR_PSIZE;
    case D3DDECLUSAGE_COLOR: return e.usage_index < 2 ? GL_ATTR_COLOR0 + e.usage_index : -1;
    case D3DDECLUSAGE_TEXCOORD: return e.usage_index < GL_TEXCOORD_SETS ? GL_ATTR_TEXCOORD0 + e.usage_index : -1;
    default: return -1;
    }
}

void point_attribute(GlDevice *g, int location, const GlAttribute &a)
{
    GlAttribute &known = g->attributes[location];
    if (g->attributes_known && known.enabled && known.buffer == a.buffer && known.pointer == a.pointer &&
        known.size == a.size && known.type == a.type && known.normalised == a.normalised && known.stride == a.stride)
        return;
    gl_bind_buffer(g, GL_ARRAY_BUFFER, a.buffer);
    if (!g->attributes_known || !known.enabled) g_gl.EnableVertexAttribArray(GLuint(location));
    g_gl.VertexAttribPointer(GLuint(location), a.size, a.type, a.normalised, a.stride, a.pointer);
    known = a;
}

// Points every attribute the layout has at its stream; false when a pointer would fall before
// the start of its buffer (a negative base vertex).
bool set_attributes(GlDevice *g, const GpuState &s, const GpuDraw &draw)
{
    bool used[GL_ATTRS] = {};
    for (int i = 0; i < draw.layout.count; i++) {
        const GpuVertexElement &e = draw.layout.elements[i];
        int location = s.vertex_program ? program_location_of(s.vertex_program.get(), e) : location_of(e);
        if (location < 0 || location >= GL_ATTRS) continue;
        GlAttribute a = {true, 0, nullptr, 4, GL_FLOAT, GL_FALSE, 0};
        if (e.type <= D3DDECLTYPE_FLOAT4) {
            a.size = e.type + 1;
        } else if (e.type == D3DDECLTYPE_D3DCOLOR) {
            a.size = GL_BGRA;  // bytes B, G, R, A read as r, g, b, a
            a.type = GL_UNSIGNED_BYTE;
            a.normalised = GL_TRUE;
        } else {
            a.type = GL_UNSIGNED_BYTE;
        }
        if (draw.user_vertices) {
            a.pointer = static_cast<const uint8_t *>(draw.user_vertices) + e.offset;
            a.stride = GLsizei(draw.user_stride);
        } else {
            int64_t at = int64_t(s.stream_offset[e.stream]) + int64_t(draw.base_vertex) * s.stream_stride[e.stream] + e.offset;
            if (at < 0) return false;
            a.buffer = static_cast<GlBuffer *>(s.stream[e.stream]->data.backend)->name;
            a.pointer = reinterpret_cast<const void *>(intptr_t(at));
            a.stride = GLsizei(s.stream_stride[e.stream]);
        }
        point_attribute(g, location, a);
        used[location] = true;
    }
    for (int location = 0; location < GL_ATTRS; location++) {
        GlAttribute &known = g->attributes[location];
        if (used[location] || (g->attributes_known && !known.enabled)) continue;
        g_gl.DisableVertexAttribArray(GLuint(location));
        known.enabled = false;
    }
    g->attributes_known = true;
    return true;
}

// The declared size of an active uniform array (at most `most`), 0 when it is not active.
int uniform_size(GLuint program, const char *name, int most)
{
    GLint count = 0;
    g_gl.GetProgramiv(program, GL_ACTIVE_UNIFORMS, &count);
    for (GLint i = 0; i < count; i++) {
        char found[64];
        GLint size = 0;
        GLenum type;
        g_gl.GetActiveUniform(program, GLuint(i), sizeof found, nullptr, &size, &type, found);
        std::string base = found;
        if (base.size() > 3 && base.compare(base.size() - 3, 3, "[0]") == 0) base.resize(base.size() - 3);
        if (base == name) return size < most ? size : most;
    }
    return 0;
}

}  // namespace

GLuint gl_compile(GlDevice *g, GLenum kind, const std::string &source)
{
    for (const GlShader &s : g->shaders)
        if (s.kind == kind && s.source == source) return s.shader;
    GLuint shader = g_gl.CreateShader(kind);
    const char *text = source.c_str();
    g_gl.ShaderSource(shader, 1, &text, nullptr);
    g_gl.CompileShader(shader);
    g_gl_stats.shaders_compiled++;
    GLint ok = 0;
    g_gl.GetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024] = "";
        g_gl.GetShaderInfoLog(shader, sizeof log, nullptr, log);
        fprintf(stderr, "gpu: GLSL does not compile: %s\n", log);
        g_gl.DeleteShader(shader);
        return 0;
    }
    g->shaders.push_back(GlShader{source, kind, shader});
    return shader;
}

int gl_link(GlDevice *g, GLuint vertex, GLuint fragment)
{
    for (size_t i = 0; i < g->linked.size(); i++)
        if (g->linked[i].vertex == vertex && g->linked[i].fragment == fragment) return g->linked[i].program ? int(i) : -1;
    GLuint program = g_gl.CreateProgram();
    g_gl.AttachShader(program, vertex);
    g_gl.AttachShader(program, fragment);
    for (int location = 0; location < GL_ATTRS; location++) {
        char name[16];
        snprintf(name, sizeof name, "a%d", location);
        g_gl.BindAttribLocation(program, GLuint(location), name);
    }
    g_gl.LinkProgram(program);
    g_gl_stats.programs_linked++;
    GLint ok = 0;
    g_gl.GetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[1024] = "";
        g_gl.GetProgramInfoLog(program, sizeof log, nullptr, log);
        fprintf(stderr, "gpu: GLSL does not link: %s\n", log);
        g_gl.DeleteProgram(program);
        // Kept as program 0, so that the draws of this pair do not link again every frame.
        g->linked.push_back(GlLinked{vertex, fragment, 0, -1, -1, -1, -1, 0, 0, {}, {}, -1, -1, {}});
        return -1;
    }
    GlLinked l = {vertex, fragment, program, -1, -1, -1, -1, 0, 0, {}, {}, -1, -1, {}};
    l.mvp = g_gl.GetUniformLocation(program, "mvp");
    l.screen = g_gl.GetUniformLocation(program, "screen");
    l.vs_constants = g_gl.GetUniformLocation(program, "c");
    l.ps_constants = g_gl.GetUniformLocation(program, "pc");
    l.vs_count = uniform_size(program, "c", GPU_VS_CONSTANTS);
    l.ps_count = uniform_size(program, "pc", GPU_PS_CONSTANTS);
    l.fog = g_gl.GetUniformLocation(program, "fog");
    l.fog_colour = g_gl.GetUniformLocation(program, "fog_colour");
    g_gl.UseProgram(program);
    g->cache[GLC_PROGRAM] = int(program);
    for (int unit = 0; unit < GL_UNITS; unit++) {
        char name[16];
        snprintf(name, sizeof name, "s%d", unit);
        GLint sampler = g_gl.GetUniformLocation(program, name);
        if (sampler >= 0) g_gl.Uniform1i(sampler, unit);
    }
    g->linked.push_back(l);
    return int(g->linked.size() - 1);
}

void gl_draw(GpuDevice *device, const GpuDraw &draw)
{
    gl_use(device);
    GlDevice *g = gl_device(device);
    const GpuState &s = *device->state;
    const DWORD *rs = s.render;
    apply_depth_blend_alpha(g, rs);
    apply_raster(g, rs);
    apply_stencil(g, rs);
    apply_viewport(g, s.viewport);
    GlFixedKey key;
    gl_fixed_key(s, draw.layout, s.pixel_program != nullptr, &key);
    GLuint vs, fs;
    if (s.vertex_program) {
        vs = program_shader(s.vertex_program);
    } else {
        if (rs[D3DRS_LIGHTING] && !(key.vertex & 1))
            gl_log_once(GL_ONCE_LIGHTING, "gpu: fixed-function lighting is not drawn; lit draws show unlit");
        vs = fixed_vertex(g, key);
    }
    fs = s.pixel_program ? program_shader(s.pixel_program) : fixed_fragment(g, key);
    if (fs && fog_on(rs)) fs = fogged_fragment(g, fs);
    int linked = linked_program(g, vs, fs);
    if (linked < 0) {
        gl_log_once(GL_ONCE_LINK, "gpu: a draw whose programs do not link is skipped");
        return;
    }
    const GlLinked &l = g->linked[size_t(linked)];
    use_program(g, l);
    set_fixed_uniforms(l, s);
    send_constants(l.vs_constants, l.vs_count, &s.vs_constants[0][0], &g->linked[size_t(linked)].vs_sent);
    send_constants(l.ps_constants, l.ps_count, &s.ps_constants[0][0], &g->linked[size_t(linked)].ps_sent);
    set_fog_uniforms(&g->linked[size_t(linked)], rs);
    bind_textures(g, s, s.pixel_program ? GL_UNITS : gl_fixed_stage_count(key));
    if (!set_attributes(g, s, draw)) {
        gl_log_once(GL_ONCE_BASE_VERTEX, "gpu: a draw whose base vertex falls before its buffer is skipped");
        return;
    }
    GLenum mode = primitive_of(draw.type);
    g_gl_stats.draws++;
    if (draw.indexed) {
        const GpuIndexBuffer *ib = s.indices;
        bool wide = ib->data.format == D3DFMT_INDEX32;
        gl_bind_buffer(g, GL_ELEMENT_ARRAY_BUFFER, static_cast<GlBuffer *>(ib->data.backend)->name);
        glDrawElements(mode, GLsizei(draw.vertex_count), wide ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                       reinterpret_cast<const void *>(uintptr_t(draw.start) * (wide ? 4 : 2)));
    } else {
        glDrawArrays(mode, draw.user_vertices ? 0 : GLint(draw.start), GLsizei(draw.vertex_count));
    }
}
