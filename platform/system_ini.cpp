// Reading of INI settings files by the private-profile rules.
#include "platform/system.h"
#include "platform/system_local.h"

#include <cstring>

namespace {

// A settings file is a few lines; anything larger is not read, and the defaults apply.
const size_t INI_MAX_BYTES = 1 << 20;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string trim(const std::string &text)
{
    size_t a = 0, b = text.size();
    while (a < b && is_blank(text[a])) a++;
    while (b > a && is_blank(text[b - 1])) b--;
    return text.substr(a, b - a);
}

std::string unquote(const std::string &value)
{
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        return value.substr(1, value.size() - 2);
    return value;
}

// Value of the first `key` in the first section named `section`; false when either is missing.
bool find_value(const std::string &text, const char *section, const char *key, std::string *value)
{
    bool in_section = false, seen_section = false;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = trim(text.substr(at, end - at));
        at = end + 1;
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            if (seen_section) return false;
            size_t close = line.find(']');
            std::string name = trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            in_section = sys_name_compare(name, section) == 0;
            seen_section = in_section;
            continue;
        }
        if (!in_section) continue;
        size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        if (sys_name_compare(trim(line.substr(0, equals)), key) != 0) continue;
        *value = unquote(trim(line.substr(equals + 1)));
        return true;
    }
    return false;
}

}  // namespace

DWORD GetPrivateProfileStringA(const char *section, const char *key, const char *default_value,
                               char *out, DWORD size, const char *file_name)
{
    if (!out || size == 0) return 0;
    std::string value;
    std::string text;
    bool found = section && key && file_name && sys_read_file(file_name, text, INI_MAX_BYTES) &&
                 find_value(text, section, key, &value);
    if (!found) {
        value = default_value ? default_value : "";
        while (!value.empty() && is_blank(value.back())) value.pop_back();
    }
    size_t n = value.size() < size - 1 ? value.size() : size - 1;
    memcpy(out, value.data(), n);
    out[n] = '\0';
    return DWORD(n);
}
