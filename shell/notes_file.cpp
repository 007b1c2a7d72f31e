#include "notes_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <new>

#include <QByteArray>
#include <QFile>
#include <QStringDecoder>

#include "palette.h"
#include "plot_history.h"
#include "save_file.h"
#include "seams.h"

namespace fernwise {
namespace {

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

NotesFile readNotesFile(const QString& path, AllocationGate* gate) {
    NotesFile result;
    // Only a regular file is read, and it is opened without blocking: a
    // pipe or device would block or never end, even one put in the file's
    // place after the dialog looked at it.
    const int fd =
        path.isEmpty() ? -1 : ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat info {};
    QFile file;
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0) ::close(fd);
        result.status = NotesFileStatus::CannotOpen;
        return result;
    }
    const qint64 size = file.size();
    if (file.isSequential() || size < 0) {
        result.status = NotesFileStatus::CannotRead;
        return result;
    }
    if (size > maxNotesFileBytes) {
        result.status = NotesFileStatus::TooLarge;
        return result;
    }
    QByteArray bytes;
    try {
        if (gate == nullptr || gate->allow(static_cast<std::size_t>(size))) {
            bytes = QByteArray(size, '\0');
        }
    } catch (const std::bad_alloc&) {}
    if (bytes.size() != size) {
        result.status = NotesFileStatus::NoMemory;
        return result;
    }
    const qint64 got = file.read(bytes.data(), size);
    if (got < 0) {
        result.status = NotesFileStatus::CannotRead;
        return result;
    }
    bytes.truncate(got);  // the file may have shrunk since its size was taken
    result.text = decodeNotes(bytes);
    result.status = NotesFileStatus::Read;
    return result;
}

int saveNotes(const std::string& text, const QString& path, MessageSeam& messages) {
    // The image writers' safe replacement: a full disk or any other failed
    // write leaves an earlier file untouched. Line feeds become the
    // platform's line ends, as a text-mode stream would write them.
    std::string lines;
    if (historyLineEnd == "\n") {
        lines = text;
    } else {
        for (const char c : text) {
            if (c == '\n') {
                lines += historyLineEnd;
            } else {
                lines += c;
            }
        }
    }
    // Opening a file takes a leading byte-order mark for a mark, not for
    // text: a text that begins with one keeps it behind a mark of its own.
    static const std::string byteOrderMark = "\xEF\xBB\xBF";
    if (lines.compare(0, byteOrderMark.size(), byteOrderMark) == 0) lines.insert(0, byteOrderMark);
    SaveFile file;
    const bool saved = !path.isEmpty() && file.open(std::filesystem::path(path.toStdU16String())) &&
                       file.write(lines.data(), lines.size()) && file.commit();
    if (saved) return 0;
    file.abandon();
    messages.show(nullptr, "Unable to open the selected file;\n     Please try again.", "Text File Error",
                  MessageIcon::Warning);
    return 1;
}

}  // namespace fernwise
