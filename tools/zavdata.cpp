// Writes the game's default data folder: zavdata <data folder>.
#include "tools/data_pictures.h"
#include "tools/data_writer.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: zavdata <data folder>\n");
        return 2;
    }
    std::string data_dir = argv[1];
    struct Writer {
        const char *what;
        bool (*write)(const std::string &);
    };
    // In order: the pictures with text need the fonts.
    // clang-format off
    const Writer writers[] = {
        {"configuration", data_write_script},
        {"fonts", data_write_fonts},
        {"help page", data_write_help},
        {"interface pictures", data_write_pictures},
        {"pages", data_write_pages},
        {"theme textures", data_write_theme_textures},
        {"skies", data_write_skies},
        {"sound effects", data_write_sounds},
        {"music", data_write_music},
    };
    // clang-format on
    int failed = 0;
    for (const Writer &writer : writers) {
        if (writer.write(data_dir)) continue;
        fprintf(stderr, "zavdata: cannot write the %s into %s\n", writer.what, data_dir.c_str());
        failed = 1;
    }
    return failed;
}
