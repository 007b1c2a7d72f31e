#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "../fault_injection.h"
#include "map_file.h"

namespace fernwise {
namespace {

namespace fs = std::filesystem;

const std::string sharedMaps = FERNWISE_SHARED_MAPS_DIR;
const std::string testMaps = FERNWISE_TESTDATA_DIR "/maps";

PaletteTable sentinel() {
    PaletteTable t;
    t.fill(Rgb{7, 7, 7});
    return t;
}

TEST(MapText, ShortFilesArePaddedWithBlack) {
    std::string text;
    for (int i = 0; i < 10; ++i) text += std::to_string(i) + " " + std::to_string(2 * i) + " 3\n";
    PaletteTable t = sentinel();
    ASSERT_EQ(readMapText(text, t), MapFileStatus::Loaded);
    EXPECT_EQ(t[9], (Rgb{9, 18, 3}));
    EXPECT_EQ(t[10], Rgb{});
    EXPECT_EQ(t[255], Rgb{});
}

TEST(MapText, OnlyTheFirst256LinesAreRead) {
    std::string text;
    for (int i = 0; i < 256; ++i) text += "1 2 3\n";
    text += "garbage that would not scan\n";
    PaletteTable t = sentinel();
    EXPECT_EQ(readMapText(text, t), MapFileStatus::Loaded);
    EXPECT_EQ(t[255], (Rgb{1, 2, 3}));
}

TEST(MapText, ScanningRules) {
    PaletteTable t = sentinel();
    ASSERT_EQ(readMapText("  12 34 56 sky blue\r\n300 -1 256\n+5\t6   7", t), MapFileStatus::Loaded);
    EXPECT_EQ(t[0], (Rgb{12, 34, 56}));
    EXPECT_EQ(t[1], (Rgb{44, 255, 0}));  // low 8 bits, no range check
    EXPECT_EQ(t[2], (Rgb{5, 6, 7}));
    EXPECT_EQ(t[3], Rgb{});
}

TEST(MapText, BadLinesStopTheReadKeepingEarlierEntries) {
    std::string twenty;
    for (int i = 0; i < 20; ++i) twenty += "4 5 6\n";
    for (const std::string bad : {"\n", "12,34,56\n", "red 1 2 3\n", "1 2\n", "\r\n"}) {
        PaletteTable t = sentinel();
        EXPECT_EQ(readMapText(twenty + bad, t), MapFileStatus::CannotRead) << bad;
        EXPECT_EQ(t[19], (Rgb{4, 5, 6}));
        EXPECT_EQ(t[20], (Rgb{7, 7, 7}));  // untouched: no black padding
    }
}

TEST(MapText, LongLinesContinueAsTheNextLine) {
    // 99 characters make one line; what follows is read as another.
    std::string first = "1 2 3" + std::string(94, ' ');
    PaletteTable t = sentinel();
    EXPECT_EQ(readMapText(first + "4 5 6\n", t), MapFileStatus::Loaded);
    EXPECT_EQ(t[1], (Rgb{4, 5, 6}));
    std::string comment = "1 2 3 " + std::string(120, 'x') + "\n";
    EXPECT_EQ(readMapText(comment, t), MapFileStatus::CannotRead);
    std::string digits = std::string(200, '9') + " 1 1\n";  // huge numbers neither overflow nor crash
    EXPECT_EQ(readMapText(digits, t), MapFileStatus::CannotRead);
}

// Our own files with every oddity seen in palettes found in the wild.
TEST(MapFile, FixturesWithTheOdditiesOfRealFiles) {
    struct Expect {
        const char* file;
        int entries;  // entries read; the rest are black
        std::vector<std::pair<int, Rgb>> samples;
    };
    const Expect files[] = {
        // CRLF, a comment padded with spaces after the first entry, components of 256.
        {"rings-crlf.map",
         256,
         {{0, {0, 0, 255}}, {1, {1, 2, 254}}, {60, {0, 120, 195}}, {183, {183, 0, 72}}, {255, {255, 254, 0}}}},
        // CRLF, no newline after the last entry, an upper-case extension.
        {"SHORT_NO_EOL.MAP", 228, {{0, {0, 0, 255}}, {227, {0, 227, 28}}}},
        {"sixteen.map", 16, {{0, {252, 0, 0}}, {15, {72, 0, 180}}}},
        // The empty line after the 256th entry is never read.
        {"trailing-blank.map", 256, {{255, {255, 255, 0}}}},
        // 257 entries: the last line is never read.
        {"overlong.map", 256, {{0, {0, 0, 0}}, {1, {255, 255, 255}}, {255, {1, 1, 1}}}},
        // Text after the numbers, after a tab, and with numbers of its own.
        {"comments.map",
         256,
         {{0, {0, 0, 0}}, {1, {0, 0, 1}}, {2, {215, 231, 250}}, {3, {213, 225, 247}}, {255, {127, 85, 255}}}},
    };
    for (const Expect& e : files) {
        const std::string path = testMaps + "/" + e.file;
        PaletteTable t = sentinel();
        ASSERT_EQ(readMapFile(path, t), MapFileStatus::Loaded) << e.file;
        for (const auto& [index, color] : e.samples) EXPECT_EQ(t[index], color) << e.file << " entry " << index;
        for (int i = e.entries; i < paletteSize; ++i) EXPECT_EQ(t[i], Rgb{}) << e.file << " entry " << i;
        // Both readers split lines alike.
        std::ifstream in(path, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        PaletteTable fromText = sentinel();
        ASSERT_EQ(readMapText(bytes, fromText), MapFileStatus::Loaded) << e.file;
        EXPECT_EQ(fromText, t) << e.file;
    }
}

// Palettes found in the wild, an extra check where the shared test data is
// beside the checkout.
TEST(MapFile, RealWorldFilesLoadAsTheirLinesSay) {
    if (!fs::is_directory(sharedMaps)) GTEST_SKIP() << "no real-world palettes: " << sharedMaps << " is not there";
    struct Expect {
        const char* file;
        Rgb entry0;
    };
    const Expect files[] = {
        {"blues.map", {0, 0, 0}},
        {"froth316.map", {0, 0, 0}},
        {"RIBBON18.MAP", {28, 24, 20}},
        {"grey.map", {0, 0, 0}},
    };
    for (const Expect& e : files) {
        PaletteTable t = sentinel();
        ASSERT_EQ(readMapFile(sharedMaps + "/" + e.file, t), MapFileStatus::Loaded) << e.file;
        EXPECT_EQ(t[0], e.entry0) << e.file;
    }
    PaletteTable froth = sentinel();
    ASSERT_EQ(readMapFile(sharedMaps + "/froth316.map", froth), MapFileStatus::Loaded);
    EXPECT_EQ(froth[1], (Rgb{252, 0, 0}));
    EXPECT_EQ(froth[16], Rgb{});
    int loaded = 0;
    for (const auto& entry : fs::directory_iterator(sharedMaps)) {
        const std::string ext = entry.path().extension().string();
        if (ext != ".map" && ext != ".MAP") continue;
        PaletteTable t = sentinel();
        MapFileStatus status = readMapFile(entry.path().string(), t);
        EXPECT_NE(status, MapFileStatus::CannotOpen) << entry.path();
        if (status == MapFileStatus::Loaded) ++loaded;
    }
    EXPECT_GE(loaded, 10);
}

TEST(MapFile, MissingFolderAndCaseSensitivePaths) {
    PaletteTable t = sentinel();
    EXPECT_EQ(readMapFile("/nonexistent/none.map", t), MapFileStatus::CannotOpen);
    EXPECT_EQ(t[0], (Rgb{7, 7, 7}));
    EXPECT_EQ(readMapFile(testMaps, t), MapFileStatus::CannotOpen);  // a folder
    EXPECT_EQ(t[0], (Rgb{7, 7, 7}));
    // The name is opened as given: no upper-casing on a case-sensitive system.
    EXPECT_EQ(readMapFile(testMaps + "/sixteen.map", t), MapFileStatus::Loaded);
    EXPECT_EQ(mapFileMessage(MapFileStatus::CannotOpen), "Unable to open the selected file;\n     Please try again.");
    EXPECT_EQ(mapFileMessage(MapFileStatus::CannotRead), "Unable to read the selected file;\n     Please try again.");
}

TEST(MapFile, UnreadableOrVanishedFilesDoNotOpenAndChangeNothing) {
    const fs::path folder = fs::temp_directory_path() / ("fernwise-map-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const fs::path file = folder / "secret.map";
    std::ofstream(file) << "1 2 3\n";
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    PaletteTable t = sentinel();
    {
        test::WithoutPrivileges user;
        if (user.bound()) {
            EXPECT_EQ(readMapFile(file.string(), t), MapFileStatus::CannotOpen);
        }
    }
    // Chosen, then gone before it was read.
    fs::remove(file);
    EXPECT_EQ(readMapFile(file.string(), t), MapFileStatus::CannotOpen);
    EXPECT_EQ(t, sentinel());
    fs::remove_all(folder);
}

TEST(MapFile, APipeOrAFolderIsRefusedWithoutWaiting) {
    const fs::path folder = fs::temp_directory_path() / ("fernwise-map-pipe-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    ASSERT_EQ(::mkfifo((folder / "pipe.map").c_str(), 0600), 0);
    PaletteTable t = sentinel();
    EXPECT_EQ(readMapFile((folder / "pipe.map").string(), t), MapFileStatus::CannotOpen);
    EXPECT_EQ(readMapFile(folder.string(), t), MapFileStatus::CannotOpen);
    EXPECT_EQ(t, sentinel());

    // A file far longer than any palette reads as its text does.
    std::string text;
    for (int i = 0; i < 300; ++i) text += std::to_string(i) + " " + std::string(std::size_t(i % 120), ' ') + "2 3\n";
    std::ofstream(folder / "long.map", std::ios::binary) << text;
    PaletteTable fromText = sentinel();
    EXPECT_EQ(readMapFile((folder / "long.map").string(), t), readMapText(text, fromText));
    EXPECT_EQ(t, fromText);
    fs::remove_all(folder);
}

}  // namespace
}  // namespace fernwise
