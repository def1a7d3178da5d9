// The CPU reference of the graphics device; see gpu_reference.h.
#include "tests/gl/gpu_reference.h"

#include <cmath>
#include <cstring>

namespace {

float clamp01(float x) { return x < 0.0f ? 0.0f : x > 1.0f ? 1.0f : x; }

RefColour arg_of(DWORD arg, const RefColour &diffuse, const RefColour &specular, const RefColour &current,
                 const RefColour &texture)
{
    switch (arg & 7) {
    case D3DTA_DIFFUSE: return diffuse;
    case D3DTA_TEXTURE: return texture;
    case D3DTA_SPECULAR: return specular;
    default: return current;
    }
}

float op_of(DWORD op, float a, float b)
{
    switch (op) {
    case D3DTOP_SELECTARG2: return clamp01(b);
    case D3DTOP_MODULATE: return clamp01(a * b);
    case D3DTOP_MODULATE2X: return clamp01(2.0f * a * b);
    case D3DTOP_MODULATE4X: return clamp01(4.0f * a * b);
    case D3DTOP_ADD: return clamp01(a + b);
    case D3DTOP_ADDSIGNED: return clamp01(a + b - 0.5f);
    case D3DTOP_ADDSIGNED2X: return clamp01(2.0f * (a + b - 0.5f));
    case D3DTOP_SUBTRACT: return clamp01(a - b);
    default: return clamp01(a);
    }
}

float dot3(const RefColour &a, const RefColour &b)
{
    return clamp01(4.0f * ((a.r - 0.5f) * (b.r - 0.5f) + (a.g - 0.5f) * (b.g - 0.5f) + (a.b - 0.5f) * (b.b - 0.5f)));
}

// Index of the texel a coordinate falls in, with the distance to the nearest texel boundary.
int texel_index(float t, UINT size, DWORD address, float *boundary)
{
    float x = t * float(size);
    float f = std::floor(x);
    *boundary = std::fmin(x - f, f + 1.0f - x);
    int i = int(f);
    if (address == D3DTADDRESS_CLAMP) {
        if (i < 0 || i >= int(size)) *boundary = 1.0f;  // clamped: no neighbour to pick
        return i < 0 ? 0 : i >= int(size) ? int(size) - 1 : i;
    }
    i %= int(size);
    return i < 0 ? i + int(size) : i;
}

RefFragment lerp(const RefRect &r, float fx, float fy)
{
    // Affine in x and y: tl + fx (tr - tl) + fy (bl - tl).
    RefFragment f;
    const float *tl = &r.top_left.diffuse.r, *tr = &r.top_right.diffuse.r, *bl = &r.bottom_left.diffuse.r;
    float *out = &f.diffuse.r;
    const int n = sizeof(RefFragment) / sizeof(float);
    for (int i = 0; i < n; i++) out[i] = tl[i] + fx * (tr[i] - tl[i]) + fy * (bl[i] - tl[i]);
    return f;
}

}  // namespace

RefColour ref_colour(D3DCOLOR c)
{
    return RefColour{float((c >> 16) & 0xFF) / 255.0f, float((c >> 8) & 0xFF) / 255.0f, float(c & 0xFF) / 255.0f,
                     float(c >> 24) / 255.0f};
}

uint32_t ref_pack(const RefColour &c)
{
    auto byte = [](float x) { return uint32_t(std::lround(clamp01(x) * 255.0f)); };
    return byte(c.r) << 16 | byte(c.g) << 8 | byte(c.b);
}

RefColour ref_texel(const GpuTexture *t, UINT level, UINT x, UINT y)
{
    const GpuLevel &l = t->levels[level];
    const uint8_t *p = l.memory.data() + size_t(y) * l.pitch + size_t(x) * t->bytes_per_pixel;
    uint32_t bits = 0;
    memcpy(&bits, p, t->bytes_per_pixel);
    auto field = [&](int shift, int width) {
        return float((bits >> shift) & ((1u << width) - 1)) / float((1u << width) - 1);
    };
    switch (t->format) {
    case D3DFMT_A8R8G8B8: return ref_colour(bits);
    case D3DFMT_X8R8G8B8: return ref_colour(bits | 0xFF000000u);
    case D3DFMT_R5G6B5: return RefColour{field(11, 5), field(5, 6), field(0, 5), 1.0f};
    case D3DFMT_X1R5G5B5: return RefColour{field(10, 5), field(5, 5), field(0, 5), 1.0f};
    case D3DFMT_A4R4G4B4: return RefColour{field(8, 4), field(4, 4), field(0, 4), field(12, 4)};
    default: return RefColour{1, 1, 1, 1};
    }
}

RefColour ref_sample(const GpuTexture *t, UINT level, float u, float v, DWORD address_u, DWORD address_v, float margin,
                     bool *near_edge)
{
    const GpuLevel &l = t->levels[level];
    float du, dv;
    int x = texel_index(u, l.width, address_u, &du);
    int y = texel_index(v, l.height, address_v, &dv);
    if (near_edge && (du < margin || dv < margin)) *near_edge = true;
    return ref_texel(t, level, UINT(x), UINT(y));
}

RefColour ref_stages(const DWORD (*stage)[GPU_STAGE_STATES], const RefColour &diffuse, const RefColour &specular,
                     const RefColour *textures)
{
    RefColour current = diffuse;
    for (int i = 0; i < GPU_STAGES; i++) {
        const DWORD *s = stage[i];
        if (s[D3DTSS_COLOROP] == D3DTOP_DISABLE) break;
        RefColour c1 = arg_of(s[D3DTSS_COLORARG1], diffuse, specular, current, textures[i]);
        RefColour c2 = arg_of(s[D3DTSS_COLORARG2], diffuse, specular, current, textures[i]);
        RefColour a1 = arg_of(s[D3DTSS_ALPHAARG1], diffuse, specular, current, textures[i]);
        RefColour a2 = arg_of(s[D3DTSS_ALPHAARG2], diffuse, specular, current, textures[i]);
        RefColour next;
        if (s[D3DTSS_COLOROP] == D3DTOP_DOTPRODUCT3) {
            float d = dot3(c1, c2);
            next = RefColour{d, d, d, d};
        } else {
            DWORD op = s[D3DTSS_COLOROP];
            next = RefColour{op_of(op, c1.r, c2.r), op_of(op, c1.g, c2.g), op_of(op, c1.b, c2.b), current.a};
            DWORD aop = s[D3DTSS_ALPHAOP];
            if (aop == D3DTOP_DOTPRODUCT3)
                next.a = dot3(a1, a2);
            else if (aop != D3DTOP_DISABLE)
                next.a = op_of(aop, a1.a, a2.a);
        }
        current = next;
    }
    return current;
}

void ref_image_init(RefImage *image, int width, int height, uint32_t clear)
{
    image->width = width;
    image->height = height;
    image->pixels.assign(size_t(width) * height, clear & 0xFFFFFFu);
    image->skip.assign(size_t(width) * height, 0);
}

void ref_draw_rect(RefImage *image, const RefRect &r, RefShader shader, void *user)
{
    float w = r.x1 - r.x0, h = r.y1 - r.y0;
    if (w <= 0.0f || h <= 0.0f) return;
    for (int y = 0; y < image->height; y++) {
        float cy = float(y) + 0.5f;
        if (cy < r.y0 || cy >= r.y1) continue;
        for (int x = 0; x < image->width; x++) {
            float cx = float(x) + 0.5f;
            if (cx < r.x0 || cx >= r.x1) continue;
            size_t at = size_t(y) * image->width + size_t(x);
            RefColour c;
            bool fair = shader(lerp(r, (cx - r.x0) / w, (cy - r.y0) / h), user, &c);
            image->pixels[at] = ref_pack(c);
            bool edge = cx - r.x0 < 1.0f || r.x1 - cx < 1.0f || cy - r.y0 < 1.0f || r.y1 - cy < 1.0f;
            image->skip[at] = !fair || edge;
        }
    }
}

void ref_draw_point(RefImage *image, float x, float y, const RefColour &colour)
{
    int px = int(std::floor(x)), py = int(std::floor(y));
    if (px < 0 || py < 0 || px >= image->width || py >= image->height) return;
    image->pixels[size_t(py) * image->width + size_t(px)] = ref_pack(colour);
}

// ---- assembler programs --------------------------------------------------------------------------

namespace {

struct Vec {
    float x[4];
};

struct Run {
    const GpuProgram &program;
    RefMachine *m;
    RefSampler sampler;
    void *user;
    bool vertex, ps14;
    int constants;
    const float *defs[256];
};

Vec load(const float *p) { return Vec{{p[0], p[1], p[2], p[3]}}; }

Vec constant_of(const Run &run, int index)
{
    Vec v = {{0, 0, 0, 0}};
    if (index >= 0 && index < 256 && run.defs[index])
        v = load(run.defs[index]);
    else if (index >= 0 && index < run.constants)
        v = load(run.m->c[index]);
    if (run.ps14)
        for (float &x : v.x) x = x < -1.0f ? -1.0f : x > 1.0f ? 1.0f : x;
    return v;
}

Vec register_of(const Run &run, const GpuSource &s, int offset)
{
    RefMachine &m = *run.m;
    int i = s.index + offset;
    switch (s.file) {
    case GPU_REG_TEMP: return i < 32 ? load(m.r[i]) : Vec{};
    case GPU_REG_INPUT: return i < 16 ? load(m.v[i]) : Vec{};
    case GPU_REG_CONST: return constant_of(run, s.relative ? i + m.a0[0] : i);
    case GPU_REG_TEXTURE: return i < 8 ? load(m.t[i]) : Vec{};
    case GPU_REG_IMMEDIATE: return Vec{{s.immediate, s.immediate, s.immediate, s.immediate}};
    case GPU_REG_ADDRESS: return Vec{{float(m.a0[0]), float(m.a0[1]), float(m.a0[2]), float(m.a0[3])}};
    default: return Vec{};
    }
}

Vec source_of(const Run &run, const GpuSource &s, int offset = 0)
{
    Vec r = register_of(run, s, offset), v;
    for (int c = 0; c < 4; c++) v.x[c] = r.x[s.swizzle[c] & 3];
    for (float &x : v.x) {
        switch (s.modifier) {
        case GPU_MOD_NEGATE: x = -x; break;
        case GPU_MOD_COMPLEMENT: x = 1.0f - x; break;
        case GPU_MOD_BIAS: x = x - 0.5f; break;
        case GPU_MOD_BIAS_NEGATE: x = -(x - 0.5f); break;
        case GPU_MOD_SIGN: x = 2.0f * x - 1.0f; break;
        case GPU_MOD_SIGN_NEGATE: x = -(2.0f * x - 1.0f); break;
        case GPU_MOD_X2: x = 2.0f * x; break;
        case GPU_MOD_X2_NEGATE: x = -(2.0f * x); break;
        default: break;
        }
    }
    return v;
}

Vec splat(float f) { return Vec{{f, f, f, f}}; }
float dot3v(const Vec &a, const Vec &b) { return a.x[0] * b.x[0] + a.x[1] * b.x[1] + a.x[2] * b.x[2]; }
float dot4v(const Vec &a, const Vec &b) { return dot3v(a, b) + a.x[3] * b.x[3]; }

Vec compute(const Run &run, const GpuInstruction &in, const Vec *s)
{
    Vec t = {};
    auto each = [&](auto f) {
        for (int c = 0; c < 4; c++) t.x[c] = f(c);
    };
    switch (in.op) {
    case GPU_OP_MOV:
    case GPU_OP_MOVA:
    case GPU_OP_TEXCRD: return s[0];
    case GPU_OP_ADD: each([&](int c) { return s[0].x[c] + s[1].x[c]; }); break;
    case GPU_OP_SUB: each([&](int c) { return s[0].x[c] - s[1].x[c]; }); break;
    case GPU_OP_MUL: each([&](int c) { return s[0].x[c] * s[1].x[c]; }); break;
    case GPU_OP_MAD: each([&](int c) { return s[0].x[c] * s[1].x[c] + s[2].x[c]; }); break;
    case GPU_OP_DP3: return splat(dot3v(s[0], s[1]));
    case GPU_OP_DP4: return splat(dot4v(s[0], s[1]));
    case GPU_OP_RCP: return splat(1.0f / s[0].x[3]);
    case GPU_OP_RSQ: return splat(1.0f / std::sqrt(std::fabs(s[0].x[3])));
    case GPU_OP_MIN: each([&](int c) { return std::fmin(s[0].x[c], s[1].x[c]); }); break;
    case GPU_OP_MAX: each([&](int c) { return std::fmax(s[0].x[c], s[1].x[c]); }); break;
    case GPU_OP_SGE: each([&](int c) { return s[0].x[c] >= s[1].x[c] ? 1.0f : 0.0f; }); break;
    case GPU_OP_SLT: each([&](int c) { return s[0].x[c] < s[1].x[c] ? 1.0f : 0.0f; }); break;
    case GPU_OP_EXP: return splat(std::exp2(s[0].x[3]));
    case GPU_OP_LOG:
    case GPU_OP_LOGP: return splat(s[0].x[3] == 0.0f ? -3.402823466e38f : std::log2(std::fabs(s[0].x[3])));
    case GPU_OP_EXPP: {
        float w = s[0].x[3], f = std::floor(w);
        return Vec{{std::exp2(f), w - f, std::exp2(w), 1.0f}};
    }
    case GPU_OP_LIT: {
        float x = s[0].x[0], y = s[0].x[1], w = std::fmin(std::fmax(s[0].x[3], -128.0f), 128.0f);
        return Vec{{1.0f, std::fmax(x, 0.0f), x > 0.0f && y > 0.0f ? std::pow(y, w) : 0.0f, 1.0f}};
    }
    case GPU_OP_DST: return Vec{{1.0f, s[0].x[1] * s[1].x[1], s[0].x[2], s[1].x[3]}};
    case GPU_OP_FRC: each([&](int c) { return s[0].x[c] - std::floor(s[0].x[c]); }); break;
    case GPU_OP_ABS: each([&](int c) { return std::fabs(s[0].x[c]); }); break;
    case GPU_OP_NRM: {
        float k = 1.0f / std::sqrt(dot3v(s[0], s[0]));
        each([&](int c) { return s[0].x[c] * k; });
        break;
    }
    case GPU_OP_POW: return splat(std::pow(std::fabs(s[0].x[3]), s[1].x[3]));
    case GPU_OP_CRS:
        return Vec{{s[0].x[1] * s[1].x[2] - s[0].x[2] * s[1].x[1], s[0].x[2] * s[1].x[0] - s[0].x[0] * s[1].x[2],
                    s[0].x[0] * s[1].x[1] - s[0].x[1] * s[1].x[0], 0.0f}};
    case GPU_OP_SINCOS: return Vec{{std::cos(s[0].x[3]), std::sin(s[0].x[3]), 0.0f, 0.0f}};
    case GPU_OP_LRP: each([&](int c) { return s[0].x[c] * s[1].x[c] + (1.0f - s[0].x[c]) * s[2].x[c]; }); break;
    case GPU_OP_CMP: each([&](int c) { return s[0].x[c] >= 0.0f ? s[1].x[c] : s[2].x[c]; }); break;
    case GPU_OP_M4X4:
    case GPU_OP_M4X3:
    case GPU_OP_M3X4:
    case GPU_OP_M3X3:
    case GPU_OP_M3X2: {
        int rows = in.op == GPU_OP_M4X4 || in.op == GPU_OP_M3X4 ? 4 : in.op == GPU_OP_M3X2 ? 2 : 3;
        bool three = in.op >= GPU_OP_M3X4;
        for (int i = 0; i < rows; i++) {
            Vec row = source_of(run, in.sources[1], i);
            t.x[i] = three ? dot3v(s[0], row) : dot4v(s[0], row);
        }
        break;
    }
    case GPU_OP_TEXLD: {
        int stage = run.ps14 ? in.dest.index : in.sources[1].index;
        RefColour c = run.sampler ? run.sampler(stage, s[0].x, run.user) : RefColour{1, 1, 1, 1};
        return Vec{{c.r, c.g, c.b, c.a}};
    }
    default: break;
    }
    return t;
}

float *dest_of(RefMachine &m, const GpuDest &d)
{
    switch (d.file) {
    case GPU_REG_TEMP: return d.index < 32 ? m.r[d.index] : nullptr;
    case GPU_REG_POSITION: return m.o_pos;
    case GPU_REG_COLOR_OUT: return d.index < 2 ? m.o_d[d.index] : nullptr;
    case GPU_REG_TEXCOORD_OUT: return d.index < 8 ? m.o_t[d.index] : nullptr;
    case GPU_REG_PIXEL_OUT: return d.index == 0 ? m.o_c : nullptr;
    default: return nullptr;
    }
}

void step(Run &run, const GpuInstruction &in)
{
    RefMachine &m = *run.m;
    if (in.op == GPU_OP_PHASE) {
        for (int i = 0; i < 6; i++) m.r[i][3] = 0.0f;
        return;
    }
    if (!in.has_dest || in.op == GPU_OP_DCL || in.op == GPU_OP_DEF || in.op == GPU_OP_NOP) return;
    bool matrix = in.op >= GPU_OP_M4X4 && in.op <= GPU_OP_M3X2;
    int count = matrix || (in.op == GPU_OP_TEXLD && !run.ps14) ? 1 : in.source_count;
    Vec s[3] = {};
    for (int i = 0; i < count && i < 3; i++) s[i] = source_of(run, in.sources[i]);
    Vec t = compute(run, in, s);
    float scale = in.shift > 0 ? float(1 << in.shift) : in.shift < 0 ? 1.0f / float(1 << -in.shift) : 1.0f;
    for (float &x : t.x) {
        x *= scale;
        if (in.saturate) x = std::fmin(std::fmax(x, 0.0f), 1.0f);
        if (run.ps14 && in.op != GPU_OP_TEXLD && in.op != GPU_OP_TEXCRD) x = std::fmin(std::fmax(x, -8.0f), 8.0f);
    }
    if (in.dest.file == GPU_REG_ADDRESS) {
        for (int c = 0; c < 4; c++)
            if (in.dest.mask & (1 << c)) m.a0[c] = int(std::floor(t.x[c] + (in.op == GPU_OP_MOVA ? 0.5f : 0.0f)));
        return;
    }
    if (in.dest.file == GPU_REG_DEPTH_OUT) {
        m.o_depth = t.x[0];
        return;
    }
    float *d = dest_of(m, in.dest);
    if (!d) return;
    for (int c = 0; c < 4; c++)
        if (in.dest.mask & (1 << c)) d[c] = t.x[c];
}

// Runs from instruction `at` to the next ret (or the end); calls run their label's block.
void block(Run &run, size_t at, int depth)
{
    const std::vector<GpuInstruction> &code = run.program.code;
    for (; at < code.size(); at++) {
        const GpuInstruction &in = code[at];
        if (in.op == GPU_OP_RET || in.op == GPU_OP_LABEL) return;
        if (in.op == GPU_OP_CALL) {
            if (depth > 8) continue;
            for (size_t k = 0; k < code.size(); k++)
                if (code[k].op == GPU_OP_LABEL && code[k].sources[0].index == in.sources[0].index) block(run, k + 1, depth + 1);
            continue;
        }
        step(run, in);
    }
}

}  // namespace

void ref_run(const GpuProgram &program, RefMachine *m, RefSampler sampler, void *user)
{
    Run run = {program, m, sampler, user, program.kind == GPU_SHADER_VERTEX, false, 0, {}};
    bool model2 = D3DSHADER_VERSION_MAJOR(program.version) >= 2;
    run.ps14 = !run.vertex && !model2;
    run.constants = run.vertex ? (model2 ? 256 : 96) : (model2 ? 32 : 8);
    for (const GpuInstruction &in : program.code)
        if (in.op == GPU_OP_DEF && in.dest.index < 256) run.defs[in.dest.index] = in.values;
    const float unit[4] = {0, 0, 0, 1};
    memcpy(m->o_pos, unit, sizeof unit);
    for (int c = 0; c < 4; c++) {
        m->o_d[0][c] = 1.0f;
        m->o_d[1][c] = 0.0f;
    }
    for (float *t : m->o_t) memcpy(t, unit, sizeof unit);
    memset(m->a0, 0, sizeof m->a0);
    block(run, 0, 0);
    if (run.ps14)
        for (int c = 0; c < 4; c++) m->o_c[c] = std::fmin(std::fmax(m->r[0][c], 0.0f), 1.0f);
}
