// Internals shared by the renderer's own files.
#pragma once

#include "render/render.h"

// The format code the build flags give (layouts 0..7 and 9, +32 skinned).
int32_t render_format_for_flags(uint32_t flags);
// The FVF code of a format's vertex buffer; 0 for formats without one.
DWORD render_fvf_for_format(int32_t format);
// The four blend weights and bone indices of a skinned vertex (bytes 12 to 31), mirrored like the
// position.
void render_vertex_set_skin(RenderObject *object, int32_t i, const float *weights, const uint8_t *bones);
// Releases the object's buffers, frame buffers and system copies (not its effect, names or
// registry node); handles and counts of frames go back to null and 0.
void render_object_release_buffers(RenderObject *object);

// Truncates a float toward zero into 32 bits, as a C cast does for values in range; values out of
// range (or NaN) give 0 instead of undefined behaviour.
uint32_t render_float_to_bits(float value);

// Releases a compiled script attached to a render object and deletes the compiler.
void render_release_compiler(ShaderCompiler *compiler);

// Sends every used light slot again (after creation or reset): its light, then on or off.
void render_resend_lights(RenderContext *context);
// The reset of an existing device in the registry's order; 1 when Reset succeeded.
int render_reset_device(RenderContext *context);

// Set once the log has been opened in this run (then lines are appended).
extern bool g_render_log_opened;
