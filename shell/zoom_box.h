#pragma once

#include <vector>

#include <QPoint>
#include <QRect>
#include <QString>

#include "app_state.h"

namespace fernwise {

// What the zoom box asks of the window it lives in.
class ZoomView {
public:
    virtual ~ZoomView() = default;
    virtual QPoint scrollOffset() const = 0;
    virtual void setStatusParts(const std::vector<int>& rightEdges) = 0;
    virtual void setStatusText(int part, const QString& text) = 0;
    // A one-pixel white frame covering `frame` (client coordinates), over
    // the picture and outside the VirtualScreen.
    virtual void showOutline(const QRect& frame) = 0;
    // Takes the frame away: `area` (client coordinates) shows the
    // VirtualScreen again.
    virtual void eraseOutline(const QRect& area) = 0;
    // Queues a right press, which cancels the box once the current event is
    // handled.
    virtual void postCancel() = 0;
    // Queues the Plot command.
    virtual void postPlot() = 0;
};

// The new complex-plane window of a zoom commit: the box (x1, y1)-(x2, y2)
// in image pixels over the extents the last plot used, computed from the
// record's own xmin and ymax in extended precision and stored as doubles.
FractalParams zoomedParams(FractalParams params, int x1, int y1, int x2, int y2, int imageWidth, int imageHeight,
                           double plotSpanX, double plotSpanY);

// The status bar's parts between plots: the pointer or zoom readout, and the
// window's adjusted right and bottom edges (the zoom box's readout uses parts
// 1 to 5 by number).
enum StatusPart : int { statusMessagePart = 0, statusXmaxPart = 1, statusYminPart = 2 };

// The status bar's division into `parts` parts: screenWidth * k / 7 for all
// but the last, which ends at screenWidth (three parts: k = 1 and 4).
std::vector<int> statusPartEdges(int screenWidth, int parts);

// The two-click zoom box and the pointer readout. A left drag on a finished
// plot outlines a box; a second left press commits it as the type's new
// window and plots, a right press throws it away.
class ZoomBox {
public:
    ZoomBox(AppState& state, ZoomView& view) : state_(state), view_(view) {}

    // Client coordinates, as the mouse reports them (negative ones, which a
    // drag past the window's left or top edge gives, count as 0).
    void leftPress(int x, int y);
    void mouseMove(int x, int y);
    void leftRelease();
    void rightPress();

    bool dragging() const { return zoomDragging_; }
    bool pending() const { return zoomPending_; }
    bool boxDrawn() const { return boxDrawn_; }
    // x1, y1, x2, y2 (image coordinates after a drawn move).
    QRect box() const { return QRect(QPoint(x1_, y1_), QPoint(x2_, y2_)); }
    // Left, top, right, bottom (exclusive) of the last outline, client
    // coordinates.
    QRect lastBoxRect() const { return QRect(QPoint(lastLeft_, lastTop_), QPoint(lastRight_ - 1, lastBottom_ - 1)); }

    // The three status parts of the window with the last plot's adjusted
    // bounds in parts 1 and 2.
    void showAdjustedBounds();

private:
    QRect eraseArea() const;
    void commit();

    AppState& state_;
    ZoomView& view_;
    bool zoomDragging_ = false;
    bool zoomPending_ = false;
    bool boxDrawn_ = false;
    QPoint anchor_;
    int x1_ = 0, y1_ = 0, x2_ = 0, y2_ = 0;
    int lastLeft_ = 0, lastTop_ = 0, lastRight_ = 0, lastBottom_ = 0;
};

// The status texts of the plotted region's adjusted corner.
QString xmaxAdjustedText(double adjustedXmax);
QString yminAdjustedText(double adjustedYmin);

}  // namespace fernwise
