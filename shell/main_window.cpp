#include "main_window.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QStatusTipEvent>

#include "about_box.h"
#include "color_cycling.h"
#include "cycle_speed_dialog.h"
#include "file_dialogs.h"
#include "gif_writer.h"
#include "help_window.h"
#include "image_size_dialog.h"
#include "level_set_progress.h"
#include "level_sets.h"
#include "map_file.h"
#include "palette.h"
#include "params_dialog.h"
#include "plasma_window.h"
#include "plot_history.h"
#include "save_popup.h"
#include "settings.h"
#include "splash_window.h"
#include "status_parts.h"
#include "targa_writer.h"
#include "termination_signals.h"

// Resources of a static library are registered by hand, outside any
// namespace.
static void initFernwiseResources() { Q_INIT_RESOURCE(fernwise); }

namespace fernwise {
namespace {

constexpr int statusPartsAtRest = 3;

// Where no message seam is given (some tests), the dialogs' messages go
// nowhere, as showMessage's do.
class NoMessages final : public MessageSeam {
public:
    MessageAnswer show(QWidget*, const QString&, const QString&, MessageIcon, MessageButtons) override {
        return MessageAnswer::Ok;
    }
};

// The item's text with its key hint after the tab, as the menu shows it.
QString actionText(const MenuItem& item) { return QString::fromLatin1(item.text); }

// Greyed items are highlighted like the others when the pointer or the arrow
// keys reach them, so that the status bar shows their help too.
class MenuStyle final : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override {
        if (hint == QStyle::SH_Menu_AllowActiveAndDisabled) return 1;
        return QProxyStyle::styleHint(hint, option, widget, data);
    }
};

}  // namespace

MainWindow::MainWindow(AppState& state, const MainWindowOptions& options)
    : state_(state), options_(options), zoomBox_(state, *this) {
    initFernwiseResources();
    if (!options_.createScreen) options_.createScreen = &VirtualScreen::create;
    // The file dialogs start in the working folder, the palette dialog in
    // the folder remembered from an earlier run, or else among the palettes
    // that come with the program.
    if (options_.seams.files != nullptr) {
        fileDialogs_ =
            std::make_unique<FileDialogs>(*options_.seams.files, options_.settings, state_.run.saveDialogBusy);
        fileDialogs_->initFileDialogs(QDir::currentPath(), options_.paletteFolder);
    }

    setWindowTitle(mainWindowTitle);
    setWindowIcon(QIcon(":/icons/fernwise.png"));
    setObjectName("KoWindow");

    view_ = new ImageView(*this, this);
    setCentralWidget(view_);
    buildMenu();

    // The window covers the display from its top-left corner.
    setGeometry(0, 0, state_.display.screenWidth, state_.display.screenHeight);
    measureInitialClientArea();

    idleTimer_.setInterval(0);
    connect(&idleTimer_, &QTimer::timeout, this, &MainWindow::loopPass);

    screen_ = allocateScreen(state_.geometry.imageWidth, state_.geometry.imageHeight);
    if (!screen_) {
        creationFailed_ = true;
        showMessage(virtualScreenMessage, memoryProblemCaption);
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        return;
    }
    // Created black; the opening splash comes first, then the first plot.
    // Neither runs when the display check fails meanwhile: the message
    // boxes that report it run the queue.
    if (state_.splash.splashAvailable) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!creationFailed_) showSplash(SplashKind::Opening);
            },
            Qt::QueuedConnection);
    }
    postCommand(commandNumber(CommandId::PlotFractal));
}

MainWindow::~MainWindow() {
    if (helpWindow_) delete helpWindow_.data();
    if (plasmaWindow_) delete plasmaWindow_.data();
}

void MainWindow::buildMenu() {
    const auto popups = menuPopups();
    // The menu bar is made first: children go in the order they came, and
    // the style must outlive the menus that use it.
    menuBar();
    auto* menuStyle = new MenuStyle;
    menuStyle->setParent(this);
    for (const MenuPopup& popup : popups) {
        QMenu* menu = menuBar()->addMenu(QString::fromLatin1(popup.text));
        menu->menuAction()->setStatusTip(QString::fromLatin1(popup.help));
        menu->menuAction()->setData(firstPopupHelpId + static_cast<int>(popups_.size()));
        menu->setStyle(menuStyle);
        // A popup that closes may leave the menu bar highlighted (Esc), but
        // the menu is closed: the parts come back.
        connect(menu, &QMenu::aboutToHide, this,
                [this] { QMetaObject::invokeMethod(this, &MainWindow::showMenuHelp, Qt::QueuedConnection); });
        popups_.push_back(menu);
    }
    for (const MenuItem& item : menuItems()) {
        QMenu* menu = popups_[static_cast<std::size_t>(item.popup)];
        if (item.isSeparator()) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(actionText(item));
        action->setData(item.id);
        action->setStatusTip(QString::fromLatin1(item.help));
        action->setCheckable(item.checkable);
        action->setChecked(item.checked);
        action->setEnabled(item.enabled);
        action->setShortcut(QKeySequence(item.key));
        // The keys act on the main window from every window of the program,
        // except Esc, which elsewhere belongs to the window it was pressed in.
        action->setShortcutContext(item.id == commandNumber(CommandId::Exit) ? Qt::WindowShortcut
                                                                             : Qt::ApplicationShortcut);
        // Checks change only through the commands, never by the click alone.
        const int id = item.id;
        connect(action, &QAction::triggered, this, [this, action, id] {
            action->setChecked(!action->isChecked());
            emit commandRequested(id);
            command(id);
        });
        // The accelerators need the action on a visible widget.
        addAction(action);
        actions_[item.id] = action;
    }
}

void MainWindow::measureInitialClientArea() {
    // The client area is the picture's part of the window: what the scroll
    // bars leave of the central widget once the window is laid out.
    if (layout() != nullptr) layout()->activate();
    const QSize central = view_->size();
    const int width = central.width() - view_->verticalScrollBar()->sizeHint().width();
    const int height = central.height() - view_->horizontalScrollBar()->sizeHint().height();
    state_.geometry.initialClientWidth = std::max(width, 1);
    state_.geometry.initialClientHeight = std::max(height, 1);
}

PixelFormat MainWindow::screenFormat() const {
    // Pixels hold palette indices exactly on a palette-based display.
    return state_.display.displayBits == 8 ? PixelFormat::Indexed8 : PixelFormat::Rgb32;
}

std::unique_ptr<VirtualScreen> MainWindow::allocateScreen(int width, int height) {
    std::unique_ptr<VirtualScreen> screen = options_.createScreen(width, height, screenFormat());
    if (screen && state_.palette.logical) screen->realize(*state_.palette.logical);
    return screen;
}

int MainWindow::checkColorDepth() {
    const int bits = state_.display.displayBits;
    const ColorDepth depth = fernwise::checkColorDepth(bits, bits == 8);
    if (depth.status != 0) {
        creationFailed_ = true;
        showMessage(QString::fromStdString(colorDepthMessage(bits)), colorDepthCaption, MessageIcon::Critical);
        return 1;
    }
    state_.display.deepColorDisplay = depth.deepColorDisplay;
    state_.flags.paletteDevice = depth.paletteDevice;
    state_.palette.logicalPaletteSize = depth.logicalPaletteSize;
    return 0;
}

int MainWindow::createStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setSizeGripEnabled(true);
    statusParts_ = new StatusParts(bar);
    statusParts_->setParts(statusPartEdges(state_.display.screenWidth, statusPartsAtRest));
    bar->addWidget(statusParts_, 1);
    bar->setVisible(state_.preferences.statusBarOn);
    return 0;
}

bool MainWindow::menuOpen() const {
    return std::find(popups_.begin(), popups_.end(), QApplication::activePopupWidget()) != popups_.end();
}

void MainWindow::showMenuHelp() {
    if (statusParts_ == nullptr) return;
    if (!menuOpen()) {
        menuHelp_.clear();
        statusBar()->clearMessage();
        return;
    }
    // The single line stays while the menu is open, blank where the entry
    // has no help (an empty message would bring the parts back).
    statusBar()->showMessage(menuHelp_.isEmpty() ? QStringLiteral(" ") : menuHelp_);
}

bool MainWindow::event(QEvent* event) {
    if (event->type() == QEvent::StatusTip) {
        // Only menu entries carry help. A menu bar title's help comes just
        // before its popup opens, so a closed menu is looked at again once
        // the event is handled.
        menuHelp_ = static_cast<QStatusTipEvent*>(event)->tip();
        if (menuOpen()) {
            showMenuHelp();
        } else {
            QMetaObject::invokeMethod(this, &MainWindow::showMenuHelp, Qt::QueuedConnection);
        }
        return true;
    }
    return QMainWindow::event(event);
}

QString MainWindow::statusText(int part) const { return statusParts_ ? statusParts_->text(part) : QString(); }
int MainWindow::statusPartCount() const { return statusParts_ ? statusParts_->partCount() : 0; }
int MainWindow::scrollX() const { return view_->scrollX(); }
int MainWindow::scrollY() const { return view_->scrollY(); }

void MainWindow::showMessage(const QString& text, const QString& caption, MessageIcon icon) {
    if (options_.seams.messages == nullptr) return;
    ModalScope modal(state_);
    options_.seams.messages->show(this, text, caption, icon);
}

// --- Commands ---------------------------------------------------------------

QAction* MainWindow::commandAction(int id) const {
    auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

QMenu* MainWindow::popupMenu(int index) const {
    if (index < 0 || index >= static_cast<int>(popups_.size())) return nullptr;
    return popups_[static_cast<std::size_t>(index)];
}

void MainWindow::postCommand(int id) {
    QMetaObject::invokeMethod(
        this, [this, id] { command(id); }, Qt::QueuedConnection);
}

void MainWindow::setMenuState(MenuEvent event) {
    const MenuConditions conditions{state_.flags.paletteDevice, state_.display.deepColorDisplay, state_.run.cycling,
                                    state_.preferences.statusBarOn};
    for (const auto& [id, action] : actions_) {
        const MenuItemState before{action->isEnabled(), action->isChecked()};
        const MenuItemState after = applyMenuRule(menuRule(id, event), before, conditions);
        action->setEnabled(after.enabled);
        action->setChecked(after.checked);
    }
}

void MainWindow::command(int id) {
    if (destroyed_ || creationFailed_) return;
    switch (static_cast<CommandId>(id)) {
        case CommandId::SaveImage: commandSaveImage(); break;
        case CommandId::Exit: QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection); break;
        case CommandId::PlotFractal: commandPlot(); break;
        case CommandId::Periodicity:
            toggleCheck(id, state_.flags.periodicityChecking);
            discardRowsAhead();
            break;
        case CommandId::Pause: commandPause(); break;
        case CommandId::Cycle: commandCycle(); break;
        case CommandId::CyclingSpeed: runCycleSpeedDialog(); break;
        case CommandId::ImageSize: commandImageSize(); break;
        case CommandId::Parameters: commandParameters(); break;
        case CommandId::Palette: commandPalette(); break;
        case CommandId::DefaultPalette: commandDefaultPalette(); break;
        case CommandId::TrueColor:
            toggleCheck(id, state_.flags.trueColorMode);
            state_.plot.rearm();
            break;
        case CommandId::StatusBar: commandStatusBar(); break;
        case CommandId::Sound: toggleCheck(id, state_.preferences.soundOn); break;
        case CommandId::Help: commandHelp(); break;
        case CommandId::About: commandAbout(); break;
    }
}

void MainWindow::toggleCheck(int id, bool& flag) {
    flag = !flag;
    if (QAction* action = commandAction(id)) action->setChecked(flag);
}

void MainWindow::commandPlot() {
    // The Plot command never rearms: after a Pause the plot goes on where it
    // stopped, and only a rearmed driver begins a new image.
    if (!screen_) return;
    state_.run.plotting = true;
    state_.run.zoomReady = false;
    setMenuState(MenuEvent::PlotRunning);
    wakeLoop();
}

void MainWindow::commandPause() {
    // A paused plot uses no processor; Plot starts new workers where it stopped.
    discardRowsAhead();
    flushRows();
    state_.run.plotting = false;
    setMenuState(MenuEvent::Paused);
}

void MainWindow::commandCycle() {
    state_.run.cycling = !state_.run.cycling;
    setMenuState(state_.run.cycling ? MenuEvent::CyclingOn : MenuEvent::CyclingOff);
    wakeLoop();
}

void MainWindow::commandStatusBar() {
    toggleCheck(commandNumber(CommandId::StatusBar), state_.preferences.statusBarOn);
    if (statusBar() != nullptr && statusParts_ != nullptr) statusBar()->setVisible(state_.preferences.statusBarOn);
}

void MainWindow::commandParameters() {
    if (runParametersDialog() == paramsDialogCancel) return;
    setStatusText(statusXmaxPart, QString());
    setStatusText(statusYminPart, QString());
    state_.plot.rearm();
}

void MainWindow::commandHelp() {
    if (!helpWindow_) helpWindow_ = new HelpWindow(nullptr);
    helpWindow_->setWindowIcon(windowIcon());
    helpWindow_->showIndex();
    helpWindow_->show();
    helpWindow_->raise();
}

void MainWindow::commandAbout() {
    aboutOpen_ = true;
    showAboutBox();
}

// --- Palette -------------------------------------------------------------

void MainWindow::commandPalette() {
    if (state_.run.saveDialogBusy) return;
    const QString path = chooseMapFile();
    if (path.isEmpty()) return;
    rememberMapFolder(path);
    const MapFileStatus status = readMapFile(path.toStdString(), state_.palette.table);
    if (status != MapFileStatus::Loaded) {
        showMessage(
            QString::fromLatin1(mapFileMessage(status).data(), static_cast<qsizetype>(mapFileMessage(status).size())),
            mapFileErrorCaption);
        return;
    }
    if (buildLogicalPalette(state_.palette, options_.paletteGate) == logicalPaletteRefused) {
        showMessage(paletteErrorMessage, paletteErrorCaption);
        return;
    }
    installPalette();
}

void MainWindow::commandDefaultPalette() {
    if (state_.run.plotting) return;
    loadPalette6(state_.palette.table, defaultPalette());
    buildLogicalPalette(state_.palette, options_.paletteGate);
    installPalette();
}

void MainWindow::installPalette() {
    const LogicalPalette* logical = state_.palette.logical.get();
    if (logical == nullptr || !screen_) return;
    // The VirtualScreen and the window share the one emulated hardware
    // palette, so realising it in the screen is also what the window shows.
    screen_->realize(*logical);
    if (state_.flags.paletteDevice) {
        screen_->animate(firstAnimatedEntry, animatedEntryCount, &logical->entries[firstAnimatedEntry]);
        view_->viewport()->update();
    } else {
        // The pixels hold colours: the next plot draws them anew.
        state_.plot.rearm();
    }
}

// --- Main loop and plot -------------------------------------------------------

void MainWindow::wakeLoop() {
    if (options_.loopDriver == LoopDriver::Idle && !idleTimer_.isActive()) idleTimer_.start();
}

void MainWindow::setLoopInterval(int milliseconds) {
    // Setting the interval restarts the timer even when it does not change,
    // which would cost every pass of the loop.
    if (idleTimer_.interval() != milliseconds) idleTimer_.setInterval(milliseconds);
}

namespace {
constexpr int modalPollMs = 50;
}  // namespace

void MainWindow::loopPass() {
    if (state_.run.modalDepth > 0 || QApplication::activeModalWidget() != nullptr) {
        // Modal windows suspend plotting and cycling; look again now and then
        // instead of spinning until they close.
        setLoopInterval(modalPollMs);
        return;
    }
    if (state_.run.plotting) plotStep();
    if (state_.run.cycling) {
        // The pause after each cycling step comes from the clock instead of a
        // sleep, so the window answers meanwhile; with no plot running the
        // hook rests until the next step is due.
        const auto now =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
                .count();
        if (state_.cyclingPace.cyclePacing.due(now)) {
            cycleStep();
            state_.cyclingPace.cyclePacing.stepped(now, state_.cyclingPace.cycleDelay);
        }
        setLoopInterval(state_.run.plotting ? 0 : static_cast<int>(state_.cyclingPace.cyclePacing.wait(now)));
    } else {
        setLoopInterval(0);
    }
    // With nothing to step the hook rests until a command wakes it again.
    if (!state_.run.plotting && !state_.run.cycling) idleTimer_.stop();
}

int MainWindow::plotStep() {
    PlotDriver& plot = state_.plot;
    if (!screen_) return 0;
    if (plot.atPlotStart()) {
        // Rows computed ahead belong to the plot before, and the level-set
        // pass may rebuild the tables they read.
        discardRowsAhead();
        plot.loadRecord(state_.catalog, state_.currentType);
        recordPlotHistory();
        plot.computeGeometry(state_.aspectFactor());
        if (plot.beginTrueColor(state_.flags.trueColorMode) && prepareLevelSetTables() == levelSetPassCancelled) {
            // The row counter stays rearmed, so the next Plot starts over.
            postCommand(commandNumber(CommandId::Pause));
            return 1;
        }
        startPlot();
        plot.startKernels();
    }
    // The workers compute rows ahead; this pass shows the next one if it is
    // finished. A pipeline that no longer serves the driver and flags (a
    // changed setting, a new plot) is replaced by one that starts from the
    // driver's state, so every row shown is the one the driver would compute
    // now.
    const PlotFlags flags = state_.flags;
    if (!rows_ || !rows_->serves(plot, flags)) {
        rows_ = std::make_unique<RowPipeline>(plot, flags, helpers(), options_.plotWorkers.threads);
        ++rowPipelinesStarted_;
    }
    const int row = plot.nextRow();
    if (rows_->drawNextRow(plot, flags, *screen_, state_.palette, options_.plotWorkers.rowWait) != RowDelivery::Drawn) {
        if (rows_->outOfMemory()) {
            // A row's buffers could not be had: the plot pauses where it is.
            discardRowsAhead();
            postCommand(commandNumber(CommandId::Pause));
            showMessage(commandMemoryMessage, memoryProblemCaption);
            return 0;
        }
        // Rows held back for the next refresh are shown now rather than
        // when the next row comes, which may take long.
        flushRows();
        return 0;
    }
    showRow(row);
    if (plot.finishRow()) {
        discardRowsAhead();
        completePlot();
    }
    return 0;
}

void MainWindow::discardRowsAhead() { rows_.reset(); }

void MainWindow::startPlot() {
    setStatusText(statusXmaxPart, xmaxAdjustedText(state_.plot.adjustedXmax()));
    setStatusText(statusYminPart, yminAdjustedText(state_.plot.adjustedYmin()));
    // The window and the VirtualScreen turn black together; a zoom outline
    // left from the commit goes with the old picture.
    view_->hideOutline();
    screen_->clear();
    view_->viewport()->update();
}

void MainWindow::showRow(int row) {
    // Window row r shows VirtualScreen row r + scrollY: in an unscrolled
    // view that is the new row; otherwise it appears with the next repaint.
    // Rows that follow each other faster than the display refreshes are
    // shown together, once per refresh, so that painting does not slow the
    // plot down.
    pendingRows_ |= QRect(0, row, state_.display.screenWidth, 1);
    if (rowPaintClock_.isValid() && rowPaintClock_.elapsed() < rowPaintIntervalMs) return;
    flushRows();
}

void MainWindow::flushRows() {
    if (pendingRows_.isEmpty()) return;
    view_->viewport()->update(pendingRows_);
    pendingRows_ = QRect();
    rowPaintClock_.start();
}

void MainWindow::completePlot() {
    flushRows();
    if (state_.preferences.soundOn && options_.seams.beeps != nullptr) options_.seams.beeps->beep();
    state_.run.plotting = false;
    state_.run.zoomReady = true;
    setMenuState(MenuEvent::PlotFinished);
}

void MainWindow::cycleStep() {
    // Colour cycling: the entries move one place and the hardware palette
    // shows them, which recolours the picture without touching a pixel.
    if (!screen_) return;
    fernwise::cycleStep(state_.palette.entries, *screen_);
    view_->viewport()->update();
}

// --- Image size ---------------------------------------------------------------

void MainWindow::commandImageSize() {
    const int oldWidth = state_.geometry.imageWidth;
    const int oldHeight = state_.geometry.imageHeight;
    int result = 0;
    int chosen = state_.geometry.sizeIndex;
    {
        ModalScope modal(state_);
        ImageSizeDialog dialog(state_.geometry.sizeIndex, this);
        result = dialog.exec();
        chosen = dialog.sizeIndex();
    }
    if (result != ImageSizeDialog::okResult) return;

    state_.geometry.sizeIndex = chosen;
    if (options_.settings != nullptr) options_.settings->writeResIndex(chosen);
    const ImageSize& size = imageSizes[static_cast<std::size_t>(chosen)];
    state_.geometry.imageWidth = size.width;
    state_.geometry.imageHeight = size.height;

    std::unique_ptr<VirtualScreen> fresh = allocateScreen(state_.geometry.imageWidth, state_.geometry.imageHeight);
    if (!fresh) {
        showMessage(virtualScreenMessage, memoryProblemCaption);
        // The screen of the previous size is still there: keep using it
        // rather than risk a second allocation at that size failing too.
        state_.geometry.imageWidth = oldWidth;
        state_.geometry.imageHeight = oldHeight;
    } else {
        screen_ = std::move(fresh);
    }
    if (screen_) {
        screen_->clear();
        if (state_.palette.logical) screen_->realize(*state_.palette.logical);
    }
    state_.plot.setImageSize(state_.geometry.imageWidth, state_.geometry.imageHeight);
    const int width = clientWidth_;
    const int height = clientHeight_;
    QMetaObject::invokeMethod(
        this, [this, width, height] { viewResized(width, height); }, Qt::QueuedConnection);
}

// --- Resizing and scrolling ---------------------------------------------------

void MainWindow::viewResized(int width, int height) {
    // A window at least as large as the display does not scroll an image
    // that fits on the display, even when its frame hides a few pixels.
    const int nonClientWidth = frameGeometry().width() - view_->viewport()->width();
    const int nonClientHeight = frameGeometry().height() - view_->viewport()->height();

    clientWidth_ = width;
    const int fullWidth = state_.display.screenWidth - nonClientWidth;
    scrollMaxX_ = 0;
    if (fullWidth > clientWidth_ || state_.geometry.imageWidth > state_.display.screenWidth) {
        scrollMaxX_ = std::max(state_.geometry.imageWidth - clientWidth_, 0);
    }
    QScrollBar* horizontal = view_->horizontalScrollBar();
    horizontal->setRange(0, scrollMaxX_);
    horizontal->setPageStep(std::max(clientWidth_, 1));
    horizontal->setSingleStep(1);
    horizontal->setValue(0);
    horizontal->setEnabled(scrollMaxX_ > 0);

    clientHeight_ = height;
    const int fullHeight = state_.display.screenHeight - nonClientHeight;
    scrollMaxY_ = 0;
    if (fullHeight > clientHeight_ || state_.geometry.imageHeight > state_.display.screenHeight) {
        scrollMaxY_ = std::max(state_.geometry.imageHeight - clientHeight_, 0);
    }
    QScrollBar* vertical = view_->verticalScrollBar();
    vertical->setRange(0, scrollMaxY_);
    vertical->setPageStep(std::max(clientHeight_, 1));
    vertical->setSingleStep(1);
    vertical->setValue(0);
    vertical->setEnabled(scrollMaxY_ > 0);

    view_->viewport()->update();
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    view_->viewport()->update();
}

// --- Mouse and keys -----------------------------------------------------------

void MainWindow::viewMousePress(Qt::MouseButton button, int x, int y) {
    if (button == Qt::LeftButton) zoomBox_.leftPress(x, y);
    if (button == Qt::RightButton) zoomBox_.rightPress();
}

void MainWindow::viewMouseRelease(Qt::MouseButton button, int, int) {
    if (button == Qt::LeftButton) zoomBox_.leftRelease();
}

void MainWindow::viewMouseMove(int x, int y) { zoomBox_.mouseMove(x, y); }

bool MainWindow::viewKey(int key, const QString& text) {
    if (key == Qt::Key_Tab || text == QStringLiteral("\t")) {
        toggleSpecialColoring();
        return true;
    }
    if (key == Qt::Key_Backspace || text == QStringLiteral("\b")) {
        openPlasma();
        return true;
    }
    return false;
}

void MainWindow::toggleSpecialColoring() {
    // Not rearmed: the points computed from now on see the change.
    state_.flags.specialColoring = !state_.flags.specialColoring;
    discardRowsAhead();
    setWindowTitle(state_.flags.specialColoring ? specialColoringTitle : mainWindowTitle);
}

void MainWindow::openPlasma() {
    if (state_.run.plotting || !screen_) return;
    QWidget* plasma = createPlasmaWindow();
    screen_->clear();
    view_->viewport()->update();
    if (plasma != nullptr) {
        plasmaWindow_ = plasma;
        setEnabled(false);
        connect(plasma, &QObject::destroyed, this, [this] { setEnabled(true); });
        plasma->show();
    }
}

// --- ZoomView -----------------------------------------------------------------

QPoint MainWindow::scrollOffset() const { return {view_->scrollX(), view_->scrollY()}; }

void MainWindow::setStatusParts(const std::vector<int>& rightEdges) {
    if (statusParts_ != nullptr) statusParts_->setParts(rightEdges);
}

void MainWindow::setStatusText(int part, const QString& text) {
    if (statusParts_ != nullptr) statusParts_->setText(part, text);
}

void MainWindow::showOutline(const QRect& frame) { view_->showOutline(frame); }

void MainWindow::eraseOutline(const QRect& area) {
    view_->hideOutline();
    view_->viewport()->update(area);
}

void MainWindow::postCancel() {
    QMetaObject::invokeMethod(
        this, [this] { zoomBox_.rightPress(); }, Qt::QueuedConnection);
}

void MainWindow::postPlot() { postCommand(commandNumber(CommandId::PlotFractal)); }

// --- Save flow ------------------------------------------------------------------

void MainWindow::commandSaveImage() {
    if (state_.run.saveDialogBusy || !screen_) return;
    state_.run.saveDialogBusy = true;
    const bool targa = state_.flags.trueColorMode;
    const QString path = targa ? chooseTargaFile() : chooseGifFile();
    if (!path.isEmpty()) {
        // Bring back the picture the dialog covered before the save holds
        // the program.
        view_->viewport()->repaint();
        pendingSavePath_ = path;
        pendingSaveTarga_ = targa;
        QMetaObject::invokeMethod(this, &MainWindow::saveImage, Qt::QueuedConnection);
    }
    state_.run.saveDialogBusy = false;
}

void MainWindow::saveImage() {
    if (!screen_ || pendingSavePath_.isEmpty()) return;
    savePopupOpen_ = true;
    const VirtualScreen* screen = screen_.get();
    auto* popup = new SavePopup(this, this, options_.seams.beeps, [screen](std::uint8_t index) {
        const Rgb& c = screen->shownColors()[index];
        return qRgb(c.red, c.green, c.blue);
    });
    savePopup_ = popup;
    connect(popup, &SavePopup::closedByUser, this, [this] { savePopupOpen_ = false; });
    popup->move(mapToGlobal(QPoint(10, menuBar()->height() + 10)));
    popup->show();

    SaveRequest request;
    request.path = std::filesystem::path(pendingSavePath_.toStdString());
    request.fileName = QFileInfo(pendingSavePath_).fileName().toStdString();
    request.sizeIndex = state_.geometry.sizeIndex;
    request.paletteDevice = state_.flags.paletteDevice;
    request.stop = &terminationSaveStop();
    pendingSavePath_.clear();
    const SaveStatus status = pendingSaveTarga_ ? writeTarga(request, *screen_, *popup)
                                                : writeGif(request, *screen_, state_.palette.entries, *popup);
    if (status == SaveStatus::Saved) {
        popup->okButton()->setEnabled(true);
        popup->activateWindow();
        popup->setFocus();
        return;
    }
    popup->closePopup();
    // Stopped by a signal: the window closes next, with nothing to report.
    if (terminationSaveStop().requested) return;
    showMessage(saveErrorMessage(status), saveErrorCaption);
}

// --- Destruction ------------------------------------------------------------------

void MainWindow::closeEvent(QCloseEvent* event) {
    destroySequence();
    event->accept();
}

void MainWindow::destroySequence() {
    if (destroyed_) return;
    destroyed_ = true;
    // Nothing may step a plot or a cycle over a freed screen.
    state_.run.plotting = false;
    state_.run.cycling = false;
    idleTimer_.stop();
    discardRowsAhead();
    // The plasma window gives the palette back before everything goes.
    if (plasmaWindow_) delete plasmaWindow_.data();
    if (state_.splash.splashAvailable) showSplash(SplashKind::Closing);
    state_.palette.logical.reset();
    state_.notesText.clear();
    state_.notesText.shrink_to_fit();
    releaseLevelSetTables();
    screen_.reset();
    view_->viewport()->update();
    if (helpWindow_) helpWindow_->close();
    emit quitRequested(0);
}

// --- Where the other windows come in ------------------------------------------------

void MainWindow::showSplash(SplashKind kind) {
    SplashHost host;
    host.mainWindow = this;
    host.state = &state_;
    host.screen = screen_.get();
    host.paletteGate = options_.paletteGate;
    host.blankMainWindow = [this] {
        if (screen_) screen_->clear();
        view_->viewport()->repaint();
    };
    fernwise::showSplash(kind, host,
                         kind == SplashKind::Opening ? state_.splash.openingSplashMs : state_.splash.closingSplashMs);
}

void MainWindow::recordPlotHistory() {
    const FractalParams& params = state_.plot.kernel.params;
    if (historyNeedsRecord(state_.history, state_.currentType, params)) {
        recordHistory(state_.history, state_.currentType, params, currentLocalTime());
    }
}

LevelSetPreparation MainWindow::prepareLevelSetTables() {
    // The pass holds the program: no plot or cycling step runs meanwhile.
    ModalScope hold(state_);
    LevelSetPassDisplay display(this, options_.seams.messages);
    // The pass computes on the calling thread too, so it takes one helper less.
    const int threads = options_.plotWorkers.threads > 0 ? options_.plotWorkers.threads : defaultThreadCount();
    return fernwise::prepareLevelSetTables(state_.levelSets, state_.plot, state_.flags, &display, nullptr,
                                           {threads, bestSimdLevel(), &helpers()});
}

WorkerPool& MainWindow::helpers() {
    // A plot's rows are all computed by helpers: the window's thread only
    // draws them.
    const int threads = options_.plotWorkers.threads;
    if (!helpers_) helpers_ = std::make_unique<WorkerPool>(threads > 0 ? threads : defaultThreadCount());
    return *helpers_;
}

void MainWindow::releaseLevelSetTables() {
    // Workers may be reading the tables.
    discardRowsAhead();
    state_.levelSets.release();
}

ParamsDialogResult MainWindow::runParametersDialog() {
    static NoMessages noMessages;
    ModalScope modal(state_);
    MessageSeam& messages = options_.seams.messages != nullptr ? *options_.seams.messages : noMessages;
    ParamsDialog dialog(this, state_.catalog, state_.currentType, messages,
                        ParamsDialogCompanions{&state_.notesText, fileDialogs_.get(), &state_.history});
    return static_cast<ParamsDialogResult>(dialog.exec());
}

void MainWindow::runCycleSpeedDialog() {
    ModalScope modal(state_);
    CycleSpeedDialog dialog(state_.cyclingPace.cycleSpeedPosition, state_.cyclingPace.cycleDelay, this);
    dialog.exec();
}

void MainWindow::showAboutBox() {
    openAboutBox(this, state_.display.screenWidth, state_.display.screenHeight, options_.seams.messages,
                 [this] { aboutOpen_ = false; });
}

QWidget* MainWindow::createPlasmaWindow() {
    // The window rearms the plot and takes its own palette as it is created.
    return new PlasmaWindow(
        this, state_, [this] { return screen_.get(); }, options_.seams.beeps, nullptr, options_.paletteGate);
}

QString MainWindow::chooseFile(FileDialogKind kind) {
    if (!fileDialogs_) return {};
    ModalScope modal(state_);
    return fileDialogs_->choose(kind, this) ? fileDialogs_->path(kind) : QString();
}

QString MainWindow::chooseMapFile() { return chooseFile(FileDialogKind::MapOpen); }
QString MainWindow::chooseGifFile() { return chooseFile(FileDialogKind::GifSave); }
QString MainWindow::chooseTargaFile() { return chooseFile(FileDialogKind::TargaSave); }

void MainWindow::rememberMapFolder(const QString& path) {
    if (fileDialogs_) fileDialogs_->rememberMapFolder(path);
}

}  // namespace fernwise
