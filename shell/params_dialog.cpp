#include "params_dialog.h"

#include <algorithm>
#include <cmath>

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QEvent>
#include <QEventLoop>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include "file_dialogs.h"
#include "history_dialog.h"
#include "notes_editor.h"
#include "param_validation.h"
#include "plot_history.h"
#include "seams.h"

namespace fernwise {
namespace {

using Id = ParamsDialogId;

enum class Kind { Button, Label, List, Group, Radio, Edit };

struct ControlSpec {
    int id;  // 0 for the plain labels that carry none
    Kind kind;
    const char* text;
    int x, y, width, height;  // dialog units
};

// The dialog's controls in their layout order, which is also the order
// the Tab key follows.
const ControlSpec controlSpecs[] = {
    {1, Kind::Button, "OK", 4, 220, 50, 14},
    {2, Kind::Button, "Cancel", 75, 220, 50, 14},
    {610, Kind::Button, "Notes", 146, 220, 50, 14},
    {615, Kind::Button, "History", 218, 220, 50, 14},
    {0, Kind::Label, "type:", 12, 8, 20, 8},
    {630, Kind::List, "", 32, 8, 98, 64},
    {640, Kind::Group, " mapping mode ", 140, 0, 128, 21},
    {650, Kind::Radio, "standard", 146, 8, 44, 11},
    {651, Kind::Radio, "inversion", 200, 8, 60, 11},
    {660, Kind::Group, " fractal dimensions ", 4, 24, 264, 43},
    {670, Kind::Edit, "", 32, 35, 98, 12},
    {671, Kind::Edit, "", 32, 51, 98, 12},
    {672, Kind::Edit, "", 162, 35, 98, 12},
    {673, Kind::Edit, "", 162, 51, 98, 12},
    {0, Kind::Label, "xmin:", 12, 36, 20, 8},
    {0, Kind::Label, "xmax:", 12, 52, 20, 8},
    {0, Kind::Label, "ymin:", 140, 36, 20, 8},
    {0, Kind::Label, "ymax:", 140, 52, 20, 8},
    {680, Kind::Group, " type-specific parameters ", 4, 71, 264, 27},
    {690, Kind::Edit, "", 32, 81, 98, 12},
    {691, Kind::Edit, "", 162, 81, 98, 12},
    {692, Kind::Label, "", 12, 83, 20, 8},
    {693, Kind::Label, "", 140, 83, 20, 8},
    {700, Kind::Group, " general parameters ", 4, 101, 264, 26},
    {710, Kind::Edit, "", 70, 111, 60, 12},
    {711, Kind::Edit, "", 200, 111, 60, 12},
    {0, Kind::Label, "iterations:", 12, 112, 36, 8},
    {0, Kind::Label, "size limit:", 140, 112, 36, 8},
    {720, Kind::Group, " outside coloring ", 4, 131, 264, 48},
    {730, Kind::Radio, "standard (level sets)", 10, 140, 82, 12},
    {731, Kind::Radio, "Fausto's decomposition", 10, 151, 86, 12},
    {732, Kind::Radio, "binary decomposition - select offset for second color:", 10, 162, 180, 12},
    {745, Kind::Edit, "", 200, 162, 60, 12},
    {733, Kind::Radio, "solid color:", 138, 140, 50, 12},
    {740, Kind::Edit, "", 200, 140, 60, 12},
    {734, Kind::Radio, "Kirlian", 138, 151, 40, 12},
    {750, Kind::Group, " inside coloring ", 4, 183, 264, 34},
    {760, Kind::Radio, "solid color:", 10, 192, 50, 12},
    {770, Kind::Edit, "", 70, 192, 60, 12},
    {761, Kind::Radio, "z-mag", 10, 203, 34, 12},
    {762, Kind::Radio, "BOF 33", 138, 192, 42, 12},
    {763, Kind::Radio, "BOF 34", 138, 203, 42, 12},
};

struct SpinSpec {
    Id spin;
    Id edit;
    int low;
    int high;
};

const SpinSpec spinSpecs[] = {
    {Id::IterationsSpin, Id::Iterations, 0, 16384},
    {Id::OutsideColorSpin, Id::OutsideColor, 0, 255},
    {Id::BinaryOffsetSpin, Id::BinaryOffset, 1, 255},
    {Id::InsideColorSpin, Id::InsideColor, 0, 255},
};

// The two type-specific labels and whether their fields take input.
struct TypeFields {
    const char* label1;
    const char* label2;
    bool param1Enabled;
    bool param2Enabled;
};

TypeFields typeFields(FractalType type) {
    switch (type) {
        case FractalType::Julia:
        case FractalType::SelfSquaredDragons:
        case FractalType::TileJulia: return {"cx:   ", "cy:   ", true, true};
        case FractalType::MagnetismIZ:
        case FractalType::MagnetismIIZ: return {"qx:   ", "qy:   ", true, true};
        case FractalType::Newton: return {"n:    ", "basin:", true, true};
        case FractalType::Sine: return {"E:    ", "      ", true, false};
        case FractalType::VolterraLotka: return {"h:    ", "p:    ", true, true};
        case FractalType::MagnetismIQ:
        case FractalType::MagnetismIIQ:
        case FractalType::Mandelbrot: break;
    }
    return {"      ", "      ", false, false};
}

// An up-down control beside an edit field: the arrows (buttons or the
// keyboard's in the field) step the integer in the field within a range.
// The field's text stays free, so OK sees whatever was typed.
class UpDown : public QWidget {
public:
    UpDown(QWidget* parent, QLineEdit* buddy, int low, int high)
        : QWidget(parent), buddy_(buddy), low_(low), high_(high) {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        for (int delta : {1, -1}) {
            auto* button = new QToolButton(this);
            button->setObjectName(delta > 0 ? "up" : "down");
            button->setArrowType(delta > 0 ? Qt::UpArrow : Qt::DownArrow);
            button->setAutoRepeat(true);
            button->setFocusPolicy(Qt::NoFocus);
            button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
            connect(button, &QToolButton::clicked, this, [this, delta] { step(delta); });
            layout->addWidget(button);
        }
        buddy_->installEventFilter(this);
    }

    void setPosition(int position) {
        position_ = std::clamp(position, low_, high_);
        buddy_->setText(QString::number(position_));
    }

    void step(int delta) {
        // A field holding a plain integer is where the arrows start from;
        // anything else starts from the last position.
        bool ok = false;
        const int typed = buddy_->text().trimmed().toInt(&ok);
        if (ok) position_ = std::clamp(typed, low_, high_);
        setPosition(position_ + delta);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == buddy_ && event->type() == QEvent::KeyPress && isEnabled()) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Up || key == Qt::Key_Down) {
                step(key == Qt::Key_Up ? 1 : -1);
                return true;
            }
        }
        return QWidget::eventFilter(watched, event);
    }

private:
    QLineEdit* buddy_;
    int low_;
    int high_;
    int position_ = 0;
};

// Blocks a window while a dialog it owns runs, as a modal dialog blocks its
// owner: the owner, its menu and its keys take no input. Qt's modality would
// block every window the owner owns as well; here they stay usable. A close
// from the window system is refused meanwhile, as Qt refuses it to a window
// that a modal dialog blocks.
class OwnerBlock : public QObject {
public:
    explicit OwnerBlock(QWidget* owner) {
        if (owner == nullptr || !owner->isEnabled()) return;
        owner_ = owner;
        // Disabling a widget disables the windows among its children too.
        QList<QWidget*> owned;
        for (QWidget* child : owner->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (child->isWindow() && child->isEnabled()) owned.push_back(child);
        }
        owner->setEnabled(false);
        for (QWidget* window : owned) window->setEnabled(true);
        owner->installEventFilter(this);
    }
    ~OwnerBlock() override {
        if (!owner_) return;
        owner_->removeEventFilter(this);
        owner_->setEnabled(true);
    }
    OwnerBlock(const OwnerBlock&) = delete;
    OwnerBlock& operator=(const OwnerBlock&) = delete;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::Close || !event->spontaneous()) return false;
        event->ignore();
        return true;
    }

private:
    QPointer<QWidget> owner_;
};

QString number(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

std::string fieldText(const QLineEdit* edit) { return edit->text().toStdString(); }

}  // namespace

ParamsDialog::ParamsDialog(QWidget* parent, FractalCatalog& catalog, FractalType& currentType, MessageSeam& messages,
                           ParamsDialogCompanions companions)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      catalog_(catalog),
      currentType_(currentType),
      messages_(messages),
      companions_(companions) {
    setObjectName("600");
    setWindowTitle("Select New Fractal Parameters");

    // Dialog units: a quarter of the average character width across, an
    // eighth of the character height down.
    const QFontMetrics metrics(font());
    const QString alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    unitX_ = std::max(1.0, metrics.horizontalAdvance(alphabet) / 52.0 / 4.0);
    unitY_ = std::max(1.0, metrics.height() / 8.0);

    createControls();
    placeControls();
    initialize();
}

int ParamsDialog::dlgX(int units) const { return static_cast<int>(std::lround(units * unitX_)); }
int ParamsDialog::dlgY(int units) const { return static_cast<int>(std::lround(units * unitY_)); }

QLineEdit* ParamsDialog::edit(ParamsDialogId id) const { return qobject_cast<QLineEdit*>(control(id)); }

void ParamsDialog::createControls() {
    mappingGroup_ = new QButtonGroup(this);
    outsideGroup_ = new QButtonGroup(this);
    insideGroup_ = new QButtonGroup(this);

    for (const ControlSpec& layout : controlSpecs) {
        QWidget* widget = nullptr;
        int height = layout.height;
        switch (layout.kind) {
            case Kind::Button: {
                auto* button = new QPushButton(layout.text, this);
                if (layout.id == static_cast<int>(Id::Ok)) button->setDefault(true);
                widget = button;
                break;
            }
            case Kind::Label: widget = new QLabel(layout.text, this); break;
            case Kind::List: {
                typeList_ = new QComboBox(this);
                // The layout's height includes the dropped list.
                height = 12;
                widget = typeList_;
                break;
            }
            case Kind::Group: widget = new QGroupBox(layout.text, this); break;
            case Kind::Radio: {
                auto* radio = new QRadioButton(layout.text, this);
                if (layout.id >= 650 && layout.id <= 651) mappingGroup_->addButton(radio, layout.id - 650);
                if (layout.id >= 730 && layout.id <= 734) outsideGroup_->addButton(radio, layout.id - 730);
                if (layout.id >= 760 && layout.id <= 763) insideGroup_->addButton(radio, layout.id - 760);
                widget = radio;
                break;
            }
            case Kind::Edit: widget = new QLineEdit(this); break;
        }
        placed_.push_back({widget, layout.x, layout.y, layout.width, height});
        if (layout.id != 0) {
            widget->setObjectName(QString::number(layout.id));
            controls_.insert(layout.id, widget);
        }
    }

    auto button = [this](Id id) { return qobject_cast<QPushButton*>(control(id)); };
    connect(button(Id::Ok), &QPushButton::clicked, this, &ParamsDialog::okPressed);
    connect(button(Id::Cancel), &QPushButton::clicked, this, &ParamsDialog::reject);
    connect(button(Id::Notes), &QPushButton::clicked, this, &ParamsDialog::openNotes);
    connect(button(Id::History), &QPushButton::clicked, this, &ParamsDialog::openHistory);
    connect(typeList_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index < 0 || index >= fractalTypeCount) return;
        currentType_ = static_cast<FractalType>(index);
        initialize();
    });
    connect(outsideGroup_, &QButtonGroup::idToggled, this, [this] { updateAttributeFields(); });
    connect(insideGroup_, &QButtonGroup::idToggled, this, [this] { updateAttributeFields(); });
}

void ParamsDialog::placeControls() {
    // This toolkit's font may run wider than the one the layout was drawn
    // for; the units then widen until every text fits its box.
    for (const Placed& p : placed_) {
        if (qobject_cast<QLabel*>(p.widget) || qobject_cast<QAbstractButton*>(p.widget)) {
            unitX_ = std::max(unitX_, p.widget->sizeHint().width() / static_cast<double>(p.width));
        }
    }
    for (const Placed& p : placed_) p.widget->setGeometry(dlgX(p.x), dlgY(p.y), dlgX(p.width), dlgY(p.height));
    setFixedSize(dlgX(273), dlgY(237));
}

void ParamsDialog::createSpinners() {
    for (const SpinSpec& layout : spinSpecs) {
        QLineEdit* buddy = edit(layout.edit);
        // The arrows take the right end of the field, as an attached up-down
        // control does.
        const QRect field = buddy->geometry();
        const int arrowsWidth = std::max(12, dlgX(9));
        buddy->setGeometry(field.x(), field.y(), field.width() - arrowsWidth, field.height());
        auto* spin = new UpDown(this, buddy, layout.low, layout.high);
        spin->setObjectName(QString::number(static_cast<int>(layout.spin)));
        spin->setGeometry(field.right() + 1 - arrowsWidth, field.y(), arrowsWidth, field.height());
        spin->show();
        controls_.insert(static_cast<int>(layout.spin), spin);
    }
}

void ParamsDialog::initialize() {
    working_ = catalog_[currentType_];

    mappingGroup_->button(static_cast<int>(working_.mappingMode))->setChecked(true);
    {
        // The fields below follow the record, not the toggling on the way.
        const QSignalBlocker blockOutside(outsideGroup_);
        const QSignalBlocker blockInside(insideGroup_);
        if (QAbstractButton* b = outsideGroup_->button(static_cast<int>(working_.outsideColoring))) b->setChecked(true);
        if (QAbstractButton* b = insideGroup_->button(static_cast<int>(working_.insideColoring))) b->setChecked(true);
    }

    edit(Id::Xmin)->setText(number(formatWindowEdge(working_.xmin)));
    edit(Id::Xmax)->setText(number(formatWindowEdge(working_.xmax)));
    edit(Id::Ymin)->setText(number(formatWindowEdge(working_.ymin)));
    edit(Id::Ymax)->setText(number(formatWindowEdge(working_.ymax)));
    edit(Id::Param1)->setText(number(formatFixed(working_.param1, 15)));
    edit(Id::Param2)->setText(number(formatFixed(working_.param2, 15)));
    edit(Id::SizeLimit)->setText(number(formatFixed(std::sqrt(working_.sizeLimit), 8)));

    const TypeFields fields = typeFields(currentType_);
    qobject_cast<QLabel*>(control(Id::Param1Label))->setText(fields.label1);
    qobject_cast<QLabel*>(control(Id::Param2Label))->setText(fields.label2);
    edit(Id::Param1)->setEnabled(fields.param1Enabled);
    edit(Id::Param2)->setEnabled(fields.param2Enabled);

    if (!spinnersCreated_) {
        spinnersCreated_ = true;
        createSpinners();
    }
    const int positions[] = {working_.iterations, working_.outsideColor, working_.binaryOffset, working_.insideColor};
    for (std::size_t i = 0; i < std::size(spinSpecs); ++i) {
        static_cast<UpDown*>(control(spinSpecs[i].spin))->setPosition(positions[i]);
        // Whatever the record holds is shown as it is.
        edit(spinSpecs[i].edit)->setText(QString::number(positions[i]));
    }

    updateAttributeFields();

    if (!typeListFilled_) {
        typeListFilled_ = true;
        const QSignalBlocker block(typeList_);
        for (int t = 0; t < fractalTypeCount; ++t)
            typeList_->addItem(number(fractalTypeName(static_cast<FractalType>(t))));
        typeList_->setCurrentIndex(static_cast<int>(currentType_));
    }
}

void ParamsDialog::updateAttributeFields() {
    const bool outsideSolid = outsideGroup_->checkedId() == static_cast<int>(OutsideColoring::Solid);
    const bool binary = outsideGroup_->checkedId() == static_cast<int>(OutsideColoring::Binary);
    const bool insideSolid = insideGroup_->checkedId() == static_cast<int>(InsideColoring::Solid);
    const std::pair<Id, bool> fields[] = {
        {Id::OutsideColor, outsideSolid}, {Id::OutsideColorSpin, outsideSolid}, {Id::BinaryOffset, binary},
        {Id::BinaryOffsetSpin, binary},   {Id::InsideColor, insideSolid},       {Id::InsideColorSpin, insideSolid},
    };
    for (const auto& [id, enabled] : fields) {
        if (QWidget* widget = control(id)) widget->setEnabled(enabled);
    }
}

void ParamsDialog::okPressed() {
    const int selected = typeList_->currentIndex();
    if (selected >= 0 && selected < fractalTypeCount) currentType_ = static_cast<FractalType>(selected);
    working_ = catalog_[currentType_];

    ParamEntry entry = entryFromParams(working_);
    if (mappingGroup_->checkedId() >= 0) entry.mappingMode = static_cast<MappingMode>(mappingGroup_->checkedId());
    if (outsideGroup_->checkedId() >= 0) {
        entry.outsideColoring = static_cast<OutsideColoring>(outsideGroup_->checkedId());
    }
    if (insideGroup_->checkedId() >= 0) entry.insideColoring = static_cast<InsideColoring>(insideGroup_->checkedId());
    entry.xmin = parseDecimalPrefix(fieldText(edit(Id::Xmin)));
    entry.xmax = parseDecimalPrefix(fieldText(edit(Id::Xmax)));
    entry.ymin = parseDecimalPrefix(fieldText(edit(Id::Ymin)));
    entry.ymax = parseDecimalPrefix(fieldText(edit(Id::Ymax)));
    entry.iterations = parseIntegerPrefix(fieldText(edit(Id::Iterations)));
    entry.sizeRadius = parseDecimalPrefix(fieldText(edit(Id::SizeLimit)));
    entry.outsideColor = parseIntegerPrefix(fieldText(edit(Id::OutsideColor)));
    entry.insideColor = parseIntegerPrefix(fieldText(edit(Id::InsideColor)));
    entry.binaryOffset = parseIntegerPrefix(fieldText(edit(Id::BinaryOffset)));
    entry.param1 = parseDecimalPrefix(fieldText(edit(Id::Param1)));
    entry.param2 = parseDecimalPrefix(fieldText(edit(Id::Param2)));

    paramErrorCode_ = noParamError;
    const std::int32_t code = validateParams(currentType_, entry, working_);
    if (code != noParamError) {
        // Shown once the click has been handled, like a message posted to
        // the dialog; the fields keep what was typed.
        paramErrorCode_ = code;
        QMetaObject::invokeMethod(this, &ParamsDialog::showParamError, Qt::QueuedConnection);
        return;
    }
    catalog_[currentType_] = working_;
    done(paramsDialogOk);
}

void ParamsDialog::showParamError() {
    if (paramErrorCode_ < 0 || paramErrorCode_ >= static_cast<std::int32_t>(paramErrorMessages.size())) return;
    messages_.show(this, number(paramErrorMessages[static_cast<std::size_t>(paramErrorCode_)]), paramErrorCaption,
                   MessageIcon::Warning);
}

void ParamsDialog::openNotes() {
    if (!companions_.notesText || !companions_.fileDialogs) return;
    auto* editor = new NotesEditor(this, *companions_.notesText, *companions_.fileDialogs, messages_);
    editor->show();
}

void ParamsDialog::openHistory() {
    if (companions_.history) new HistoryDialog(parentWidget(), *companions_.history);
}

void ParamsDialog::releaseCompanions() {
    QWidget* owner = parentWidget();
    const QList<QWidget*> children = findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* window : children) {
        if (!qobject_cast<NotesEditor*>(window)) continue;
        const QRect geometry = window->geometry();
        const bool visible = window->isVisible();
        window->setParent(owner, window->windowFlags());
        window->setGeometry(geometry);
        if (visible) window->show();
    }
}

int ParamsDialog::exec() {
    const QPointer<ParamsDialog> alive(this);
    const QPointer<QWidget> owner(parentWidget());
    {
        const OwnerBlock block(owner);
        QEventLoop loop;
        connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
        connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
        setResult(0);
        show();
        // The window system activates only modal windows by itself.
        activateWindow();
        loop.exec(QEventLoop::DialogExec);
    }
    // The keyboard goes back to the owner, as after a modal dialog.
    if (owner && owner->isVisible()) owner->activateWindow();
    return alive ? result() : 0;
}

void ParamsDialog::done(int result) {
    typeListFilled_ = false;
    spinnersCreated_ = false;
    releaseCompanions();
    QDialog::done(result);
}

void ParamsDialog::reject() { done(paramsDialogCancel); }

}  // namespace fernwise
