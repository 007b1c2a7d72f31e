#include "seams.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QMessageBox>
#include <QMimeDatabase>

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

// Icons and type names from what an entry is and from its name alone. Looking
// into a file can block for good (a /proc file or a device that waits for
// data), and the dialog lists on the program's one thread.
class NameOnlyIcons final : public QFileIconProvider {
public:
    QIcon icon(const QFileInfo& info) const override { return QFileIconProvider::icon(info.isDir() ? Folder : File); }
    QString type(const QFileInfo& info) const override {
        if (!info.isFile()) return QFileIconProvider::type(info);
        const QMimeType mime = mimeTypes_.mimeTypeForFile(info, QMimeDatabase::MatchExtension);
        return mime.comment().isEmpty() ? mime.name() : mime.comment();
    }

private:
    QMimeDatabase mimeTypes_;
};

class QtFileDialogs final : public FileDialogSeam {
public:
    QString choose(QWidget* parent, const FileDialogRequest& request) override {
        QFileDialog dialog(parent, request.title, request.directory);
        dialog.setIconProvider(&icons_);
        dialog.setOption(QFileDialog::DontUseCustomDirectoryIcons);
        dialog.setOption(QFileDialog::DontResolveSymlinks);
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

private:
    NameOnlyIcons icons_;
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
