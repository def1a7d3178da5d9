// Fuzz target of the effect-text reader: the input is effect text for D3DXCreateEffect on the
// headless device; an effect it makes runs the passes of its first technique, then goes.
#include "platform/gpu/gpu_effect.h"
#include "platform/gpu/headless/gpu_headless.h"

#include <cstdint>
#include <cstdlib>

namespace {

// Kept for the whole run.
IDirect3D9 *g_d3d;
IDirect3DDevice9 *g_device;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    setenv("ZAVGOLF_HEADLESS", "1", 1);  // no window: the headless back end
    gpu_headless_reset();
    g_d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS p = {};
    p.BackBufferWidth = p.BackBufferHeight = 32;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.Windowed = TRUE;
    if (!g_d3d || g_d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &g_device) != D3D_OK)
        abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ID3DXEffect *effect = nullptr;
    ID3DXBuffer *errors = nullptr;
    D3DXCreateEffect(g_device, data, UINT(size), nullptr, nullptr, 0, nullptr, &effect, &errors);
    if (errors) errors->Release();
    if (!effect) return 0;
    UINT passes = 0;
    if (effect->Begin(&passes, 0) == D3D_OK) {
        for (UINT p = 0; p < passes && p < 8; p++) {
            effect->BeginPass(p);
            effect->CommitChanges();
            effect->EndPass();
        }
        effect->End();
    }
    effect->Release();
    return 0;
}
