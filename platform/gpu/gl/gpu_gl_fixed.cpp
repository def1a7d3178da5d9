// Programs for draws without a vertex or pixel program: the vertex half by the layout (screen
// positions or transformed ones, colour or white, texture coordinates by TEXCOORDINDEX), the
// fragment half by the texture stages, stage by stage until a colour DISABLE.
#include "platform/gpu/gl/gpu_gl_local.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

// Appends printf-style text (GLSL lines are short).
void add(std::string *out, const char *format, ...) __attribute__((format(printf, 2, 3)));
void add(std::string *out, const char *format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    *out += text;
}

enum { STAGE_COP, STAGE_CA1, STAGE_CA2, STAGE_AOP, STAGE_AA1, STAGE_AA2 };

bool has_element(const GpuVertexLayout &layout, uint8_t usage, uint8_t index)
{
    for (int i = 0; i < layout.count; i++)
        if (layout.elements[i].usage == usage && layout.elements[i].usage_index == index) return true;
    return false;
}

const char *arg_of(uint8_t arg)
{
    switch (arg) {
    case D3DTA_DIFFUSE: return "diffuse";
    case D3DTA_CURRENT: return "current";
    case D3DTA_TEXTURE: return "tex";
    case D3DTA_SPECULAR: return "specular";
    default: return "current";
    }
}

// One operation on two arguments, each a name and its channels (".rgb" or ".a"), clamped to
// 0..1. The dot product is handled by the caller (it mixes channels).
void append_op(std::string *out, uint8_t op, const char *a, const char *b, const char *channels)
{
    if (op == D3DTOP_SELECTARG2) a = b;  // the selected argument is the one written
    const char *pattern;
    switch (op) {
    case D3DTOP_MODULATE: pattern = "clamp(%1$s%2$s * %3$s%4$s, 0.0, 1.0)"; break;
    case D3DTOP_MODULATE2X: pattern = "clamp(2.0 * %1$s%2$s * %3$s%4$s, 0.0, 1.0)"; break;
    case D3DTOP_MODULATE4X: pattern = "clamp(4.0 * %1$s%2$s * %3$s%4$s, 0.0, 1.0)"; break;
    case D3DTOP_ADD: pattern = "clamp(%1$s%2$s + %3$s%4$s, 0.0, 1.0)"; break;
    case D3DTOP_ADDSIGNED: pattern = "clamp(%1$s%2$s + %3$s%4$s - 0.5, 0.0, 1.0)"; break;
    case D3DTOP_ADDSIGNED2X: pattern = "clamp(2.0 * (%1$s%2$s + %3$s%4$s - 0.5), 0.0, 1.0)"; break;
    case D3DTOP_SUBTRACT: pattern = "clamp(%1$s%2$s - %3$s%4$s, 0.0, 1.0)"; break;
    default: pattern = "clamp(%1$s%2$s, 0.0, 1.0)"; break;  // SELECTARG1 and 2
    }
    char text[256];
    snprintf(text, sizeof text, pattern, a, channels, b, channels);
    *out += text;
}

}  // namespace

void gl_fixed_key(const GpuState &s, const GpuVertexLayout &layout, bool all_sets, GlFixedKey *key)
{
    memset(key, 0, sizeof *key);
    uint32_t v = 0;
    if (has_element(layout, D3DDECLUSAGE_POSITIONT, 0)) v |= 1;
    if (has_element(layout, D3DDECLUSAGE_COLOR, 0)) v |= 2;
    if (has_element(layout, D3DDECLUSAGE_COLOR, 1)) v |= 4;
    int stages = 0;
    for (int i = 0; i < GPU_STAGES; i++) {
        const DWORD *t = s.stage[i];
        // A pixel program reads any coordinate set: then every stage passes its own.
        if (t[D3DTSS_COLOROP] == D3DTOP_DISABLE && !all_sets) break;
        uint8_t *k = key->stages[i];
        k[STAGE_COP] = uint8_t(t[D3DTSS_COLOROP]);
        k[STAGE_CA1] = uint8_t(t[D3DTSS_COLORARG1] & 7);
        k[STAGE_CA2] = uint8_t(t[D3DTSS_COLORARG2] & 7);
        k[STAGE_AOP] = uint8_t(t[D3DTSS_ALPHAOP]);
        k[STAGE_AA1] = uint8_t(t[D3DTSS_ALPHAARG1] & 7);
        k[STAGE_AA2] = uint8_t(t[D3DTSS_ALPHAARG2] & 7);
        // Which coordinate set feeds the stage (3 bits per stage from bit 8).
        v |= (s.stage[i][D3DTSS_TEXCOORDINDEX] & 7u) << (8 + 3 * i);
        stages++;
    }
    v |= uint32_t(stages) << 4;
    key->vertex = v;
}

int gl_fixed_stage_count(const GlFixedKey &key) { return int((key.vertex >> 4) & 15); }

std::string gl_fixed_vertex_source(const GlFixedKey &key)
{
    std::string s = "#version 120\nattribute vec4 a0;\n";
    s += "attribute vec4 a5;\nattribute vec4 a6;\n";
    int stages = gl_fixed_stage_count(key);
    for (int i = 0; i < GL_TEXCOORD_SETS; i++) add(&s, "attribute vec4 a%d;\n", GL_ATTR_TEXCOORD0 + i);
    s += "uniform mat4 mvp;\nuniform vec4 screen;\nvoid main() {\n";
    if (key.vertex & 1) {
        // Screen pixels (x, y, z, 1/w): the viewport's inverse, y flipped, then back to clip space.
        s += "  float w = a0.w != 0.0 ? 1.0 / a0.w : 1.0;\n";
        s += "  vec3 n = vec3((a0.x - screen.x) * screen.z - 1.0, 1.0 - (a0.y - screen.y) * screen.w, 2.0 * a0.z - 1.0);\n";
        s += "  gl_Position = vec4(n * w, w);\n";
    } else {
        s += "  vec4 p = mvp * vec4(a0.xyz, 1.0);\n";
        s += "  gl_Position = vec4(p.xy, 2.0 * p.z - p.w, p.w);\n";
    }
    s += (key.vertex & 2) ? "  gl_FrontColor = a5;\n" : "  gl_FrontColor = vec4(1.0);\n";
    s += (key.vertex & 4) ? "  gl_FrontSecondaryColor = a6;\n" : "  gl_FrontSecondaryColor = vec4(0.0);\n";
    for (int i = 0; i < stages; i++) {
        int set = int((key.vertex >> (8 + 3 * i)) & 7);
        add(&s, "  gl_TexCoord[%d] = a%d;\n", i, GL_ATTR_TEXCOORD0 + set);
    }
    s += "}\n";
    return s;
}

std::string gl_fixed_fragment_source(const GlFixedKey &key)
{
    int stages = gl_fixed_stage_count(key);
    std::string s = "#version 120\n";
    for (int i = 0; i < stages; i++) add(&s, "uniform sampler2D s%d;\n", i);
    s += "void main() {\n  vec4 diffuse = gl_Color;\n  vec4 specular = gl_SecondaryColor;\n";
    s += "  vec4 current = diffuse;\n  vec4 tex;\n  vec3 col;\n  float alp;\n";
    for (int i = 0; i < stages; i++) {
        const uint8_t *k = key.stages[i];
        bool uses_texture = k[STAGE_CA1] == D3DTA_TEXTURE || k[STAGE_CA2] == D3DTA_TEXTURE ||
                            k[STAGE_AA1] == D3DTA_TEXTURE || k[STAGE_AA2] == D3DTA_TEXTURE;
        if (uses_texture) add(&s, "  tex = texture2D(s%d, gl_TexCoord[%d].xy);\n", i, i);
        const char *c1 = arg_of(k[STAGE_CA1]), *c2 = arg_of(k[STAGE_CA2]);
        const char *a1 = arg_of(k[STAGE_AA1]), *a2 = arg_of(k[STAGE_AA2]);
        // Both halves read the previous stage's result, so they go to temporaries first.
        if (k[STAGE_COP] == D3DTOP_DOTPRODUCT3) {
            // 4 x the sum of (a - 0.5)(b - 0.5) over rgb, into every channel, alpha included.
            add(&s, "  current = vec4(clamp(4.0 * dot(%s.rgb - 0.5, %s.rgb - 0.5), 0.0, 1.0));\n", c1, c2);
            continue;
        }
        s += "  col = ";
        append_op(&s, k[STAGE_COP], c1, c2, ".rgb");
        s += ";\n  alp = ";
        if (k[STAGE_AOP] == D3DTOP_DISABLE)
            s += "current.a";
        else if (k[STAGE_AOP] == D3DTOP_DOTPRODUCT3)
            add(&s, "clamp(4.0 * dot(%s.rgb - 0.5, %s.rgb - 0.5), 0.0, 1.0)", a1, a2);
        else
            append_op(&s, k[STAGE_AOP], a1, a2, ".a");
        s += ";\n  current = vec4(col, alp);\n";
    }
    s += "  gl_FragColor = current;\n}\n";
    return s;
}
