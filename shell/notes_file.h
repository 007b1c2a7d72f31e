#pragma once

#include <string>

#include <QString>

namespace fernwise {

class MessageSeam;
struct AllocationGate;

// Notes files larger than this are refused, with a message of their own.
// Laying out one unbroken line (a binary file) takes the text edit about a
// second per megabyte, all of it on the program's one thread.
inline constexpr qint64 maxNotesFileBytes = 4 * 1024 * 1024;

// What reading a notes file gave; each failure has its own message.
enum class NotesFileStatus {
    Read,        // `text` holds the file's contents
    CannotOpen,  // "Unable to open file."
    CannotRead,  // "Unable to read file."
    NoMemory,    // "Unable to allocate text buffer.\nTry to free up some memory."
    TooLarge,    // over maxNotesFileBytes: "This file is too large for the notes editor."
};

struct NotesFile {
    NotesFileStatus status = NotesFileStatus::CannotOpen;
    QString text;
};

// Reads a notes file for Open: only a regular file, at most
// maxNotesFileBytes, as UTF-8, or byte for byte as Latin-1 when it is not
// valid UTF-8; a zero byte shows as the replacement character. `gate` may
// refuse the buffer for the contents.
NotesFile readNotesFile(const QString& path, AllocationGate* gate = nullptr);

// Writes the notes to `path` as a text file. Returns 0 when saved, 1 after
// showing "Unable to open the selected file" when the file cannot be created
// or written. The text goes to a temporary file that replaces the target
// only once it was written whole, so a failed save (a full disk) leaves an
// earlier file as it was.
int saveNotes(const std::string& text, const QString& path, MessageSeam& messages);

}  // namespace fernwise
