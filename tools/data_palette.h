// The theme's palette: the fifteen pieces the editor offers, their kinds, sizes and materials,
// shared by the theme scene, the course and its previews. Lengths in units; a tile is 4 x 4, the
// lane's floor top at y = -0.5 (y points down).
#pragma once

#include <cstdint>

struct MeshObject;

enum DataPieceKind { kPieceBloc, kPieceStart, kPieceEnd, kPieceDecor, kPieceDecorBloc, kPiecePales };

// The texture ids of the theme scene; a face's texture id says which picture it shows.
enum : int32_t {
    kTexTurf = 1,
    kTexWood = 2,
    kTexStone = 3,
    kTexGrass = 5,
    kTexKerb = 6,
    kTexMeadow = 7,
    kTexWater = 8,
    kTexRed = 9,
    kTexWhite = 10,
    kTexSand = 11,
    kTexRoof = 12,
    kTexBark = 16,
    kTexLeaves = 17,
};

// A face's material byte: its texture id above the two low bits, which the renderer takes as the
// blending of the face's draw range (0 opaque, 1 see-through). Only the leaves are see-through.
constexpr int32_t data_material(int32_t texture, bool see_through = false)
{
    return texture << 2 | (see_through ? 1 : 0);
}
enum : int32_t {
    kMatTurf = data_material(kTexTurf),
    kMatGrass = data_material(kTexGrass),    // HERBE
    kMatMeadow = data_material(kTexMeadow),  // SOL and GROUND
    kMatWater = data_material(kTexWater),    // EAU
    kMatSand = data_material(kTexSand),      // SABLE
    kMatLeaves = data_material(kTexLeaves, true),
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
constexpr float DATA_SAND_HALF = 1.0f;  // the sand band spans x within this of its block's centre

// The textures of the scene: id, base name under the data folder, and whether it has alpha.
struct DataTexture {
    int32_t id;
    const char *name;
    bool alpha;
};
constexpr int DATA_TEXTURE_COUNT = 13;
extern const DataTexture g_data_textures[DATA_TEXTURE_COUNT];

// The material byte of a face showing the texture: see-through where the picture has alpha.
int32_t data_material_of(int32_t texture);

// The piece's mesh (new), standing on y = 0 with its rest surfaces wound for play.
MeshObject *data_piece_build(const DataPiece &piece);
