// Any bytes as the settings file Fernwise.conf: the reads must neither crash
// nor give a size index outside 0..9 or a folder holding a zero byte. When
// the first byte asks for it, a value is then written over the damaged file:
// the write must read back, and a folder that could be read before must
// still read the same (a damaged file is started afresh from what could be
// read of it).
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QString>

#include "settings.h"

namespace {

QString root;

QString settingsFile() { return root + "/Ko/Fernwise.conf"; }

void removeRoot() { QDir(root).removeRecursively(); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The settings store fixes its folder at first use, so the temporary
    // XDG_CONFIG_HOME is set before anything asks; a memory-backed one where
    // there is one, since every input writes the file.
    std::string pattern =
        (QDir("/dev/shm").exists() ? "/dev/shm" : QDir::tempPath().toStdString()) + "/fernwise-settings-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    root = QString::fromStdString(pattern);
    if (!QDir().mkpath(root + "/Ko")) std::abort();
    setenv("XDG_CONFIG_HOME", pattern.c_str(), 1);
    std::atexit(removeRoot);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A modification time of its own for every input, so that the store
    // never takes a cached reading of an earlier file for this one.
    static qint64 stamp = 0;
    {
        QFile file(settingsFile());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
        file.setFileTime(QDateTime::fromSecsSinceEpoch(1000000000 + ++stamp), QFileDevice::FileModificationTime);
    }

    fernwise::Settings settings;
    const std::optional<int> index = settings.readResIndex();
    if (index && (*index < 0 || *index > 9)) __builtin_trap();
    fernwise::StoredSettings folderRead;
    const bool folderKnown =
        settings.readSetting(fernwise::SettingName::OldPath, folderRead) == fernwise::SettingStatus::Ok;
    if (folderKnown && folderRead.rememberedMapFolder.contains(QChar(u'\0'))) __builtin_trap();

    if (size == 0 || (data[0] & 3) != 0) return 0;
    const int written = data[0] >> 2 & 7;
    if (settings.writeResIndex(written) != fernwise::SettingStatus::Ok) __builtin_trap();
    if (settings.readResIndex() != written) __builtin_trap();
    if (folderKnown && settings.readOldPath() != folderRead.rememberedMapFolder) __builtin_trap();

    // A folder of any characters but zero reads back as it was written.
    QString folder =
        QString::fromUtf8(reinterpret_cast<const char*>(data) + 1, static_cast<qsizetype>(size - 1)).left(64);
    folder.remove(QChar(u'\0'));
    if (settings.writeOldPath(folder) != fernwise::SettingStatus::Ok) __builtin_trap();
    if (settings.readOldPath() != folder || settings.readResIndex() != written) __builtin_trap();
    return 0;
}
