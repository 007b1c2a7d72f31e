#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "../fault_injection.h"
#include "app_state.h"
#include "dialog_test_support.h"
#include "file_dialogs.h"
#include "settings.h"

namespace fernwise {
namespace {

using dialogtest::ScriptedFileDialogs;

QString configFolder() { return dialogtest::testRoot() + "/config/Ko"; }
QString configFile() { return configFolder() + "/Fernwise.conf"; }

// Each test starts without stored settings. Contents written here carry a
// modification time of their own, so that a cached earlier reading of the
// file is never taken for it.
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        QDir(configFolder()).removeRecursively();
        QFile::remove(configFolder());
    }
    void TearDown() override { SetUp(); }

    static void storeRaw(const QByteArray& contents) {
        static int stamp = 0;
        QDir().mkpath(configFolder());
        QFile file(configFile());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(contents);
        file.setFileTime(QDateTime::currentDateTime().addSecs(-100000 + ++stamp), QFileDevice::FileModificationTime);
    }
    static QByteArray storedRaw() {
        QFile file(configFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // What a fresh run of the program reads: another process.
    static QString readInAnotherRun() {
        QProcess run;
        run.start(QCoreApplication::applicationFilePath(), {"--print-stored-settings"});
        if (!run.waitForFinished(30000)) return "no answer";
        return QString::fromUtf8(run.readAllStandardOutput()).trimmed();
    }

    Settings settings;
};

TEST_F(SettingsTest, ValuesSurviveARestart) {
    EXPECT_EQ(readInAnotherRun(), "ResIndex=none OldPath=none");
    EXPECT_EQ(settings.readResIndex(), std::nullopt);
    StoredSettings values;
    EXPECT_EQ(settings.readSetting(SettingName::ResIndex, values), SettingStatus::ResIndexFailed);

    EXPECT_EQ(settings.writeResIndex(7), SettingStatus::Ok);
    EXPECT_EQ(settings.writeOldPath("/home/user/My Maps, old/"), SettingStatus::Ok);
    EXPECT_TRUE(QFile::exists(configFile()));
    EXPECT_EQ(readInAnotherRun(), "ResIndex=7 OldPath=/home/user/My Maps, old/");
    EXPECT_EQ(settings.readResIndex(), 7);
    EXPECT_EQ(settings.readOldPath(), "/home/user/My Maps, old/");

    // Start-up chooses the image size from it.
    AppState state;
    state.display.screenWidth = 1152;
    state.display.screenHeight = 864;
    chooseImageSize(state, settings.readResIndex());
    EXPECT_EQ(state.geometry.imageWidth, 1024);
    EXPECT_EQ(state.geometry.imageHeight, 768);
    EXPECT_EQ(state.geometry.sizeIndex, 7);
}

TEST_F(SettingsTest, CorruptOrOutOfRangeValuesReadAsNotStored) {
    const char* const unusable[] = {
        "[General]\nResIndex=10\n",
        "[General]\nResIndex=-1\n",
        "[General]\nResIndex=seven\n",
        "[General]\nResIndex=7.5\n",
        "[General]\nResIndex=1, 2\n",
        "[General]\nResIndex=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x1cnot a type)\n",
        "[General]\nResIndex=99999999999999999999999\n",
        "[General]\nResIndex=\n",
        "ResIndex\n[[[\n\x01\x02\xff\xfe garbage \0 more\n",
    };
    for (const char* contents : unusable) {
        storeRaw(contents);
        EXPECT_EQ(settings.readResIndex(), std::nullopt) << contents;
        // The start-up then falls back to the display size.
        AppState state;
        state.display.screenWidth = 1024;
        state.display.screenHeight = 768;
        chooseImageSize(state, settings.readResIndex());
        EXPECT_EQ(state.geometry.imageWidth, 1024) << contents;
        EXPECT_EQ(state.geometry.sizeIndex, 7) << contents;
    }

    storeRaw("[General]\nResIndex=2\nOldPath=a, b\n");
    EXPECT_EQ(settings.readResIndex(), 2);
    EXPECT_EQ(settings.readOldPath(), "");
    storeRaw("[General]\nOldPath=@ByteArray(/maps/)\n");
    EXPECT_EQ(settings.readOldPath(), "");
    // A four-byte binary index, as the original store kept it, still reads.
    storeRaw("[General]\nResIndex=@ByteArray(\\x3\\0\\0\\0)\n");
    EXPECT_EQ(settings.readResIndex(), 3);

    // Writing over a damaged file stores the value, keeps what could be read
    // of the file, and says so.
    storeRaw("[General]\nResIndex=abc\nOldPath=/kept/\n[broken\n\xff\xfe\n");
    EXPECT_EQ(settings.writeResIndex(4), SettingStatus::Ok);
    EXPECT_EQ(readInAnotherRun(), "ResIndex=4 OldPath=/kept/");
    EXPECT_EQ(settings.writeOldPath("/new/"), SettingStatus::Ok);
    EXPECT_EQ(readInAnotherRun(), "ResIndex=4 OldPath=/new/");
}

// What any settings file must give, as the fuzz target checks it: a size
// index in range or none, the same answers from every reading, and, when the
// first byte asks for it, writes that read back while the folder read before
// stays as it was.
void expectSoundReadingsAndWrites(Settings& settings, const QByteArray& contents) {
    const std::optional<int> index = settings.readResIndex();
    EXPECT_TRUE(!index || (*index >= 0 && *index <= 9));
    EXPECT_EQ(settings.readResIndex(), index) << "a second reading differs";
    StoredSettings read;
    const bool folderKnown = settings.readSetting(SettingName::OldPath, read) == SettingStatus::Ok;
    EXPECT_FALSE(read.rememberedMapFolder.contains(QChar(u'\0')));
    if (contents.isEmpty() || (contents[0] & 3) != 0) return;
    const int written = contents[0] >> 2 & 7;
    EXPECT_EQ(settings.writeResIndex(written), SettingStatus::Ok);
    EXPECT_EQ(settings.readResIndex(), written);
    if (folderKnown) {
        EXPECT_EQ(settings.readOldPath(), read.rememberedMapFolder);
    }
}

TEST_F(SettingsTest, ADamagedFileReadsAlikeEveryTimeAndAWriteOverItSucceeds) {
    // Only the first reading of a damaged file reports the damage; the
    // values in its sound lines read all the same every time, and a write
    // over it says it succeeded when it did.
    storeRaw("[General]\nResIndex=7\nOldPath=/maps/\n[broken\n\xff\xfe\n");
    EXPECT_EQ(settings.readResIndex(), 7);
    EXPECT_EQ(settings.readResIndex(), 7);
    EXPECT_EQ(settings.readOldPath(), "/maps/");
    EXPECT_EQ(settings.writeResIndex(2), SettingStatus::Ok);
    EXPECT_EQ(readInAnotherRun(), "ResIndex=2 OldPath=/maps/");

    // Files the settings fuzz target found.
    const QDir regressions(FERNWISE_FUZZ_REGRESSIONS_DIR "/settings_loader");
    const QStringList found = regressions.entryList(QDir::Files);
    EXPECT_FALSE(found.isEmpty());
    for (const QString& name : found) {
        SCOPED_TRACE(name.toStdString());
        QFile file(regressions.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray contents = file.readAll();
        storeRaw(contents);
        expectSoundReadingsAndWrites(settings, contents);
    }
}

TEST_F(SettingsTest, ATruncatedFileReadsOnlyWhatIsThere) {
    ASSERT_EQ(settings.writeResIndex(7), SettingStatus::Ok);
    ASSERT_EQ(settings.writeOldPath("/home/user/maps/"), SettingStatus::Ok);
    const QByteArray whole = storedRaw();
    for (qsizetype length = 0; length < whole.size(); ++length) {
        storeRaw(whole.left(length));
        const std::optional<int> index = settings.readResIndex();
        EXPECT_TRUE(!index || *index == 7) << length;
        EXPECT_TRUE(QString("/home/user/maps/").startsWith(settings.readOldPath())) << length;
    }
    // Four bytes of a binary index cut short are no index.
    storeRaw("[General]\nResIndex=@ByteArray(\\x3\\0\\0");
    EXPECT_EQ(settings.readResIndex(), std::nullopt);
}

// The settings folder, for a user whom permissions bind: the folders above
// it searchable by all, as they are in a home folder.
class OpenToAll {
public:
    OpenToAll() {
        for (const QString& folder : {dialogtest::testRoot(), dialogtest::testRoot() + "/config"}) {
            chmod(QFile::encodeName(folder).constData(), 0755);
        }
    }
    ~OpenToAll() {
        for (const QString& folder : {dialogtest::testRoot(), dialogtest::testRoot() + "/config"}) {
            chmod(QFile::encodeName(folder).constData(), 0700);
        }
    }
};

TEST_F(SettingsTest, AFullDiskOrAReadOnlyFolderKeepsTheEarlierFile) {
    ASSERT_EQ(settings.writeResIndex(7), SettingStatus::Ok);
    ASSERT_EQ(settings.writeOldPath("/kept/"), SettingStatus::Ok);
    const QByteArray earlier = storedRaw();
    {
        test::FileSizeLimit full(static_cast<rlim_t>(earlier.size() / 2));
        EXPECT_EQ(settings.writeOldPath("/a/folder/longer/than/the/one/before/"), SettingStatus::OldPathFailed);
        EXPECT_EQ(settings.writeResIndex(3), SettingStatus::ResIndexFailed);
    }
    EXPECT_EQ(storedRaw(), earlier);
    EXPECT_EQ(readInAnotherRun(), "ResIndex=7 OldPath=/kept/");
    EXPECT_EQ(QDir(configFolder()).entryList(QDir::Files | QDir::Hidden), QStringList{"Fernwise.conf"})
        << "no temporary or lock file is left";

    {
        OpenToAll searchable;
        chmod(QFile::encodeName(configFolder()).constData(), 0555);
        chmod(QFile::encodeName(configFile()).constData(), 0644);
        test::WithoutPrivileges user;
        if (!user.bound()) GTEST_SKIP() << "cannot leave the superuser here";
        EXPECT_EQ(settings.writeResIndex(5), SettingStatus::ResIndexFailed);
        EXPECT_EQ(settings.writeOldPath("/elsewhere/"), SettingStatus::OldPathFailed);
    }
    chmod(QFile::encodeName(configFolder()).constData(), 0700);
    EXPECT_EQ(storedRaw(), earlier);
    EXPECT_EQ(readInAnotherRun(), "ResIndex=7 OldPath=/kept/");

    // An unreadable file reads as nothing stored, without a crash.
    {
        OpenToAll searchable;
        chmod(QFile::encodeName(configFolder()).constData(), 0755);
        chmod(QFile::encodeName(configFile()).constData(), 0600);
        storeRaw("[General]\nResIndex=4\n");
        test::WithoutPrivileges user;
        EXPECT_EQ(settings.readResIndex(), std::nullopt);
    }
    chmod(QFile::encodeName(configFolder()).constData(), 0700);

    // Room and rights again: writing works, and the store is as sound as before.
    EXPECT_EQ(settings.writeResIndex(6), SettingStatus::Ok);
    EXPECT_EQ(settings.writeOldPath("/kept/"), SettingStatus::Ok);
    EXPECT_EQ(readInAnotherRun(), "ResIndex=6 OldPath=/kept/");
}

TEST_F(SettingsTest, APipeOrAHugeFileIsNeverRead) {
    // A pipe would hold start-up for good: nothing is read, nothing written,
    // and the pipe stays.
    QDir().mkpath(configFolder());
    ASSERT_EQ(mkfifo(QFile::encodeName(configFile()).constData(), 0600), 0);
    EXPECT_FALSE(settings.readResIndex().has_value());
    EXPECT_EQ(settings.writeResIndex(3), SettingStatus::ResIndexFailed);
    struct stat info {};
    ASSERT_EQ(stat(QFile::encodeName(configFile()).constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    QFile::remove(configFile());

    // Far more than the few hundred bytes of a real file is damage: its
    // values read as not stored, and a write replaces it.
    storeRaw("[General]\nResIndex=4\n" + QByteArray(200 * 1024, '#'));
    EXPECT_FALSE(settings.readResIndex().has_value());
    EXPECT_EQ(settings.writeResIndex(5), SettingStatus::Ok);
    EXPECT_LT(QFileInfo(configFile()).size(), 1024);
    EXPECT_EQ(settings.readResIndex(), 5);
}

TEST_F(SettingsTest, FileDialogsHaveTheirTextsAndRememberTheirPaths) {
    ScriptedFileDialogs files;
    bool busy = false;
    FileDialogs dialogs(files, &settings, busy);
    dialogs.initFileDialogs("/work/here");

    struct Expected {
        FileDialogKind kind;
        FileDialogRequest::Mode mode;
        const char* filter;
        const char* title;
        const char* suffix;
        const char* directory;
    };
    using Mode = FileDialogRequest::Mode;
    const Expected table[] = {
        {FileDialogKind::MapOpen, Mode::Open, "Fractint .map files (*.map)", "Select a Fractint .MAP File", "map", ""},
        {FileDialogKind::TextOpen, Mode::Open, "Text files (*.txt)", "Select a text file:", "txt", "/work/here/"},
        {FileDialogKind::NotesSave, Mode::Save, "Text files (*.txt)", "Select a file for saving your notes:", "txt",
         "/work/here/"},
        {FileDialogKind::GifSave, Mode::Save, "GIF files (*.gif)", "Select a file for saving your image:", "gif",
         "/work/here/"},
        {FileDialogKind::TargaSave, Mode::Save, "Targa files (*.tga)", "Select a file for saving your image:", "tga",
         "/work/here/"},
    };
    for (const Expected& e : table) {
        const FileDialogRequest request = dialogs.request(e.kind);
        EXPECT_EQ(request.mode, e.mode) << e.filter;
        EXPECT_EQ(request.filters, QStringList{e.filter});
        EXPECT_EQ(request.title, e.title);
        EXPECT_EQ(request.defaultSuffix, e.suffix);
        EXPECT_EQ(request.directory, e.directory) << e.filter;
        EXPECT_EQ(request.fileName, "") << e.filter;
    }
    EXPECT_EQ(dialogs.path(FileDialogKind::GifSave), "/work/here/*.gif");
    EXPECT_EQ(dialogs.path(FileDialogKind::MapOpen), "");

    // The busy flag is up while a dialog runs, and each dialog keeps its choice.
    class BusyProbe final : public FileDialogSeam {
    public:
        explicit BusyProbe(const bool& flag) : flag_(flag) {}
        QString choose(QWidget*, const FileDialogRequest&) override {
            sawBusy = flag_;
            return "/pictures/Fern Leaf.gif";
        }
        bool sawBusy = false;

    private:
        const bool& flag_;
    } probe(busy);
    FileDialogs probed(probe, &settings, busy);
    probed.initFileDialogs("/work/here");
    EXPECT_TRUE(probed.choose(FileDialogKind::GifSave));
    EXPECT_TRUE(probe.sawBusy);
    EXPECT_FALSE(busy);
    EXPECT_EQ(probed.path(FileDialogKind::GifSave), "/pictures/Fern Leaf.gif");
    EXPECT_EQ(probed.bareName(FileDialogKind::GifSave), "Fern Leaf.gif");
    EXPECT_EQ(probed.request(FileDialogKind::GifSave).directory, "/pictures/");
    EXPECT_EQ(probed.request(FileDialogKind::GifSave).fileName, "Fern Leaf.gif");
    EXPECT_EQ(probed.request(FileDialogKind::TargaSave).directory, "/work/here/");

    EXPECT_FALSE(dialogs.chooseTextFile());  // cancelled: the path stays
    EXPECT_EQ(dialogs.path(FileDialogKind::TextOpen), "/work/here/*.txt");
}

TEST_F(SettingsTest, MapFolderIsStoredOnlyWhenItDiffersWithoutRegardToCase) {
    ScriptedFileDialogs files;
    bool busy = false;
    {
        FileDialogs dialogs(files, &settings, busy);
        dialogs.initFileDialogs("/work");
        files.answers.push_back("/data/Maps/fire.map");
        ASSERT_TRUE(dialogs.chooseMapFile());
        dialogs.rememberMapFolder(dialogs.path(FileDialogKind::MapOpen));
        EXPECT_EQ(dialogs.rememberedMapFolder(), "/data/Maps/");
        EXPECT_EQ(settings.readOldPath(), "/data/Maps/");

        // Same folder, or one differing only in case: nothing is written.
        storeRaw("[General]\nOldPath=/sentinel/\n");
        dialogs.rememberMapFolder("/data/Maps/ice.map");
        dialogs.rememberMapFolder("/DATA/maps/ice.map");
        EXPECT_EQ(settings.readOldPath(), "/sentinel/");
        EXPECT_EQ(dialogs.rememberedMapFolder(), "/data/Maps/");

        dialogs.rememberMapFolder("/other/place/blue.map");
        EXPECT_EQ(settings.readOldPath(), "/other/place/");
    }
    // The next run's palette dialog opens in the remembered folder.
    FileDialogs nextRun(files, &settings, busy);
    nextRun.initFileDialogs("/work");
    EXPECT_EQ(nextRun.rememberedMapFolder(), "/other/place/");
    EXPECT_EQ(nextRun.path(FileDialogKind::MapOpen), "/other/place/*.map");
    EXPECT_EQ(nextRun.request(FileDialogKind::MapOpen).directory, "/other/place/");
    EXPECT_EQ(nextRun.request(FileDialogKind::MapOpen).fileName, "");

    // A store that cannot be written keeps the old folder in memory too.
    QDir(configFolder()).removeRecursively();
    QFile blocker(configFolder());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    nextRun.rememberMapFolder("/third/folder/x.map");
    EXPECT_EQ(nextRun.rememberedMapFolder(), "/other/place/");
    EXPECT_EQ(settings.writeResIndex(3), SettingStatus::ResIndexFailed);
}

TEST_F(SettingsTest, PaletteDialogStartsAmongTheProgramsPalettesUntilAFolderIsStored) {
    const QString root = dialogtest::testRoot() + "/prefix";
    ASSERT_TRUE(QDir().mkpath(root + "/bin"));
    EXPECT_EQ(installedPaletteFolder(root + "/bin"), "");
    ASSERT_TRUE(QDir().mkpath(root + "/share/fernwise/palettes"));
    const QString shipped = installedPaletteFolder(root + "/bin");
    EXPECT_EQ(QDir(shipped).canonicalPath(), QDir(root + "/share/fernwise/palettes").canonicalPath());

    ScriptedFileDialogs files;
    bool busy = false;
    FileDialogs dialogs(files, &settings, busy);
    dialogs.initFileDialogs("/work", shipped);
    EXPECT_EQ(dialogs.request(FileDialogKind::MapOpen).directory, shipped + "/");
    EXPECT_EQ(dialogs.rememberedMapFolder(), "");
    // Choosing one of them stores their folder as any other choice would.
    files.answers.push_back(shipped + "/ember.map");
    ASSERT_TRUE(dialogs.chooseMapFile());
    dialogs.rememberMapFolder(dialogs.path(FileDialogKind::MapOpen));
    EXPECT_EQ(settings.readOldPath(), shipped + "/");

    // A stored folder comes first.
    ASSERT_EQ(settings.writeOldPath("/mine/"), SettingStatus::Ok);
    FileDialogs nextRun(files, &settings, busy);
    nextRun.initFileDialogs("/work", shipped);
    EXPECT_EQ(nextRun.request(FileDialogKind::MapOpen).directory, "/mine/");
}

}  // namespace
}  // namespace fernwise
