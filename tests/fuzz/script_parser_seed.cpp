// Seed inputs of the script parser's fuzz target: blocks with globals, structures, every statement
// kind, declarations with initialisers, and a few of the faults the parser reports.
#include <cstdio>
#include <string>

namespace {

const char *const SEEDS[][2] = {
    {"globals", "{\nint counter;\nfloat speed;\nchar *title;\nint table[4];\nfloat curve[2];\nvector where;\n"
                "matrix view;\nstruct Pair { int a; float b[3]; };\nstruct Pair many[3];\n}\n"},
    {"structure", "{\nstruct Ball\n{\n    float x;\n    float y[3];   # three\n    int n;\n}\nstruct Ball b;\n}\n"},
    {"conditions", "{\nvoid f(int a, float b, vector v)\n{\n    if (a > 1) {\n        a += 2;\n"
                   "    } else if (a == 0) b = 1; else {\n        a--;\n    }\n    if (a)\n        if (b) c = 1;\n"
                   "        else c = 2;\n    done();\n}\n}\n"},
    {"loops", "{\nint f(int a)\n{\n    int i = 0;\n    float w[2] = {1.5,\n        2};\n    hash h;\n"
              "    for (i = 0; i < 10; i++)\n        total += i;\n    while (a != 0) { a -= 1; }\n"
              "    switch (a) {\n    case 1: b = \"x=y\"; break;\n    case 2:\n        break;\n    }\n"
              "    return a * 2;\n}\nvoid LOOP() { step(); }\nvoid OPEN()\n{\n}\nint CLOSE(char * s) { }\n}\n"},
    {"faults", "{\nvoid f(void)\n{\n}\nvoid g()\n{\n  else x;\n  switch x {\n  case 1 y;\n  }\n"
               "  struct S { int a; };\n  int t[2] = {1};\n"},
};

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) return 2;
    for (const auto &seed : SEEDS) {
        // The lines end in CR LF, as the game's text files do.
        std::string text;
        for (const char *c = seed[1]; *c; c++) text += *c == '\n' ? std::string("\r\n") : std::string(1, *c);
        std::string path = std::string(argv[1]) + "/" + seed[0];
        FILE *file = fopen(path.c_str(), "wb");
        if (!file) return 1;
        bool written = fwrite(text.data(), 1, text.size(), file) == text.size();
        if (fclose(file) != 0 || !written) return 1;
    }
    return 0;
}
