// The per-vertex setters: the place of every element in every layout, plain and skinned, mirrored
// into the system copies.
#include "tests/render/render_test_util.h"

#include <vector>

namespace {

enum { POS, NORMAL, COLOUR, PAIR0, PAIR1, PAIR2, PAIR3, SETTERS };

struct Layout {
    int layout;
    uint32_t flags;  // layout 8 comes from no flags: it is forced over a layout 9 object
    int offsets[SETTERS];
};

// Plain offsets of each element; -1 where the layout has none.
const Layout kLayouts[] = {
    {0, 0x0, {0, -1, 12, 16, -1, -1, -1}},
    {1, 0x4, {0, -1, 12, 16, -1, -1, -1}},
    {2, 0x2, {0, -1, 12, -1, -1, -1, -1}},
    {3, 0x6, {0, -1, 12, 16, -1, -1, -1}},
    {4, 0x40, {0, -1, 12, 16, 24, -1, -1}},
    {5, 0x8, {0, 12, -1, 24, 24, -1, -1}},
    // Flag 0x8 with 0x200 or 0x400 asks for a normal the layout has no room for: none is written.
    {6, 0x200 | 0x8, {0, -1, 12, 16, 24, -1, -1}},
    {7, 0x400 | 0x8, {0, -1, 12, 16, 24, 32, -1}},
    {8, 0, {0, 12, 24, 28, -1, -1, -1}},
    {9, 0x8 | 0x400 | 0x40000, {0, 12, 24, 28, 36, 44, 52}},
};

class RenderVertexTest : public RenderTest {
protected:
    void SetUp() override
    {
        RenderTest::SetUp();
        make_device(true);
    }

    // An object of the layout; layout 8 is forced over a buffer of layout 9.
    RenderObject *object_for(const Layout &l, bool skinned)
    {
        uint32_t flags = l.layout == 8 ? 0x8 | 0x400 | 0x40000 : l.flags;
        RenderObject *object = make_object(flags | (skinned ? 0x8000 : 0), 3, 3);
        if (l.layout == 8) {
            object->format = 8 + (skinned ? 32 : 0);
            object->stride = render_vertex_size_for_format(object->format);
        }
        return object;
    }

    static void call(RenderObject *object, int setter, int i)
    {
        const float three[3] = {1.5f, -2.5f, 3.25f};
        switch (setter) {
        case POS: render_vertex_set_position_v(object, i, three); break;
        case NORMAL: render_vertex_set_normal_v(object, i, three); break;
        case COLOUR: render_vertex_set_color_argb(object, i, 1.0f, 0.5f, 0.0f, 1.0f); break;
        case PAIR0: render_vertex_set_texcoord0_v(object, i, three); break;
        case PAIR1: render_vertex_set_second_texcoord_v(object, i, three); break;
        case PAIR2: render_vertex_set_third_texcoord(object, i, 1.5f, -2.5f); break;
        case PAIR3: render_vertex_set_fourth_texcoord(object, i, 1.5f); break;
        }
    }

    // The bytes the setter should have written at its offset.
    static std::vector<uint8_t> expected_bytes(int setter)
    {
        std::vector<uint8_t> bytes;
        auto put = [&](float f) {
            uint8_t b[4];
            memcpy(b, &f, 4);
            bytes.insert(bytes.end(), b, b + 4);
        };
        if (setter == COLOUR) {
            const uint32_t colour = 0xFFFF7F00u;
            bytes.resize(4);
            memcpy(bytes.data(), &colour, 4);
        } else if (setter == POS || setter == NORMAL) {
            put(1.5f), put(-2.5f), put(3.25f);
        } else if (setter == PAIR3) {
            put(1.5f), put(1.0f);
        } else {
            put(1.5f), put(-2.5f);
        }
        return bytes;
    }
};

TEST_F(RenderVertexTest, EveryElementLandsAtItsLayoutsOffsetPlainAndSkinned)
{
    for (const Layout &l : kLayouts) {
        for (bool skinned : {false, true}) {
            RenderObject *object = object_for(l, skinned);
            size_t bytes = size_t(object->stride) * 3;
            for (int setter = 0; setter < SETTERS; setter++) {
                render_object_lock_vertices(object);
                ASSERT_NE(object->locked_vertices, nullptr);
                memset(object->locked_vertices, 0, bytes);
                memset(object->vertex_copy, 0, bytes);
                call(object, setter, 1);
                std::vector<uint8_t> want(bytes, 0);
                int offset = l.offsets[setter];
                if (offset >= 0) {
                    if (skinned && setter != POS) offset += 20;
                    std::vector<uint8_t> value = expected_bytes(setter);
                    memcpy(want.data() + object->stride + offset, value.data(), value.size());
                }
                std::string label = "layout " + std::to_string(l.layout) + (skinned ? " skinned" : "") +
                                    " setter " + std::to_string(setter);
                EXPECT_EQ(memcmp(object->locked_vertices, want.data(), bytes), 0) << label;
                EXPECT_EQ(memcmp(object->vertex_copy, want.data(), bytes), 0) << label;
                render_object_unlock_vertices(object);
            }
            delete_object(object);
        }
    }
}

}  // namespace
