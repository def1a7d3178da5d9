// Shader programs of effects on OpenGL: the assembler's instruction list as GLSL 1.20 text, and
// its compilation (one shader object per distinct text). Registers become file-scope vec4s named as
// in the source, so that subroutines share them; constants a uniform array read through rc() for
// relative addresses (0 outside); each instruction computes a vec4, applies its shift, then its
// saturation, then stores its write mask.
#include "platform/gpu/gl/gpu_gl_local.h"
#include "platform/gpu/gpu_effect_local.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

void add(std::string *out, const char *format, ...) __attribute__((format(printf, 2, 3)));
void add(std::string *out, const char *format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    *out += text;
}

struct Translation {
    const GpuProgram *program;
    bool vertex, model2;
    int constants;  // size of the constant array
    const float *defs[256];  // def values by register, null when not defined
    int input_location[16];  // vertex input register -> attribute location, -1 undeclared
    int refused_line;  // a line the back end cannot run, or 0
};

// A float as a GLSL literal (never an integer; out-of-range values clamped to the largest float).
std::string number(float v)
{
    if (!(v == v)) v = 0.0f;
    if (v > 3.402823466e38f) v = 3.402823466e38f;
    if (v < -3.402823466e38f) v = -3.402823466e38f;
    char text[32];
    snprintf(text, sizeof text, "%.9g", double(v));
    std::string s = text;
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}

std::string constant(const Translation &t, int index)
{
    std::string s;
    if (index >= 0 && index < 256 && t.defs[index]) {
        const float *v = t.defs[index];
        s = "vec4(" + number(v[0]) + ", " + number(v[1]) + ", " + number(v[2]) + ", " + number(v[3]) + ")";
    } else if (index >= 0 && index < t.constants) {
        add(&s, t.vertex ? "c[%d]" : "pc[%d]", index);
    } else {
        s = "vec4(0.0)";
    }
    // Pixel shader 1.4 constants lie in -1..1.
    if (!t.vertex && !t.model2) s = "clamp(" + s + ", -1.0, 1.0)";
    return s;
}

// A register read, `offset` registers past the source's own (the rows of a matrix).
std::string register_of(const Translation &t, const GpuSource &src, int offset)
{
    std::string s;
    int index = src.index + offset;
    switch (src.file) {
    case GPU_REG_TEMP: add(&s, "r%d", index); break;
    case GPU_REG_INPUT:
        if (t.vertex)
            add(&s, "v%d", index);
        else
            s = index == 0 ? "gl_Color" : "gl_SecondaryColor";
        break;
    case GPU_REG_CONST:
        if (src.relative)
            add(&s, "rc(%d + ia0.x)", index);
        else
            s = constant(t, index);
        break;
    case GPU_REG_TEXTURE: add(&s, "gl_TexCoord[%d]", index); break;
    case GPU_REG_IMMEDIATE: s = "vec4(" + number(src.immediate) + ")"; break;
    case GPU_REG_ADDRESS: s = "vec4(ia0)"; break;
    default: s = "vec4(0.0)"; break;
    }
    return s;
}

std::string source_of(const Translation &t, const GpuSource &src, int offset = 0)
{
    std::string s = register_of(t, src, offset);
    static const char kNames[] = "xyzw";
    char swizzle[6] = {'.', kNames[src.swizzle[0] & 3], kNames[src.swizzle[1] & 3], kNames[src.swizzle[2] & 3],
                       kNames[src.swizzle[3] & 3], 0};
    if (strcmp(swizzle, ".xyzw") != 0) s = "(" + s + ")" + swizzle;
    switch (src.modifier) {
    case GPU_MOD_NEGATE: return "(-" + s + ")";
    case GPU_MOD_COMPLEMENT: return "(1.0 - " + s + ")";
    case GPU_MOD_BIAS: return "(" + s + " - 0.5)";
    case GPU_MOD_BIAS_NEGATE: return "(-(" + s + " - 0.5))";
    case GPU_MOD_SIGN: return "(2.0 * " + s + " - 1.0)";
    case GPU_MOD_SIGN_NEGATE: return "(-(2.0 * " + s + " - 1.0))";
    case GPU_MOD_X2: return "(2.0 * " + s + ")";
    case GPU_MOD_X2_NEGATE: return "(-(2.0 * " + s + "))";
    default: return s;
    }
}

// The destination register's name; empty for registers the back end cannot write.
std::string dest_of(const Translation &t, const GpuDest &d)
{
    std::string s;
    switch (d.file) {
    case GPU_REG_TEMP: add(&s, "r%d", d.index); break;
    case GPU_REG_POSITION: s = "oPos"; break;
    case GPU_REG_COLOR_OUT: add(&s, "oD%d", d.index); break;
    case GPU_REG_TEXCOORD_OUT: add(&s, "oT%d", d.index); break;
    case GPU_REG_PIXEL_OUT: s = d.index == 0 ? "oC0" : ""; break;
    case GPU_REG_DEPTH_OUT: s = "oDepth"; break;
    default: break;
    }
    (void)t;
    return s;
}

// The vec4 an instruction computes from its sources q0..q2 (already in locals).
bool result_of(const Translation &t, const GpuInstruction &in, std::string *out)
{
    auto matrix = [&](int rows, bool three) {
        std::string s = "vec4(";
        for (int i = 0; i < 4; i++) {
            if (i) s += ", ";
            if (i >= rows) {
                s += "0.0";
                continue;
            }
            std::string row = source_of(t, in.sources[1], i);
            s += three ? "dot(q0.xyz, (" + row + ").xyz)" : "dot(q0, " + row + ")";
        }
        return s + ")";
    };
    switch (in.op) {
    case GPU_OP_MOV:
    case GPU_OP_MOVA:
    case GPU_OP_TEXCRD: *out = "q0"; break;
    case GPU_OP_ADD: *out = "q0 + q1"; break;
    case GPU_OP_SUB: *out = "q0 - q1"; break;
    case GPU_OP_MUL: *out = "q0 * q1"; break;
    case GPU_OP_MAD: *out = "q0 * q1 + q2"; break;
    case GPU_OP_DP3: *out = "vec4(dot(q0.xyz, q1.xyz))"; break;
    case GPU_OP_DP4: *out = "vec4(dot(q0, q1))"; break;
    case GPU_OP_RCP: *out = "vec4(1.0 / q0.w)"; break;
    case GPU_OP_RSQ: *out = "vec4(inversesqrt(abs(q0.w)))"; break;
    case GPU_OP_MIN: *out = "min(q0, q1)"; break;
    case GPU_OP_MAX: *out = "max(q0, q1)"; break;
    case GPU_OP_SGE: *out = "vec4(greaterThanEqual(q0, q1))"; break;
    case GPU_OP_SLT: *out = "vec4(lessThan(q0, q1))"; break;
    case GPU_OP_EXP: *out = "vec4(exp2(q0.w))"; break;
    case GPU_OP_LOG:
    case GPU_OP_LOGP: *out = "vec4(q0.w == 0.0 ? -3.402823466e38 : log2(abs(q0.w)))"; break;
    case GPU_OP_EXPP: *out = "vec4(exp2(floor(q0.w)), q0.w - floor(q0.w), exp2(q0.w), 1.0)"; break;
    case GPU_OP_LIT:
        *out = "vec4(1.0, max(q0.x, 0.0), q0.x > 0.0 && q0.y > 0.0 ? pow(q0.y, clamp(q0.w, -128.0, 128.0)) : 0.0, 1.0)";
        break;
    case GPU_OP_DST: *out = "vec4(1.0, q0.y * q1.y, q0.z, q1.w)"; break;
    case GPU_OP_FRC: *out = "fract(q0)"; break;
    case GPU_OP_ABS: *out = "abs(q0)"; break;
    case GPU_OP_NRM: *out = "q0 * inversesqrt(dot(q0.xyz, q0.xyz))"; break;
    case GPU_OP_POW: *out = "vec4(pow(abs(q0.w), q1.w))"; break;
    case GPU_OP_CRS: *out = "vec4(cross(q0.xyz, q1.xyz), 0.0)"; break;
    case GPU_OP_SINCOS: *out = "vec4(cos(q0.w), sin(q0.w), 0.0, 0.0)"; break;
    case GPU_OP_LRP: *out = "q0 * q1 + (1.0 - q0) * q2"; break;
    case GPU_OP_CMP:
        *out = "vec4(q0.x >= 0.0 ? q1.x : q2.x, q0.y >= 0.0 ? q1.y : q2.y, q0.z >= 0.0 ? q1.z : q2.z, "
               "q0.w >= 0.0 ? q1.w : q2.w)";
        break;
    case GPU_OP_M4X4: *out = matrix(4, false); break;
    case GPU_OP_M4X3: *out = matrix(3, false); break;
    case GPU_OP_M3X4: *out = matrix(4, true); break;
    case GPU_OP_M3X3: *out = matrix(3, true); break;
    case GPU_OP_M3X2: *out = matrix(2, true); break;
    case GPU_OP_TEXLD: {
        // ps.1.4 samples the stage of the register written; 2.x names its sampler.
        int stage = t.model2 ? in.sources[1].index : in.dest.index;
        out->clear();
        add(out, "texture2D(s%d, q0.xy)", stage);
        break;
    }
    default: return false;
    }
    return true;
}

void instruction(Translation &t, const GpuInstruction &in, std::string *s)
{
    if (in.op == GPU_OP_PHASE) {
        // The alpha of temporaries does not survive the phase (undefined on the device: 0 here).
        for (int i = 0; i < 6; i++) add(s, "  r%d.w = 0.0;\n", i);
        return;
    }
    if (in.op == GPU_OP_CALL) {
        add(s, "  l%d();\n", in.sources[0].index);
        return;
    }
    std::string result;
    if (!in.has_dest || !result_of(t, in, &result)) return;
    bool address = in.dest.file == GPU_REG_ADDRESS;
    std::string dest = address ? "ia0" : dest_of(t, in.dest);
    if (dest.empty()) {
        if (!t.refused_line) t.refused_line = in.line;
        return;
    }
    *s += "  {\n";
    bool matrix = in.op >= GPU_OP_M4X4 && in.op <= GPU_OP_M3X2;
    int sources = matrix ? 1 : in.source_count;
    if (in.op == GPU_OP_TEXLD && t.model2) sources = 1;
    for (int i = 0; i < sources; i++) add(s, "    vec4 q%d = %s;\n", i, source_of(t, in.sources[i]).c_str());
    add(s, "    vec4 t = %s;\n", result.c_str());
    if (in.shift) add(s, "    t *= %s;\n", number(in.shift > 0 ? float(1 << in.shift) : 1.0f / float(1 << -in.shift)).c_str());
    if (in.saturate) *s += "    t = clamp(t, 0.0, 1.0);\n";
    // Pixel shader 1.4 arithmetic keeps its range of -8..8.
    if (!t.vertex && !t.model2 && in.op != GPU_OP_TEXLD && in.op != GPU_OP_TEXCRD) *s += "    t = clamp(t, -8.0, 8.0);\n";
    static const char kNames[] = "xyzw";
    std::string mask;
    for (int c = 0; c < 4; c++)
        if (in.dest.mask & (1 << c)) mask += kNames[c];
    if (address) {
        // vs.1.1 moves floor into a0; mova of 2.x rounds.
        add(s, "    ia0.%s = ivec4(floor(t + %s)).%s;\n", mask.c_str(), in.op == GPU_OP_MOVA ? "0.5" : "0.0",
            mask.c_str());
    } else if (in.dest.file == GPU_REG_DEPTH_OUT) {
        *s += "    oDepth = t.x;\n";
    } else {
        add(s, "    %s.%s = t.%s;\n", dest.c_str(), mask.c_str(), mask.c_str());
    }
    *s += "  }\n";
}

// The body of main and of each label function: main runs to the first ret, a label to its ret.
void bodies(Translation &t, std::string *functions, std::string *main_body)
{
    const std::vector<GpuInstruction> &code = t.program->code;
    std::string *at = main_body;
    bool ended = false;
    for (const GpuInstruction &in : code) {
        if (in.op == GPU_OP_LABEL) {
            if (at != main_body) *functions += "}\n";
            add(functions, "void l%d() {\n", in.sources[0].index);
            at = functions;
            ended = false;
            continue;
        }
        if (in.op == GPU_OP_RET) {
            ended = true;
            continue;
        }
        if (ended) continue;
        instruction(t, in, at);
    }
    if (at != main_body) *functions += "}\n";
}

std::string declarations(const Translation &t)
{
    std::string s = "#version 120\n";
    if (t.vertex) {
        for (int i = 0; i < 16; i++)
            if (t.input_location[i] >= 0) add(&s, "attribute vec4 a%d;\n", t.input_location[i]);
        add(&s, "uniform vec4 c[%d];\n", t.constants);
        for (int i = 0; i < 16; i++) add(&s, "vec4 v%d = vec4(0.0);\n", i);
        s += "vec4 oPos = vec4(0.0, 0.0, 0.0, 1.0), oD0 = vec4(1.0), oD1 = vec4(0.0);\n";
        for (int i = 0; i < 8; i++) add(&s, "vec4 oT%d = vec4(0.0, 0.0, 0.0, 1.0);\n", i);
        s += "ivec4 ia0 = ivec4(0);\n";
    } else {
        add(&s, "uniform vec4 pc[%d];\n", t.constants);
        for (int i = 0; i < 16; i++) add(&s, "uniform sampler2D s%d;\n", i);
        s += "vec4 oC0 = vec4(0.0);\nfloat oDepth = 0.0;\n";
    }
    for (int i = 0; i < 32; i++) add(&s, "vec4 r%d = vec4(0.0);\n", i);
    if (t.vertex) {
        // Relative reads: defined constants first, then the array, 0 outside.
        s += "vec4 rc(int i) {\n";
        for (int i = 0; i < 256; i++)
            if (t.defs[i]) add(&s, "  if (i == %d) return %s;\n", i, constant(t, i).c_str());
        add(&s, "  return i >= 0 && i < %d ? c[i] : vec4(0.0);\n}\n", t.constants);
    }
    return s;
}

}  // namespace

int gpu_gl_input_location(const GpuProgram *program, int input)
{
    // The register number, except that position takes location 0 (OpenGL 2.1 draws from attribute
    // 0) and gives its own number to whatever register 0 is.
    int position = -1;
    for (const GpuInstruction &in : program->code)
        if (in.op == GPU_OP_DCL && in.dest.file == GPU_REG_INPUT && in.usage == D3DDECLUSAGE_POSITION && in.usage_index == 0)
            position = in.dest.index;
    if (position <= 0) return input;
    return input == position ? 0 : input == 0 ? position : input;
}

std::string gpu_gl_program_source(const GpuProgram *program, int *refused_line)
{
    Translation t = {};
    t.program = program;
    t.vertex = program->kind == GPU_SHADER_VERTEX;
    t.model2 = D3DSHADER_VERSION_MAJOR(program->version) >= 2;
    t.constants = t.vertex ? (t.model2 ? 256 : 96) : (t.model2 ? 32 : 8);
    for (int &l : t.input_location) l = -1;
    for (const GpuInstruction &in : program->code) {
        if (in.op == GPU_OP_DEF && in.dest.index < 256) t.defs[in.dest.index] = in.values;
        if (in.op == GPU_OP_DCL && t.vertex && in.dest.file == GPU_REG_INPUT && in.dest.index < 16)
            t.input_location[in.dest.index] = gpu_gl_input_location(program, in.dest.index);
        if (in.has_dest && in.dest.file == GPU_REG_PIXEL_OUT && in.dest.index > 0 && !t.refused_line)
            t.refused_line = in.line;  // one colour target only
    }
    std::string functions, body;
    bodies(t, &functions, &body);
    std::string s = declarations(t);
    for (const GpuInstruction &in : program->code)
        if (in.op == GPU_OP_LABEL) add(&s, "void l%d();\n", in.sources[0].index);
    s += functions;
    s += "void main() {\n";
    if (t.vertex)
        for (int i = 0; i < 16; i++)
            if (t.input_location[i] >= 0) add(&s, "  v%d = a%d;\n", i, t.input_location[i]);
    s += body;
    if (t.vertex) {
        // Direct3D's clip z runs 0..w, OpenGL's -w..w.
        s += "  gl_Position = vec4(oPos.xy, 2.0 * oPos.z - oPos.w, oPos.w);\n";
        s += "  gl_FrontColor = clamp(oD0, 0.0, 1.0);\n  gl_FrontSecondaryColor = clamp(oD1, 0.0, 1.0);\n";
        for (int i = 0; i < 8; i++) add(&s, "  gl_TexCoord[%d] = oT%d;\n", i, i);
    } else if (t.model2) {
        s += "  gl_FragColor = oC0;\n";
        for (const GpuInstruction &in : program->code)
            if (in.has_dest && in.dest.file == GPU_REG_DEPTH_OUT) {
                s += "  gl_FragDepth = oDepth;\n";
                break;
            }
    } else {
        s += "  gl_FragColor = clamp(r0, 0.0, 1.0);\n";
    }
    s += "}\n";
    if (refused_line) *refused_line = t.refused_line;
    return s;
}

bool gl_program_create(GpuDevice *device, GpuProgram *program)
{
    int refused = 0;
    std::string source = gpu_gl_program_source(program, &refused);
    if (refused) {
        program->line = refused;  // the front names this line
        return false;
    }
    gl_use(device);
    GLuint shader = gl_compile(gl_device(device), program->kind == GPU_SHADER_VERTEX ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER,
                               source);
    program->backend = reinterpret_cast<void *>(uintptr_t(shader));
    return shader != 0;
}

// Shader objects stay in the device's cache by text (another effect may use the same).
void gl_program_destroy(GpuDevice *, GpuProgram *program) { program->backend = nullptr; }
