#pragma once

#include "palette.h"
#include "save_progress.h"
#include "save_request.h"
#include "save_status.h"
#include "virtual_screen.h"

namespace fernwise {

// Saves `screen` as a GIF87a file: a 256-entry global colour table from
// `entries` (as they stand now, after any colour cycling) and one
// non-interlaced, LZW-coded image of the whole screen. Each pixel is written
// as the palette index of its shown colour (see PaletteIndexLookup). Shows
// its progress through `progress` while it writes. Blocking.
SaveStatus writeGif(const SaveRequest& request, const VirtualScreen& screen, const PaletteEntries& entries,
                    SaveProgress& progress);

}  // namespace fernwise
