#include "notes_editor.h"

#include <new>

#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStringDecoder>

#include "file_dialogs.h"
#include "seams.h"

namespace fernwise {
namespace {

const char* const memoryText = "Unable to allocate text buffer.\nTry to free up some memory.";
const char* const memoryCaption = "Memory Problem";
const char* const fileProblemCaption = "File Problem";

struct MenuItem {
    NotesCommand command;
    const char* text;
};
const MenuItem menuItems[] = {
    {NotesCommand::Open, "&Open"},
    {NotesCommand::SaveAs, "&Save As"},
    {NotesCommand::Exit, "&Exit"},
};

// A notes file is read as UTF-8; a file that is not valid UTF-8 is taken
// byte for byte as Latin-1 so that every byte shows. A zero byte would end
// the text for most consumers, so it shows as the replacement character.
QString decodeNotes(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (utf8.hasError()) text = QString::fromLatin1(bytes);
    text.replace(QChar(u'\0'), QChar(QChar::ReplacementCharacter));
    return text;
}

}  // namespace

NotesEditor::NotesEditor(QWidget* owner, std::string& notesText, FileDialogs& fileDialogs, MessageSeam& messages)
    : QMainWindow(owner, Qt::Window), notesText_(notesText), fileDialogs_(fileDialogs), messages_(messages) {
    setObjectName("KoEditWindow");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("Notes");

    for (const MenuItem& item : menuItems) {
        QAction* action = menuBar()->addAction(item.text);
        action->setData(static_cast<int>(item.command));
        action->setObjectName(QString::number(static_cast<int>(item.command)));
        connect(action, &QAction::triggered, this, [this, command = item.command] { runCommand(command); });
    }

    editor_ = new QPlainTextEdit(this);
    editor_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    editor_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    editor_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    editor_->setPlainText(QString::fromStdString(notesText_));
    setCentralWidget(editor_);
    editor_->setFocus();

    move(200, 100);
    resize(400, 300);
}

QAction* NotesEditor::action(NotesCommand command) const {
    return menuBar()->findChild<QAction*>(QString::number(static_cast<int>(command)));
}

void NotesEditor::runCommand(NotesCommand command) {
    switch (command) {
        case NotesCommand::Open: openFile(); break;
        case NotesCommand::SaveAs: saveAs(); break;
        case NotesCommand::Exit: close(); break;
    }
}

void NotesEditor::closeEvent(QCloseEvent* event) {
    keepText();
    event->accept();
}

void NotesEditor::showMemoryProblem() { messages_.show(this, memoryText, memoryCaption, MessageIcon::Warning); }

bool NotesEditor::keepText() {
    try {
        notesText_ = editor_->toPlainText().toStdString();
        return true;
    } catch (const std::bad_alloc&) {
        notesText_.clear();
        showMemoryProblem();
        return false;
    }
}

void NotesEditor::openFile() {
    if (fileDialogs_.busy() || !fileDialogs_.chooseTextFile(this)) return;
    const QString path = fileDialogs_.path(FileDialogKind::TextOpen);

    // Only a regular file is opened: a pipe or device would block or never end.
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        messages_.show(this, "Unable to open file.", fileProblemCaption, MessageIcon::Warning);
        return;
    }
    const qint64 size = file.size();
    if (file.isSequential() || size < 0) {
        messages_.show(this, "Unable to read file.", fileProblemCaption, MessageIcon::Warning);
        return;
    }
    if (size > maxNotesFileBytes) {
        showMemoryProblem();
        return;
    }
    QByteArray bytes(size, '\0');
    const qint64 got = file.read(bytes.data(), size);
    if (got < 0) {
        messages_.show(this, "Unable to read file.", fileProblemCaption, MessageIcon::Warning);
        return;
    }
    bytes.truncate(got);  // the file may have shrunk since its size was taken
    editor_->setPlainText(decodeNotes(bytes));
}

void NotesEditor::saveAs() {
    if (!keepText() || fileDialogs_.busy() || !fileDialogs_.chooseNotesFile(this)) return;
    if (saveNotes(notesText_, fileDialogs_.path(FileDialogKind::NotesSave), messages_) == 0) {
        messages_.show(this, "Text saved to file:\n" + fileDialogs_.bareName(FileDialogKind::NotesSave), "Text File",
                       MessageIcon::None);
    }
}

int saveNotes(const std::string& text, const QString& path, MessageSeam& messages) {
    // Text mode writes each line feed as the platform's line end.
    QFile file(path);
    const bool saved = file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text) &&
                       file.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size()) &&
                       file.flush();
    file.close();
    if (saved && file.error() == QFileDevice::NoError) return 0;
    messages.show(nullptr, "Unable to open the selected file;\n     Please try again.", "Text File Error",
                  MessageIcon::Warning);
    return 1;
}

}  // namespace fernwise
