// The OpenGL back end's cost per draw against raw OpenGL doing the same work, on a 64 x 64 window
// (run under tests/gl/run_xvfb.sh or on a desktop). Prints the ratios of the two times.
#include "bench/bench_best.h"
#include "platform/gpu/gpu_effect.h"
#include "platform/gpu/gl/gpu_gl_local.h"
#include "platform/window.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const int kSize = 64;
const int kDraws = 1000;
const int kTextures = 4;

// The quad every benchmark draws: position and texture coordinates, 2 x 2 pixels... of clip space.
struct QuadVertex {
    float x, y, z;
    float u, v;
};
const QuadVertex kQuad[4] = {{-0.1f, 0.1f, 0.5f, 0, 0}, {0.1f, 0.1f, 0.5f, 1, 0}, {0.1f, -0.1f, 0.5f, 1, 1},
                             {-0.1f, -0.1f, 0.5f, 0, 1}};
const uint16_t kIndices[6] = {0, 1, 2, 0, 2, 3};

struct Bench {
    HWND window;
    IDirect3D9 *d3d;
    IDirect3DDevice9 *device;
    D3DPRESENT_PARAMETERS present;
    IDirect3DVertexBuffer9 *vb;
    IDirect3DIndexBuffer9 *ib;
    IDirect3DTexture9 *textures[kTextures];
    float worlds[kDraws][16];
    // Raw OpenGL: one program, buffers and textures of its own.
    GLuint program, raw_vb, raw_ib, raw_textures[kTextures];
    GLint raw_matrix;
    // A headless device beside it, for what reading effect text costs alone.
    IDirect3D9 *headless_d3d;
    IDirect3DDevice9 *headless;
};
Bench g_bench;

LRESULT proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) { return DefWindowProcA(window, message, wparam, lparam); }

void fill_texture(IDirect3DTexture9 *texture, uint32_t colour)
{
    D3DLOCKED_RECT locked;
    if (FAILED(texture->LockRect(0, &locked, nullptr, 0))) return;
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) static_cast<uint32_t *>(locked.pBits)[y * locked.Pitch / 4 + x] = colour ^ uint32_t(x * 16 + y);
    texture->UnlockRect(0);
}

bool open_device()
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = proc;
    wc.lpszClassName = "bench_gpu";
    RegisterClassA(&wc);
    Bench &b = g_bench;
    b.window = CreateWindowExA(0, "bench_gpu", "bench_gpu", WS_POPUP, 0, 0, kSize, kSize, nullptr, nullptr, nullptr, nullptr);
    b.d3d = b.window ? Direct3DCreate9(D3D_SDK_VERSION) : nullptr;
    if (!b.d3d) return false;
    D3DPRESENT_PARAMETERS &p = b.present;
    p = D3DPRESENT_PARAMETERS{};
    p.BackBufferWidth = p.BackBufferHeight = kSize;
    p.BackBufferFormat = D3DFMT_X8R8G8B8;
    p.BackBufferCount = 1;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.hDeviceWindow = b.window;
    p.Windowed = TRUE;
    p.EnableAutoDepthStencil = TRUE;
    p.AutoDepthStencilFormat = D3DFMT_D24S8;
    p.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    if (FAILED(b.d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, b.window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p,
                                   &b.device)))
        return false;
    void *at;
    b.device->CreateVertexBuffer(sizeof kQuad, D3DUSAGE_WRITEONLY, D3DFVF_XYZ | D3DFVF_TEX1, D3DPOOL_MANAGED, &b.vb, nullptr);
    b.vb->Lock(0, 0, &at, 0);
    memcpy(at, kQuad, sizeof kQuad);
    b.vb->Unlock();
    b.device->CreateIndexBuffer(sizeof kIndices, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &b.ib, nullptr);
    b.ib->Lock(0, 0, &at, 0);
    memcpy(at, kIndices, sizeof kIndices);
    b.ib->Unlock();
    for (int i = 0; i < kTextures; i++) {
        b.device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &b.textures[i], nullptr);
        fill_texture(b.textures[i], 0xFF203040u * uint32_t(i + 1));
    }
    setenv("ZAVGOLF_HEADLESS", "1", 1);
    b.headless_d3d = Direct3DCreate9(D3D_SDK_VERSION);
    setenv("ZAVGOLF_HEADLESS", "0", 1);
    if (!b.headless_d3d || FAILED(b.headless_d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr,
                                                                D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &b.headless)))
        return false;
    // Quads spread over the window, one world matrix (a translation) per draw.
    for (int i = 0; i < kDraws; i++) {
        float *m = b.worlds[i];
        memset(m, 0, 16 * sizeof(float));
        m[0] = m[5] = m[10] = m[15] = 1.0f;
        m[12] = float(i % 9) * 0.2f - 0.8f;
        m[13] = float((i / 9) % 9) * 0.2f - 0.8f;
    }
    return true;
}

void close_device()
{
    Bench &b = g_bench;
    for (IDirect3DTexture9 *t : b.textures)
        if (t) t->Release();
    if (b.vb) b.vb->Release();
    if (b.ib) b.ib->Release();
    if (b.device) b.device->Release();
    if (b.d3d) b.d3d->Release();
    if (b.headless) b.headless->Release();
    if (b.headless_d3d) b.headless_d3d->Release();
    if (b.window) DestroyWindow(b.window);
}

// ---- raw OpenGL ----------------------------------------------------------------------------------

GLuint compile(GLenum kind, const char *text)
{
    GLuint shader = g_gl.CreateShader(kind);
    g_gl.ShaderSource(shader, 1, &text, nullptr);
    g_gl.CompileShader(shader);
    return shader;
}

void make_raw()
{
    Bench &b = g_bench;
    b.program = g_gl.CreateProgram();
    g_gl.AttachShader(b.program, compile(GL_VERTEX_SHADER, "#version 120\nattribute vec4 a0;\nattribute vec4 a7;\n"
                                                           "uniform mat4 m;\nvoid main() {\n"
                                                           "  vec4 p = m * vec4(a0.xyz, 1.0);\n"
                                                           "  gl_Position = vec4(p.xy, 2.0 * p.z - p.w, p.w);\n"
                                                           "  gl_TexCoord[0] = a7;\n}\n"));
    g_gl.AttachShader(b.program, compile(GL_FRAGMENT_SHADER, "#version 120\nuniform sampler2D s0;\nvoid main() {\n"
                                                             "  gl_FragColor = texture2D(s0, gl_TexCoord[0].xy);\n}\n"));
    g_gl.BindAttribLocation(b.program, 0, "a0");
    g_gl.BindAttribLocation(b.program, 7, "a7");
    g_gl.LinkProgram(b.program);
    b.raw_matrix = g_gl.GetUniformLocation(b.program, "m");
    g_gl.GenBuffers(1, &b.raw_vb);
    g_gl.BindBuffer(GL_ARRAY_BUFFER, b.raw_vb);
    g_gl.BufferData(GL_ARRAY_BUFFER, sizeof kQuad, kQuad, GL_STATIC_DRAW);
    g_gl.GenBuffers(1, &b.raw_ib);
    g_gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, b.raw_ib);
    g_gl.BufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof kIndices, kIndices, GL_STATIC_DRAW);
    glGenTextures(kTextures, b.raw_textures);
    uint32_t texels[64];
    for (int i = 0; i < kTextures; i++) {
        for (int t = 0; t < 64; t++) texels[t] = (0xFF203040u * uint32_t(i + 1)) ^ uint32_t(t);
        glBindTexture(GL_TEXTURE_2D, b.raw_textures[i]);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 8, 8, 0, GL_BGRA, GL_UNSIGNED_BYTE, texels);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    }
}

void free_raw()
{
    Bench &b = g_bench;
    g_gl.DeleteProgram(b.program);
    g_gl.DeleteBuffers(1, &b.raw_vb);
    g_gl.DeleteBuffers(1, &b.raw_ib);
    glDeleteTextures(kTextures, b.raw_textures);
}

// The device's cache of applied state does not know what raw OpenGL changed: a reset forgets it.
void forget_raw_state()
{
    g_gl.UseProgram(0);
    g_bench.device->Reset(&g_bench.present);
}

void BM_GlRawDraws(benchmark::State &state)
{
    Bench &b = g_bench;
    make_raw();
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        g_gl.UseProgram(b.program);
        g_gl.BindBuffer(GL_ARRAY_BUFFER, b.raw_vb);
        g_gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, b.raw_ib);
        g_gl.EnableVertexAttribArray(0);
        g_gl.EnableVertexAttribArray(7);
        g_gl.VertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(QuadVertex), nullptr);
        g_gl.VertexAttribPointer(7, 2, GL_FLOAT, GL_FALSE, sizeof(QuadVertex), reinterpret_cast<void *>(12));
        g_gl.ActiveTexture(GL_TEXTURE0);
        for (int i = 0; i < kDraws; i++) {
            if (i % 10 == 0) glBindTexture(GL_TEXTURE_2D, b.raw_textures[(i / 10) % kTextures]);
            g_gl.UniformMatrix4fv(b.raw_matrix, 1, GL_FALSE, b.worlds[i]);
            glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, nullptr);
        }
        glFinish();
    }
    g_gl.DisableVertexAttribArray(7);
    free_raw();
    forget_raw_state();
}
BENCHMARK(BM_GlRawDraws)->Unit(benchmark::kMicrosecond);

// The same draws through the device: fixed function, a texture change every 10 draws.
void BM_GlFixedDraws(benchmark::State &state)
{
    Bench &b = g_bench;
    IDirect3DDevice9 *d = b.device;
    d->SetRenderState(D3DRS_LIGHTING, FALSE);
    d->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1);
    d->SetStreamSource(0, b.vb, 0, sizeof(QuadVertex));
    d->SetIndices(b.ib);
    for (auto _ : state) {
        d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        d->BeginScene();
        for (int i = 0; i < kDraws; i++) {
            if (i % 10 == 0) d->SetTexture(0, b.textures[(i / 10) % kTextures]);
            d->SetTransform(D3DTS_WORLD, b.worlds[i]);
            d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2);
        }
        d->EndScene();
        glFinish();
    }
    d->SetTexture(0, nullptr);
    d->SetStreamSource(0, nullptr, 0, 0);
    d->SetIndices(nullptr);
}
BENCHMARK(BM_GlFixedDraws)->Unit(benchmark::kMicrosecond);

// Four texture-stage configurations in turn, changing with the textures (every 10 draws).
struct StageSetup {
    DWORD op0, op1, arg1;
};
const StageSetup kStageSetups[4] = {
    {D3DTOP_MODULATE, D3DTOP_DISABLE, D3DTA_TEXTURE},
    {D3DTOP_SELECTARG1, D3DTOP_MODULATE, D3DTA_TEXTURE},
    {D3DTOP_MODULATE2X, D3DTOP_ADD, D3DTA_CURRENT},
    {D3DTOP_ADDSIGNED, D3DTOP_MODULATE, D3DTA_TEXTURE},
};

void BM_GlStageDraws(benchmark::State &state)
{
    Bench &b = g_bench;
    IDirect3DDevice9 *d = b.device;
    d->SetRenderState(D3DRS_LIGHTING, FALSE);
    d->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1);
    d->SetStreamSource(0, b.vb, 0, sizeof(QuadVertex));
    d->SetIndices(b.ib);
    d->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
    for (auto _ : state) {
        d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        d->BeginScene();
        for (int i = 0; i < kDraws; i++) {
            if (i % 10 == 0) {
                d->SetTexture(0, b.textures[(i / 10) % kTextures]);
                d->SetTexture(1, b.textures[(i / 10 + 1) % kTextures]);
            }
            const StageSetup &s = kStageSetups[(i / 10) % 4];
            d->SetTextureStageState(0, D3DTSS_COLOROP, s.op0);
            d->SetTextureStageState(1, D3DTSS_COLOROP, s.op1);
            d->SetTextureStageState(1, D3DTSS_COLORARG1, s.arg1);
            d->SetTransform(D3DTS_WORLD, b.worlds[i]);
            d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2);
        }
        d->EndScene();
        glFinish();
    }
    d->SetTexture(0, nullptr);
    d->SetTexture(1, nullptr);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    d->SetStreamSource(0, nullptr, 0, 0);
    d->SetIndices(nullptr);
}
BENCHMARK(BM_GlStageDraws)->Unit(benchmark::kMicrosecond);

// ---- effects -------------------------------------------------------------------------------------

const char *const kEffect = R"(TEXTURE Tex;
MATRIX WORLD;
TECHNIQUE T0
{
  PASS P0
  {
    Texture[0] = <Tex>;
    VertexShaderConstant4[0] = <WORLD>;
    VertexShader =
    decl
    {
    }
    asm
    {
      vs.1.1
      dcl_position v0
      dcl_texcoord0 v7
      m4x4 oPos, v0, c0
      mov oD0, c4
      mov oT0.xy, v7
    };
    PixelShader =
    asm
    {
      ps.1.4
      def c0, 1.0f, 0.9f, 0.8f, 1.0f
      texld r0, t0
      mul r0, r0, c0
    };
  }
}
)";

void BM_GlEffectDraws(benchmark::State &state)
{
    Bench &b = g_bench;
    IDirect3DDevice9 *d = b.device;
    ID3DXEffect *effect = nullptr;
    if (FAILED(D3DXCreateEffect(d, kEffect, UINT(strlen(kEffect)), nullptr, nullptr, 0, nullptr, &effect, nullptr))) {
        state.SkipWithError("the effect does not create");
        return;
    }
    d->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1);
    d->SetStreamSource(0, b.vb, 0, sizeof(QuadVertex));
    d->SetIndices(b.ib);
    for (auto _ : state) {
        d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        d->BeginScene();
        UINT passes = 0;
        effect->Begin(&passes, 0);
        effect->BeginPass(0);
        for (int i = 0; i < kDraws; i++) {
            if (i % 10 == 0) effect->SetTexture("Tex", b.textures[(i / 10) % kTextures]);
            effect->SetMatrix("WORLD", b.worlds[i]);
            effect->CommitChanges();
            d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2);
        }
        effect->EndPass();
        effect->End();
        d->EndScene();
        glFinish();
    }
    effect->Release();
    d->SetStreamSource(0, nullptr, 0, 0);
    d->SetIndices(nullptr);
}
BENCHMARK(BM_GlEffectDraws)->Unit(benchmark::kMicrosecond);

// One text created 100 times: on the OpenGL device, and on a headless one (reading only).
void create_effects(benchmark::State &state, IDirect3DDevice9 *device)
{
    for (auto _ : state) {
        for (int i = 0; i < 100; i++) {
            ID3DXEffect *effect = nullptr;
            D3DXCreateEffect(device, kEffect, UINT(strlen(kEffect)), nullptr, nullptr, 0, nullptr, &effect, nullptr);
            if (!effect) {
                state.SkipWithError("the effect does not create");
                return;
            }
            effect->Release();
        }
    }
}

void BM_GlCreateEffect(benchmark::State &state) { create_effects(state, g_bench.device); }
BENCHMARK(BM_GlCreateEffect)->Unit(benchmark::kMicrosecond);

void BM_HeadlessCreateEffect(benchmark::State &state) { create_effects(state, g_bench.headless); }
BENCHMARK(BM_HeadlessCreateEffect)->Unit(benchmark::kMicrosecond);

void print_ratio(const std::map<std::string, double> &times, const char *a, const char *b)
{
    double ta, tb;
    double ratio = bench_ratio(times, a, b, &ta, &tb);
    if (ratio > 0.0) printf("ratio %s / %s = %.2f\n", a, b, ratio);
}

}  // namespace

int main(int argc, char **argv)
{
    setenv("ZAVGOLF_HEADLESS", "0", 1);
    if (!open_device()) {
        fprintf(stderr, "bench_gpu: no OpenGL device (is DISPLAY set?)\n");
        close_device();
        return 1;
    }
    std::map<std::string, double> times = bench_run_best(argc, argv, 5);
    print_ratio(times, "BM_GlFixedDraws", "BM_GlRawDraws");
    print_ratio(times, "BM_GlStageDraws", "BM_GlRawDraws");
    print_ratio(times, "BM_GlEffectDraws", "BM_GlRawDraws");
    print_ratio(times, "BM_GlCreateEffect", "BM_HeadlessCreateEffect");
    close_device();
    return times.empty() ? 1 : 0;
}
