#pragma once

#include <filesystem>
#include <string>

#include "palette.h"
#include "save_file.h"

namespace fernwise {

// What a save of the current image needs besides the image itself.
struct SaveRequest {
    std::filesystem::path path;                // the full path chosen in the save dialog
    std::string fileName;                      // its bare name, shown in the status line
    int sizeIndex = 0;                         // the image size index; picks the thumbnail layout
    bool paletteDevice = false;                // thumbnail pixels by palette index instead of colour
    AllocationGate* allocationGate = nullptr;  // lets tests refuse the work buffers
    SaveStop* stop = nullptr;                  // a signal handler's request to stop the save
};

}  // namespace fernwise
