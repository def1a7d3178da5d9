// Fuzz target of the shader-script compiler: the input's first byte picks the device's capability
// flags, the rest is the script, compiled for a render object on the headless device. Whatever the
// compile makes is released again.
#include "platform/gpu/headless/gpu_headless.h"
#include "shader/shader.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// Kept for the whole run.
IDirect3D9 *g_d3d;
IDirect3DDevice9 *g_device;

void log_nothing(const char *) {}

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
    if (size == 0) return 0;
    uint8_t caps = data[0];
    std::string script(reinterpret_cast<const char *>(data + 1), size - 1);
    uint32_t flags = 0;
    ShaderCompiler *compiler = nullptr;
    ID3DXEffect *effect = nullptr;
    ShaderObjectFields object = {&flags,   &compiler,
                                 &effect,  g_device,
                                 {uint8_t(caps & 1), uint8_t(caps >> 1 & 1), uint8_t(caps >> 2 & 1), uint8_t(caps >> 3 & 1)},
                                 log_nothing};
    free(shader_compile_object(&object, script.c_str()));
    shader_release_object(&object);
    return 0;
}
