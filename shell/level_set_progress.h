#pragma once

#include <memory>

#include <QDialog>
#include <QPointer>

#include "level_sets.h"

class QProgressBar;
class QPushButton;

namespace fernwise {

class HeldInput;
class MessageSeam;

// The level-set progress dialog: "Calculating level set gradients; the time required" over a
// progress bar running from 0 to the image height in steps of 8 rows, with a
// Cancel button (2). Escape or a mouse press on Cancel ends the pass.
class LevelSetProgressDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int dialogId = 1000;
    static constexpr int cancelId = 2;
    static constexpr int rowsPerStep = 8;

    LevelSetProgressDialog(int imageHeight, QWidget* owner);

    QProgressBar* progressBar() const { return bar_; }
    QPushButton* cancelButton() const { return cancel_; }
    // The private message 1028: one step of the bar.
    void stepProgress();
    bool cancelled() const { return cancelled_; }

    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QProgressBar* bar_ = nullptr;
    QPushButton* cancel_ = nullptr;
    bool cancelled_ = false;
};

// The desktop program's face of the level-set pass: the "Memory Problem"
// message, and the progress dialog, modeless and owned by the main window,
// polled once per row. While the pass runs the program answers only the
// Cancel button (HeldInput).
class LevelSetPassDisplay : public QObject, public LevelSetPassObserver {
    Q_OBJECT
public:
    LevelSetPassDisplay(QWidget* owner, MessageSeam* messages);
    ~LevelSetPassDisplay() override;

    void memoryProblem() override;
    void passStarted(int rows) override;
    void progressStep() override;
    bool cancelRequested() override;
    void passEnded() override;

    // The dialog while the pass runs, else nullptr.
    LevelSetProgressDialog* dialog() const { return dialog_; }

signals:
    // The dialog has just been shown (tests queue their input here).
    void dialogShown(LevelSetProgressDialog* dialog);

private:
    QWidget* owner_;
    MessageSeam* messages_;
    QPointer<LevelSetProgressDialog> dialog_;
    std::unique_ptr<HeldInput> hold_;
};

}  // namespace fernwise
