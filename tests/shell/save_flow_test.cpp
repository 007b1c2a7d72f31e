#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPushButton>
#include <QTest>

#include "save_file.h"
#include "save_popup.h"
#include "termination_signals.h"
#include "window_test_support.h"

namespace fernwise::windowtest {
namespace {

class SaveFlowTest : public WindowTest {
protected:
    QString target(const QString& name) { return testRoot() + "/" + name; }

    // Save command, the chosen file, then the queued second half.
    void save(const QString& path) {
        files.answers = {path};
        window->command(CommandId::SaveImage);
        settle();
    }
    // Runs what is queued, closed windows' deletion included.
    static void settle() {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

// Reads back an uncompressed 24-bit Targa file written top row first.
struct Targa {
    int width = 0;
    int height = 0;
    std::vector<Rgb> pixels;
    QByteArray footer;
};

Targa readTarga(const QString& path) {
    QFile file(path);
    Targa targa;
    if (!file.open(QIODevice::ReadOnly)) return targa;
    const QByteArray data = file.readAll();
    if (data.size() < 18 + 26) return targa;
    const auto byte = [&data](int i) { return static_cast<std::uint8_t>(data[i]); };
    EXPECT_EQ(byte(2), 2);
    EXPECT_EQ(byte(16), 24);
    EXPECT_EQ(byte(17), 0x20);
    targa.width = byte(12) | (byte(13) << 8);
    targa.height = byte(14) | (byte(15) << 8);
    EXPECT_EQ(data.size(), 18 + targa.width * targa.height * 3 + 26);
    for (int i = 0; i < targa.width * targa.height; ++i) {
        const int at = 18 + 3 * i;
        targa.pixels.push_back({byte(at + 2), byte(at + 1), byte(at)});
    }
    targa.footer = data.right(26);
    return targa;
}

TEST_F(SaveFlowTest, GifHoldsThePictureAndTheDialogIsTheGifOne) {
    ASSERT_EQ(start(), StartupCode::Ok);
    finishPlot();
    const QString path = target("plot.gif");
    save(path);

    ASSERT_EQ(files.requests.size(), 1u);
    const FileDialogRequest& request = files.requests[0];
    EXPECT_EQ(request.mode, FileDialogRequest::Mode::Save);
    EXPECT_EQ(request.title, "Select a file for saving your image:");
    EXPECT_EQ(request.filters, QStringList{"GIF files (*.gif)"});
    EXPECT_EQ(request.defaultSuffix, "gif");
    EXPECT_FALSE(state.run.saveDialogBusy);

    // The popup waits with its OK button enabled.
    SavePopup* popup = window->savePopup();
    ASSERT_NE(popup, nullptr);
    EXPECT_TRUE(popup->isVisible());
    EXPECT_TRUE(window->savePopupOpen());
    EXPECT_EQ(popup->size(), QSize(300, 240));
    EXPECT_EQ(popup->okButton()->text(), "OK");
    EXPECT_EQ(popup->okButton()->geometry(), QRect(130, 190, 40, 30));
    EXPECT_TRUE(popup->okButton()->isEnabled());
    EXPECT_TRUE(window->isEnabled());
    EXPECT_TRUE(messages.shown.empty());

    // The thumbnail pixel of image pixel (0, 0) lands at (Left + 1, 66).
    const Rgb corner = window->virtualScreen()->pixel(0, 0);
    EXPECT_EQ(popup->canvas().pixel(110, 66), qRgb(corner.red, corner.green, corner.blue));

    QImage gif(path);
    ASSERT_FALSE(gif.isNull());
    ASSERT_EQ(gif.size(), QSize(160, 120));
    const VirtualScreen& screen = *window->virtualScreen();
    for (int y = 0; y < 120; y += 7) {
        for (int x = 0; x < 160; x += 5) {
            const QRgb c = gif.pixel(x, y);
            ASSERT_EQ((Rgb{static_cast<std::uint8_t>(qRed(c)), static_cast<std::uint8_t>(qGreen(c)),
                           static_cast<std::uint8_t>(qBlue(c))}),
                      screen.pixel(x, y))
                << x << "," << y;
        }
    }

    popup->okButton()->click();
    settle();
    EXPECT_FALSE(window->savePopupOpen());
    EXPECT_EQ(window->savePopup(), nullptr);
}

TEST_F(SaveFlowTest, TargaWhileTrueColorIsOn) {
    ASSERT_EQ(start({.displayBits = 32}), StartupCode::Ok);
    window->command(CommandId::Pause);
    window->command(CommandId::TrueColor);
    window->command(CommandId::PlotFractal);
    finishPlot();
    const QString path = target("plot.tga");
    save(path);
    ASSERT_EQ(files.requests.size(), 1u);
    EXPECT_EQ(files.requests[0].filters, QStringList{"Targa files (*.tga)"});
    EXPECT_EQ(files.requests[0].defaultSuffix, "tga");
    EXPECT_EQ(files.requests[0].title, "Select a file for saving your image:");

    const Targa targa = readTarga(path);
    ASSERT_EQ(targa.width, 160);
    ASSERT_EQ(targa.height, 120);
    const VirtualScreen& screen = *window->virtualScreen();
    for (int y = 0; y < 120; ++y) {
        for (int x = 0; x < 160; ++x)
            ASSERT_EQ(targa.pixels[static_cast<std::size_t>(y * 160 + x)], screen.pixel(x, y));
    }
    EXPECT_EQ(targa.footer.right(18), QByteArray("TRUEVISION-XFILE.\0", 18));
    ASSERT_NE(window->savePopup(), nullptr);
    window->savePopup()->close();
}

TEST_F(SaveFlowTest, PaletteDisplayGifCarriesTheCycledColors) {
    ASSERT_EQ(start({.displayBits = 8}), StartupCode::Ok);
    finishPlot();
    window->command(CommandId::Cycle);
    passes(3);
    window->command(CommandId::Cycle);
    const QString path = target("cycled.gif");
    save(path);
    QImage gif(path);
    ASSERT_FALSE(gif.isNull());
    const VirtualScreen& screen = *window->virtualScreen();
    const QRgb c = gif.pixel(0, 0);
    EXPECT_EQ((Rgb{static_cast<std::uint8_t>(qRed(c)), static_cast<std::uint8_t>(qGreen(c)),
                   static_cast<std::uint8_t>(qBlue(c))}),
              screen.pixel(0, 0));
    window->savePopup()->close();
}

TEST_F(SaveFlowTest, FailedSaveClosesThePopupAndNamesTheFailure) {
    ASSERT_EQ(start(), StartupCode::Ok);
    finishPlot();
    save(target("no such folder/plot.gif"));
    EXPECT_EQ(window->savePopup(), nullptr);
    EXPECT_FALSE(window->savePopupOpen());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Error opening a save file.");
    EXPECT_EQ(messages.shown[0].caption, "Save file error");
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Warning);
    // The program is usable again afterwards.
    EXPECT_TRUE(window->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(SaveFlowTest, FullDiskReportsAWriteError) {
    if (!QFileInfo::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    ASSERT_EQ(start(), StartupCode::Ok);
    finishPlot();
    save("/dev/full");
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Error writing to save file.");
}

TEST_F(SaveFlowTest, ATerminationSignalStopsTheSaveSilentlyAndKeepsTheEarlierFile) {
    ASSERT_EQ(start(), StartupCode::Ok);
    finishPlot();
    const QString path = target("kept.gif");
    save(path);
    const QByteArray earlier = [&path] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    ASSERT_FALSE(earlier.isEmpty());
    messages.shown.clear();
    // What SIGTERM or Ctrl-C sets before the window closes.
    terminationSaveStop().requested = true;
    save(path);
    terminationSaveStop().requested = false;
    EXPECT_TRUE(messages.shown.empty()) << "the window closes next, with nothing to report";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), earlier);
    EXPECT_EQ(QDir(testRoot()).entryList(QDir::Files | QDir::Hidden).filter("fernwise"), QStringList{});
}

TEST_F(SaveFlowTest, CancelledDialogSavesNothingAndTheDialogRemembersTheLastFile) {
    ASSERT_EQ(start(), StartupCode::Ok);
    finishPlot();
    window->command(CommandId::SaveImage);
    settle();
    EXPECT_EQ(window->savePopup(), nullptr);
    EXPECT_FALSE(state.run.saveDialogBusy);

    save(target("first.gif"));
    window->savePopup()->close();
    window->command(CommandId::SaveImage);
    ASSERT_EQ(files.requests.size(), 3u);
    EXPECT_EQ(files.requests[2].fileName, "first.gif");
    EXPECT_EQ(QDir(files.requests[2].directory).canonicalPath(), QDir(testRoot()).canonicalPath());
}

TEST_F(SaveFlowTest, SavePopupClosesOnEnterAndBeepsAtOtherKeys) {
    ASSERT_EQ(start(), StartupCode::Ok);
    finishPlot();
    save(target("keys.gif"));
    SavePopup* popup = window->savePopup();
    ASSERT_NE(popup, nullptr);
    const int beepsBefore = beeps.count;
    QTest::keyClick(popup, Qt::Key_Space);
    QTest::keyClick(popup, Qt::Key_A);
    EXPECT_EQ(beeps.count, beepsBefore + 2);
    EXPECT_TRUE(popup->isVisible());
    QTest::keyClick(popup, Qt::Key_Return);
    settle();
    EXPECT_EQ(window->savePopup(), nullptr);
    EXPECT_FALSE(window->savePopupOpen());
}

TEST_F(SaveFlowTest, SaveCommandDoesNotReenterWhileItsDialogRuns) {
    ASSERT_EQ(start(), StartupCode::Ok);
    finishPlot();
    state.run.saveDialogBusy = true;
    window->command(CommandId::SaveImage);
    window->command(CommandId::Palette);
    EXPECT_TRUE(files.requests.empty());
    state.run.saveDialogBusy = false;
}

}  // namespace
}  // namespace fernwise::windowtest
