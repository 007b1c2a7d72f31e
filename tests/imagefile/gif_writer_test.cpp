#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <optional>
#include <random>

#include "gif_writer.h"
#include "image_test_support.h"

namespace fernwise::test {
namespace {

// Saves the screen and checks the file against the coding rules byte for
// byte and against giflib's decoder; returns the reference code stream.
ReferenceStream saveAndCheck(const VirtualScreen& screen, const PaletteEntries& entries, int sizeIndex = 0) {
    ScratchFolder folder;
    const auto path = folder / "image.gif";
    NullSaveProgress progress;
    const SaveRequest request{path, "image.gif", sizeIndex, false, nullptr};
    EXPECT_EQ(writeGif(request, screen, entries, progress), SaveStatus::Saved);

    const std::vector<std::uint8_t> indices = expectedIndices(screen, entries);
    ReferenceStream reference = referenceCodes(indices);
    const std::vector<std::uint8_t> expected = referenceGif(screen.width(), screen.height(), entries, reference.codes);
    const std::vector<std::uint8_t> written = readFile(path);
    EXPECT_EQ(written.size(), expected.size());
    EXPECT_TRUE(written == expected) << "the file differs from the coding rules";

    const DecodedGif decoded = decodeWithGiflib(path);
    EXPECT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.width, screen.width());
    EXPECT_EQ(decoded.height, screen.height());
    EXPECT_EQ(decoded.imageCount, 1);
    EXPECT_TRUE(decoded.raster == indices) << "giflib decodes other indices";
    EXPECT_EQ(decoded.colorMap.size(), 256u);
    for (std::size_t i = 0; i < decoded.colorMap.size(); ++i) EXPECT_EQ(decoded.colorMap[i], entries[i].rgb());
    return reference;
}

struct ImageCase {
    const char* name;
    int width;
    int height;
    PixelFormat format;
    int sizeIndex;
};

class GifImages : public ::testing::TestWithParam<ImageCase> {};

TEST_P(GifImages, MatchTheCodingRulesAndDecodeToTheImage) {
    const ImageCase& c = GetParam();
    const PaletteEntries entries = distinctEntries();
    auto screen = paintScreen(c.width, c.height, c.format, entries, ringsPattern(c.width, c.height));
    saveAndCheck(*screen, entries, c.sizeIndex);
}

INSTANTIATE_TEST_SUITE_P(EverySizeAndOddOnes, GifImages,
                         ::testing::Values(ImageCase{"s160x120", 160, 120, PixelFormat::Rgb32, 0},
                                           ImageCase{"s200x150", 200, 150, PixelFormat::Indexed8, 1},
                                           ImageCase{"s320x200", 320, 200, PixelFormat::Rgb32, 2},
                                           ImageCase{"s320x240", 320, 240, PixelFormat::Indexed8, 3},
                                           ImageCase{"s480x360", 480, 360, PixelFormat::Rgb32, 4},
                                           ImageCase{"s640x480", 640, 480, PixelFormat::Indexed8, 5},
                                           ImageCase{"s800x600", 800, 600, PixelFormat::Rgb32, 6},
                                           ImageCase{"s1024x768", 1024, 768, PixelFormat::Indexed8, 7},
                                           ImageCase{"s1280x1024", 1280, 1024, PixelFormat::Rgb32, 8},
                                           ImageCase{"s1600x1200", 1600, 1200, PixelFormat::Indexed8, 9},
                                           ImageCase{"s1x1", 1, 1, PixelFormat::Rgb32, 0},
                                           ImageCase{"s7x3", 7, 3, PixelFormat::Indexed8, 0},
                                           ImageCase{"s1601x1", 1601, 1, PixelFormat::Rgb32, 0},
                                           ImageCase{"s1x300", 1, 300, PixelFormat::Rgb32, 0}),
                         [](const ::testing::TestParamInfo<ImageCase>& param) {
                             return std::string(param.param.name);
                         });

TEST(GifCoding, OneColorRunsGrowToNinetySixPixelsThenRepeat) {
    const PaletteEntries entries = distinctEntries();
    auto screen = paintScreen(1600, 1200, PixelFormat::Rgb32, entries, solidPattern(7));
    const ReferenceStream stream = saveAndCheck(*screen, entries);
    const auto& codes = stream.codes;

    ASSERT_GT(codes.size(), 3900u);
    EXPECT_EQ(codes[0], (CodeWord{256, 9}));
    EXPECT_EQ(codes[1].code, 7);  // a run of one pixel
    for (int run = 2; run <= 96; ++run) EXPECT_EQ(codes[static_cast<std::size_t>(run)].code, 256 + run) << run;
    // The 97-pixel string is stored but never extended: runs of 96 follow.
    for (std::size_t i = 97; i < 3838; ++i) ASSERT_EQ(codes[i].code, 352) << i;

    // Code 4094 is assigned with the 3837th code after the clear; then the
    // pending pixel and a clear, both at 12 bits, and the next code at 9.
    ASSERT_FALSE(stream.resets.empty());
    EXPECT_EQ(stream.resets[0].codesAssigned, 3837);
    EXPECT_EQ(codes[3838], (CodeWord{7, 12}));
    EXPECT_EQ(codes[3839], (CodeWord{256, 12}));
    EXPECT_EQ(codes[3840], (CodeWord{7, 9}));
    EXPECT_EQ(codes[3841], (CodeWord{258, 9}));
    EXPECT_GE(stream.resets.size(), 5u);
}

TEST(GifCoding, CodeWidthGrowsAsCodes512And1024And2048AreAssigned) {
    const PaletteEntries entries = distinctEntries();
    auto screen = paintScreen(320, 240, PixelFormat::Rgb32, entries, noisePattern(320, 236, 3));
    const ReferenceStream stream = saveAndCheck(*screen, entries);
    // The n-th code after a clear assigns code 257 + n; the code after the
    // one that assigns 512, 1024 or 2048 is one bit wider.
    const auto& codes = stream.codes;
    EXPECT_EQ(codes[1].width, 9);
    EXPECT_EQ(codes[255].width, 9);  // assigns 512
    EXPECT_EQ(codes[256].width, 10);
    EXPECT_EQ(codes[767].width, 10);  // assigns 1024
    EXPECT_EQ(codes[768].width, 11);
    EXPECT_EQ(codes[1791].width, 11);  // assigns 2048
    EXPECT_EQ(codes[1792].width, 12);
    EXPECT_EQ(codes[3837].width, 12);  // assigns 4094
    for (const ReferenceStream::Reset& reset : stream.resets) EXPECT_EQ(reset.codesAssigned, 3837);
    EXPECT_GE(stream.resets.size(), 10u);
}

TEST(GifCoding, AFullStringStoreResetsTheTableEarly) {
    // Two colours make long strings, so the store fills before the codes run out.
    const PaletteEntries entries = distinctEntries();
    auto screen = paintScreen(640, 480, PixelFormat::Indexed8, entries, noisePattern(640, 2, 11));
    const ReferenceStream stream = saveAndCheck(*screen, entries);
    ASSERT_FALSE(stream.resets.empty());
    for (const ReferenceStream::Reset& reset : stream.resets) EXPECT_LT(reset.codesAssigned, 3837);
}

TEST(GifCoding, AFullStoreJustBeforeTheCodesWidenClearsAtTheDecodersWidth) {
    // Runs of two colours whose store fills when 766 codes are assigned: a
    // decoder counts the single pixel's code before the clear as entry 1023,
    // widens its codes to 11 bits and reads the clear code so. (The GIF fuzz
    // target found such an image; giflib called it defective.)
    std::minstd_rand random(21);
    std::vector<std::uint8_t> runs;
    while (runs.size() < 320 * 240) {
        const auto color = static_cast<std::uint8_t>(random() % 2);
        for (unsigned n = 1 + random() % 30; n > 0 && runs.size() < 320 * 240; --n) runs.push_back(color);
    }
    const PaletteEntries entries = distinctEntries();
    auto screen = paintScreen(320, 240, PixelFormat::Indexed8, entries,
                              [&runs](int x, int y) { return runs[static_cast<std::size_t>(y) * 320 + x]; });
    const ReferenceStream stream = saveAndCheck(*screen, entries);
    const auto reset = std::find_if(stream.resets.begin(), stream.resets.end(),
                                    [](const ReferenceStream::Reset& r) { return r.codesAssigned == 766; });
    ASSERT_NE(reset, stream.resets.end()) << "the image no longer meets the case";
    EXPECT_NE(std::find(stream.codes.begin(), stream.codes.end(), CodeWord{256, 11}), stream.codes.end());
}

TEST(GifCoding, AResetOnTheVeryLastPixelEndsWithClearThenEnd) {
    // Find a pixel count at which noise makes a table reset and that makes a
    // rectangle; the same noise then fills an image of exactly that size.
    const Pattern line = noisePattern(1, 236, 5);
    std::vector<std::uint8_t> pixels(40000);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = line(0, static_cast<int>(i));
    std::optional<std::pair<int, int>> size;
    for (const ReferenceStream::Reset& reset : referenceCodes(pixels).resets) {
        const int count = static_cast<int>(reset.pixelsRead);
        for (int w = 2; w <= 2000 && !size; ++w) {
            if (count % w == 0 && count / w > 1) size = std::pair{w, count / w};
        }
        if (size) break;
    }
    ASSERT_TRUE(size.has_value());

    const PaletteEntries entries = distinctEntries();
    auto screen =
        paintScreen(size->first, size->second, PixelFormat::Rgb32, entries, noisePattern(size->first, 236, 5));
    const ReferenceStream stream = saveAndCheck(*screen, entries);
    ASSERT_FALSE(stream.resets.empty());
    EXPECT_EQ(stream.resets.back().pixelsRead, static_cast<std::size_t>(size->first) * size->second);
    const auto& codes = stream.codes;
    ASSERT_GE(codes.size(), 3u);
    EXPECT_EQ(codes[codes.size() - 3].code, pixels[static_cast<std::size_t>(size->first) * size->second - 1]);
    EXPECT_EQ(codes[codes.size() - 2].code, 256);
    EXPECT_EQ(codes.back(), (CodeWord{257, 9}));
}

TEST(GifFile, HeaderTableAndDescriptorBytes) {
    PaletteEntries entries = distinctEntries();
    // The table is written from the entries as they stand, after cycling.
    rotatePaletteEntries(entries);
    auto screen = paintScreen(1601, 3, PixelFormat::Rgb32, entries, ringsPattern(1601, 3));
    ScratchFolder folder;
    NullSaveProgress progress;
    ASSERT_EQ(writeGif({folder / "a.gif", "a.gif"}, *screen, entries, progress), SaveStatus::Saved);
    const auto bytes = readFile(folder / "a.gif");

    const std::vector<std::uint8_t> header = {'G', 'I', 'F', '8', '7', 'a', 0x41, 0x06, 3, 0, 0xf7, 0, 0};
    ASSERT_GT(bytes.size(), 800u);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), bytes.begin()));
    for (std::size_t i = 0; i < 256; ++i) {
        EXPECT_EQ(bytes[13 + 3 * i], entries[i].red);
        EXPECT_EQ(bytes[14 + 3 * i], entries[i].green);
        EXPECT_EQ(bytes[15 + 3 * i], entries[i].blue);
    }
    const std::vector<std::uint8_t> descriptor = {0x2c, 0, 0, 0, 0, 0x41, 0x06, 3, 0, 0, 8};
    EXPECT_TRUE(std::equal(descriptor.begin(), descriptor.end(), bytes.begin() + 781));

    // Sub-blocks of 251 or 252 bytes but the last, then the terminator and
    // the trailer; the data starts with a clear code at 9 bits.
    std::size_t at = 792;
    EXPECT_EQ(bytes[at + 1], 0x00);
    EXPECT_EQ(bytes[at + 2] & 1, 1);
    std::vector<int> lengths;
    while (at < bytes.size() && bytes[at] != 0) {
        lengths.push_back(bytes[at]);
        at += 1 + bytes[at];
    }
    ASSERT_GE(lengths.size(), 3u);
    for (std::size_t i = 0; i + 1 < lengths.size(); ++i)
        EXPECT_TRUE(lengths[i] == 251 || lengths[i] == 252) << lengths[i];
    EXPECT_LE(lengths.back(), 253);
    EXPECT_EQ(at, bytes.size() - 2);
    EXPECT_EQ(bytes.back(), 0x3b);
}

TEST(GifFile, ColorsOutsideTheSearchedEntriesAreWrittenAs236) {
    PaletteEntries entries = distinctEntries();
    entries[9] = entries[4];  // a duplicate: the lower index wins
    auto screen = VirtualScreen::create(4, 1, PixelFormat::Rgb32);
    screen->setRgb(0, 0, {1, 2, 3});
    screen->setRgb(1, 0, entries[240].rgb());
    screen->setRgb(2, 0, entries[9].rgb());
    screen->setRgb(3, 0, entries[235].rgb());
    ScratchFolder folder;
    NullSaveProgress progress;
    ASSERT_EQ(writeGif({folder / "a.gif", "a.gif"}, *screen, entries, progress), SaveStatus::Saved);
    const DecodedGif decoded = decodeWithGiflib(folder / "a.gif");
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.raster, (std::vector<std::uint8_t>{236, 236, 4, 235}));
}

TEST(GifFile, IndexPixelsAreWrittenByTheColorTheyShowNow) {
    // After palette animation an index pixel shows another entry's colour;
    // the file holds the index of the colour shown.
    const PaletteEntries entries = distinctEntries();
    auto screen = paintScreen(3, 1, PixelFormat::Indexed8, entries, [](int x, int) { return std::uint8_t(5 + x); });
    const PaletteEntry shown = entries[20];
    screen->animate(6, 1, &shown);
    ScratchFolder folder;
    NullSaveProgress progress;
    ASSERT_EQ(writeGif({folder / "a.gif", "a.gif"}, *screen, entries, progress), SaveStatus::Saved);
    const DecodedGif decoded = decodeWithGiflib(folder / "a.gif");
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.raster, (std::vector<std::uint8_t>{5, 20, 7}));
}

}  // namespace
}  // namespace fernwise::test
