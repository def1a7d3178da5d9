// The assembler interpreter of the built-in value checks, and tests of the interpreter itself.
#include "tests/shader/asm_interpreter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

std::string trim(const std::string &s)
{
    size_t a = s.find_first_not_of(" \t\r"), b = s.find_last_not_of(" \t\r");
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

int component(char letter)
{
    const char *at = strchr("xyzw", letter);
    if (at && letter) return (int)(at - "xyzw");
    at = strchr("rgba", letter);
    return at && letter ? (int)(at - "rgba") : -1;
}

struct Operand {
    AsmVector *reg = nullptr;
    AsmVector value = {};  // a number written as the operand
    bool immediate = false;
    int swizzle[4] = {0, 1, 2, 3};
    int mask = 0xF;
    bool negate = false, complement = false, bias = false, bx2 = false, x2 = false;
};

struct Runner {
    AsmMachine *m;
    std::string *error;

    bool fail(const std::string &message)
    {
        *error = message;
        return false;
    }

    // A register by name, with its relative index; c[n+a0.x] reads a0.x as set by mov or mova.
    bool reg(const std::string &name, AsmVector **out)
    {
        if (name.rfind("c[", 0) == 0) {
            size_t close = name.find(']');
            std::string inside = name.substr(2, close - 2);
            int index = atoi(inside.c_str());
            if (inside.find("a0.x") != std::string::npos) index += (int)m->a0[0];
            if (index < 0 || index > 255) return fail("relative address out of range: " + name);
            *out = &m->c[index];
            return true;
        }
        struct File {
            const char *prefix;
            AsmVector *base;
            int count;
        } files[] = {{"oPos", &m->o_pos, 1}, {"oDepth", &m->o_depth, 1}, {"oD", m->o_d, 2}, {"oT", m->o_t, 8},
                     {"oC", &m->o_c, 1},     {"a", &m->a0, 1},          {"r", m->r, 32},   {"v", m->v, 16},
                     {"c", m->c, 256},       {"t", m->t, 8}};
        for (const File &f : files) {
            size_t n = strlen(f.prefix);
            if (name.compare(0, n, f.prefix) != 0) continue;
            std::string number = name.substr(n);
            if (f.count == 1 && (number.empty() || number == "0")) {
                *out = f.base;
                return true;
            }
            if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) continue;
            int index = atoi(number.c_str());
            if (index >= f.count) return fail("register out of range: " + name);
            *out = f.base + index;
            return true;
        }
        return fail("unknown register '" + name + "'");
    }

    bool operand(std::string text, bool dest, Operand *o)
    {
        text = trim(text);
        if (!dest && text.rfind("1 -", 0) == 0) {
            o->complement = true;
            text = trim(text.substr(3));
        } else if (!dest && text.rfind("1-", 0) == 0) {
            o->complement = true;
            text = trim(text.substr(2));
        } else if (!dest && text[0] == '-') {
            o->negate = true;
            text = trim(text.substr(1));
        }
        if (isdigit((unsigned char)text[0]) || text[0] == '.') {
            float value = strtof(text.c_str(), nullptr);
            o->immediate = true;
            o->value = {value, value, value, value};
            return true;
        }
        size_t end = text.rfind(']');
        end = end == std::string::npos ? text.find_first_of("._") : text.find_first_of("._", end);
        std::string name = text.substr(0, end), rest = end == std::string::npos ? "" : text.substr(end);
        if (!reg(name, &o->reg)) return false;
        // Output registers are write-only, as the device's assembler has them.
        if (!dest && name[0] == 'o') return fail("output register read: '" + text + "'");
        for (const char *modifier : {"_bx2", "_bias", "_x2"}) {
            size_t at = rest.find(modifier);
            if (at == std::string::npos) continue;
            (modifier[1] == 'b' && modifier[2] == 'x' ? o->bx2 : modifier[1] == 'b' ? o->bias : o->x2) = true;
            rest.erase(at, strlen(modifier));
        }
        if (rest.empty()) return true;
        if (rest[0] != '.' || rest.size() < 2 || rest.size() > 5) return fail("bad swizzle in '" + text + "'");
        if (dest) o->mask = 0;
        for (size_t i = 1; i < rest.size(); i++) {
            int k = component(rest[i]);
            if (k < 0) return fail("bad swizzle in '" + text + "'");
            if (dest) o->mask |= 1 << k;
        }
        for (int i = 0; i < 4 && !dest; i++)
            o->swizzle[i] = component(rest[std::min<size_t>((size_t)i + 1, rest.size() - 1)]);
        return true;
    }

    AsmVector read(const Operand &o)
    {
        AsmVector source = o.immediate ? o.value : *o.reg, out;
        for (int i = 0; i < 4; i++) {
            float x = source[(size_t)o.swizzle[i]];
            if (o.bias) x -= 0.5f;
            if (o.bx2) x = 2.0f * x - 1.0f;
            if (o.x2) x *= 2.0f;
            if (o.complement) x = 1.0f - x;
            if (o.negate) x = -x;
            out[(size_t)i] = x;
        }
        return out;
    }

    void write(const Operand &d, AsmVector value, bool saturate, float scale)
    {
        for (int i = 0; i < 4; i++) {
            if (!(d.mask & (1 << i))) continue;
            float x = value[(size_t)i] * scale;
            if (saturate) x = std::min(1.0f, std::max(0.0f, x));
            (*d.reg)[(size_t)i] = x;
        }
    }

    static float dot(const AsmVector &a, const AsmVector &b, int n)
    {
        float s = 0;
        for (int i = 0; i < n; i++) s += a[(size_t)i] * b[(size_t)i];
        return s;
    }

    static AsmVector splat(float x) { return {x, x, x, x}; }

    bool matrix(const Operand &v, const std::string &matrix_text, int rows, int columns, AsmVector *out)
    {
        AsmVector *first;
        if (!reg(matrix_text, &first)) return false;
        if (first < m->c || first + rows > m->c + 256) return fail("matrix out of range");
        AsmVector x = read(v);
        *out = {};
        for (int i = 0; i < rows; i++) (*out)[(size_t)i] = dot(x, first[i], columns);
        return true;
    }

    bool step(const std::string &op, const std::vector<std::string> &args, AsmVector *value, Operand *d)
    {
        if (args.empty()) return fail("no operands for " + op);
        if (!operand(args[0], true, d)) return false;
        Operand s[3];
        for (size_t i = 1; i < args.size() && i < 4; i++) {
            if ((op == "m4x4" || op == "m3x3") && i == 2) continue;
            if (!operand(args[i], false, &s[i - 1])) return false;
        }
        AsmVector in[3] = {};
        for (int i = 0; i < 3; i++) {
            if (s[i].reg || s[i].immediate) in[i] = read(s[i]);
        }
        const AsmVector &a = in[0], &b = in[1], &e = in[2];
        AsmVector r = {};
        if (op == "mov" || op == "mova" || op == "texcrd") {
            r = a;
            if (d->reg == &m->a0) r = splat(op == "mova" ? std::round(a[0]) : std::floor(a[0]));
        } else if (op == "add") {
            for (int i = 0; i < 4; i++) r[(size_t)i] = a[(size_t)i] + b[(size_t)i];
        } else if (op == "sub") {
            for (int i = 0; i < 4; i++) r[(size_t)i] = a[(size_t)i] - b[(size_t)i];
        } else if (op == "mul") {
            for (int i = 0; i < 4; i++) r[(size_t)i] = a[(size_t)i] * b[(size_t)i];
        } else if (op == "mad") {
            for (int i = 0; i < 4; i++) r[(size_t)i] = a[(size_t)i] * b[(size_t)i] + e[(size_t)i];
        } else if (op == "lrp") {
            for (int i = 0; i < 4; i++) r[(size_t)i] = a[(size_t)i] * (b[(size_t)i] - e[(size_t)i]) + e[(size_t)i];
        } else if (op == "cmp") {
            for (int i = 0; i < 4; i++) r[(size_t)i] = a[(size_t)i] >= 0 ? b[(size_t)i] : e[(size_t)i];
        } else if (op == "dp3") {
            r = splat(dot(a, b, 3));
        } else if (op == "dp4") {
            r = splat(dot(a, b, 4));
        } else if (op == "min" || op == "max") {
            for (size_t i = 0; i < 4; i++) r[i] = op == "min" ? std::min(a[i], b[i]) : std::max(a[i], b[i]);
        } else if (op == "sge" || op == "slt") {
            for (int i = 0; i < 4; i++)
                r[(size_t)i] = (op == "sge" ? a[(size_t)i] >= b[(size_t)i] : a[(size_t)i] < b[(size_t)i]) ? 1.0f : 0.0f;
        } else if (op == "rcp") {
            r = splat(1.0f / a[3]);
        } else if (op == "rsq") {
            r = splat(1.0f / std::sqrt(std::fabs(a[3])));
        } else if (op == "exp") {
            r = splat(std::exp2(a[3]));
        } else if (op == "log") {
            r = splat(std::log2(std::fabs(a[3])));
        } else if (op == "expp") {
            float f = std::floor(a[3]);
            r = {std::exp2(f), a[3] - f, std::exp2(a[3]), 1.0f};
        } else if (op == "frc") {
            for (int i = 0; i < 4; i++) r[(size_t)i] = a[(size_t)i] - std::floor(a[(size_t)i]);
        } else if (op == "lit") {
            float power = std::max(-128.0f, std::min(128.0f, a[3]));
            r = {1.0f, std::max(a[0], 0.0f), a[0] > 0 && a[1] > 0 ? std::pow(a[1], power) : 0.0f, 1.0f};
        } else if (op == "sincos") {
            r = {std::cos(a[3]), std::sin(a[3]), 0.0f, 0.0f};
        } else if (op == "m4x4" || op == "m3x3") {
            int n = op == "m4x4" ? 4 : 3;
            if (args.size() != 3) return fail(op + " takes three operands");
            if (!matrix(s[0], trim(args[2]), n, n, &r)) return false;
        } else {
            return fail("cannot run '" + op + "'");
        }
        *value = r;
        return true;
    }

    bool run(const std::vector<std::string> &lines)
    {
        std::map<std::string, size_t> labels;
        for (size_t i = 0; i < lines.size(); i++) {
            std::string line = trim(lines[i]);
            if (line.rfind("label ", 0) == 0) labels[trim(line.substr(6))] = i;
        }
        std::vector<size_t> returns;
        for (size_t pc = 0; pc < lines.size(); pc++) {
            std::string line = trim(lines[pc]);
            if (line.empty() || line.rfind("vs.", 0) == 0 || line.rfind("ps.", 0) == 0 || line.rfind("dcl", 0) == 0 ||
                line == "phase" || line.rfind("label ", 0) == 0)
                continue;
            if (line == "ret") {
                if (returns.empty()) return true;
                pc = returns.back();
                returns.pop_back();
                continue;
            }
            size_t blank = line.find(' ');
            std::string word = line.substr(0, blank), rest = blank == std::string::npos ? "" : line.substr(blank + 1);
            if (word == "call") {
                auto at = labels.find(trim(rest));
                if (at == labels.end() || returns.size() > 16) return fail("bad call: " + line);
                returns.push_back(pc);
                pc = at->second;
                continue;
            }
            std::vector<std::string> args;
            for (size_t at = 0;;) {
                size_t comma = rest.find(',', at);
                args.push_back(trim(rest.substr(at, comma == std::string::npos ? std::string::npos : comma - at)));
                if (comma == std::string::npos) break;
                at = comma + 1;
            }
            if (word == "def") {
                AsmVector *c;
                if (args.size() != 5 || !reg(args[0], &c)) return fail("bad def: " + line);
                for (int i = 0; i < 4; i++) (*c)[(size_t)i] = strtof(args[(size_t)i + 1].c_str(), nullptr);
                continue;
            }
            std::string op = word.substr(0, word.find('_'));
            bool saturate = word.find("_sat") != std::string::npos;
            float scale = word.find("_x2") != std::string::npos ? 2.0f : word.find("_x4") != std::string::npos ? 4.0f
                          : word.find("_d2") != std::string::npos                                             ? 0.5f
                                                                                                              : 1.0f;
            AsmVector value;
            Operand d;
            if (!step(op, args, &value, &d)) return fail(error->empty() ? line : *error + " in: " + line);
            write(d, value, saturate, scale);
        }
        return true;
    }
};

} // namespace

bool asm_run(AsmMachine *m, const std::vector<std::string> &lines, std::string *error)
{
    error->clear();
    Runner runner{m, error};
    return runner.run(lines);
}

bool asm_program_of(const std::string &effect, bool pixel, const std::map<std::string, std::vector<float>> &parameters,
                    AsmMachine *m, std::vector<std::string> *lines, std::string *error)
{
    lines->clear();
    size_t pass = effect.find("PASS P0");
    size_t end = effect.find("PASS P1");
    if (pass == std::string::npos) pass = 0;
    std::string text = effect.substr(pass, end == std::string::npos ? std::string::npos : end - pass);
    size_t at = 0;
    while ((at = text.find("VertexShaderConstant", at)) != std::string::npos) {
        size_t line_end = text.find('\n', at);
        std::string line = text.substr(at, line_end - at);
        at = line_end;
        int count = atoi(line.c_str() + 20);
        int reg = atoi(line.c_str() + line.find('[') + 1);
        size_t open = line.find('{'), angle = line.find('<');
        if (open != std::string::npos) {
            const char *p = line.c_str() + open + 1;
            for (int i = 0; i < 4 * count; i++) {
                char *next;
                m->c[reg + i / 4][(size_t)(i % 4)] = strtof(p, &next);
                p = strchr(next, ',');
                if (!p) break;
                p++;
            }
        } else if (angle != std::string::npos) {
            std::string name = line.substr(angle + 1, line.find('>') - angle - 1);
            auto value = parameters.find(name);
            if (value == parameters.end()) continue;
            const std::vector<float> &v = value->second;
            for (int row = 0; row < count && count == 4; row++) {
                for (int col = 0; col < 4; col++) m->c[reg + row][(size_t)col] = v[(size_t)(col * 4 + row)];
            }
            for (int i = 0; i < 4 && count == 1; i++) m->c[reg][(size_t)i] = i < (int)v.size() ? v[(size_t)i] : 0.0f;
        }
    }
    size_t start = text.find(pixel ? "PixelShader" : "VertexShader");
    if (start == std::string::npos) {
        *error = "no program";
        return false;
    }
    start = text.find(pixel ? "ps." : "vs.", start);
    size_t stop = text.find("};", start);
    for (size_t p = start; p < stop;) {
        size_t e = text.find('\n', p);
        lines->push_back(text.substr(p, std::min(e, stop) - p));
        p = e + 1;
    }
    return true;
}

namespace {

TEST(AsmInterpreter, InstructionsModifiersAndMasks)
{
    AsmMachine m;
    m.c[0] = {1, 2, 3, 4};
    m.c[1] = {0.25f, 0.5f, 0.75f, 1};
    m.c[5] = {9, 9, 9, 9};
    std::string error;
    ASSERT_TRUE(asm_run(&m,
                        {"vs.1.1", "mov r0.xy,c0.wzyx", "add r1,c0,-c1", "mad r2,c0,c1.x,c1", "dp3 r3,c0,c0",
                         "mov a0.x,c0.w", "mov r4,c[1+a0.x]", "rcp r5,c0", "frc r6,c1_x2", "sge r7,c0,c0.z",
                         "mul_x2 r8,1 - c1,c0", "expp r9.y,c0.w"},
                        &error))
        << error;
    EXPECT_EQ(m.r[0], (AsmVector{4, 3, 0, 0}));
    EXPECT_EQ(m.r[1], (AsmVector{0.75f, 1.5f, 2.25f, 3}));
    EXPECT_EQ(m.r[2], (AsmVector{0.5f, 1, 1.5f, 2}));
    EXPECT_EQ(m.r[3][0], 14.0f);
    EXPECT_EQ(m.r[4][0], 9.0f);
    EXPECT_EQ(m.r[5][2], 0.25f);
    EXPECT_EQ(m.r[6], (AsmVector{0.5f, 0, 0.5f, 0}));
    EXPECT_EQ(m.r[7], (AsmVector{0, 0, 1, 1}));
    EXPECT_EQ(m.r[8], (AsmVector{1.5f, 2, 1.5f, 0}));
    EXPECT_EQ(m.r[9][1], 0.0f);
}

TEST(AsmInterpreter, MatricesSubroutinesAndRefusals)
{
    AsmMachine m;
    m.v[0] = {1, 2, 3, 1};
    for (int i = 0; i < 4; i++) m.c[4 + i][(size_t)i] = 2;  // 2 x identity
    std::string error;
    ASSERT_TRUE(asm_run(&m, {"m4x4 r0,v0,c4", "m3x3 r1.xyz,v0,c4", "call l0", "mov oPos,r11", "ret", "label l0",
                             "add r11,r0,r1", "ret"},
                        &error))
        << error;
    EXPECT_EQ(m.o_pos, (AsmVector{4, 8, 12, 2}));
    EXPECT_FALSE(asm_run(&m, {"texld r0,t0"}, &error));
    EXPECT_FALSE(asm_run(&m, {"if (r0.x>=r1.x) break"}, &error));
    EXPECT_FALSE(asm_run(&m, {"mov r-1,c0"}, &error));
}

} // namespace
