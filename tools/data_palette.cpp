// The palette's pieces, each a set of closed solids built with the mesh kit (see data_palette.h).
#include "tools/data_palette.h"
#include "tools/data_mesh.h"

#include <cmath>
#include <cstring>

const DataPiece g_data_pieces[DATA_PIECE_COUNT] = {
    {"START", kPieceStart, true},        {"PALES", kPiecePales, false},      {"END", kPieceEnd, false},
    {"DECORSOCLE", kPieceDecor, false},  {"DECORMILL", kPieceDecor, false},  {"DECORBLOC", kPieceDecorBloc, false},
    {"BLOC_SAND", kPieceBloc, true},     {"BLOC_RAMP", kPieceBloc, true},    {"BLOC_RAIL", kPieceBloc, false},
    {"BLOC_POST", kPieceBloc, false},    {"BLOC_POND", kPieceBloc, true},    {"BLOC_GRASS", kPieceBloc, true},
    {"BLOC_CUP", kPieceBloc, true},      {"BLOC_BRIDGE", kPieceBloc, true},  {"BLOC_BANK", kPieceBloc, false},
};

const DataTexture g_data_textures[DATA_TEXTURE_COUNT] = {
    {kTexTurf, "data/themes/garden/tex/01_turf", false},     {kTexWood, "data/themes/garden/tex/02_wood", false},
    {kTexStone, "data/themes/garden/tex/03_stone", false},   {kTexGrass, "data/themes/garden/tex/05_grass", false},
    {kTexKerb, "data/themes/garden/tex/06_kerb", false},     {kTexMeadow, "data/themes/garden/tex/07_meadow", false},
    {kTexWater, "data/themes/garden/tex/08_water", false},   {kTexRed, "data/themes/garden/tex/09_red", false},
    {kTexWhite, "data/themes/garden/tex/10_white", false},   {kTexSand, "data/themes/garden/tex/11_sand", false},
    {kTexRoof, "data/themes/garden/tex/12_roof", false},     {kTexBark, "data/themes/garden/tex/16_bark", false},
    {kTexLeaves, "data/themes/garden/tex/17_leaves", true},
};

int32_t data_material_of(int32_t texture)
{
    for (const DataTexture &t : g_data_textures)
        if (t.id == texture) return data_material(texture, t.alpha);
    return data_material(texture);
}

namespace {

const float H = DATA_TILE / 2;  // half a tile
const float FLOOR = 0.5f;       // a floor block's height; its top is the lane
const float RAIL = 0.3f;        // rails stand this far above the lane
const float RAIL_WIDTH = 0.25f;
const int32_t ROUND = 16;       // sides of round things

// The lane's top across x: the grass band, the sand band and the grass band again, strips whose
// sides are split alike. The sand lies level with the lane: it holds a ball by its friction alone.
// (A sunken sand walled by its step stopped any ball struck at the step below full power.)
void sand_block(DataMesh *m)
{
    const float xs[4] = {-H, -DATA_SAND_HALF, DATA_SAND_HALF, H};
    const int32_t tops[3] = {kTexGrass, kTexSand, kTexGrass};
    auto p = [&](float x, float y, float z) { return data_mesh_point(m, x, y, z); };
    for (int s = 0; s < 3; s++) {
        const float x0 = xs[s], x1 = xs[s + 1];
        data_mesh_polygon(m, {p(x0, -FLOOR, -H), p(x1, -FLOOR, -H), p(x1, -FLOOR, H), p(x0, -FLOOR, H)}, tops[s], 0, -1,
                          0);
        data_mesh_polygon(m, {p(x0, 0, -H), p(x1, 0, -H), p(x1, 0, H), p(x0, 0, H)}, kTexKerb, 0, 1, 0);
        for (float z : {-H, H})
            data_mesh_polygon(m, {p(x0, -FLOOR, z), p(x0, 0, z), p(x1, 0, z), p(x1, -FLOOR, z)}, kTexKerb, 0, 0,
                              z < 0 ? -1.0f : 1.0f);
    }
    data_mesh_polygon(m, {p(-H, -FLOOR, -H), p(-H, -FLOOR, H), p(-H, 0, H), p(-H, 0, -H)}, kTexKerb, -1, 0, 0);
    data_mesh_polygon(m, {p(H, -FLOOR, -H), p(H, -FLOOR, H), p(H, 0, H), p(H, 0, -H)}, kTexKerb, 1, 0, 0);
}

// A wedge rising from the lane at x = -2 to one block higher at x = +2 (two block steps), with its
// rails along both sides as part of the one solid.
void ramp_block(DataMesh *m)
{
    const float rise = 0.5f;
    auto lane = [&](float x) { return -FLOOR - rise * (x + H) / DATA_TILE; };
    const float zs[4] = {-H, -DATA_LANE_HALF, DATA_LANE_HALF, H};
    auto top = [&](float x, int z) { return z == 0 || z == 3 ? lane(x) - RAIL : lane(x); };
    auto p = [&](float x, float y, float z) { return data_mesh_point(m, x, y, z); };
    // Tops across z: rail, lane, rail; the rails' inner faces between them.
    for (int s = 0; s < 3; s++) {
        float z0 = zs[s], z1 = zs[s + 1];
        bool rail = s != 1;
        float y0 = rail ? lane(-H) - RAIL : lane(-H), y1 = rail ? lane(H) - RAIL : lane(H);
        data_mesh_polygon(m, {p(-H, y0, z0), p(H, y1, z0), p(H, y1, z1), p(-H, y0, z1)}, rail ? kTexWood : kTexGrass,
                          0, -1, 0);
        data_mesh_polygon(m, {p(-H, 0, z0), p(H, 0, z0), p(H, 0, z1), p(-H, 0, z1)}, kTexKerb, 0, 1, 0);
    }
    for (int side = 0; side < 2; side++) {
        float z = side ? DATA_LANE_HALF : -DATA_LANE_HALF, out = side ? -1.0f : 1.0f;
        data_mesh_polygon(m, {p(-H, lane(-H), z), p(H, lane(H), z), p(H, lane(H) - RAIL, z), p(-H, lane(-H) - RAIL, z)},
                          kTexWood, 0, 0, out);
        float zo = side ? H : -H;
        data_mesh_polygon(m, {p(-H, 0, zo), p(H, 0, zo), p(H, top(H, 3), zo), p(-H, top(-H, 3), zo)}, kTexKerb, 0, 0,
                          side ? 1.0f : -1.0f);
    }
    // The two ends: the lane's column and a five-cornered column under each rail.
    for (int end = 0; end < 2; end++) {
        float x = end ? H : -H, out = end ? 1.0f : -1.0f;
        float l = lane(x), r = lane(x) - RAIL;
        data_mesh_polygon(m, {p(x, 0, -DATA_LANE_HALF), p(x, 0, DATA_LANE_HALF), p(x, l, DATA_LANE_HALF),
                              p(x, l, -DATA_LANE_HALF)},
                          kTexKerb, out, 0, 0);
        data_mesh_polygon(m, {p(x, 0, H), p(x, 0, DATA_LANE_HALF), p(x, l, DATA_LANE_HALF), p(x, r, DATA_LANE_HALF),
                              p(x, r, H)},
                          kTexKerb, out, 0, 0);
        data_mesh_polygon(m, {p(x, 0, -H), p(x, 0, -DATA_LANE_HALF), p(x, l, -DATA_LANE_HALF),
                              p(x, r, -DATA_LANE_HALF), p(x, r, -H)},
                          kTexKerb, out, 0, 0);
    }
}

// A deck across the tile on its stone pier, water on both sides over open shafts, stone walls.
void bridge_block(DataMesh *m)
{
    const float deck = 0.5f, water = -0.4f;
    data_mesh_box(m, -H, H, -FLOOR, 0, -deck, deck, kTexWood, kTexStone, kTexStone);
    data_mesh_box(m, -H, H, -FLOOR, 0, DATA_LANE_HALF, H, kTexStone, kTexStone, kTexStone);
    data_mesh_box(m, -H, H, -FLOOR, 0, -H, -DATA_LANE_HALF, kTexStone, kTexStone, kTexStone);
    for (int side = 0; side < 2; side++) {
        float z0 = side ? deck : -DATA_LANE_HALF, z1 = side ? DATA_LANE_HALF : -deck;
        auto p = [&](float x, float z) { return data_mesh_point(m, x, water, z); };
        data_mesh_polygon(m, {p(-H, z0), p(H, z0), p(H, z1), p(-H, z1)}, kTexWater, 0, -1, 0);
    }
}

// The mill over the lane: two pillars leave a tunnel 3.5 wide and 1 high along x; the house
// above, its roof ridge along z.
void mill(DataMesh *m)
{
    const float hx = 0.8f, tunnel = 1.0f, eaves = 2.5f, ridge = 3.0f;
    data_mesh_box(m, -hx, hx, -tunnel, 0, DATA_LANE_HALF, H, kTexWhite, kTexWhite, kTexWhite);
    data_mesh_box(m, -hx, hx, -tunnel, 0, -H, -DATA_LANE_HALF, kTexWhite, kTexWhite, kTexWhite);
    data_mesh_box(m, -hx, hx, -eaves, -tunnel, -H, H, kTexWhite, kTexWhite, kTexWhite);
    auto p = [&](float x, float y, float z) { return data_mesh_point(m, x, y, z); };
    for (int end = 0; end < 2; end++) {
        float z = end ? H : -H;
        data_mesh_polygon(m, {p(-hx, -eaves, z), p(hx, -eaves, z), p(0, -ridge, z)}, kTexRoof, 0, 0, end ? 1.0f : -1.0f);
    }
    float slope = (ridge - eaves) / hx;
    data_mesh_polygon(m, {p(-hx, -eaves, -H), p(0, -ridge, -H), p(0, -ridge, H), p(-hx, -eaves, H)}, kTexRoof, -slope, -1, 0);
    data_mesh_polygon(m, {p(hx, -eaves, -H), p(0, -ridge, -H), p(0, -ridge, H), p(hx, -eaves, H)}, kTexRoof, slope, -1, 0);
    data_mesh_polygon(m, {p(-hx, -eaves, -H), p(hx, -eaves, -H), p(hx, -eaves, H), p(-hx, -eaves, H)}, kTexRoof, 0, 1, 0);
}

// Four blades in a cross round a hub, in the y-z plane; the mill turns them about x.
void blades(DataMesh *m)
{
    const float t = 0.04f, hub = 0.2f, reach = 1.6f, half_width = 0.175f;
    data_mesh_box(m, -t, t, -hub, hub, -hub, hub, kTexWhite, kTexWhite, kTexWhite);
    data_mesh_box(m, -t, t, -reach, -hub, -half_width, half_width, kTexRed, kTexRed, kTexRed);
    data_mesh_box(m, -t, t, hub, reach, -half_width, half_width, kTexRed, kTexRed, kTexRed);
    data_mesh_box(m, -t, t, -half_width, half_width, -reach, -hub, kTexRed, kTexRed, kTexRed);
    data_mesh_box(m, -t, t, -half_width, half_width, hub, reach, kTexRed, kTexRed, kTexRed);
}

// The flag: an open pole and a cloth seen from both sides; nothing in it faces up.
void flag(DataMesh *m)
{
    const float pole_x = -0.25f, height = 1.8f, cloth_w = 0.53f, cloth_h = 0.35f, r = 0.03f;
    data_mesh_cylinder(m, pole_x, 0, r, -height, 0, 8, false, kTexWhite, kTexWhite);
    auto p = [&](float x, float y) { return data_mesh_point(m, x, y, 0); };
    int32_t a = p(pole_x + r, -height), b = p(pole_x + r + cloth_w, -height), c = p(pole_x + r + cloth_w, -height + cloth_h),
            d = p(pole_x + r, -height + cloth_h);
    data_mesh_polygon(m, {a, b, c, d}, kTexRed, 0, 0, -1);
    data_mesh_polygon(m, {a, b, c, d}, kTexRed, 0, 0, 1);
}

}  // namespace

MeshObject *data_piece_build(const DataPiece &piece)
{
    DataMesh m;
    const char *name = piece.name;
    auto is = [&](const char *other) { return strcmp(name, other) == 0; };
    if (is("START")) {
        data_mesh_box(&m, -H, H, -0.25f, 0, -H, H, kTexTurf, kTexKerb, kTexKerb);
    } else if (is("PALES")) {
        blades(&m);
    } else if (is("END")) {
        flag(&m);
    } else if (is("DECORSOCLE")) {
        data_mesh_box(&m, -H, H, -0.25f, 0, -H, H, kTexStone, kTexStone, kTexStone);
    } else if (is("DECORMILL")) {
        mill(&m);
    } else if (is("DECORBLOC")) {
        data_mesh_box(&m, -H, H, -FLOOR, 0, -H, H, kTexStone, kTexStone, kTexStone);
    } else if (is("BLOC_SAND")) {
        sand_block(&m);
    } else if (is("BLOC_RAMP")) {
        ramp_block(&m);
    } else if (is("BLOC_RAIL")) {
        data_mesh_box(&m, -H, H, -RAIL, 0, -RAIL_WIDTH / 2, RAIL_WIDTH / 2, kTexWood, kTexWood, kTexWood);
    } else if (is("BLOC_POST")) {
        data_mesh_cylinder(&m, 0, 0, 0.25f, -0.4f, 0, ROUND, true, kTexStone, kTexStone);
    } else if (is("BLOC_POND")) {
        data_mesh_holed_plate(&m, H, 1.3f, -FLOOR, 0, 0, ROUND * 2, kTexGrass, kTexKerb, kTexStone, kTexStone);
        data_mesh_disc(&m, 0, 0, 1.3f, -0.4f, ROUND * 2, kTexWater);
    } else if (is("BLOC_GRASS")) {
        data_mesh_box(&m, -H, H, -FLOOR, 0, -H, H, kTexGrass, kTexKerb, kTexKerb);
    } else if (is("BLOC_CUP")) {
        data_mesh_holed_plate(&m, H, DATA_CUP_RADIUS, -FLOOR, 0, -0.05f, ROUND, kTexGrass, kTexKerb, kTexKerb,
                              kTexMeadow);
    } else if (is("BLOC_BRIDGE")) {
        bridge_block(&m);
    } else if (is("BLOC_BANK")) {
        // Across the quarter's diagonal, a little longer each end to overlap the tiles' rails.
        float length = std::sqrt(2.0f) * 2.0f + 0.4f;
        data_mesh_turned_box(&m, 0, 0, length, RAIL_WIDTH, -RAIL, 0, 45.0f, kTexWood);
    }
    return data_mesh_object(&m, name);
}
