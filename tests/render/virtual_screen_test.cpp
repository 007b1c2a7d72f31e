#include <gtest/gtest.h>

#include "virtual_screen.h"

namespace fernwise {
namespace {

TEST(VirtualScreen, CreatedBlackInBothForms) {
    for (PixelFormat format : {PixelFormat::Indexed8, PixelFormat::Rgb32}) {
        auto screen = VirtualScreen::create(7, 3, format);
        ASSERT_TRUE(screen);
        EXPECT_EQ(screen->bytesPerLine() % 4, 0u);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 7; ++x) EXPECT_EQ(screen->pixel(x, y), Rgb{});
    }
    EXPECT_FALSE(VirtualScreen::create(0, 5, PixelFormat::Rgb32));
}

TEST(VirtualScreen, IndexedPixelsFollowPaletteAnimation) {
    auto screen = VirtualScreen::create(4, 2, PixelFormat::Indexed8);
    LogicalPalette logical;
    for (int i = 0; i < 236; ++i) logical.entries.push_back({static_cast<std::uint8_t>(i), 1, 2, 1});
    screen->realize(logical);
    screen->setIndex(1, 1, 200);
    EXPECT_EQ(screen->pixel(1, 1), (Rgb{200, 1, 2}));
    PaletteEntry moved{9, 8, 7, 1};
    screen->animate(200, 1, &moved);
    EXPECT_EQ(screen->pixel(1, 1), (Rgb{9, 8, 7}));
    EXPECT_EQ(screen->indexAt(1, 1), 200);  // the pixel itself is untouched
    // The black fill is a static colour no animation reaches.
    screen->clear();
    PaletteEntry red{255, 0, 0, 1};
    screen->animate(VirtualScreen::staticBlackIndex, 1, &red);
    EXPECT_EQ(screen->pixel(1, 1), Rgb{});
}

TEST(VirtualScreen, RgbPixelsAndClippedFill) {
    auto screen = VirtualScreen::create(5, 5, PixelFormat::Rgb32);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x) screen->setRgb(x, y, {10, 20, 30});
    screen->fillBlack(-3, 3, 2, 99);
    EXPECT_EQ(screen->pixel(1, 4), Rgb{});
    EXPECT_EQ(screen->pixel(2, 4), (Rgb{10, 20, 30}));
    EXPECT_EQ(screen->pixel(1, 2), (Rgb{10, 20, 30}));
}

}  // namespace
}  // namespace fernwise
