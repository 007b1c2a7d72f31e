// The windows the main window opens as top-level windows of their own ask it
// for its screen, so they must go with it, whichever way it goes.
#include <QApplication>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

#include "plasma_window.h"
#include "window_test_support.h"

namespace fernwise::windowtest {
namespace {

class MainWindowLifetimeTest : public WindowTest {
protected:
    QPointer<QWidget> openPlasma() {
        finishPlot();
        QTest::keyClick(window->imageView(), Qt::Key_Backspace);
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<PlasmaWindow*>(widget) != nullptr) return widget;
        }
        return nullptr;
    }
};

TEST_F(MainWindowLifetimeTest, DestroyingTheMainWindowTakesItsPlasmaWindowAlong) {
    // Its drawing is still queued when the main window goes: it must never
    // reach the freed window (the sanitizer build sees it if it does).
    for (const int displayBits : {32, 8}) {
        ASSERT_EQ(start({.displayBits = displayBits}), StartupCode::Ok);
        QPointer<QWidget> plasma = openPlasma();
        ASSERT_TRUE(plasma) << displayBits;
        window.reset();
        QCoreApplication::processEvents();
        EXPECT_FALSE(plasma) << displayBits;
        state = AppState{};
    }
}

TEST_F(MainWindowLifetimeTest, ClosingTheMainWindowClosesItsPlasmaWindowAndGivesThePaletteBack) {
    // Without the closing splash, which brings a palette of its own.
    ASSERT_EQ(start({.displayBits = 8, .splashAvailable = false}), StartupCode::Ok);
    finishPlot();
    const PaletteTable before = state.palette.table;
    QPointer<QWidget> plasma = openPlasma();
    ASSERT_TRUE(plasma);
    QCoreApplication::processEvents();
    EXPECT_NE(state.palette.table, before);
    window->close();
    EXPECT_FALSE(plasma);
    EXPECT_EQ(state.palette.table, before);
    EXPECT_EQ(quitCodes, std::vector<int>{0});
}

}  // namespace
}  // namespace fernwise::windowtest
