#include <gtest/gtest.h>

#include <sstream>

#include "fernrender.h"
#include "image_test_support.h"

namespace fernwise::test {
namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status;
    std::string err;
};

Outcome render(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int status = runFernrender(args, out, err);
    return {status, err.str()};
}

// The colours of a binary P6 file, after its three header lines.
std::vector<Rgb> ppmColors(const fs::path& path) {
    const auto bytes = readFile(path);
    std::size_t at = 0;
    for (int lines = 0; lines < 3; ++at) {
        if (bytes[at] == '\n') ++lines;
    }
    std::vector<Rgb> colors;
    for (; at + 2 < bytes.size(); at += 3) colors.push_back({bytes[at], bytes[at + 1], bytes[at + 2]});
    return colors;
}

PaletteEntries defaultEntries() {
    PaletteState palette;
    loadPalette6(palette.table, defaultPalette());
    buildLogicalPalette(palette);
    return palette.entries;
}

std::uint8_t firstMatch(const PaletteEntries& entries, Rgb color) {
    for (int i = 0; i < 236; ++i) {
        if (entries[static_cast<std::size_t>(i)].rgb() == color) return static_cast<std::uint8_t>(i);
    }
    return 236;
}

TEST(FernrenderImages, GifHoldsThePaletteIndexOfEveryShownColor) {
    const PaletteEntries entries = defaultEntries();
    for (const char* bits : {"32", "8"}) {
        ScratchFolder folder;
        const std::vector<std::string> common = {"--size", "96x64", "--display-bits", bits, "--outside", "binary"};
        auto args = common;
        args.push_back((folder / "a.ppm").string());
        ASSERT_EQ(render(args).status, 0);
        args.back() = (folder / "a.GIF").string();
        ASSERT_EQ(render(args).status, 0) << bits;

        const DecodedGif gif = decodeWithGiflib(folder / "a.GIF");
        ASSERT_TRUE(gif.ok) << gif.error;
        const auto colors = ppmColors(folder / "a.ppm");
        ASSERT_EQ(gif.raster.size(), colors.size());
        for (std::size_t i = 0; i < colors.size(); ++i) ASSERT_EQ(gif.raster[i], firstMatch(entries, colors[i])) << i;
        for (std::size_t i = 0; i < 256; ++i) EXPECT_EQ(gif.colorMap[i], entries[i].rgb());
    }
}

TEST(FernrenderImages, TargaHoldsTheTrueColorsTopRowFirst) {
    ScratchFolder folder;
    const std::vector<std::string> common = {"--size", "40x30", "--true-color"};
    auto args = common;
    args.push_back((folder / "a.ppm").string());
    ASSERT_EQ(render(args).status, 0);
    args.back() = (folder / "a.tga").string();
    ASSERT_EQ(render(args).status, 0);

    const auto colors = ppmColors(folder / "a.ppm");
    const auto tga = readFile(folder / "a.tga");
    ASSERT_EQ(tga.size(), 18 + 40 * 30 * 3 + 26u);
    for (std::size_t i = 0; i < colors.size(); ++i) {
        ASSERT_EQ(tga[18 + 3 * i], colors[i].blue) << i;
        ASSERT_EQ(tga[19 + 3 * i], colors[i].green) << i;
        ASSERT_EQ(tga[20 + 3 * i], colors[i].red) << i;
    }
}

TEST(FernrenderImages, AFailedSavePrintsItsMessageAndExits1) {
    ScratchFolder folder;
    const Outcome missing = render({"--size", "8x8", (folder / "missing" / "a.gif").string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err,
              "fernrender: cannot write " + (folder / "missing" / "a.gif").string() + ": No such file or directory\n");

    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    fs::create_symlink("/dev/full", folder / "full.tga");
    const Outcome full = render({"--size", "8x8", (folder / "full.tga").string()});
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "fernrender: cannot write " + (folder / "full.tga").string() + ": No space left on device\n");
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(folder / "full.tga")));
}

}  // namespace
}  // namespace fernwise::test
