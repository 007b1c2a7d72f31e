#include "settings_removal.h"

#include <windows.h>

namespace fernwise {
namespace {

constexpr const wchar_t* settingsKey = L"Software\\Ko\\Fernwise";
constexpr const wchar_t* parentKey = L"Software\\Ko";

}  // namespace

RemovalResult removeStoredSettings() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, settingsKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return RemovalResult::NotFound;
    RegCloseKey(key);
    if (RegDeleteKeyW(HKEY_CURRENT_USER, settingsKey) != ERROR_SUCCESS) return RemovalResult::DeletionFailed;

    if (RegOpenKeyExW(HKEY_CURRENT_USER, parentKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return RemovalResult::SubkeyDeleted;
    DWORD subkeys = 0;
    DWORD values = 0;
    const LSTATUS query = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                                           nullptr, nullptr, nullptr);
    RegCloseKey(key);
    // Values of another program count as much as its subkeys: deleting the
    // key would take them along.
    if (query != ERROR_SUCCESS || subkeys != 0 || values != 0) return RemovalResult::SubkeyDeleted;
    return RegDeleteKeyW(HKEY_CURRENT_USER, parentKey) == ERROR_SUCCESS ? RemovalResult::SubkeyAndParentDeleted
                                                                        : RemovalResult::SubkeyDeleted;
}

}  // namespace fernwise
