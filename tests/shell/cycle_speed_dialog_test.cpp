#include <gtest/gtest.h>

#include <QPushButton>
#include <QSlider>
#include <QTest>

#include "app_state.h"
#include "cycle_speed_dialog.h"

namespace fernwise {
namespace {

TEST(CycleSpeedDialog, FirstOpeningShowsFiveAndOkGivesItsPause) {
    AppState state;
    CycleSpeedDialog dialog(state.cyclingPace.cycleSpeedPosition, state.cyclingPace.cycleDelay);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "     Select color-cycling speed");
    EXPECT_EQ(dialog.trackbar()->objectName(), "910");
    EXPECT_EQ(dialog.trackbar()->minimum(), 0);
    EXPECT_EQ(dialog.trackbar()->maximum(), 20);
    EXPECT_EQ(dialog.trackbar()->value(), 5);
    EXPECT_EQ(state.cyclingPace.cycleDelay, 100u);
    QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), 1);
    EXPECT_EQ(state.cyclingPace.cycleDelay, 150u);
}

TEST(CycleSpeedDialog, ThumbIsRememberedAtOnceButThePauseChangesOnlyWithOk) {
    AppState state;
    {
        CycleSpeedDialog dialog(state.cyclingPace.cycleSpeedPosition, state.cyclingPace.cycleDelay);
        dialog.show();
        QTest::keyClick(dialog.trackbar(), Qt::Key_End);  // "fast"
        EXPECT_EQ(state.cyclingPace.cycleSpeedPosition, 20);
        EXPECT_EQ(state.cyclingPace.cycleDelay, 100u);
        QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
        EXPECT_EQ(state.cyclingPace.cycleDelay, 0u);
    }
    {
        // The next opening starts where the thumb was left.
        CycleSpeedDialog dialog(state.cyclingPace.cycleSpeedPosition, state.cyclingPace.cycleDelay);
        dialog.show();
        EXPECT_EQ(dialog.trackbar()->value(), 20);
        QTest::keyClick(dialog.trackbar(), Qt::Key_Home);  // "slow"
        QTest::keyClick(dialog.trackbar(), Qt::Key_Right);
        EXPECT_EQ(state.cyclingPace.cycleSpeedPosition, 1);
        QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
        EXPECT_EQ(state.cyclingPace.cycleDelay, 190u);
    }
}

TEST(CycleSpeedDialog, EscapeAndTheCloseBoxDoNothing) {
    AppState state;
    CycleSpeedDialog dialog(state.cyclingPace.cycleSpeedPosition, state.cyclingPace.cycleDelay);
    dialog.show();
    QTest::keyClick(dialog.trackbar(), Qt::Key_PageUp);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.close());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(state.cyclingPace.cycleDelay, 100u);
    QTest::keyClick(dialog.okButton(), Qt::Key_Space);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(state.cyclingPace.cycleSpeedPosition, 9);  // one page of four
    EXPECT_EQ(state.cyclingPace.cycleDelay, 110u);
}

}  // namespace
}  // namespace fernwise
