// The nine holes of "Meadow" and the placements that build them (see data_course.h).
#include "tools/data_course.h"

#include "tools/data_palette.h"
#include "tools/data_writer.h"

#include <cmath>
#include <cstdio>
#include <cstring>

const char *const g_data_course_name = "Meadow";

// Each hole adds one idea; all are railed but where water is the way off.
const DataHoleLayout g_data_course_holes[DATA_COURSE_HOLE_COUNT] = {
    {"First Putt", 2,
     {{'S', -2, 0, false, "NSW", ""},
      {'G', -1, 0, false, "NS", ""},
      {'G', 0, 0, false, "NS", ""},
      {'G', 1, 0, false, "NS", ""},
      {'U', 2, 0, false, "NSE", ""}},
     {},
     {{-8, 0}, {8, 0}},
     {{{0.00f, 0.00f}, 3.8f, 0}}},
    {"Dogleg", 3,
     {{'S', -2, -1, false, "NSW", ""},
      {'G', -1, -1, false, "NS", ""},
      {'G', 0, -1, false, "NE", "NE"},
      {'G', 0, 0, false, "WE", ""},
      {'U', 0, 1, false, "WES", ""}},
     {},
     {{-8, -4}, {0, -4}, {0, 4}},
     {{{-0.12f, -2.61f}, 12.2f, 0}}},
    {"Sand Trap", 3,
     {{'S', -3, 0, false, "NSW", ""},
      {'G', -2, 0, false, "NS", ""},
      {'G', -1, 0, false, "N", ""},
      {'G', 0, 0, false, "N", ""},
      {'D', 1, 0, false, "N", ""},
      {'U', 2, 0, false, "NE", ""},
      {'G', -1, 1, false, "SW", ""},
      {'G', 0, 1, false, "S", ""},
      {'G', 1, 1, false, "S", ""},
      {'G', 2, 1, false, "SE", ""}},
     {},
     {{-12, 0}, {-4, 0}, {0, 4}, {8, 4}, {8, 0}},
     {{{-4.09f, 1.17f}, 6.8f, 0}, {{7.84f, -3.74f}, 2.6f, 0}}},
    {"Uphill", 3,
     {{'S', -3, 0, false, "NSW", ""},
      {'G', -2, 0, false, "NS", ""},
      {'R', -1, 0, false, "", ""},
      {'G', 0, 0, true, "NS", ""},
      {'G', 1, 0, true, "NS", ""},
      {'U', 2, 0, true, "NSE", ""}},
     {},
     {{-12, 0}, {8, 0}},
     {{{-4.00f, 0.00f}, 6.4f, 0}}},
    {"The Pond", 3,
     {{'G', -1, -1, false, "NW", ""},
      {'G', 0, -1, false, "N", ""},
      {'G', 1, -1, false, "NE", ""},
      {'S', -2, 0, false, "NSW", ""},
      {'G', -1, 0, false, "", ""},
      {'P', 0, 0, false, "", ""},
      {'G', 1, 0, false, "", ""},
      {'U', 2, 0, false, "NSE", ""},
      {'G', -1, 1, false, "SW", ""},
      {'G', 0, 1, false, "S", ""},
      {'G', 1, 1, false, "SE", ""}},
     {},
     {{-8, 0}, {-4, -4}, {4, -4}, {8, 0}},
     {{{-4.00f, -6.93f}, 14.0f, 0}, {{13.10f, 5.07f}, 1.2f, 0}}},
    {"Windmill", 3,
     {{'S', -3, 0, false, "NSW", ""},
      {'G', -2, 0, false, "NS", ""},
      {'G', -1, 0, false, "NS", ""},
      {'M', 0, 0, false, "NS", ""},
      {'G', 1, 0, false, "NS", ""},
      {'U', 2, 0, false, "NSE", ""}},
     {},
     {{-12, 0}, {8, 0}},
     {{{-4.00f, 0.00f}, 5.0f, 0}}},
    {"Zigzag", 4,
     {{'S', -2, -2, false, "NSW", ""},
      {'G', -1, -2, false, "NS", ""},
      {'G', 0, -2, false, "NE", "NE"},
      {'G', 0, -1, false, "WE", ""},
      {'G', 0, 0, false, "WS", "SW"},
      {'G', 1, 0, false, "NS", ""},
      {'U', 2, 0, false, "NSE", ""}},
     {{-0.75f, -4}, {0.75f, -4}},
     {{-8, -8}, {0, -8}, {0, 0}, {8, 0}},
     {{{-2.97f, -1.78f}, 13.8f, 0}, {{7.05f, -7.02f}, 1.2f, 0}}},
    {"The Bridge", 3,
     {{'S', -3, 0, false, "NSW", ""},
      {'G', -2, 0, false, "NS", ""},
      {'B', -1, 0, false, "NS", ""},
      {'G', 0, 0, false, "NS", ""},
      {'G', 1, 0, false, "NS", ""},
      {'U', 2, 0, false, "NSE", ""}},
     {},
     {{-12, 0}, {8, 0}},
     {{{-4.00f, 0.00f}, 5.0f, 0}}},
    {"Grand Finale", 4,
     {{'S', -4, -2, false, "NSW", ""},
      {'G', -3, -2, false, "NS", ""},
      {'G', -2, -2, false, "NE", "NE"},
      {'G', -2, -1, false, "WE", ""},
      {'G', -2, 0, false, "WS", "SW"},
      {'R', -1, 0, false, "", ""},
      {'M', 0, 0, true, "NS", ""},
      {'G', 1, 0, true, "NS", ""},
      {'U', 2, 0, true, "NSE", ""}},
     {},
     {{-16, -8}, {-8, -8}, {-8, 0}, {8, 0}},
     {{{-9.32f, -3.59f}, 15.2f, 0}, {{4.64f, -5.57f}, 1.2f, 0}}},
};

namespace {

const float STEP = 0.25f;         // the palette's block step: half the DECORBLOC slab
const float RAIL_OFFSET = 1.875f;  // a rail's centre from its tile's centre
const float BANK_OFFSET = 1.0f;    // a bank's centre from its tile's centre, on x and on z
const float MILL_OFFSET = -1.0f;   // the mill house behind its blades, on x
const float FLAG_OFFSET = 0.25f;   // the flag's origin from the cup's centre, on x

const char *floor_piece(char kind)
{
    switch (kind) {
    case 'G':
    case 'M': return "BLOC_GRASS";
    case 'U': return "BLOC_CUP";
    case 'D': return "BLOC_SAND";
    case 'P': return "BLOC_POND";
    case 'B': return "BLOC_BRIDGE";
    case 'R': return "BLOC_RAMP";
    }
    return nullptr;
}

float lane_top(const DataHoleTile &tile) { return tile.raised ? DATA_RAISED_LANE_TOP : DATA_LANE_TOP; }

}  // namespace

std::vector<DataPlacement> data_course_placements(const DataHoleLayout &hole)
{
    std::vector<DataPlacement> out;
    auto centre = [](const DataHoleTile &t, float dx, float dz) {
        return DataPoint{DATA_TILE * float(t.i) + dx, DATA_TILE * float(t.j) + dz};
    };
    auto add = [&](const char *piece, DataPoint p, int32_t yaw, float raise, float y) {
        out.push_back({piece, p.x, p.z, yaw, raise, y});
    };
    // Bases first: everything on the tile stacks on them.
    for (const DataHoleTile &t : hole.tiles) {
        if (t.raised) add("DECORBLOC", centre(t, 0, 0), 0, 0, 0);
        if (t.kind == 'S') add("DECORSOCLE", centre(t, 0, 0), 0, 0, 0);
    }
    for (const DataHoleTile &t : hole.tiles) {
        const char *piece = floor_piece(t.kind);
        if (piece) add(piece, centre(t, 0, 0), 0, 0, t.raised ? DATA_LANE_TOP : 0.0f);
    }
    for (const DataHoleTile &t : hole.tiles) {
        // The tee's rails stand on its plinth, a step below the tee's top.
        const float raise = t.kind == 'S' ? STEP : 0.0f;
        for (const char *side = t.rails; *side; side++) {
            const bool across_z = *side == 'N' || *side == 'S';
            const float offset = *side == 'N' || *side == 'W' ? -RAIL_OFFSET : RAIL_OFFSET;
            add("BLOC_RAIL", across_z ? centre(t, 0, offset) : centre(t, offset, 0), across_z ? 0 : 90, raise,
                lane_top(t));
        }
        if (t.bank[0]) {
            const float dz = t.bank[0] == 'N' ? -BANK_OFFSET : BANK_OFFSET;
            const float dx = t.bank[1] == 'W' ? -BANK_OFFSET : BANK_OFFSET;
            // The piece runs along x = z; NW and SE want the other diagonal.
            const bool other = strcmp(t.bank, "NW") == 0 || strcmp(t.bank, "SE") == 0;
            add("BLOC_BANK", centre(t, dx, dz), other ? 90 : 0, 0, lane_top(t));
        }
    }
    for (const DataPoint &post : hole.posts) {
        float top = DATA_LANE_TOP;
        for (const DataHoleTile &t : hole.tiles)
            if (std::abs(post.x - DATA_TILE * float(t.i)) < DATA_TILE / 2 &&
                std::abs(post.z - DATA_TILE * float(t.j)) < DATA_TILE / 2)
                top = lane_top(t);
        add("BLOC_POST", post, 0, 0, top);
    }
    // START goes one step above the ground whatever is under it: its top meets the lanes.
    for (const DataHoleTile &t : hole.tiles)
        if (t.kind == 'S') add("START", centre(t, 0, 0), 0, 0, -STEP);
    // The blades one step up, so that their tips clear the lane.
    for (const DataHoleTile &t : hole.tiles)
        if (t.kind == 'M') add("PALES", centre(t, 0, 0), 0, STEP, lane_top(t) - STEP);
    for (const DataHoleTile &t : hole.tiles) {
        if (t.kind == 'M') add("DECORMILL", centre(t, MILL_OFFSET, 0), 0, 0, lane_top(t));
        if (t.kind == 'U') add("END", centre(t, FLAG_OFFSET, 0), 0, 0, lane_top(t));
    }
    return out;
}

int32_t data_course_total_par()
{
    int32_t total = 0;
    for (const DataHoleLayout &hole : g_data_course_holes) total += hole.par;
    return total;
}

std::string data_course_description()
{
    char first[128];
    snprintf(first, sizeof first, "\"%s - %d holes, par %d\"\n", g_data_course_name, DATA_COURSE_HOLE_COUNT,
             int(data_course_total_par()));
    return data_crlf(std::string(first) +
                     "\"A gentle course across the meadow:\"\n"
                     "\"banks, sand, a pond, a bridge\"\n"
                     "\"and the old windmill.\"\n");
}

std::string data_course_hole_file(int number)
{
    char name[32];
    snprintf(name, sizeof name, "hole%02d", number);
    return name;
}
