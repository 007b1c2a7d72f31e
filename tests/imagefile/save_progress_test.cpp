#include <gtest/gtest.h>

#include "gif_writer.h"
#include "image_test_support.h"
#include "targa_writer.h"

namespace fernwise::test {
namespace {

using Kind = RecordingProgress::Kind;

enum class Writer { Gif, Targa };

SaveStatus save(Writer writer, const SaveRequest& request, const VirtualScreen& screen, const PaletteEntries& entries,
                SaveProgress& progress) {
    return writer == Writer::Gif ? writeGif(request, screen, entries, progress) : writeTarga(request, screen, progress);
}

class ProgressDisplay : public ::testing::TestWithParam<Writer> {};

TEST_P(ProgressDisplay, BusyStateTextFrameAndThumbnailInThisOrder) {
    const PaletteEntries entries = distinctEntries();
    auto screen = paintScreen(160, 120, PixelFormat::Rgb32, entries, ringsPattern(160, 120));
    ScratchFolder folder;
    RecordingProgress progress;
    ASSERT_EQ(save(GetParam(), {folder / "x", "picture.gif", 0}, *screen, entries, progress), SaveStatus::Saved);

    const auto& events = progress.events;
    ASSERT_GE(events.size(), 9u);
    EXPECT_EQ(events[0].kind, Kind::BeginBusy);
    EXPECT_EQ(events[1].kind, Kind::BeginDrawing);
    EXPECT_EQ(events[2].kind, Kind::Text);
    EXPECT_EQ(events[2].text, "Saving image as picture.gif");
    EXPECT_EQ(events[2].at, (Point{(300 - 7 * 27) / 2, 20}));

    // A sunken frame round (109, 65)-(190, 126).
    const std::vector<std::tuple<Point, Point, FrameShade>> lines = {
        {{109, 126}, {109, 65}, FrameShade::Shadow},
        {{109, 65}, {190, 65}, FrameShade::Shadow},
        {{190, 65}, {190, 126}, FrameShade::Highlight},
        {{190, 126}, {108, 126}, FrameShade::Highlight},
    };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto& e = events[3 + i];
        EXPECT_EQ(e.kind, Kind::Line);
        EXPECT_EQ(e.at, std::get<0>(lines[i])) << i;
        EXPECT_EQ(e.to, std::get<1>(lines[i])) << i;
        EXPECT_EQ(e.shade, std::get<2>(lines[i])) << i;
    }
    EXPECT_EQ(events[events.size() - 2].kind, Kind::EndDrawing);
    EXPECT_EQ(events.back().kind, Kind::EndBusy);

    // Every second pixel of every second row, row by row, in its own colour
    // for Targa and in the colour of its palette entry for GIF (the same
    // here, as every pixel has an entry's colour or becomes entry 236).
    const auto indices = expectedIndices(*screen, entries);
    const auto pixels = progress.ofKind(Kind::RgbPixel);
    ASSERT_EQ(pixels.size(), 80u * 60u);
    EXPECT_EQ(events.size(), 7u + pixels.size() + 2u);
    std::size_t n = 0;
    for (int y = 0; y < 120; y += 2) {
        for (int x = 0; x < 160; x += 2, ++n) {
            EXPECT_EQ(pixels[n].at, (Point{110 + x / 2, 66 + y / 2}));
            const std::uint8_t index = indices[static_cast<std::size_t>(y) * 160 + static_cast<std::size_t>(x)];
            const Rgb expected = GetParam() == Writer::Gif ? entries[index].rgb() : screen->pixel(x, y);
            ASSERT_EQ(pixels[n].color, expected) << x << "," << y;
        }
    }
}

TEST_P(ProgressDisplay, ThumbnailStaysInsideTheFrameForEveryImageSize) {
    const int sizes[10][2] = {{160, 120}, {200, 150}, {320, 200},  {320, 240},   {480, 360},
                              {640, 480}, {800, 600}, {1024, 768}, {1280, 1024}, {1600, 1200}};
    const PaletteEntries entries = distinctEntries();
    for (int i = 0; i < previewLayoutCount; ++i) {
        const auto [w, h] = sizes[i];
        const PreviewLayout& layout = previewLayouts[static_cast<std::size_t>(i)];
        auto screen = paintScreen(w, h, PixelFormat::Rgb32, entries, solidPattern(3));
        ScratchFolder folder;
        RecordingProgress progress;
        ASSERT_EQ(save(GetParam(), {folder / "x", "x", i}, *screen, entries, progress), SaveStatus::Saved);
        const auto pixels = progress.ofKind(Kind::RgbPixel);
        const int across = (w + layout.step - 1) / layout.step;
        const int down = (h + layout.step - 1) / layout.step;
        ASSERT_EQ(pixels.size(), static_cast<std::size_t>(across) * static_cast<std::size_t>(down)) << i;
        EXPECT_EQ(pixels.front().at, (Point{layout.left + 1, 66}));
        EXPECT_EQ(pixels.back().at, (Point{layout.left + across, 65 + down}));
        EXPECT_LT(pixels.back().at.x, layout.right) << i;
        EXPECT_LT(pixels.back().at.y, layout.bottom) << i;
    }
}

TEST_P(ProgressDisplay, TextWiderThanThePopupIsPlacedByRoundingDown) {
    const PaletteEntries entries = distinctEntries();
    auto screen = paintScreen(2, 2, PixelFormat::Rgb32, entries, solidPattern(1));
    ScratchFolder folder;
    RecordingProgress progress;
    const std::string name(29, 'n');  // 16 + 29 = 45 characters, 315 pixels
    ASSERT_EQ(save(GetParam(), {folder / "x", name, 0}, *screen, entries, progress), SaveStatus::Saved);
    const auto texts = progress.ofKind(Kind::Text);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].at, (Point{-8, 20}));
}

INSTANTIATE_TEST_SUITE_P(BothWriters, ProgressDisplay, ::testing::Values(Writer::Gif, Writer::Targa),
                         [](const ::testing::TestParamInfo<Writer>& param) {
                             return param.param == Writer::Gif ? "Gif" : "Targa";
                         });

TEST(GifProgress, PaletteBasedDisplayDrawsThePaletteIndex) {
    const PaletteEntries entries = distinctEntries();
    auto screen = paintScreen(200, 150, PixelFormat::Indexed8, entries, ringsPattern(200, 150));
    ScratchFolder folder;
    RecordingProgress progress;
    ASSERT_EQ(writeGif({folder / "x", "x", 1, true}, *screen, entries, progress), SaveStatus::Saved);
    EXPECT_TRUE(progress.ofKind(Kind::RgbPixel).empty());
    const auto pixels = progress.ofKind(Kind::IndexPixel);
    ASSERT_EQ(pixels.size(), 100u * 75u);
    const auto indices = expectedIndices(*screen, entries);
    std::size_t n = 0;
    for (int y = 0; y < 150; y += 2) {
        for (int x = 0; x < 200; x += 2, ++n) {
            ASSERT_EQ(pixels[n].index, indices[static_cast<std::size_t>(y) * 200 + static_cast<std::size_t>(x)]);
        }
    }
}

TEST(TargaProgress, AColorOffThePaletteIsDrawnAsItIs) {
    auto screen = VirtualScreen::create(1, 1, PixelFormat::Rgb32);
    screen->setRgb(0, 0, {1, 2, 3});
    ScratchFolder folder;
    RecordingProgress progress;
    ASSERT_EQ(writeTarga({folder / "x", "x"}, *screen, progress), SaveStatus::Saved);
    const auto pixels = progress.ofKind(Kind::RgbPixel);
    ASSERT_EQ(pixels.size(), 1u);
    EXPECT_EQ(pixels[0].color, (Rgb{1, 2, 3}));
}

}  // namespace
}  // namespace fernwise::test
