// The headless graphics device a fuzz target keeps for its whole run.
#pragma once

#include "platform/gpu/headless/gpu_headless.h"

#include <cstdlib>

// Makes the device on the headless back end (no window); a device that cannot be made ends the run.
inline IDirect3DDevice9 *fuzz_headless_device()
{
    setenv("ZAVGOLF_HEADLESS", "1", 1);
    gpu_headless_reset();
    static IDirect3D9 *d3d = Direct3DCreate9(D3D_SDK_VERSION);  // held for the run, like the device
    D3DPRESENT_PARAMETERS p = {};
    p.BackBufferWidth = p.BackBufferHeight = 32;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.Windowed = TRUE;
    static IDirect3DDevice9 *device = nullptr;
    if (!d3d || d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &device) != D3D_OK)
        abort();
    return device;
}
