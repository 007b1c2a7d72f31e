#pragma once

#include <string>

#include <QMainWindow>
#include <QString>

#include "notes_file.h"

class QAction;
class QPlainTextEdit;

namespace fernwise {

class FileDialogs;
class MessageSeam;
struct AllocationGate;

// The editor's menu commands, by id.
enum class NotesCommand { Open = 110, SaveAs = 120, Exit = 130 };

// The notes editor window: a wrapping plain-text edit holding a copy of the
// kept notes, with Open, Save As and Exit. The kept notes (UTF-8) take the
// editor's text when the user closes it or saves it. Line breaks are held
// as line feeds; files are written with the platform's text line ends and
// read with any of LF, CR LF or CR, so Save As then Open gives the same text.
class NotesEditor : public QMainWindow {
    Q_OBJECT

public:
    NotesEditor(QWidget* owner, std::string& notesText, FileDialogs& fileDialogs, MessageSeam& messages);

    void runCommand(NotesCommand command);
    QAction* action(NotesCommand command) const;
    QPlainTextEdit* editor() const { return editor_; }
    // Lets tests refuse the buffers the notes text is copied into.
    void setAllocationGate(AllocationGate* gate) { allocationGate_ = gate; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void openFile();
    void saveAs();
    // Copies the editor's text into the kept notes; false (after the memory
    // message, with the notes emptied) when the copy cannot be made.
    bool keepText();
    void showMemoryProblem();

    std::string& notesText_;
    FileDialogs& fileDialogs_;
    MessageSeam& messages_;
    QPlainTextEdit* editor_ = nullptr;
    AllocationGate* allocationGate_ = nullptr;
};

}  // namespace fernwise
