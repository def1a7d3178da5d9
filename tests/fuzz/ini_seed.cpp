// Seed inputs of the INI fuzz target: settings files as the game and other programs write them.
#include <cstdio>
#include <string>
#include <utility>

int main(int argc, char **argv)
{
    if (argc != 2) return 2;
    const std::pair<const char *, std::string> seeds[] = {
        {"repertoire.ini", "[Path]\r\nGamePath=c:\\ZAV Games\\\r\nSubDir1=data\r\n[Html]\r\nFileName=.\\html\\index.html\r\n"},
        {"spaced.ini", "; settings\r\n[ Path ]\r\n  GamePath =  \"Quoted Caps\"  \r\nEmpty=\r\nnovalue\r\n"},
        {"repeated.ini", "[Other]\nGamePath=wrong\n[path]\ngamepath='single'\nGamePath=second\n[Path]\nGamePath=third"},
        {"unclosed.ini", "[Path\nGamePath=\"half\n[]\n=empty key\n"},
    };
    bool ok = true;
    for (const auto &[name, bytes] : seeds) {
        FILE *file = fopen((std::string(argv[1]) + "/" + name).c_str(), "wb");
        ok = ok && file && fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        if (file) ok = fclose(file) == 0 && ok;
    }
    return ok ? 0 : 1;
}
