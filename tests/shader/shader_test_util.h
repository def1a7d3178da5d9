// A constructed compiler for each test, its tables freed at the end (ASan sees any leak).
#pragma once

#include "shader/shader_local.h"

#include "platform/gpu/headless/gpu_headless.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

class CompilerTest : public ::testing::Test {
protected:
    ShaderCompiler *c = shader_compiler_construct(new ShaderCompiler);

    ~CompilerTest() override
    {
        shader_free_tables(c);
        delete c;
    }

    static char *dup(const char *text) { return strdup(text); }
};

// A small device on the headless back end, for compiles that create effects; the test checks that
// everything it made is released.
struct HeadlessDeviceTest : ::testing::Test {
    IDirect3D9 *d3d = nullptr;
    IDirect3DDevice9 *device = nullptr;

    void SetUp() override
    {
        gpu_headless_reset();
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS p = {};
        p.BackBufferWidth = p.BackBufferHeight = 32;
        p.SwapEffect = D3DSWAPEFFECT_DISCARD;
        p.Windowed = TRUE;
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &device),
                  D3D_OK);
    }

    void TearDown() override
    {
        EXPECT_EQ(device->Release(), 0u);
        d3d->Release();
        EXPECT_EQ(gpu_headless_live_resources(), 0);
        gpu_headless_reset();
        shader_set_work_registers(false);
    }
};

// The texts of a line list, in order.
inline std::vector<std::string> lines_of(const TextLineList &list)
{
    std::vector<std::string> out;
    for (const TextLine *line = list.first; line; line = line->next) out.push_back(line->text);
    return out;
}
