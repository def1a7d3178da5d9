// The course "Meadow": nine holes laid on the 4 x 4 tile grid of the palette (tile (i, j) is the
// square centred on (4i, 4j)), their titles, PARs and routes, and the editor placements that build
// each one. Shared by course_data, its tests and the solver. y points down; N is -z, E is +x.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What a tile holds: S tee (START on its plinth), G grass, U cup (and its flag), D sand, P pond,
// B bridge, R ramp rising to +x (its rails built in), M mill (grass, blades and the mill house).
struct DataHoleTile {
    char kind;
    int32_t i, j;
    bool raised;        // on a DECORBLOC base: the lane one block higher
    const char *rails;  // the tile's sides that get a rail, of "NSWE"
    const char *bank;   // the corner a bank cuts ("NE", "NW", "SE", "SW"), or ""
};

struct DataPoint {
    float x, z;
};

// One stroke of a hole's plan: after waiting `wait` frames with the ball at rest (the mill's
// blades turn meanwhile), struck from where the ball lies toward `aim` with `power`, a power the
// charge reaches (0.2 to 15.2 in steps of 0.2), the camera at its flattest.
struct DataStroke {
    DataPoint aim;
    float power;
    int32_t wait;
};

struct DataHoleLayout {
    const char *title;  // at most 14 characters, no '"'
    int32_t par;
    std::vector<DataHoleTile> tiles;
    std::vector<DataPoint> posts;  // bumper posts, where they stand
    std::vector<DataPoint> route;  // the ball's way from the tee to the cup, as waypoints
    std::vector<DataStroke> plan;  // strokes that hole out, found by course_solve --search
};

constexpr int DATA_COURSE_HOLE_COUNT = 9;
extern const char *const g_data_course_name;  // the set's folder under data/parcours
extern const DataHoleLayout g_data_course_holes[DATA_COURSE_HOLE_COUNT];

// Lane tops: a floor on the ground, and one on a DECORBLOC base.
constexpr float DATA_LANE_TOP = -0.5f;
constexpr float DATA_RAISED_LANE_TOP = -1.0f;

// One editor placement: the palette piece, where (snapped by the editor), turned, lifted above the
// highest block under it, and the height its origin must end up at.
struct DataPlacement {
    const char *piece;
    float x, z;
    int32_t yaw;
    float raise;
    float y;
};

// The hole's placements in the order the editor's stacking needs: DECORBLOC bases and the tee's
// plinth, floors, rails, banks and posts, START, PALES, then the mill houses and flags.
std::vector<DataPlacement> data_course_placements(const DataHoleLayout &hole);
int32_t data_course_total_par();
// The set's "desc.txt": four quoted lines, CR LF, the first naming the set, its holes and PAR.
std::string data_course_description();
// "holeNN" of hole `number` (1-based).
std::string data_course_hole_file(int number);
