// Collision event lists: append and clear, and the step's pool of spent event nodes.
#include "physics/physics_local.h"

namespace {

// Nodes of earlier steps' events, kept for the jobs' appends: one stack per worker, used by the
// job running as that worker or by the main thread between phases. Each holds at most kPoolMost.
constexpr int32_t kPoolMost = 4096;
// Each worker's on a cache line of its own: its jobs take nodes from it at every event.
struct alignas(64) EventPool {
    CollisionEventNode *top = nullptr;
    int32_t count = 0;
    ~EventPool()
    {
        while (top) {
            CollisionEventNode *next = top->next;
            delete top;
            top = next;
        }
    }
};
EventPool g_event_pools[kPhysicsWorkers];

}  // namespace

CollisionEventNode *physics_event_list_append_new(CollisionEventList *list)
{
    return list_link_last(list, new CollisionEventNode{});
}

CollisionEventNode *physics_event_list_append_copy(CollisionEventList *list, CollisionEvent event)
{
    return list_link_last(list, new CollisionEventNode{event, nullptr, nullptr});
}

void physics_event_list_clear(CollisionEventList *list) { list_clear(list); }

CollisionEventNode *physics_event_append_pooled(CollisionEventList *list, int32_t worker)
{
    if (worker < 0 || worker >= kPhysicsWorkers || !g_event_pools[worker].top)
        return physics_event_list_append_new(list);
    EventPool &pool = g_event_pools[worker];
    CollisionEventNode *node = pool.top;
    pool.top = node->next;
    pool.count--;
    node->value = CollisionEvent{};
    return list_link_last(list, node);
}

void physics_event_list_clear_pooled(CollisionEventList *list)
{
    // The whole list goes onto the emptiest pool (the stepping thread's when the jobs run inline),
    // or is freed when that one is full.
    EventPool *pool = &g_event_pools[0];
    for (EventPool &p : g_event_pools)
        if (p.count < pool->count) pool = &p;
    if (list->first && list->last && list->count > 0 && pool->count + list->count <= kPoolMost) {
        list->last->next = pool->top;
        pool->top = list->first;
        pool->count += list->count;
        *list = CollisionEventList{};
        return;
    }
    list_clear(list);
}
