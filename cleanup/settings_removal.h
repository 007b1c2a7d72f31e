#pragma once

#include <QString>

namespace fernwise {

// What the removal did; the value is the index of its message in
// removalMessages.
enum class RemovalResult {
    NotFound = 0,                // fernwise's settings are not there; nothing changed
    SubkeyDeleted = 1,           // the settings are gone; their parent holds something else and stays
    SubkeyAndParentDeleted = 2,  // the settings and then their empty parent are gone
    DeletionFailed = 3,          // the settings are there but could not be deleted
};

// The final message for each result, indexed by its code.
inline constexpr const char* removalMessages[] = {
    "No Fernwise subkey was found.",
    "The Fernwise subkey was deleted.",
    "The Fernwise subkey and the\n     Ko key were deleted.",
    "The Fernwise subkey could not be deleted.",
};

QString removalMessage(RemovalResult removalResult);

// Removes exactly what fernwise stores under organisation "Ko" and
// application "Fernwise" in the current user's native settings store, and
// then the "Ko" parent when nothing else is left in it. Nothing else is
// touched: on Unix the settings are the file Ko/Fernwise.conf in the user's
// configuration folder, on Windows the key HKEY_CURRENT_USER\Software\Ko\Fernwise.
RemovalResult removeStoredSettings();

#ifndef _WIN32
// The user's configuration folder as QSettings finds it (XDG_CONFIG_HOME,
// else ~/.config), made absolute the same way; empty when there is none.
QString userConfigFolder();

// The removal inside a given configuration folder. A "Ko" that is not a real
// folder counts as absent, and a Fernwise.conf that is a symbolic link is
// removed as a link: nothing outside the configuration folder is ever
// followed, changed or deleted.
RemovalResult removeStoredSettingsIn(const QString& configFolder);
#endif

}  // namespace fernwise
