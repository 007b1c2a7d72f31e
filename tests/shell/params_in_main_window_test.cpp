#include <functional>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

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
            auto* dialog = qobject_cast<ParamsDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            fill(*dialog);
        });
        window->command(CommandId::Parameters);
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
    EXPECT_EQ(editor->editor()->toPlainText(), "Edit your notes here!");
    editor->editor()->setPlainText("zoom further at -0.75");
    editor->runCommand(NotesCommand::Exit);
    EXPECT_EQ(state.notesText, "zoom further at -0.75");
}

}  // namespace
}  // namespace fernwise::windowtest
