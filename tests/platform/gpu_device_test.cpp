// The graphics stand-in's device on the headless back end: loss and reset, buffers and textures
// with their pools and locks, dirty rectangles, bindings, draws and the back buffer.
#include "platform/gpu/gpu.h"
#include "platform/gpu/gpu_effect.h"
#include "platform/gpu/headless/gpu_headless.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

D3DPRESENT_PARAMETERS present_parameters(UINT width = 64, UINT height = 32)
{
    D3DPRESENT_PARAMETERS p = {};
    p.BackBufferWidth = width;
    p.BackBufferHeight = height;
    p.BackBufferFormat = D3DFMT_UNKNOWN;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.Windowed = TRUE;
    p.EnableAutoDepthStencil = TRUE;
    p.AutoDepthStencilFormat = D3DFMT_D24S8;
    p.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    p.PresentationInterval = D3DPRESENT_INTERVAL_ONE;
    return p;
}

struct Vertex2D {
    float x, y, z, rhw;
    DWORD colour;
    float u, v;
};

class GpuDeviceTest : public ::testing::Test {
protected:
    IDirect3D9 *d3d = nullptr;
    IDirect3DDevice9 *device = nullptr;

    void SetUp() override
    {
        gpu_headless_reset();
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
        D3DPRESENT_PARAMETERS p = present_parameters();
        DWORD behavior = D3DCREATE_MIXED_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE;
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, behavior, &p, &device), D3D_OK);
        EXPECT_EQ(p.BackBufferFormat, D3DFMT_X8R8G8B8);
    }

    void TearDown() override
    {
        if (device) {
            EXPECT_EQ(device->Release(), 0u);
        }
        if (d3d) d3d->Release();
        EXPECT_EQ(gpu_headless_live_resources(), 0);
        gpu_headless_reset();
    }

    IDirect3DVertexBuffer9 *vertex_buffer(UINT length, DWORD usage, D3DPOOL pool, DWORD fvf = 0x142)
    {
        IDirect3DVertexBuffer9 *vb = nullptr;
        EXPECT_EQ(device->CreateVertexBuffer(length, usage, fvf, pool, &vb, nullptr), D3D_OK);
        return vb;
    }

    IDirect3DTexture9 *texture(UINT width, UINT height, UINT levels = 1, D3DFORMAT format = D3DFMT_A8R8G8B8)
    {
        IDirect3DTexture9 *t = nullptr;
        EXPECT_EQ(device->CreateTexture(width, height, levels, 0, format, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
        return t;
    }

    void draw_quad()
    {
        Vertex2D v[6] = {};
        ASSERT_EQ(device->SetFVF(0x144), D3D_OK);
        ASSERT_EQ(device->BeginScene(), D3D_OK);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, v, sizeof(Vertex2D)), D3D_OK);
        ASSERT_EQ(device->EndScene(), D3D_OK);
    }
};

TEST_F(GpuDeviceTest, ResetNeedsDefaultPoolResourcesReleasedAndKeepsManagedOnes)
{
    IDirect3DVertexBuffer9 *dynamic = vertex_buffer(240, D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC, D3DPOOL_DEFAULT);
    IDirect3DVertexBuffer9 *managed = vertex_buffer(240, D3DUSAGE_WRITEONLY, D3DPOOL_MANAGED);
    void *data;
    ASSERT_EQ(managed->Lock(0, 0, &data, 0), D3D_OK);
    memset(data, 0x5A, 240);
    ASSERT_EQ(managed->Unlock(), D3D_OK);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);

    D3DPRESENT_PARAMETERS p = present_parameters(128, 64);
    EXPECT_EQ(device->Reset(&p), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(dynamic->Release(), 0u);
    ASSERT_EQ(device->Reset(&p), D3D_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);

    // The managed buffer and its contents survive; states are back at their defaults.
    EXPECT_EQ(gpu_headless_vertex_bytes(managed)[239], 0x5A);
    DWORD cull;
    device->GetRenderState(D3DRS_CULLMODE, &cull);
    EXPECT_EQ(cull, DWORD(D3DCULL_CCW));
    D3DVIEWPORT9 viewport;
    device->GetViewport(&viewport);
    EXPECT_EQ(viewport.Width, 128u);
    managed->Release();
}

TEST_F(GpuDeviceTest, HeldBackBufferAndEffectsNotToldOfTheLossBlockReset)
{
    IDirect3DSurface9 *surface;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface), D3D_OK);
    D3DPRESENT_PARAMETERS p = present_parameters();
    EXPECT_EQ(device->Reset(&p), D3DERR_INVALIDCALL);
    surface->Release();

    const char text[] = "TECHNIQUE T0 { PASS P0 { CullMode = None; } }";
    ID3DXEffect *effect;
    ASSERT_EQ(D3DXCreateEffect(device, text, sizeof text - 1, nullptr, nullptr, 0, nullptr, &effect, nullptr), D3D_OK);
    EXPECT_EQ(device->Reset(&p), D3DERR_INVALIDCALL);
    effect->OnLostDevice();
    UINT passes;
    EXPECT_EQ(effect->Begin(&passes, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->Reset(&p), D3D_OK);
    effect->OnResetDevice();
    EXPECT_EQ(effect->Begin(&passes, 0), D3D_OK);
    effect->End();
    effect->Release();
}

TEST_F(GpuDeviceTest, LostDeviceReportsUntilReset)
{
    gpu_headless_lose_device(device, false);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    D3DPRESENT_PARAMETERS p = present_parameters();
    EXPECT_EQ(device->Reset(&p), D3DERR_DEVICELOST);
    // Drawing while lost succeeds and does nothing.
    gpu_headless_clear_draws();
    draw_quad();
    EXPECT_EQ(gpu_headless_draw_count(), 0);

    gpu_headless_lose_device(device, true);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    gpu_headless_fail_next(GPU_FAIL_RESET, 1);
    EXPECT_EQ(device->Reset(&p), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->Reset(&p), D3D_OK);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(gpu_headless_present_count(device), 1);
}

TEST_F(GpuDeviceTest, CreationChecksParametersAndInjectedFailures)
{
    IDirect3DDevice9 *other = nullptr;
    D3DPRESENT_PARAMETERS p = present_parameters();
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &p, &other), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr,
                                D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_MIXED_VERTEXPROCESSING, &p, &other),
              D3DERR_INVALIDCALL);
    p.PresentationInterval = 3;
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &other),
              D3DERR_INVALIDCALL);
    p = present_parameters();
    gpu_headless_fail_next(GPU_FAIL_CREATE_DEVICE, 1);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &other),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(other, nullptr);
    gpu_headless_fail_next(GPU_FAIL_DIRECT3D, 1);
    EXPECT_EQ(Direct3DCreate9(D3D_SDK_VERSION), nullptr);

    D3DCAPS9 caps;
    ASSERT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
    caps.MaxTextureWidth = 256;
    gpu_headless_set_caps(&caps);
    IDirect3DTexture9 *t = nullptr;
    EXPECT_EQ(device->CreateTexture(512, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3DERR_INVALIDCALL);
}

TEST_F(GpuDeviceTest, BufferPoolsUsageAndLocks)
{
    IDirect3DVertexBuffer9 *vb = nullptr;
    EXPECT_EQ(device->CreateVertexBuffer(0, 0, 0x142, D3DPOOL_MANAGED, &vb, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateVertexBuffer(10, 0, 0x142, D3DPOOL_MANAGED, &vb, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateVertexBuffer(240, D3DUSAGE_DYNAMIC, 0x142, D3DPOOL_MANAGED, &vb, nullptr),
              D3DERR_INVALIDCALL);
    gpu_headless_fail_next(GPU_FAIL_CREATE_VERTEX_BUFFER, 1);
    EXPECT_EQ(device->CreateVertexBuffer(240, 0, 0x142, D3DPOOL_MANAGED, &vb, nullptr), D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(vb, nullptr);

    IDirect3DVertexBuffer9 *dynamic = vertex_buffer(48, D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC, D3DPOOL_DEFAULT);
    uint8_t *data;
    ASSERT_EQ(dynamic->Lock(0, 0, (void **)&data, 0), D3D_OK);
    memset(data, 7, 48);
    EXPECT_EQ(dynamic->Unlock(), D3D_OK);
    EXPECT_EQ(dynamic->Unlock(), D3DERR_INVALIDCALL);
    // Flags 0 keep the contents; DISCARD hands out memory whose contents are gone.
    ASSERT_EQ(dynamic->Lock(0, 0, (void **)&data, 0), D3D_OK);
    EXPECT_EQ(data[47], 7);
    dynamic->Unlock();
    ASSERT_EQ(dynamic->Lock(0, 0, (void **)&data, D3DLOCK_DISCARD | D3DLOCK_NO_DIRTY_UPDATE), D3D_OK);
    EXPECT_EQ(data[0], GPU_HEADLESS_DISCARD_BYTE);
    data[0] = 1;
    dynamic->Unlock();
    EXPECT_EQ(gpu_headless_vertex_bytes(dynamic)[0], 1);
    EXPECT_EQ(gpu_headless_vertex_bytes(dynamic)[1], GPU_HEADLESS_DISCARD_BYTE);
    EXPECT_EQ(dynamic->Lock(40, 16, (void **)&data, 0), D3DERR_INVALIDCALL);

    IDirect3DVertexBuffer9 *still = vertex_buffer(48, D3DUSAGE_WRITEONLY, D3DPOOL_DEFAULT);
    EXPECT_EQ(still->Lock(0, 0, (void **)&data, D3DLOCK_DISCARD), D3DERR_INVALIDCALL);
    gpu_headless_fail_next(GPU_FAIL_LOCK, 1);
    EXPECT_EQ(still->Lock(0, 0, (void **)&data, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(data, nullptr);

    IDirect3DIndexBuffer9 *ib = nullptr;
    EXPECT_EQ(device->CreateIndexBuffer(12, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &ib, nullptr), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->CreateIndexBuffer(12, 0, D3DFMT_INDEX32, D3DPOOL_MANAGED, &ib, nullptr), D3D_OK);
    uint32_t *indices;
    ASSERT_EQ(ib->Lock(0, 0, (void **)&indices, D3DLOCK_NO_DIRTY_UPDATE), D3D_OK);
    indices[2] = 9;
    ib->Unlock();
    EXPECT_EQ(gpu_headless_index_bytes(ib)[8], 0);  // a managed lock without dirty update reaches no device

    EXPECT_EQ(ib->AddRef(), 2u);
    EXPECT_EQ(ib->Release(), 1u);
    EXPECT_EQ(ib->Release(), 0u);
    dynamic->Release();
    still->Release();
}

TEST_F(GpuDeviceTest, TexturesHaveLevelsPaddedRowsAndFormatFallbacks)
{
    IDirect3DTexture9 *t = texture(256, 64, 0);
    EXPECT_EQ(t->GetLevelCount(), 9u);
    D3DSURFACE_DESC desc;
    ASSERT_EQ(t->GetLevelDesc(7, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 2u);
    EXPECT_EQ(desc.Height, 1u);
    EXPECT_EQ(t->GetLevelDesc(9, &desc), D3DERR_INVALIDCALL);

    D3DLOCKED_RECT whole, part;
    ASSERT_EQ(t->LockRect(0, &whole, nullptr, 0), D3D_OK);
    EXPECT_GT(whole.Pitch, 256 * 4);
    EXPECT_EQ(t->LockRect(0, &part, nullptr, 0), D3DERR_INVALIDCALL);
    t->UnlockRect(0);
    RECT rect = {10, 20, 14, 22};
    ASSERT_EQ(t->LockRect(0, &part, &rect, D3DLOCK_NO_DIRTY_UPDATE | D3DLOCK_NOSYSLOCK), D3D_OK);
    EXPECT_EQ((uint8_t *)part.pBits - (uint8_t *)whole.pBits, 20 * whole.Pitch + 10 * 4);
    t->UnlockRect(0);
    RECT outside = {250, 0, 257, 1};
    EXPECT_EQ(t->LockRect(0, &part, &outside, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(t->UnlockRect(0), D3DERR_INVALIDCALL);
    t->Release();

    IDirect3DTexture9 *u = nullptr;
    EXPECT_EQ(device->CreateTexture(16, 16, 6, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &u, nullptr), D3DERR_INVALIDCALL);
    gpu_headless_set_format_supported(D3DFMT_R5G6B5, false);
    EXPECT_EQ(device->CreateTexture(16, 16, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &u, nullptr), D3DERR_NOTAVAILABLE);
    u = texture(16, 16, 1, D3DFMT_X1R5G5B5);
    gpu_headless_fail_next(GPU_FAIL_CREATE_TEXTURE, 1);
    IDirect3DTexture9 *v = nullptr;
    EXPECT_EQ(device->CreateTexture(16, 16, 1, 0, D3DFMT_A4R4G4B4, D3DPOOL_MANAGED, &v, nullptr),
              D3DERR_OUTOFVIDEOMEMORY);
    u->Release();
}

TEST_F(GpuDeviceTest, ManagedTextureUploadsOnlyNamedDirtyRectangles)
{
    IDirect3DTexture9 *t = texture(32, 32, 2);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(t->LockRect(0, &lr, nullptr, 0), D3D_OK);
    for (int y = 0; y < 32; y++) memset((uint8_t *)lr.pBits + y * lr.Pitch, 0x11, 32 * 4);
    t->UnlockRect(0);
    device->SetTexture(0, t);
    gpu_headless_clear_uploads();
    draw_quad();  // the first draw with the texture uploads the locked level
    uint32_t bits;
    ASSERT_TRUE(gpu_headless_texel(t, 0, 31, 31, &bits));
    EXPECT_EQ(bits, 0x11111111u);

    // Two writes without dirty marking; only the one named by AddDirtyRect reaches the device.
    RECT named = {4, 4, 6, 5}, unnamed = {20, 20, 21, 21};
    ASSERT_EQ(t->LockRect(0, &lr, &named, D3DLOCK_NO_DIRTY_UPDATE | D3DLOCK_NOSYSLOCK), D3D_OK);
    memset(lr.pBits, 0x22, 2 * 4);
    t->UnlockRect(0);
    ASSERT_EQ(t->LockRect(0, &lr, &unnamed, D3DLOCK_NO_DIRTY_UPDATE | D3DLOCK_NOSYSLOCK), D3D_OK);
    memset(lr.pBits, 0x33, 4);
    t->UnlockRect(0);
    ASSERT_EQ(t->AddDirtyRect(&named), D3D_OK);
    RECT bad = {0, 0, 33, 1};
    EXPECT_EQ(t->AddDirtyRect(&bad), D3DERR_INVALIDCALL);
    gpu_headless_clear_uploads();
    draw_quad();
    gpu_headless_texel(t, 0, 5, 4, &bits);
    EXPECT_EQ(bits, 0x22222222u);
    gpu_headless_texel(t, 0, 20, 20, &bits);
    EXPECT_EQ(bits, 0x11111111u);
    // The named rectangle, and the matching texels of level 1, once each.
    ASSERT_EQ(gpu_headless_upload_count(), 2);
    const GpuUploadRecord *up = gpu_headless_upload(0);
    EXPECT_EQ(up->level, 0u);
    EXPECT_EQ(up->rect.left, 4);
    EXPECT_EQ(up->rect.right, 6);
    EXPECT_EQ(gpu_headless_upload(1)->level, 1u);
    EXPECT_EQ(gpu_headless_upload(1)->rect.left, 2);
    EXPECT_EQ(gpu_headless_upload(1)->rect.right, 3);
    gpu_headless_clear_uploads();
    draw_quad();
    EXPECT_EQ(gpu_headless_upload_count(), 0);
    device->SetTexture(0, nullptr);
    t->Release();
}

TEST_F(GpuDeviceTest, GetTextureAddsAReferenceAndBindingsHoldOne)
{
    IDirect3DTexture9 *t = texture(8, 8);
    ASSERT_EQ(device->SetTexture(0, t), D3D_OK);
    EXPECT_EQ(t->Release(), 1u);  // the device's binding keeps it
    IDirect3DBaseTexture9 *got = nullptr;
    ASSERT_EQ(device->GetTexture(0, &got), D3D_OK);
    EXPECT_EQ(got, static_cast<IDirect3DBaseTexture9 *>(t));
    EXPECT_EQ(got->AddRef(), 3u);
    got->Release();
    EXPECT_EQ(got->Release(), 1u);
    EXPECT_EQ(device->SetTexture(16, t), D3DERR_INVALIDCALL);
    device->SetTexture(0, nullptr);
    EXPECT_EQ(gpu_headless_live_resources(), 0);
    ASSERT_EQ(device->GetTexture(0, &got), D3D_OK);
    EXPECT_EQ(got, nullptr);
}

TEST_F(GpuDeviceTest, DrawsAreCheckedAndRecordedWithTheirStates)
{
    IDirect3DTexture9 *t = texture(8, 8);
    device->SetTexture(0, t);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    Vertex2D v[6] = {};
    v[5].u = 0.75f;
    device->SetFVF(0x144);
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, v, sizeof v[0]), D3DERR_INVALIDCALL);  // no scene
    gpu_headless_clear_draws();
    device->BeginScene();
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, v, sizeof v[0]), D3D_OK);
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 0, v, sizeof v[0]), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, 20), D3DERR_INVALIDCALL);  // narrower than the FVF
    ASSERT_EQ(gpu_headless_draw_count(), 1);
    const GpuDrawRecord *r = gpu_headless_draw(0);
    EXPECT_EQ(r->primitive_count, 2u);
    EXPECT_EQ(r->vertex_count, 6u);
    EXPECT_TRUE(r->user_pointer);
    EXPECT_EQ(r->fvf, 0x144u);
    ASSERT_EQ(r->user_vertices.size(), sizeof v);
    EXPECT_EQ(memcmp(r->user_vertices.data(), v, sizeof v), 0);
    EXPECT_EQ(r->textures[0], static_cast<IDirect3DBaseTexture9 *>(t));
    EXPECT_EQ(r->render_states[D3DRS_ALPHABLENDENABLE], DWORD(TRUE));

    // Buffers: a vertex buffer of 4 vertices and indices that must stay inside it.
    IDirect3DVertexBuffer9 *vb = vertex_buffer(4 * 24, D3DUSAGE_WRITEONLY, D3DPOOL_MANAGED);
    IDirect3DIndexBuffer9 *ib;
    ASSERT_EQ(device->CreateIndexBuffer(6 * 4, 0, D3DFMT_INDEX32, D3DPOOL_MANAGED, &ib, nullptr), D3D_OK);
    uint32_t *indices;
    ib->Lock(0, 0, (void **)&indices, 0);
    const uint32_t quad[6] = {0, 1, 2, 2, 1, 3};
    memcpy(indices, quad, sizeof quad);
    ib->Unlock();
    device->SetFVF(0x142);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);  // no stream
    device->SetStreamSource(0, vb, 0, 24);
    device->SetIndices(ib);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 1, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 1, 0, 3, 0, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 1, 2), D3DERR_INVALIDCALL);
    void *locked;
    vb->Lock(0, 0, &locked, 0);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);  // drawn from while locked
    vb->Unlock();
    ASSERT_EQ(gpu_headless_draw_count(), 3);
    EXPECT_TRUE(gpu_headless_draw(2)->indexed);
    EXPECT_EQ(gpu_headless_draw(2)->stride, 24u);

    // A draw from memory leaves stream 0 unbound.
    device->SetFVF(0x144);
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof v[0]);
    device->SetFVF(0x142);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);
    device->EndScene();
    EXPECT_EQ(device->SetFVF(0x10000), D3DERR_INVALIDCALL);
    device->SetTexture(0, nullptr);
    device->SetIndices(nullptr);
    t->Release();
    vb->Release();
    ib->Release();
}

TEST_F(GpuDeviceTest, TweenedDrawsReadTwoStreamsThroughADeclaration)
{
    const D3DVERTEXELEMENT9 elements[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        {1, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 1},
        D3DDECL_END(),
    };
    IDirect3DVertexDeclaration9 *decl;
    ASSERT_EQ(device->CreateVertexDeclaration(elements, &decl), D3D_OK);
    IDirect3DVertexBuffer9 *a = vertex_buffer(36, D3DUSAGE_WRITEONLY, D3DPOOL_MANAGED, 0);
    IDirect3DVertexBuffer9 *b = vertex_buffer(24, D3DUSAGE_WRITEONLY, D3DPOOL_MANAGED, 0);
    device->SetVertexDeclaration(decl);
    device->SetStreamSource(0, a, 0, 12);
    device->SetStreamSource(1, b, 0, 12);
    device->BeginScene();
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);  // stream 1 holds 2 vertices
    device->SetStreamSource(1, a, 0, 12);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
    device->EndScene();
    DWORD fvf;
    device->GetFVF(&fvf);
    EXPECT_EQ(fvf, 0u);
    const D3DVERTEXELEMENT9 twice[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
        {0, 12, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
        D3DDECL_END(),
    };
    IDirect3DVertexDeclaration9 *bad = nullptr;
    EXPECT_EQ(device->CreateVertexDeclaration(twice, &bad), D3DERR_INVALIDCALL);
    device->SetVertexDeclaration(nullptr);
    device->SetStreamSource(0, nullptr, 0, 0);
    device->SetStreamSource(1, nullptr, 0, 0);
    decl->Release();
    a->Release();
    b->Release();
}

TEST_F(GpuDeviceTest, ClearFillsTheViewportOfTheReadableBackBuffer)
{
    D3DVIEWPORT9 viewport = {8, 4, 16, 8, 0.0f, 1.0f};
    ASSERT_EQ(device->SetViewport(&viewport), D3D_OK);
    D3DVIEWPORT9 too_big = {60, 0, 16, 8, 0.0f, 1.0f};
    EXPECT_EQ(device->SetViewport(&too_big), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0x00FF8000, 1.0f, 0),
              D3D_OK);
    EXPECT_EQ(device->Clear(0, nullptr, 0, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    IDirect3DSurface9 *surface;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface), D3D_OK);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(surface->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_GT(lr.Pitch, 64 * 4);
    auto pixel = [&](int x, int y) { return *(uint32_t *)((uint8_t *)lr.pBits + y * lr.Pitch + x * 4); };
    EXPECT_EQ(pixel(8, 4), 0x00FF8000u);
    EXPECT_EQ(pixel(23, 11), 0x00FF8000u);
    EXPECT_EQ(pixel(24, 11), 0u);
    EXPECT_EQ(pixel(8, 3), 0u);
    surface->UnlockRect();
    surface->Release();

    // Without a depth buffer there is nothing to clear but colour.
    D3DPRESENT_PARAMETERS p = present_parameters();
    p.EnableAutoDepthStencil = FALSE;
    ASSERT_EQ(device->Reset(&p), D3D_OK);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    DWORD z;
    device->GetRenderState(D3DRS_ZENABLE, &z);
    EXPECT_EQ(z, DWORD(D3DZB_FALSE));
}

TEST_F(GpuDeviceTest, TransformsAndLightSlots)
{
    float m[16];
    for (int i = 0; i < 16; i++) m[i] = float(i);
    ASSERT_EQ(device->SetTransform(D3DTS_WORLD, m), D3D_OK);
    D3DMATRIX back;
    ASSERT_EQ(device->GetTransform(D3DTS_WORLD, &back), D3D_OK);
    EXPECT_EQ(back.m[3][2], 14.0f);
    ASSERT_EQ(device->GetTransform(D3DTS_VIEW, &back), D3D_OK);
    EXPECT_EQ(back.m[1][1], 1.0f);
    EXPECT_EQ(device->SetTransform(D3DTRANSFORMSTATETYPE(4), m), D3DERR_INVALIDCALL);

    D3DLIGHT9 light = {};
    light.Type = D3DLIGHT_POINT;
    light.Range = 5.0f;
    ASSERT_EQ(device->SetLight(1023, &light), D3D_OK);
    EXPECT_EQ(device->SetLight(1024, &light), D3DERR_INVALIDCALL);
    BOOL on = TRUE;
    ASSERT_EQ(device->GetLightEnable(1023, &on), D3D_OK);
    EXPECT_FALSE(on);
    EXPECT_EQ(device->GetLightEnable(5, &on), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->LightEnable(5, TRUE), D3D_OK);  // a slot never set gets the default light
    D3DLIGHT9 got;
    ASSERT_EQ(device->GetLight(5, &got), D3D_OK);
    EXPECT_EQ(got.Type, D3DLIGHT_DIRECTIONAL);
    EXPECT_EQ(got.Direction.z, 1.0f);
    ASSERT_EQ(device->LightEnable(1023, FALSE), D3D_OK);
    ASSERT_EQ(device->GetLight(1023, &got), D3D_OK);
    EXPECT_EQ(got.Range, 5.0f);
}

TEST_F(GpuDeviceTest, DeviceOutlivesItsLastReferenceWhileObjectsRemain)
{
    IDirect3DTexture9 *t = texture(4, 4);
    device->SetTexture(1, t);
    EXPECT_EQ(device->Release(), 0u);
    device = nullptr;
    EXPECT_EQ(gpu_headless_live_resources(), 1);
    EXPECT_EQ(t->Release(), 0u);
}

}  // namespace
