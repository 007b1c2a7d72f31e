#include "app_state.h"

namespace fernwise {

PlotFlags AppState::plotFlags() const {
    PlotFlags flags;
    flags.paletteDevice = paletteDevice;
    flags.trueColorMode = trueColorMode;
    flags.periodicityChecking = periodicityChecking;
    flags.specialColoring = specialColoring;
    return flags;
}

double AppState::aspectFactor() const {
    return static_cast<double>(initialClientWidth) / static_cast<double>(initialClientHeight) * 0.75;
}

void chooseImageSize(AppState& state, std::optional<int> storedSizeIndex) {
    if (storedSizeIndex && *storedSizeIndex >= 0 && *storedSizeIndex < imageSizeCount) {
        state.sizeIndex = *storedSizeIndex;
        const ImageSize& size = imageSizes[static_cast<std::size_t>(state.sizeIndex)];
        state.imageWidth = size.width;
        state.imageHeight = size.height;
        return;
    }
    state.imageWidth = state.screenWidth;
    state.imageHeight = state.screenHeight;
    for (int i = 0; i < imageSizeCount; ++i) {
        if (imageSizes[static_cast<std::size_t>(i)].width == state.screenWidth) {
            state.sizeIndex = i;
            break;
        }
    }
}

}  // namespace fernwise
