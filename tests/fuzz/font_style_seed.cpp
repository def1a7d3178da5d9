// Seed inputs of the font style fuzz target: the two shipped style files and small variants of
// each key.
#include "tests/test_util.h"
#include "tools/data_writer.h"

#include <string>

int main(int argc, char **argv)
{
    if (argc < 2) return 1;
    TempDir data;
    if (!data_write_fonts(data.path)) return 1;
    std::string folder = argv[1];
    test_write_file(folder + "/primary.txt", test_read_file(data / "gfx/script_font.txt"));
    test_write_file(folder + "/secondary.txt", test_read_file(data / "gfx/script_font2.txt"));
    const char *bodies[] = {
        "SIZE = 6\r\nCOLOR = (10,20,30,0)\r\nDOWN = (200,100,0,0)\r\n",
        "SIZE = 8\r\nSHADOW_X = 2\r\nSHADOW_Y = 0\r\nFORCE = 60\r\nBOLD = 5\r\n",
        "SIZE = 7\r\nBITMAP = \"nothing.png\"\r\nNAME = \"DejaVuSans.ttf\"\r\n",
    };
    int n = 0;
    for (const char *body : bodies)
        test_write_file(folder + "/variant" + std::to_string(n++) + ".txt",
                        std::string("DATA\r\n{\r\nBODY\r\n{\r\n") + body +
                            "}\r\nOUTLINE\r\n{\r\nUP = (1,2,3,4)\r\nSIZE = 1\r\n}\r\n}\r\n");
    return 0;
}
