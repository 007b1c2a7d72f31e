#include "app_state.h"

namespace fernwise {

double AppState::aspectFactor() const {
    return static_cast<double>(geometry.initialClientWidth) / static_cast<double>(geometry.initialClientHeight) * 0.75;
}

void chooseImageSize(AppState& state, std::optional<int> storedSizeIndex) {
    if (storedSizeIndex && *storedSizeIndex >= 0 && *storedSizeIndex < imageSizeCount) {
        state.geometry.sizeIndex = *storedSizeIndex;
        const ImageSize& size = imageSizes[static_cast<std::size_t>(state.geometry.sizeIndex)];
        state.geometry.imageWidth = size.width;
        state.geometry.imageHeight = size.height;
        return;
    }
    state.geometry.imageWidth = state.display.screenWidth;
    state.geometry.imageHeight = state.display.screenHeight;
    for (int i = 0; i < imageSizeCount; ++i) {
        if (imageSizes[static_cast<std::size_t>(i)].width == state.display.screenWidth) {
            state.geometry.sizeIndex = i;
            break;
        }
    }
}

}  // namespace fernwise
