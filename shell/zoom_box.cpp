#include "zoom_box.h"

#include <algorithm>
#include <cstdio>

namespace fernwise {
namespace {

QString formatted(const char* format, double value) {
    char text[400];
    std::snprintf(text, sizeof text, format, value);
    return QString::fromLatin1(text);
}

QString formattedInt(const char* format, int value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return QString::fromLatin1(text);
}

}  // namespace

QString xmaxAdjustedText(double adjustedXmax) { return formatted("  xmax adjusted to: %.15f", adjustedXmax); }
QString yminAdjustedText(double adjustedYmin) { return formatted("  ymin adjusted to: %.15f", adjustedYmin); }

FractalParams zoomedParams(FractalParams params, int x1, int y1, int x2, int y2, int imageWidth, int imageHeight,
                           double plotSpanX, double plotSpanY) {
    // Every line starts from the old corner, so the order of the four
    // assignments does not matter once both are copied.
    const long double xmin = params.xmin;
    const long double ymax = params.ymax;
    const long double xspan = plotSpanX;
    const long double yspan = plotSpanY;
    params.xmax = static_cast<double>(static_cast<long double>(x2) * xspan / imageWidth + xmin);
    params.xmin = static_cast<double>(static_cast<long double>(x1) * xspan / imageWidth + xmin);
    params.ymin = static_cast<double>(ymax - static_cast<long double>(y2) * yspan / imageHeight);
    params.ymax = static_cast<double>(ymax - static_cast<long double>(y1) * yspan / imageHeight);
    return params;
}

std::vector<int> statusPartEdges(int screenWidth, int parts) {
    std::vector<int> edges;
    if (parts == 3) return {screenWidth / 7, 4 * screenWidth / 7, screenWidth};
    for (int k = 1; k < parts; ++k) edges.push_back(screenWidth * k / 7);
    edges.push_back(screenWidth);
    return edges;
}

void ZoomBox::leftPress(int x, int y) {
    x = std::max(x, 0);
    y = std::max(y, 0);
    if (state_.run.zoomReady) {
        // The test is in client coordinates: the scroll offsets are not added.
        if (x < state_.geometry.imageWidth && y < state_.geometry.imageHeight) {
            zoomDragging_ = true;
            boxDrawn_ = false;
            anchor_ = QPoint(x, y);
            x1_ = x2_ = x;
            y1_ = y2_ = y;
        }
    }
    if (zoomPending_) commit();
}

void ZoomBox::mouseMove(int x, int y) {
    x = std::max(x, 0);
    y = std::max(y, 0);
    const QPoint scroll = view_.scrollOffset();
    if (state_.run.zoomReady && zoomDragging_) {
        const int cx = std::min(x, state_.geometry.imageWidth - 1);
        const int cy = std::min(y, state_.geometry.imageHeight - 1);
        x1_ = std::min(anchor_.x(), cx);
        x2_ = std::max(anchor_.x(), cx);
        y1_ = std::min(anchor_.y(), cy);
        y2_ = std::max(anchor_.y(), cy);
        if (x2_ - x1_ < 1 || y2_ - y1_ < 1) return;

        if (boxDrawn_) {
            view_.eraseOutline(eraseArea());
        } else {
            boxDrawn_ = true;
            if (state_.preferences.statusBarOn) view_.setStatusParts(statusPartEdges(state_.display.screenWidth, 6));
        }
        lastLeft_ = x1_;
        lastTop_ = y1_;
        lastRight_ = x2_ + 1;
        lastBottom_ = y2_ + 1;
        view_.showOutline(QRect(QPoint(x1_, y1_), QPoint(x2_, y2_)));

        x1_ += scroll.x();
        x2_ += scroll.x();
        y1_ += scroll.y();
        y2_ += scroll.y();
        if (state_.preferences.statusBarOn) {
            view_.setStatusText(1, formattedInt("x1: %d", x1_));
            view_.setStatusText(2, formattedInt("x2: %d", x2_));
            view_.setStatusText(3, formattedInt("y1: %d", y1_));
            view_.setStatusText(4, formattedInt("y2: %d", y2_));
            const double ratio = static_cast<double>(x2_ - x1_) / static_cast<double>(y2_ - y1_);
            view_.setStatusText(5, formatted("x/y: %.6f", ratio));
        }
    }
    if (state_.preferences.statusBarOn) {
        char text[64];
        std::snprintf(text, sizeof text, "     (%d, %d)", x + scroll.x(), y + scroll.y());
        view_.setStatusText(statusMessagePart, QString::fromLatin1(text));
    }
}

void ZoomBox::leftRelease() {
    if (!(state_.run.zoomReady && zoomDragging_)) return;
    if (x2_ - x1_ > 1 && y2_ - y1_ > 1) {
        zoomDragging_ = false;
        state_.run.zoomReady = false;
        zoomPending_ = true;
        return;
    }
    zoomPending_ = true;
    view_.postCancel();
}

void ZoomBox::rightPress() {
    if (!zoomPending_) return;
    state_.run.zoomReady = true;
    zoomPending_ = false;
    zoomDragging_ = false;
    view_.eraseOutline(eraseArea());
    if (state_.preferences.statusBarOn) showAdjustedBounds();
}

void ZoomBox::showAdjustedBounds() {
    view_.setStatusParts(statusPartEdges(state_.display.screenWidth, 3));
    view_.setStatusText(statusXmaxPart, xmaxAdjustedText(state_.plot.adjustedXmax()));
    view_.setStatusText(statusYminPart, yminAdjustedText(state_.plot.adjustedYmin()));
}

QRect ZoomBox::eraseArea() const {
    return QRect(lastLeft_, lastTop_, lastRight_ - lastLeft_ + 2, lastBottom_ - lastTop_ + 2);
}

void ZoomBox::commit() {
    FractalParams params = state_.catalog[state_.currentType];
    zoomPending_ = false;
    state_.plot.rearm();
    params = zoomedParams(params, x1_, y1_, x2_, y2_, state_.geometry.imageWidth, state_.geometry.imageHeight,
                          state_.plot.plotSpanX(), state_.plot.plotSpanY());
    state_.catalog[state_.currentType] = params;
    if (state_.preferences.statusBarOn) view_.setStatusParts(statusPartEdges(state_.display.screenWidth, 3));
    view_.postPlot();
}

}  // namespace fernwise
