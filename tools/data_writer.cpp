// What the data writers share: whole-file writes and reads, and CR LF line ends.
#include "tools/data_writer.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

bool data_write_file(const std::string &path, const std::string &bytes)
{
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    std::string temporary = path + ".tmp";
    FILE *file = fopen(temporary.c_str(), "wb");
    if (!file) return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = fclose(file) == 0 && ok;
    if (ok) ok = rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) remove(temporary.c_str());
    return ok;
}

bool data_read_file(const std::string &path, std::string *bytes)
{
    FILE *file = fopen(path.c_str(), "rb");
    if (!file) return false;
    bytes->clear();
    char chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) bytes->append(chunk, n);
    bool ok = !ferror(file);
    fclose(file);
    return ok && !bytes->empty();
}

std::string data_crlf(const std::string &text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    return out;
}
