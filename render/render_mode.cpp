// The render-mode switch: one table of numbered modes setting render variables and device states,
// the default device states, and their replay after a device reset.
#include "render/render_draw.h"
#include "render/render_local.h"

#include <cstdio>
#include <cstdlib>

namespace {

// Whole run: the modes whose unknown value has been logged once.
bool g_mode_logged[kRenderModes + 1];

// One (code -> value) pair of a variable-setting mode.
struct ModeCode {
    int32_t code;
    const char *variable;
    int32_t value;
};

// Mode 7's codes, and those of modes 16, 17, 19, 24, 28 and 29.
const ModeCode kTextureCodes[] = {{66, "W", 0}, {67, "W", 1}, {15, "X", 1}, {16, "X", 0},
                                  {8, "Y", 1},  {9, "Y", 0},  {11, "Z", 1}, {12, "Z", 0}};
const ModeCode kLightCodes[] = {{50, "K", 1}, {51, "K", 0}, {0, "K", 0}, {1, "K", 1}};
const ModeCode kDecalCodes[] = {{52, "E", 1}, {53, "E", 0}, {0, "E", 0}, {1, "E", 1}};
const ModeCode kEffectCodes[] = {{56, "e", 1}, {57, "e", 0}, {0, "e", 0}, {1, "e", 1}};
const ModeCode kLightmapCodes[] = {{79, "H", 1}, {80, "H", 0}, {63, "F", 1}, {64, "F", 2}, {73, "F", 0}};
const ModeCode kIntervalCodes[] = {{68, "L", 1}, {69, "L", 0}, {0, "L", 0}, {1, "L", 1}, {2, "L", 2}, {3, "L", 3}};
const ModeCode kUploadCodes[] = {{71, "V", 1}, {72, "V", 0}, {0, "V", 0}, {1, "V", 1}};

template <size_t N>
bool set_by_code(RenderContext *context, const ModeCode (&codes)[N], int32_t value)
{
    for (const ModeCode &c : codes) {
        if (c.code != value) continue;
        *render_var_ref(context, c.variable) = c.value;
        return true;
    }
    return false;
}

void set_var(RenderContext *context, const char *name, int32_t value) { *render_var_ref(context, name) = value; }

void state(RenderContext *context, D3DRENDERSTATETYPE which, DWORD value)
{
    if (context->device) context->device->SetRenderState(which, value);
}

void apply_depth(RenderContext *context, int32_t value)
{
    state(context, D3DRS_ZENABLE, value != 0);
    state(context, D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    state(context, D3DRS_ZWRITEENABLE, value != 0 && value != 17);
}

void apply_cull(RenderContext *context, int32_t value)
{
    state(context, D3DRS_CULLMODE, value == 1 ? D3DCULL_CCW : D3DCULL_NONE);
}

void apply_wrap(RenderContext *context, int32_t value)
{
    if (!context->device) return;
    DWORD address = value == 0 ? D3DTADDRESS_CLAMP : D3DTADDRESS_WRAP;
    for (DWORD sampler = 0; sampler < 2; sampler++) {
        context->device->SetSamplerState(sampler, D3DSAMP_ADDRESSU, address);
        context->device->SetSamplerState(sampler, D3DSAMP_ADDRESSV, address);
    }
}

// Blending presets by "N": off, then source and destination factors of presets 1 to 5.
const DWORD kBlendFactors[6][2] = {{0, 0},
                                   {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA},
                                   {D3DBLEND_SRCALPHA, D3DBLEND_ONE},
                                   {D3DBLEND_DESTCOLOR, D3DBLEND_ZERO},
                                   {D3DBLEND_ONE, D3DBLEND_ONE},
                                   {D3DBLEND_ZERO, D3DBLEND_INVSRCCOLOR}};

// The preset a mode-6 value names: 18 is the callers' code for preset 2; -1 unknown.
int32_t blend_preset(int32_t value)
{
    if (value == 18) return 2;
    return value >= 0 && value <= 5 ? value : -1;
}

void apply_blend(RenderContext *context, int32_t preset)
{
    state(context, D3DRS_ALPHABLENDENABLE, preset != 0);
    if (preset == 0) return;
    state(context, D3DRS_SRCBLEND, kBlendFactors[preset][0]);
    state(context, D3DRS_DESTBLEND, kBlendFactors[preset][1]);
}

void apply_stencil(RenderContext *context, int32_t value)
{
    state(context, D3DRS_STENCILENABLE, value != 0);
    if (value == 0) return;
    state(context, D3DRS_STENCILFUNC, D3DCMP_ALWAYS);
    state(context, D3DRS_STENCILREF, 1);
    state(context, D3DRS_STENCILPASS, D3DSTENCILOP_INCR);
    state(context, D3DRS_STENCILZFAIL, render_var_get(context, "U") == 1 ? D3DSTENCILOP_INCR : D3DSTENCILOP_KEEP);
}

void apply_alpha_test(RenderContext *context)
{
    state(context, D3DRS_ALPHAREF, context->alpha_ref);
    state(context, D3DRS_ALPHAFUNC, context->alpha_func);
    state(context, D3DRS_ALPHATESTENABLE, context->alpha_on);
}

const DWORD kAlphaFunctions[8] = {D3DCMP_LESS,         D3DCMP_GREATER, D3DCMP_ALWAYS,   D3DCMP_LESSEQUAL,
                                  D3DCMP_GREATEREQUAL, D3DCMP_EQUAL,   D3DCMP_NOTEQUAL, D3DCMP_NEVER};

bool set_alpha_test(RenderContext *context, int32_t value)
{
    if (value < 0 || value > 265) return false;
    if (value <= 255)
        context->alpha_ref = DWORD(value);
    else if (value <= 263)
        context->alpha_func = kAlphaFunctions[value - 256];
    else
        context->alpha_on = value == 264;
    apply_alpha_test(context);
    return true;
}

// Render mode 23: the technique level and the effects' current choice.
void set_techniques(RenderContext *context, int32_t value)
{
    if (value == 60 || value == 70 || value == 61) {
        set_var(context, "a", value == 60 ? 1 : value == 70 ? 2 : 0);
    } else if (value == 59 || value == 62) {
        set_var(context, "b", value == 59 ? 1 : 0);
    } else {
        int32_t high = value & ~0x3FF;
        if (high == 0x3C00 || high == 0x1C00) {
            set_var(context, "c", 0);
            set_var(context, "a", 0);
        } else if (high == 0xC00) {
            set_var(context, "c", 2);
            set_var(context, "a", 0);
        } else if (high == 0x400) {
            set_var(context, "c", 3);
        }
        if (high & 0x4000) set_var(context, "c", 3);
    }
    render_select_effect_techniques(context);
}

// The 2D batch array: 1 makes it, 0 frees it, 88 parks it or takes it back.
bool set_batch(RenderContext *context, int32_t value)
{
    if (value == 1) {
        if (!context->batch && context->batch_parked) {
            context->batch = context->batch_parked;
            context->batch_parked = nullptr;
        }
        if (!context->batch)
            context->batch =
                static_cast<RenderBatchVertex *>(malloc(sizeof(RenderBatchVertex) * 3 * kRenderBatchTriangles));
    } else if (value == 0) {
        free(context->batch);
        free(context->batch_parked);
        context->batch = context->batch_parked = nullptr;
    } else if (value == 88) {
        RenderBatchVertex *parked = context->batch_parked;
        context->batch_parked = context->batch;
        context->batch = parked;
    } else {
        return false;
    }
    context->batch_triangles = 0;
    return true;
}

// Sets what the mode and value ask for; false (nothing changed) when either is unknown.
bool apply_mode(RenderContext *context, int32_t mode, int32_t value)
{
    switch (mode) {
    case 1:
        set_var(context, "Q", value);
        apply_depth(context, value);
        return true;
    case 4:
        set_var(context, "P", value == 1 ? 1 : 0);
        apply_cull(context, value);
        return true;
    case 5: apply_wrap(context, value); return true;
    case 6: {
        int32_t preset = blend_preset(value);
        if (preset < 0) return false;
        set_var(context, "N", preset);
        apply_blend(context, preset);
        return true;
    }
    case 7: return set_by_code(context, kTextureCodes, value);
    case 8: set_var(context, "M", value); return true;
    case 9:
        if (value == 13 || value == 19) {
            set_var(context, "J", value);
            set_var(context, "h", value);
            return true;
        }
        if (value != 0 && value != 1) return false;
        set_var(context, "U", value);
        return true;
    case 11:
        if (value < 0 || value > 16) return false;
        state(context, D3DRS_ZBIAS, DWORD(value));
        return true;
    case 12: apply_stencil(context, value); return true;
    case 13:
        if (value != 0 && value != 1) return false;
        state(context, D3DRS_DITHERENABLE, DWORD(value));
        return true;
    case 16: return set_by_code(context, kLightCodes, value);
    case 17: return set_by_code(context, kDecalCodes, value);
    case 19: return set_by_code(context, kEffectCodes, value);
    case 18: set_var(context, "d", value); return true;
    case 33: set_var(context, "I", value); return true;
    case 35: set_var(context, "B", value); return true;
    case 36: set_var(context, "f", value); return true;
    case 21: return set_alpha_test(context, value);
    case 22: set_var(context, "R", value); return true;
    case 23: set_techniques(context, value); return true;
    case 24: return set_by_code(context, kLightmapCodes, value);
    case 27: return set_batch(context, value);
    case 28: return set_by_code(context, kIntervalCodes, value);
    case 29: return set_by_code(context, kUploadCodes, value);
    case 2:
    case 3:
    case 10:
    case 14:
    case 15:
    case 20:
    case 25:
    case 26:
    case 30:
    case 31:
    case 32:
    case 34: return true;  // kept only: nothing reads them
    default: return false;
    }
}

void log_unknown(int32_t mode, int32_t value)
{
    int32_t slot = mode >= 0 && mode < kRenderModes ? mode : kRenderModes;
    if (g_mode_logged[slot]) return;
    g_mode_logged[slot] = true;
    char line[96];
    snprintf(line, sizeof line, "render_set_mode: mode %d does not take the value %d", int(mode), int(value));
    render_log_line(line);
}

}  // namespace

void render_set_mode(int32_t mode, RenderContext *context, int32_t value)
{
    // Quads already queued were meant for the state before this call.
    render_flush_2d_batch(context);
    if (!apply_mode(context, mode, value)) {
        log_unknown(mode, value);
        return;
    }
    context->mode_value[mode] = value;
}

void render_default_device_state(RenderContext *context)
{
    IDirect3DDevice9 *device = context->device;
    if (!device) return;
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    for (DWORD sampler = 0; sampler < 8; sampler++) {
        device->SetSamplerState(sampler, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        device->SetSamplerState(sampler, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    }
    // The default SELECTARG1 would drop the vertex alpha of translucent 2D quads.
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
}

void render_replay_device_state(RenderContext *context)
{
    const int32_t *v = context->mode_value;
    if (v[1] >= 0) apply_depth(context, v[1]);
    if (v[4] >= 0) apply_cull(context, v[4]);
    if (v[5] >= 0) apply_wrap(context, v[5]);
    if (v[6] >= 0) apply_blend(context, blend_preset(v[6]));
    if (v[11] >= 0) state(context, D3DRS_ZBIAS, DWORD(v[11]));
    if (v[12] >= 0) apply_stencil(context, v[12]);
    if (v[13] >= 0) state(context, D3DRS_DITHERENABLE, DWORD(v[13]));
    if (v[21] >= 0) apply_alpha_test(context);
}
