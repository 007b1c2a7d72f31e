#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace fernwise {

enum class MessageIcon { None, Warning, Critical, Information, Question };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MessageAnswer { Ok, Cancel, Yes, No };

// Every message box of the program goes through here, so that tests can
// capture the text instead of blocking on a modal box.
class MessageSeam {
public:
    virtual ~MessageSeam() = default;
    virtual MessageAnswer show(QWidget* parent, const QString& text, const QString& caption, MessageIcon icon,
                               MessageButtons buttons = MessageButtons::Ok) = 0;
};

// What an open or save file dialog is asked for.
struct FileDialogRequest {
    enum class Mode { Open, Save };
    Mode mode = Mode::Open;
    QString title;
    QStringList filters;    // "Description (*.ext)" entries in order
    QString defaultSuffix;  // without the dot; empty for none
    QString directory;      // the folder it opens in
    QString fileName;       // the name it proposes
};

// The file dialogs, replaced by a scripted answer in tests. An empty result
// means the user cancelled.
class FileDialogSeam {
public:
    virtual ~FileDialogSeam() = default;
    virtual QString choose(QWidget* parent, const FileDialogRequest& request) = 0;
};

// The completion sound and message beeps, counted in tests.
class BeepSeam {
public:
    virtual ~BeepSeam() = default;
    virtual void beep() = 0;
};

// The seams the running program uses; tests install their own. Owned by
// whoever constructs the program (main or a test), never a hidden global.
struct Seams {
    MessageSeam* messages = nullptr;
    FileDialogSeam* files = nullptr;
    BeepSeam* beeps = nullptr;
};

// The real implementations on Qt's own widgets.
MessageSeam& qtMessageSeam();
FileDialogSeam& qtFileDialogSeam();
BeepSeam& qtBeepSeam();
Seams qtSeams();

}  // namespace fernwise
