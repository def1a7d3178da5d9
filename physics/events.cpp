// Collision event lists: append and clear, and the step's pool of spent event nodes.
#include "physics/physics_local.h"

namespace {

// Nodes of earlier steps' events, kept for the jobs' appends: one stack per worker, used by the
// job running as that worker or by the main thread between phases. Each holds at most kPoolMost.
constexpr int32_t kPoolMost = 4096;
struct EventPool {
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
    // The nodes go to the pools in turn, so that every worker finds some.
    int32_t w = 0;
    for (CollisionEventNode *node = list->first; node;) {
        CollisionEventNode *next = node->next;
        EventPool *pool = nullptr;
        for (int32_t tries = 0; tries < kPhysicsWorkers && !pool; tries++, w = (w + 1) % kPhysicsWorkers)
            if (g_event_pools[w].count < kPoolMost) pool = &g_event_pools[w];
        if (pool) {
            node->next = pool->top;
            pool->top = node;
            pool->count++;
        } else {
            delete node;
        }
        node = next;
    }
    *list = CollisionEventList{};
}
