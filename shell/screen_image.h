#pragma once

#include <QImage>

#include "virtual_screen.h"

namespace fernwise {

// The VirtualScreen as a QImage over the same pixels, without copying them:
// Indexed8 with the emulated hardware palette (the colours its indices show
// now) as colour table, or RGB32. Valid while the screen lives and is not
// re-created.
QImage screenImage(const VirtualScreen& screen);

}  // namespace fernwise
