// Fuzz target of the effect-text reader: the input is effect text for D3DXCreateEffect on the
// headless device; an effect it makes runs the passes of its first technique, then goes.
#include "platform/gpu/gpu_effect.h"
#include "tests/fuzz/fuzz_device.h"

#include <cstdint>
#include <cstdlib>

namespace {

// Kept for the whole run.
IDirect3DDevice9 *g_device;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    g_device = fuzz_headless_device();
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
