// Seed inputs of the desc.txt fuzz target: descriptions as set makers write them, and damaged ones.
#include <cstdio>
#include <string>
#include <utility>

int main(int argc, char **argv)
{
    if (argc != 2) return 2;
    const std::pair<const char *, std::string> seeds[] = {
        {"two.txt", "\"Three gentle holes\"\r\n\"For a first round\"\r\n"},
        {"four.txt", "\"1\"\n\"2\"\n\"3\"\n\"4\"\n\"5\"\n"},
        {"half.txt", "\"one quote\r\nno quote\r\nx \"y\" \"z\r\n"},
        {"long.txt", "\"" + std::string(700, 'a') + "\"\n" + std::string(600, '"')},
    };
    bool ok = true;
    for (const auto &[name, bytes] : seeds) {
        FILE *file = fopen((std::string(argv[1]) + "/" + name).c_str(), "wb");
        ok = ok && file && fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        if (file) ok = fclose(file) == 0 && ok;
    }
    return ok ? 0 : 1;
}
