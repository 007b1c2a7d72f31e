// Any bytes as a .map file, read from memory and from a file: the reader must
// neither crash nor read past its line buffer, both readings agree (the
// file's open path and line splitting add nothing of their own), and a
// successful read pads the palette with black.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "map_file.h"

namespace {

const std::string& scratchFile() {
    static const std::string path = [] {
        const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(base) + "/map_reader_fuzz.XXXXXX";
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0) std::abort();
        ::close(fd);
        return pattern;
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fernwise::PaletteTable table;
    table.fill(fernwise::Rgb{1, 2, 3});
    std::string_view text(reinterpret_cast<const char*>(data), size);
    fernwise::MapFileStatus status = fernwise::readMapText(text, table);
    if (status == fernwise::MapFileStatus::Loaded && size == 0 && !(table[0] == fernwise::Rgb{})) __builtin_trap();

    std::FILE* file = std::fopen(scratchFile().c_str(), "wb");
    if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) std::abort();
    fernwise::PaletteTable fromFile;
    fromFile.fill(fernwise::Rgb{1, 2, 3});
    if (fernwise::readMapFile(scratchFile(), fromFile) != status || fromFile != table) __builtin_trap();
    return 0;
}
