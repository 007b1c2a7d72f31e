#include "settings_removal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace fernwise {
namespace {

constexpr const char* parentName = "Ko";
constexpr const char* settingsFileName = "Fernwise.conf";

// A handle on the parent folder that cannot be redirected through a symbolic
// link, and that needs no read permission where the system allows it.
#ifdef O_PATH
constexpr int parentOpenFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#else
constexpr int parentOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#endif

}  // namespace

QString userConfigFolder() {
    const QString location = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (location.isEmpty()) return {};
    // QSettings takes a relative XDG_CONFIG_HOME against the working folder;
    // doing the same keeps this tool on the very file fernwise writes.
    return QDir::cleanPath(QFileInfo(location).absoluteFilePath());
}

RemovalResult removeStoredSettingsIn(const QString& configFolder) {
    if (configFolder.isEmpty()) return RemovalResult::NotFound;
    const QByteArray parentPath = QFile::encodeName(configFolder + '/' + QLatin1String(parentName));

    // The file is looked at and removed through the folder handle, so that a
    // "Ko" swapped for a link meanwhile cannot lead the removal elsewhere.
    const int parent = ::open(parentPath.constData(), parentOpenFlags);
    if (parent < 0) return RemovalResult::NotFound;
    struct stat parentStat {};
    if (::fstat(parent, &parentStat) != 0 || !S_ISDIR(parentStat.st_mode)) {
        ::close(parent);
        return RemovalResult::NotFound;
    }
    struct stat settingsStat {};
    const bool present = ::fstatat(parent, settingsFileName, &settingsStat, AT_SYMLINK_NOFOLLOW) == 0 &&
                         (S_ISREG(settingsStat.st_mode) || S_ISLNK(settingsStat.st_mode));
    // A link is unlinked itself; its target, wherever it is, stays as it was.
    const bool deleted = present && ::unlinkat(parent, settingsFileName, 0) == 0;
    ::close(parent);
    if (!present) return RemovalResult::NotFound;
    if (!deleted) return RemovalResult::DeletionFailed;

    // rmdir removes only an empty folder, so whatever else lives in "Ko"
    // keeps it, with no window between looking and removing.
    return ::rmdir(parentPath.constData()) == 0 ? RemovalResult::SubkeyAndParentDeleted : RemovalResult::SubkeyDeleted;
}

RemovalResult removeStoredSettings() { return removeStoredSettingsIn(userConfigFolder()); }

}  // namespace fernwise
