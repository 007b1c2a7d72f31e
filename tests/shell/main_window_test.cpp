#include <map>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>
#include <QTextBrowser>

#include "help_window.h"
#include "status_parts.h"
#include "window_test_support.h"
#include "zoom_box.h"

namespace fernwise::windowtest {
namespace {

// Enabled and checked, per command id, as the menu shows them.
using MenuStates = std::map<int, std::pair<bool, bool>>;

constexpr int allIds[] = {100, 140, 200, 205, 210, 220, 225, 230, 240, 250, 260, 270, 280, 290, 300, 310};

MenuStates menuStates(const MainWindow& window) {
    MenuStates states;
    for (int id : allIds) {
        const QAction* action = window.commandAction(id);
        states[id] = {action->isEnabled(), action->isChecked()};
    }
    return states;
}

// Builds the expected states from the items listed as greyed and checked.
MenuStates expected(std::initializer_list<int> greyed, std::initializer_list<int> checked) {
    MenuStates states;
    for (int id : allIds) states[id] = {true, false};
    for (int id : greyed) states[id].first = false;
    for (int id : checked) states[id].second = true;
    return states;
}

void pressKey(QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(target, key, modifiers);
    QCoreApplication::processEvents();
}

TEST(MenuTable, MenuBarHoldsEveryItemWithTextKeyHelpAndId) {
    AppState state;
    state.display.screenWidth = 800;
    state.display.screenHeight = 600;
    state.geometry.imageWidth = 160;
    state.geometry.imageHeight = 120;
    MainWindow window(state, MainWindowOptions{});

    const QList<QAction*> bar = window.menuBar()->actions();
    ASSERT_EQ(bar.size(), 3);
    EXPECT_EQ(bar[0]->text(), "&File");
    EXPECT_EQ(bar[1]->text(), "&Options");
    EXPECT_EQ(bar[2]->text(), "&Help");
    EXPECT_EQ(bar[0]->statusTip(), "Save images to disk, or exit from the program.");
    EXPECT_EQ(bar[1]->statusTip(), "Fractal and graphics options.");
    EXPECT_EQ(bar[2]->statusTip(), "Kovash help and an About box.");

    struct Row {
        int popup;
        int id;  // 0: separator
        const char* text;
        QKeySequence key;
        const char* help;
    };
    const Row rows[] = {
        {0, 100, "&Save Image\tF2", QKeySequence(Qt::Key_F2), "Save the current image to a file on disk."},
        {0, 0, "", {}, ""},
        {0, 140, "E&xit\tEsc", QKeySequence(Qt::Key_Escape), "Exit from the program."},
        {1, 200, "Plot &Fractal\tF3", QKeySequence(Qt::Key_F3), "Plot a fractal using the current parameters."},
        {1, 205, "Periodicit&y\tAlt + F3", QKeySequence(Qt::ALT | Qt::Key_F3),
         "Toggle periodicity checking (Mandelbrot/Julia)."},
        {1, 210, "&Pause\tF4", QKeySequence(Qt::Key_F4), "Pause plotting; this enables the other options."},
        {1, 220, "&Cycle\tF5", QKeySequence(Qt::Key_F5), "Toggle color-cycling; 256-color modes only."},
        {1, 225, "Cycling Sp&eed\tAlt + F5", QKeySequence(Qt::ALT | Qt::Key_F5), "Set the speed of color-cycling."},
        {1, 0, "", {}, ""},
        {1, 230, "&Image Size\tF6", QKeySequence(Qt::Key_F6), "Select the dimensions of the image."},
        {1, 240, "Pa&rameters\tF7", QKeySequence(Qt::Key_F7), "Select new fractal parameters."},
        {1, 250, "Pa&lette\tF8", QKeySequence(Qt::Key_F8), "Change the palette by selecting a Fractint MAP file."},
        {1, 260, "Defaul&t Palette\tAlt + F8", QKeySequence(Qt::ALT | Qt::Key_F8),
         "Restore the default KO000000.MAP palette."},
        {1, 0, "", {}, ""},
        {1, 270, "&24-bit coloring\tF9", QKeySequence(Qt::Key_F9), "Apply 24-bit coloring; see Help for details."},
        {1, 0, "", {}, ""},
        {1, 280, "&Status Bar\tF11", QKeySequence(Qt::Key_F11), "Toggle this status bar."},
        {1, 0, "", {}, ""},
        {1, 290, "Soun&d\tAlt + F11", QKeySequence(Qt::ALT | Qt::Key_F11),
         "Play default Windows WAV file when image is completed."},
        {2, 300, "&Help\tF1", QKeySequence(Qt::Key_F1), "How to use the non-intuitive parts of this program."},
        {2, 0, "", {}, ""},
        {2, 310, "&About\tF12", QKeySequence(Qt::Key_F12), "The requisite About box."},
    };
    std::map<int, int> positions;
    for (const Row& row : rows) {
        const QList<QAction*> items = window.popupMenu(row.popup)->actions();
        const int position = positions[row.popup]++;
        ASSERT_LT(position, items.size());
        const QAction* action = items[position];
        if (row.id == 0) {
            EXPECT_TRUE(action->isSeparator()) << "popup " << row.popup << " position " << position;
            continue;
        }
        EXPECT_EQ(action->data().toInt(), row.id);
        EXPECT_EQ(action->text(), row.text);
        EXPECT_EQ(action->shortcut(), row.key) << row.id;
        EXPECT_EQ(action->statusTip(), row.help);
    }
    for (const auto& [popup, count] : positions) {
        EXPECT_EQ(window.popupMenu(popup)->actions().size(), count) << "popup " << popup;
    }

    // The initial states of the menu resource.
    EXPECT_EQ(menuStates(window), expected({220, 225}, {205, 280, 290}));
}

TEST(MenuTable, RulesLeaveItemsAloneWhenTheirConditionFails) {
    const MenuConditions noPalette{false, false, true, true};
    const MenuItemState greyed{false, false};
    // Cycle after a finished plot: only on a palette-based display.
    EXPECT_EQ(applyMenuRule(menuRule(220, MenuEvent::PlotFinished), greyed, noPalette), greyed);
    MenuConditions palette = noPalette;
    palette.paletteDevice = true;
    EXPECT_EQ(applyMenuRule(menuRule(220, MenuEvent::PlotFinished), greyed, palette), (MenuItemState{true, true}));
    // Items an event does not name keep their state, check mark included.
    EXPECT_EQ(applyMenuRule(menuRule(210, MenuEvent::CyclingOn), MenuItemState{true, true}, palette),
              (MenuItemState{true, true}));
    EXPECT_EQ(applyMenuRule(menuRule(999, MenuEvent::Paused), greyed, palette), greyed);
}

class MainWindowTest : public WindowTest {};

TEST_F(MainWindowTest, MenuFollowsTheFiveEventsOnAPaletteDisplay) {
    ASSERT_EQ(start({.displayBits = 8}), StartupCode::Ok);
    // The first plot was started by the window itself.
    ASSERT_TRUE(state.run.plotting);
    EXPECT_EQ(menuStates(*window),
              expected({100, 140, 200, 205, 220, 225, 230, 240, 250, 260, 270, 280, 290, 300, 310}, {205, 280, 290}));

    window->command(CommandId::Pause);
    EXPECT_FALSE(state.run.plotting);
    // Cycling speed becomes usable before Cycle does, which needs a finished plot.
    EXPECT_EQ(menuStates(*window), expected({210, 220, 270}, {205, 280, 290}));

    window->command(CommandId::PlotFractal);
    finishPlot();
    EXPECT_EQ(menuStates(*window), expected({210, 270}, {205, 280, 290}));

    window->command(CommandId::Cycle);
    EXPECT_TRUE(state.run.cycling);
    EXPECT_EQ(menuStates(*window), expected({100, 140, 200, 205, 210, 225, 230, 240, 250, 260, 270, 280, 290, 300, 310},
                                            {205, 220, 280, 290}));

    window->command(CommandId::Cycle);
    EXPECT_FALSE(state.run.cycling);
    EXPECT_EQ(menuStates(*window), expected({210, 270}, {205, 280, 290}));
}

TEST_F(MainWindowTest, MenuFollowsTheEventsOnADeepColorDisplay) {
    ASSERT_EQ(start({.displayBits = 32}), StartupCode::Ok);
    // 24-bit colouring is greyed by the first plot on every display.
    EXPECT_EQ(menuStates(*window),
              expected({100, 140, 200, 205, 220, 225, 230, 240, 250, 260, 270, 280, 290, 300, 310}, {205, 280, 290}));
    window->command(CommandId::Pause);
    EXPECT_EQ(menuStates(*window), expected({210, 220, 225}, {205, 280, 290}));
    window->command(CommandId::PlotFractal);
    finishPlot();
    EXPECT_EQ(menuStates(*window), expected({210, 220, 225}, {205, 280, 290}));

    // The status bar's check follows its flag at every event.
    window->command(CommandId::StatusBar);
    window->command(CommandId::PlotFractal);
    EXPECT_EQ(menuStates(*window),
              expected({100, 140, 200, 205, 220, 225, 230, 240, 250, 260, 270, 280, 290, 300, 310}, {205, 290}));
}

TEST_F(MainWindowTest, SixteenBitDisplayKeepsCyclingAndTrueColorGreyed) {
    ASSERT_EQ(start({.displayBits = 16}), StartupCode::Ok);
    finishPlot();
    EXPECT_FALSE(state.flags.paletteDevice);
    EXPECT_FALSE(state.display.deepColorDisplay);
    EXPECT_EQ(state.palette.logicalPaletteSize, 236);
    EXPECT_EQ(menuStates(*window), expected({210, 220, 225, 270}, {205, 280, 290}));
}

TEST_F(MainWindowTest, EveryAcceleratorReachesItsCommand) {
    ASSERT_EQ(start({.displayBits = 8}), StartupCode::Ok);
    finishPlot();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QWidget* target = window->imageView();

    struct KeyCase {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int id;
    };
    // In an order that leaves the menu usable for the next key.
    const KeyCase cases[] = {
        {Qt::Key_F1, Qt::NoModifier, 300},   {Qt::Key_F2, Qt::NoModifier, 100},  {Qt::Key_F3, Qt::AltModifier, 205},
        {Qt::Key_F5, Qt::NoModifier, 220},   {Qt::Key_F5, Qt::NoModifier, 220},  {Qt::Key_F5, Qt::AltModifier, 225},
        {Qt::Key_F6, Qt::NoModifier, 230},   {Qt::Key_F7, Qt::NoModifier, 240},  {Qt::Key_F8, Qt::NoModifier, 250},
        {Qt::Key_F8, Qt::AltModifier, 260},  {Qt::Key_F11, Qt::NoModifier, 280}, {Qt::Key_F11, Qt::NoModifier, 280},
        {Qt::Key_F11, Qt::AltModifier, 290}, {Qt::Key_F3, Qt::NoModifier, 200},  {Qt::Key_F4, Qt::NoModifier, 210},
        {Qt::Key_F12, Qt::NoModifier, 310},
    };
    for (const KeyCase& c : cases) {
        requested.clear();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        ModalCloser closer;
        pressKey(target, c.key, c.modifiers);
        EXPECT_EQ(requested, std::vector<int>{c.id}) << "key for " << c.id;
    }
    EXPECT_FALSE(state.flags.periodicityChecking);
    EXPECT_FALSE(state.preferences.soundOn);
    EXPECT_TRUE(state.preferences.statusBarOn);
    if (window->helpWindow() != nullptr) window->helpWindow()->close();
    // The About box holds the main window until a key or click closes it.
    if (QWidget* about = QApplication::activeWindow(); about != nullptr && about != window.get()) {
        QTest::keyClick(about, Qt::Key_A);
        QCoreApplication::processEvents();
    }
    // F10 is no key of the program.
    requested.clear();
    window->activateWindow();
    pressKey(target, Qt::Key_F10);
    EXPECT_TRUE(requested.empty());
}

TEST_F(MainWindowTest, F9TogglesTrueColorOnADeepDisplayAndRearms) {
    ASSERT_EQ(start({.displayBits = 24}), StartupCode::Ok);
    finishPlot();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    pressKey(window->imageView(), Qt::Key_F9);
    EXPECT_EQ(requested, std::vector<int>{270});
    EXPECT_TRUE(state.flags.trueColorMode);
    EXPECT_TRUE(window->commandAction(270)->isChecked());
    EXPECT_TRUE(state.plot.atPlotStart());
}

TEST_F(MainWindowTest, GreyedKeysDoNothingDuringAPlot) {
    ASSERT_EQ(start(), StartupCode::Ok);
    passes(3);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const QString title = window->windowTitle();
    for (Qt::Key key : {Qt::Key_F1, Qt::Key_F2, Qt::Key_F3, Qt::Key_F5, Qt::Key_F6, Qt::Key_F7, Qt::Key_F8, Qt::Key_F9,
                        Qt::Key_F11, Qt::Key_F12, Qt::Key_Escape}) {
        pressKey(window->imageView(), key);
    }
    pressKey(window->imageView(), Qt::Key_F8, Qt::AltModifier);
    EXPECT_TRUE(requested.empty());
    EXPECT_TRUE(files.requests.empty());
    EXPECT_FALSE(window->destroyed());
    EXPECT_TRUE(state.run.plotting);
    EXPECT_TRUE(state.preferences.statusBarOn);

    // Pause is the one command a running plot offers.
    pressKey(window->imageView(), Qt::Key_F4);
    EXPECT_EQ(requested, std::vector<int>{210});
    EXPECT_FALSE(state.run.plotting);
}

TEST_F(MainWindowTest, EscapeAfterThePlotEndsTheProgramAtOnce) {
    ASSERT_EQ(start(), StartupCode::Ok);
    finishPlot();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    pressKey(window->imageView(), Qt::Key_Escape);
    EXPECT_EQ(requested, std::vector<int>{140});
    EXPECT_TRUE(window->destroyed());
    EXPECT_EQ(quitCodes, std::vector<int>{0});
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(MainWindowTest, DestroySequenceReleasesEverythingAndAsksToQuit) {
    ASSERT_EQ(start(), StartupCode::Ok);
    passes(5);
    window->command(CommandId::Help);
    ASSERT_TRUE(window->helpWindow()->isVisible());
    // The close box works even during a plot.
    window->close();
    EXPECT_TRUE(window->destroyed());
    EXPECT_FALSE(state.run.plotting);
    EXPECT_EQ(window->virtualScreen(), nullptr);
    EXPECT_EQ(state.palette.logical, nullptr);
    EXPECT_TRUE(state.notesText.empty());
    EXPECT_FALSE(window->helpWindow()->isVisible());
    EXPECT_EQ(quitCodes, std::vector<int>{0});
    // Nothing steps over the freed screen any more.
    window->loopPass();
    window->command(CommandId::PlotFractal);
    EXPECT_FALSE(state.run.plotting);
}

TEST_F(MainWindowTest, PauseThenPlotContinuesTheSamePlot) {
    ASSERT_EQ(start(), StartupCode::Ok);
    passes(11);
    window->command(CommandId::Pause);
    EXPECT_EQ(state.plot.nextRow(), 11);
    const std::vector<std::uint8_t> before(
        window->virtualScreen()->bits(),
        window->virtualScreen()->bits() + 11 * window->virtualScreen()->bytesPerLine());
    window->statusParts()->setText(1, "marker");
    // Paused: no step runs.
    passes(3);
    EXPECT_EQ(state.plot.nextRow(), 11);

    window->command(CommandId::PlotFractal);
    passes(1);
    EXPECT_EQ(state.plot.nextRow(), 12);
    // Neither the picture nor the status bar was cleared or rewritten.
    EXPECT_EQ(window->statusText(1), "marker");
    EXPECT_TRUE(std::equal(before.begin(), before.end(), window->virtualScreen()->bits()));
}

TEST_F(MainWindowTest, NewParametersOrTrueColorMakeTheNextPlotStartAfresh) {
    ASSERT_EQ(start({.displayBits = 24}), StartupCode::Ok);
    passes(10);
    window->command(CommandId::Pause);
    window->command(CommandId::TrueColor);
    EXPECT_TRUE(state.plot.atPlotStart());
    window->command(CommandId::PlotFractal);
    passes(1);
    EXPECT_EQ(state.plot.nextRow(), 1);
}

TEST_F(MainWindowTest, FinishedPlotBeepsOnlyWithSoundOn) {
    ASSERT_EQ(start(), StartupCode::Ok);
    finishPlot();
    EXPECT_EQ(beeps.count, 1);
    EXPECT_TRUE(state.run.zoomReady);
    EXPECT_TRUE(state.plot.atPlotStart());

    window->command(CommandId::Sound);
    EXPECT_FALSE(window->commandAction(290)->isChecked());
    window->command(CommandId::PlotFractal);
    EXPECT_FALSE(state.run.zoomReady);
    finishPlot();
    EXPECT_EQ(beeps.count, 1);
}

TEST_F(MainWindowTest, StatusBarShowsAdjustedBoundsOfEachPlot) {
    ASSERT_EQ(start(), StartupCode::Ok);
    passes(1);
    const FractalParams& p = state.catalog[FractalType::Mandelbrot];
    const double aspect =
        static_cast<double>(state.geometry.initialClientWidth) / state.geometry.initialClientHeight * 0.75;
    char xmax[80];
    char ymin[80];
    std::snprintf(xmax, sizeof xmax, "  xmax adjusted to: %.15f", p.xmin + aspect * (p.xmax - p.xmin));
    std::snprintf(ymin, sizeof ymin, "  ymin adjusted to: %.15f", p.ymax - aspect * (p.ymax - p.ymin));
    EXPECT_EQ(window->statusPartCount(), 3);
    EXPECT_EQ(window->statusText(1), xmax);
    EXPECT_EQ(window->statusText(2), ymin);
    EXPECT_EQ(window->statusParts()->rightEdges(), (std::vector<int>{1024 / 7, 4 * 1024 / 7, 1024}));

    // New parameters empty both parts; F11 hides and shows the bar.
    window->command(CommandId::Pause);
    window->command(CommandId::StatusBar);
    EXPECT_FALSE(window->statusBar()->isVisible());
    window->command(CommandId::StatusBar);
    EXPECT_TRUE(window->statusBar()->isVisible());
}

TEST_F(MainWindowTest, OpenMenuShowsTheHighlightedItemsHelp) {
    ASSERT_EQ(start(), StartupCode::Ok);
    finishPlot();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QMenu* options = window->popupMenu(1);
    window->menuBar()->setActiveAction(options->menuAction());
    QCoreApplication::processEvents();
    EXPECT_EQ(window->statusBar()->currentMessage(), "Fractal and graphics options.");
    EXPECT_FALSE(window->statusParts()->isVisible());
    options->setActiveAction(window->commandAction(250));
    EXPECT_EQ(window->statusBar()->currentMessage(), "Change the palette by selecting a Fractint MAP file.");
    options->hide();
    window->menuBar()->setActiveAction(nullptr);
    QCoreApplication::processEvents();
    EXPECT_TRUE(window->statusBar()->currentMessage().isEmpty());
    EXPECT_TRUE(window->statusParts()->isVisible());
}

TEST_F(MainWindowTest, GreyedItemsShowTheirHelpAndOneEscapeBringsThePartsBack) {
    ASSERT_EQ(start(), StartupCode::Ok);
    finishPlot();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QMenu* options = window->popupMenu(1);
    QTest::mouseClick(window->menuBar(), Qt::LeftButton, {},
                      window->menuBar()->actionGeometry(options->menuAction()).center());
    QCoreApplication::processEvents();
    ASSERT_TRUE(options->isVisible());
    EXPECT_EQ(window->statusBar()->currentMessage(), "Fractal and graphics options.");
    // Pause is greyed once the plot is over.
    QTest::mouseMove(options, options->actionGeometry(window->commandAction(210)).center());
    QCoreApplication::processEvents();
    EXPECT_EQ(window->statusBar()->currentMessage(), "Pause plotting; this enables the other options.");
    // One Escape closes the popup and leaves the menu bar highlighted.
    QTest::keyClick(options, Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_FALSE(options->isVisible());
    EXPECT_TRUE(window->statusBar()->currentMessage().isEmpty());
    EXPECT_TRUE(window->statusParts()->isVisible());
}

TEST_F(MainWindowTest, TabTogglesSpecialColoringAndTheCaptionAtAnyTime) {
    ASSERT_EQ(start(), StartupCode::Ok);
    passes(2);
    EXPECT_EQ(window->windowTitle(), "Fernwise Studio");
    QTest::keyClick(window->imageView(), Qt::Key_Tab);
    EXPECT_TRUE(state.flags.specialColoring);
    EXPECT_EQ(window->windowTitle(), "Fernwise Studio - special coloring enabled");
    // The running plot is not restarted.
    EXPECT_EQ(state.plot.nextRow(), 2);
    QTest::keyClick(window->imageView(), Qt::Key_Tab);
    EXPECT_FALSE(state.flags.specialColoring);
    EXPECT_EQ(window->windowTitle(), "Fernwise Studio");
}

TEST_F(MainWindowTest, BackspaceClearsThePictureOnlyWhenNoPlotRuns) {
    ASSERT_EQ(start(), StartupCode::Ok);
    passes(5);
    QTest::keyClick(window->imageView(), Qt::Key_Backspace);
    EXPECT_EQ(state.plot.nextRow(), 5);
    finishPlot();
    const VirtualScreen& screen = *window->virtualScreen();
    ASSERT_NE(screen.pixel(0, 0), Rgb{});
    QTest::keyClick(window->imageView(), Qt::Key_Backspace);
    EXPECT_EQ(screen.pixel(0, 0), Rgb{});
    EXPECT_EQ(screen.pixel(80, 60), Rgb{});
    EXPECT_TRUE(state.plot.atPlotStart());
}

TEST_F(MainWindowTest, LoopRunsAPlotStepAndACyclingStepInTheSamePass) {
    ASSERT_EQ(start({.displayBits = 8}), StartupCode::Ok);
    finishPlot();
    window->command(CommandId::Cycle);
    // The program itself may post Plot while cycling (a zoom commit does).
    window->command(CommandId::PlotFractal);
    const PaletteEntry second = state.palette.entries[2];
    window->loopPass();
    EXPECT_EQ(state.plot.nextRow(), 1);
    EXPECT_EQ(state.palette.entries[1], second);

    // A modal window holds both.
    {
        ModalScope modal(state);
        window->loopPass();
    }
    EXPECT_EQ(state.plot.nextRow(), 1);
}

TEST_F(MainWindowTest, PaletteCommandsAndTheirMessages) {
    ASSERT_EQ(start({.displayBits = 16, .splashAvailable = false}), StartupCode::Ok);
    window->command(CommandId::Pause);
    const QString folder = testRoot();

    // A file that does not open.
    files.answers = {folder + "/missing.map"};
    window->command(CommandId::Palette);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Unable to open the selected file;\n     Please try again.");
    EXPECT_EQ(messages.shown[0].caption, ".MAP File Error");
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Warning);
    EXPECT_EQ(files.requests.back().title, "Select a Fractint .MAP File");
    EXPECT_EQ(files.requests.back().filters, QStringList{"Fractint .map files (*.map)"});
    EXPECT_EQ(files.requests.back().defaultSuffix, "map");

    // A line that does not scan.
    QFile bad(folder + "/bad.map");
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("1 2 3\nred green blue\n");
    bad.close();
    files.answers = {bad.fileName()};
    window->command(CommandId::Palette);
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].text, "Unable to read the selected file;\n     Please try again.");

    // A good file whose palette cannot be built.
    QFile good(folder + "/good.map");
    ASSERT_TRUE(good.open(QIODevice::WriteOnly));
    good.write("0 0 0\n10 20 30\n");
    good.close();
    RefusingGate refuse;
    window.reset();
    state = AppState{};
    messages.shown.clear();
    ASSERT_EQ(start({.displayBits = 16, .splashAvailable = false, .paletteGate = &refuse}), StartupCode::Ok);
    window->command(CommandId::Pause);
    files.answers = {good.fileName()};
    window->command(CommandId::Palette);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Unable to initialize palette");
    EXPECT_EQ(messages.shown[0].caption, "Palette Error");
    EXPECT_EQ(state.palette.table[1], (Rgb{10, 20, 30}));

    // Cancelled: nothing happens.
    window->command(CommandId::Palette);
    EXPECT_EQ(messages.shown.size(), 1u);
}

TEST_F(MainWindowTest, FirstPaletteDialogOpensAmongTheProgramsPalettes) {
    ASSERT_EQ(start({.displayBits = 16, .splashAvailable = false, .paletteFolder = "/opt/fernwise/palettes"}),
              StartupCode::Ok);
    window->command(CommandId::Pause);
    window->command(CommandId::Palette);  // cancelled
    ASSERT_FALSE(files.requests.empty());
    EXPECT_EQ(files.requests.back().directory, "/opt/fernwise/palettes/");
}

TEST_F(MainWindowTest, PaletteChangeOnAPaletteDisplayRecolorsWithoutRedrawing) {
    ASSERT_EQ(start({.displayBits = 8}), StartupCode::Ok);
    finishPlot();
    VirtualScreen& screen = *window->virtualScreen();
    const std::vector<std::uint8_t> pixels(screen.bits(), screen.bits() + screen.bytesPerLine() * screen.height());
    const std::uint8_t index = screen.indexAt(0, 0);
    ASSERT_GE(index, 1);
    ASSERT_LT(index, 236);

    QFile map(testRoot() + "/grey.map");
    ASSERT_TRUE(map.open(QIODevice::WriteOnly));
    for (int i = 0; i < 256; ++i) map.write(QByteArray::number(i) + " " + QByteArray::number(i) + " 7\n");
    map.close();
    files.answers = {map.fileName()};
    window->command(CommandId::Palette);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(screen.pixel(0, 0), (Rgb{index, index, 7}));
    EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), screen.bits()));
    // Still a finished plot: nothing to redo.
    EXPECT_TRUE(state.plot.atPlotStart());
    EXPECT_TRUE(state.run.zoomReady);

    window->command(CommandId::DefaultPalette);
    EXPECT_EQ(screen.pixel(0, 0), state.palette.table[index]);
    EXPECT_EQ(state.palette.table[13], (Rgb{0, 0, 252}));
}

TEST_F(MainWindowTest, DefaultPaletteIsIgnoredDuringAPlot) {
    ASSERT_EQ(start({.displayBits = 16}), StartupCode::Ok);
    state.palette.table[5] = Rgb{1, 2, 3};
    window->command(CommandId::DefaultPalette);
    EXPECT_EQ(state.palette.table[5], (Rgb{1, 2, 3}));
    window->command(CommandId::Pause);
    window->command(CommandId::DefaultPalette);
    EXPECT_EQ(state.palette.table[5], (Rgb{0, 0, 128}));
    // Without a hardware palette the new colours need a new plot.
    EXPECT_TRUE(state.plot.atPlotStart());
}

TEST_F(MainWindowTest, HelpOpensTheBundledIndexAndEveryPageLoads) {
    ASSERT_EQ(start(), StartupCode::Ok);
    finishPlot();
    window->command(CommandId::Help);
    HelpWindow* help = window->helpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->browser()->source(), QUrl("qrc:/help/index.html"));
    // Every page the index links to exists and names what it is about.
    for (const char* page : {"start", "commands", "keys", "zoom", "dialogs", "palette", "truecolor", "saving"}) {
        help->browser()->setSource(QUrl(QString("qrc:/help/%1.html").arg(page)));
        EXPECT_GT(help->browser()->toPlainText().size(), 200) << page;
    }
    help->browser()->setSource(QUrl("qrc:/help/keys.html"));
    const QString keys = help->browser()->toPlainText();
    EXPECT_TRUE(keys.contains("Tab")) << "keys page";
    EXPECT_TRUE(keys.contains("Backspace"));
    help->close();
}

}  // namespace
}  // namespace fernwise::windowtest
