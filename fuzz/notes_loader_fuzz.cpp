// Any bytes as a notes file: Open must neither crash nor show a zero byte,
// and the text it gives must survive Save As and Open again unchanged.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include "notes_file.h"
#include "seams.h"

namespace {

QString folder;

class SilentMessages final : public fernwise::MessageSeam {
public:
    fernwise::MessageAnswer show(QWidget*, const QString&, const QString&, fernwise::MessageIcon,
                                 fernwise::MessageButtons) override {
        ++shown;
        return fernwise::MessageAnswer::Ok;
    }
    int shown = 0;
};

void removeFolder() { QDir(folder).removeRecursively(); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // A memory-backed folder where there is one: every input is a file write.
    std::string pattern =
        (QDir("/dev/shm").exists() ? "/dev/shm" : QDir::tempPath().toStdString()) + "/fernwise-notes-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    folder = QString::fromStdString(pattern);
    std::atexit(removeFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString opened = folder + "/opened.txt";
    const QString saved = folder + "/saved.txt";
    {
        QFile file(opened);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
        if (file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) != static_cast<qint64>(size))
            std::abort();
    }
    const fernwise::NotesFile first = fernwise::readNotesFile(opened);
    if (first.status != fernwise::NotesFileStatus::Read) __builtin_trap();
    if (first.text.contains(QChar(u'\0'))) __builtin_trap();
    // Every byte shows as at least one character, except a UTF-8 byte-order
    // mark, which marks the text and is not part of it.
    const bool markOnly = size == 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF;
    if (first.text.isEmpty() != (size == 0 || markOnly)) __builtin_trap();

    SilentMessages messages;
    if (fernwise::saveNotes(first.text.toStdString(), saved, messages) != 0 || messages.shown != 0) __builtin_trap();
    const fernwise::NotesFile second = fernwise::readNotesFile(saved);
    if (second.status != fernwise::NotesFileStatus::Read || second.text != first.text) __builtin_trap();
    return 0;
}
