// A small interpreter of the shader assembler the compiler writes (vs.1.1 and vs.2.x instructions,
// the ps.1.4 and ps.2.x subset it uses, without texture sampling), so that built-in functions can
// be checked by value. Registers hold floats; the semantics are those of Direct3D 9.
#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

typedef std::array<float, 4> AsmVector;

struct AsmMachine {
    AsmVector c[256] = {};  // constants
    AsmVector v[16] = {};   // vertex inputs, or the colours of a pixel shader
    AsmVector t[8] = {};    // texture coordinates of a pixel shader
    AsmVector r[32] = {};   // temporaries
    AsmVector a0 = {};      // address register
    AsmVector o_pos = {}, o_d[2] = {}, o_t[8] = {}, o_c = {}, o_depth = {};
};

// Runs a program: one instruction per line; the version, dcl and def lines are allowed, and def
// sets its constant. Subroutines (call, label, ret) run too. False with a message for a line it
// cannot run.
bool asm_run(AsmMachine *m, const std::vector<std::string> &lines, std::string *error);

// The lines of the vertex (or pixel) program of the first pass of an effect text, and the
// constants its VertexShaderConstant lines set: values written in the text, and parameters from
// `parameters` (a matrix is bound transposed, its columns in the rows of the registers, as the
// effect runtime uploads it, so that m4x4 computes the row vector times it).
bool asm_program_of(const std::string &effect, bool pixel, const std::map<std::string, std::vector<float>> &parameters,
                    AsmMachine *m, std::vector<std::string> *lines, std::string *error);
