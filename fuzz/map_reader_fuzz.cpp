// Any bytes as a .map file: the reader must neither crash nor read past its
// line buffer, and a successful read pads the palette with black.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "map_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fernwise::PaletteTable table;
    table.fill(fernwise::Rgb{1, 2, 3});
    std::string_view text(reinterpret_cast<const char*>(data), size);
    fernwise::MapFileStatus status = fernwise::readMapText(text, table);
    if (status == fernwise::MapFileStatus::Loaded && size == 0 && !(table[0] == fernwise::Rgb{})) __builtin_trap();
    return 0;
}
