// The desktop program's plot against the batch renderer: the wall time of a
// whole plot in the real main window (idle-driven loop, rows computed ahead
// on every core, rows shown as they arrive and painted, offscreen), next to
// the same image from fernrender, and to the rows computed on one thread with
// nothing around them.
//
//   desktop_overhead_bench [--runs N] [--size WxH] [--periodicity on|off]
//                          [--heavy] [--display-bits 8|32] [--threads N]
//                          [--one-thread on|off] [--fernrender PATH]
//
// The defaults are the default Mandelbrot at 1600 x 1200 with periodicity
// off on a 32-bit display. --heavy plots the window x -0.3..0.1,
// y -0.2..0.2 with 16384 iterations and z-mag inside colouring, where every
// point runs to the limit. --threads is what fernrender is given (default:
// one per core, as the desktop computes). The display is the image's size.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QPaintEvent>
#include <QProcess>
#include <QTemporaryDir>

#include "app_state.h"
#include "main_window.h"
#include "plot_driver.h"
#include "startup.h"

using namespace fernwise;

namespace {

using Clock = std::chrono::steady_clock;

double milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// The machine's load average over the last minute, as the kernel reports it.
double loadAverage() {
    double load = -1.0;
    if (std::FILE* file = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(file, "%lf", &load) != 1) load = -1.0;
        std::fclose(file);
    }
    return load;
}

// The first repaint of the picture that shows a computed row.
class FirstRowPaint final : public QObject {
public:
    explicit FirstRowPaint(const AppState& state) : state_(state) {}
    void arm() { painted = false; }
    bool eventFilter(QObject*, QEvent* event) override {
        if (!painted && event->type() == QEvent::Paint && state_.run.plotting && state_.plot.nextRow() > 0 &&
            static_cast<QPaintEvent*>(event)->rect().top() == 0) {
            painted = true;
            at = Clock::now();
        }
        return false;
    }
    bool painted = false;
    Clock::time_point at;

private:
    const AppState& state_;
};

// The completion sound is the end of a plot: it stops the event loop.
class PlotEnd final : public BeepSeam {
public:
    void beep() override {
        end = Clock::now();
        QCoreApplication::exit(0);
    }
    Clock::time_point end;
};

class SilentMessages final : public MessageSeam {
public:
    MessageAnswer show(QWidget*, const QString& text, const QString&, MessageIcon, MessageButtons) override {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
        return MessageAnswer::Ok;
    }
};

// The same plot as the window's, row by row on this thread with nothing
// around it.
double coreRender(const AppState& state, const PaletteState& palette) {
    auto screen = VirtualScreen::create(state.geometry.imageWidth, state.geometry.imageHeight,
                                        state.flags.paletteDevice ? PixelFormat::Indexed8 : PixelFormat::Rgb32);
    PlotDriver driver(state.geometry.imageWidth, state.geometry.imageHeight);
    const Clock::time_point start = Clock::now();
    driver.loadRecord(state.catalog, state.currentType);
    driver.computeGeometry(state.aspectFactor());
    screen->clear();
    driver.startKernels();
    do {
        driver.computeRow(*screen, palette, state.flags);
    } while (!driver.finishRow());
    return milliseconds(Clock::now() - start);
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 5;
    int width = 1600;
    int height = 1200;
    bool periodicity = false;
    bool heavy = false;
    bool oneThread = true;
    int displayBits = 32;
    int threads = 0;
    QString fernrender;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--fernrender") == 0 && i + 1 < argc)
            fernrender = argv[++i];
        else if (std::strcmp(argv[i], "--periodicity") == 0 && i + 1 < argc)
            periodicity = std::strcmp(argv[++i], "on") == 0;
        else if (std::strcmp(argv[i], "--one-thread") == 0 && i + 1 < argc)
            oneThread = std::strcmp(argv[++i], "on") == 0;
        else if (std::strcmp(argv[i], "--display-bits") == 0 && i + 1 < argc)
            displayBits = std::atoi(argv[++i]) == 8 ? 8 : 32;
        else if (std::strcmp(argv[i], "--threads") == 0 && i + 1 < argc)
            threads = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--heavy") == 0)
            heavy = true;
        else if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc &&
                 std::sscanf(argv[i + 1], "%dx%d", &width, &height) == 2)
            ++i;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const double loadBefore = loadAverage();

    PlotEnd plotEnd;
    SilentMessages messages;
    AppState state;
    registerWindowClasses(state);
    state.flags.periodicityChecking = periodicity;
    state.splash.openingSplashMs = 0;
    state.splash.closingSplashMs = 0;
    FractalParams& record = state.catalog[FractalType::Mandelbrot];
    if (heavy) {
        record.xmin = -0.3;
        record.xmax = 0.1;
        record.ymin = -0.2;
        record.ymax = 0.2;
        record.iterations = 16384;
        record.insideColoring = InsideColoring::ZMag;
    }
    StartupOptions options;
    options.display.bitsPerPixel = displayBits;
    options.display.size = QSize(width, height);
    options.seams = Seams{&messages, nullptr, &plotEnd};
    // No stored size: the image is the whole display.
    options.settings = nullptr;
    std::unique_ptr<MainWindow> window;
    if (createMainWindow(state, options, window) != StartupCode::Ok) return 1;
    FirstRowPaint firstRow(state);
    window->imageView()->viewport()->installEventFilter(&firstRow);
    // The start-up messages: the splash, then the first plot, which is the
    // warm-up run.
    Clock::time_point start = Clock::now();
    QApplication::exec();
    std::printf("image %d x %d, %d-bit display, %s, periodicity %s, aspect factor %.6f, first plot %.1f ms\n",
                state.geometry.imageWidth, state.geometry.imageHeight, displayBits,
                heavy ? "heavy window" : "default Mandelbrot", periodicity ? "on" : "off", state.aspectFactor(),
                milliseconds(plotEnd.end - start));

    std::vector<double> desktop;
    std::vector<double> firstRows;
    std::vector<double> core;
    std::vector<double> batch;
    QTemporaryDir folder;
    for (int run = 0; run < runs; ++run) {
        firstRow.arm();
        start = Clock::now();
        window->command(CommandId::PlotFractal);
        QApplication::exec();
        desktop.push_back(milliseconds(plotEnd.end - start));
        firstRows.push_back(firstRow.painted ? milliseconds(firstRow.at - start) : -1.0);

        if (oneThread) core.push_back(coreRender(state, state.palette));

        if (!fernrender.isEmpty()) {
            QProcess process;
            QStringList arguments{"--size",         QString("%1x%2").arg(width).arg(height),
                                  "--periodicity",  periodicity ? "on" : "off",
                                  "--aspect",       QString::number(state.aspectFactor(), 'g', 17),
                                  "--display-bits", QString::number(displayBits),
                                  "--quiet",        folder.filePath("plot.ppm")};
            if (heavy) {
                arguments << "--xmin"
                          << "-0.3"
                          << "--xmax"
                          << "0.1"
                          << "--ymin"
                          << "-0.2"
                          << "--ymax"
                          << "0.2"
                          << "--iterations"
                          << "16384"
                          << "--inside"
                          << "zmag";
            }
            // By default every core, as the desktop program computes its rows.
            if (threads > 0) arguments << "--threads" << QString::number(threads);
            QElapsedTimer timer;
            timer.start();
            process.start(fernrender, arguments);
            process.waitForFinished(-1);
            if (process.exitCode() == 0) batch.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        }
        std::printf("run %d: desktop %.1f ms (first row painted at %.1f ms)%s%s\n", run + 1, desktop.back(),
                    firstRows.back(),
                    core.empty() ? "" : (", one thread " + std::to_string(core.back()) + " ms").c_str(),
                    batch.empty() ? "" : (", fernrender " + std::to_string(batch.back()) + " ms").c_str());
    }
    // The fastest run of each is the least disturbed by whatever else the
    // machine does.
    const double d = *std::min_element(desktop.begin(), desktop.end());
    std::printf("fastest of %d runs: desktop plot %.1f ms, its first row painted after %.1f ms\n", runs, d,
                *std::min_element(firstRows.begin(), firstRows.end()));
    if (!core.empty()) {
        const double c = *std::min_element(core.begin(), core.end());
        std::printf("the rows on one thread without the window %.1f ms (%.2f x the desktop's time)\n", c, c / d);
    }
    if (!batch.empty()) {
        const double f = *std::min_element(batch.begin(), batch.end());
        std::printf("fernrender%s on the same image (whole process, PPM written) %.1f ms; desktop / fernrender %.3f\n",
                    threads > 0 ? (" --threads " + std::to_string(threads)).c_str() : "", f, d / f);
    }
    std::printf("load average (1 min) before %.2f, after %.2f\n", loadBefore, loadAverage());
    window->close();
    return 0;
}
