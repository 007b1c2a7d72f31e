#include "startup.h"

#include <cstdio>
#include <new>

#include "termination_signals.h"

#include <cstdio>
#include <string_view>

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

#include "fernwise_version.h"
#include "file_dialogs.h"
#include "settings.h"

namespace fernwise {
namespace {

void reportStartupFailure(const StartupOptions& options, StartupCode code) {
    if (options.seams.messages == nullptr) return;
    options.seams.messages->show(nullptr, startupMessages[static_cast<std::size_t>(code)], startupErrorCaption,
                                 MessageIcon::Warning);
}

}  // namespace

int displayBitsFrom(const QString& environmentValue, int screenDepth, QString* ignored) {
    bool ok = false;
    const int bits = environmentValue.trimmed().toInt(&ok);
    if (ok && bits >= 1 && bits <= 32) return bits;
    if (ignored != nullptr && !environmentValue.isEmpty()) {
        *ignored = QStringLiteral(
                       "fernwise: FERNWISE_DISPLAY_BITS=\"%1\" is ignored: it is not a whole number from 1 "
                       "to 32; the screen's %2 bits are used")
                       .arg(environmentValue)
                       .arg(screenDepth);
    }
    return screenDepth;
}

DisplayInfo primaryDisplay() {
    DisplayInfo display;
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int depth = screen != nullptr ? screen->depth() : 32;
    QString ignored;
    display.bitsPerPixel = displayBitsFrom(qEnvironmentVariable("FERNWISE_DISPLAY_BITS"), depth, &ignored);
    if (!ignored.isEmpty()) std::fprintf(stderr, "%s\n", ignored.toLocal8Bit().constData());
    display.size = screen != nullptr ? screen->size() : QSize(1024, 768);
    return display;
}

StartupCode registerWindowClasses(AppState& state) {
    state.splash.splashAvailable = true;
    return StartupCode::Ok;
}

StartupCode createMainWindow(AppState& state, const StartupOptions& options, std::unique_ptr<MainWindow>& window) {
    state.display.displayBits = options.display.bitsPerPixel;
    state.display.screenWidth = options.display.size.width();
    state.display.screenHeight = options.display.size.height();

    std::optional<int> stored;
    if (options.settings != nullptr) stored = options.settings->readResIndex();
    chooseImageSize(state, stored);
    // A rearmed driver of the chosen size: the first Plot starts a new image.
    state.plot.setImageSize(state.geometry.imageWidth, state.geometry.imageHeight);
    state.geometry.plasmaWidth = (state.display.screenWidth >> 1) + 20;
    state.geometry.plasmaHeight = (state.display.screenHeight >> 1) + 20;

    MainWindowOptions windowOptions;
    windowOptions.seams = options.seams;
    windowOptions.settings = options.settings;
    windowOptions.loopDriver = options.loopDriver;
    windowOptions.createScreen = options.createScreen;
    windowOptions.paletteGate = options.paletteGate;
    windowOptions.plotWorkers = options.plotWorkers;
    windowOptions.paletteFolder = options.paletteFolder;
    window = std::make_unique<MainWindow>(state, windowOptions);

    if (window->checkColorDepth() != 0) {
        reportStartupFailure(options, StartupCode::GraphicsFailed);
        return StartupCode::GraphicsFailed;
    }
    window->createStatusBar();
    state.notesText = initialNotesText;
    if (options.showWindow) {
        window->show();
        window->update();
    }
    return StartupCode::Ok;
}

bool deliverGuarded(const std::function<bool()>& deliver, MessageSeam* messages) {
    // A failure while the message itself is up is not shown again.
    static bool reporting = false;
    try {
        return deliver();
    } catch (const std::bad_alloc&) {
        if (reporting || messages == nullptr) return false;
        reporting = true;
        try {
            messages->show(nullptr, commandMemoryMessage, memoryProblemCaption, MessageIcon::Warning);
        } catch (const std::bad_alloc&) {}
        reporting = false;
        return false;
    }
}

bool FernwiseApplication::notify(QObject* receiver, QEvent* event) {
    return deliverGuarded([&] { return QApplication::notify(receiver, event); }, messages_);
}

int runFernwise(int argc, char** argv) {
    // Answered before anything needs a display.
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--version") {
            std::printf("fernwise %s\n", FERNWISE_VERSION);
            return 0;
        }
    }
    FernwiseApplication app(argc, argv);
    QApplication::setOrganizationName("Ko");
    QApplication::setApplicationName("Fernwise");

    AppState state;
    StartupOptions options;
    options.display = primaryDisplay();
    options.seams = qtSeams();
    app.setMessages(options.seams.messages);
    Settings settings;
    options.settings = &settings;
    options.paletteFolder = installedPaletteFolder(QCoreApplication::applicationDirPath());

    StartupCode code = registerWindowClasses(state);
    if (code != StartupCode::Ok) {
        reportStartupFailure(options, code);
        return 0;
    }
    std::unique_ptr<MainWindow> window;
    code = createMainWindow(state, options, window);
    if (code != StartupCode::Ok) return 0;

    closeOnTerminationSignals(window.get());
    QObject::connect(
        window.get(), &MainWindow::quitRequested, &app, [](int exitCode) { QCoreApplication::exit(exitCode); },
        Qt::QueuedConnection);
    // The window ends the run itself through its destroy sequence.
    QApplication::setQuitOnLastWindowClosed(false);
    const int exitCode = QApplication::exec();
    window.reset();
    return exitCode;
}

}  // namespace fernwise
