#include "map_file.h"

#include <cctype>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace fernwise {
namespace {

// Lines are read as a 100-character buffer would read them: a longer line
// goes on as the next line.
constexpr std::size_t maxLineChars = 99;
constexpr std::size_t maxMapBytes = maxLineChars * paletteSize;

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
bool scanTriple(std::string_view line, Rgb& color) {
    // The scanner stops at an embedded NUL as a C string would.
    if (auto nul = line.find('\0'); nul != std::string_view::npos) line = line.substr(0, nul);
    std::size_t pos = 0;
    return scanInt(line, pos, color.red) && scanInt(line, pos, color.green) && scanInt(line, pos, color.blue);
}

// `nextLine` gives false at the end of the text or on a read error, which
// `failed` then reports: a file that breaks off is not a short palette.
template <typename NextLine, typename Failed>
MapFileStatus readLines(NextLine nextLine, Failed failed, PaletteTable& table) {
    std::size_t i = 0;
    std::string_view line;
    while (i < table.size() && nextLine(line)) {
        Rgb color;
        if (!scanTriple(line, color)) return MapFileStatus::CannotRead;
        table[i++] = color;
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
    // Without blocking, and only a regular file: a pipe or a device would
    // hold the program for good, a folder is no palette.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return MapFileStatus::CannotOpen;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return MapFileStatus::CannotOpen;
    }
    // Nothing past the longest palette the lines can hold is ever looked at.
    std::string text(maxMapBytes, '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return MapFileStatus::CannotRead;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    text.resize(got);
    return readMapText(text, table);
}

}  // namespace fernwise
