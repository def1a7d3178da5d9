// Internals of course/: shared helpers of the play files.
#pragma once

#include "course/course.h"
#include "scene/scene.h"

#include <cstdint>

// Render-object builder flags of the flat-shaded objects and of the rebuilt turning blades.
constexpr uint32_t kCourseFlatBuildFlags = 135;
constexpr uint32_t kCoursePalesBuildFlags = 141;

inline SceneWorld *play_world(const PlayState *state) { return state->world ? state->world : &g_hole_world; }
inline PhysicsWorld *play_physics(const PlayState *state)
{
    return state->physics ? state->physics : &g_physics_world;
}

// Object i of the world, or null outside the objects.
inline MeshObject *play_object(const SceneWorld *world, int32_t i)
{
    return i >= 0 && i < world->object_count ? world->objects[i] : nullptr;
}

// Plays "data/sound/<name>.ogg" once (looping when asked) while the sound card and the sound
// effects are on; loaded on first use. Stops a looping one.
void play_sound(const char *name, int32_t loop);
void play_sound_stop(const char *name);

// Yaw in degrees (0..360) of the direction (vx, vz): atan with the 0.001 guard, + pi for negative x.
float play_yaw_of(float vx, float vz);

// Ball reset: asleep, orientation (1, 0, 0, 0), no motion, wake timer 0.
void play_ball_reset(RigidBody *body);
