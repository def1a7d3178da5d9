// Reading of shader assembler blocks (vs.1.1, vs.2.x, ps.1.4, ps.2.x) into instruction lists: the
// version, dcl and def lines, instructions with their modifiers, registers, write masks, swizzles
// and source modifiers. One instruction per line; ";" and "//" start comments. Lines written in
// the expression style of HLSL are refused.
#include "platform/gpu/gpu_effect_local.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

enum Shaders : uint8_t { VS = 1, PS = 2, BOTH = 3 };

struct OpInfo {
    const char *name;
    GpuOpcode op;
    bool dest;
    uint8_t sources;
    uint8_t kinds;
    uint8_t versions;  // bit 0: 1.x, bit 1: 2.x
};

const OpInfo OPS[] = {
    {"nop", GPU_OP_NOP, false, 0, BOTH, 3},   {"mov", GPU_OP_MOV, true, 1, BOTH, 3},
    {"mova", GPU_OP_MOVA, true, 1, VS, 2},    {"add", GPU_OP_ADD, true, 2, BOTH, 3},
    {"sub", GPU_OP_SUB, true, 2, BOTH, 3},    {"mul", GPU_OP_MUL, true, 2, BOTH, 3},
    {"mad", GPU_OP_MAD, true, 3, BOTH, 3},    {"dp3", GPU_OP_DP3, true, 2, BOTH, 3},
    {"dp4", GPU_OP_DP4, true, 2, BOTH, 3},    {"rcp", GPU_OP_RCP, true, 1, BOTH, 3},
    {"rsq", GPU_OP_RSQ, true, 1, BOTH, 3},    {"min", GPU_OP_MIN, true, 2, BOTH, 3},
    {"max", GPU_OP_MAX, true, 2, BOTH, 3},    {"sge", GPU_OP_SGE, true, 2, BOTH, 3},
    {"slt", GPU_OP_SLT, true, 2, BOTH, 3},    {"exp", GPU_OP_EXP, true, 1, BOTH, 3},
    {"log", GPU_OP_LOG, true, 1, BOTH, 3},    {"expp", GPU_OP_EXPP, true, 1, VS, 3},
    {"logp", GPU_OP_LOGP, true, 1, VS, 3},    {"lit", GPU_OP_LIT, true, 1, VS, 3},
    {"dst", GPU_OP_DST, true, 2, VS, 3},      {"frc", GPU_OP_FRC, true, 1, BOTH, 3},
    {"abs", GPU_OP_ABS, true, 1, BOTH, 2},    {"nrm", GPU_OP_NRM, true, 1, BOTH, 2},
    {"pow", GPU_OP_POW, true, 2, BOTH, 2},    {"crs", GPU_OP_CRS, true, 2, BOTH, 2},
    {"sincos", GPU_OP_SINCOS, true, 3, BOTH, 2}, {"lrp", GPU_OP_LRP, true, 3, BOTH, 3},
    {"cmp", GPU_OP_CMP, true, 3, BOTH, 3},    {"m4x4", GPU_OP_M4X4, true, 2, BOTH, 3},
    {"m4x3", GPU_OP_M4X3, true, 2, BOTH, 3},  {"m3x4", GPU_OP_M3X4, true, 2, BOTH, 3},
    {"m3x3", GPU_OP_M3X3, true, 2, BOTH, 3},  {"m3x2", GPU_OP_M3X2, true, 2, BOTH, 3},
    {"texld", GPU_OP_TEXLD, true, 1, PS, 3},  {"texcrd", GPU_OP_TEXCRD, true, 1, PS, 1},
    {"phase", GPU_OP_PHASE, false, 0, PS, 1},
    {"call", GPU_OP_CALL, false, 1, BOTH, 2}, {"label", GPU_OP_LABEL, false, 1, BOTH, 2},
    {"ret", GPU_OP_RET, false, 0, BOTH, 2},
};

struct UsageName {
    const char *name;
    uint8_t usage;
};

const UsageName USAGES[] = {
    {"position", D3DDECLUSAGE_POSITION}, {"blendweight", D3DDECLUSAGE_BLENDWEIGHT},
    {"blendindices", D3DDECLUSAGE_BLENDINDICES}, {"normal", D3DDECLUSAGE_NORMAL},
    {"psize", D3DDECLUSAGE_PSIZE}, {"texcoord", D3DDECLUSAGE_TEXCOORD}, {"color", D3DDECLUSAGE_COLOR},
};

// Where a line's text lies in the effect, for messages.
struct Line {
    std::string text;
    int number;
    int column;  // effect column of the line's first character
};

// Where an instruction stands in the effect: its line, the column of its word and of each operand
// (destination first), for the checks that run once the block is read.
struct Place {
    int line;
    int word;
    int operands[5];
};

struct Reader {
    GpuProgram *program;
    GpuParseError *error;
    bool vertex;
    bool model2;
    bool phase_seen;
    Line line;
    size_t word_column;  // where the line's instruction word starts
    std::vector<Place> places;  // one per instruction of the program
};

bool fail(Reader &r, size_t at, const std::string &message)
{
    r.error->line = r.line.number;
    r.error->column = r.line.column + int(at);
    r.error->message = message;
    return false;
}

std::string lower(std::string s)
{
    for (char &c : s) c = char(tolower((unsigned char)c));
    return s;
}

std::string trim(const std::string &s)
{
    size_t a = 0, b = s.size();
    while (a < b && isspace((unsigned char)s[a])) a++;
    while (b > a && isspace((unsigned char)s[b - 1])) b--;
    return s.substr(a, b - a);
}

// Register limits of the program's version: temporaries, constants, texture coordinates.
int temp_limit(const Reader &r) { return r.vertex ? (r.model2 ? 32 : 12) : (r.model2 ? 32 : 6); }
int const_limit(const Reader &r) { return r.vertex ? (r.model2 ? 256 : 96) : (r.model2 ? 32 : 8); }
int texture_limit(const Reader &r) { return r.model2 ? 8 : 6; }

// A register name at the start of `s`: its file, number and length. Reports a malformed number.
bool read_register(Reader &r, const std::string &s, size_t column, GpuRegisterFile *file, int *index, size_t *used)
{
    static const struct {
        const char *prefix;
        GpuRegisterFile file;
        bool numbered;
    } NAMES[] = {
        {"opos", GPU_REG_POSITION, false}, {"odepth", GPU_REG_DEPTH_OUT, false}, {"od", GPU_REG_COLOR_OUT, true},
        {"ot", GPU_REG_TEXCOORD_OUT, true}, {"oc", GPU_REG_PIXEL_OUT, true},    {"a", GPU_REG_ADDRESS, true},
        {"r", GPU_REG_TEMP, true},          {"v", GPU_REG_INPUT, true},         {"c", GPU_REG_CONST, true},
        {"t", GPU_REG_TEXTURE, true},       {"s", GPU_REG_SAMPLER, true},       {"l", GPU_REG_LABEL, true},
    };
    std::string low = lower(s);
    for (const auto &n : NAMES) {
        size_t len = strlen(n.prefix);
        if (low.compare(0, len, n.prefix) != 0) continue;
        *file = n.file;
        if (!n.numbered) {
            if (len < low.size() && isalnum((unsigned char)low[len])) continue;
            *index = 0;
            *used = len;
            return true;
        }
        size_t end = len;
        while (end < low.size() && isdigit((unsigned char)low[end])) end++;
        if (end == len || end - len > 4) {
            // r-1 and the like: a register whose number is not a number.
            size_t word = len;
            while (word < low.size() && (isalnum((unsigned char)low[word]) || low[word] == '-')) word++;
            return fail(r, column, "invalid register '" + s.substr(0, word) + "'");
        }
        *index = atoi(low.c_str() + len);
        *used = end;
        return true;
    }
    return fail(r, column, "unknown register '" + s + "'");
}

// Checks that a register exists in this shader version, read (source) or written (destination).
bool check_register(Reader &r, GpuRegisterFile file, int index, bool write, size_t column, const std::string &text)
{
    int limit = -1;
    bool ok;
    switch (file) {
    case GPU_REG_TEMP:
        ok = true;
        limit = temp_limit(r);
        break;
    case GPU_REG_INPUT:
        ok = !write;
        limit = r.vertex ? 16 : 2;
        break;
    case GPU_REG_CONST:
        ok = !write;
        limit = const_limit(r);
        break;
    case GPU_REG_ADDRESS:
        ok = r.vertex && write;
        limit = 1;
        break;
    case GPU_REG_TEXTURE:
        ok = !r.vertex && !write;
        limit = texture_limit(r);
        break;
    case GPU_REG_SAMPLER:
        ok = !r.vertex && r.model2 && !write;
        limit = 16;
        break;
    case GPU_REG_POSITION:
        ok = r.vertex && write;
        break;
    case GPU_REG_COLOR_OUT:
        ok = r.vertex && write;
        limit = 2;
        break;
    case GPU_REG_TEXCOORD_OUT:
        ok = r.vertex && write;
        limit = 8;
        break;
    case GPU_REG_PIXEL_OUT:
        ok = !r.vertex && r.model2 && write;
        limit = 4;
        break;
    case GPU_REG_DEPTH_OUT:
        ok = !r.vertex && r.model2 && write;
        break;
    case GPU_REG_LABEL:
        ok = r.model2 && !write;
        limit = 2048;
        break;
    default:
        ok = false;
        break;
    }
    if (!ok) return fail(r, column, "register '" + text + "' cannot be " + (write ? "written" : "read") + " here");
    if (limit >= 0 && index >= limit) return fail(r, column, "register '" + text + "' out of range");
    return true;
}

// ".xyz" write mask: components in order, each once; none means all.
bool read_mask(Reader &r, const std::string &s, size_t column, uint8_t *mask)
{
    *mask = 0xF;
    if (s.empty()) return true;
    if (s[0] != '.' || s.size() < 2 || s.size() > 5) return fail(r, column, "bad write mask '" + s + "'");
    *mask = 0;
    int last = -1;
    for (size_t i = 1; i < s.size(); i++) {
        const char *at = strchr("xyzw", tolower((unsigned char)s[i]));
        const char *colour = strchr("rgba", tolower((unsigned char)s[i]));
        int c = at && s[i] ? int(at - "xyzw") : colour && s[i] ? int(colour - "rgba") : -1;
        if (c <= last) return fail(r, column, "bad write mask '" + s + "'");
        *mask = uint8_t(*mask | (1 << c));
        last = c;
    }
    return true;
}

// ".xy" swizzle: one to four components, the last repeated.
bool read_swizzle(Reader &r, const std::string &s, size_t column, uint8_t swizzle[4])
{
    for (int i = 0; i < 4; i++) swizzle[i] = uint8_t(i);
    if (s.empty()) return true;
    if (s[0] != '.' || s.size() < 2 || s.size() > 5) return fail(r, column, "bad swizzle '" + s + "'");
    for (size_t i = 0; i < 4; i++) {
        char c = char(tolower((unsigned char)s[i + 1 < s.size() ? i + 1 : s.size() - 1]));
        const char *at = c ? strchr("xyzw", c) : nullptr;
        const char *colour = c ? strchr("rgba", c) : nullptr;
        if (!at && !colour) return fail(r, column, "bad swizzle '" + s + "'");
        swizzle[i] = uint8_t(at ? at - "xyzw" : colour - "rgba");
    }
    return true;
}

bool read_number(const std::string &s, float *value)
{
    std::string t = s;
    if (!t.empty() && (t.back() == 'f' || t.back() == 'F')) t.pop_back();
    if (t.empty() || !(isdigit((unsigned char)t[0]) || t[0] == '.' || t[0] == '-' || t[0] == '+')) return false;
    char *end;
    *value = strtof(t.c_str(), &end);
    return *end == '\0';
}

bool read_dest(Reader &r, const std::string &s, size_t column, GpuDest *dest)
{
    GpuRegisterFile file;
    int index;
    size_t used;
    if (!read_register(r, s, column, &file, &index, &used)) return false;
    std::string name = s.substr(0, used);
    if (!check_register(r, file, index, true, column, name)) return false;
    dest->file = file;
    dest->index = uint16_t(index);
    return read_mask(r, s.substr(used), column + used, &dest->mask);
}

// "c[12+a0.x]", "c[a0.x+12]" or "c[a0.x]": the constant number after the register letter.
bool read_relative(Reader &r, const std::string &s, size_t column, int *index, size_t *used)
{
    size_t close = s.find(']');
    if (close == std::string::npos) return fail(r, column, "']' missing in '" + s + "'");
    std::string inside;
    for (char c : s.substr(2, close - 2))
        if (!isspace((unsigned char)c)) inside += char(tolower((unsigned char)c));
    std::string number;
    if (inside == "a0.x") {
        number = "0";
    } else if (inside.compare(0, 5, "a0.x+") == 0) {
        number = inside.substr(5);
    } else if (inside.size() > 5 && inside.compare(inside.size() - 5, 5, "+a0.x") == 0) {
        number = inside.substr(0, inside.size() - 5);
    } else {
        return fail(r, column, "bad relative address '" + s.substr(0, close + 1) + "'");
    }
    if (number.empty() || number.size() > 4 || number.find_first_not_of("0123456789") != std::string::npos)
        return fail(r, column, "bad relative address '" + s.substr(0, close + 1) + "'");
    *index = atoi(number.c_str());
    *used = close + 1;
    return true;
}

// A source operand: [-] or [1-], then a register (or a number), [_bx2 | _bias | _x2], [.swizzle].
bool read_source(Reader &r, const std::string &text, size_t column, GpuSource *src)
{
    memset(src, 0, sizeof *src);
    std::string s = text;
    bool negate = false, complement = false;
    if (!s.empty() && s[0] == '-') {
        negate = true;
        s = trim(s.substr(1));
    } else if (s.size() > 1 && s[0] == '1') {
        size_t at = 1;
        while (at < s.size() && isspace((unsigned char)s[at])) at++;
        if (at < s.size() && s[at] == '-') {
            complement = true;
            s = trim(s.substr(at + 1));
        }
    }
    for (int i = 0; i < 4; i++) src->swizzle[i] = uint8_t(i);
    float value;
    if (!s.empty() && (isdigit((unsigned char)s[0]) || s[0] == '.')) {
        if (complement || !read_number(s, &value)) return fail(r, column, "bad operand '" + text + "'");
        src->file = GPU_REG_IMMEDIATE;
        src->immediate = negate ? -value : value;
        return true;
    }
    GpuRegisterFile file;
    int index;
    size_t used;
    if (s.size() > 1 && tolower((unsigned char)s[0]) == 'c' && s[1] == '[') {
        if (!r.vertex) return fail(r, column, "relative addressing is only for vertex shaders");
        if (!read_relative(r, s, column, &index, &used)) return false;
        file = GPU_REG_CONST;
        src->relative = true;
    } else if (!read_register(r, s, column, &file, &index, &used)) {
        return false;
    }
    if (!check_register(r, file, index, false, column, s.substr(0, used))) return false;
    src->file = file;
    src->index = uint16_t(index);
    std::string rest = lower(s.substr(used)), swizzle;
    GpuSourceModifier modifier = negate ? GPU_MOD_NEGATE : complement ? GPU_MOD_COMPLEMENT : GPU_MOD_NONE;
    // The register modifier may stand before or after the swizzle.
    for (int part = 0; part < 2 && !rest.empty(); part++) {
        if (rest[0] == '.') {
            size_t end = rest.find('_');
            swizzle = rest.substr(0, end);
            rest = end == std::string::npos ? "" : rest.substr(end);
        } else if (rest.compare(0, 4, "_bx2") == 0 || rest.compare(0, 5, "_bias") == 0 ||
                   rest.compare(0, 3, "_x2") == 0) {
            if (complement) return fail(r, column, "'1-' cannot be combined with another modifier");
            bool bias = rest[1] == 'b' && rest[2] == 'i';
            bool sign = rest[1] == 'b' && rest[2] == 'x';
            modifier = GpuSourceModifier(bias ? (negate ? GPU_MOD_BIAS_NEGATE : GPU_MOD_BIAS)
                                         : sign ? (negate ? GPU_MOD_SIGN_NEGATE : GPU_MOD_SIGN)
                                                : (negate ? GPU_MOD_X2_NEGATE : GPU_MOD_X2));
            rest = rest.substr(bias ? 5 : sign ? 4 : 3);
        } else {
            break;
        }
    }
    if (!rest.empty()) return fail(r, column, "bad operand '" + text + "'");
    src->modifier = modifier;
    return read_swizzle(r, swizzle, column, src->swizzle);
}

// The operands of a line: split at commas, blanks trimmed, with the column of each.
bool split_operands(Reader &r, const std::string &text, size_t column, std::vector<std::string> *parts,
                    std::vector<size_t> *columns)
{
    size_t at = 0;
    if (trim(text).empty()) return true;
    while (true) {
        size_t comma = text.find(',', at);
        std::string part = text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        size_t lead = 0;
        while (lead < part.size() && isspace((unsigned char)part[lead])) lead++;
        if (trim(part).empty()) return fail(r, column + at, "missing operand");
        parts->push_back(trim(part));
        columns->push_back(column + at + lead);
        if (comma == std::string::npos) return true;
        at = comma + 1;
    }
}

bool read_version(Reader &r, const std::string &word, size_t column)
{
    std::string v = lower(word);
    for (char &c : v)
        if (c == '_') c = '.';
    const char *want = r.vertex ? "vs." : "ps.";
    if (v.compare(0, 3, want) != 0)
        return fail(r, column, std::string("expected the version of a ") + (r.vertex ? "vertex" : "pixel") +
                                   " shader, found '" + word + "'");
    std::string number = v.substr(3);
    bool known = r.vertex ? (number == "1.1" || number == "2.0" || number == "2.x")
                          : (number == "1.4" || number == "2.0" || number == "2.x");
    if (!known) return fail(r, column, "unsupported shader version '" + word + "'");
    r.model2 = number[0] == '2';
    r.program->extended = number == "2.x";
    int major = number[0] - '0', minor = r.model2 ? 0 : number[2] - '0';
    r.program->version = r.vertex ? D3DVS_VERSION(major, minor) : D3DPS_VERSION(major, minor);
    r.program->line = r.line.number;
    return true;
}

bool read_dcl(Reader &r, const std::string &word, const std::vector<std::string> &ops,
              const std::vector<size_t> &columns, GpuInstruction *in)
{
    in->op = GPU_OP_DCL;
    in->has_dest = true;
    std::string usage = lower(word.substr(3));
    if (ops.size() != 1) return fail(r, columns.empty() ? 0 : columns[0], "dcl takes one register");
    if (!r.vertex && !r.model2) return fail(r, r.word_column, "dcl is not part of ps.1.4");
    GpuRegisterFile file;
    int index;
    size_t used;
    if (!read_register(r, ops[0], columns[0], &file, &index, &used)) return false;
    if (!check_register(r, file, index, false, columns[0], ops[0].substr(0, used))) return false;
    in->dest.file = file;
    in->dest.index = uint16_t(index);
    if (!read_mask(r, ops[0].substr(used), columns[0] + used, &in->dest.mask)) return false;
    if (usage == "_2d") {
        if (file != GPU_REG_SAMPLER) return fail(r, columns[0], "dcl_2d declares a sampler");
        in->sampler_2d = true;
        return true;
    }
    if (!r.vertex) {
        if (!usage.empty() || (file != GPU_REG_TEXTURE && file != GPU_REG_INPUT))
            return fail(r, columns[0], "a pixel shader declares t# and v# with dcl");
        in->usage = file == GPU_REG_TEXTURE ? D3DDECLUSAGE_TEXCOORD : D3DDECLUSAGE_COLOR;
        in->usage_index = uint8_t(index);
        return true;
    }
    if (file != GPU_REG_INPUT || usage.empty() || usage[0] != '_')
        return fail(r, r.word_column, "bad declaration '" + word + "'");
    usage = usage.substr(1);
    size_t digits = usage.find_first_of("0123456789");
    std::string name = usage.substr(0, digits);
    int usage_index = digits == std::string::npos ? 0 : atoi(usage.c_str() + digits);
    if (digits != std::string::npos && (usage.size() - digits > 2 || usage.find_first_not_of("0123456789", digits) !=
                                                                         std::string::npos))
        return fail(r, r.word_column, "bad declaration '" + word + "'");
    for (const UsageName &u : USAGES) {
        if (name != u.name) continue;
        if (usage_index > 15) break;
        in->usage = u.usage;
        in->usage_index = uint8_t(usage_index);
        for (const GpuInstruction &other : r.program->code)
            if (other.op == GPU_OP_DCL && other.dest.file == file && other.dest.index == index)
                return fail(r, columns[0], "v" + std::to_string(index) + " is declared twice");
        return true;
    }
    return fail(r, r.word_column, "unknown declaration '" + word + "'");
}

bool read_def(Reader &r, const std::vector<std::string> &ops, const std::vector<size_t> &columns, GpuInstruction *in)
{
    in->op = GPU_OP_DEF;
    in->has_dest = true;
    if (ops.size() != 5) return fail(r, r.word_column, "def takes a constant register and four numbers");
    GpuRegisterFile file;
    int index;
    size_t used;
    if (!read_register(r, ops[0], columns[0], &file, &index, &used)) return false;
    if (file != GPU_REG_CONST || used != ops[0].size()) return fail(r, columns[0], "def writes a constant register");
    if (!check_register(r, file, index, false, columns[0], ops[0])) return false;
    in->dest = GpuDest{file, 0xF, uint16_t(index)};
    for (int i = 0; i < 4; i++)
        if (!read_number(ops[size_t(i) + 1], &in->values[i]))
            return fail(r, columns[size_t(i) + 1], "'" + ops[size_t(i) + 1] + "' is not a number");
    return true;
}

// Splits "mul_x2_sat" into its operation and modifiers.
bool read_mnemonic(Reader &r, const std::string &word, const OpInfo **info, GpuInstruction *in)
{
    std::string low = lower(word);
    size_t cut = low.find('_');
    std::string base = low.substr(0, cut);
    *info = nullptr;
    for (const OpInfo &op : OPS)
        if (base == op.name) *info = &op;
    if (!*info) return fail(r, r.word_column, "unknown instruction '" + word + "'");
    uint8_t kind = r.vertex ? VS : PS;
    uint8_t version = r.model2 ? 2 : 1;
    if (!((*info)->kinds & kind) || !((*info)->versions & version))
        return fail(r, r.word_column, "'" + base + "' is not an instruction of this shader version");
    while (cut != std::string::npos) {
        size_t end = low.find('_', cut + 1);
        std::string m = low.substr(cut + 1, end == std::string::npos ? std::string::npos : end - cut - 1);
        static const struct {
            const char *name;
            int8_t shift;
        } SHIFTS[] = {{"x2", 1}, {"x4", 2}, {"x8", 3}, {"d2", -1}, {"d4", -2}, {"d8", -3}};
        bool known = m == "sat" || m == "pp";
        if (m == "sat") in->saturate = true;
        for (const auto &s : SHIFTS) {
            if (m != s.name) continue;
            in->shift = s.shift;
            known = true;
        }
        if (!known) return fail(r, r.word_column, "unknown instruction modifier '_" + m + "'");
        cut = end;
    }
    in->op = (*info)->op;
    return true;
}

// The operand rules of single instructions beyond register files.
bool check_instruction(Reader &r, const GpuInstruction &in, const std::vector<size_t> &columns)
{
    const GpuSource *s = in.sources;
    if (in.has_dest && in.dest.file == GPU_REG_ADDRESS && in.op != (r.model2 ? GPU_OP_MOVA : GPU_OP_MOV))
        return fail(r, columns[0], r.model2 ? "a0 is written with mova" : "a0 is written with mov");
    if (in.op == GPU_OP_MOVA && in.dest.file != GPU_REG_ADDRESS) return fail(r, columns[0], "mova writes a0");
    static const struct {
        GpuOpcode op;
        int rows;
    } MATRICES[] = {{GPU_OP_M4X4, 4}, {GPU_OP_M4X3, 3}, {GPU_OP_M3X4, 4}, {GPU_OP_M3X3, 3}, {GPU_OP_M3X2, 2}};
    for (const auto &m : MATRICES)
        if (in.op == m.op && s[1].file == GPU_REG_CONST && !s[1].relative && s[1].index + m.rows > const_limit(r))
            return fail(r, columns[2], "the matrix runs past the last constant register");
    if ((in.op == GPU_OP_CALL || in.op == GPU_OP_LABEL) && s[0].file != GPU_REG_LABEL)
        return fail(r, columns[0], "expected a label l#");
    for (int i = 0; i < in.source_count; i++) {
        bool label = s[i].file == GPU_REG_LABEL, sampler = s[i].file == GPU_REG_SAMPLER;
        size_t column = columns[size_t(i) + 1];
        if (label && in.op != GPU_OP_CALL && in.op != GPU_OP_LABEL) return fail(r, column, "label out of place");
        if (sampler && !(in.op == GPU_OP_TEXLD && i == 1)) return fail(r, column, "sampler out of place");
    }
    if (in.op == GPU_OP_TEXLD || in.op == GPU_OP_TEXCRD) {
        if (in.dest.file != GPU_REG_TEMP) return fail(r, columns[0], "texture instructions write r#");
        bool coordinate = s[0].file == GPU_REG_TEXTURE || (in.op == GPU_OP_TEXLD && s[0].file == GPU_REG_TEMP);
        if (!coordinate) return fail(r, columns[1], "expected texture coordinates");
        if (r.model2 && in.op == GPU_OP_TEXLD && s[1].file != GPU_REG_SAMPLER)
            return fail(r, columns.back(), "expected a sampler s#");
    }
    return true;
}

void note_place(Reader &r, const std::vector<size_t> &columns, bool has_dest)
{
    Place p = {r.line.number, r.line.column + int(r.word_column), {}};
    size_t first = has_dest ? 0 : 1;  // operands[0] is the destination's column
    for (size_t i = 0; i < columns.size() && i + first < 5; i++) p.operands[i + first] = r.line.column + int(columns[i]);
    r.places.push_back(p);
}

bool read_instruction(Reader &r, const std::string &word, const std::string &rest, size_t rest_column)
{
    std::vector<std::string> ops;
    std::vector<size_t> columns;
    if (!split_operands(r, rest, rest_column, &ops, &columns)) return false;
    GpuInstruction in = {};
    in.line = r.line.number;
    std::string low = lower(word);
    if (low.compare(0, 3, "dcl") == 0) {
        if (!read_dcl(r, word, ops, columns, &in)) return false;
        note_place(r, columns, true);
        r.program->code.push_back(in);
        return true;
    } else if (low == "def") {
        if (!read_def(r, ops, columns, &in)) return false;
        note_place(r, columns, true);
        r.program->code.push_back(in);
        return true;
    } else {
        const OpInfo *info;
        if (!read_mnemonic(r, word, &info, &in)) return false;
        int sources = info->sources + (info->op == GPU_OP_TEXLD && r.model2 ? 1 : 0);
        size_t want = size_t(sources) + (info->dest ? 1 : 0);
        if (ops.size() != want) return fail(r, r.word_column, low + " takes " + std::to_string(want) + " operands");
        in.has_dest = info->dest;
        in.source_count = uint8_t(sources);
        if (info->dest && !read_dest(r, ops[0], columns[0], &in.dest)) return false;
        for (int i = 0; i < sources; i++) {
            size_t k = size_t(i) + (info->dest ? 1 : 0);
            if (!read_source(r, ops[k], columns[k], &in.sources[i])) return false;
        }
        std::vector<size_t> all = columns;
        if (!info->dest) all.insert(all.begin(), r.word_column);
        if (!check_instruction(r, in, all)) return false;
        if (in.op == GPU_OP_PHASE) {
            if (r.phase_seen) return fail(r, r.word_column, "phase appears twice");
            r.phase_seen = true;
        }
    }
    note_place(r, columns, in.has_dest);
    r.program->code.push_back(in);
    return true;
}

bool fail_at(Reader &r, int line, int column, const std::string &message)
{
    r.error->line = line;
    r.error->column = column;
    r.error->message = message;
    return false;
}

// What Direct3D 9 refuses in pixel shader 1.4, so that a program it would not run fails here too
// rather than drawing another colour: each phase is texture instructions (texld, texcrd) then at
// most 8 arithmetic ones, at most 6 texture ones; without "phase" the whole program is the second
// phase; texld reads r# only in the second phase, from a register the first wrote; t# is read only
// by texture instructions, v# only in the second phase; no temporary is read before a write.
// Kept lenient, as the device's own validator is not known to refuse them: numbers as operands,
// any source swizzle, and reads of single components never written. The alpha of temporaries
// written before "phase" is undefined after it on the device; both back ends read 0.
bool check_ps14(Reader &r)
{
    const std::vector<GpuInstruction> &code = r.program->code;
    bool has_phase = false;
    for (const GpuInstruction &in : code) has_phase = has_phase || in.op == GPU_OP_PHASE;
    int phase = has_phase ? 1 : 2, textures = 0, arithmetic = 0;
    bool written[32] = {}, first_phase[32] = {};
    for (size_t i = 0; i < code.size(); i++) {
        const GpuInstruction &in = code[i];
        const Place &at = r.places[i];
        if (in.op == GPU_OP_PHASE) {
            phase = 2;
            textures = arithmetic = 0;
            memcpy(first_phase, written, sizeof written);
            continue;
        }
        if (in.op == GPU_OP_DEF || in.op == GPU_OP_NOP || in.op == GPU_OP_DCL) continue;
        bool texture = in.op == GPU_OP_TEXLD || in.op == GPU_OP_TEXCRD;
        if (texture && arithmetic > 0)
            return fail_at(r, at.line, at.word, "texture instruction after arithmetic in the same phase");
        if (texture && ++textures > 6) return fail_at(r, at.line, at.word, "more than 6 texture instructions in a phase");
        if (!texture && ++arithmetic > 8)
            return fail_at(r, at.line, at.word, "more than 8 arithmetic instructions in a phase");
        for (int k = 0; k < in.source_count; k++) {
            const GpuSource &src = in.sources[k];
            int column = at.operands[k + 1];
            std::string name = std::to_string(src.index);
            if (src.file == GPU_REG_TEXTURE && !texture)
                return fail_at(r, at.line, column, "t" + name + " is read only by texld and texcrd");
            if (src.file == GPU_REG_INPUT && phase == 1)
                return fail_at(r, at.line, column, "v" + name + " is read only after phase");
            if (src.file != GPU_REG_TEMP || src.index >= 32) continue;
            if (texture && phase == 1) return fail_at(r, at.line, column, "texld reads r" + name + " only after phase");
            if (texture && !first_phase[src.index])
                return fail_at(r, at.line, column, "texld reads r" + name + ", which the first phase did not write");
            if (!written[src.index]) return fail_at(r, at.line, column, "r" + name + " is read before it is written");
        }
        if (in.has_dest && in.dest.file == GPU_REG_TEMP && in.dest.index < 32) written[in.dest.index] = true;
    }
    return true;
}

// Lines the HLSL style writes: assignments, calls, flow statements, attributes and braces.
bool expression_style(const std::string &code)
{
    std::string t = trim(code);
    if (t.empty()) return false;
    if (t[0] == '[' || t[0] == '{' || t.find('=') != std::string::npos || t.find('(') != std::string::npos)
        return true;
    size_t end = 0;
    while (end < t.size() && (isalnum((unsigned char)t[end]) || t[end] == '_')) end++;
    std::string first = lower(t.substr(0, end));
    static const char *const FLOW[] = {"if", "else", "for", "while", "do", "break", "continue", "discard", "return"};
    for (const char *f : FLOW)
        if (first == f) return true;
    return false;
}

bool read_line(Reader &r, bool *have_version)
{
    std::string code = r.line.text;
    size_t slashes = code.find("//");
    if (slashes != std::string::npos) code.resize(slashes);
    size_t semicolon = code.find(';');
    if (expression_style(code.substr(0, semicolon))) {
        size_t lead = 0;
        while (lead < code.size() && isspace((unsigned char)code[lead])) lead++;
        return fail(r, lead, "expression-style statement in a shader assembler block");
    }
    if (semicolon != std::string::npos) code.resize(semicolon);
    size_t start = 0;
    while (start < code.size() && isspace((unsigned char)code[start])) start++;
    if (start == code.size()) return true;
    size_t end = start;
    while (end < code.size() && !isspace((unsigned char)code[end])) end++;
    std::string word = code.substr(start, end - start);
    r.word_column = start;
    if (!*have_version) {
        if (!read_version(r, word, start)) return false;
        *have_version = true;
        return trim(code.substr(end)).empty() || fail(r, end, "unexpected text after the version");
    }
    return read_instruction(r, word, code.substr(end), end);
}

}  // namespace

bool gpu_shader_parse(const char *text, size_t length, int line, int column, GpuShaderKind kind,
                      GpuProgram *program, GpuParseError *error)
{
    Reader r = {program, error, kind == GPU_SHADER_VERTEX, false, false, {}, 0, {}};
    program->kind = kind;
    program->code.clear();
    bool have_version = false;
    size_t at = 0;
    int first_column = column;
    while (at < length) {
        size_t end = at;
        while (end < length && text[end] != '\n') end++;
        r.line = Line{std::string(text + at, end - at), line, first_column};
        if (!read_line(r, &have_version)) return false;
        at = end + 1;
        line++;
        first_column = 1;
    }
    if (!have_version) {
        error->line = line;
        error->column = 1;
        error->message = "shader block without a version";
        return false;
    }
    if (!r.vertex && !r.model2) return check_ps14(r);
    return true;
}
