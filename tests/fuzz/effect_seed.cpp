// Seed inputs of the effect-text fuzz target: the effect texts the shader compiler writes for the
// shader tests' representative scripts (those it compiles).
#include "shader/shader_local.h"
#include "tests/shader/regression_scripts.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char **argv)
{
    if (argc != 2) return 2;
    bool ok = true;
    ShaderCompiler *c = shader_compiler_construct(new ShaderCompiler);
    for (const RegressionScript &s : kRegressionScripts) {
        shader_compiler_reset(c);
        // Multitexture, dot3 and pixel shader 1.4; 2.0 where the script asks for it.
        uint32_t options = 0x800 | 0x1000 | 0x2000 | (s.ps20 ? 0x40000 : 0) | 0x10002;
        if (!shader_compile_script(c, s.script, options)) continue;
        char *text = shader_build_effect_text(c);
        FILE *file = fopen((std::string(argv[1]) + "/" + s.name).c_str(), "wb");
        ok = ok && file && fwrite(text, 1, strlen(text), file) == strlen(text);
        if (file) ok = fclose(file) == 0 && ok;
        free(text);
    }
    shader_free_tables(c);
    shader_release_compiler(c);
    delete c;
    return ok ? 0 : 1;
}
