#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>

#include "dialog_test_support.h"
#include "level_set_progress.h"

namespace fernwise {
namespace {

using dialogtest::CapturedMessages;

// Keeps what the dialog showed just before the pass closed it.
class WatchedDisplay : public LevelSetPassDisplay {
public:
    using LevelSetPassDisplay::LevelSetPassDisplay;
    void passEnded() override {
        if (dialog() != nullptr) {
            barValue = dialog()->progressBar()->value();
            barMaximum = dialog()->progressBar()->maximum();
            texts.clear();
            for (QLabel* label : dialog()->findChildren<QLabel*>()) texts << label->text();
            ++ended;
        }
        LevelSetPassDisplay::passEnded();
    }
    int barValue = -1;
    int barMaximum = -1;
    QStringList texts;
    int ended = 0;
};

struct Plot {
    explicit Plot(int height = 64, int iterations = 64) : driver(48, height) {
        catalog[FractalType::Mandelbrot].iterations = iterations;
        driver.loadRecord(catalog, FractalType::Mandelbrot);
        driver.computeGeometry(1.0);
        driver.beginTrueColor(true);
    }
    FractalCatalog catalog;
    PlotDriver driver;
};

void postKey(QWidget* target, int key, const QString& text) {
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier, text));
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier, text));
}

void postClick(QWidget* target, Qt::MouseButton button) {
    const QPointF at(5, 5);
    QCoreApplication::postEvent(
        target, new QMouseEvent(QEvent::MouseButtonPress, at, target->mapToGlobal(at), button, button, Qt::NoModifier));
    QCoreApplication::postEvent(target, new QMouseEvent(QEvent::MouseButtonRelease, at, target->mapToGlobal(at), button,
                                                        Qt::NoButton, Qt::NoModifier));
}

TEST(LevelSetProgress, CompletedPassStepsEveryEighthRowAndCloses) {
    QWidget owner;
    WatchedDisplay display(&owner, nullptr);
    LevelSetProgressDialog* shown = nullptr;
    QObject::connect(&display, &LevelSetPassDisplay::dialogShown, [&](LevelSetProgressDialog* d) {
        shown = d;
        EXPECT_EQ(d->objectName(), "1000");
        EXPECT_EQ(d->cancelButton()->text(), "Cancel");
        EXPECT_EQ(d->cancelButton()->objectName(), "2");
        EXPECT_TRUE(d->isVisible());
        // Keys other than Escape are dropped.
        postKey(d->cancelButton(), Qt::Key_Space, " ");
        postKey(d->cancelButton(), Qt::Key_A, "a");
    });
    Plot plot(60);
    LevelSetState state;
    EXPECT_EQ(prepareLevelSetTables(state, plot.driver, PlotFlags{}, &display), 0);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(display.ended, 1);
    EXPECT_EQ(display.barMaximum, 60);
    EXPECT_EQ(display.barValue, 60);  // rows 0, 8, ..., 56: eight steps of 8, held at the end
    EXPECT_TRUE(display.texts.contains("Calculating level set gradients; the time required"));
    EXPECT_TRUE(display.texts.contains("    depends on iteration count and zoom depth."));
    EXPECT_EQ(display.dialog(), nullptr);
    EXPECT_TRUE(state.tablesBuilt);
}

TEST(LevelSetProgress, EscapeOnCancelEndsThePass) {
    QWidget owner;
    WatchedDisplay display(&owner, nullptr);
    QObject::connect(&display, &LevelSetPassDisplay::dialogShown,
                     [](LevelSetProgressDialog* d) { postKey(d->cancelButton(), Qt::Key_Escape, "\x1b"); });
    Plot plot(64);
    LevelSetState state;
    EXPECT_EQ(prepareLevelSetTables(state, plot.driver, PlotFlags{}, &display), levelSetPassCancelled);
    EXPECT_EQ(display.ended, 1);
    EXPECT_EQ(display.barValue, 8);  // cancelled after the first row
    EXPECT_EQ(display.dialog(), nullptr);
    EXPECT_FALSE(state.tablesBuilt);
}

TEST(LevelSetProgress, MousePressOnCancelEndsThePassAndOtherWindowsWait) {
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton}) {
        QWidget owner;
        QPushButton elsewhere("elsewhere");
        elsewhere.show();
        QSignalSpy clicked(&elsewhere, &QPushButton::clicked);
        WatchedDisplay display(&owner, nullptr);
        QObject::connect(&display, &LevelSetPassDisplay::dialogShown, [&](LevelSetProgressDialog* d) {
            // Input for the rest of the program is not answered during the pass.
            postClick(&elsewhere, Qt::LeftButton);
            postClick(d->cancelButton(), button);
        });
        Plot plot(64);
        LevelSetState state;
        EXPECT_EQ(prepareLevelSetTables(state, plot.driver, PlotFlags{}, &display), levelSetPassCancelled);
        EXPECT_EQ(clicked.count(), 0);
        EXPECT_EQ(display.dialog(), nullptr);
    }
}

TEST(LevelSetProgress, CloseRequestedDuringThePassWaitsForItsEnd) {
    // The pass works on tables the main window frees when it closes (say on
    // a termination signal): the close is made only after the pass.
    QWidget owner;
    owner.show();
    WatchedDisplay display(&owner, nullptr);
    bool visibleAtEnd = false;
    QObject::connect(&display, &LevelSetPassDisplay::dialogShown, [&](LevelSetProgressDialog*) {
        QMetaObject::invokeMethod(&owner, &QWidget::close, Qt::QueuedConnection);
    });
    Plot plot(40);
    LevelSetState state;
    EXPECT_EQ(prepareLevelSetTables(state, plot.driver, PlotFlags{}, &display), 0);
    visibleAtEnd = owner.isVisible();
    EXPECT_TRUE(visibleAtEnd);
    EXPECT_TRUE(state.tablesBuilt);
    QCoreApplication::processEvents();
    EXPECT_FALSE(owner.isVisible());
}

TEST(LevelSetProgress, MemoryProblemIsReportedUnderItsCaption) {
    struct Refuse : AllocationGate {
        bool allow(std::size_t) override { return false; }
    } refuse;
    QWidget owner;
    CapturedMessages messages;
    LevelSetPassDisplay display(&owner, &messages);
    QSignalSpy shown(&display, &LevelSetPassDisplay::dialogShown);
    Plot plot;
    LevelSetState state;
    EXPECT_EQ(prepareLevelSetTables(state, plot.driver, PlotFlags{}, &display, &refuse), 0);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text,
              "Insufficient memory for continuouspotential\ndata buffer. Try to free up some memory\n"
              "or select a smaller iteration limit.\nFudge method will be used.");
    EXPECT_EQ(messages.shown[0].caption, "Memory Problem");
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Warning);
    EXPECT_EQ(messages.shown[0].parent, &owner);
    EXPECT_EQ(shown.count(), 0);
    EXPECT_FALSE(plot.driver.levelSetTablesValid());
}

}  // namespace
}  // namespace fernwise
