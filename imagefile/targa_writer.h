#pragma once

#include "save_progress.h"
#include "save_request.h"
#include "save_status.h"
#include "virtual_screen.h"

namespace fernwise {

// Saves `screen` as an uncompressed 24-bit true-colour Targa file (rows from
// the top, each pixel blue, green, red) with a version 2 footer, for images
// whose colours are not all in the palette. Shows its progress through
// `progress` like the GIF writer, thumbnail pixels always by colour.
// Blocking.
SaveStatus writeTarga(const SaveRequest& request, const VirtualScreen& screen, SaveProgress& progress);

}  // namespace fernwise
