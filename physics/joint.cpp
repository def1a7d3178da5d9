// Joint chains. Nothing registers chains yet: releasing them only empties the table.
#include "physics/physics_local.h"

void physics_joint_release_chains(PhysicsWorld *world)
{
    world->joint_chain_count = 0;
}

void physics_mark_jointed_pairs(PhysicsWorld *) {}

void physics_joint_pass(PhysicsWorld *) {}
