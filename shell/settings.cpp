#include "settings.h"

#include <QByteArray>
#include <QFile>
#include <QSettings>
#include <QVariant>

namespace fernwise {
namespace {

const char* const organisation = "Ko";
const char* const application = "Fernwise";
const char* const resIndexKey = "ResIndex";
const char* const oldPathKey = "OldPath";

constexpr int sizeIndexCount = 10;

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

// A damaged settings file keeps QSettings reporting the damage even after a
// good write, which would hide a real write failure. It is started afresh
// from whatever could be read of it before a value is written.
void restartDamagedStore() {
    QVariantMap kept;
    QString file;
    {
        QSettings store(QSettings::NativeFormat, QSettings::UserScope, organisation, application);
        if (store.status() != QSettings::FormatError) return;
        for (const QString& key : store.allKeys()) kept.insert(key, store.value(key));
        file = store.fileName();
    }
    QFile::remove(file);
    QSettings fresh(QSettings::NativeFormat, QSettings::UserScope, organisation, application);
    for (auto it = kept.cbegin(); it != kept.cend(); ++it) fresh.setValue(it.key(), it.value());
}

}  // namespace

SettingStatus Settings::readSetting(SettingName which, StoredSettings& into) const {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, organisation, application);
    if (store.status() != QSettings::NoError) return SettingStatus::StoreUnavailable;
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
    restartDamagedStore();
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, organisation, application);
    if (which == SettingName::ResIndex) {
        store.setValue(resIndexKey, from.sizeIndex);
    } else {
        store.setValue(oldPathKey, from.rememberedMapFolder);
    }
    // Only a value that reached the disk (or the registry) counts as written.
    store.sync();
    if (store.status() == QSettings::NoError) return SettingStatus::Ok;
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
