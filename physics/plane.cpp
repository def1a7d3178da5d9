// Bodies against the world's infinite planes. No plane routine is built yet: no contact.
#include "physics/physics_local.h"

int32_t collide_body_planes(int32_t, int32_t, PhysicsWorld *, int32_t) { return 0; }
