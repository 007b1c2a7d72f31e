#include <functional>

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include "history_dialog.h"
#include "notes_editor.h"
#include "params_dialog.h"
#include "window_test_support.h"

namespace fernwise::windowtest {
namespace {

class ParamsInMainWindowTest : public WindowTest {
protected:
    // Runs the Parameters command; `fill` acts on the dialog once it is up.
    void parameters(std::function<void(ParamsDialog&)> fill) {
        QTimer::singleShot(0, [fill] {
            ParamsDialog* dialog = openParamsDialog();
            ASSERT_NE(dialog, nullptr);
            fill(*dialog);
        });
        window->command(CommandId::Parameters);
        // Every way out gives the main window its input back.
        EXPECT_TRUE(window->isEnabled());
    }
    static void pressOk(ParamsDialog& dialog) {
        qobject_cast<QPushButton*>(dialog.control(ParamsDialogId::Ok))->click();
    }

    static qint64 historyFileSize() { return QFileInfo(QDir::current().filePath("history.txt")).size(); }
};

TEST_F(ParamsInMainWindowTest, PlotsAreRecordedOnlyWhenTypeWindowOrParametersChange) {
    QFile::remove(QDir::current().filePath("history.txt"));
    ASSERT_EQ(start(), StartupCode::Ok);
    finishPlot();
    EXPECT_EQ(state.history.historyCount, 2);
    const std::vector<std::string> first = state.history.listedLines();
    EXPECT_EQ(first[1], "     xmin: -2.350000000000000");
    const qint64 afterFirst = historyFileSize();
    EXPECT_GT(afterFirst, 0);

    // New iterations only: the next plot starts afresh but adds nothing.
    parameters([](ParamsDialog& dialog) {
        dialog.edit(ParamsDialogId::Iterations)->setText("500");
        pressOk(dialog);
    });
    EXPECT_EQ(state.catalog[FractalType::Mandelbrot].iterations, 500);
    window->command(CommandId::PlotFractal);
    finishPlot();
    EXPECT_EQ(state.history.historyCount, 2);
    EXPECT_EQ(historyFileSize(), afterFirst);

    // A new type is recorded, in the ring and in the file.
    parameters([](ParamsDialog& dialog) {
        qobject_cast<QComboBox*>(dialog.control(ParamsDialogId::TypeList))->setCurrentIndex(0);
        pressOk(dialog);
    });
    EXPECT_EQ(state.currentType, FractalType::Julia);
    window->command(CommandId::PlotFractal);
    finishPlot();
    EXPECT_EQ(state.history.historyCount, 3);
    EXPECT_EQ(state.history.listedLines()[0].rfind("Julia     ", 0), 0u);
    EXPECT_GT(historyFileSize(), afterFirst);
}

TEST_F(ParamsInMainWindowTest, CancelledDialogLeavesTheCatalogueAndStartsNoPlot) {
    ASSERT_EQ(start(), StartupCode::Ok);
    finishPlot();
    const FractalCatalog before = state.catalog;
    parameters([](ParamsDialog& dialog) {
        dialog.edit(ParamsDialogId::Xmin)->setText("0.5");
        dialog.reject();
    });
    EXPECT_TRUE(state.catalog == before);
    EXPECT_FALSE(state.run.plotting);
}

TEST_F(ParamsInMainWindowTest, NotesOpenedFromTheDialogKeepTheirTextForTheRun) {
    ASSERT_EQ(start(), StartupCode::Ok);
    finishPlot();
    EXPECT_EQ(state.notesText, "Edit your notes here!");
    parameters([](ParamsDialog& dialog) {
        qobject_cast<QPushButton*>(dialog.control(ParamsDialogId::Notes))->click();
        pressOk(dialog);
    });
    NotesEditor* editor = window->findChild<NotesEditor*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->isVisible());
    EXPECT_TRUE(editor->isEnabled());
    EXPECT_EQ(editor->editor()->toPlainText(), "Edit your notes here!");
    editor->editor()->setPlainText("zoom further at -0.75");
    editor->runCommand(NotesCommand::Exit);
    EXPECT_EQ(state.notesText, "zoom further at -0.75");
}

// Input sent the way the window system sends it, so that it meets whatever
// blocks a window; the point is in the widget's coordinates.
void clickThroughWindow(QWidget* widget, QPoint at) {
    QTest::mouseClick(widget->window()->windowHandle(), Qt::LeftButton, {}, widget->mapTo(widget->window(), at));
}

TEST_F(ParamsInMainWindowTest, HistoryIsTheMainWindowsAndTakesInputWhileParametersBlocksTheMainWindow) {
    ASSERT_EQ(start(), StartupCode::Ok);
    finishPlot();
    const bool special = state.flags.specialColoring;
    const QString readout = window->statusText(0);
    QPointer<HistoryDialog> kept;
    parameters([&](ParamsDialog& dialog) {
        auto* historyButton = qobject_cast<QPushButton*>(dialog.control(ParamsDialogId::History));
        for (int i = 0; i < 3; ++i) clickThroughWindow(historyButton, historyButton->rect().center());
        const QList<HistoryDialog*> histories = window->findChildren<HistoryDialog*>();
        ASSERT_EQ(histories.size(), 3);
        for (HistoryDialog* history : histories) {
            ASSERT_NE(history->windowHandle(), nullptr);
            EXPECT_EQ(history->windowHandle()->transientParent(), window->windowHandle());
        }

        // The History windows scroll, and close with their OK and with Esc
        // (closed, they are deleted).
        const QPointer<HistoryDialog> first = histories[0];
        const QPointer<HistoryDialog> second = histories[1];
        kept = histories[2];
        QScrollBar* scroll = first->list()->verticalScrollBar();
        first->resize(320, 120);
        QCoreApplication::processEvents();
        ASSERT_GT(scroll->maximum(), 0);
        first->activateWindow();
        first->list()->setFocus();
        QTest::keyClick(first->windowHandle(), Qt::Key_End);
        EXPECT_EQ(scroll->value(), scroll->maximum());
        auto* ok = first->findChild<QPushButton*>("1");
        clickThroughWindow(ok, ok->rect().center());
        EXPECT_TRUE(!first || !first->isVisible());
        second->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(second.data()));
        QTest::keyClick(second->windowHandle(), Qt::Key_Escape);
        EXPECT_TRUE(!second || !second->isVisible());

        // The main window meanwhile takes no click, key or accelerator, not
        // even one pressed in a History window.
        requested.clear();
        QWidget* view = window->imageView()->viewport();
        QTest::mouseMove(window->windowHandle(), view->mapTo(window.get(), QPoint(40, 30)));
        clickThroughWindow(view, QPoint(40, 30));
        QTest::keyClick(window->windowHandle(), Qt::Key_Tab);
        QTest::keyClick(window->windowHandle(), Qt::Key_F3);
        kept->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(kept.data()));
        QTest::keyClick(kept->windowHandle(), Qt::Key_F3);
        QTest::keyClick(kept->windowHandle(), Qt::Key_F12);
        EXPECT_TRUE(requested.empty());
        EXPECT_FALSE(state.run.plotting);
        EXPECT_EQ(state.flags.specialColoring, special);
        EXPECT_EQ(window->statusText(0), readout);
        // Nor does its close box work; the dialog's own does, as Cancel.
        QCloseEvent closeMain;
        QCoreApplication::sendEvent(window->windowHandle(), &closeMain);
        EXPECT_FALSE(window->destroyed());
        EXPECT_TRUE(dialog.isVisible());
        QCloseEvent closeDialog;
        QCoreApplication::sendEvent(dialog.windowHandle(), &closeDialog);
    });
    EXPECT_FALSE(openParamsDialog());
    // The History window left open outlives the dialog, still the main window's.
    ASSERT_TRUE(kept);
    EXPECT_TRUE(kept->isVisible());
    EXPECT_TRUE(kept->isEnabled());
    EXPECT_EQ(kept->windowHandle()->transientParent(), window->windowHandle());
    // The next Parameters dialog leaves it usable too.
    parameters([&](ParamsDialog& dialog) {
        EXPECT_FALSE(window->isEnabled());
        EXPECT_TRUE(kept->isEnabled());
        dialog.reject();
    });
    // The main window's keys work again.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window->windowHandle(), Qt::Key_F3);
    EXPECT_EQ(requested, std::vector<int>{200});
}

}  // namespace
}  // namespace fernwise::windowtest
