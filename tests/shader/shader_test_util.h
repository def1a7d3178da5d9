// A constructed compiler for each test, its tables freed at the end (ASan sees any leak).
#pragma once

#include "shader/shader_local.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

class CompilerTest : public ::testing::Test {
protected:
    ShaderCompiler *c = shader_compiler_construct(new ShaderCompiler);

    ~CompilerTest() override
    {
        shader_free_tables(c);
        delete c;
    }

    static char *dup(const char *text) { return strdup(text); }
};

// The texts of a line list, in order.
inline std::vector<std::string> lines_of(const TextLineList &list)
{
    std::vector<std::string> out;
    for (const TextLine *line = list.first; line; line = line->next) out.push_back(line->text);
    return out;
}
