// The mesh kit of the data tools: closed solids made of polygons, each given with the way it faces
// out of its solid, triangulated, textured by planar projection (one repeat per 2 units) and then
// turned inside out, so that every surface a ball rests on has an engine normal with y > 0 (y
// points down). Polygons are given by texture id; each face's material byte is the texture's
// material (data_material_of).
#pragma once

#include <cstdint>
#include <vector>

struct MeshObject;

struct DataMeshPolygon {
    std::vector<int32_t> points;  // convex, or fanned from its first point
    int32_t texture;  // the theme's texture id
    float outward[3];  // away from the solid (or the side a membrane faces)
};

struct DataMesh {
    std::vector<float> points;  // x, y, z each; equal points are one
    std::vector<DataMeshPolygon> polygons;
};

// The index of the point, added unless an equal one exists.
int32_t data_mesh_point(DataMesh *mesh, float x, float y, float z);
void data_mesh_polygon(DataMesh *mesh, std::vector<int32_t> points, int32_t texture, float ox, float oy, float oz);

// Boxes span [x0, x1] x [y0, y1] x [z0, z1]; y0 < y1, so y0 is the top.
void data_mesh_box(DataMesh *mesh, float x0, float x1, float y0, float y1, float z0, float z1, int32_t top,
                   int32_t sides, int32_t bottom);
// A box of `length` along x turned by `degrees` about y, centred on (cx, cz).
void data_mesh_turned_box(DataMesh *mesh, float cx, float cz, float length, float width, float y0, float y1,
                          float degrees, int32_t material);
// A cylinder about the vertical through (cx, cz), from y0 (top) to y1, with `sides` faces round;
// with caps or open.
void data_mesh_cylinder(DataMesh *mesh, float cx, float cz, float radius, float y0, float y1, int32_t sides,
                        bool capped, int32_t side_material, int32_t cap_material);
// A disc facing up (a membrane) at height y.
void data_mesh_disc(DataMesh *mesh, float cx, float cz, float radius, float y, int32_t sides, int32_t material);
// A square plate [-half, half]^2 from y0 (top) to y1 with a round hole of `radius` (sides a multiple
// of 4): a pocket with its floor at `floor_y` (floor_y < y1), or a shaft through (floor_y >= y1).
// The top and bottom keep only the square's four corners.
void data_mesh_holed_plate(DataMesh *mesh, float half, float radius, float y0, float y1, float floor_y, int32_t sides,
                           int32_t top, int32_t sides_material, int32_t wall, int32_t floor);

// The mesh object: faces fanned, planar texture coordinates, normals, then inverted.
MeshObject *data_mesh_object(const DataMesh *mesh, const char *name);
