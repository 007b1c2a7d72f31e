#pragma once

#include <QImage>
#include <QString>

#include "palette.h"

namespace fernwise {

inline constexpr const char* aboutBitmapName = "KOABOUTBITMAP";
inline constexpr const char* openingSplashBitmapName = "KOSPLASH1BITMAP";
inline constexpr const char* closingSplashBitmapName = "KOSPLASH2BITMAP";

// One of the program's 8-bit bitmaps as an Indexed8 image with its
// 256-entry colour table, or a null image when it cannot be loaded.
QImage loadBitmapResource(const QString& name);

// The colour table of an Indexed8 image as palette colours; entries the
// table lacks stay black.
PaletteTable bitmapColorTable(const QImage& image);

}  // namespace fernwise
