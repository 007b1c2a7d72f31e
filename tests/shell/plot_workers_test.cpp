// The window's rows come from worker threads; what it shows must be what the
// one-row-per-pass driver would have drawn at that moment, whatever the user
// changes while the plot runs.

#include <QElapsedTimer>
#include <QPaintEvent>
#include <QTest>

#include "window_test_support.h"

namespace fernwise::windowtest {
namespace {

class PlotWorkersTest : public WindowTest {};

struct Case {
    FractalType type;
    int displayBits;
    bool changesShow;  // whether the changes alter this picture at all
};

// The plot of the window's present record on this thread, one computeRow per
// row, with the flags `flagsBefore(row)` gives for each row.
template <typename FlagsAt>
std::unique_ptr<VirtualScreen> sequentialPlot(const AppState& state, PixelFormat format, FlagsAt flagsBefore) {
    auto screen = VirtualScreen::create(state.geometry.imageWidth, state.geometry.imageHeight, format);
    PlotDriver driver(state.geometry.imageWidth, state.geometry.imageHeight);
    driver.loadRecord(state.catalog, state.currentType);
    driver.computeGeometry(state.aspectFactor());
    screen->clear();
    driver.startKernels();
    do {
        driver.computeRow(*screen, state.palette, flagsBefore(driver.nextRow()));
    } while (!driver.finishRow());
    return screen;
}

bool sameRows(const VirtualScreen& a, const VirtualScreen& b) {
    const std::size_t bytes = a.bytesPerLine() * static_cast<std::size_t>(a.height());
    return a.bytesPerLine() == b.bytesPerLine() && a.height() == b.height() &&
           std::equal(a.bits(), a.bits() + bytes, b.bits());
}

TEST_F(PlotWorkersTest, ChangesDuringThePlotGiveTheRowsTheSequentialDriverWouldShow) {
    // Periodicity decides the inside points of Mandelbrot; special
    // colouring recolours Magnetism and Newton; both display kinds.
    const Case cases[] = {{FractalType::Mandelbrot, 32, true},
                          {FractalType::Mandelbrot, 8, true},
                          {FractalType::MagnetismIQ, 32, true},
                          {FractalType::Newton, 8, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.type));
        SCOPED_TRACE(c.displayBits);
        state = AppState{};
        state.currentType = c.type;
        ASSERT_EQ(start({.displayBits = c.displayBits}), StartupCode::Ok);
        ASSERT_GT(state.geometry.imageHeight, 20);

        passes(5);
        QTest::keyClick(window->imageView(), Qt::Key_Tab);
        passes(4);
        window->command(CommandId::Periodicity);
        passes(4);
        window->command(CommandId::Pause);
        passes(3);
        QTest::keyClick(window->imageView(), Qt::Key_Tab);
        window->command(CommandId::PlotFractal);
        finishPlot();

        const PlotFlags initial = [&] {
            PlotFlags f = state.flags;
            f.periodicityChecking = true;
            f.specialColoring = false;
            return f;
        }();
        const auto expected = sequentialPlot(state, window->virtualScreen()->format(), [&](int row) {
            PlotFlags f = initial;
            f.specialColoring = row >= 5 && row < 13;
            f.periodicityChecking = row < 9;
            return f;
        });
        EXPECT_TRUE(sameRows(*window->virtualScreen(), *expected));
        // The same settings from the start give another picture, so the
        // changes did reach the rows they were made before.
        const auto unchanged = sequentialPlot(state, window->virtualScreen()->format(), [&](int) { return initial; });
        if (c.changesShow) {
            EXPECT_FALSE(sameRows(*window->virtualScreen(), *unchanged));
        }
        TearDown();
    }
}

TEST_F(PlotWorkersTest, APassShowsNothingRatherThanWaitForASlowRow) {
    // Every point of this window is inside the set and runs to a limit high
    // enough that no row is done before a pass of a busy machine looks.
    FractalParams& mandelbrot = state.catalog[FractalType::Mandelbrot];
    mandelbrot.xmin = -0.3;
    mandelbrot.xmax = 0.1;
    mandelbrot.ymin = -0.2;
    mandelbrot.ymax = 0.2;
    mandelbrot.iterations = 4'000'000;
    state.flags.periodicityChecking = false;
    ASSERT_EQ(start({.rowWait = std::chrono::milliseconds::zero()}), StartupCode::Ok);

    passes(1);
    EXPECT_EQ(state.plot.nextRow(), 0);
    EXPECT_TRUE(state.run.plotting);
    // Pause stops the workers; nothing was drawn meanwhile.
    window->command(CommandId::Pause);
    passes(2);
    EXPECT_EQ(state.plot.nextRow(), 0);
}

// Notes, for each window row, whether the picture was repainted over it
// after the plot had drawn it.
class RowPaints final : public QObject {
public:
    explicit RowPaints(int height) : shown(static_cast<std::size_t>(height), false) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::Paint) return false;
        const QRect area = static_cast<QPaintEvent*>(event)->rect();
        for (int row = std::max(area.top(), 0); row <= area.bottom() && row < drawn; ++row) {
            shown[static_cast<std::size_t>(row)] = true;
        }
        return false;
    }
    int drawn = 0;
    std::vector<bool> shown;
};

TEST_F(PlotWorkersTest, RowsShowAsTheyArriveAndAreComputedOnce) {
    // Every point of this window is inside the set, so every row takes long;
    // passes do not wait for a row at all.
    FractalParams& mandelbrot = state.catalog[FractalType::Mandelbrot];
    mandelbrot.xmin = -0.3;
    mandelbrot.xmax = 0.1;
    mandelbrot.ymin = -0.2;
    mandelbrot.ymax = 0.2;
    mandelbrot.iterations = 2000;
    state.flags.periodicityChecking = false;
    ASSERT_EQ(start({.rowWait = std::chrono::milliseconds::zero()}), StartupCode::Ok);
    const int height = state.geometry.imageHeight;
    RowPaints paints(height);
    window->imageView()->viewport()->installEventFilter(&paints);

    bool firstRowShownDuringPlot = false;
    int rowsLeftUnshown = 0;
    QElapsedTimer clock;
    clock.start();
    while (state.run.plotting && clock.elapsed() < 20000) {
        const int before = paints.drawn;
        window->loopPass();
        paints.drawn = state.run.plotting ? state.plot.nextRow() : height;
        QCoreApplication::processEvents();
        if (paints.shown[0] && state.run.plotting) firstRowShownDuringPlot = true;
        // A pass that found no row ready has shown every row drawn so far.
        if (paints.drawn == before) {
            rowsLeftUnshown +=
                static_cast<int>(std::count(paints.shown.begin(), paints.shown.begin() + paints.drawn, false));
        }
    }
    EXPECT_FALSE(state.run.plotting);
    EXPECT_TRUE(firstRowShownDuringPlot);
    EXPECT_EQ(rowsLeftUnshown, 0);
    // Nothing changed during the plot: its rows went to the workers once.
    EXPECT_EQ(window->rowPipelinesStarted(), 1);
}

}  // namespace
}  // namespace fernwise::windowtest
