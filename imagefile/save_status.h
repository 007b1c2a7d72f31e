#pragma once

#include <array>
#include <cstdint>

namespace fernwise {

// The result of an image save, shared by the GIF and Targa writers. The
// values index `saveErrorMessages`.
enum class SaveStatus : std::int32_t {
    Saved = 0,
    OpenFailed = 1,   // the file could not be opened for binary writing
    NoMemory = 2,     // a work buffer could not be allocated
    WriteFailed = 3,  // a write to the file failed
};

// The message the caller shows for each status; none for a successful save.
inline constexpr std::array<const char*, 4> saveErrorMessages = {
    "",
    "Error opening a save file.",
    "Not enough memory to buffer image lines.",
    "Error writing to save file.",
};

inline constexpr const char* saveErrorCaption = "Save file error";

inline const char* saveErrorMessage(SaveStatus status) { return saveErrorMessages[static_cast<std::size_t>(status)]; }

}  // namespace fernwise
