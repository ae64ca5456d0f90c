#include "linux/facts/oui_file.h"

#include <cstdio>

namespace {

constexpr std::size_t kChunkSize = 65536;

// The rest of the file appended to *text; false on a read error or past the limit.
bool Append(std::FILE* file, std::vector<char>* text) {
    char chunk[kChunkSize];
    for (;;) {
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, file);
        if (got >= kOuiTextLimit - text->size()) return false;  // room for the line end
        text->insert(text->end(), chunk, chunk + got);
        if (got < sizeof chunk) return std::ferror(file) == 0;
    }
}

}  // namespace

bool ReadOuiFile(const char* path, std::vector<char>* text) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return false;
    const std::size_t before = text->size();
    const bool read = text->size() < kOuiTextLimit && Append(file, text);
    std::fclose(file);
    if (!read) {
        text->resize(before);
        return false;
    }
    text->push_back('\n');
    return true;
}
