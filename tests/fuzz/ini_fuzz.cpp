// Fuzz target of the INI reader: the input is a settings file, read with GetPrivateProfileStringA for
// the game's own keys and for the first section and key names the input holds, into buffers of
// several sizes. The file lives in a folder under TMPDIR, removed when the run ends.
#include "platform/system.h"
#include "tests/test_util.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

TempDir g_folder;

// The text between `open` and `close` after the first `open`, or "".
std::string first_between(const std::string &text, char open, char close)
{
    size_t a = text.find(open);
    if (a == std::string::npos) return std::string();
    size_t b = text.find(close, a + 1);
    return text.substr(a + 1, b == std::string::npos ? std::string::npos : b - a - 1);
}

void read_value(const char *section, const char *key, DWORD size)
{
    char out[256];
    DWORD n = GetPrivateProfileStringA(section, key, "  default  ", out, size, ".\\settings.ini");
    // Within the buffer and terminated after the copied bytes (a NUL in the file may come before).
    if (n >= size || out[n] != '\0') abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    if (g_folder.path.empty()) abort();
    sys_path_reset(g_folder.path.c_str(), (g_folder / "user").c_str());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text(reinterpret_cast<const char *>(data), size);
    test_write_file(g_folder / "settings.ini", text);
    std::string section = first_between(text, '[', ']');
    std::string key = first_between("\n" + text, '\n', '=');
    for (DWORD out_size : {256u, 7u, 1u}) {
        read_value("Path", "GamePath", out_size);
        read_value("Html", "FileName", out_size);
        read_value(section.c_str(), key.c_str(), out_size);
    }
    return 0;
}
