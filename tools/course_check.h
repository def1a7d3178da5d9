// The rules every hole of a shipped course set keeps, checked on what its files hold; course_data
// runs it on each hole it wrote and the tests share it. Each problem found is one line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SceneWorld;

constexpr int32_t DATA_HOLE_GROUND_TILES = 225;  // the editor's grid, before the blocks
constexpr int32_t DATA_HOLE_OBJECTS_MAX = 499;   // the editor takes no block past this
constexpr int32_t DATA_HOLE_PALES_MAX = 29;      // course play's colliders left for turning blades
constexpr float DATA_HOLE_REACH_XZ = 48.0f;      // within the editor's field and the play camera's
constexpr float DATA_HOLE_REACH = 65.0f;         // within the shadows' radius
constexpr int32_t DATA_HOLE_TITLE_MAX = 14;      // what the editor's name field holds

// A hole as loaded: GROUND tiles 0 to 224 and the first block index 225; then blocks only, one
// START, a BLOC; every block's world bounds within DATA_HOLE_REACH_XZ of the origin on x and z and
// DATA_HOLE_REACH of it; PALES turned only about y by 0, DATA_HOLE_PALES_MAX at most; at most
// DATA_HOLE_OBJECTS_MAX objects.
std::vector<std::string> data_course_check_world(const SceneWorld *world);
// "<base>.qel" loaded as the editor opens it (scene_load flags 0x4C) and checked as above;
// "<base>.txt" gives a title of 1 to 14 characters and PAR 1 to 9; "<base>.png" is 256 x 256; the
// base name ends in two digits.
std::vector<std::string> data_course_check_hole(const std::string &base);
