#include <memory>

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include "app_state.h"
#include "dialog_test_support.h"
#include "file_dialogs.h"
#include "history_dialog.h"
#include "notes_editor.h"
#include "params_dialog.h"
#include "plot_history.h"
#include "settings.h"

namespace fernwise {
namespace {

using Id = ParamsDialogId;
using dialogtest::CapturedMessages;

class ParamsDialogTest : public ::testing::Test {
protected:
    void SetUp() override { open(); }

    void open() {
        dialog = std::make_unique<ParamsDialog>(&owner, catalog, type, messages,
                                                ParamsDialogCompanions{&notes, &fileDialogs, &history});
        dialog->show();
    }

    QLineEdit* field(Id id) const { return dialog->edit(id); }
    QString text(Id id) const { return field(id)->text(); }
    bool enabled(Id id) const { return dialog->control(id)->isEnabled(); }
    QString label(Id id) const { return qobject_cast<QLabel*>(dialog->control(id))->text(); }
    QComboBox* typeList() const { return qobject_cast<QComboBox*>(dialog->control(Id::TypeList)); }
    QAbstractButton* button(Id id) const { return qobject_cast<QAbstractButton*>(dialog->control(id)); }

    // Types into a field the way the user does: select everything, then keys.
    void enter(Id id, const QString& value) {
        field(id)->selectAll();
        QTest::keyClick(field(id), Qt::Key_Delete);
        QTest::keyClicks(field(id), value);
    }
    void click(Id id) { QTest::mouseClick(button(id), Qt::LeftButton); }
    void spin(Id spinId, const char* direction) {
        QTest::mouseClick(dialog->control(spinId)->findChild<QToolButton*>(direction), Qt::LeftButton);
    }
    void chooseType(FractalType t) { typeList()->setCurrentIndex(static_cast<int>(t)); }

    // OK, then the posted error message (if any) is delivered.
    void pressOk() {
        click(Id::Ok);
        QCoreApplication::processEvents();
    }
    bool closedWith(int result) const { return !dialog->isVisible() && dialog->result() == result; }

    // Expects OK to fail with exactly this one message, leaving the dialog
    // open and the catalogue as it was.
    void expectRefused(const char* message) {
        const FractalCatalog before = catalog;
        messages.shown.clear();
        pressOk();
        ASSERT_EQ(messages.shown.size(), 1u) << message;
        EXPECT_EQ(messages.shown[0].text, message);
        EXPECT_EQ(messages.shown[0].caption, "Parameter Error");
        EXPECT_EQ(messages.shown[0].icon, MessageIcon::Warning);
        EXPECT_EQ(messages.shown[0].parent, dialog.get());
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_TRUE(catalog == before);
    }

    QWidget owner;
    FractalCatalog catalog;
    FractalType type = FractalType::Mandelbrot;
    CapturedMessages messages;
    dialogtest::ScriptedFileDialogs files;
    Settings settings;
    bool saveDialogBusy = false;
    FileDialogs fileDialogs{files, &settings, saveDialogBusy};
    PlotHistory history;
    std::string notes = initialNotesText;
    std::unique_ptr<ParamsDialog> dialog;
};

TEST_F(ParamsDialogTest, FreshStartShowsTheMandelbrotRecord) {
    EXPECT_EQ(dialog->windowTitle(), "Select New Fractal Parameters");
    ASSERT_EQ(typeList()->count(), fractalTypeCount);
    const char* names[] = {"Julia",
                           "Magnetism I, Q plane",
                           "Magnetism I, Z plane",
                           "Magnetism II, Q plane",
                           "Magnetism II, Z plane",
                           "Mandelbrot",
                           "Newton",
                           "Self-Squared Dragons",
                           "Sine",
                           "Tile Julia",
                           "Volterra-Lotka"};
    for (int i = 0; i < fractalTypeCount; ++i) EXPECT_EQ(typeList()->itemText(i), names[i]);
    EXPECT_EQ(typeList()->currentText(), "Mandelbrot");

    EXPECT_EQ(text(Id::Xmin), "-2.350000000000000");
    EXPECT_EQ(text(Id::Xmax), "1.250000000000000");
    EXPECT_EQ(text(Id::Ymin), "-1.350000000000000");
    EXPECT_EQ(text(Id::Ymax), "1.350000000000000");
    EXPECT_EQ(text(Id::Param1), "0.000000000000000");
    EXPECT_EQ(text(Id::Iterations), "256");
    EXPECT_EQ(text(Id::SizeLimit), "16.00000000");
    EXPECT_EQ(text(Id::OutsideColor), "0");
    EXPECT_EQ(text(Id::BinaryOffset), "24");
    EXPECT_EQ(text(Id::InsideColor), "0");
    EXPECT_TRUE(button(Id::MappingStandard)->isChecked());
    EXPECT_TRUE(button(Id::OutsideStandard)->isChecked());
    EXPECT_TRUE(button(Id::InsideSolid)->isChecked());

    // The texts and groups the user reads, with their ids.
    EXPECT_EQ(button(Id::Notes)->text(), "Notes");
    EXPECT_EQ(button(Id::History)->text(), "History");
    EXPECT_EQ(qobject_cast<QGroupBox*>(dialog->control(Id::OutsideGroup))->title(), " outside coloring ");
    EXPECT_EQ(button(Id::OutsideBinary)->text(), "binary decomposition - select offset for second color:");
    EXPECT_EQ(button(Id::InsideBof34)->text(), "BOF 34");
}

TEST_F(ParamsDialogTest, EachTypeRelabelsAndRefillsEveryField) {
    struct Expected {
        FractalType type;
        const char* label1;
        const char* label2;
        bool param1;
        bool param2;
    };
    const Expected table[] = {
        {FractalType::Julia, "cx:   ", "cy:   ", true, true},
        {FractalType::MagnetismIQ, "      ", "      ", false, false},
        {FractalType::MagnetismIZ, "qx:   ", "qy:   ", true, true},
        {FractalType::MagnetismIIQ, "      ", "      ", false, false},
        {FractalType::MagnetismIIZ, "qx:   ", "qy:   ", true, true},
        {FractalType::Mandelbrot, "      ", "      ", false, false},
        {FractalType::Newton, "n:    ", "basin:", true, true},
        {FractalType::SelfSquaredDragons, "cx:   ", "cy:   ", true, true},
        {FractalType::Sine, "E:    ", "      ", true, false},
        {FractalType::TileJulia, "cx:   ", "cy:   ", true, true},
        {FractalType::VolterraLotka, "h:    ", "p:    ", true, true},
    };
    for (const Expected& e : table) {
        // Typing that is not confirmed is lost with the switch.
        enter(Id::Xmin, "0.125");
        enter(Id::Iterations, "77");
        chooseType(e.type);
        const char* name = fractalTypeName(e.type).data();
        EXPECT_EQ(type, e.type) << name;
        EXPECT_EQ(label(Id::Param1Label), e.label1) << name;
        EXPECT_EQ(label(Id::Param2Label), e.label2) << name;
        EXPECT_EQ(enabled(Id::Param1), e.param1) << name;
        EXPECT_EQ(enabled(Id::Param2), e.param2) << name;

        const FractalParams& p = catalog[e.type];
        EXPECT_EQ(text(Id::Xmin).toStdString(), formatWindowEdge(p.xmin)) << name;
        EXPECT_EQ(text(Id::Ymax).toStdString(), formatWindowEdge(p.ymax)) << name;
        EXPECT_EQ(text(Id::Param1).toStdString(), formatFixed(p.param1, 15)) << name;
        EXPECT_EQ(text(Id::Param2).toStdString(), formatFixed(p.param2, 15)) << name;
        EXPECT_EQ(text(Id::Iterations), QString::number(p.iterations)) << name;
        EXPECT_EQ(text(Id::BinaryOffset), QString::number(p.binaryOffset)) << name;
        EXPECT_TRUE(button(static_cast<Id>(730 + static_cast<int>(p.outsideColoring)))->isChecked()) << name;
        EXPECT_TRUE(button(static_cast<Id>(760 + static_cast<int>(p.insideColoring)))->isChecked()) << name;
        const bool outsideSolid = p.outsideColoring == OutsideColoring::Solid;
        const bool insideSolid = p.insideColoring == InsideColoring::Solid;
        EXPECT_EQ(enabled(Id::OutsideColor), outsideSolid) << name;
        EXPECT_EQ(enabled(Id::OutsideColorSpin), outsideSolid) << name;
        EXPECT_FALSE(enabled(Id::BinaryOffset)) << name;
        EXPECT_EQ(enabled(Id::InsideColor), insideSolid) << name;
        EXPECT_EQ(enabled(Id::InsideColorSpin), insideSolid) << name;
    }
    chooseType(FractalType::VolterraLotka);
    EXPECT_EQ(text(Id::Xmin), "0.000000000000000E+00");
    chooseType(FractalType::Sine);
    EXPECT_EQ(text(Id::SizeLimit), "256.00000000");
    chooseType(FractalType::SelfSquaredDragons);
    EXPECT_EQ(text(Id::SizeLimit), "2.00000000");
    EXPECT_TRUE(catalog == FractalCatalog());
}

TEST_F(ParamsDialogTest, ColoringChoicesEnableTheirAttributeFields) {
    click(Id::OutsideSolid);
    EXPECT_TRUE(enabled(Id::OutsideColor));
    EXPECT_TRUE(enabled(Id::OutsideColorSpin));
    EXPECT_FALSE(enabled(Id::BinaryOffset));
    click(Id::OutsideBinary);
    EXPECT_FALSE(enabled(Id::OutsideColor));
    EXPECT_TRUE(enabled(Id::BinaryOffset));
    EXPECT_TRUE(enabled(Id::BinaryOffsetSpin));
    click(Id::OutsideKirlian);
    EXPECT_FALSE(enabled(Id::OutsideColor));
    EXPECT_FALSE(enabled(Id::BinaryOffsetSpin));
    click(Id::InsideZMag);
    EXPECT_FALSE(enabled(Id::InsideColor));
    EXPECT_FALSE(enabled(Id::InsideColorSpin));
    click(Id::InsideSolid);
    EXPECT_TRUE(enabled(Id::InsideColor));

    click(Id::MappingInversion);
    click(Id::OutsideFausto);
    click(Id::InsideBof33);
    pressOk();
    ASSERT_TRUE(closedWith(paramsDialogOk));
    EXPECT_EQ(catalog[FractalType::Mandelbrot].mappingMode, MappingMode::Inversion);
    EXPECT_EQ(catalog[FractalType::Mandelbrot].outsideColoring, OutsideColoring::Fausto);
    EXPECT_EQ(catalog[FractalType::Mandelbrot].insideColoring, InsideColoring::Bof33);
}

TEST_F(ParamsDialogTest, WindowBoundsAreSwappedAndClampedSilently) {
    enter(Id::Xmin, "1");
    enter(Id::Xmax, "-1");
    enter(Id::Ymin, "-100");
    enter(Id::Ymax, "100");
    pressOk();
    EXPECT_TRUE(messages.shown.empty());
    ASSERT_TRUE(closedWith(paramsDialogOk));
    const FractalParams& m = catalog[FractalType::Mandelbrot];
    EXPECT_EQ(m.xmin, -1.0);
    EXPECT_EQ(m.xmax, 1.0);
    EXPECT_EQ(m.ymin, -4.5);
    EXPECT_EQ(m.ymax, 4.5);

    open();
    chooseType(FractalType::Newton);
    enter(Id::Xmin, "-100");
    enter(Id::Xmax, "100");
    pressOk();
    ASSERT_TRUE(closedWith(paramsDialogOk));
    EXPECT_EQ(catalog[FractalType::Newton].xmin, -20.0);
    EXPECT_EQ(catalog[FractalType::Newton].xmax, 20.0);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ParamsDialogTest, OnlyTheFirstFailingFieldIsReported) {
    enter(Id::Xmin, "0");
    enter(Id::Xmax, "0");
    enter(Id::Iterations, "0");
    expectRefused("xmin and xmax must not be equal");
    // The fields keep what was typed.
    EXPECT_EQ(text(Id::Xmin), "0");
    EXPECT_EQ(text(Id::Iterations), "0");
    EXPECT_EQ(dialog->paramErrorCode(), 0);

    enter(Id::Xmax, "1");
    expectRefused("iteration range: 1 to 16384");

    // xmax is lowered to 6 first, which makes the pair equal.
    enter(Id::Iterations, "100");
    enter(Id::Xmin, "6");
    enter(Id::Xmax, "9");
    expectRefused("xmin and xmax must not be equal");
}

TEST_F(ParamsDialogTest, EveryRangeHasItsMessage) {
    struct Case {
        FractalType type;
        Id field;
        const char* entry;
        const char* message;
    };
    const Case cases[] = {
        {FractalType::Mandelbrot, Id::Ymin, "1.35", "ymin and ymax must not be equal"},
        {FractalType::Mandelbrot, Id::Iterations, "16385", "iteration range: 1 to 16384"},
        {FractalType::Mandelbrot, Id::Iterations, "many", "iteration range: 1 to 16384"},
        {FractalType::Mandelbrot, Id::SizeLimit, "0.5", "size range: 1.0 to 256.0"},
        {FractalType::Mandelbrot, Id::SizeLimit, "300", "size range: 1.0 to 256.0"},
        {FractalType::Mandelbrot, Id::InsideColor, "256", "color attribute range: 0 to 255"},
        // A disabled field is still read and checked.
        {FractalType::Mandelbrot, Id::OutsideColor, "-1", "color attribute range: 0 to 255"},
        {FractalType::Mandelbrot, Id::BinaryOffset, "0", "offset attribute range: 1 to 255"},
        {FractalType::Julia, Id::Param1, "0.6", "cx range: -2.0 to 0.5"},
        {FractalType::TileJulia, Id::Param2, "-1.6", "cy range: -1.5 to 1.5"},
        {FractalType::MagnetismIZ, Id::Param1, "5.5", "qx range: -2.0 to 5.0"},
        {FractalType::MagnetismIIZ, Id::Param2, "-0.1", "qy range: 0.0 to 5.0"},
        {FractalType::Newton, Id::Param1, "25", "degree range: 2 to 20"},
        {FractalType::SelfSquaredDragons, Id::Param1, "4.5", "cx range: -2.0 to 4.0"},
        {FractalType::SelfSquaredDragons, Id::Param2, "2.5", "cy range: -2.0 to 2.0"},
        {FractalType::Sine, Id::Param1, "-4.5", "epsilon range: -4.0 to 4.0"},
        {FractalType::VolterraLotka, Id::Param1, "1.5", "h and p range: 0.0 to 1.0"},
        {FractalType::VolterraLotka, Id::Param2, "-0.5", "h and p range: 0.0 to 1.0"},
    };
    for (const Case& c : cases) {
        open();
        chooseType(c.type);
        // A disabled field cannot be typed into, but what it holds is read.
        if (field(c.field)->isEnabled()) {
            enter(c.field, c.entry);
        } else {
            field(c.field)->setText(c.entry);
        }
        expectRefused(c.message);
        EXPECT_FALSE(dialog->result() == paramsDialogOk) << c.message;
    }
}

TEST_F(ParamsDialogTest, SizeLimitIsStoredSquaredAndShownAsEntered) {
    enter(Id::SizeLimit, "2");
    pressOk();
    ASSERT_TRUE(closedWith(paramsDialogOk));
    EXPECT_EQ(catalog[FractalType::Mandelbrot].sizeLimit, 4.0);
    open();
    EXPECT_EQ(text(Id::SizeLimit), "2.00000000");
}

TEST_F(ParamsDialogTest, SpinningStepsTheTypedNumberWithinItsRange) {
    enter(Id::Iterations, "1");
    spin(Id::IterationsSpin, "down");
    EXPECT_EQ(text(Id::Iterations), "0");
    spin(Id::IterationsSpin, "down");
    EXPECT_EQ(text(Id::Iterations), "0");
    expectRefused("iteration range: 1 to 16384");

    enter(Id::Iterations, "16383");
    spin(Id::IterationsSpin, "up");
    spin(Id::IterationsSpin, "up");
    EXPECT_EQ(text(Id::Iterations), "16384");
    QTest::keyClick(field(Id::Iterations), Qt::Key_Down);
    EXPECT_EQ(text(Id::Iterations), "16383");

    click(Id::OutsideBinary);
    enter(Id::BinaryOffset, "2");
    spin(Id::BinaryOffsetSpin, "down");
    spin(Id::BinaryOffsetSpin, "down");
    EXPECT_EQ(text(Id::BinaryOffset), "1");
    pressOk();
    ASSERT_TRUE(closedWith(paramsDialogOk));
    EXPECT_EQ(catalog[FractalType::Mandelbrot].iterations, 16383);
    EXPECT_EQ(catalog[FractalType::Mandelbrot].binaryOffset, 1);
}

TEST_F(ParamsDialogTest, TypeParametersFollowTheirType) {
    // Mandelbrot stores zero whatever its disabled fields hold.
    field(Id::Param1)->setText("1.5");
    field(Id::Param2)->setText("junk");
    catalog[FractalType::Mandelbrot].param1 = 0.25;
    pressOk();
    ASSERT_TRUE(closedWith(paramsDialogOk));
    EXPECT_EQ(catalog[FractalType::Mandelbrot].param1, 0.0);
    EXPECT_EQ(catalog[FractalType::Mandelbrot].param2, 0.0);

    // Newton's basin takes any number; its degree keeps the typed fraction.
    open();
    chooseType(FractalType::Newton);
    enter(Id::Param1, "3.7");
    enter(Id::Param2, "-12345.5");
    pressOk();
    ASSERT_TRUE(closedWith(paramsDialogOk));
    EXPECT_EQ(catalog[FractalType::Newton].param1, 3.7);
    EXPECT_EQ(catalog[FractalType::Newton].param2, -12345.5);

    // Sine's second parameter is not read and keeps what it held.
    catalog[FractalType::Sine].param2 = 0.75;
    open();
    chooseType(FractalType::Sine);
    field(Id::Param2)->setText("3");
    enter(Id::Param1, "  -2.5e0xyz");  // a number prefix after blanks
    pressOk();
    ASSERT_TRUE(closedWith(paramsDialogOk));
    EXPECT_EQ(catalog[FractalType::Sine].param1, -2.5);
    EXPECT_EQ(catalog[FractalType::Sine].param2, 0.75);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ParamsDialogTest, EditedValuesSurviveSwitchingTypes) {
    chooseType(FractalType::Julia);
    enter(Id::Param1, "-0.75");
    enter(Id::Param2, "0.1");
    pressOk();
    ASSERT_TRUE(closedWith(paramsDialogOk));
    EXPECT_EQ(type, FractalType::Julia);

    open();
    EXPECT_EQ(typeList()->currentText(), "Julia");
    chooseType(FractalType::Newton);
    pressOk();
    open();
    chooseType(FractalType::Julia);
    EXPECT_EQ(text(Id::Param1), "-0.750000000000000");
    EXPECT_EQ(text(Id::Param2), "0.100000000000000");
}

TEST_F(ParamsDialogTest, CancelAndEscapeKeepTheCatalogueButNotTheTypeChange) {
    chooseType(FractalType::Sine);
    enter(Id::Param1, "1");
    click(Id::Cancel);
    EXPECT_TRUE(closedWith(paramsDialogCancel));
    EXPECT_EQ(type, FractalType::Sine);
    EXPECT_TRUE(catalog == FractalCatalog());

    open();
    EXPECT_EQ(typeList()->currentText(), "Sine");
    QTest::keyClick(typeList(), Qt::Key_Down);  // the keyboard changes the type too
    EXPECT_EQ(type, FractalType::TileJulia);
    enter(Id::Iterations, "9");
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_TRUE(closedWith(paramsDialogCancel));
    EXPECT_EQ(type, FractalType::TileJulia);
    EXPECT_TRUE(catalog == FractalCatalog());
}

TEST_F(ParamsDialogTest, NotesAndHistoryWindowsOutliveTheDialog) {
    recordHistory(history, FractalType::Mandelbrot, catalog[FractalType::Mandelbrot], {2026, 12, 6, 0, 5}, {});
    notes = "kept notes";
    click(Id::Notes);
    click(Id::Notes);
    click(Id::History);
    QList<NotesEditor*> editors = dialog->findChildren<NotesEditor*>();
    ASSERT_EQ(editors.size(), 2);
    EXPECT_EQ(editors[0]->windowTitle(), "Notes");
    EXPECT_EQ(editors[0]->editor()->toPlainText(), "kept notes");
    EXPECT_TRUE(editors[1]->isVisible());
    EXPECT_TRUE(dialog->isVisible());
    // History belongs to the dialog's owner from the start.
    QPointer<HistoryDialog> historyDialog = owner.findChild<HistoryDialog*>();
    ASSERT_TRUE(historyDialog);
    EXPECT_EQ(historyDialog->parentWidget(), &owner);
    EXPECT_EQ(historyDialog->list()->item(0)->text(), "Mandelbrot     12:05 AM");

    QPointer<NotesEditor> editor = editors[0];
    click(Id::Cancel);
    dialog.reset();
    ASSERT_TRUE(editor);
    ASSERT_TRUE(historyDialog);
    EXPECT_TRUE(editor->isVisible());
    EXPECT_TRUE(historyDialog->isVisible());
    EXPECT_EQ(editor->parentWidget(), &owner);

    editor->editor()->setPlainText("typed later");
    editor->runCommand(NotesCommand::Exit);
    EXPECT_EQ(notes, "typed later");
    QTest::mouseClick(historyDialog->findChild<QPushButton*>("1"), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(editor);
    EXPECT_FALSE(historyDialog);
}

TEST(HistoryDialog, ListsTheRingNewestFirstAsItWasWhenOpened) {
    PlotHistory history;
    auto* first = new HistoryDialog(nullptr, history);
    EXPECT_EQ(first->windowTitle(), "    Also written to HISTORY.TXT file.");
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->list()->count(), 7);  // the empty start entry
    EXPECT_EQ(first->list()->selectionMode(), QAbstractItemView::NoSelection);

    recordHistory(history, FractalType::Julia, defaultParams(FractalType::Julia), {2026, 12, 6, 13, 4}, {});
    auto* second = new HistoryDialog(nullptr, history);
    EXPECT_EQ(first->list()->count(), 7);
    ASSERT_EQ(second->list()->count(), 14);
    EXPECT_EQ(second->list()->item(0)->text(), "Julia     1:04 PM");
    EXPECT_EQ(second->list()->item(1)->text(), "     xmin: -2.000000000000000");
    EXPECT_EQ(second->list()->item(6)->text(), "     param2: 0.043000000000000");
    EXPECT_EQ(second->list()->item(7)->text(), "");
    delete first;
    delete second;
}

}  // namespace
}  // namespace fernwise
