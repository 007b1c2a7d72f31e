#include "save_progress.h"

namespace fernwise {

void beginProgressDisplay(SaveProgress& progress, const std::string& fileName, const PreviewLayout& layout) {
    progress.beginBusy();
    progress.beginDrawing();
    const std::string text = "Saving image as " + fileName;
    // Rounded down, also when a long name makes the text wider than the popup.
    const int room = savePopupWidth - progress.textWidth(text);
    const int x = room >= 0 ? room / 2 : -((-room + 1) / 2);
    progress.drawText(x, 20, text);

    // A sunken frame: shadow on the left and top, highlight on the right and
    // bottom, each line short of its end point.
    const Point bottomLeft{layout.left, layout.bottom};
    const Point topLeft{layout.left, layout.top};
    const Point topRight{layout.right, layout.top};
    const Point bottomRight{layout.right, layout.bottom};
    progress.drawLine(bottomLeft, topLeft, FrameShade::Shadow);
    progress.drawLine(topLeft, topRight, FrameShade::Shadow);
    progress.drawLine(topRight, bottomRight, FrameShade::Highlight);
    progress.drawLine(bottomRight, {layout.left - 1, layout.bottom}, FrameShade::Highlight);
}

void endProgressDisplay(SaveProgress& progress) {
    progress.endDrawing();
    progress.endBusy();
}

}  // namespace fernwise
