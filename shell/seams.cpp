#include "seams.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace fernwise {
namespace {

class QtMessages final : public MessageSeam {
public:
    MessageAnswer show(QWidget* parent, const QString& text, const QString& caption, MessageIcon icon,
                       MessageButtons buttons) override {
        QMessageBox box(parent);
        box.setWindowTitle(caption);
        box.setText(text);
        switch (icon) {
            case MessageIcon::None: box.setIcon(QMessageBox::NoIcon); break;
            case MessageIcon::Warning: box.setIcon(QMessageBox::Warning); break;
            case MessageIcon::Critical: box.setIcon(QMessageBox::Critical); break;
            case MessageIcon::Information: box.setIcon(QMessageBox::Information); break;
            case MessageIcon::Question: box.setIcon(QMessageBox::Question); break;
        }
        switch (buttons) {
            case MessageButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
            case MessageButtons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
            case MessageButtons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
            case MessageButtons::YesNoCancel:
                box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
                break;
        }
        switch (box.exec()) {
            case QMessageBox::Cancel: return MessageAnswer::Cancel;
            case QMessageBox::Yes: return MessageAnswer::Yes;
            case QMessageBox::No: return MessageAnswer::No;
            default: return MessageAnswer::Ok;
        }
    }
};

class QtFileDialogs final : public FileDialogSeam {
public:
    QString choose(QWidget* parent, const FileDialogRequest& request) override {
        QFileDialog dialog(parent, request.title, request.directory);
        dialog.setNameFilters(request.filters);
        dialog.setDefaultSuffix(request.defaultSuffix);
        if (request.mode == FileDialogRequest::Mode::Save) {
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setFileMode(QFileDialog::AnyFile);
            dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
        } else {
            dialog.setAcceptMode(QFileDialog::AcceptOpen);
            dialog.setFileMode(QFileDialog::ExistingFile);
        }
        if (!request.fileName.isEmpty()) dialog.selectFile(request.fileName);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
        return dialog.selectedFiles().constFirst();
    }
};

class QtBeeps final : public BeepSeam {
public:
    void beep() override { QApplication::beep(); }
};

}  // namespace

MessageSeam& qtMessageSeam() {
    static QtMessages seam;
    return seam;
}

FileDialogSeam& qtFileDialogSeam() {
    static QtFileDialogs seam;
    return seam;
}

BeepSeam& qtBeepSeam() {
    static QtBeeps seam;
    return seam;
}

Seams qtSeams() { return {&qtMessageSeam(), &qtFileDialogSeam(), &qtBeepSeam()}; }

}  // namespace fernwise
