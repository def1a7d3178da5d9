// The theme's palette: the fifteen pieces the editor offers, their kinds, sizes and materials,
// shared by the theme scene, the course and its previews. Lengths in units; a tile is 4 x 4, the
// lane's floor top at y = -0.5 (y points down).
#pragma once

#include <cstdint>

struct MeshObject;

enum DataPieceKind { kPieceBloc, kPieceStart, kPieceEnd, kPieceDecor, kPieceDecorBloc, kPiecePales };

// Materials, which are also the texture ids of the theme scene.
enum : int32_t {
    kMatTurf = 1,
    kMatWood = 2,
    kMatStone = 3,
    kMatGrass = 5,
    kMatKerb = 6,
    kMatMeadow = 7,  // SOL and GROUND
    kMatWater = 8,
    kMatRed = 9,
    kMatWhite = 10,
    kMatSand = 11,
    kMatRoof = 12,
    kMatBark = 16,
    kMatLeaves = 17,
};

struct DataPiece {
    const char *name;
    DataPieceKind kind;
    bool lane;  // a floor the ball rolls across (one rest surface over the lane, inside rails)
};

constexpr int DATA_PIECE_COUNT = 15;
extern const DataPiece g_data_pieces[DATA_PIECE_COUNT];

constexpr float DATA_TILE = 4.0f;
constexpr float DATA_LANE_HALF = 1.75f;  // inside the rails
constexpr float DATA_CUP_RADIUS = 0.3f;
constexpr float DATA_SAND_DEPTH = 0.08f;  // the sand lies this far below the lane

// The textures of the scene: id, base name under the data folder, and whether it has alpha.
struct DataTexture {
    int32_t id;
    const char *name;
    bool alpha;
};
constexpr int DATA_TEXTURE_COUNT = 13;
extern const DataTexture g_data_textures[DATA_TEXTURE_COUNT];

// The piece's mesh (new), standing on y = 0 with its rest surfaces wound for play.
MeshObject *data_piece_build(const DataPiece &piece);
