#include <cstdio>
#include <cstdlib>
#include <string>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "dialog_test_support.h"
#include "settings.h"

namespace fernwise::dialogtest {
namespace {
QString root;
}
QString testRoot() { return root; }
}  // namespace fernwise::dialogtest

// One main for every shell test program. QSettings fixes the user's
// configuration folder the first time it is used, so the run sets a temporary
// XDG_CONFIG_HOME before anything asks; the real ~/.config is never touched.
int main(int argc, char* argv[]) {
    // The settings tests start the binary again as the next run of the program.
    if (argc == 2 && QByteArray(argv[1]) == "--print-stored-settings") {
        fernwise::Settings settings;
        const std::optional<int> index = settings.readResIndex();
        fernwise::StoredSettings stored;
        const bool folderRead =
            settings.readSetting(fernwise::SettingName::OldPath, stored) == fernwise::SettingStatus::Ok;
        std::printf("ResIndex=%s OldPath=%s\n", index ? std::to_string(*index).c_str() : "none",
                    folderRead ? stored.rememberedMapFolder.toUtf8().constData() : "none");
        return 0;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir folder;
    if (!folder.isValid()) return EXIT_FAILURE;
    fernwise::dialogtest::root = folder.path();
    QDir(folder.path()).mkpath("config");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder.path() + "/config"));
    // Files the program writes on its own (history.txt) land there too.
    QDir::setCurrent(folder.path());

    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
