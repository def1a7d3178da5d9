// Fuzz target of a course set's "desc.txt": any bytes read into the four description lines. Each line
// must come out terminated within its buffer and hold no line break.
#include "game/course_sets.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    char lines[kSetDescriptionLines][kSetDescriptionLength];
    memset(lines, 'x', sizeof lines);
    menu_course_set_read_description(reinterpret_cast<const char *>(data), size, lines);
    for (const char *line : lines) {
        const char *end = static_cast<const char *>(memchr(line, '\0', kSetDescriptionLength));
        if (!end || memchr(line, '\n', size_t(end - line))) abort();
    }
    return 0;
}
