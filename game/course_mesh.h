// Mesh utilities on hole and palette objects that the front end shares with course play and the
// editor: the flat shading with its render objects, and an object's local bounds.
#pragma once

#include <cstdint>

struct MeshObject;
struct RenderObject;

// Flat shading (colour = clamp(nx + ny + nz, 0.3, 1)) and the object's render objects built with
// the face byte; returns the built object (the caller stores and frees it), null without faces.
RenderObject *course_mesh_shade_and_build(MeshObject *object, uint8_t face_flag);
// The six local bounds from the vertex positions (10000 / -10000 without vertices).
void course_mesh_compute_bounds(MeshObject *object);
