#include "qt_sweep_prompt.h"

#include <QMessageBox>

namespace fernwise {

SweepAnswer QtSweepPrompt::ask(const QString& caption, const QString& text, SweepButtons buttons) {
    const QMessageBox::StandardButtons offered =
        buttons == SweepButtons::OkCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok;
    // No parent: the tool has no window of its own to own the box.
    QMessageBox box(QMessageBox::NoIcon, caption, text, offered);
    box.setDefaultButton(QMessageBox::Ok);
    // QMessageBox makes Cancel the escape button, so closing the box is a Cancel.
    return box.exec() == QMessageBox::Ok ? SweepAnswer::Ok : SweepAnswer::Cancel;
}

}  // namespace fernwise
