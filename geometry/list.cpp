// The non-generic list operations: dirty-rectangle queues and the intro's logo strokes.
#include "geometry/list.h"

LogoStrokeList g_logo_strokes;

ListNode<TextureDirtyRect> *render_list_append_rect(DirtyRectList *list, int32_t left, int32_t top, int32_t right,
                                                    int32_t bottom)
{
    return list_append(list, TextureDirtyRect{left, top, right, bottom});
}

void list_clear_rec16(DirtyRectList *list) { list_clear(list); }

ListNode<LogoStroke> *list_append_node61_global() { return list_append(&g_logo_strokes, LogoStroke{{}, 0}); }

ListNode<LogoPoint> *list_add_point(float x, float y, float z)
{
    ListNode<LogoStroke> *stroke = g_logo_strokes.last;
    if (!stroke) return nullptr;
    g_logo_strokes.cursor_index = -1;
    return list_append(&stroke->value.points, LogoPoint{x, y, z});
}

void list_free_logo_strokes()
{
    for (ListNode<LogoStroke> *stroke = g_logo_strokes.first; stroke; stroke = stroke->next)
        list_clear(&stroke->value.points);
    list_clear(&g_logo_strokes);
}
