#include "level_set_progress.h"

#include <algorithm>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>

#include "held_input.h"
#include "seams.h"

namespace fernwise {
namespace {

// Dialog units of the 8-point dialog font, in pixels.
constexpr int dluX(int units) { return units * 6 / 4; }
constexpr int dluY(int units) { return units * 13 / 8; }

}  // namespace

LevelSetProgressDialog::LevelSetProgressDialog(int imageHeight, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint) {
    setObjectName(QString::number(dialogId));
    setFont(QFont("MS Sans Serif", 8));
    setFixedSize(dluX(234), dluY(84));

    auto* first = new QLabel("Calculating level set gradients; the time required", this);
    // Wider than the template's 160 units so that fonts other than the
    // template's own fit the text.
    const int textWidth = width() - 2 * dluX(12);
    first->setGeometry(dluX(12), dluY(12), textWidth, dluY(8) + 4);
    auto* second = new QLabel("    depends on iteration count and zoom depth.", this);
    second->setGeometry(dluX(12), dluY(24), textWidth, dluY(8) + 4);

    bar_ = new QProgressBar(this);
    bar_->setGeometry(18, 64, 315, 18);
    bar_->setRange(0, imageHeight);
    bar_->setValue(0);
    bar_->setTextVisible(false);

    cancel_ = new QPushButton("Cancel", this);
    cancel_->setObjectName(QString::number(cancelId));
    cancel_->setGeometry(dluX(92), dluY(60), dluX(50), dluY(14));
    cancel_->installEventFilter(this);
    cancel_->setFocus();
}

void LevelSetProgressDialog::stepProgress() { bar_->setValue(std::min(bar_->value() + rowsPerStep, bar_->maximum())); }

// Command 2, from the Cancel button or the pass, ends the dialog's pass.
void LevelSetProgressDialog::reject() { cancelled_ = true; }

bool LevelSetProgressDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched != cancel_) return QDialog::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            const auto button = static_cast<QMouseEvent*>(event)->button();
            if (button == Qt::LeftButton || button == Qt::RightButton) {
                // Shown pressed until the button is released.
                cancel_->setDown(true);
                cancelled_ = true;
            }
            return true;
        }
        case QEvent::MouseButtonRelease: cancel_->setDown(false); return true;
        case QEvent::KeyPress: keyPressEvent(static_cast<QKeyEvent*>(event)); return true;
        case QEvent::KeyRelease: return true;
        default: return QDialog::eventFilter(watched, event);
    }
}

// Only the Escape character cancels; every other key is dropped.
void LevelSetProgressDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) cancelled_ = true;
    event->accept();
}

LevelSetPassDisplay::LevelSetPassDisplay(QWidget* owner, MessageSeam* messages) : owner_(owner), messages_(messages) {}

LevelSetPassDisplay::~LevelSetPassDisplay() { passEnded(); }

void LevelSetPassDisplay::memoryProblem() {
    if (messages_ != nullptr) {
        messages_->show(owner_, levelSetMemoryMessage, levelSetMemoryCaption, MessageIcon::Warning);
    }
}

void LevelSetPassDisplay::passStarted(int rows) {
    dialog_ = new LevelSetProgressDialog(rows, owner_);
    dialog_->setAttribute(Qt::WA_DeleteOnClose);
    dialog_->show();
    dialog_->activateWindow();
    dialog_->cancelButton()->setFocus();
    hold_ = std::make_unique<HeldInput>(dialog_);
    emit dialogShown(dialog_);
}

void LevelSetPassDisplay::progressStep() {
    if (dialog_) dialog_->stepProgress();
}

bool LevelSetPassDisplay::cancelRequested() {
    if (!dialog_) return false;
    QCoreApplication::processEvents();
    if (dialog_ && dialog_->cancelled()) {
        // A press shows the button down until its release, if that is queued.
        QCoreApplication::processEvents();
        return true;
    }
    return false;
}

void LevelSetPassDisplay::passEnded() {
    hold_.reset();
    if (dialog_) {
        dialog_->hide();
        delete dialog_.data();
    }
}

}  // namespace fernwise
