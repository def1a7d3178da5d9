// Choice of the graphics back end.
#include "platform/gpu/gl/gpu_gl.h"
#include "platform/gpu/gpu_local.h"
#include "platform/system.h"

const GpuBackend *gpu_select_backend(void) { return sys_headless() ? gpu_backend_headless() : gpu_backend_gl(); }
