// Recorded constant operations (compile target 2): operations on the float4 slots of a pass's
// PassConstBlock, each carried out by a routine chosen from a table of pairs by op code.
#include "shader/shader_local.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

// The named registers of operand kinds 3 to 20, in slot order.
const char *const kRegisterNames[18] = {"a0",  "oPos", "oD0", "oD1", "oT0", "oT1", "oT2", "oT3", "oT4",
                                        "oT5", "oT6",  "oT7", "oFog", "oPts", "v0", "v1", "v2", "v3"};

struct Float4 {
    float v[4];
};

float dot3(const Float4 &a, const Float4 &b)
{
    return a.v[0] * b.v[0] + a.v[1] * b.v[1] + a.v[2] * b.v[2];
}

Float4 splat(float x)
{
    return {{x, x, x, x}};
}

// The address register's x, as a whole register offset (out of any table when not a sane number).
int address_offset(PassConstBlock *block)
{
    float x = block->registers[0][0];
    return x >= -1024.0f && x <= 1024.0f ? (int)floorf(x) : 100000;
}

Float4 read_source(PassConstBlock *block, int slot, uint8_t swizzle, bool relative, bool negate)
{
    if (relative) slot += address_offset(block);
    const float *value = shader_const_slot(block, slot);
    Float4 out = {};
    if (!value) return out;
    for (int i = 0; i < 4; i++) {
        float x = value[(swizzle >> (2 * i)) & 3];
        out.v[i] = negate ? -x : x;
    }
    return out;
}

const float *read_matrix(PassConstBlock *block, const ConstOp *op)
{
    int slot = op->matrix + ((op->relative & 4) ? address_offset(block) : 0);
    return slot >= 0 && slot < 256 ? block->matrices[slot] : nullptr;
}

template <uint32_t Op>
Float4 compute(PassConstBlock *block, const ConstOp *op)
{
    Float4 a = read_source(block, op->src1, op->src1_swizzle, op->relative & 1, op->negate & 1);
    Float4 b = read_source(block, op->src2, op->src2_swizzle, op->relative & 2, op->negate & 2);
    Float4 r = {};
    switch (Op) {
    case 0: return a;
    case 1: for (int i = 0; i < 4; i++) r.v[i] = a.v[i] + b.v[i]; return r;
    case 2: for (int i = 0; i < 4; i++) r.v[i] = a.v[i] - b.v[i]; return r;
    case 3: for (int i = 0; i < 4; i++) r.v[i] = a.v[i] * b.v[i]; return r;
    case 4: return splat(1.0f / a.v[3]);
    case 5: return splat(1.0f / sqrtf(fabsf(a.v[3])));
    case 6: for (int i = 0; i < 4; i++) r.v[i] = a.v[i] >= b.v[i] ? 1.0f : 0.0f; return r;
    case 7: for (int i = 0; i < 4; i++) r.v[i] = a.v[i] < b.v[i] ? 1.0f : 0.0f; return r;
    case 8:
    case 9: {
        // Row vector times the matrix: the 3x3 form uses the upper left block and gives w = 0.
        const float *m = read_matrix(block, op);
        if (!m) return r;
        int n = Op == 8 ? 4 : 3;
        for (int col = 0; col < n; col++) {
            for (int k = 0; k < n; k++) r.v[col] += a.v[k] * m[k * 4 + col];
        }
        return r;
    }
    case 10:
        r.v[0] = a.v[1] * b.v[2] - a.v[2] * b.v[1];
        r.v[1] = a.v[2] * b.v[0] - a.v[0] * b.v[2];
        r.v[2] = a.v[0] * b.v[1] - a.v[1] * b.v[0];
        return r;
    case 11: for (int i = 0; i < 4; i++) r.v[i] = fmaxf(a.v[i], b.v[i]); return r;
    case 12: for (int i = 0; i < 4; i++) r.v[i] = fminf(a.v[i], b.v[i]); return r;
    case 13: return splat(dot3(a, b));
    case 14: for (int i = 0; i < 4; i++) r.v[i] = sinf(a.v[i]); return r;
    case 15: for (int i = 0; i < 4; i++) r.v[i] = cosf(a.v[i]); return r;
    case 16: for (int i = 0; i < 4; i++) r.v[i] = tanf(a.v[i]); return r;
    case 17: for (int i = 0; i < 4; i++) r.v[i] = asinf(a.v[i]); return r;
    case 18: for (int i = 0; i < 4; i++) r.v[i] = acosf(a.v[i]); return r;
    case 19: for (int i = 0; i < 4; i++) r.v[i] = atanf(a.v[i]); return r;
    case 20: return splat(exp2f(a.v[3]));
    case 21: return splat(log2f(fabsf(a.v[3])));
    case 22: {
        float d = dot3(a, b);
        for (int i = 0; i < 3; i++) r.v[i] = a.v[i] - b.v[i] * d;
        return r;
    }
    case 23: for (int i = 0; i < 4; i++) r.v[i] = truncf(a.v[i]); return r;
    case 24: {
        // Lighting coefficients: 1, diffuse, specular power, 1.
        float power = fmaxf(-128.0f, fminf(128.0f, a.v[3]));
        r.v[0] = 1.0f;
        r.v[1] = fmaxf(a.v[0], 0.0f);
        r.v[2] = a.v[0] > 0.0f && a.v[1] > 0.0f ? powf(a.v[1], power) : 0.0f;
        r.v[3] = 1.0f;
        return r;
    }
    case 25: return splat(dot3(a, b) + b.v[3]);
    case 26: return {{a.v[0], a.v[1], a.v[2], -dot3(a, b)}};
    case 27: for (int i = 0; i < 4; i++) r.v[i] = fabsf(a.v[i]); return r;
    }
    return r;
}

template <uint32_t Op>
void run_full(PassConstBlock *block, const ConstOp *op)
{
    Float4 r = compute<Op>(block, op);
    if (float *out = shader_const_slot(block, op->dest)) memcpy(out, r.v, sizeof r.v);
}

template <uint32_t Op>
void run_masked(PassConstBlock *block, const ConstOp *op)
{
    Float4 r = compute<Op>(block, op);
    float *out = shader_const_slot(block, op->dest);
    if (!out) return;
    for (int i = 0; i < 4; i++) {
        if (op->dest_mask & (1 << i)) out[i] = r.v[i];
    }
}

struct RoutinePair {
    ConstOpRoutine full;
    ConstOpRoutine masked;
};

template <size_t... Op>
constexpr auto make_routines(std::index_sequence<Op...>)
{
    return std::array<RoutinePair, sizeof...(Op)>{RoutinePair{run_full<Op>, run_masked<Op>}...};
}

const auto kRoutines = make_routines(std::make_index_sequence<28>());

int component_index(char c)
{
    switch (c) {
    case 'x': case 'r': return 0;
    case 'y': case 'g': return 1;
    case 'z': case 'b': return 2;
    case 'w': case 'a': return 3;
    }
    return -1;
}

// A parsed operand: its slot, whether a0.x is added, negation, and its swizzle text.
struct Operand {
    int slot = -1;
    bool relative = false;
    bool negate = false;
    const char *swizzle = "";
};

// Parses "[-]name[.swizzle]", "[-]c[N(+a0.x)][.swizzle]", with the name one of c%d, r%d (0 to 11)
// or a named register.
bool parse_operand(const char *text, Operand *out)
{
    char name[64];
    if (text[0] == '-') {
        out->negate = true;
        text++;
    }
    const char *dot = strchr(text, '.');
    const char *open = strchr(text, '[');
    size_t length = dot && (!open || dot < open) ? (size_t)(dot - text) : strlen(text);
    if (open && (size_t)(open - text) < length) length = (size_t)(open - text);
    if (length == 0 || length >= sizeof name) return false;
    memcpy(name, text, length);
    name[length] = 0;

    const char *rest = text + length;
    if (*rest == '[') {
        // "c[N]" or "c[N+a0.x]": a constant slot, maybe relative.
        if (strcmp(name, "c") != 0) return false;
        char *after;
        long index = strtol(rest + 1, &after, 10);
        if (after == rest + 1 || index < 0 || index > 255) return false;
        if (strncmp(after, "+a0.x", 5) == 0) {
            out->relative = true;
            after += 5;
        }
        if (*after != ']') return false;
        out->slot = CONST_SLOT_CONSTANT + (int)index;
        rest = after + 1;
    } else if ((name[0] == 'c' || name[0] == 'r') && name[1] && strspn(name + 1, "0123456789") == length - 1) {
        long index = strtol(name + 1, nullptr, 10);
        if (name[0] == 'c' && index < 256) out->slot = CONST_SLOT_CONSTANT + (int)index;
        if (name[0] == 'r' && index < 12) out->slot = CONST_SLOT_TEMPORARY + (int)index;
    } else {
        for (int i = 0; i < 18; i++) {
            if (strcmp(name, kRegisterNames[i]) == 0) out->slot = CONST_SLOT_REGISTER + i;
        }
    }
    if (*rest == '.') rest++;
    else if (*rest) return false;
    out->swizzle = rest;
    return out->slot >= 0 && strlen(rest) <= 4;
}

// Source swizzle as four 2-bit selectors; a short swizzle repeats its last letter.
bool swizzle_bits(const char *swizzle, uint8_t *bits)
{
    size_t n = strlen(swizzle);
    if (n == 0) {
        *bits = 0xE4; // x y z w
        return true;
    }
    *bits = 0;
    int last = 0;
    for (size_t i = 0; i < 4; i++) {
        if (i < n) {
            last = component_index(swizzle[i]);
            if (last < 0) return false;
        }
        *bits |= (uint8_t)(last << (2 * i));
    }
    return true;
}

bool mask_bits(const char *swizzle, uint8_t *mask)
{
    if (!swizzle[0]) {
        *mask = 0xF;
        return true;
    }
    *mask = 0;
    for (const char *p = swizzle; *p; p++) {
        int i = component_index(*p);
        if (i < 0) return false;
        *mask |= (uint8_t)(1 << i);
    }
    return true;
}

} // namespace

PassConstBlock *shader_pass_block_construct(PassConstBlock *memory)
{
    for (float(&m)[16] : memory->matrices) {
        for (int i = 0; i < 16; i++) m[i] = i % 5 == 0 ? 1.0f : 0.0f;
    }
    memset(memory->valid, 0, sizeof memory->valid);
    for (void *&array : memory->work_arrays) array = nullptr;
    memory->op_count = 0;
    return memory;
}

float *shader_const_slot(PassConstBlock *block, int slot)
{
    if (slot >= CONST_SLOT_CONSTANT && slot < CONST_SLOT_TEMPORARY) return block->constants[slot];
    if (slot >= CONST_SLOT_TEMPORARY && slot < CONST_SLOT_REGISTER) return block->temporaries[slot - CONST_SLOT_TEMPORARY];
    if (slot >= CONST_SLOT_REGISTER && slot < CONST_SLOT_COUNT) return block->registers[slot - CONST_SLOT_REGISTER];
    return nullptr;
}

int shader_record_const_op(ShaderCompiler *c, uint32_t op, const char *dest, const char *src1, const char *src2)
{
    PassConstBlock *block = c->current_const_block;
    if (!block || op >= kRoutines.size()) return 0;
    if (!shader_check_capacity(c, block->op_count, 1, CONST_OP_CAPACITY, "constant operations in one pass")) return 0;

    Operand d, a, b;
    ConstOp record = {};
    record.op = op;
    bool ok = parse_operand(dest, &d) && !d.negate && !d.relative && mask_bits(d.swizzle, &record.dest_mask);
    ok = ok && parse_operand(src1, &a) && swizzle_bits(a.swizzle, &record.src1_swizzle);
    if (src2) ok = ok && parse_operand(src2, &b) && swizzle_bits(b.swizzle, &record.src2_swizzle);
    if (!ok) {
        c->syntax_error = 1;
        return 0;
    }
    record.dest = (int16_t)d.slot;
    record.src1 = (int16_t)a.slot;
    record.src2 = (int16_t)(src2 ? b.slot : -1);
    record.matrix = -1;
    record.relative = (uint8_t)(a.relative | (b.relative << 1));
    record.negate = (uint8_t)(a.negate | (b.negate << 1));
    if (op == 8 || op == 9) {
        // The second source is the matrix: its first constant register names the matrix slot.
        if (!src2 || b.slot >= CONST_SLOT_TEMPORARY) {
            c->syntax_error = 1;
            return 0;
        }
        record.matrix = (int16_t)b.slot;
        record.relative = (uint8_t)(a.relative | (b.relative << 2));
        record.src2 = -1;
    }
    record.routine = record.dest_mask == 0xF ? kRoutines[op].full : kRoutines[op].masked;
    block->ops[block->op_count++] = record;
    return 1;
}
