// The game's render context on a fresh headless device of the given size, for tests that draw
// screens without a display.
#pragma once

#include "platform/gpu/headless/gpu_headless.h"
#include "render/render.h"

inline bool test_headless_device_open(RenderContext *context, int width, int height)
{
    gpu_headless_reset();
    render_context_construct(context);
    context->width = width, context->height = height;
    return render_create_device(context) == 1;
}
