#include <sys/stat.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include "../fault_injection.h"
#include "app_state.h"
#include "dialog_test_support.h"
#include "file_dialogs.h"
#include "notes_editor.h"
#include "palette.h"
#include "plot_history.h"
#include "settings.h"

namespace fernwise {
namespace {

using dialogtest::CapturedMessages;
using dialogtest::ScriptedFileDialogs;

class NotesEditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        fileDialogs.initFileDialogs(folder.path());
        editor = new NotesEditor(nullptr, notes, fileDialogs, messages);
        editor->show();
    }
    void TearDown() override { delete editor.data(); }

    QString path(const QString& name) const { return folder.filePath(name); }
    QByteArray bytesOf(const QString& name) const {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void writeBytes(const QString& name, const QByteArray& bytes) const {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    QString editorText() const { return editor->editor()->toPlainText(); }
    void openFile(const QString& file) {
        files.answers.push_back(file);
        editor->runCommand(NotesCommand::Open);
    }
    void saveAs(const QString& file) {
        files.answers.push_back(file);
        editor->runCommand(NotesCommand::SaveAs);
    }
    // A failing command shows this one message and leaves the editor's text.
    void expectOnlyMessage(const char* text, const char* caption, const QString& keptText) {
        ASSERT_EQ(messages.shown.size(), 1u) << text;
        EXPECT_EQ(messages.shown[0].text, text);
        EXPECT_EQ(messages.shown[0].caption, caption);
        EXPECT_EQ(messages.shown[0].icon, MessageIcon::Warning);
        EXPECT_EQ(editorText(), keptText);
        messages.shown.clear();
    }

    QTemporaryDir folder;
    std::string notes = initialNotesText;
    CapturedMessages messages;
    ScriptedFileDialogs files;
    Settings settings;
    bool saveDialogBusy = false;
    FileDialogs fileDialogs{files, &settings, saveDialogBusy};
    QPointer<NotesEditor> editor;
};

TEST_F(NotesEditorTest, WindowShowsTheKeptNotesWithItsMenu) {
    EXPECT_EQ(editor->windowTitle(), "Notes");
    EXPECT_EQ(editor->objectName(), "KoEditWindow");
    EXPECT_EQ(editorText(), "Edit your notes here!");
    EXPECT_EQ(editor->pos(), QPoint(200, 100));
    EXPECT_EQ(editor->size(), QSize(400, 300));
    EXPECT_EQ(editor->editor()->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(editor->action(NotesCommand::Open)->text(), "&Open");
    EXPECT_EQ(editor->action(NotesCommand::SaveAs)->text(), "&Save As");
    EXPECT_EQ(editor->action(NotesCommand::Exit)->text(), "&Exit");
    EXPECT_EQ(editor->action(NotesCommand::SaveAs)->data().toInt(), 120);
}

TEST_F(NotesEditorTest, SaveAsThenOpenGivesBackTheSameText) {
    const QString text = "first line\nsecond line\n\n  indented\tand tabbed\nlast, no end";
    editor->editor()->setPlainText(text);
    saveAs(path("notes.txt"));

    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Text saved to file:\nnotes.txt");
    EXPECT_EQ(messages.shown[0].caption, "Text File");
    messages.shown.clear();
    EXPECT_EQ(notes, text.toStdString());
    QByteArray expected = text.toUtf8();
    expected.replace("\n", QByteArray(historyLineEnd.data(), static_cast<qsizetype>(historyLineEnd.size())));
    EXPECT_EQ(bytesOf("notes.txt"), expected);
    EXPECT_EQ(files.requests.back().title, "Select a file for saving your notes:");

    editor->editor()->setPlainText("something else");
    openFile(path("notes.txt"));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(editorText(), text);
    EXPECT_EQ(files.requests.back().title, "Select a text file:");

    // Files from elsewhere may use CR LF or CR alone; non-ASCII text stays.
    writeBytes("dos.txt", "one\r\ntwo\r\nthree\rfour \xc3\xa9t\xc3\xa9\r\n");
    openFile(path("dos.txt"));
    EXPECT_EQ(editorText(), QString::fromUtf8("one\ntwo\nthree\nfour \xc3\xa9t\xc3\xa9\n"));
}

TEST_F(NotesEditorTest, FilesThatCannotBeOpenedOrCreatedKeepTheText) {
    editor->editor()->setPlainText("precious");
    openFile(path("missing.txt"));
    expectOnlyMessage("Unable to open file.", "File Problem", "precious");

    QDir(folder.path()).mkdir("a folder");
    openFile(path("a folder"));
    expectOnlyMessage("Unable to open file.", "File Problem", "precious");

    // A pipe would block a plain open until a writer comes.
    ASSERT_EQ(mkfifo(path("pipe").toLocal8Bit().constData(), 0600), 0);
    openFile(path("pipe"));
    expectOnlyMessage("Unable to open file.", "File Problem", "precious");

    saveAs(path("no such folder/notes.txt"));
    expectOnlyMessage("Unable to open the selected file;\n     Please try again.", "Text File Error", "precious");
    EXPECT_EQ(notes, "precious");  // Save As keeps the text before it asks for a file
    saveAs(path("a folder"));
    expectOnlyMessage("Unable to open the selected file;\n     Please try again.", "Text File Error", "precious");
}

TEST_F(NotesEditorTest, HugeAndBinaryFilesNeitherCrashNorHang) {
    editor->editor()->setPlainText("precious");
    {
        // Sparse: takes no disk space, but would need gigabytes of memory.
        QFile huge(path("huge.txt"));
        ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
        ASSERT_TRUE(huge.resize(qint64{6} * 1024 * 1024 * 1024));
    }
    // The size limit is the editor's, not the memory's: its own message.
    openFile(path("huge.txt"));
    expectOnlyMessage("This file is too large for the notes editor.", "File Problem", "precious");
    writeBytes("over.txt", QByteArray(maxNotesFileBytes + 1, 'a'));
    openFile(path("over.txt"));
    expectOnlyMessage("This file is too large for the notes editor.", "File Problem", "precious");

    // Over a megabyte of lines opens.
    QByteArray lines;
    while (lines.size() <= 1024 * 1024) lines += "a line of notes\n";
    writeBytes("long.txt", lines);
    openFile(path("long.txt"));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_GT(editorText().size(), 1024 * 1024);

    // Every byte value, zeros included, as one long unbroken line.
    QByteArray binary(1024 * 1024, '\0');
    for (qsizetype i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>((i * 7919) % 256);
    for (qsizetype i = 0; i < binary.size(); ++i) {
        if (binary[i] == '\n' || binary[i] == '\r') binary[i] = 'x';
    }
    writeBytes("binary.bin", binary);
    openFile(path("binary.bin"));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_GE(editorText().size(), 1000);
    EXPECT_FALSE(editorText().contains(QChar(u'\0')));
    QTest::qWait(1);  // a paint pass over the long line

    writeBytes("empty.txt", "");
    openFile(path("empty.txt"));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(editorText(), "");
}

const char* const memoryText = "Unable to allocate text buffer.\nTry to free up some memory.";
const char* const unableToSave = "Unable to open the selected file;\n     Please try again.";

// Refuses every buffer while `refusing` is set.
struct NoMemory final : AllocationGate {
    bool allow(std::size_t) override { return !refusing; }
    bool refusing = true;
};

TEST_F(NotesEditorTest, NoMemoryForTheNotesTextGivesTheMemoryMessageAndTheEditorGoesOn) {
    NoMemory gate;
    editor->setAllocationGate(&gate);
    writeBytes("notes.txt", "from a file");
    editor->editor()->setPlainText("typed");

    openFile(path("notes.txt"));
    expectOnlyMessage(memoryText, "Memory Problem", "typed");

    // Save As cannot keep the text: the notes are emptied and nothing is saved.
    saveAs(path("saved.txt"));
    expectOnlyMessage(memoryText, "Memory Problem", "typed");
    EXPECT_EQ(notes, "");
    EXPECT_FALSE(QFile::exists(path("saved.txt")));
    EXPECT_EQ(files.requests.size(), 1u) << "no save dialog after the failure";
    files.answers.clear();

    gate.refusing = false;
    openFile(path("notes.txt"));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(editorText(), "from a file");

    // Exit without memory: the message, empty notes, and the window closes all the same.
    gate.refusing = true;
    editor->runCommand(NotesCommand::Exit);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, memoryText);
    EXPECT_EQ(notes, "");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(editor);
}

// The test's folder, searchable by a user whom permissions bind.
class SearchableFolder {
public:
    explicit SearchableFolder(const QString& folder) : folder_(QFile::encodeName(folder)) {
        chmod(folder_.constData(), 0755);
    }
    ~SearchableFolder() { chmod(folder_.constData(), 0700); }

private:
    QByteArray folder_;
};

TEST_F(NotesEditorTest, AnUnreadableFileCannotBeOpened) {
    writeBytes("secret.txt", "secret");
    ASSERT_EQ(chmod(QFile::encodeName(path("secret.txt")).constData(), 0600), 0);
    editor->editor()->setPlainText("precious");
    SearchableFolder searchable(folder.path());
    {
        test::WithoutPrivileges user;
        if (!user.bound()) GTEST_SKIP() << "cannot leave the superuser here";
        openFile(path("secret.txt"));
    }
    expectOnlyMessage("Unable to open file.", "File Problem", "precious");
}

TEST_F(NotesEditorTest, AFailedSaveKeepsTheEarlierFile) {
    writeBytes("notes.txt", "earlier notes");
    ASSERT_EQ(chmod(QFile::encodeName(path("notes.txt")).constData(), 0640), 0);
    const QString longer(5000, 'x');
    editor->editor()->setPlainText(longer);
    {
        test::FileSizeLimit full(100);
        saveAs(path("notes.txt"));
    }
    expectOnlyMessage(unableToSave, "Text File Error", longer);
    EXPECT_EQ(bytesOf("notes.txt"), "earlier notes");
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"notes.txt"})
        << "no temporary file is left";

    // A device that is always full is written, fails, and stays a device.
    if (QFile::exists("/dev/full")) {
        saveAs("/dev/full");
        expectOnlyMessage(unableToSave, "Text File Error", longer);
        EXPECT_TRUE(QFileInfo("/dev/full").exists() && !QFileInfo("/dev/full").isFile());
    }

    // A read-only file, and a folder that takes no new files.
    {
        SearchableFolder searchable(folder.path());
        ASSERT_EQ(chmod(QFile::encodeName(path("notes.txt")).constData(), 0444), 0);
        ASSERT_EQ(chmod(QFile::encodeName(folder.path()).constData(), 0555), 0);
        test::WithoutPrivileges user;
        if (!user.bound()) GTEST_SKIP() << "cannot leave the superuser here";
        saveAs(path("notes.txt"));
        expectOnlyMessage(unableToSave, "Text File Error", longer);
        saveAs(path("new.txt"));
        expectOnlyMessage(unableToSave, "Text File Error", longer);
    }
    EXPECT_EQ(bytesOf("notes.txt"), "earlier notes");
    EXPECT_FALSE(QFile::exists(path("new.txt")));

    // Room and rights again: the save replaces the file and keeps its permissions.
    ASSERT_EQ(chmod(QFile::encodeName(path("notes.txt")).constData(), 0640), 0);
    saveAs(path("notes.txt"));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Text saved to file:\nnotes.txt");
    EXPECT_EQ(bytesOf("notes.txt"), longer.toUtf8());
    struct stat status {};
    ASSERT_EQ(stat(QFile::encodeName(path("notes.txt")).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u);
}

TEST_F(NotesEditorTest, CancelledOrBusyDialogsChangeNothing) {
    editor->editor()->setPlainText("draft");
    editor->runCommand(NotesCommand::Open);  // no answer scripted: cancelled
    editor->runCommand(NotesCommand::SaveAs);
    EXPECT_EQ(files.requests.size(), 2u);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(editorText(), "draft");

    saveDialogBusy = true;
    files.answers.push_back(path("never.txt"));
    editor->runCommand(NotesCommand::Open);
    editor->editor()->setPlainText("draft 2");
    editor->runCommand(NotesCommand::SaveAs);
    EXPECT_EQ(files.requests.size(), 2u);
    EXPECT_EQ(notes, "draft 2");  // the text is kept even though no dialog ran
    EXPECT_FALSE(QFile::exists(path("never.txt")));
}

TEST_F(NotesEditorTest, ClosingKeepsTheTextForTheNextEditor) {
    editor->editor()->setPlainText("kept by Exit");
    editor->runCommand(NotesCommand::Exit);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(editor);
    EXPECT_EQ(notes, "kept by Exit");

    editor = new NotesEditor(nullptr, notes, fileDialogs, messages);
    EXPECT_EQ(editorText(), "kept by Exit");
    editor->editor()->setPlainText("kept by the close box");
    editor->close();
    EXPECT_EQ(notes, "kept by the close box");
}

TEST(SaveNotes, WritesTextModeLineEndsAndReportsFailure) {
    QTemporaryDir folder;
    CapturedMessages messages;
    const QString file = folder.filePath("plain.txt");
    EXPECT_EQ(saveNotes("a\nb", file, messages), 0);
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), QByteArray("a") + historyLineEnd.data() + "b");
    EXPECT_TRUE(messages.shown.empty());

    EXPECT_EQ(saveNotes("a", folder.filePath("missing/plain.txt"), messages), 1);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].parent, nullptr);
}

// Found by fuzzing: a text that begins with a byte-order mark lost it on
// the way through a file, which reads a leading mark as a mark.
TEST(SaveNotes, ATextBeginningWithAByteOrderMarkComesBackWhole) {
    QTemporaryDir folder;
    CapturedMessages messages;
    const QString file = folder.filePath("marked.txt");
    const QString text = QString(QChar(0xFEFF)) + "`";
    ASSERT_EQ(saveNotes(text.toStdString(), file, messages), 0);
    const NotesFile read = readNotesFile(file);
    EXPECT_EQ(read.status, NotesFileStatus::Read);
    EXPECT_EQ(read.text, text);
}

}  // namespace
}  // namespace fernwise
