// The per-vertex setters: one element of vertex i at its format's place in the locked buffer,
// mirrored into the current frame's copy or the vertex copy so that lost buffers can be refilled.
#include "render/render_local.h"

#include <cstring>

namespace {

enum Element { kPosition, kNormal, kColour, kPair0, kPair1, kPair2, kPair3, kSkin };

// Byte offset of an element within a vertex of the object's format, or -1 when the layout has none.
int element_offset(const RenderObject *object, Element element)
{
    int layout = object->format & 15;
    int skin = (object->format & kRenderFormatSkinned) ? 20 : 0;
    switch (element) {
    case kPosition:
        return 0;
    case kSkin:
        return skin ? 12 : -1;
    case kNormal:
        // Only the layouts that carry a normal take one, whatever the flags ask.
        if (!(object->flags & kRenderNormal) || (layout != 5 && layout != 8 && layout != 9)) return -1;
        return 12 + skin;
    case kColour:
        if (layout == 5) return -1;
        return (layout == 8 || layout == 9 ? 24 : 12) + skin;
    case kPair0:
        if (layout == 2) return -1;
        if (layout == 5) return 24 + skin;
        return (layout == 8 || layout == 9 ? 28 : 16) + skin;
    case kPair1:
        if (layout == 9) return 36 + skin;
        return layout == 4 || layout == 5 || layout == 6 || layout == 7 ? 24 + skin : -1;
    case kPair2:
        if (layout == 9) return 44 + skin;
        return layout == 7 ? 32 + skin : -1;
    case kPair3:
        return layout == 9 ? 52 + skin : -1;
    }
    return -1;
}

// Writes `size` bytes of vertex i; the first elements follow the current frame, the later texture
// pairs go to the vertex copy only.
void write_element(RenderObject *object, int32_t i, Element element, const void *data, size_t size)
{
    if (!object->locked_vertices || i < 0 || i >= object->vertex_count) return;
    int offset = element_offset(object, element);
    if (offset < 0 || size_t(offset) + size > size_t(object->stride)) return;
    size_t at = size_t(i) * size_t(object->stride) + size_t(offset);
    memcpy(object->locked_vertices + at, data, size);
    bool follows_frame = element == kPosition || element == kNormal || element == kColour || element == kPair0 ||
                         element == kSkin;
    int32_t frame = object->current_frame;
    if (follows_frame && frame >= 0) {
        if (object->frame_copies && frame < object->frame_count && object->frame_copies[frame])
            memcpy(object->frame_copies[frame] + at, data, size);
        return;
    }
    if (object->vertex_copy) memcpy(object->vertex_copy + at, data, size);
}

void write_floats(RenderObject *object, int32_t i, Element element, float a, float b, float c)
{
    const float values[3] = {a, b, c};
    write_element(object, i, element, values, element == kPosition || element == kNormal ? 12 : 8);
}

uint32_t colour_channel(float value) { return render_float_to_bits(value * 255.0f) & 0xFF; }

}  // namespace

uint32_t render_float_to_bits(float value)
{
    if (!(value > -2147483648.0f && value < 2147483648.0f)) return 0;
    return uint32_t(int32_t(value));
}

void render_vertex_set_position(RenderObject *object, int32_t i, float x, float y, float z)
{
    write_floats(object, i, kPosition, x, y, z);
}

void render_vertex_set_position_v(RenderObject *object, int32_t i, const float *p)
{
    write_floats(object, i, kPosition, p[0], p[1], p[2]);
}

void render_vertex_set_normal(RenderObject *object, int32_t i, float x, float y, float z)
{
    write_floats(object, i, kNormal, x, y, z);
}

void render_vertex_set_normal_v(RenderObject *object, int32_t i, const float *n)
{
    write_floats(object, i, kNormal, n[0], n[1], n[2]);
}

void render_vertex_set_color_rgb(RenderObject *object, int32_t i, float r, float g, float b)
{
    uint32_t colour = 0xFF000000u | colour_channel(r) << 16 | colour_channel(g) << 8 | colour_channel(b);
    write_element(object, i, kColour, &colour, 4);
}

void render_vertex_set_color_argb(RenderObject *object, int32_t i, float r, float g, float b, float a)
{
    uint32_t alpha = render_float_to_bits(a * 255.0f);
    uint32_t colour = alpha << 24 | colour_channel(r) << 16 | colour_channel(g) << 8 | colour_channel(b);
    write_element(object, i, kColour, &colour, 4);
}

void render_vertex_set_texcoord0(RenderObject *object, int32_t i, float u, float v)
{
    write_floats(object, i, kPair0, u, v, 0.0f);
}

void render_vertex_set_texcoord0_v(RenderObject *object, int32_t i, const float *uv)
{
    write_floats(object, i, kPair0, uv[0], uv[1], 0.0f);
}

void render_vertex_set_second_texcoord(RenderObject *object, int32_t i, float u, float v)
{
    write_floats(object, i, kPair1, u, v, 0.0f);
}

void render_vertex_set_second_texcoord_v(RenderObject *object, int32_t i, const float *uv)
{
    write_floats(object, i, kPair1, uv[0], uv[1], 0.0f);
}

void render_vertex_set_third_texcoord(RenderObject *object, int32_t i, float u, float v)
{
    write_floats(object, i, kPair2, u, v, 0.0f);
}

void render_vertex_set_fourth_texcoord(RenderObject *object, int32_t i, float u)
{
    write_floats(object, i, kPair3, u, 1.0f, 0.0f);
}

void render_vertex_set_skin(RenderObject *object, int32_t i, const float *weights, const uint8_t *bones)
{
    uint8_t data[20];
    memcpy(data, weights, 16);
    memcpy(data + 16, bones, 4);
    write_element(object, i, kSkin, data, sizeof data);
}
