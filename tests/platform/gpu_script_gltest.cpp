// The regression scripts of the shader compiler drawn on OpenGL: every script that makes an effect
// draws, point by point, what the CPU reference computes from the same effect text.
#include "platform/gpu/gpu_effect.h"
#include "platform/gpu/gpu_effect_local.h"
#include "shader/shader_local.h"
#include "tests/gl/gl_test_util.h"
#include "tests/gl/gpu_reference.h"
#include "tests/shader/regression_scripts.h"

#include <cmath>
#include <cstring>
#include <random>

namespace {

const int kPoints = 64;

struct ScriptRun {
    const GpuState *state;
    bool unfair;
};

RefColour sample_state(int stage, const float *coord, void *user)
{
    ScriptRun &run = *static_cast<ScriptRun *>(user);
    GpuTexture *t = stage >= 0 && stage < GPU_SAMPLERS ? run.state->textures[stage] : nullptr;
    if (!t) return RefColour{1, 1, 1, 1};
    const DWORD *s = run.state->sampler[stage];
    bool edge = false;
    RefColour c = ref_sample(t, 0, coord[0], coord[1], s[D3DSAMP_ADDRESSU], s[D3DSAMP_ADDRESSV], 0.05f, &edge);
    run.unfair = run.unfair || edge;
    return c;
}

class GpuGlScriptTest : public GlTest {};

TEST_F(GpuGlScriptTest, RegressionScripts)
{
    IDirect3DTexture9 *texture = random_texture(5);
    ASSERT_NE(texture, nullptr);
    ShaderCompiler *c = shader_compiler_construct(new ShaderCompiler);
    int drawn = 0;
    for (const RegressionScript &r : kRegressionScripts) {
        if (r.outcome != REGRESSION_EFFECT || r.ps20) continue;
        SCOPED_TRACE(r.name);
        shader_compiler_reset(c);
        ASSERT_TRUE(shader_compile_script(c, r.script, 0x800 | 0x1000 | 0x2000 | 0x10002));
        char *text = shader_build_effect_text(c);
        std::string effect_text = text;
        free(text);
        ID3DXEffect *effect = nullptr;
        ID3DXBuffer *errors = nullptr;
        HRESULT hr = D3DXCreateEffect(device, effect_text.data(), UINT(effect_text.size()), nullptr, nullptr, 0, nullptr,
                                      &effect, &errors);
        ASSERT_EQ(hr, D3D_OK) << (errors ? static_cast<const char *>(errors->GetBufferPointer()) : "") << effect_text;
        if (errors) errors->Release();
        GpuEffectDesc desc;
        GpuParseError error;
        ASSERT_TRUE(gpu_effect_parse(effect_text.data(), effect_text.size(), &desc, &error));
        const GpuEffectPass &pass = desc.techniques[0].passes[0];
        const GpuProgram *vp = nullptr, *pp = nullptr;
        for (const GpuAssignment &a : pass.assignments) {
            if (a.kind == GPU_ASSIGN_VERTEX_SHADER && a.program >= 0) vp = desc.programs[size_t(a.program)].get();
            if (a.kind == GPU_ASSIGN_PIXEL_SHADER && a.program >= 0) pp = desc.programs[size_t(a.program)].get();
        }
        if (!vp) {
            effect->Release();
            continue;
        }
        // Identity matrices (so positions stay where the points are put), small vectors, the texture.
        std::mt19937 rng(3);
        for (const GpuEffectParameter &p : desc.parameters) {
            float v[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
            if (p.type == GPU_PARAM_MATRIX) effect->SetMatrix(p.name.c_str(), v);
            for (float &x : v) x = float(int(rng() % 100)) / 100.0f;
            if (p.type == GPU_PARAM_VECTOR) effect->SetVector(p.name.c_str(), v);
            if (p.type == GPU_PARAM_TEXTURE) effect->SetTexture(p.name.c_str(), texture);
        }
        // One float4 input for each declared register; positions at pixel centres of a grid.
        std::vector<D3DVERTEXELEMENT9> elements;
        std::vector<int> registers;
        for (const GpuInstruction &in : vp->code) {
            if (in.op != GPU_OP_DCL || in.dest.file != GPU_REG_INPUT) continue;
            elements.push_back(D3DVERTEXELEMENT9{0, uint16_t(16 * elements.size()), D3DDECLTYPE_FLOAT4, 0, in.usage,
                                                 in.usage_index});
            registers.push_back(in.dest.index);
        }
        elements.push_back(D3DVERTEXELEMENT9 D3DDECL_END());
        size_t stride = 4 * (elements.size() - 1);
        std::vector<float> vertices(stride * kPoints);
        for (int i = 0; i < kPoints; i++)
            for (size_t e = 0; e + 1 < elements.size(); e++) {
                float *v = &vertices[size_t(i) * stride + 4 * e];
                for (int k = 0; k < 4; k++) v[k] = float(int(rng() % 200) - 100) / 100.0f;
                if (elements[e].Usage == D3DDECLUSAGE_POSITION) {
                    v[0] = (4.5f + 8.0f * float(i % 8)) / 32.0f - 1.0f;
                    v[1] = 1.0f - (4.5f + 8.0f * float(i / 8)) / 32.0f;
                    v[2] = 0.5f;
                    v[3] = 1.0f;
                }
            }
        IDirect3DVertexDeclaration9 *decl = nullptr;
        ASSERT_EQ(device->CreateVertexDeclaration(elements.data(), &decl), D3D_OK);
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        effect->SetTechnique(effect->GetTechniqueByName("T0"));
        UINT passes = 0;
        ASSERT_EQ(effect->Begin(&passes, 0), D3D_OK);
        effect->BeginPass(0);
        // The pass's own blending, tests and filters would blur the comparison of colours.
        for (D3DRENDERSTATETYPE s : {D3DRS_ALPHABLENDENABLE, D3DRS_ALPHATESTENABLE, D3DRS_ZENABLE, D3DRS_STENCILENABLE})
            device->SetRenderState(s, FALSE);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        for (DWORD stage = 0; stage < 8; stage++)
            for (D3DSAMPLERSTATETYPE s : {D3DSAMP_MINFILTER, D3DSAMP_MAGFILTER}) device->SetSamplerState(stage, s, D3DTEXF_POINT);
        device->SetVertexDeclaration(decl);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_POINTLIST, kPoints, vertices.data(), UINT(stride * sizeof(float))), D3D_OK)
            << effect_text;
        const GpuState &state = *gpu_device(device)->state;
        std::vector<uint32_t> got = read_pixels();
        int compared = 0;
        for (int i = 0; i < kPoints; i++) {
            RefMachine m = {};
            memcpy(m.c, state.vs_constants, sizeof m.c);
            for (size_t e = 0; e < registers.size(); e++)
                memcpy(m.v[registers[e]], &vertices[size_t(i) * stride + 4 * e], 4 * sizeof(float));
            ref_run(*vp, &m, nullptr, nullptr);
            // Where the point lands; points on a pixel boundary or clipped are not compared.
            float w = m.o_pos[3];
            if (!(w > 0.0f)) continue;
            float x = (m.o_pos[0] / w + 1.0f) * 32.0f, y = (1.0f - m.o_pos[1] / w) * 32.0f, z = m.o_pos[2] / w;
            if (!(x > 0.0f && y > 0.0f && x < 64.0f && y < 64.0f && z > 0.0f && z < 1.0f)) continue;
            if (std::fabs(x - std::floor(x) - 0.5f) > 0.45f || std::fabs(y - std::floor(y) - 0.5f) > 0.45f) continue;
            ScriptRun run = {&state, false};
            RefColour diffuse, specular;
            float *d = m.o_d[0], *s = m.o_d[1];
            auto sat = [](float v) { return v < 0.0f ? 0.0f : v > 1.0f ? 1.0f : v; };
            diffuse = RefColour{sat(d[0]), sat(d[1]), sat(d[2]), sat(d[3])};
            specular = RefColour{sat(s[0]), sat(s[1]), sat(s[2]), sat(s[3])};
            RefColour colour;
            if (pp) {
                RefMachine p = {};
                float dv[4] = {diffuse.r, diffuse.g, diffuse.b, diffuse.a}, sv[4] = {specular.r, specular.g, specular.b, specular.a};
                memcpy(p.v[0], dv, sizeof dv);
                memcpy(p.v[1], sv, sizeof sv);
                memcpy(p.t, m.o_t, sizeof p.t);
                memcpy(p.c, state.ps_constants, sizeof state.ps_constants);
                ref_run(*pp, &p, sample_state, &run);
                colour = RefColour{p.o_c[0], p.o_c[1], p.o_c[2], p.o_c[3]};
            } else {
                RefColour samples[GPU_STAGES];
                for (int k = 0; k < GPU_STAGES; k++) samples[k] = sample_state(k, m.o_t[k], &run);
                colour = ref_stages(state.stage, diffuse, specular, samples);
            }
            if (run.unfair) continue;
            compared++;
            uint32_t want = ref_pack(colour), have = got[size_t(y) * kWidth + size_t(x)];
            EXPECT_TRUE(gl_colour_near(have, want)) << "point " << i << "\n" << effect_text;
        }
        effect->EndPass();
        effect->End();
        EXPECT_GT(compared, 0) << effect_text;
        drawn++;
        decl->Release();
        effect->Release();
    }
    EXPECT_GE(drawn, 5);
    shader_free_tables(c);
    shader_release_compiler(c);
    delete c;
    texture->Release();
}

}  // namespace
