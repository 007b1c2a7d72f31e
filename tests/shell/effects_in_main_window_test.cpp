#include <QAction>
#include <QFile>
#include <QKeyEvent>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include "about_box.h"
#include "cycle_speed_dialog.h"
#include "level_set_progress.h"
#include "plasma_window.h"
#include "save_popup.h"
#include "window_test_support.h"

namespace fernwise::windowtest {
namespace {

// Counts the progress dialogs of the level-set pass and, when asked, presses
// Escape in the next one.
class PassWatcher : public QObject {
public:
    PassWatcher() { qApp->installEventFilter(this); }
    ~PassWatcher() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* dialog = qobject_cast<LevelSetProgressDialog*>(watched);
        if (dialog != nullptr && event->type() == QEvent::Show) {
            ++shown;
            if (escapeNext) {
                escapeNext = false;
                QWidget* cancel = dialog->cancelButton();
                QCoreApplication::postEvent(cancel,
                                            new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, "\x1b"));
            }
        }
        return false;
    }
    int shown = 0;
    bool escapeNext = false;
};

template <typename T>
T* topLevel() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* found = qobject_cast<T*>(w); found != nullptr && found->isVisible()) return found;
    }
    return nullptr;
}

void settle() {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

std::vector<std::uint32_t> pictureOf(const VirtualScreen& screen) {
    std::vector<std::uint32_t> out;
    for (int y = 0; y < screen.height(); ++y) {
        for (int x = 0; x < screen.width(); ++x) out.push_back(VirtualScreen::packRgb(screen.pixel(x, y)));
    }
    return out;
}

class EffectsTest : public WindowTest {
protected:
    void startTrueColor() {
        ASSERT_EQ(start({.displayBits = 32}), StartupCode::Ok);
        window->command(CommandId::Pause);
        window->command(CommandId::TrueColor);
    }
};

TEST_F(EffectsTest, CycleStepsRotateThePaletteAndTheGifCarriesTheRotation) {
    ASSERT_EQ(start({.displayBits = 8}), StartupCode::Ok);
    finishPlot();
    const PaletteEntries before = state.palette.entries;
    window->command(CommandId::Cycle);
    window->loopPass();
    window->command(CommandId::Cycle);
    const PaletteEntries& after = state.palette.entries;
    EXPECT_EQ(after[0], before[0]);
    EXPECT_EQ(after[1], before[2]);
    EXPECT_EQ(after[235], before[236]);
    EXPECT_EQ(after[255], before[1]);
    // The picture follows through the hardware palette, its pixels untouched.
    EXPECT_EQ(window->virtualScreen()->shownColors()[1], before[2].rgb());

    const QString path = testRoot() + "/cycled-table.gif";
    files.answers = {path};
    window->command(CommandId::SaveImage);
    settle();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray gif = file.readAll();
    ASSERT_GE(gif.size(), 13 + 768);
    for (int i = 0; i < paletteSize; ++i) {
        const auto at = 13 + 3 * i;
        ASSERT_EQ((Rgb{static_cast<std::uint8_t>(gif[at]), static_cast<std::uint8_t>(gif[at + 1]),
                       static_cast<std::uint8_t>(gif[at + 2])}),
                  after[static_cast<std::size_t>(i)].rgb())
            << i;
    }
    if (window->savePopup() != nullptr) window->savePopup()->close();

    // A full turn is 255 steps.
    for (int step = 1; step < 255; ++step) window->cycleStep();
    EXPECT_EQ(state.palette.entries, before);
}

TEST_F(EffectsTest, CyclingSpeedCommandRunsTheDialog) {
    ASSERT_EQ(start({.displayBits = 8}), StartupCode::Ok);
    finishPlot();
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<CycleSpeedDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->trackbar()->value(), 5);
        QTest::keyClick(dialog->trackbar(), Qt::Key_End);
        QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
    });
    window->command(CommandId::CyclingSpeed);
    EXPECT_EQ(state.cyclingPace.cycleSpeedPosition, 20);
    EXPECT_EQ(state.cyclingPace.cycleDelay, 0u);
}

TEST_F(EffectsTest, ReplottingTheSameWindowReusesTheLevelSets) {
    startTrueColor();
    PassWatcher watcher;
    window->command(CommandId::PlotFractal);
    finishPlot();
    EXPECT_EQ(watcher.shown, 1);
    EXPECT_EQ(topLevel<LevelSetProgressDialog>(), nullptr);
    const auto first = pictureOf(*window->virtualScreen());

    window->command(CommandId::PlotFractal);
    finishPlot();
    EXPECT_EQ(watcher.shown, 1);
    EXPECT_EQ(pictureOf(*window->virtualScreen()), first);

    // A new iteration limit samples again.
    state.catalog[FractalType::Mandelbrot].iterations = 300;
    window->command(CommandId::PlotFractal);
    finishPlot();
    EXPECT_EQ(watcher.shown, 2);
}

TEST_F(EffectsTest, EscapeInTheProgressDialogCancelsAndPostsPause) {
    startTrueColor();
    window->command(CommandId::PlotFractal);
    const QString before = window->statusText(1);
    PassWatcher watcher;
    watcher.escapeNext = true;
    EXPECT_EQ(window->plotStep(), 1);
    EXPECT_EQ(watcher.shown, 1);
    EXPECT_EQ(topLevel<LevelSetProgressDialog>(), nullptr);
    settle();  // the posted Pause
    EXPECT_FALSE(state.run.plotting);
    EXPECT_TRUE(state.plot.atPlotStart());
    EXPECT_TRUE(window->commandAction(200)->isEnabled());
    EXPECT_FALSE(window->commandAction(210)->isEnabled());
    EXPECT_EQ(window->statusText(1), before);

    // The next Plot samples again and finishes.
    window->command(CommandId::PlotFractal);
    finishPlot();
    EXPECT_EQ(watcher.shown, 2);
    EXPECT_TRUE(state.levelSets.tablesBuilt);
}

TEST_F(EffectsTest, AboutCommandHoldsTheWindowUntilAKey) {
    ASSERT_EQ(start({.displayBits = 16}), StartupCode::Ok);
    finishPlot();
    for (int round = 0; round < 2; ++round) {
        window->command(CommandId::About);
        AboutBox* about = topLevel<AboutBox>();
        ASSERT_NE(about, nullptr);
        EXPECT_FALSE(window->isEnabled());
        QTest::keyClick(about, Qt::Key_Space);
        settle();
        EXPECT_EQ(topLevel<AboutBox>(), nullptr);
        EXPECT_TRUE(window->isEnabled());
    }
    EXPECT_EQ(beeps.count, 1);  // the end of the plot only
}

TEST_F(EffectsTest, BackspaceOpensThePlasmaAndClosingBringsThePaletteBack) {
    ASSERT_EQ(start({.displayBits = 8}), StartupCode::Ok);
    finishPlot();
    const PaletteTable before = state.palette.table;
    QTest::keyClick(window->imageView(), Qt::Key_Backspace);
    settle();
    PlasmaWindow* plasma = topLevel<PlasmaWindow>();
    ASSERT_NE(plasma, nullptr);
    EXPECT_FALSE(window->isEnabled());
    EXPECT_EQ(plasma->phase(), PlasmaWindow::Phase::Animating);
    EXPECT_TRUE(state.plot.atPlotStart());
    EXPECT_NE(state.palette.table, before);
    // While the plasma animates the main loop steps nothing.
    window->command(CommandId::PlotFractal);
    window->loopPass();
    EXPECT_TRUE(state.plot.atPlotStart());
    window->command(CommandId::Pause);

    QTest::keyClick(plasma, Qt::Key_Return);
    QTest::keyClick(plasma, Qt::Key_Return);
    settle();
    EXPECT_EQ(topLevel<PlasmaWindow>(), nullptr);
    EXPECT_TRUE(window->isEnabled());
    EXPECT_EQ(state.palette.table, before);
    EXPECT_EQ(window->virtualScreen()->shownColors()[13], before[13]);
}

}  // namespace
}  // namespace fernwise::windowtest
