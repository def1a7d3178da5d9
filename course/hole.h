// Opening a hole of a course set into g_hole_world with its per-theme lit copy, and the plants'
// shadows (masks, textures and receivers) that the opener and the editor build. Main thread only.
#pragma once

#include <cstdint>

struct SceneWorld;

// Plants that get a shadow: their textures take slots 1200 + j, which stay below the sky's 1500.
constexpr int32_t kHoleShadowMaxVegetals = 256;
// Receivers' build flags, detailed and simple drawing, and the strict radius of the objects that
// get one.
constexpr uint32_t kHoleReceiverFlagsDetailed = 0x2100C7;
constexpr uint32_t kHoleReceiverFlagsSimple = 0x200087;
constexpr float kHoleReceiverRadiusDetailed = 65.0f;
constexpr float kHoleReceiverRadiusSimple = 40.0f;

// Loads hole `hole` (no extension) of course set `course` (shipped, or made in the editor when
// `personal`) into g_hole_world: from the current theme's lit copy when it loads with its
// lightmaps, else from the plain file, lit (progress through the world's load_progress, null text)
// and written as that lit copy. Then the plants' shadows. 1, or 0 when the plain file cannot be read
// or holds an old material that does not fit (the world is then empty and no copy is written).
int hole_open(const char *hole, const char *course, uint8_t personal);

// Holes saved before material bytes carried their blending hold each face's texture id as its
// material. Such a face (material equal to its texture id as 16 bits, not 0) gets the texture id
// above the two blending bits, opaque, in its object and its lit companion; an object's prepared
// form is built again when it changed. The number of faces changed; -1, with a line in the log and
// nothing changed, when such a face's id is 16384 or more (it would not fit): the caller refuses
// the hole as it refuses a file that cannot be read.
int32_t hole_upgrade_old_materials(SceneWorld *world);

// The plants' shadow masks, textures (slot 1200 + j) and receivers of g_hole_world, at the detail
// of g_option_hole_drawing. Nothing without plants. Leaves render variable "E" at 0.
void hole_build_shadows(void);
// Frees what hole_build_shadows made; nothing without plants. The plant count stays.
void hole_free_shadows(void);
// 1 when (x, y, z) lies in large plant j's shadow (its mask byte above 150), else 0.
uint8_t hole_point_in_object_shadow(int32_t j, float x, float y, float z);
