#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include <QFile>
#include <QSettings>
#include <QString>

namespace fernwise::sweeptest {

// The temporary root of the test run; XDG_CONFIG_HOME points at its
// "config" folder, and link targets live in its "outside" folder.
inline QString testRoot;

inline QString configFolder() { return testRoot + "/config"; }
inline std::filesystem::path configPath() {
    return std::filesystem::path(QFile::encodeName(configFolder()).toStdString());
}
inline std::filesystem::path outsidePath() { return configPath().parent_path() / "outside"; }
inline std::filesystem::path koPath() { return configPath() / "Ko"; }
inline std::filesystem::path settingsPath() { return koPath() / "Fernwise.conf"; }

// Stores the two values as fernwise does, through QSettings.
inline void writeFernwiseSettings() {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, "Ko", "Fernwise");
    settings.setValue("ResIndex", 4);
    settings.setValue("OldPath", "/home/user/maps");
    settings.sync();
}

// Whether fernwise, started now, would find any stored value.
inline bool fernwiseFindsSettings() {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, "Ko", "Fernwise");
    return !settings.allKeys().isEmpty();
}

inline void writeFile(const std::filesystem::path& path, const std::string& content) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// Everything below a folder, without following links: relative path to
// "dir", "file:<content>", "link:<target>" or "other".
using Snapshot = std::map<std::string, std::string>;

inline Snapshot snapshot(const std::filesystem::path& folder) {
    namespace fs = std::filesystem;
    Snapshot result;
    std::error_code error;
    if (!fs::exists(fs::symlink_status(folder, error))) return result;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = fs::relative(it->path(), folder).string();
        const fs::file_status status = it->symlink_status();
        if (fs::is_symlink(status))
            result[name] = "link:" + fs::read_symlink(it->path()).string();
        else if (fs::is_directory(status))
            result[name] = "dir";
        else if (fs::is_regular_file(status))
            result[name] = "file:" + readFile(it->path());
        else
            result[name] = "other";
    }
    return result;
}

// Gives the owner full access again to every folder below a path, so that
// a test that took it away can clean up.
inline void restoreAccess(const QString& rootFolder) {
    namespace fs = std::filesystem;
    const fs::path root(QFile::encodeName(rootFolder).toStdString());
    std::error_code error;
    if (!fs::is_directory(fs::symlink_status(root, error))) return;
    fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, error);
    for (fs::recursive_directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
        if (fs::is_directory(it->symlink_status()))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
    }
}

}  // namespace fernwise::sweeptest
