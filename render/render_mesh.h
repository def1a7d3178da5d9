// Render objects made from the geometry core's meshes: the full builder with draw ranges and
// lightmap coordinates, the simple loader, the unit box, and stencil shadow volumes.
#pragma once

#include "render/render_object.h"
#include "render/texture.h"

struct MeshObject;

// A new render object of the mesh (the caller frees and deletes it), on the context's device.
// Grouped (the default): vertices written per part 0 to 8, indices sorted into draw ranges by
// texture ids, lightmap pages and material. kRenderUngrouped: the mesh's own vertices;
// kRenderTweened with kRenderFrames: one buffer per keyframe as well. Lightmap coordinates
// (kRenderLightmap, kRenderThreePairs) come from the atlas blocks the faces name: from
// `block_table` (indexed by block id) when given, else from the context's block list. Null when
// the mesh has no faces.
RenderObject *render_build_mesh_render_objects(RenderContext *context, const MeshObject *mesh, uint32_t flags,
                                               LightmapBlock *const *block_table);
// Fills the caller's object with the mesh's shared vertices and its faces, without draw ranges.
void render_object_load_mesh_vertices(RenderObject *object, const MeshObject *mesh, uint32_t flags);
// Fills the caller's object with a unit box (format 3, 36 indices).
void render_object_from_primitive(RenderObject *object);

// The lowest face whose winding holds the directed edge a -> b; -1 when none. Faces with a
// repeated or invalid vertex index hold no edge.
int32_t render_find_face_with_edge(const MeshObject *mesh, int32_t a, int32_t b);
// Builds the shadow volume of the mesh into the caller's initialised object: one quad per edge
// carrying the normals of its two faces, caps unless kRenderNoCaps, per-keyframe buffers with
// kRenderFrames | kRenderTweened. `options` become the object's flags (normally 0xD and more).
void render_build_shadow_volume(RenderObject *object, const MeshObject *mesh, uint32_t options);
// The intro's volume of g_current_mesh (geometry/mesh_edit.h) into g_shadow_volume_object.
void render_build_shadow_volume_simple();

// The one object the simple builder fills again on each call.
extern RenderObject g_shadow_volume_object;
