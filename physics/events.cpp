// Collision event lists: append and clear.
#include "physics/physics.h"

CollisionEventNode *physics_event_list_append_new(CollisionEventList *list)
{
    return list_link_last(list, new CollisionEventNode{});
}

CollisionEventNode *physics_event_list_append_copy(CollisionEventList *list, CollisionEvent event)
{
    return list_link_last(list, new CollisionEventNode{event, nullptr, nullptr});
}

void physics_event_list_clear(CollisionEventList *list) { list_clear(list); }
