#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include "app_state.h"
#include "file_dialogs.h"
#include "help_window.h"
#include "image_view.h"
#include "menu_table.h"
#include "row_pipeline.h"
#include "save_popup.h"
#include "seams.h"
#include "splash_window.h"
#include "virtual_screen.h"
#include "zoom_box.h"

class QAction;
class QMenu;

namespace fernwise {

enum ParamsDialogResult : int;

class Settings;
class StatusParts;
struct AllocationGate;

// How the main loop's steps are driven: by the idle hook of the event loop,
// or only by explicit loopPass calls (tests).
enum class LoopDriver { Idle, Manual };

using ScreenFactory = std::function<std::unique_ptr<VirtualScreen>(int width, int height, PixelFormat format)>;

// How the plot's rows are computed: on worker threads, ahead of the window
// that shows them.
struct PlotWorkers {
    int threads = 0;  // 0: one per core
    // The longest one loop pass waits for the next row before the window
    // answers input again. Tests that count rows per pass wait until the
    // row is there (RowPipeline::untilFinished).
    std::chrono::milliseconds rowWait{5};
};

// What the main window is built with besides the program-wide state.
struct MainWindowOptions {
    Seams seams;
    Settings* settings = nullptr;
    LoopDriver loopDriver = LoopDriver::Idle;
    // Allocates the VirtualScreen; a factory that returns nullptr stands
    // for a failed allocation.
    ScreenFactory createScreen;
    // Lets tests make the logical palette's allocation fail.
    AllocationGate* paletteGate = nullptr;
    PlotWorkers plotWorkers;
    // The palette dialog's first folder when none is remembered.
    QString paletteFolder;
};

inline constexpr const char* mainWindowTitle = "Fernwise Studio";
inline constexpr const char* specialColoringTitle = "Fernwise Studio - special coloring enabled";
inline constexpr const char* virtualScreenMessage =
    "Unable to allocate virtual screen buffer.\nTry to free up some memory.";
inline constexpr const char* memoryProblemCaption = "Memory Problem";
// Shown when memory runs out where no more particular message applies.
inline constexpr const char* commandMemoryMessage = "Unable to allocate memory.\nTry to free up some memory.";
inline constexpr const char* paletteErrorMessage = "Unable to initialize palette";
inline constexpr const char* paletteErrorCaption = "Palette Error";

// The main window: the picture from the VirtualScreen behind two scroll
// bars, the menu with its keys and states, the status bar, and every
// command. It also runs the main loop's steps: one plot row and one cycling
// step per pass of the event loop while they are on.
class MainWindow : public QMainWindow, private ImageViewClient, private ZoomView {
    Q_OBJECT
public:
    // Window creation: measures the client area, allocates the VirtualScreen
    // and queues the opening splash (when available) and the first plot.
    MainWindow(AppState& state, const MainWindowOptions& options);
    ~MainWindow() override;

    AppState& state() { return state_; }
    const AppState& state() const { return state_; }

    // Start-up steps after the window exists: the display check (0, or 1
    // after its message) and the status bar (0, or 1 when it cannot be made).
    int checkColorDepth();
    int createStatusBar();

    // --- Commands -------------------------------------------------------
    // Runs a command as if its message arrived now, whatever its menu
    // state (the program posts some of them itself).
    void command(int id);
    void command(CommandId id) { command(commandNumber(id)); }
    // Queues a command behind the events already waiting.
    void postCommand(int id);
    QAction* commandAction(int id) const;
    QMenu* popupMenu(int index) const;
    // Sets the menu as the menu-state table says for the event.
    void setMenuState(MenuEvent event);

    // --- Main loop --------------------------------------------------------
    // One pass of the loop's hook: a plot step while plotting and a cycling
    // step while cycling, unless a modal window is open.
    void loopPass();
    // Shows the next row of the plot (the plot start first when the driver
    // is rearmed) once the workers have it; a pass in which it is not ready
    // within the row wait draws nothing and only shows the rows held back
    // for the next refresh. Returns 1 when the level-set pass was
    // cancelled, else 0.
    int plotStep();
    // One step of colour cycling.
    void cycleStep();

    // --- Palette ----------------------------------------------------------
    // Makes the current palette visible: on a palette-based display the
    // picture takes the new colours at once; otherwise the plot is rearmed.
    void installPalette();

    // --- What tests and the other windows look at --------------------------
    VirtualScreen* virtualScreen() { return screen_.get(); }
    ImageView* imageView() const { return view_; }
    StatusParts* statusParts() const { return statusParts_; }
    QString statusText(int part) const;
    int statusPartCount() const;
    int scrollX() const;
    int scrollY() const;
    int scrollMaxX() const { return scrollMaxX_; }
    int scrollMaxY() const { return scrollMaxY_; }
    int clientWidth() const { return clientWidth_; }
    int clientHeight() const { return clientHeight_; }
    const ZoomBox& zoomBox() const { return zoomBox_; }
    HelpWindow* helpWindow() const { return helpWindow_; }
    SavePopup* savePopup() const { return savePopup_; }
    bool savePopupOpen() const { return savePopupOpen_; }
    // No VirtualScreen could be made, or the display check failed: the
    // window takes no commands and shows no splash.
    bool creationFailed() const { return creationFailed_; }
    // How many times the plot's rows were handed to new workers.
    int rowPipelinesStarted() const { return rowPipelinesStarted_; }
    bool destroyed() const { return destroyed_; }

    // --- Where the other windows of the program come in ----------------------
    // The splash of start-up and of the end (the splash window's own work).
    // Opening ends by loading the default palette for the first plot.
    void showSplash(SplashKind kind);
    // At plot start: the plot history and history.txt.
    void recordPlotHistory();
    // At plot start: the level-set pass of 24-bit colouring.
    LevelSetPreparation prepareLevelSetTables();
    // Frees the level-set tables at the end of the run.
    void releaseLevelSetTables();
    ParamsDialogResult runParametersDialog();
    // The colour-cycling speed dialog.
    void runCycleSpeedDialog();
    // The About box (aboutOpen is set before it is created).
    void showAboutBox();
    // The plasma window of the Backspace key; nullptr when there is none.
    QWidget* createPlasmaWindow();
    // The palette file dialog: the chosen path, or empty when cancelled.
    QString chooseMapFile();
    // The image save dialogs: the chosen path, or empty when cancelled.
    QString chooseGifFile();
    QString chooseTargaFile();
    // Called with a chosen palette file before it is read.
    void rememberMapFolder(const QString& path);
    // Runs one of the file dialogs: the chosen path, or empty when cancelled.
    QString chooseFile(FileDialogKind kind);

    // The message boxes of the window, all through the message seam.
    void showMessage(const QString& text, const QString& caption, MessageIcon icon = MessageIcon::Warning);

signals:
    // A menu item or its accelerator asked for a command.
    void commandRequested(int id);
    // The destroy sequence is over; the loop should end with this code.
    void quitRequested(int exitCode);

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    // ImageViewClient.
    const VirtualScreen* paintedScreen() const override { return screen_.get(); }
    void viewResized(int clientWidth, int clientHeight) override;
    void viewScrolled() override {}
    void viewMousePress(Qt::MouseButton button, int x, int y) override;
    void viewMouseRelease(Qt::MouseButton button, int x, int y) override;
    void viewMouseMove(int x, int y) override;
    bool viewKey(int key, const QString& text) override;

    // ZoomView.
    QPoint scrollOffset() const override;
    void setStatusParts(const std::vector<int>& rightEdges) override;
    void setStatusText(int part, const QString& text) override;
    void showOutline(const QRect& frame) override;
    void eraseOutline(const QRect& area) override;
    void postCancel() override;
    void postPlot() override;

    void buildMenu();
    // The status bar's single help line while one of the menu's popups is
    // open, its parts otherwise.
    bool menuOpen() const;
    void showMenuHelp();
    void measureInitialClientArea();
    PixelFormat screenFormat() const;
    std::unique_ptr<VirtualScreen> allocateScreen(int width, int height);
    void wakeLoop();
    void setLoopInterval(int milliseconds);

    // The plot's own steps around the driver's.
    void startPlot();
    void showRow(int row);
    void flushRows();
    void completePlot();
    void discardRowsAhead();

    // Commands with more than a line or two.
    void commandPlot();
    void commandPause();
    void commandCycle();
    void commandImageSize();
    void commandParameters();
    void commandPalette();
    void commandDefaultPalette();
    void commandStatusBar();
    void commandHelp();
    void commandAbout();
    void commandSaveImage();
    void saveImage();
    void toggleCheck(int id, bool& flag);

    // Keys that reach the window.
    void toggleSpecialColoring();
    void openPlasma();

    void destroySequence();

    AppState& state_;
    MainWindowOptions options_;
    ImageView* view_ = nullptr;
    StatusParts* statusParts_ = nullptr;
    std::unique_ptr<VirtualScreen> screen_;
    // The helper threads of every plot's rows and level-set pass, made at
    // the first plot and kept (asleep between plots) until the window goes.
    std::unique_ptr<WorkerPool> helpers_;
    WorkerPool& helpers();
    // The rows of the running plot computed ahead under the present
    // settings; discarded whenever the next row would come out differently.
    std::unique_ptr<RowPipeline> rows_;
    int rowPipelinesStarted_ = 0;
    std::map<int, QAction*> actions_;
    std::vector<QMenu*> popups_;
    QString menuHelp_;  // the help of the highlighted menu entry
    QTimer idleTimer_;
    // Rows computed since the window last showed new rows.
    QRect pendingRows_;
    QElapsedTimer rowPaintClock_;
    static constexpr int rowPaintIntervalMs = 15;
    ZoomBox zoomBox_;
    QPointer<HelpWindow> helpWindow_;
    // A top-level window that asks this one for the screen: it must not
    // outlive this window.
    QPointer<QWidget> plasmaWindow_;
    QPointer<SavePopup> savePopup_;
    QString pendingSavePath_;
    bool pendingSaveTarga_ = false;
    // The five file dialogs with their remembered paths; none without a
    // file dialog seam.
    std::unique_ptr<FileDialogs> fileDialogs_;
    int clientWidth_ = 0;
    int clientHeight_ = 0;
    int scrollMaxX_ = 0;
    int scrollMaxY_ = 0;
    bool savePopupOpen_ = false;
    bool aboutOpen_ = false;
    bool creationFailed_ = false;
    bool destroyed_ = false;
};

}  // namespace fernwise
