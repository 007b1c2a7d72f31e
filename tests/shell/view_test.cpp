#include <QImage>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>

#include "image_size_dialog.h"
#include "screen_image.h"
#include "window_test_support.h"

namespace fernwise::windowtest {
namespace {

class ViewTest : public WindowTest {
protected:
    QScrollBar* horizontal() { return window->imageView()->horizontalScrollBar(); }
    QScrollBar* vertical() { return window->imageView()->verticalScrollBar(); }
    QImage shown() { return window->imageView()->viewport()->grab().toImage(); }
    static Rgb rgbOf(QRgb c) {
        return {static_cast<std::uint8_t>(qRed(c)), static_cast<std::uint8_t>(qGreen(c)),
                static_cast<std::uint8_t>(qBlue(c))};
    }
};

// Answers the image size dialog with a size, or cancels it.
void answerImageSizeDialog(int sizeIndex) {
    QTimer::singleShot(0, [sizeIndex] {
        auto* dialog = qobject_cast<ImageSizeDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        if (sizeIndex < 0) {
            dialog->cancelButton()->click();
            return;
        }
        dialog->radioButton(sizeIndex)->click();
        dialog->okButton()->click();
    });
}

TEST_F(ViewTest, WindowAsLargeAsTheDisplayDoesNotScrollAnImageThatFits) {
    ASSERT_EQ(start({.sizeIndex = 5}), StartupCode::Ok);
    // The window covers the 1024 x 768 display; the 640 x 480 image fits.
    EXPECT_EQ(window->scrollMaxX(), 0);
    EXPECT_EQ(window->scrollMaxY(), 0);
    EXPECT_TRUE(horizontal()->isVisible());
    EXPECT_FALSE(horizontal()->isEnabled());
    EXPECT_FALSE(vertical()->isEnabled());
}

TEST_F(ViewTest, ImageLargerThanTheDisplayScrollsOverTheHiddenPart) {
    ASSERT_EQ(start({.sizeIndex = 9}), StartupCode::Ok);
    window->command(CommandId::Pause);
    EXPECT_EQ(window->scrollMaxX(), 1600 - window->clientWidth());
    EXPECT_EQ(window->scrollMaxY(), 1200 - window->clientHeight());
    EXPECT_TRUE(horizontal()->isEnabled());
    EXPECT_EQ(horizontal()->maximum(), window->scrollMaxX());

    // Line, page and thumb moves, each held to the range.
    horizontal()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(window->scrollX(), 1);
    horizontal()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(window->scrollX(), std::min(1 + window->clientWidth(), window->scrollMaxX()));
    horizontal()->setValue(3);
    horizontal()->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(window->scrollX(), 0);
    horizontal()->setValue(window->scrollMaxX() - 5);
    horizontal()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(window->scrollX(), window->scrollMaxX());
    horizontal()->triggerAction(QAbstractSlider::SliderToMinimum);
    horizontal()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(window->scrollX(), 0);
    vertical()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(window->scrollY(), std::min(window->clientHeight(), window->scrollMaxY()));

    // A resize puts the view back at the top left.
    window->resize(900, 700);
    QCoreApplication::processEvents();
    EXPECT_EQ(window->scrollX(), 0);
    EXPECT_EQ(window->scrollY(), 0);
    EXPECT_EQ(window->scrollMaxX(), 1600 - window->clientWidth());
}

TEST_F(ViewTest, SmallerWindowScrollsExactlyOverTheHiddenPart) {
    ASSERT_EQ(start({.sizeIndex = 2}), StartupCode::Ok);
    window->resize(200, 180);
    QCoreApplication::processEvents();
    EXPECT_EQ(window->scrollMaxX(), 320 - window->clientWidth());
    EXPECT_EQ(window->scrollMaxY(), std::max(200 - window->clientHeight(), 0));
    // Growing past the image disables the bar again.
    window->resize(700, 600);
    QCoreApplication::processEvents();
    EXPECT_EQ(window->scrollMaxX(), 0);
    EXPECT_FALSE(horizontal()->isEnabled());
}

TEST_F(ViewTest, PaintingShowsTheVirtualScreenThroughTheScrollOffsets) {
    ASSERT_EQ(start({.sizeIndex = 5}), StartupCode::Ok);
    finishPlot();
    window->resize(400, 300);
    QCoreApplication::processEvents();
    horizontal()->setValue(37);
    vertical()->setValue(11);
    const VirtualScreen& screen = *window->virtualScreen();
    const QImage image = shown();
    for (QPoint p : {QPoint(0, 0), QPoint(100, 50), QPoint(250, 120)}) {
        EXPECT_EQ(rgbOf(image.pixel(p)), screen.pixel(p.x() + 37, p.y() + 11)) << p.x() << "," << p.y();
    }
}

TEST_F(ViewTest, OutsideTheImageTheWindowIsBlack) {
    ASSERT_EQ(start(), StartupCode::Ok);
    finishPlot();
    const QImage image = shown();
    EXPECT_EQ(rgbOf(image.pixel(159, 0)), window->virtualScreen()->pixel(159, 0));
    EXPECT_EQ(rgbOf(image.pixel(160, 0)), Rgb{});
    EXPECT_EQ(rgbOf(image.pixel(10, 300)), Rgb{});
}

TEST_F(ViewTest, PaletteAnimationRecolorsTheWindowWithoutTouchingPixels) {
    ASSERT_EQ(start({.displayBits = 8}), StartupCode::Ok);
    finishPlot();
    VirtualScreen& screen = *window->virtualScreen();
    // The painted image is the screen's own memory.
    const QImage wrapped = screenImage(screen);
    EXPECT_EQ(wrapped.constBits(), screen.bits());
    EXPECT_EQ(wrapped.format(), QImage::Format_Indexed8);

    const std::uint8_t index = screen.indexAt(5, 5);
    const QRgb before = shown().pixel(5, 5);
    const std::vector<std::uint8_t> pixels(screen.bits(), screen.bits() + screen.bytesPerLine() * screen.height());
    window->command(CommandId::Cycle);
    window->loopPass();
    const QRgb after = shown().pixel(5, 5);
    EXPECT_EQ(rgbOf(after), state.palette.entries[index].rgb());
    EXPECT_NE(after, before);
    EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), screen.bits()));
}

TEST_F(ViewTest, RowsAppearFromTheTopAsThePlotRuns) {
    ASSERT_EQ(start(), StartupCode::Ok);
    passes(30);
    const QImage image = shown();
    const VirtualScreen& screen = *window->virtualScreen();
    EXPECT_EQ(rgbOf(image.pixel(0, 29)), screen.pixel(0, 29));
    EXPECT_NE(screen.pixel(0, 29), Rgb{});
    // Below the rows done so far the picture is still black.
    EXPECT_EQ(screen.pixel(0, 31), Rgb{});
    EXPECT_EQ(rgbOf(image.pixel(0, 31)), Rgb{});
}

TEST_F(ViewTest, ImageSizeChangeRebuildsABlackScreenAndStoresTheChoice) {
    ASSERT_EQ(start(), StartupCode::Ok);
    finishPlot();
    answerImageSizeDialog(2);
    window->command(CommandId::ImageSize);
    EXPECT_EQ(state.geometry.sizeIndex, 2);
    EXPECT_EQ(state.geometry.imageWidth, 320);
    EXPECT_EQ(state.geometry.imageHeight, 200);
    EXPECT_EQ(window->virtualScreen()->width(), 320);
    EXPECT_EQ(window->virtualScreen()->height(), 200);
    EXPECT_EQ(window->virtualScreen()->pixel(0, 0), Rgb{});
    EXPECT_EQ(settings.readResIndex(), std::optional<int>(2));
    EXPECT_TRUE(state.plot.atPlotStart());
    EXPECT_EQ(state.plot.imageHeight(), 200);
    EXPECT_FALSE(state.run.plotting);

    // The same size again still clears and rearms.
    window->command(CommandId::PlotFractal);
    passes(20);
    window->command(CommandId::Pause);
    answerImageSizeDialog(2);
    window->command(CommandId::ImageSize);
    EXPECT_EQ(window->virtualScreen()->pixel(0, 0), Rgb{});
    EXPECT_TRUE(state.plot.atPlotStart());

    // Cancel changes nothing.
    answerImageSizeDialog(-1);
    window->command(CommandId::ImageSize);
    EXPECT_EQ(state.geometry.sizeIndex, 2);
    EXPECT_EQ(window->virtualScreen()->width(), 320);
    window->command(CommandId::PlotFractal);
    finishPlot();
    EXPECT_NE(window->virtualScreen()->pixel(0, 0), Rgb{});
}

TEST_F(ViewTest, FailedScreenAtASizeChangeKeepsThePreviousSize) {
    bool refuse = false;
    ScreenFactory factory = [&refuse](int width, int height, PixelFormat format) {
        return refuse ? nullptr : VirtualScreen::create(width, height, format);
    };
    ASSERT_EQ(start({.createScreen = factory}), StartupCode::Ok);
    finishPlot();
    refuse = true;
    answerImageSizeDialog(9);
    window->command(CommandId::ImageSize);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Unable to allocate virtual screen buffer.\nTry to free up some memory.");
    EXPECT_EQ(messages.shown[0].caption, "Memory Problem");
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Warning);
    EXPECT_EQ(state.geometry.imageWidth, 160);
    EXPECT_EQ(window->virtualScreen()->width(), 160);
    EXPECT_EQ(state.plot.imageWidth(), 160);
    // The choice itself is kept.
    EXPECT_EQ(state.geometry.sizeIndex, 9);
    EXPECT_EQ(settings.readResIndex(), std::optional<int>(9));
    window->command(CommandId::PlotFractal);
    finishPlot();
    EXPECT_NE(window->virtualScreen()->pixel(159, 119), Rgb{});
}

TEST(ImageSizeDialog, OpensOnTheCurrentSizeAndReportsTheChoice) {
    ImageSizeDialog dialog(7);
    EXPECT_EQ(dialog.windowTitle(), "Select the Image Dimensions");
    const char* labels[] = {"160 x 120", "200 x 150", "320 x 200",  "320 x 240",   "480 x 360",
                            "640 x 480", "800 x 600", "1024 x 768", "1280 x 1024", "1600 x 1200"};
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(dialog.radioButton(i)->text(), labels[i]);
        EXPECT_EQ(dialog.radioButton(i)->objectName(), QString::number(520 + i));
        EXPECT_EQ(dialog.radioButton(i)->isChecked(), i == 7);
    }
    dialog.radioButton(3)->click();
    EXPECT_FALSE(dialog.radioButton(7)->isChecked());
    dialog.okButton()->click();
    EXPECT_EQ(dialog.result(), 1);
    EXPECT_EQ(dialog.sizeIndex(), 3);

    ImageSizeDialog cancelled(4);
    cancelled.radioButton(0)->click();
    QTest::keyClick(&cancelled, Qt::Key_Escape);
    EXPECT_EQ(cancelled.result(), 2);
}

}  // namespace
}  // namespace fernwise::windowtest
