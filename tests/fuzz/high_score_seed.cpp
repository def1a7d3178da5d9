// Seed inputs of the high-score fuzz target: player files as the game writes them, several in one
// input joined by "NEXT", a placeholder, a short file and a name without its end.
#include "game/files.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

namespace {

std::string player(const char *name, int16_t total, int32_t courses, int32_t marker)
{
    PlayerRecord record;
    memset(&record, 0, sizeof record);
    snprintf(record.name, sizeof record.name, "%s", name);
    record.total_over_par = total;
    record.courses_finished = courses;
    record.marker = marker;
    return std::string(reinterpret_cast<const char *>(&record), sizeof record);
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) return 2;
    std::string unended = player("", -3, 2, -1);
    memset(unended.data(), 'n', 1024);
    const std::pair<const char *, std::string> seeds[] = {
        {"one", player("Player", 7, 2, -1)},
        {"two", player("Ann", -7, 2, -1) + "NEXT" + player("Nobody", 0, 0, 666)},
        {"equal", player("a", 4, 2, -1) + "NEXT" + player("b", 2, 1, -1) + "NEXT" + player("c", 0, 0, -1)},
        {"short", player("Cut", 1, 1, -1).substr(0, 1000) + "NEXT" + player("Whole", 1, 1, -1)},
        {"unended", unended + "NEXT" + player("Odd", 5, -2, -1)},
    };
    bool ok = true;
    for (const auto &[name, bytes] : seeds) {
        FILE *file = fopen((std::string(argv[1]) + "/" + name).c_str(), "wb");
        ok = ok && file && fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        if (file) ok = fclose(file) == 0 && ok;
    }
    return ok ? 0 : 1;
}
