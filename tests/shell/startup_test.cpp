#include "status_parts.h"
#include "window_test_support.h"

namespace fernwise::windowtest {
namespace {

class StartupTest : public WindowTest {};

TEST_F(StartupTest, WithoutAStoredSizeTheImageIsTheWholeDisplay) {
    ASSERT_EQ(start({.sizeIndex = -1}), StartupCode::Ok);
    EXPECT_EQ(state.geometry.imageWidth, 1024);
    EXPECT_EQ(state.geometry.imageHeight, 768);
    EXPECT_EQ(state.geometry.sizeIndex, 7);
    EXPECT_EQ(window->virtualScreen()->width(), 1024);
    EXPECT_EQ(state.geometry.plasmaWidth, 1024 / 2 + 20);
    EXPECT_EQ(state.geometry.plasmaHeight, 768 / 2 + 20);
}

TEST(ImageSizeChoice, DisplayWidthWithoutATableEntryKeepsIndexZero) {
    AppState state;
    state.display.screenWidth = 1152;
    state.display.screenHeight = 864;
    chooseImageSize(state, std::nullopt);
    EXPECT_EQ(state.geometry.imageWidth, 1152);
    EXPECT_EQ(state.geometry.imageHeight, 864);
    EXPECT_EQ(state.geometry.sizeIndex, 0);

    // The first entry of the display's width wins: 320 is both 2 and 3.
    state.display.screenWidth = 320;
    state.display.screenHeight = 240;
    chooseImageSize(state, std::nullopt);
    EXPECT_EQ(state.geometry.sizeIndex, 2);
    EXPECT_EQ(state.geometry.imageHeight, 240);

    // A stored index outside the table counts as none.
    state.display.screenWidth = 800;
    state.display.screenHeight = 600;
    chooseImageSize(state, 10);
    EXPECT_EQ(state.geometry.imageWidth, 800);
    EXPECT_EQ(state.geometry.sizeIndex, 6);
}

TEST_F(StartupTest, StoredSizeWinsWhateverTheDisplay) {
    ASSERT_EQ(start({.sizeIndex = 2, .screen = {1600, 1200}}), StartupCode::Ok);
    EXPECT_EQ(state.geometry.imageWidth, 320);
    EXPECT_EQ(state.geometry.imageHeight, 200);
    EXPECT_EQ(state.plot.imageHeight(), 200);
}

TEST_F(StartupTest, FirstMessagesAreTheSplashAndThePlot) {
    ASSERT_EQ(start(), StartupCode::Ok);
    EXPECT_EQ(window->windowTitle(), "Fernwise Studio");
    EXPECT_FALSE(window->windowIcon().isNull());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(state.run.plotting);
    EXPECT_EQ(state.notesText, "Edit your notes here!");
    // The opening splash left the default palette for the first plot.
    EXPECT_EQ(state.palette.table[39], (Rgb{252, 252, 252}));
    ASSERT_NE(state.palette.logical, nullptr);
    EXPECT_EQ(state.palette.logical->entries.size(), 256u);
    EXPECT_EQ(window->statusPartCount(), 3);
    EXPECT_TRUE(state.plot.atPlotStart());
    window->loopPass();
    EXPECT_EQ(state.plot.nextRow(), 1);
}

// Notes whether a splash window was shown.
struct SplashWatch final : QObject {
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->objectName() == "KoSplashWindow") shown = true;
        return false;
    }
    bool shown = false;
};

TEST_F(StartupTest, DisplayOfFourBitsFailsWithBothMessages) {
    SplashWatch splash;
    qApp->installEventFilter(&splash);
    EXPECT_EQ(start({.displayBits = 4}), StartupCode::GraphicsFailed);
    qApp->removeEventFilter(&splash);
    // Nothing shows but the messages: the queued splash and plot are dropped.
    EXPECT_FALSE(splash.shown);
    EXPECT_FALSE(state.run.plotting);
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].text,
              "Your graphics mode uses only 4 bits\nper pixel. You need to set at least an\n8-bit (256-color) mode.");
    EXPECT_EQ(messages.shown[0].caption, "Graphics Problem");
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Critical);
    EXPECT_EQ(messages.shown[1].text, "Couldn't initialize graphics.");
    EXPECT_EQ(messages.shown[1].caption, "Error");
    EXPECT_EQ(messages.shown[1].icon, MessageIcon::Warning);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(StartupTest, DisplayKindsSetTheDisplayFlags) {
    ASSERT_EQ(start({.displayBits = 8}), StartupCode::Ok);
    EXPECT_TRUE(state.flags.paletteDevice);
    EXPECT_FALSE(state.display.deepColorDisplay);
    EXPECT_EQ(state.palette.logicalPaletteSize, 236);
    EXPECT_EQ(window->virtualScreen()->format(), PixelFormat::Indexed8);
    window.reset();
    state = AppState{};
    ASSERT_EQ(start({.displayBits = 32}), StartupCode::Ok);
    EXPECT_FALSE(state.flags.paletteDevice);
    EXPECT_TRUE(state.display.deepColorDisplay);
    EXPECT_EQ(state.palette.logicalPaletteSize, 256);
    EXPECT_EQ(window->virtualScreen()->format(), PixelFormat::Rgb32);
}

TEST_F(StartupTest, UnallocatableScreenEndsTheProgramWithoutAPlot) {
    ScreenFactory refuse = [](int, int, PixelFormat) { return std::unique_ptr<VirtualScreen>(); };
    ASSERT_EQ(start({.createScreen = refuse}), StartupCode::Ok);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Unable to allocate virtual screen buffer.\nTry to free up some memory.");
    EXPECT_EQ(messages.shown[0].caption, "Memory Problem");
    EXPECT_TRUE(window->creationFailed());
    // The window closed itself from the queue: no plot, and the loop ends.
    EXPECT_TRUE(window->destroyed());
    EXPECT_FALSE(state.run.plotting);
    EXPECT_EQ(quitCodes, std::vector<int>{0});
}

TEST(StartupMessages, TableHoldsEveryCodesText) {
    EXPECT_STREQ(startupMessages[1], "This program is written for Windows 95.");
    EXPECT_STREQ(startupMessages[2], "Couldn't register main window class.");
    EXPECT_STREQ(startupMessages[3], "Couldn't register popup window class.");
    EXPECT_STREQ(startupMessages[4], "Couldn't register edit window class.");
    EXPECT_STREQ(startupMessages[5], "Couldn't register plasma window class.");
    EXPECT_STREQ(startupMessages[6], "Couldn't create main window.");
    EXPECT_STREQ(startupMessages[7], "Couldn't initialize graphics.");
}

TEST(DisplayBits, EnvironmentOverridesTheScreenDepth) {
    EXPECT_EQ(displayBitsFrom("8", 24), 8);
    EXPECT_EQ(displayBitsFrom(" 16 ", 24), 16);
    EXPECT_EQ(displayBitsFrom("", 24), 24);
    EXPECT_EQ(displayBitsFrom("many", 32), 32);
    EXPECT_EQ(displayBitsFrom("0", 32), 32);
    EXPECT_EQ(displayBitsFrom("4", 32), 4);
    // A value that is set but not used says so, once.
    for (const char* value : {"99", "abc", "0", "-8"}) {
        QString ignored;
        EXPECT_EQ(displayBitsFrom(value, 24, &ignored), 24);
        EXPECT_TRUE(ignored.startsWith("fernwise: FERNWISE_DISPLAY_BITS=\"" + QString(value) + "\" is ignored"));
    }
    QString ignored;
    displayBitsFrom("", 24, &ignored);
    displayBitsFrom("8", 24, &ignored);
    EXPECT_TRUE(ignored.isEmpty());
}

TEST(GuardedDelivery, RunningOutOfMemoryInACommandShowsTheMessageAndGoesOn) {
    CapturedMessages messages;
    EXPECT_FALSE(deliverGuarded([]() -> bool { throw std::bad_alloc(); }, &messages));
    ASSERT_EQ(messages.shown.size(), 1U);
    EXPECT_EQ(messages.shown[0].text, "Unable to allocate memory.\nTry to free up some memory.");
    EXPECT_EQ(messages.shown[0].caption, "Memory Problem");
    EXPECT_TRUE(deliverGuarded([] { return true; }, &messages));
    EXPECT_EQ(messages.shown.size(), 1U);
}

}  // namespace
}  // namespace fernwise::windowtest
