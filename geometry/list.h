// The engine's doubly linked list: nodes allocated one by one with new, a count, and a cached cursor
// from which access by index walks forward or backward. Every append or unlink sets the cursor
// index to -1. One generic list; the named operations below are thin wrappers over it.
//
// A node is any struct whose record is followed by `Node *next` and `Node *prev`; ListNode<T>
// is the usual one. Code that links its own nodes uses list_link_last / list_unlink, which keep
// first, last, count and the cursor consistent.
//
// Not thread-safe: list_at moves the cursor. Readers on several threads walk by next pointers.
#pragma once

#include <cstdint>

template <class T>
struct ListNode {
    T value;
    ListNode *next;
    ListNode *prev;
};

template <class Node>
struct IndexedList {
    Node *first = nullptr;
    Node *last = nullptr;
    Node *iter = nullptr;  // iteration node of callers that walk the list by hand
    int32_t count = 0;
    int32_t cursor_index = -1;  // -1: no cursor
    Node *cursor = nullptr;
};

// Links an allocated node after the last one; returns it.
template <class Node>
Node *list_link_last(IndexedList<Node> *list, Node *node)
{
    node->next = nullptr;
    node->prev = list->last;
    if (list->last)
        list->last->next = node;
    else
        list->first = node;
    list->last = node;
    list->count++;
    list->cursor_index = -1;
    return node;
}

// Links an allocated node before the first one; returns it.
template <class Node>
Node *list_link_first(IndexedList<Node> *list, Node *node)
{
    node->prev = nullptr;
    node->next = list->first;
    if (list->first)
        list->first->prev = node;
    else
        list->last = node;
    list->first = node;
    list->count++;
    list->cursor_index = -1;
    return node;
}

// Takes a node out of the list without freeing it; the node must belong to the list.
template <class Node>
void list_unlink(IndexedList<Node> *list, Node *node)
{
    if (node->prev)
        node->prev->next = node->next;
    else
        list->first = node->next;
    if (node->next)
        node->next->prev = node->prev;
    else
        list->last = node->prev;
    if (list->iter == node) list->iter = node->next;
    if (list->cursor == node) list->cursor = nullptr;
    node->next = node->prev = nullptr;
    list->count--;
    list->cursor_index = -1;
}

// Unlinks a node and deletes it.
template <class Node>
void list_delete(IndexedList<Node> *list, Node *node)
{
    list_unlink(list, node);
    delete node;
}

// Deletes every node; the list is left empty.
template <class Node>
void list_clear(IndexedList<Node> *list)
{
    Node *node = list->first;
    while (node) {
        Node *next = node->next;
        delete node;
        node = next;
    }
    list->first = list->last = list->iter = list->cursor = nullptr;
    list->count = 0;
    list->cursor_index = -1;
}

// Node `index` (0-based), walking from the first node, the last node or the cursor, whichever is
// nearest; the cursor is left on the node found. An index outside 0..count-1 gives the first node;
// an empty list gives null.
template <class Node>
Node *list_at(IndexedList<Node> *list, int32_t index)
{
    if (!list->first) return nullptr;
    if (index < 0 || index >= list->count) index = 0;
    Node *node = list->first;
    int32_t at = 0;
    int32_t best = index;
    if (list->count - 1 - index < best) {
        node = list->last;
        at = list->count - 1;
        best = list->count - 1 - index;
    }
    if (list->cursor_index >= 0 && list->cursor) {
        int32_t from_cursor = index > list->cursor_index ? index - list->cursor_index : list->cursor_index - index;
        if (from_cursor < best) {
            node = list->cursor;
            at = list->cursor_index;
        }
    }
    while (at < index) {
        node = node->next;
        at++;
    }
    while (at > index) {
        node = node->prev;
        at--;
    }
    list->cursor = node;
    list->cursor_index = index;
    return node;
}

// Appends a new node holding a copy of `value`; returns the node.
template <class T>
ListNode<T> *list_append(IndexedList<ListNode<T>> *list, const T &value)
{
    return list_link_last(list, new ListNode<T>{value, nullptr, nullptr});
}

// ---- named operations -------------------------------------------------------------------------

// The renderer's 30-byte draw-range records.
template <class T>
ListNode<T> *list_add_rec30(IndexedList<ListNode<T>> *list, const T &record)
{
    static_assert(sizeof(T) == 30, "a draw-range record is 30 bytes");
    return list_append(list, record);
}

// The lightmap atlas pages of the render context, by index, appended and cleared.
template <class T>
ListNode<T> *list_get_atlas_page(IndexedList<ListNode<T>> *list, int32_t index)
{
    return list_at(list, index);
}

template <class T>
ListNode<T> *list_add_atlas_page(IndexedList<ListNode<T>> *list, const T &page)
{
    return list_append(list, page);
}

template <class T>
void list_clear_atlas_pages(IndexedList<ListNode<T>> *list)
{
    list_clear(list);
}

// Nine 32-bit words by value (the replay frames, the script messages).
template <class T>
ListNode<T> *list_append_value9(IndexedList<ListNode<T>> *list, const T &words)
{
    static_assert(sizeof(T) == 36, "nine 32-bit words");
    return list_append(list, words);
}

// A texture's queue of dirty rectangles (right and bottom exclusive).
struct TextureDirtyRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};
static_assert(sizeof(TextureDirtyRect) == 16);

typedef IndexedList<ListNode<TextureDirtyRect>> DirtyRectList;

ListNode<TextureDirtyRect> *render_list_append_rect(DirtyRectList *list, int32_t left, int32_t top, int32_t right,
                                                    int32_t bottom);
void list_clear_rec16(DirtyRectList *list);

// ---- the intro's logo strokes ----------------------------------------------------------------

struct LogoPoint {
    float x, y, z;
};

struct LogoStroke {
    IndexedList<ListNode<LogoPoint>> points;
    int32_t closed;
};

typedef IndexedList<ListNode<LogoStroke>> LogoStrokeList;

// The global stroke list the intro reads its logo into; emptied by list_free_logo_strokes.
extern LogoStrokeList g_logo_strokes;

// Appends an empty open stroke to g_logo_strokes and returns it.
ListNode<LogoStroke> *list_append_node61_global();
// Appends a point to the last stroke of g_logo_strokes; null when there is no stroke yet.
ListNode<LogoPoint> *list_add_point(float x, float y, float z);
// Frees every stroke with its points.
void list_free_logo_strokes();
