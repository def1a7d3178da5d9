// The indexed list: access by index from the nearest of first, last and cursor; unlink; cursor rules.
#include "geometry/list.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

typedef IndexedList<ListNode<int>> IntList;

std::vector<int> values_forward(const IntList &list)
{
    std::vector<int> out;
    for (ListNode<int> *n = list.first; n; n = n->next) out.push_back(n->value);
    return out;
}

void fill(IntList *list, int n)
{
    for (int i = 0; i < n; i++) list_append(list, i * 10);
}

TEST(IndexedList, AccessByIndexForwardAndBackwardFromTheCursor)
{
    IntList list;
    fill(&list, 100);
    // Every order of visits must find the right node, whichever end or cursor it walks from.
    const int order[] = {50, 51, 49, 0, 99, 98, 1, 60, 40, 75, 25, 50};
    for (int index : order) {
        ListNode<int> *node = list_at(&list, index);
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->value, index * 10);
        EXPECT_EQ(list.cursor_index, index);
        EXPECT_EQ(list.cursor, node);
    }
    // Out of range gives the first node.
    EXPECT_EQ(list_at(&list, 100)->value, 0);
    EXPECT_EQ(list_at(&list, -3)->value, 0);
    list_clear(&list);
}

TEST(IndexedList, LinkFirstAndIterationNodeFollowUnlink)
{
    IntList list;
    fill(&list, 3);
    list_link_first(&list, new ListNode<int>{-10, nullptr, nullptr});
    EXPECT_EQ(values_forward(list), (std::vector<int>{-10, 0, 10, 20}));
    list.iter = list.first->next;
    list_delete(&list, list.iter);
    EXPECT_EQ(list.iter->value, 10);
    list_clear(&list);
}

struct Record30 {
    char bytes[30];
};

struct Frame9 {
    int32_t stroke;
    float time, x, y, z, q[4];
};

TEST(IndexedList, NamedWrappers)
{
    IndexedList<ListNode<Record30>> ranges;
    Record30 r{};
    r.bytes[29] = 7;
    EXPECT_EQ(list_add_rec30(&ranges, r)->value.bytes[29], 7);
    EXPECT_EQ(list_get_atlas_page(&ranges, 0)->value.bytes[29], 7);
    list_clear_atlas_pages(&ranges);
    EXPECT_EQ(ranges.count, 0);

    IndexedList<ListNode<Frame9>> frames;
    list_append_value9(&frames, Frame9{3, 1.5f, 0, 0, 0, {1, 0, 0, 0}});
    EXPECT_EQ(frames.last->value.stroke, 3);
    list_clear(&frames);

    DirtyRectList rects;
    render_list_append_rect(&rects, 1, 2, 3, 4);
    ListNode<TextureDirtyRect> *node = render_list_append_rect(&rects, 5, 6, 7, 8);
    EXPECT_EQ(node->value.left, 5);
    EXPECT_EQ(node->value.bottom, 8);
    EXPECT_EQ(rects.count, 2);
    list_clear_rec16(&rects);
    EXPECT_EQ(rects.count, 0);
    EXPECT_EQ(rects.first, nullptr);
}

TEST(IndexedList, LogoStrokes)
{
    EXPECT_EQ(list_add_point(0, 0, 0), nullptr);
    list_append_node61_global();
    list_add_point(1, 2, 3);
    list_add_point(4, 5, 6);
    ListNode<LogoStroke> *second = list_append_node61_global();
    list_add_point(7, 8, 9);
    EXPECT_EQ(g_logo_strokes.count, 2);
    EXPECT_EQ(g_logo_strokes.first->value.points.count, 2);
    EXPECT_EQ(second->value.points.first->value.z, 9.0f);
    EXPECT_EQ(second->value.closed, 0);
    list_free_logo_strokes();
    EXPECT_EQ(g_logo_strokes.count, 0);
}

}  // namespace
