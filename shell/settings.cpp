#include "settings.h"

#include <sys/stat.h>

#include <cerrno>

#include <QByteArray>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QVariant>

namespace fernwise {
namespace {

const char* const organisation = "Ko";
const char* const application = "Fernwise";
const char* const resIndexKey = "ResIndex";
const char* const oldPathKey = "OldPath";

constexpr int sizeIndexCount = 10;

// The real file holds a few hundred bytes; one much larger is damaged, and
// reading it whole would cost its size in memory at every start.
constexpr qint64 maxSettingsFileBytes = 64 * 1024;

QString storeFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/' +
           QLatin1String(organisation) + u'/' + QLatin1String(application) + QLatin1String(".conf");
}

enum class StoreFile { Usable, Oversized, Unusable };

// Judges the settings file before QSettings opens it, which it does with a
// blocking read of the whole file: only a regular file of a sane size may be
// read. The Windows registry has no file.
StoreFile judgeStoreFile() {
#ifdef Q_OS_WIN
    return StoreFile::Usable;
#else
    struct stat info {};
    if (::stat(QFile::encodeName(storeFilePath()).constData(), &info) != 0) {
        return errno == ENOENT ? StoreFile::Usable : StoreFile::Unusable;
    }
    if (!S_ISREG(info.st_mode)) return StoreFile::Unusable;
    return info.st_size > maxSettingsFileBytes ? StoreFile::Oversized : StoreFile::Usable;
#endif
}

std::optional<int> sizeIndexFrom(const QVariant& value) {
    int index = -1;
    if (value.typeId() == QMetaType::QByteArray && value.toByteArray().size() == 4) {
        // The original store kept the index as four little-endian bytes.
        const QByteArray bytes = value.toByteArray();
        index = static_cast<unsigned char>(bytes[0]) | static_cast<unsigned char>(bytes[1]) << 8 |
                static_cast<unsigned char>(bytes[2]) << 16 | static_cast<unsigned char>(bytes[3]) << 24;
    } else {
        bool ok = false;
        index = value.toInt(&ok);
        if (!ok) return std::nullopt;
    }
    if (index < 0 || index >= sizeIndexCount) return std::nullopt;
    return index;
}

std::optional<QString> folderFrom(const QVariant& value) {
    if (value.typeId() != QMetaType::QString) return std::nullopt;
    QString folder = value.toString();
    // A fixed-size text value ends at its first zero; the rest is padding.
    const qsizetype zero = folder.indexOf(QChar(u'\0'));
    if (zero >= 0) folder.truncate(zero);
    return folder;
}

}  // namespace

SettingStatus Settings::readSetting(SettingName which, StoredSettings& into) const {
    switch (judgeStoreFile()) {
        case StoreFile::Usable: break;
        case StoreFile::Oversized:
            // Damaged: nothing in it is stored.
            return which == SettingName::ResIndex ? SettingStatus::ResIndexFailed : SettingStatus::OldPathFailed;
        case StoreFile::Unusable: return SettingStatus::StoreUnavailable;
    }
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, organisation, application);
    // A damaged file is reported only by the first reading of it (later ones
    // come from QSettings' cache), so the damage is no reason to refuse a
    // value: every value that could be read is judged on its own.
    if (store.status() == QSettings::AccessError) return SettingStatus::StoreUnavailable;
    if (which == SettingName::ResIndex) {
        const std::optional<int> index = sizeIndexFrom(store.value(resIndexKey));
        if (!index) return SettingStatus::ResIndexFailed;
        into.sizeIndex = *index;
    } else {
        const std::optional<QString> folder = folderFrom(store.value(oldPathKey));
        if (!folder) return SettingStatus::OldPathFailed;
        into.rememberedMapFolder = *folder;
    }
    return SettingStatus::Ok;
}

SettingStatus Settings::writeSetting(SettingName which, const StoredSettings& from) {
    // Only a value that reached the disk (or the registry) counts as written.
    // QSettings reports the first problem it met, and over a damaged file
    // that is the damage it found when it read the file again to write it,
    // which would hide a failed write. The write replaces the file with what
    // could be read of it plus the value, so a second write finds a sound
    // file and its status speaks of the write alone. An oversized file has
    // nothing that could be read and goes first; a pipe or a folder in its
    // place is left alone and the write fails.
    switch (judgeStoreFile()) {
        case StoreFile::Usable: break;
        case StoreFile::Oversized: QFile::remove(storeFilePath()); break;
        case StoreFile::Unusable:
            return which == SettingName::ResIndex ? SettingStatus::ResIndexFailed : SettingStatus::OldPathFailed;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        QSettings store(QSettings::NativeFormat, QSettings::UserScope, organisation, application);
        if (which == SettingName::ResIndex) {
            store.setValue(resIndexKey, from.sizeIndex);
        } else {
            store.setValue(oldPathKey, from.rememberedMapFolder);
        }
        store.sync();
        if (store.status() == QSettings::NoError) return SettingStatus::Ok;
        if (store.status() != QSettings::FormatError) break;
    }
    return which == SettingName::ResIndex ? SettingStatus::ResIndexFailed : SettingStatus::OldPathFailed;
}

std::optional<int> Settings::readResIndex() const {
    StoredSettings values;
    if (readSetting(SettingName::ResIndex, values) != SettingStatus::Ok) return std::nullopt;
    return values.sizeIndex;
}

SettingStatus Settings::writeResIndex(int sizeIndex) {
    StoredSettings values;
    values.sizeIndex = sizeIndex;
    return writeSetting(SettingName::ResIndex, values);
}

QString Settings::readOldPath() const {
    StoredSettings values;
    if (readSetting(SettingName::OldPath, values) != SettingStatus::Ok) return {};
    return values.rememberedMapFolder;
}

SettingStatus Settings::writeOldPath(const QString& folder) {
    StoredSettings values;
    values.rememberedMapFolder = folder;
    return writeSetting(SettingName::OldPath, values);
}

}  // namespace fernwise
