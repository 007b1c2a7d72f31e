#include "map_file.h"

#include <cctype>
#include <cstdio>
#include <memory>

#include <sys/stat.h>

namespace fernwise {
namespace {

// Lines are read as a 100-character buffer would read them: a longer line
// goes on as the next line.
constexpr std::size_t maxLineChars = 99;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// One "%d" conversion: skips white space, takes an optional sign and at least
// one digit. Only the low 8 bits of the value are kept, so any length of
// digits is safe.
bool scanInt(std::string_view line, std::size_t& pos, std::uint8_t& value) {
    while (pos < line.size() && isSpace(line[pos])) ++pos;
    bool negative = false;
    if (pos < line.size() && (line[pos] == '+' || line[pos] == '-')) {
        negative = line[pos] == '-';
        ++pos;
    }
    std::size_t digits = 0;
    std::uint64_t v = 0;
    while (pos < line.size() && line[pos] >= '0' && line[pos] <= '9') {
        v = v * 10 + static_cast<std::uint64_t>(line[pos] - '0');
        ++pos;
        ++digits;
    }
    if (digits == 0) return false;
    if (negative) v = ~v + 1;
    value = static_cast<std::uint8_t>(v & 0xff);
    return true;
}

// "%d %d %d": the white-space directives match any amount, none included.
bool scanTriple(std::string_view line, Rgb& colour) {
    // The scanner stops at an embedded NUL as a C string would.
    if (auto nul = line.find('\0'); nul != std::string_view::npos) line = line.substr(0, nul);
    std::size_t pos = 0;
    return scanInt(line, pos, colour.red) && scanInt(line, pos, colour.green) && scanInt(line, pos, colour.blue);
}

// `nextLine` gives false at the end of the text or on a read error, which
// `failed` then reports: a file that breaks off is not a short palette.
template <typename NextLine, typename Failed>
MapFileStatus readLines(NextLine nextLine, Failed failed, PaletteTable& table) {
    std::size_t i = 0;
    std::string_view line;
    while (i < table.size() && nextLine(line)) {
        Rgb colour;
        if (!scanTriple(line, colour)) return MapFileStatus::CannotRead;
        table[i++] = colour;
    }
    if (failed()) return MapFileStatus::CannotRead;
    for (; i < table.size(); ++i) table[i] = Rgb{};
    return MapFileStatus::Loaded;
}

}  // namespace

std::string_view mapFileMessage(MapFileStatus status) {
    switch (status) {
        case MapFileStatus::Loaded: return {};
        case MapFileStatus::CannotOpen: return "Unable to open the selected file;\n     Please try again.";
        case MapFileStatus::CannotRead: return "Unable to read the selected file;\n     Please try again.";
    }
    return {};
}

MapFileStatus readMapText(std::string_view text, PaletteTable& table) {
    std::size_t pos = 0;
    return readLines(
        [&](std::string_view& line) {
            if (pos >= text.size()) return false;
            std::size_t end = pos;
            while (end < text.size() && end - pos < maxLineChars) {
                if (text[end++] == '\n') break;
            }
            line = text.substr(pos, end - pos);
            pos = end;
            return true;
        },
        [] { return false; }, table);
}

MapFileStatus readMapFile(const std::string& path, PaletteTable& table) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "r"), &std::fclose);
    if (!file) return MapFileStatus::CannotOpen;
    // A folder opens on some systems but is no palette.
    struct stat info {};
    if (fstat(fileno(file.get()), &info) == 0 && S_ISDIR(info.st_mode)) return MapFileStatus::CannotOpen;
    char buffer[maxLineChars + 1];
    return readLines(
        [&](std::string_view& line) {
            std::size_t length = 0;
            int c = 0;
            while (length < maxLineChars && (c = std::getc(file.get())) != EOF) {
                buffer[length++] = static_cast<char>(c);
                if (c == '\n') break;
            }
            line = std::string_view(buffer, length);
            return length > 0;
        },
        [&] { return std::ferror(file.get()) != 0; }, table);
}

}  // namespace fernwise
