#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "color_cycling.h"
#include "fractal_types.h"
#include "level_sets.h"
#include "palette.h"
#include "plot_driver.h"
#include "plot_history.h"

namespace fernwise {

struct ImageSize {
    int width;
    int height;
};

inline constexpr int imageSizeCount = 10;

// Indexed by `sizeIndex`, in the order of the image size dialog's buttons.
inline constexpr std::array<ImageSize, imageSizeCount> imageSizes = {{
    {160, 120},
    {200, 150},
    {320, 200},
    {320, 240},
    {480, 360},
    {640, 480},
    {800, 600},
    {1024, 768},
    {1280, 1024},
    {1600, 1200},
}};

// The program-wide values of one run of the desktop program, in one record
// that the main window and its helpers share. Everything here lives from
// start-up to the end of the run.
struct AppState {
    // The fractal types and the one selected.
    FractalCatalog catalog;
    FractalType currentType = FractalType::Mandelbrot;

    PaletteState palette;
    PlotDriver plot{};

    // The shared flags.
    bool plotting = false;
    bool cycling = false;
    bool paletteDevice = false;
    bool deepColorDisplay = false;
    bool trueColorMode = false;
    bool periodicityChecking = true;
    bool soundOn = true;
    bool statusBarOn = true;
    bool specialColoring = false;
    bool splashAvailable = false;
    bool zoomReady = false;
    bool saveDialogBusy = false;

    // Geometry, fixed at start-up except for the image size.
    int screenWidth = 0;
    int screenHeight = 0;
    int imageWidth = 0;
    int imageHeight = 0;
    int sizeIndex = 0;
    int plasmaWidth = 0;
    int plasmaHeight = 0;
    // The main window's client area when it was created; the aspect factor
    // of every plot comes from it.
    int initialClientWidth = 1;
    int initialClientHeight = 1;

    // The bits per pixel of the display the program runs on.
    int displayBits = 32;

    // The notes the user keeps during the run.
    std::string notesText;

    // The last twenty recorded plots, newest last written.
    PlotHistory history;

    // Colour cycling's pause after each step and the speed dialog's thumb.
    std::uint32_t cycleDelay = 100;
    std::int32_t cycleSpeedPosition = 5;
    // When the main loop's next cycling step is due.
    CyclePacing cyclePacing;

    // The level-set tables of 24-bit colouring and the plot they serve.
    LevelSetState levelSets;

    // How long the opening and the closing splash hold the program, in
    // milliseconds (tests shorten them).
    int openingSplashMs = 3000;
    int closingSplashMs = 2000;

    // Modal dialogs, message boxes and file dialogs open right now: while
    // any is open the main loop runs no plot or cycling step.
    int modalDepth = 0;

    // The switches a plot reads, as the plot driver takes them.
    PlotFlags plotFlags() const;
    // The aspect factor of a plot: the initial client area's shape times 0.75.
    double aspectFactor() const;
};

inline constexpr const char* initialNotesText = "Edit your notes here!";

// Start-up's choice of the image size: the stored size index when there is
// one, otherwise the whole display, with `sizeIndex` pointing at the first
// size of the display's width (or left at 0 when none has it).
void chooseImageSize(AppState& state, std::optional<int> storedSizeIndex);

// Keeps the modal-dialog count for the time a modal window runs.
class ModalScope {
public:
    explicit ModalScope(AppState& state) : state_(state) { ++state_.modalDepth; }
    ~ModalScope() { --state_.modalDepth; }
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

private:
    AppState& state_;
};

}  // namespace fernwise
