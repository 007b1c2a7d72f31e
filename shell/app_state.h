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

// What the main loop is doing now.
struct RunState {
    bool plotting = false;
    bool cycling = false;
    bool zoomReady = false;
    bool saveDialogBusy = false;
    // Modal dialogs, message boxes and file dialogs open right now: while
    // any is open the main loop runs no plot or cycling step.
    int modalDepth = 0;
};

// The display the program runs on, fixed at start-up.
struct DisplayState {
    bool deepColorDisplay = false;
    int displayBits = 32;  // bits per pixel
    int screenWidth = 0;
    int screenHeight = 0;
};

// The user's switches that are no plot's business.
struct Preferences {
    bool soundOn = true;
    bool statusBarOn = true;
};

// Sizes fixed at start-up except the image size.
struct WindowGeometry {
    int imageWidth = 0;
    int imageHeight = 0;
    int sizeIndex = 0;
    int plasmaWidth = 0;
    int plasmaHeight = 0;
    // The main window's client area when it was created; the aspect factor
    // of every plot comes from it.
    int initialClientWidth = 1;
    int initialClientHeight = 1;
};

// Colour cycling's pause after each step and the speed dialog's thumb.
struct CyclePace {
    std::uint32_t cycleDelay = 100;
    std::int32_t cycleSpeedPosition = 5;
    CyclePacing cyclePacing;  // when the main loop's next cycling step is due
};

// The opening and closing splash.
struct SplashTimes {
    bool splashAvailable = false;
    // How long each holds the program, in milliseconds (tests shorten them).
    int openingSplashMs = 3000;
    int closingSplashMs = 2000;
};

// The program-wide values of one run of the desktop program, one record per
// concern, shared by the main window and its helpers. Everything here lives
// from start-up to the end of the run.
struct AppState {
    // The fractal types and the one selected.
    FractalCatalog catalog;
    FractalType currentType = FractalType::Mandelbrot;

    PaletteState palette;
    PlotDriver plot{};
    // The switches a plot reads, as the plot driver takes them.
    PlotFlags flags;

    RunState run;
    DisplayState display;
    Preferences preferences;
    WindowGeometry geometry;
    CyclePace cyclingPace;
    SplashTimes splash;

    // The notes the user keeps during the run.
    std::string notesText;
    // The last twenty recorded plots, newest last written.
    PlotHistory history;
    // The level-set tables of 24-bit colouring and the plot they serve.
    LevelSetState levelSets;

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
    explicit ModalScope(AppState& state) : state_(state) { ++state_.run.modalDepth; }
    ~ModalScope() { --state_.run.modalDepth; }
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

private:
    AppState& state_;
};

}  // namespace fernwise
