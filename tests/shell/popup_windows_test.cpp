#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPointer>
#include <QTest>

#include "about_box.h"
#include "app_state.h"
#include "bitmap_resources.h"
#include "dialog_test_support.h"
#include "main_window.h"
#include "plasma_window.h"
#include "splash_window.h"
#include "virtual_screen.h"

namespace fernwise {
namespace {

using dialogtest::CapturedMessages;

class CountedBeeps : public BeepSeam {
public:
    void beep() override { ++count; }
    int count = 0;
};

PaletteTable defaultTable() {
    PaletteTable t{};
    loadPalette6(t, defaultPalette());
    return t;
}

TEST(Bitmaps, EightBitPicturesWithFullColorTablesInTheirSizes) {
    struct Expected {
        const char* name;
        int width;
        int height;
    };
    for (const Expected& e : {Expected{aboutBitmapName, 166, 200}, Expected{openingSplashBitmapName, 240, 240},
                              Expected{closingSplashBitmapName, 240, 240}}) {
        const QImage image = loadBitmapResource(e.name);
        ASSERT_FALSE(image.isNull()) << e.name;
        EXPECT_EQ(image.format(), QImage::Format_Indexed8);
        EXPECT_EQ(image.colorCount(), 256);
        EXPECT_EQ(image.width(), e.width);
        EXPECT_EQ(image.height(), e.height);
    }
    EXPECT_TRUE(loadBitmapResource("NOSUCHBITMAP").isNull());
}

struct SplashFixture {
    SplashFixture() {
        state.display.screenWidth = 1024;
        state.display.screenHeight = 768;
        state.palette.logicalPaletteSize = 236;
        screen = VirtualScreen::create(32, 24, PixelFormat::Indexed8);
        mainWindow.show();
        host.mainWindow = &mainWindow;
        host.state = &state;
        host.screen = screen.get();
    }
    AppState state;
    std::unique_ptr<VirtualScreen> screen;
    QWidget mainWindow;
    SplashHost host;
};

TEST(Splash, OpeningShowsTheBitmapInItsColorsThenLoadsTheDefaultPalette) {
    SplashFixture f;
    const PaletteTable bitmapColors = bitmapColorTable(loadBitmapResource(openingSplashBitmapName));
    QPointer<SplashWindow> seen;
    f.host.shown = [&](SplashWindow* splash) {
        seen = splash;
        EXPECT_TRUE(splash->isVisible());
        EXPECT_EQ(splash->size(), QSize(240, 240));
        EXPECT_EQ(splash->pos(), QPoint(512 - 120, 384 - 120));
        EXPECT_FALSE(splash->picture().isNull());
        EXPECT_FALSE(f.mainWindow.isEnabled());
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BlankCursor);
        EXPECT_EQ(f.state.palette.table, bitmapColors);
        EXPECT_EQ(f.state.run.modalDepth, 0);
    };
    EXPECT_EQ(showSplash(SplashKind::Opening, f.host, 0), 0);
    ASSERT_TRUE(seen);
    EXPECT_TRUE(f.mainWindow.isEnabled());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(f.state.run.modalDepth, 0);
    EXPECT_EQ(f.state.palette.table, defaultTable());
    EXPECT_EQ(f.screen->shownColors()[13], (Rgb{0, 0, 252}));
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(seen);
}

TEST(Splash, CloseRequestedDuringThePauseIsMadeAfterIt) {
    SplashFixture f;
    f.host.shown = [&](SplashWindow*) {
        QMetaObject::invokeMethod(&f.mainWindow, &QWidget::close, Qt::QueuedConnection);
    };
    showSplash(SplashKind::Opening, f.host, 0);
    EXPECT_TRUE(f.mainWindow.isVisible());
    QCoreApplication::processEvents();
    EXPECT_FALSE(f.mainWindow.isVisible());
}

TEST(Splash, ClosingBlanksTheWindowAndKeepsTheBitmapPalette) {
    SplashFixture f;
    int blanked = 0;
    f.host.blankMainWindow = [&] { ++blanked; };
    showSplash(SplashKind::Closing, f.host, 0);
    EXPECT_EQ(blanked, 1);
    EXPECT_EQ(f.state.palette.table, bitmapColorTable(loadBitmapResource(closingSplashBitmapName)));
    EXPECT_TRUE(f.mainWindow.isEnabled());
}

TEST(Splash, ThePauseLastsItsWholeTime) {
    // At two seconds, the closing splash's time: the length at which a
    // single-shot timer defaults to a coarse one.
    SplashFixture f;
    QElapsedTimer clock;
    clock.start();
    showSplash(SplashKind::Closing, f.host, 2000);
    EXPECT_GE(clock.elapsed(), 2000);
}

TEST(AboutBox, AnyCharacterOrClickClosesItWithoutABeep) {
    for (int way = 0; way < 3; ++way) {
        QWidget mainWindow;
        mainWindow.show();
        int closed = 0;
        QPointer<AboutBox> box = openAboutBox(&mainWindow, 1024, 768, nullptr, [&] { ++closed; });
        ASSERT_TRUE(box);
        EXPECT_EQ(box->size(), QSize(166, 200));
        EXPECT_EQ(box->pos(), QPoint(512 - 83, 384 - 100));
        EXPECT_FALSE(mainWindow.isEnabled());
        // Keys without a character (Shift, F1) leave it open.
        QTest::keyClick(box, Qt::Key_Shift);
        QTest::keyClick(box, Qt::Key_F1);
        EXPECT_EQ(closed, 0);
        if (way == 0) QTest::keyClick(box, Qt::Key_Q, Qt::NoModifier);
        if (way == 1) QTest::keyClick(box, Qt::Key_Escape);
        if (way == 2) QTest::mouseClick(box, Qt::RightButton);
        EXPECT_EQ(closed, 1);
        EXPECT_TRUE(mainWindow.isEnabled());
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_FALSE(box);
    }
}

TEST(AboutBox, MissingPictureReportsAMemoryProblem) {
    QWidget mainWindow;
    mainWindow.show();
    CapturedMessages messages;
    int closed = 0;
    EXPECT_EQ(openAboutBox(
                  &mainWindow, 1024, 768, &messages, [&] { ++closed; }, "NOSUCHBITMAP"),
              nullptr);
    EXPECT_EQ(closed, 1);
    EXPECT_TRUE(mainWindow.isEnabled());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Unable to allocate bitmap buffer.\nTry to free up some memory.");
    EXPECT_EQ(messages.shown[0].caption, "Memory Problem");
    EXPECT_EQ(messages.shown[0].parent, &mainWindow);
}

struct PlasmaFixture {
    explicit PlasmaFixture(bool paletteDevice) {
        state.flags.paletteDevice = paletteDevice;
        state.geometry.plasmaWidth = 1024 / 2 + 20;
        state.geometry.plasmaHeight = 768 / 2 + 20;
        state.palette.logicalPaletteSize = paletteDevice ? 236 : 256;
        loadPalette6(state.palette.table, defaultPalette());
        state.palette.table[7] = {1, 2, 3};
        buildLogicalPalette(state.palette);
        rotatePaletteEntries(state.palette.entries);  // cycled before
        before = state.palette.table;
        state.plot.setImageSize(64, 48);
        while (state.plot.rowCounter() > 5) state.plot.finishRow();  // a paused plot
        screen = VirtualScreen::create(64, 48, paletteDevice ? PixelFormat::Indexed8 : PixelFormat::Rgb32);
        screen->realize(*state.palette.logical);
        mainWindow.show();
        mainWindow.setEnabled(false);
    }
    PlasmaWindow* open(std::uint32_t seed) {
        auto* plasma = new PlasmaWindow(
            &mainWindow, state, [this] { return screenGone ? nullptr : screen.get(); }, &beeps,
            std::make_unique<SeededRandom>(seed));
        plasma->show();
        QApplication::sendPostedEvents(plasma, QEvent::MetaCall);
        return plasma;
    }
    AppState state;
    PaletteTable before{};
    std::unique_ptr<VirtualScreen> screen;
    bool screenGone = false;
    QWidget mainWindow;
    CountedBeeps beeps;
};

TEST(PlasmaWindow, AnimatesUntilEnterThenClosesOnTheSecondAndRestoresThePalette) {
    PlasmaFixture f(true);
    QPointer<PlasmaWindow> plasma = f.open(1234);
    EXPECT_TRUE(f.state.plot.atPlotStart());
    ASSERT_EQ(plasma->phase(), PlasmaWindow::Phase::Animating);
    EXPECT_EQ(f.state.cyclingPace.cycleDelay, 40u);
    EXPECT_EQ(f.state.run.modalDepth, 1);

    // The field sits in the middle of the window in the plasma's colours.
    PaletteTable plasmaColors{};
    loadPalette6(plasmaColors, plasmaPalette());
    const QPoint origin = plasma->fieldOrigin();
    EXPECT_EQ(origin, QPoint(266 - 160, 202 - 120));
    const std::uint8_t v = plasma->field().valueAt(10, 10);
    const Rgb c = plasmaColors[v];
    EXPECT_EQ(plasma->shownColor(origin.x() + 10, origin.y() + 10), qRgb(c.red, c.green, c.blue));
    EXPECT_EQ(plasma->shownColor(origin.x() - 1, origin.y()), qRgb(255, 255, 255));

    // One cycling step moves the colours; the pixel keeps its index.
    plasma->animationStep();
    const Rgb next = plasmaColors[v == 255 ? 1 : v + 1];
    EXPECT_EQ(plasma->shownColor(origin.x() + 10, origin.y() + 10), qRgb(next.red, next.green, next.blue));

    QTest::keyClick(plasma, Qt::Key_A);  // swallowed without a sound
    EXPECT_EQ(f.beeps.count, 0);
    QTest::keyClick(plasma, Qt::Key_Return);
    EXPECT_EQ(plasma->phase(), PlasmaWindow::Phase::Still);
    EXPECT_EQ(f.state.cyclingPace.cycleDelay, 100u);
    EXPECT_EQ(f.state.run.modalDepth, 0);
    // The still plasma keeps the colours where they stopped.
    EXPECT_EQ(plasma->shownColor(origin.x() + 10, origin.y() + 10), qRgb(next.red, next.green, next.blue));
    QTest::keyClick(plasma, Qt::Key_A);
    EXPECT_EQ(f.beeps.count, 1);

    QTest::keyClick(plasma, Qt::Key_Enter);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(plasma);
    EXPECT_EQ(f.state.palette.table, f.before);
    EXPECT_EQ(f.state.palette.entries[7], (PaletteEntry{1, 2, 3, 1}));  // rebuilt, not rotated
    EXPECT_EQ(f.screen->shownColors()[7], (Rgb{1, 2, 3}));
    EXPECT_TRUE(f.mainWindow.isEnabled());
    EXPECT_TRUE(f.state.plot.atPlotStart());
}

TEST(PlasmaWindow, ClicksStopAndCloseIt) {
    PlasmaFixture f(true);
    QPointer<PlasmaWindow> plasma = f.open(5);
    QTest::mouseClick(plasma, Qt::RightButton);
    EXPECT_EQ(plasma->phase(), PlasmaWindow::Phase::Still);
    QTest::mouseClick(plasma, Qt::LeftButton);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(plasma);
    EXPECT_EQ(f.state.palette.table, f.before);
}

TEST(PlasmaWindow, WithoutAPaletteTheFirstEnterClosesAndLettersBeep) {
    PlasmaFixture f(false);
    QPointer<PlasmaWindow> plasma = f.open(99);
    EXPECT_EQ(plasma->phase(), PlasmaWindow::Phase::Still);
    EXPECT_EQ(f.state.cyclingPace.cycleDelay, 100u);
    EXPECT_EQ(f.state.run.modalDepth, 0);
    QTest::keyClick(plasma, Qt::Key_B);
    EXPECT_EQ(f.beeps.count, 1);
    QTest::keyClick(plasma, Qt::Key_Return);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(plasma);
    EXPECT_EQ(f.state.palette.table, f.before);
}

TEST(PlasmaWindow, OutlivingTheVirtualScreenIsHarmless) {
    PlasmaFixture f(true);
    QPointer<PlasmaWindow> plasma = f.open(8);
    f.screenGone = true;  // the main window ended meanwhile
    plasma->animationStep();
    (void)plasma->shownColor(200, 200);
    plasma->repaint();
    QTest::keyClick(plasma, Qt::Key_Return);
    QTest::keyClick(plasma, Qt::Key_Return);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(plasma);
    EXPECT_EQ(f.state.palette.table, f.before);
}

TEST(PlasmaWindow, SameSeedSameField) {
    PlasmaFixture f(true);
    QPointer<PlasmaWindow> a = f.open(2024);
    QPointer<PlasmaWindow> b = f.open(2024);
    for (int y = 0; y < plasmaFieldHeight; ++y) {
        for (int x = 0; x < plasmaFieldWidth; ++x) ASSERT_EQ(a->field().valueAt(x, y), b->field().valueAt(x, y));
    }
    delete b.data();
    delete a.data();
}

}  // namespace
}  // namespace fernwise
