// The text reader and the configuration reader on any file: plain or packed text, read line by
// line, word by word and against the game's main key table.
#include "script/config_main.h"
#include "script/text_reader.h"
#include "tests/test_util.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// The input goes to a file in a folder under TMPDIR, removed when the run ends.
TempDir g_folder;

void free_texts(char **texts, int count)
{
    for (int i = 0; i < count; i++) {
        free(texts[i]);
        texts[i] = nullptr;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string path = g_folder / "input.txt";
    FILE *file = fopen(path.c_str(), "wb");
    if (!file) return 0;
    fwrite(data, 1, size, file);
    fclose(file);

    TextReader reader{};
    text_reader_open(&reader, path.c_str());
    char line[512];
    for (int i = 0; i < 64 && !text_reader_at_end(&reader); i++) text_reader_gets(&reader, line, sizeof line);
    for (int i = 0; i < 64 && !text_reader_at_end(&reader); i++) config_read_line(&reader, line, sizeof line);
    text_reader_close(&reader);

    config_read_file(g_main_config_table, path.c_str());
    free_texts(g_presentation_pages, 4);
    for (char **texts : {g_theme_names, g_theme_scene_files, g_theme_sky_left, g_theme_sky_front, g_theme_sky_right,
                         g_theme_sky_back})
        free_texts(texts, THEME_MAX);
    free_texts(g_menu_texts, MENU_TEXT_COUNT);
    return 0;
}
