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
