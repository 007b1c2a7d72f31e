#pragma once

#include <optional>

#include <QString>

namespace fernwise {

// The two values kept between runs.
enum class SettingName { ResIndex, OldPath };

// The codes readSetting and writeSetting return; callers only act on Ok.
enum class SettingStatus : int {
    Ok = 0,
    StoreUnavailable = 1,  // the settings store cannot be opened or created
    ResIndexFailed = 2,    // "ResIndex" missing, unusable or not written
    OldPathFailed = 3,     // "OldPath" missing, unusable or not written
};

// What the two values hold in the program: the image size index 0..9 and
// the folder of the last palette file, with its trailing separator.
struct StoredSettings {
    int sizeIndex = 0;
    QString rememberedMapFolder;
};

// The settings store: QSettings with organisation "Ko" and application
// "Fernwise" (the registry key Software\Ko\Fernwise on Windows, the file
// Ko/Fernwise.conf in the user's configuration folder elsewhere). Reads are
// tolerant: a missing, corrupt, wrongly typed or out-of-range value reads
// as not stored and leaves the target untouched, never a crash.
class Settings {
public:
    // Reads one value into `into`.
    SettingStatus readSetting(SettingName which, StoredSettings& into) const;
    // Writes one value from `from` and reports whether it reached the store.
    SettingStatus writeSetting(SettingName which, const StoredSettings& from);

    // Shorthands for the one value each caller needs.
    std::optional<int> readResIndex() const;  // nullopt when not read
    SettingStatus writeResIndex(int sizeIndex);
    QString readOldPath() const;  // empty when not read
    SettingStatus writeOldPath(const QString& folder);
};

}  // namespace fernwise
