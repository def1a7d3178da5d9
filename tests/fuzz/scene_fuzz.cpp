// Fuzz target of the scene reader. First byte even: the rest is a scene file. Odd: the rest is a
// list of sections, each a selector byte (its tag: SETS, TEXS, OBJS, VEGS, LMAP, or an unknown
// one), a little-endian u16 size and the payload after its version word; the target packs and
// checksums them as the writer does, so mutations reach every section parser. Bit 1 of the first
// byte picks the editor's flags (0x4C) or the hole opener's (0x5C).
#include "scene/scene.h"
#include "tests/scene/scene_test_util.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string sections_file(const uint8_t *data, size_t size)
{
    static const char *const tags[] = {"SETS", "TEXS", "OBJS", "VEGS", "LMAP", "ZZZZ"};
    std::vector<SceneTestSection> sections;
    size_t at = 0;
    while (at + 3 <= size) {
        const char *tag = tags[data[at] % 6];
        size_t length = size_t(data[at + 1] | data[at + 2] << 8);
        at += 3;
        if (length > size - at) length = size - at;
        sections.push_back(
            {tag, std::string("\x01\x00", 2) + std::string(reinterpret_cast<const char *>(data + at), length)});
        at += length;
    }
    return scene_test_pack(sections);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The headless device, so that the loader's texture and effect paths run; a run without one
    // would fuzz less than it seems to, so it stops.
    static SceneTestDevice *device = (setenv("ZAVGOLF_HEADLESS", "1", 1), new SceneTestDevice);
    if (!device->made) abort();
    static SceneWorld *world = new SceneWorld;
    if (size < 1) return 0;
    uint32_t flags = (data[0] & 2) ? 0x4C : 0x5C;
    if (data[0] % 2 == 0) {
        // A copy of exactly the file's size, so that a read past it is reported.
        std::vector<uint8_t> file(data + 1, data + size);
        scene_load_memory(world, file.data(), file.size(), flags);
    } else {
        std::string file = sections_file(data + 1, size - 1);
        scene_load_memory(world, file.data(), file.size(), flags);
    }
    world_release_and_reset(world);
    world_release_effects(world);
    return 0;
}
