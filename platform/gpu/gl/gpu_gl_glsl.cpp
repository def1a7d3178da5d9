// Shader programs of effects on OpenGL. Until the assembler is translated, programs are accepted
// and their draws take the fixed-function path.
#include "platform/gpu/gl/gpu_gl_local.h"
#include "platform/gpu/gpu_effect_local.h"

bool gl_program_create(GpuDevice *, GpuProgram *program)
{
    program->backend = nullptr;
    return true;
}

void gl_program_destroy(GpuDevice *, GpuProgram *) {}
