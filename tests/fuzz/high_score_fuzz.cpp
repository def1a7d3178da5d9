// Fuzz target of the high-score table: the input cut at each "NEXT" into up to 16 player files of
// the players folder, listed as the main menu lists them and read into the table. The folders live
// under TMPDIR, removed when the run ends.
#include "game/dialog.h"
#include "game/files.h"
#include "game/high_scores.h"
#include "platform/system.h"
#include "tests/test_util.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

TempDir g_folder;
const size_t MAX_FILES = 16;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    if (g_folder.path.empty()) abort();
    std::filesystem::create_directories(g_folder / "run");
    sys_path_reset((g_folder / "run").c_str(), (g_folder / "user").c_str());
    app_load_folder_settings();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string players = g_folder / "user/ZAV Games/Players";
    std::error_code ignored;
    std::filesystem::remove_all(players, ignored);
    std::filesystem::create_directories(players, ignored);

    std::string input(reinterpret_cast<const char *>(data), size);
    size_t files = 0;
    for (size_t at = 0; files < MAX_FILES && at <= input.size(); files++) {
        size_t end = input.find("NEXT", at);
        if (end == std::string::npos) end = input.size();
        char name[32];
        snprintf(name, sizeof name, "/p%02zu.dat", files);
        test_write_file(players + name, input.substr(at, end - at));
        at = end + 4;
    }

    ui_players_dialog_init();
    high_scores_build();
    if (!g_high_scores_ready || g_high_score_count < 0 || g_high_score_count > HIGH_SCORE_ROWS_SHOWN ||
        size_t(g_high_score_count) > files)
        abort();
    for (int32_t i = 0; i < g_high_score_count; i++) {
        const HighScoreRow &row = g_high_score_rows[i];
        if (strnlen(row.name, sizeof row.name) >= sizeof row.name) abort();
        if (row.courses_finished <= 0 && row.score != 0) abort();
        if (i > 0 && g_high_score_rows[i - 1].score > row.score) abort();
    }
    return 0;
}
