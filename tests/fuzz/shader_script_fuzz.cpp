// Fuzz target of the shader-script compiler: the input's first byte picks the device's capability
// flags, the rest is the script, compiled for a render object on the headless device. Whatever the
// compile makes is released again.
#include "tests/fuzz/fuzz_device.h"
#include "shader/shader.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// Kept for the whole run.
IDirect3DDevice9 *g_device;

void log_nothing(const char *) {}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    g_device = fuzz_headless_device();
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
