#include <gtest/gtest.h>

#include "image_test_support.h"
#include "targa_writer.h"

namespace fernwise::test {
namespace {

std::vector<std::uint8_t> saveTarga(const VirtualScreen& screen) {
    ScratchFolder folder;
    NullSaveProgress progress;
    EXPECT_EQ(writeTarga({folder / "image.tga", "image.tga"}, screen, progress), SaveStatus::Saved);
    return readFile(folder / "image.tga");
}

const std::vector<std::uint8_t> footer = {0,   0,   0,   0,   0,   0,   0,   0,   'T', 'R', 'U', 'E', 'V',
                                          'I', 'S', 'I', 'O', 'N', '-', 'X', 'F', 'I', 'L', 'E', '.', 0};

TEST(TargaFile, HeaderPixelsAndFooterOfA160x120Image) {
    const PaletteEntries entries = distinctEntries();
    auto screen = paintScreen(160, 120, PixelFormat::Rgb32, entries, ringsPattern(160, 120));
    screen->setRgb(0, 0, {255, 0, 0});
    const auto bytes = saveTarga(*screen);
    ASSERT_EQ(bytes.size(), 57644u);

    const std::vector<std::uint8_t> header = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 160, 0, 120, 0, 24, 0x20};
    EXPECT_TRUE(std::equal(header.begin(), header.end(), bytes.begin()));
    // The top-left pixel comes first, blue, green, red.
    EXPECT_EQ(bytes[18], 0x00);
    EXPECT_EQ(bytes[19], 0x00);
    EXPECT_EQ(bytes[20], 0xff);
    std::size_t at = 18;
    for (int y = 0; y < 120; ++y) {
        for (int x = 0; x < 160; ++x, at += 3) {
            const Rgb c = screen->pixel(x, y);
            ASSERT_EQ(bytes[at], c.blue) << x << "," << y;
            ASSERT_EQ(bytes[at + 1], c.green) << x << "," << y;
            ASSERT_EQ(bytes[at + 2], c.red) << x << "," << y;
        }
    }
    EXPECT_TRUE(std::equal(footer.begin(), footer.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at)));
}

TEST(TargaFile, OddSizesHaveLittleEndianSizesAndUnpaddedRows) {
    const PaletteEntries entries = distinctEntries();
    for (const auto& [w, h] : {std::pair{1, 1}, std::pair{7, 3}, std::pair{1601, 1}, std::pair{1, 300}}) {
        auto screen = paintScreen(w, h, PixelFormat::Rgb32, entries, noisePattern(w, 256, 9));
        const auto bytes = saveTarga(*screen);
        const std::size_t pixelBytes = static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3;
        ASSERT_EQ(bytes.size(), 18 + pixelBytes + 26) << w << "x" << h;
        EXPECT_EQ(bytes[12] | bytes[13] << 8, w);
        EXPECT_EQ(bytes[14] | bytes[15] << 8, h);
        const Rgb last = screen->pixel(w - 1, h - 1);
        EXPECT_EQ(bytes[18 + pixelBytes - 3], last.blue);
        EXPECT_EQ(bytes[18 + pixelBytes - 1], last.red);
        EXPECT_TRUE(std::equal(footer.begin(), footer.end(), bytes.end() - 26));
    }
}

TEST(TargaFile, IndexPixelsAreWrittenInTheColorTheyShow) {
    const PaletteEntries entries = distinctEntries();
    auto screen = paintScreen(2, 1, PixelFormat::Indexed8, entries, [](int x, int) { return std::uint8_t(x * 255); });
    const PaletteEntry shown{9, 8, 7, reservedFlag};
    screen->animate(0, 1, &shown);
    const auto bytes = saveTarga(*screen);
    ASSERT_EQ(bytes.size(), 18u + 6u + 26u);
    // Entry 0 animated; index 255 is the static black of a cleared screen.
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 18, bytes.begin() + 24),
              (std::vector<std::uint8_t>{7, 8, 9, 0, 0, 0}));
}

}  // namespace
}  // namespace fernwise::test
