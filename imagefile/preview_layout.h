#pragma once

#include <algorithm>
#include <array>

namespace fernwise {

// Where a writer draws its sampled thumbnail in the save popup, per image
// size: every Step-th pixel of every Step-th row, inside a sunken frame whose
// corners are given in the popup's client coordinates.
struct PreviewLayout {
    int step;
    int left;
    int top;
    int right;
    int bottom;
};

inline constexpr int previewLayoutCount = 10;

// Indexed by the image size index: 160x120, 200x150, 320x200, 320x240,
// 480x360, 640x480, 800x600, 1024x768, 1280x1024, 1600x1200.
inline constexpr std::array<PreviewLayout, previewLayoutCount> previewLayouts = {{
    {2, 109, 65, 190, 126},
    {2, 99, 65, 200, 141},
    {3, 96, 65, 204, 133},
    {3, 96, 65, 204, 146},
    {5, 101, 65, 198, 138},
    {6, 96, 65, 204, 146},
    {8, 99, 65, 200, 141},
    {10, 98, 65, 202, 143},
    {12, 96, 65, 204, 152},
    {16, 99, 65, 200, 141},
}};

// A size index from outside (the batch renderer, a stale setting) must not
// read past the table.
inline const PreviewLayout& previewLayoutFor(int sizeIndex) {
    return previewLayouts[static_cast<std::size_t>(std::clamp(sizeIndex, 0, previewLayoutCount - 1))];
}

}  // namespace fernwise
