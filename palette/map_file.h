#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "palette.h"

namespace fernwise {

enum class MapFileStatus : std::int32_t { Loaded = 0, CannotOpen = 1, CannotRead = 2 };

inline constexpr const char* mapFileErrorCaption = ".MAP File Error";
// The message for a failed read; empty for Loaded.
std::string_view mapFileMessage(MapFileStatus status);

// Reads a Fractint .map palette into `table`: one "%d %d %d" line per entry,
// at most 256 entries, the rest black. A line that does not scan stops the
// read with CannotRead, leaving the entries read before it in `table`; a file
// that does not open leaves `table` unchanged.
MapFileStatus readMapFile(const std::string& path, PaletteTable& table);

// The same rules applied to text already in memory.
MapFileStatus readMapText(std::string_view text, PaletteTable& table);

}  // namespace fernwise
