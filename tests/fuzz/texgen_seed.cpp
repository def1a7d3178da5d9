// Seed inputs of the texture-script fuzz target: UTF-16LE scripts with fonts, file and cloud
// bitmaps, and every kind of composition step.
#include <cstdio>
#include <string>

namespace {

int write_script(const char *folder, const char *name, const std::string &text)
{
    std::string bytes = "\xFF\xFE";
    for (unsigned char c : text) {
        bytes.push_back((char)c);
        bytes.push_back('\0');
    }
    std::string path = std::string(folder) + "/" + name;
    FILE *file = fopen(path.c_str(), "wb");
    if (!file) return 0;
    int ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && ok;
}

const char *FONTS = "FONTES {\r\n"
                    "TITRE\r\n{\r\nFICHIER=\"DejaVuSans.ttf\"\r\nSIZE=40\r\nOMBRAGE=(2,3)\r\nOUTLINE=2\r\n"
                    "DEGRADE=(255,200,0)/(120,40,0)\r\n}\r\n"
                    "GRAS\r\n{\r\nFICHIER=\"DejaVuSans.ttf\"\r\nSIZE=24\r\nGRAS\r\nSINUS\r\n"
                    "DEGRADE=(0,0,255)/(0,255,0)\r\n}\r\n"
                    "}\r\n";

const char *BITMAPS = "BITMAPS {\r\n"
                      "FOND\r\n{\r\nFICHIER=\"fond.bmp\"\r\nOMBRAGE=(4,5)\r\nOUTLINE=1\r\n}\r\n"
                      "PIC\r\n{\r\nFICHIER=\"pic.png\"\r\n}\r\n"
                      "NUAGE\r\n{\r\nCLOUDS=(200,220,255,32,16)\r\n}\r\n"
                      "}\r\n";

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) return 2;
    const char *folder = argv[1];
    std::string fonts = FONTS, bitmaps = BITMAPS;
    std::string every = fonts + bitmaps +
                        "COMPOSITION {\r\n"
                        "MOSAIC=NUAGE (10,20)\r\n"
                        "ETIRER=FOND (0,0)\r\n"
                        "CARREDEGRADE=COULEUR(255,128,0) (100,110) (600,400)\r\n"
                        "BITMAP=FOND (300,200)\r\n"
                        "FBITMAP=PIC (800,600)\r\n"
                        "TEXTE=TITRE (100,100) \"Golf de $x$\"\r\n"
                        "CTEXTE=GRAS (640,700) \"Au centre\"\r\n"
                        "ONDE=(8,3)\r\n"
                        "ONDEOMBREE=(6,4) (1,-2)\r\n"
                        "EMBOSS=(640,512,300) (1,1,1)\r\n"
                        "}\r\n";
    int ok =
        write_script(folder, "every-step", every) &&
        write_script(folder, "text-only", fonts + "COMPOSITION { TEXTE=TITRE (-20,990) \"bord\" }") &&
        write_script(folder, "bitmaps-only", bitmaps + "COMPOSITION { MOSAIC=FOND (-5,-7) BITMAP=PIC (1270,1020) }") &&
        write_script(folder, "end", "END COMPOSITION { ONDE=(1,2) }");
    return ok ? 0 : 1;
}
