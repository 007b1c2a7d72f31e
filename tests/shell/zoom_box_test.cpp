#include <QMouseEvent>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>

#include "status_parts.h"
#include "window_test_support.h"
#include "zoom_box.h"

namespace fernwise::windowtest {
namespace {

class ZoomBoxTest : public WindowTest {
protected:
    QWidget* viewport() { return window->imageView()->viewport(); }
    // Mouse events as the window system delivers them to the view (QTest's
    // helpers would take the point (0, 0) for "the middle of the widget").
    void send(QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(p), QPointF(viewport()->mapToGlobal(p)), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(viewport(), &event);
    }
    void press(QPoint p, Qt::MouseButton button = Qt::LeftButton) {
        send(QEvent::MouseButtonPress, p, button, button);
        held_ = button;
    }
    void release(QPoint p) {
        send(QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
        held_ = Qt::NoButton;
    }
    void move(QPoint p) { send(QEvent::MouseMove, p, Qt::NoButton, held_); }
    Qt::MouseButton held_ = Qt::NoButton;
    void drag(QPoint from, QPoint to) {
        press(from);
        move(to);
        release(to);
    }
    std::vector<QString> statusTexts() {
        std::vector<QString> texts;
        for (int i = 0; i < window->statusPartCount(); ++i) texts.push_back(window->statusText(i));
        return texts;
    }
    void startFinished(const Start& how = {}) {
        ASSERT_EQ(start(how), StartupCode::Ok);
        finishPlot();
        ASSERT_TRUE(state.run.zoomReady);
    }
};

TEST_F(ZoomBoxTest, PointerPositionShowsInPartZeroInAnyState) {
    ASSERT_EQ(start(), StartupCode::Ok);
    move({30, 40});
    EXPECT_EQ(window->statusText(0), "     (30, 40)");
    finishPlot();
    move({100, 7});
    EXPECT_EQ(window->statusText(0), "     (100, 7)");
}

TEST_F(ZoomBoxTest, DragShowsCornersAndRatioInSixParts) {
    startFinished();
    press({10, 20});
    move({70, 50});
    EXPECT_TRUE(window->zoomBox().boxDrawn());
    EXPECT_EQ(window->statusParts()->rightEdges(),
              (std::vector<int>{1024 / 7, 2 * 1024 / 7, 3 * 1024 / 7, 4 * 1024 / 7, 5 * 1024 / 7, 1024}));
    EXPECT_EQ(statusTexts(),
              (std::vector<QString>{"     (70, 50)", "x1: 10", "x2: 70", "y1: 20", "y2: 50", "x/y: 2.000000"}));
    // The outline covers columns 10..70 and rows 20..50 of the window only.
    EXPECT_EQ(window->imageView()->outline(), QRect(QPoint(10, 20), QPoint(70, 50)));
    const Rgb underOutline = window->virtualScreen()->pixel(10, 20);
    EXPECT_NE(underOutline, (Rgb{255, 255, 255}));

    // Dragging back past the anchor orders the corners.
    move({4, 5});
    EXPECT_EQ(window->zoomBox().box(), QRect(QPoint(4, 5), QPoint(10, 20)));
    EXPECT_EQ(window->statusText(5), "x/y: 0.400000");
}

TEST_F(ZoomBoxTest, CommitSetsTheNewWindowFromTheLastPlotsExtents) {
    startFinished();
    const FractalParams before = state.catalog[FractalType::Mandelbrot];
    const double spanX = state.plot.plotSpanX();
    const double spanY = state.plot.plotSpanY();
    drag({0, 0}, {159, 119});
    EXPECT_TRUE(window->zoomBox().pending());
    EXPECT_FALSE(state.run.zoomReady);
    // The commit press may be anywhere in the window.
    press({500, 400});
    const FractalParams& after = state.catalog[FractalType::Mandelbrot];
    EXPECT_EQ(after.xmin, before.xmin);
    EXPECT_EQ(after.ymax, before.ymax);
    EXPECT_EQ(after.xmax, static_cast<double>(159.0L * spanX / 160 + before.xmin));
    EXPECT_EQ(after.ymin, static_cast<double>(before.ymax - 119.0L * spanY / 120));
    // Iterations and colouring stay.
    EXPECT_EQ(after.iterations, before.iterations);
    EXPECT_EQ(window->statusPartCount(), 3);
    EXPECT_EQ(window->statusText(1), "x1: 0");

    // The posted Plot starts the new image at once.
    EXPECT_FALSE(state.run.plotting);
    QCoreApplication::processEvents();
    EXPECT_TRUE(state.run.plotting);
    window->loopPass();
    EXPECT_FALSE(window->imageView()->outlineVisible());
    EXPECT_EQ(state.plot.kernel.params.xmax, after.xmax);
    EXPECT_TRUE(window->statusText(1).startsWith("  xmax adjusted to: "));
}

TEST_F(ZoomBoxTest, ZoomedParamsFollowsTheFormulaForAnInnerBox) {
    FractalParams p = defaultParams(FractalType::Mandelbrot);
    const FractalParams z = zoomedParams(p, 40, 30, 120, 90, 160, 120, 4.0, 3.0);
    EXPECT_DOUBLE_EQ(z.xmin, p.xmin + 1.0);
    EXPECT_DOUBLE_EQ(z.xmax, p.xmin + 3.0);
    EXPECT_DOUBLE_EQ(z.ymax, p.ymax - 0.75);
    EXPECT_DOUBLE_EQ(z.ymin, p.ymax - 2.25);
}

TEST_F(ZoomBoxTest, ClickWithoutMovingCancelsAtOnce) {
    startFinished();
    press({50, 50});
    release({50, 50});
    EXPECT_TRUE(window->zoomBox().pending());
    QCoreApplication::processEvents();
    EXPECT_FALSE(window->zoomBox().pending());
    EXPECT_TRUE(state.run.zoomReady);
    EXPECT_EQ(window->statusPartCount(), 3);
    EXPECT_TRUE(window->statusText(1).startsWith("  xmax adjusted to: "));
    // A new box can be dragged right away.
    drag({10, 10}, {60, 60});
    EXPECT_TRUE(window->zoomBox().pending());
}

TEST_F(ZoomBoxTest, OnePixelWideBoxCancelsAndErasesItsOutline) {
    startFinished();
    press({20, 20});
    move({21, 60});
    EXPECT_TRUE(window->imageView()->outlineVisible());
    EXPECT_EQ(window->statusPartCount(), 6);
    release({21, 60});
    QCoreApplication::processEvents();
    EXPECT_FALSE(window->imageView()->outlineVisible());
    EXPECT_EQ(window->statusPartCount(), 3);
    char xmax[80];
    std::snprintf(xmax, sizeof xmax, "  xmax adjusted to: %.15f", state.plot.adjustedXmax());
    EXPECT_EQ(window->statusText(1), xmax);
    EXPECT_TRUE(state.run.zoomReady);
    EXPECT_FALSE(window->zoomBox().dragging());
}

TEST_F(ZoomBoxTest, RightPressThrowsAPendingBoxAway) {
    startFinished();
    const FractalParams before = state.catalog[FractalType::Mandelbrot];
    drag({10, 10}, {90, 70});
    press({30, 30}, Qt::RightButton);
    EXPECT_FALSE(window->zoomBox().pending());
    EXPECT_TRUE(state.run.zoomReady);
    EXPECT_FALSE(window->imageView()->outlineVisible());
    EXPECT_EQ(state.catalog[FractalType::Mandelbrot], before);
    QCoreApplication::processEvents();
    EXPECT_FALSE(state.run.plotting);
}

TEST_F(ZoomBoxTest, BoxStopsAtTheImageEdgeAndStartsOnlyOnTheImage) {
    startFinished();
    // The window is far larger than the 160 x 120 image.
    press({300, 50});
    move({350, 90});
    EXPECT_FALSE(window->zoomBox().dragging());
    EXPECT_FALSE(window->imageView()->outlineVisible());
    EXPECT_EQ(window->statusText(0), "     (350, 90)");
    press({100, 100});
    move({400, 500});
    EXPECT_EQ(window->zoomBox().box(), QRect(QPoint(100, 100), QPoint(159, 119)));
}

TEST_F(ZoomBoxTest, NoZoomOnAPausedOrRunningPlot) {
    ASSERT_EQ(start(), StartupCode::Ok);
    passes(5);
    drag({10, 10}, {60, 60});
    EXPECT_FALSE(window->zoomBox().pending());
    window->command(CommandId::Pause);
    drag({10, 10}, {60, 60});
    EXPECT_FALSE(window->zoomBox().pending());
    EXPECT_FALSE(window->imageView()->outlineVisible());
}

TEST_F(ZoomBoxTest, HiddenStatusBarIsNotWrittenButZoomWorks) {
    startFinished();
    window->command(CommandId::StatusBar);
    const std::vector<QString> before = statusTexts();
    drag({10, 10}, {90, 70});
    EXPECT_EQ(statusTexts(), before);
    EXPECT_EQ(window->statusPartCount(), 3);
    press({5, 5});
    EXPECT_NE(state.catalog[FractalType::Mandelbrot], defaultParams(FractalType::Mandelbrot));
    QCoreApplication::processEvents();
    EXPECT_TRUE(state.run.plotting);
}

TEST_F(ZoomBoxTest, ScrolledViewReportsImageCoordinates) {
    // A 640 x 480 image in a window smaller than it scrolls.
    startFinished({.sizeIndex = 5});
    window->resize(420, 360);
    QCoreApplication::processEvents();
    ASSERT_GE(window->scrollMaxX(), 100);
    ASSERT_GE(window->scrollMaxY(), 50);
    window->imageView()->horizontalScrollBar()->setValue(100);
    window->imageView()->verticalScrollBar()->setValue(50);
    press({10, 10});
    move({110, 60});
    EXPECT_EQ(statusTexts(),
              (std::vector<QString>{"     (210, 110)", "x1: 110", "x2: 210", "y1: 60", "y2: 110", "x/y: 2.000000"}));
    // The outline stays in window coordinates.
    EXPECT_EQ(window->imageView()->outline(), QRect(QPoint(10, 10), QPoint(110, 60)));
}

}  // namespace
}  // namespace fernwise::windowtest
