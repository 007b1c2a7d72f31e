#include "notes_editor.h"

#include <new>

#include <QAction>
#include <QCloseEvent>
#include <QMenuBar>
#include <QPlainTextEdit>

#include "file_dialogs.h"
#include "palette.h"
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
    bool kept = false;
    try {
        const QString text = editor_->toPlainText();
        // UTF-8 takes at most three bytes per UTF-16 unit.
        if (allocationGate_ == nullptr || allocationGate_->allow(static_cast<std::size_t>(text.size()) * 3)) {
            notesText_ = text.toStdString();
            kept = true;
        }
    } catch (const std::bad_alloc&) {}
    if (!kept) {
        notesText_.clear();
        showMemoryProblem();
    }
    return kept;
}

void NotesEditor::openFile() {
    if (fileDialogs_.busy() || !fileDialogs_.chooseTextFile(this)) return;
    const NotesFile file = readNotesFile(fileDialogs_.path(FileDialogKind::TextOpen), allocationGate_);
    switch (file.status) {
        case NotesFileStatus::Read: editor_->setPlainText(file.text); break;
        case NotesFileStatus::CannotOpen:
            messages_.show(this, "Unable to open file.", fileProblemCaption, MessageIcon::Warning);
            break;
        case NotesFileStatus::CannotRead:
            messages_.show(this, "Unable to read file.", fileProblemCaption, MessageIcon::Warning);
            break;
        case NotesFileStatus::NoMemory: showMemoryProblem(); break;
        case NotesFileStatus::TooLarge:
            messages_.show(this, "This file is too large for the notes editor.", fileProblemCaption,
                           MessageIcon::Warning);
            break;
    }
}

void NotesEditor::saveAs() {
    if (!keepText() || fileDialogs_.busy() || !fileDialogs_.chooseNotesFile(this)) return;
    if (saveNotes(notesText_, fileDialogs_.path(FileDialogKind::NotesSave), messages_) == 0) {
        messages_.show(this, "Text saved to file:\n" + fileDialogs_.bareName(FileDialogKind::NotesSave), "Text File",
                       MessageIcon::None);
    }
}

}  // namespace fernwise
