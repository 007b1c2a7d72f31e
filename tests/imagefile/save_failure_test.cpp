#include <gtest/gtest.h>

#include "../fault_injection.h"

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include "gif_writer.h"
#include "image_test_support.h"
#include "targa_writer.h"

namespace fernwise::test {
namespace {

namespace fs = std::filesystem;
using Kind = RecordingProgress::Kind;

enum class Writer { Gif, Targa };

class SaveFailures : public ::testing::TestWithParam<Writer> {
protected:
    SaveFailures()
        : entries_(distinctEntries()),
          screen_(paintScreen(160, 120, PixelFormat::Rgb32, entries_, ringsPattern(160, 120))) {}

    SaveStatus save(const fs::path& path, SaveProgress& progress, AllocationGate* gate = nullptr) {
        const SaveRequest request{path, path.filename().string(), 0, false, gate};
        return GetParam() == Writer::Gif ? writeGif(request, *screen_, entries_, progress)
                                         : writeTarga(request, *screen_, progress);
    }
    SaveStatus save(const fs::path& path, AllocationGate* gate = nullptr) {
        NullSaveProgress progress;
        return save(path, progress, gate);
    }
    // The file a successful save writes.
    std::vector<std::uint8_t> goodFile() {
        ScratchFolder folder;
        EXPECT_EQ(save(folder / "good"), SaveStatus::Saved);
        return readFile(folder / "good");
    }

    PaletteEntries entries_;
    std::unique_ptr<VirtualScreen> screen_;
    ScratchFolder folder_;
};

const std::vector<std::uint8_t> earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};

TEST_P(SaveFailures, AnUnopenableTargetGivesStatus1AndTouchesNothing) {
    fs::create_directory(folder_ / "folder");
    for (const fs::path& target :
         {folder_ / "missing" / "image", folder_ / "folder", folder_ / "missing" / "", fs::path()}) {
        RecordingProgress progress;
        EXPECT_EQ(save(target, progress), SaveStatus::OpenFailed) << target;
        EXPECT_TRUE(progress.events.empty()) << "no busy state, nothing drawn";
    }
    EXPECT_EQ(folder_.fileNames(), std::vector<std::string>{"folder"});
    EXPECT_TRUE(fs::is_empty(folder_ / "folder"));
    EXPECT_STREQ(saveErrorMessage(SaveStatus::OpenFailed), "Error opening a save file.");
}

TEST_P(SaveFailures, AReadOnlyTargetOrFolderGivesStatus1) {
    // The folder takes new files from anyone: only the target's own
    // permission refuses the first save.
    fs::permissions(folder_.path(), fs::perms::all);
    writeFile(folder_ / "locked", earlier);
    fs::permissions(folder_ / "locked", fs::perms::owner_read);
    fs::create_directory(folder_ / "shut");
    writeFile(folder_ / "shut" / "open", earlier);
    // Read and search for all, whichever of owner, group and others a
    // dropped superuser counts as.
    const fs::perms readAndSearch = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec;
    fs::permissions(folder_ / "shut" / "open", fs::perms::all);
    fs::permissions(folder_ / "shut", readAndSearch);
    const std::vector<std::uint8_t> good = goodFile();
    {
        test::WithoutPrivileges user;
        if (!user.bound()) GTEST_SKIP() << "cannot leave the superuser here";
        EXPECT_EQ(save(folder_ / "locked"), SaveStatus::OpenFailed);
        EXPECT_EQ(save(folder_ / "shut" / "new"), SaveStatus::OpenFailed);
        // A writable file in such a folder is still written, in place.
        EXPECT_EQ(save(folder_ / "shut" / "open"), SaveStatus::Saved);
    }
    EXPECT_EQ(readFile(folder_ / "locked"), earlier);
    EXPECT_EQ(readFile(folder_ / "shut" / "open"), good);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_ / "shut"), fs::directory_iterator()), 1);
    EXPECT_EQ(folder_.fileNames(), (std::vector<std::string>{"locked", "shut"}));
}

TEST_P(SaveFailures, AFullDiskGivesStatus3AndEndsTheBusyState) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    RecordingProgress progress;
    EXPECT_EQ(save("/dev/full", progress), SaveStatus::WriteFailed);
    ASSERT_FALSE(progress.events.empty());
    EXPECT_EQ(progress.events.front().kind, Kind::BeginBusy);
    EXPECT_EQ(progress.events.back().kind, Kind::EndBusy);
    EXPECT_TRUE(fs::exists("/dev/full") && !fs::is_regular_file("/dev/full"));
    EXPECT_STREQ(saveErrorMessage(SaveStatus::WriteFailed), "Error writing to save file.");
}

TEST_P(SaveFailures, ARefusedWorkBufferGivesStatus2AndKeepsTheEarlierFile) {
    // The GIF writer asks for two buffers (the coder's table and a row of
    // indices), the Targa writer for one (a row of pixels).
    const int buffers = GetParam() == Writer::Gif ? 2 : 1;
    for (int refused = 1; refused <= buffers; ++refused) {
        writeFile(folder_ / "kept", earlier);
        RefusingGate gate(refused);
        RecordingProgress progress;
        EXPECT_EQ(save(folder_ / "kept", progress, &gate), SaveStatus::NoMemory) << refused;
        EXPECT_EQ(gate.asked(), refused);
        EXPECT_TRUE(progress.events.empty());
        EXPECT_EQ(readFile(folder_ / "kept"), earlier);

        EXPECT_EQ(save(folder_ / "new", &gate), SaveStatus::Saved) << "the gate refuses once";
        RefusingGate again(refused);
        fs::remove(folder_ / "new");
        EXPECT_EQ(save(folder_ / "new", &again), SaveStatus::NoMemory);
        EXPECT_FALSE(fs::exists(folder_ / "new"));
    }
    EXPECT_EQ(folder_.fileNames(), std::vector<std::string>{"kept"});
    EXPECT_STREQ(saveErrorMessage(SaveStatus::NoMemory), "Not enough memory to buffer image lines.");
}

TEST_P(SaveFailures, AFailedWriteAnywhereGivesStatus3AndKeepsTheEarlierFile) {
    const std::vector<std::uint8_t> good = goodFile();
    // In the header, in the pixel data, and only the last byte (the GIF
    // trailer or the end of the Targa footer).
    for (const std::size_t limit : {std::size_t{5}, good.size() / 2, good.size() - 1}) {
        writeFile(folder_ / "kept", earlier);
        RecordingProgress progress;
        SaveStatus status;
        {
            FileSizeLimit full(limit);
            status = save(folder_ / "kept", progress);
        }
        EXPECT_EQ(status, SaveStatus::WriteFailed) << limit;
        EXPECT_EQ(readFile(folder_ / "kept"), earlier) << limit;
        EXPECT_EQ(folder_.fileNames(), std::vector<std::string>{"kept"}) << "no temporary file left";
        const bool busy = !progress.events.empty();
        if (busy) {
            EXPECT_EQ(progress.events.back().kind, Kind::EndBusy);
        }

        // The next save is not affected.
        EXPECT_EQ(save(folder_ / "kept"), SaveStatus::Saved);
        EXPECT_EQ(readFile(folder_ / "kept"), good);
    }
}

TEST_P(SaveFailures, EachFailureLeavesTheNextSaveUntouched) {
    const std::vector<std::uint8_t> good = goodFile();
    RefusingGate gate(1);
    EXPECT_EQ(save(folder_ / "missing" / "x"), SaveStatus::OpenFailed);
    EXPECT_EQ(save(folder_ / "a"), SaveStatus::Saved);
    EXPECT_EQ(save(folder_ / "a", &gate), SaveStatus::NoMemory);
    EXPECT_EQ(save(folder_ / "b"), SaveStatus::Saved);
    if (fs::exists("/dev/full")) {
        EXPECT_EQ(save("/dev/full"), SaveStatus::WriteFailed);
    }
    EXPECT_EQ(save(folder_ / "c"), SaveStatus::Saved);
    for (const char* name : {"a", "b", "c"}) EXPECT_EQ(readFile(folder_ / name), good) << name;
}

TEST_P(SaveFailures, ReplacingAFileKeepsItsLinkAndPermissions) {
    const std::vector<std::uint8_t> good = goodFile();
    writeFile(folder_ / "real", earlier);
    fs::permissions(folder_ / "real", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("real", folder_ / "link");
    EXPECT_EQ(save(folder_ / "link"), SaveStatus::Saved);
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(folder_ / "link")));
    EXPECT_EQ(readFile(folder_ / "real"), good);
    EXPECT_EQ(fs::status(folder_ / "real").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(folder_.fileNames(), (std::vector<std::string>{"link", "real"}));
}

TEST_P(SaveFailures, AnImageTooWideForTheFormatIsNotWritten) {
    screen_ = paintScreen(70000, 1, PixelFormat::Rgb32, entries_, solidPattern(1));
    EXPECT_EQ(save(folder_ / "wide"), SaveStatus::WriteFailed);
    EXPECT_TRUE(folder_.fileNames().empty());
}

INSTANTIATE_TEST_SUITE_P(BothWriters, SaveFailures, ::testing::Values(Writer::Gif, Writer::Targa),
                         [](const ::testing::TestParamInfo<Writer>& param) {
                             return param.param == Writer::Gif ? "Gif" : "Targa";
                         });

}  // namespace
}  // namespace fernwise::test
