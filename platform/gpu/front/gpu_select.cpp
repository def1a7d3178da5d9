// Choice of the graphics back end.
#include "platform/gpu/gpu_local.h"

// The OpenGL back end plugs in here for the desktop; until it exists every device is headless.
const GpuBackend *gpu_select_backend(void) { return gpu_backend_headless(); }
