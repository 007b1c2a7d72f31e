#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include <QSettings>

#include <gtest/gtest.h>

#include "../fault_injection.h"
#include "sweep.h"
#include "sweep_test_support.h"

namespace fernwise {
namespace {

namespace fs = std::filesystem;
using namespace sweeptest;

const char* const expectedConfirmation =
    "Press OK to delete the Registry subkey\n     which is written by Fernwise Studio:\n\n"
    "HKEY_CURRENT_USER\\Software\\Ko\\Fernwise\n\nOr you can delete it manually.\n\n"
    "Then you can delete the program files\n     without leaving a trace.\n\n"
    "Press Cancel if you've changed your mind.";

// Answers the confirmation as told and every later box with OK, keeping
// what each box showed.
class ScriptedPrompt final : public SweepPrompt {
public:
    struct Box {
        QString caption;
        QString text;
        SweepButtons buttons;
    };

    SweepAnswer ask(const QString& caption, const QString& text, SweepButtons buttons) override {
        boxes.push_back({caption, text, buttons});
        return boxes.size() == 1 ? confirmation : SweepAnswer::Ok;
    }

    SweepAnswer confirmation = SweepAnswer::Ok;
    std::vector<Box> boxes;
};

class SweepTest : public ::testing::Test {
protected:
    void SetUp() override { resetFolders(); }
    void TearDown() override {
        restoreAccess(testRoot);
        fs::remove_all(configPath());
        fs::remove_all(outsidePath());
    }

    static void resetFolders() {
        restoreAccess(testRoot);
        fs::remove_all(configPath());
        fs::remove_all(outsidePath());
        fs::create_directories(outsidePath());
    }

    // One whole run of the tool: the confirmation answered as given, the
    // result box (if any) with OK.
    std::optional<RemovalResult> sweep(SweepAnswer confirmation = SweepAnswer::Ok) {
        prompt = ScriptedPrompt{};
        prompt.confirmation = confirmation;
        return runSweep(prompt);
    }

    // The result box must be the second and last box, with the message of
    // the result, the tool's caption and only an OK button.
    void expectResultBox(RemovalResult result) const {
        ASSERT_EQ(prompt.boxes.size(), 2u);
        EXPECT_EQ(prompt.boxes[1].caption, "Delete Registry Key");
        EXPECT_EQ(prompt.boxes[1].text, QString::fromLatin1(removalMessages[static_cast<int>(result)]));
        EXPECT_EQ(prompt.boxes[1].buttons, SweepButtons::Ok);
    }

    ScriptedPrompt prompt;
};

TEST_F(SweepTest, LooksAtTheVeryFileFernwiseWrites) {
    const QSettings settings(QSettings::NativeFormat, QSettings::UserScope, "Ko", "Fernwise");
    EXPECT_EQ(userConfigFolder() + "/Ko/Fernwise.conf", settings.fileName());
}

TEST_F(SweepTest, MessagesAreTheToolsOwn) {
    EXPECT_EQ(removalMessage(RemovalResult::NotFound), "No Fernwise subkey was found.");
    EXPECT_EQ(removalMessage(RemovalResult::SubkeyDeleted), "The Fernwise subkey was deleted.");
    EXPECT_EQ(removalMessage(RemovalResult::SubkeyAndParentDeleted),
              "The Fernwise subkey and the\n     Ko key were deleted.");
    EXPECT_EQ(removalMessage(RemovalResult::DeletionFailed), "The Fernwise subkey could not be deleted.");
}

TEST_F(SweepTest, AbsentSettingsAreReportedAndNothingChanges) {
    // No configuration folder at all: the tool must not create one.
    EXPECT_EQ(sweep(), RemovalResult::NotFound);
    expectResultBox(RemovalResult::NotFound);
    EXPECT_FALSE(fs::exists(fs::symlink_status(configPath())));

    // Things that are not fernwise's settings do not count as them.
    const std::vector<std::function<void()>> lookalikes = {
        [] { writeFile(koPath() / "Other.conf", "other program"); },
        [] { writeFile(settingsPath() / "inside.txt", "a folder named like the settings"); },
        [] { writeFile(configPath() / "Fernwise.conf", "beside Ko, not in it"); },
    };
    for (std::size_t i = 0; i < lookalikes.size(); ++i) {
        SCOPED_TRACE(i);
        resetFolders();
        lookalikes[i]();
        const Snapshot before = snapshot(configPath());
        EXPECT_EQ(sweep(), RemovalResult::NotFound);
        expectResultBox(RemovalResult::NotFound);
        EXPECT_EQ(snapshot(configPath()), before);
    }
}

TEST_F(SweepTest, OnlyOurSettingsInKoRemoveTheFileAndKo) {
    writeFile(configPath() / "Other" / "Other.conf", "another program's settings");
    const Snapshot before = snapshot(configPath());
    writeFernwiseSettings();
    ASSERT_TRUE(fs::is_regular_file(settingsPath()));

    EXPECT_EQ(sweep(), RemovalResult::SubkeyAndParentDeleted);
    expectResultBox(RemovalResult::SubkeyAndParentDeleted);
    EXPECT_FALSE(fs::exists(fs::symlink_status(koPath())));
    EXPECT_EQ(snapshot(configPath()), before);
    EXPECT_FALSE(fernwiseFindsSettings());
}

TEST_F(SweepTest, AnotherEntryBesideOursKeepsKoAndThatEntry) {
    const std::vector<std::function<void()>> neighbours = {
        [] { writeFile(koPath() / "Other.conf", "another program of the same maker"); },
        [] { writeFile(koPath() / ".hidden", "hidden"); },
        [] { fs::create_directories(koPath() / "EmptyFolder"); },
        [] { writeFile(koPath() / "Fernwise.conf.bak", "a copy the user made"); },
        [] {
            fs::create_directories(koPath());
            fs::create_symlink(outsidePath() / "missing", koPath() / "dangling");
        },
    };
    for (std::size_t i = 0; i < neighbours.size(); ++i) {
        SCOPED_TRACE(i);
        resetFolders();
        neighbours[i]();
        const Snapshot before = snapshot(configPath());
        writeFernwiseSettings();

        EXPECT_EQ(sweep(), RemovalResult::SubkeyDeleted);
        expectResultBox(RemovalResult::SubkeyDeleted);
        EXPECT_EQ(snapshot(configPath()), before);
        EXPECT_FALSE(fernwiseFindsSettings());
    }
}

TEST_F(SweepTest, CancelChangesNothingAndShowsNoSecondBox) {
    writeFernwiseSettings();
    const Snapshot before = snapshot(configPath());

    EXPECT_EQ(sweep(SweepAnswer::Cancel), std::nullopt);
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.boxes[0].caption, "Delete Registry Key");
    EXPECT_EQ(prompt.boxes[0].text, expectedConfirmation);
    EXPECT_EQ(prompt.boxes[0].buttons, SweepButtons::OkCancel);
    EXPECT_EQ(snapshot(configPath()), before);
    EXPECT_TRUE(fernwiseFindsSettings());
}

TEST_F(SweepTest, NeverRemovesAnythingButOurSettings) {
    writeFile(configPath() / "Fernwise.conf", "not in Ko");
    writeFile(configPath() / "Ko.conf", "a file named like the folder");
    writeFile(configPath() / "Other" / "Ko" / "Fernwise.conf", "another maker's folder");
    writeFile(koPath() / "fernwise.conf", "another case");
    writeFile(koPath() / "Fernwise" / "Fernwise.conf", "a folder named like the program");
    writeFile(outsidePath() / "keep.txt", "outside");
    writeFernwiseSettings();
    Snapshot expected = snapshot(configPath());
    ASSERT_EQ(expected.erase("Ko/Fernwise.conf"), 1u);
    const Snapshot outsideBefore = snapshot(outsidePath());

    EXPECT_EQ(sweep(), RemovalResult::SubkeyDeleted);
    EXPECT_EQ(snapshot(configPath()), expected);
    EXPECT_EQ(snapshot(outsidePath()), outsideBefore);
}

TEST_F(SweepTest, SettingsThatAreALinkAreUnlinkedNeverFollowed) {
    const std::vector<std::function<void()>> targets = {
        [] { writeFile(outsidePath() / "target.conf", "[General]\nResIndex=2\n"); },
        [] { writeFile(outsidePath() / "target.conf" / "precious.txt", "a folder the link points to"); },
        [] {},  // the link dangles
    };
    for (std::size_t i = 0; i < targets.size(); ++i) {
        SCOPED_TRACE(i);
        resetFolders();
        targets[i]();
        fs::create_directories(koPath());
        fs::create_symlink(outsidePath() / "target.conf", settingsPath());
        const Snapshot outsideBefore = snapshot(outsidePath());

        EXPECT_EQ(sweep(), RemovalResult::SubkeyAndParentDeleted);
        expectResultBox(RemovalResult::SubkeyAndParentDeleted);
        EXPECT_FALSE(fs::exists(fs::symlink_status(koPath())));
        EXPECT_EQ(snapshot(outsidePath()), outsideBefore);
    }
}

TEST_F(SweepTest, KoThatIsALinkIsNotFollowed) {
    writeFile(outsidePath() / "Ko" / "Fernwise.conf", "[General]\nResIndex=2\n");
    fs::create_directories(configPath());
    fs::create_directory_symlink(outsidePath() / "Ko", koPath());
    const Snapshot configBefore = snapshot(configPath());
    const Snapshot outsideBefore = snapshot(outsidePath());

    EXPECT_EQ(sweep(), RemovalResult::NotFound);
    expectResultBox(RemovalResult::NotFound);
    EXPECT_EQ(snapshot(configPath()), configBefore);
    EXPECT_EQ(snapshot(outsidePath()), outsideBefore);
}

// Permissions bind every user but the superuser. Run by the superuser (as in
// CI), the tool works as "nobody" for one scope, on a test folder that
// "nobody" owns for that scope.
class AsAnOrdinaryUser {
public:
    AsAnOrdinaryUser() : owned_(::geteuid() == 0 && changeOwner(test::WithoutPrivileges::nobody)) {}
    ~AsAnOrdinaryUser() {
        if (owned_) {
            user_.reset();
            changeOwner(0);
        }
    }
    AsAnOrdinaryUser(const AsAnOrdinaryUser&) = delete;
    AsAnOrdinaryUser& operator=(const AsAnOrdinaryUser&) = delete;

    bool bound() const { return user_->bound(); }

private:
    // The whole test folder, links themselves rather than what they name.
    static bool changeOwner(uid_t owner) {
        const fs::path root(QFile::encodeName(testRoot).toStdString());
        [[maybe_unused]] int ignored = ::lchown(root.c_str(), owner, static_cast<gid_t>(-1));
        std::error_code error;
        for (fs::recursive_directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
            ignored = ::lchown(it->path().c_str(), owner, static_cast<gid_t>(-1));
        }
        return true;
    }

    bool owned_;
    // Dropped after the folder changed hands, and back before it changes back.
    std::optional<test::WithoutPrivileges> user_{std::in_place};
};

TEST_F(SweepTest, UnreadableConfigurationFolderChangesNothing) {
    writeFernwiseSettings();
    const Snapshot before = snapshot(configPath());
    fs::permissions(configPath(), fs::perms::none);
    {
        AsAnOrdinaryUser user;
        if (!user.bound()) GTEST_SKIP() << "cannot leave the superuser here";
        EXPECT_EQ(sweep(), RemovalResult::NotFound);
    }
    expectResultBox(RemovalResult::NotFound);
    restoreAccess(testRoot);
    EXPECT_EQ(snapshot(configPath()), before);
}

TEST_F(SweepTest, SettingsThatCannotBeDeletedAreNotReportedAsDeleted) {
    writeFernwiseSettings();
    const Snapshot before = snapshot(configPath());
    fs::permissions(koPath(), fs::perms::owner_read | fs::perms::owner_exec);
    {
        AsAnOrdinaryUser user;
        if (!user.bound()) GTEST_SKIP() << "cannot leave the superuser here";
        EXPECT_EQ(sweep(), RemovalResult::DeletionFailed);
    }
    expectResultBox(RemovalResult::DeletionFailed);
    restoreAccess(testRoot);
    EXPECT_EQ(snapshot(configPath()), before);
}

TEST_F(SweepTest, KoThatCannotBeRemovedIsReportedAsKept) {
    writeFernwiseSettings();
    fs::permissions(configPath(), fs::perms::owner_read | fs::perms::owner_exec);
    {
        AsAnOrdinaryUser user;
        if (!user.bound()) GTEST_SKIP() << "cannot leave the superuser here";
        EXPECT_EQ(sweep(), RemovalResult::SubkeyDeleted);
    }
    expectResultBox(RemovalResult::SubkeyDeleted);
    EXPECT_TRUE(fs::is_directory(fs::symlink_status(koPath())));
    EXPECT_FALSE(fs::exists(fs::symlink_status(settingsPath())));
}

}  // namespace
}  // namespace fernwise
