// Fixture of the OpenGL tests: one hidden window per suite, one device per test, the back buffer
// read through GetBackBuffer + LockRect, and no GL error or leaked object allowed.
#pragma once

#include "platform/gpu/gl/gpu_gl.h"
#include "platform/gpu/gpu.h"
#include "platform/window.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

// One vertex of the pre-transformed layout XYZRHW | DIFFUSE | TEX1.
struct GlScreenVertex {
    float x, y, z, rhw;
    uint32_t colour;
    float u, v;
};
#define GL_SCREEN_FVF (D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1)

class GlTest : public ::testing::Test {
protected:
    static constexpr int kWidth = 64, kHeight = 64;
    static inline HWND s_window = nullptr;
    IDirect3D9 *d3d = nullptr;
    IDirect3DDevice9 *device = nullptr;
    D3DPRESENT_PARAMETERS present = {};
    int errors_before = 0;

    static LRESULT proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
    {
        return DefWindowProcA(window, message, wparam, lparam);
    }
    static void SetUpTestSuite()
    {
        window_reset();
        WNDCLASSA wc{};
        wc.lpfnWndProc = proc;
        wc.lpszClassName = "GlTest";
        RegisterClassA(&wc);
        s_window = CreateWindowExA(0, "GlTest", "GlTest", WS_POPUP, 0, 0, kWidth, kHeight, nullptr, nullptr, nullptr,
                                   nullptr);
    }
    static void TearDownTestSuite()
    {
        if (s_window) DestroyWindow(s_window);
        s_window = nullptr;
        window_reset();
    }

    void SetUp() override
    {
        ASSERT_NE(s_window, nullptr) << "no window: is DISPLAY set?";
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
        present.BackBufferWidth = kWidth;
        present.BackBufferHeight = kHeight;
        present.BackBufferFormat = D3DFMT_X8R8G8B8;
        present.BackBufferCount = 1;
        present.SwapEffect = D3DSWAPEFFECT_DISCARD;
        present.hDeviceWindow = s_window;
        present.Windowed = TRUE;
        present.EnableAutoDepthStencil = TRUE;
        present.AutoDepthStencilFormat = D3DFMT_D24S8;
        present.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
        present.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        ASSERT_EQ(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, s_window, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                    &present, &device),
                  D3D_OK);
        errors_before = gpu_gl_stats()->errors;
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0, 1.0f, 0);
        ASSERT_EQ(device->BeginScene(), D3D_OK);
    }

    void TearDown() override
    {
        if (device) {
            device->EndScene();
            device->Release();
        }
        if (d3d) d3d->Release();
        EXPECT_EQ(gpu_gl_stats()->errors, errors_before) << "GL reported errors";
        EXPECT_EQ(gpu_live_objects(), 0);
    }

    // The back buffer, X8R8G8B8 rows top-down, alpha forced to 0 (the format has none).
    std::vector<uint32_t> read_pixels()
    {
        std::vector<uint32_t> out(size_t(kWidth) * kHeight, 0);
        IDirect3DSurface9 *surface = nullptr;
        if (FAILED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface))) return out;
        D3DLOCKED_RECT locked;
        if (SUCCEEDED(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
            for (int y = 0; y < kHeight; y++) {
                const uint32_t *row = reinterpret_cast<const uint32_t *>(static_cast<uint8_t *>(locked.pBits) +
                                                                         size_t(y) * size_t(locked.Pitch));
                for (int x = 0; x < kWidth; x++) out[size_t(y) * kWidth + size_t(x)] = row[x] & 0xFFFFFFu;
            }
            surface->UnlockRect();
        }
        surface->Release();
        return out;
    }
    uint32_t pixel(int x, int y) { return read_pixels()[size_t(y) * kWidth + size_t(x)]; }

    // A screen rectangle [x0, x1) x [y0, y1) as a fan of four vertices, clockwise on screen.
    static void screen_quad(GlScreenVertex *v, float x0, float y0, float x1, float y1, uint32_t colour, float z = 0.0f)
    {
        v[0] = {x0, y0, z, 1, colour, 0, 0};
        v[1] = {x1, y0, z, 1, colour, 1, 0};
        v[2] = {x1, y1, z, 1, colour, 1, 1};
        v[3] = {x0, y1, z, 1, colour, 0, 1};
    }
    void draw_screen_quad(float x0, float y0, float x1, float y1, uint32_t colour, float z = 0.0f)
    {
        GlScreenVertex v[4];
        screen_quad(v, x0, y0, x1, y1, colour, z);
        device->SetFVF(GL_SCREEN_FVF);
        EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, v, sizeof(GlScreenVertex)), D3D_OK);
    }
    // A managed 4 x 4 A8R8G8B8 texture of seeded random texels.
    IDirect3DTexture9 *random_texture(unsigned seed)
    {
        IDirect3DTexture9 *t = nullptr;
        D3DLOCKED_RECT locked;
        EXPECT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
        if (!t || FAILED(t->LockRect(0, &locked, nullptr, 0))) return t;
        std::mt19937 texels(seed);
        for (int i = 0; i < 16; i++) static_cast<uint32_t *>(locked.pBits)[i / 4 * locked.Pitch / 4 + i % 4] = uint32_t(texels());
        t->UnlockRect(0);
        return t;
    }
};

// Colours within `tolerance` per channel (alpha ignored).
inline ::testing::AssertionResult gl_colour_near(uint32_t got, uint32_t want, int tolerance = 2)
{
    for (int shift = 0; shift < 24; shift += 8) {
        int a = int((got >> shift) & 0xFF), b = int((want >> shift) & 0xFF);
        if (std::abs(a - b) > tolerance) {
            char text[64];
            snprintf(text, sizeof text, "got %06x, want %06x", got & 0xFFFFFFu, want & 0xFFFFFFu);
            return ::testing::AssertionFailure() << text;
        }
    }
    return ::testing::AssertionSuccess();
}
