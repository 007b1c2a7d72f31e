#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <QDialog>
#include <QHash>

#include "fractal_types.h"

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;

namespace fernwise {

class FileDialogs;
class MessageSeam;
struct PlotHistory;

// Control ids of the Parameters dialog (600); each control carries its id
// as its object name.
enum class ParamsDialogId : int {
    Ok = 1,
    Cancel = 2,
    Notes = 610,
    History = 615,
    TypeList = 630,
    MappingGroup = 640,
    MappingStandard = 650,
    MappingInversion = 651,
    DimensionsGroup = 660,
    Xmin = 670,
    Xmax = 671,
    Ymin = 672,
    Ymax = 673,
    TypeParamsGroup = 680,
    Param1 = 690,
    Param2 = 691,
    Param1Label = 692,
    Param2Label = 693,
    GeneralGroup = 700,
    Iterations = 710,
    SizeLimit = 711,
    OutsideGroup = 720,
    OutsideStandard = 730,
    OutsideFausto = 731,
    OutsideBinary = 732,
    OutsideSolid = 733,
    OutsideKirlian = 734,
    OutsideColor = 740,
    BinaryOffset = 745,
    InsideGroup = 750,
    InsideSolid = 760,
    InsideZMag = 761,
    InsideBof33 = 762,
    InsideBof34 = 763,
    InsideColor = 770,
    IterationsSpin = 780,
    OutsideColorSpin = 790,
    BinaryOffsetSpin = 800,
    InsideColorSpin = 810,
};

// The dialog's results: exec() returns one of these.
enum ParamsDialogResult : int { paramsDialogOk = 1, paramsDialogCancel = 2 };

// What the Notes and History buttons open; a button whose companion is
// missing does nothing.
struct ParamsDialogCompanions {
    std::string* notesText = nullptr;
    FileDialogs* fileDialogs = nullptr;
    const PlotHistory* history = nullptr;
};

// The modal Parameters dialog: chooses the fractal type and edits that
// type's record. It is modal to its owner only: while exec() runs, the owner
// (the main window) takes no input, but the windows the owner owns, the
// History dialogs opened from here among them, stay usable. The fields take
// any text; OK reads them the way the batch renderer does and writes the
// catalogue entry only when every field is valid, otherwise it shows the
// first failing field's message and stays open. A type change takes effect
// at once, also when the dialog is then cancelled. The dialog edits a working
// record of its own, so a paused plot's working copy is never touched.
class ParamsDialog : public QDialog {
    Q_OBJECT

public:
    ParamsDialog(QWidget* parent, FractalCatalog& catalog, FractalType& currentType, MessageSeam& messages,
                 ParamsDialogCompanions companions = {});

    QWidget* control(ParamsDialogId id) const { return controls_.value(static_cast<int>(id)); }
    QLineEdit* edit(ParamsDialogId id) const;
    // The code of the last failed check, or noParamError.
    std::int32_t paramErrorCode() const { return paramErrorCode_; }
    // The dialog's working record: after a failed OK it holds what was read
    // before the failing field.
    const FractalParams& workingParams() const { return working_; }

    int exec() override;
    void done(int result) override;
    void reject() override;

private:
    void createControls();
    void placeControls();
    void createSpinners();
    void initialize();
    void updateAttributeFields();
    void okPressed();
    void showParamError();
    void openNotes();
    void openHistory();
    // Notes editors opened here stay open after the dialog closes: they move
    // to the dialog's own owner.
    void releaseCompanions();
    int dlgX(int units) const;
    int dlgY(int units) const;

    FractalCatalog& catalog_;
    FractalType& currentType_;
    MessageSeam& messages_;
    ParamsDialogCompanions companions_;
    FractalParams working_;

    bool typeListFilled_ = false;
    bool spinnersCreated_ = false;
    std::int32_t paramErrorCode_ = -1;

    // Every control with its box in dialog units.
    struct Placed {
        QWidget* widget;
        int x, y, width, height;
    };
    std::vector<Placed> placed_;
    QHash<int, QWidget*> controls_;
    QComboBox* typeList_ = nullptr;
    QButtonGroup* mappingGroup_ = nullptr;
    QButtonGroup* outsideGroup_ = nullptr;
    QButtonGroup* insideGroup_ = nullptr;
    double unitX_ = 1.5;
    double unitY_ = 1.625;
};

}  // namespace fernwise
