// Seed inputs of the scene fuzz target: an unlit editor hole and a theme scene, each as a whole
// file and as the target's list of section payloads.
#include "scene/scene.h"
#include "tests/scene/scene_test_util.h"

#include <cstdio>
#include <memory>
#include <string>

namespace {

int write_bytes(const std::string &folder, const char *name, const std::string &bytes)
{
    std::string path = folder + "/" + name;
    FILE *file = bytes.empty() ? nullptr : fopen(path.c_str(), "wb");
    if (!file) return 0;
    int ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && ok;
}

// The bytes of a file, removed afterwards.
std::string saved_file(const std::string &path)
{
    std::string bytes;
    FILE *file = fopen(path.c_str(), "rb");
    char chunk[4096];
    size_t n;
    while (file && (n = fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, n);
    if (file) fclose(file);
    remove(path.c_str());
    return bytes;
}

std::string saved(const SceneWorld *world, const std::string &folder, uint32_t flags)
{
    std::string path = folder + "/saved.tmp";
    return scene_save(world, path.c_str(), 0, 0, 0, flags) ? saved_file(path) : std::string();
}

// The target's odd form: selector, u16 size, payload without its version word.
std::string as_sections(const std::string &file)
{
    static const char *const tags[] = {"SETS", "TEXS", "OBJS", "VEGS", "LMAP"};
    std::string out(1, '\x01');
    for (const SceneTestSection &section : scene_test_unpack(file)) {
        int selector = 5;
        for (int k = 0; k < 5; k++)
            if (section.tag == tags[k]) selector = k;
        std::string payload = section.payload.substr(2, 65535);
        out += char(selector);
        out += char(payload.size() & 255);
        out += char(payload.size() >> 8);
        out += payload;
    }
    return out;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) return 2;
    const std::string folder = argv[1];
    int ok = 1;

    auto hole = std::make_unique<SceneWorld>();
    scene_test_make_hole(hole.get(), 6, 2);
    hole->first_block_index = 225;
    std::string file = saved(hole.get(), folder, 2);
    ok &= write_bytes(folder, "hole", std::string(1, '\0') + file);
    ok &= write_bytes(folder, "hole_sections", as_sections(file));
    // Its lit copy: the same with lightmaps (one object prepared reduced stores none).
    hole->lit = 1;
    scene_test_fake_lightmaps(hole.get(), 225, 8, 1);
    scene_test_fake_lightmaps(hole.get(), 226, 8, 2);
    scene_test_fake_lightmaps(hole.get(), 227, 8, 1);
    std::string path = folder + "/saved.tmp";
    std::string lit;
    if (scene_save(hole.get(), path.c_str(), 1, 1, 0, 10)) lit = saved_file(path);
    ok &= write_bytes(folder, "lit_copy", std::string(1, '\0') + lit);
    ok &= write_bytes(folder, "lit_copy_sections", as_sections(lit));
    world_release_and_reset(hole.get());

    // A theme scene: palette blocks, one of them the reference block, and the texture list.
    auto theme = std::make_unique<SceneWorld>();
    const char *names[] = {"DECORBLOC", "BLOC1", "START", "PALES", "END"};
    for (int k = 0; k < 5; k++) scene_add_object(theme.get(), scene_test_make_block(names[k], 2.0f, 1.0f + k, 2.0f));
    snprintf(theme->textures[16].name, sizeof theme->textures[16].name, "textures/tronc");
    snprintf(theme->textures[17].name, sizeof theme->textures[17].name, "textures/feuilles");
    theme->textures[17].options = 1;
    file = saved(theme.get(), folder, 4);
    ok &= write_bytes(folder, "theme", std::string(1, '\x02') + file);
    ok &= write_bytes(folder, "theme_sections", as_sections(file));
    world_release_and_reset(theme.get());
    return ok ? 0 : 1;
}
