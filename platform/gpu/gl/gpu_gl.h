// The OpenGL back end of the graphics stand-in (OpenGL 2.1 compatibility, GLSL 1.20), and the
// counters tests and benchmarks read to see what a frame cost the driver.
#pragma once

#include "platform/gpu/gpu_local.h"

// Work handed to the driver since the last reset of the counters, over all GL devices.
struct GpuGlStats {
    int shaders_compiled;
    int programs_linked;
    int texture_uploads;  // glTexImage2D / glTexSubImage2D calls
    int buffer_uploads;
    int draws;
    int errors;  // GL errors seen (debug output or glGetError)
};

const GpuBackend *gpu_backend_gl(void);
const GpuGlStats *gpu_gl_stats(void);
void gpu_gl_reset_stats(void);
