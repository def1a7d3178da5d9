// Seed inputs of the shader-script fuzz target: the shader tests' representative scripts, each after
// the capability byte of the device it is meant for.
#include "tests/shader/regression_scripts.h"

#include <cstdio>
#include <string>

int main(int argc, char **argv)
{
    if (argc != 2) return 2;
    bool ok = true;
    for (const RegressionScript &s : kRegressionScripts) {
        // Multitexture, dot3 and pixel shader 1.4; 2.0 where the script asks for it.
        std::string bytes = std::string(1, char(s.ps20 ? 0x0F : 0x07)) + s.script;
        FILE *file = fopen((std::string(argv[1]) + "/" + s.name).c_str(), "wb");
        ok = ok && file && fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        if (file) ok = fclose(file) == 0 && ok;
    }
    return ok ? 0 : 1;
}
