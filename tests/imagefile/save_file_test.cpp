#include <gtest/gtest.h>

#include "../fault_injection.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <string>

#include "image_test_support.h"
#include "save_file.h"

namespace fernwise::test {
namespace {

namespace fs = std::filesystem;

const std::vector<std::uint8_t> earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};
const std::string fresh = "the new contents";

// Every case with the unnamed temporary file and with the named one that
// file systems without unnamed files get.
class SaveFileTest : public ::testing::TestWithParam<bool> {
protected:
    bool save(const fs::path& target, const std::string& bytes = fresh, SaveStop* stop = nullptr) {
        SaveFile file;
        file.useNamedTemporary(GetParam());
        lastError_ = 0;
        const bool saved = file.open(target, stop) && file.write(bytes.data(), bytes.size()) && file.commit();
        lastError_ = file.error();
        lastFailure_ = file.failure();
        return saved;
    }
    std::string text(const fs::path& path) {
        const std::vector<std::uint8_t> bytes = readFile(path);
        return std::string(bytes.begin(), bytes.end());
    }

    ScratchFolder folder_;
    int lastError_ = 0;
    SaveFailure lastFailure_ = SaveFailure::None;
};

TEST_P(SaveFileTest, AnyNameTheFileSystemTakesSaves) {
    const std::string longest(251, 'b');
    EXPECT_TRUE(save(folder_ / (longest + ".ppm")));
    EXPECT_EQ(text(folder_ / (longest + ".ppm")), fresh);
    writeFile(folder_ / "kept", earlier);
    EXPECT_FALSE(save(folder_ / (longest + "x.ppm"))) << "256 bytes";
    EXPECT_EQ(lastFailure_, SaveFailure::CannotOpen);
    EXPECT_EQ(lastError_, ENAMETOOLONG);
    EXPECT_EQ(folder_.fileNames(), (std::vector<std::string>{longest + ".ppm", "kept"}));
}

TEST_P(SaveFileTest, LinksAreWrittenThroughAndStay) {
    fs::create_directory(folder_ / "real");
    writeFile(folder_ / "real" / "image", earlier);
    fs::create_symlink("real/image", folder_ / "link");
    fs::create_symlink("link", folder_ / "chain");
    fs::create_symlink("real/new", folder_ / "dangling");
    fs::create_symlink("loop", folder_ / "loop");
    fs::create_symlink("missing/new", folder_ / "nowhere");

    EXPECT_TRUE(save(folder_ / "chain"));
    EXPECT_EQ(text(folder_ / "real" / "image"), fresh);
    EXPECT_TRUE(save(folder_ / "dangling", "made"));
    EXPECT_EQ(text(folder_ / "real" / "new"), "made");
    for (const char* name : {"link", "chain", "dangling"}) EXPECT_TRUE(fs::is_symlink(folder_ / name)) << name;

    EXPECT_FALSE(save(folder_ / "loop"));
    EXPECT_EQ(lastError_, ELOOP);
    EXPECT_FALSE(save(folder_ / "nowhere"));
    EXPECT_EQ(lastFailure_, SaveFailure::CannotOpen);
    EXPECT_TRUE(fs::is_symlink(folder_ / "loop") && fs::is_symlink(folder_ / "nowhere"));
    EXPECT_EQ(folder_.fileNames(), (std::vector<std::string>{"chain", "dangling", "link", "loop", "nowhere", "real"}));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_ / "real"), fs::directory_iterator()), 2);
}

TEST_P(SaveFileTest, APipeNobodyReadsIsRefusedAtOnce) {
    ASSERT_EQ(::mkfifo((folder_ / "pipe").c_str(), 0600), 0);
    EXPECT_FALSE(save(folder_ / "pipe"));
    EXPECT_EQ(lastFailure_, SaveFailure::CannotOpen);
    EXPECT_EQ(lastError_, ENXIO);
    EXPECT_TRUE(fs::is_fifo(folder_ / "pipe"));
}

TEST_P(SaveFileTest, AStopRequestEndsTheSaveAndKeepsTheEarlierFile) {
    writeFile(folder_ / "kept", earlier);
    fs::permissions(folder_ / "kept", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    SaveStop stop;
    {
        SaveFile file;
        file.useNamedTemporary(GetParam());
        ASSERT_TRUE(file.open(folder_ / "kept", &stop));
        EXPECT_EQ(stop.namedTemporaries, GetParam() ? 1 : 0);
        // Within one long write: the request is seen between its pieces.
        const std::string large(8 << 20, 'x');
        EXPECT_TRUE(file.write(large.data(), 1000));
        stop.requested = true;
        EXPECT_FALSE(file.write(large.data(), large.size()));
        EXPECT_FALSE(file.commit());
        EXPECT_EQ(file.error(), ECANCELED);
        EXPECT_EQ(file.failure(), SaveFailure::WriteFailed);
    }
    EXPECT_EQ(stop.namedTemporaries, 0);
    EXPECT_EQ(readFile(folder_ / "kept"), earlier);
    EXPECT_EQ(folder_.fileNames(), std::vector<std::string>{"kept"});
    // A saved file has the permissions of the one it replaced.
    stop.requested = false;
    EXPECT_TRUE(save(folder_ / "kept", fresh, &stop));
    EXPECT_EQ(fs::status(folder_ / "kept").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_P(SaveFileTest, AProcessKilledWhileSavingLeavesNothingBehind) {
    writeFile(folder_ / "kept", earlier);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SaveFile file;
        file.useNamedTemporary(GetParam());
        const std::string part(1 << 20, 'x');
        if (!file.open(folder_ / "kept") || !file.write(part.data(), part.size())) ::_exit(1);
        file.write(part.data(), part.size());  // past the buffer: on the disk
        [[maybe_unused]] ssize_t sent = ::write(ready[1], "r", 1);
        ::pause();
        ::_exit(0);
    }
    char byte = 0;
    EXPECT_EQ(::read(ready[0], &byte, 1), 1);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_EQ(readFile(folder_ / "kept"), earlier);
    if (GetParam()) {
        // A named temporary file can only go on the signals the programs handle.
        EXPECT_EQ(folder_.fileNames().size(), 2U);
    } else {
        EXPECT_EQ(folder_.fileNames(), std::vector<std::string>{"kept"});
    }
}

INSTANTIATE_TEST_SUITE_P(Temporaries, SaveFileTest, ::testing::Values(false, true),
                         [](const auto& p) { return p.param ? "Named" : "Unnamed"; });

// A small file system of its own: no inodes or no space left for the new
// file must leave the target as it was. Needs the superuser.
class FullFileSystem : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "mounting needs the superuser";
        if (::mount("tmpfs", folder_.path().c_str(), "tmpfs", 0, "size=256k,nr_inodes=4") != 0) {
            GTEST_SKIP() << "tmpfs mount refused: " << std::strerror(errno);
        }
        mounted_ = true;
    }
    void TearDown() override {
        if (mounted_) ::umount2(folder_.path().c_str(), MNT_DETACH);
    }
    ScratchFolder folder_;
    bool mounted_ = false;
};

TEST_F(FullFileSystem, NoInodesOrNoSpaceLeavesTheTargetAsItWas) {
    writeFile(folder_ / "keep.ppm", earlier);
    writeFile(folder_ / "f0", {});
    writeFile(folder_ / "f1", {});
    for (const bool named : {false, true}) {
        SaveFile file;
        file.useNamedTemporary(named);
        EXPECT_FALSE(file.open(folder_ / "keep.ppm")) << named;
        EXPECT_EQ(file.failure(), SaveFailure::CannotOpen);
        EXPECT_EQ(file.error(), ENOSPC);
        EXPECT_EQ(readFile(folder_ / "keep.ppm"), earlier);
    }
    fs::remove(folder_ / "f1");
    for (const bool named : {false, true}) {
        SaveFile file;
        file.useNamedTemporary(named);
        const std::string large(512 << 10, 'x');
        ASSERT_TRUE(file.open(folder_ / "keep.ppm"));
        file.write(large.data(), large.size());
        EXPECT_FALSE(file.commit());
        EXPECT_EQ(file.error(), ENOSPC);
        EXPECT_EQ(readFile(folder_ / "keep.ppm"), earlier);
        EXPECT_EQ(folder_.fileNames(), (std::vector<std::string>{"f0", "keep.ppm"}));
    }
}

}  // namespace
}  // namespace fernwise::test
