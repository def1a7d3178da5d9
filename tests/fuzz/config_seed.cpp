// Seed inputs of the configuration fuzz target: the default configuration text as the data writer
// makes it, plain and packed both ways, and a few small files of each construct.
#include "codecs/codecs.h"
#include "tests/test_util.h"
#include "tools/data_writer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdlib.h>
#include <string>

namespace {

bool write(const std::string &path, const std::string &bytes)
{
    FILE *file = fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && ok;
}

std::string packed(const char *magic, const std::string &text, int32_t type)
{
    PackedBlock block{};
    if (!deflate_pack_block(&block, text.data(), uint32_t(text.size()), type)) return std::string();
    std::string file(magic, 4);
    uint32_t sizes[2] = {uint32_t(text.size()), block.packed_size};
    file.append(reinterpret_cast<const char *>(sizes), sizeof sizes);
    file.append(reinterpret_cast<const char *>(block.data), block.packed_size);
    free(block.data);
    return file;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) return 2;
    std::string folder = argv[1];
    std::string pattern = (std::filesystem::temp_directory_path() / "zav-config-seed-XXXXXX").string();
    char *scratch = pattern.data();
    if (!mkdtemp(scratch) || !data_write_script(std::string(scratch) + "/data")) return 1;
    std::string script = test_read_file(std::string(scratch) + "/data/txt/script.txt");
    std::string name = test_read_file(std::string(scratch) + "/data/txt/nameofgame.ini");
    std::error_code error;
    std::filesystem::remove_all(scratch, error);
    const std::string small[] = {
        "PARAMS {\r\nDISTANCE = 512\r\n}\r\n",
        "THEMES\r\n{\r\nTHEME:3\r\n{\r\nNAME = \"x\"\r\n}\r\n}\r\n",
        "# comment MENUS\r\nMENUS\r\n{\r\nERR10 = \"a } b\"\r\n}\r\n",
        "PARAMS\r\n{\r\nCOLOR_TEXTE_MENU\r\n{\r\nR = 50\r\n}\r\nTHEME:-1\r\n}\r\n",
    };
    bool ok = !script.empty() && write(folder + "/nameofgame.ini", name) && write(folder + "/script.txt", script) && write(folder + "/script.zzz", packed("zzz", script, 0)) &&
              write(folder + "/script.zzw", packed("zzw", script, 1));
    for (size_t i = 0; i < sizeof small / sizeof small[0]; i++)
        ok = write(folder + "/small" + std::to_string(i) + ".txt", small[i]) && ok;
    return ok ? 0 : 1;
}
