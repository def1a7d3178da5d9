// Parsed form of effect text: parameters, techniques, passes with their state assignments, and the
// shader assembler programs as instruction lists. The back ends read it (the OpenGL one translates
// the programs into GLSL); the effect runtime applies it.
#pragma once

#include "platform/gpu/gpu_effect.h"
#include "platform/gpu/gpu_local.h"

#include <string>

enum GpuShaderKind : uint8_t { GPU_SHADER_VERTEX, GPU_SHADER_PIXEL };

enum GpuRegisterFile : uint8_t {
    GPU_REG_TEMP,          // r#
    GPU_REG_INPUT,         // v#: vertex input, or the interpolated colours of a pixel shader
    GPU_REG_CONST,         // c#
    GPU_REG_ADDRESS,       // a0
    GPU_REG_TEXTURE,       // t#: texture coordinates of a pixel shader
    GPU_REG_SAMPLER,       // s#
    GPU_REG_POSITION,      // oPos
    GPU_REG_COLOR_OUT,     // oD#
    GPU_REG_TEXCOORD_OUT,  // oT#
    GPU_REG_PIXEL_OUT,     // oC#
    GPU_REG_DEPTH_OUT,     // oDepth
    GPU_REG_LABEL,         // l#
    GPU_REG_IMMEDIATE,     // a number written as an operand (a scalar for every component)
};

enum GpuSourceModifier : uint8_t {
    GPU_MOD_NONE,
    GPU_MOD_NEGATE,       // -x
    GPU_MOD_COMPLEMENT,   // 1-x
    GPU_MOD_BIAS,         // x_bias: x - 0.5
    GPU_MOD_BIAS_NEGATE,  // -x_bias
    GPU_MOD_SIGN,         // x_bx2: 2x - 1
    GPU_MOD_SIGN_NEGATE,  // -x_bx2
    GPU_MOD_X2,           // x_x2: 2x
    GPU_MOD_X2_NEGATE,    // -x_x2
};

enum GpuOpcode : uint8_t {
    GPU_OP_NOP, GPU_OP_MOV, GPU_OP_MOVA, GPU_OP_ADD, GPU_OP_SUB, GPU_OP_MUL, GPU_OP_MAD, GPU_OP_DP3,
    GPU_OP_DP4, GPU_OP_RCP, GPU_OP_RSQ, GPU_OP_MIN, GPU_OP_MAX, GPU_OP_SGE, GPU_OP_SLT, GPU_OP_EXP,
    GPU_OP_LOG, GPU_OP_EXPP, GPU_OP_LOGP, GPU_OP_LIT, GPU_OP_DST, GPU_OP_FRC, GPU_OP_ABS, GPU_OP_NRM,
    GPU_OP_POW, GPU_OP_CRS, GPU_OP_SINCOS, GPU_OP_LRP, GPU_OP_CMP, GPU_OP_M4X4, GPU_OP_M4X3, GPU_OP_M3X4,
    GPU_OP_M3X3, GPU_OP_M3X2, GPU_OP_TEXLD, GPU_OP_TEXCRD, GPU_OP_PHASE, GPU_OP_CALL,
    GPU_OP_LABEL, GPU_OP_RET, GPU_OP_DEF, GPU_OP_DCL,
};

struct GpuSource {
    GpuRegisterFile file;
    GpuSourceModifier modifier;
    bool relative;  // c[index + a0.x]
    uint8_t swizzle[4];  // component taken for x, y, z, w (0 to 3)
    uint16_t index;
    float immediate;
};

struct GpuDest {
    GpuRegisterFile file;
    uint8_t mask;  // bit 0 x ... bit 3 w
    uint16_t index;
};

struct GpuInstruction {
    GpuOpcode op;
    bool saturate;  // _sat
    int8_t shift;  // _x2 1, _x4 2, _x8 3, _d2 -1, _d4 -2, _d8 -3
    bool has_dest;
    uint8_t source_count;
    GpuDest dest;
    GpuSource sources[3];
    uint8_t usage, usage_index;  // dcl of an input: D3DDECLUSAGE and its index
    bool sampler_2d;  // dcl_2d
    float values[4];  // def
    int line;  // line of the effect text, from 1
};

// One line of a vertex shader's stream declaration ("float v0[3];" after "stream 0;").
struct GpuStreamDecl {
    uint8_t stream;
    uint8_t input;  // v#
    uint8_t type;  // D3DDECLTYPE
};

struct GpuProgram {
    GpuShaderKind kind;
    DWORD version;  // D3DVS_VERSION / D3DPS_VERSION; the 2.x forms are major 2, minor 0
    bool extended;  // written as 2.x
    int line;  // line of the version
    std::vector<GpuInstruction> code;  // dcl, def, phase, labels and instructions in text order
    std::vector<GpuStreamDecl> streams;
    GpuDevice *device;  // set once the back end made the program; the destructor gives it back
    void *backend;
    ~GpuProgram();
};

enum GpuParamType : uint8_t { GPU_PARAM_TEXTURE, GPU_PARAM_MATRIX, GPU_PARAM_VECTOR, GPU_PARAM_DWORD };

struct GpuEffectParameter {
    std::string name;
    GpuParamType type;
    int line;
};

enum GpuAssignKind : uint8_t {
    GPU_ASSIGN_RENDER,         // render state
    GPU_ASSIGN_STAGE,          // texture stage state of stage `index`
    GPU_ASSIGN_SAMPLER,        // sampler state of sampler `index`
    GPU_ASSIGN_TEXTURE,        // Texture[index] = <parameter>
    GPU_ASSIGN_VS_CONSTANT,    // VertexShaderConstantN[index]: literal values or a parameter
    GPU_ASSIGN_VERTEX_SHADER,  // program, or -1 for none
    GPU_ASSIGN_PIXEL_SHADER,
};

struct GpuAssignment {
    GpuAssignKind kind;
    DWORD state;
    DWORD index;
    DWORD value;
    int parameter;  // -1 when the value is written in the text
    int registers;  // constants: registers written
    float constants[16];
    int program;  // index in the effect's programs, -1 for none
    int line;
};

struct GpuEffectPass {
    std::string name;
    std::vector<GpuAssignment> assignments;
    int line;
};

struct GpuEffectTechnique {
    std::string name;
    std::vector<GpuEffectPass> passes;
    int line;
};

struct GpuEffectDesc {
    std::vector<GpuEffectParameter> parameters;
    std::vector<GpuEffectTechnique> techniques;
    std::vector<std::shared_ptr<GpuProgram>> programs;
};

// A failure while reading effect text: where (from 1) and what.
struct GpuParseError {
    int line, column;
    std::string message;
};

// Reads effect text into `desc`. False with the first error.
bool gpu_effect_parse(const char *text, size_t length, GpuEffectDesc *desc, GpuParseError *error);
// Reads the text of one assembler block, whose first character is at (line, column) of the effect.
bool gpu_shader_parse(const char *text, size_t length, int line, int column, GpuShaderKind kind,
                      GpuProgram *program, GpuParseError *error);
// Whether the device's caps allow every pass of a technique: shader versions, texture stages and
// the operations and stencil modes its states name.
bool gpu_effect_technique_valid(const GpuEffectDesc &desc, int technique, const D3DCAPS9 &caps);
