#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>

#include <QApplication>

#include <QSize>
#include <QString>

#include "app_state.h"
#include "main_window.h"

namespace fernwise {

// Start-up's result codes; each failure is shown as its message under the
// caption "Error", and the program then ends with exit code 0.
enum class StartupCode : int {
    Ok = 0,
    WrongPlatform = 1,
    MainClassFailed = 2,
    PopupClassFailed = 3,
    EditClassFailed = 4,
    PlasmaClassFailed = 5,
    MainWindowFailed = 6,
    GraphicsFailed = 7,
};

inline constexpr const char* startupErrorCaption = "Error";

// Indexed by the code; entry 0 is empty.
inline constexpr std::array<const char*, 8> startupMessages = {
    "",
    "This program is written for Windows 95.",
    "Couldn't register main window class.",
    "Couldn't register popup window class.",
    "Couldn't register edit window class.",
    "Couldn't register plasma window class.",
    "Couldn't create main window.",
    "Couldn't initialize graphics.",
};

// Runs `deliver` (the handling of one event); an allocation failure in it
// shows commandMemoryMessage under "Memory Problem" and the program goes on,
// with the command that ran out left unfinished.
bool deliverGuarded(const std::function<bool()>& deliver, MessageSeam* messages);

// The program's QApplication: every event is delivered through deliverGuarded.
class FernwiseApplication final : public QApplication {
public:
    FernwiseApplication(int& argc, char** argv) : QApplication(argc, argv) {}
    void setMessages(MessageSeam* messages) { messages_ = messages; }
    bool notify(QObject* receiver, QEvent* event) override;

private:
    MessageSeam* messages_ = nullptr;
};

// The display the program runs on: bits per pixel (the primary screen's
// depth unless FERNWISE_DISPLAY_BITS names another) and size.
struct DisplayInfo {
    int bitsPerPixel = 32;
    QSize size;
};

// The bits per pixel from the environment's text when it is a number from
// 1 to 32, otherwise the screen's own; `ignored` then gets a line saying why
// a value that was set is not used.
int displayBitsFrom(const QString& environmentValue, int screenDepth, QString* ignored = nullptr);
DisplayInfo primaryDisplay();

// Everything start-up takes from outside.
struct StartupOptions {
    DisplayInfo display;
    Seams seams;
    Settings* settings = nullptr;
    LoopDriver loopDriver = LoopDriver::Idle;
    ScreenFactory createScreen;
    AllocationGate* paletteGate = nullptr;
    PlotWorkers plotWorkers;
    QString paletteFolder;  // the palettes that come with the program
    // Whether the window is shown at the end (tests may keep it hidden).
    bool showWindow = true;
};

// The registration step: on this toolkit every window class exists, so it
// cannot fail, and the splash is always available.
StartupCode registerWindowClasses(AppState& state);

// The main window's creation with the steps around it: the image size from
// the settings, the rearmed plot, the plasma size, the window, the display
// check, the status bar, the notes text and showing the window. A failure
// has been reported when this returns; `window` is then empty or a window
// that must not run.
StartupCode createMainWindow(AppState& state, const StartupOptions& options, std::unique_ptr<MainWindow>& window);

// The whole program: registration, window, loop. Returns the exit code.
int runFernwise(int argc, char** argv);

}  // namespace fernwise
