// The desktop program's plot against the batch renderer: the wall time of a
// whole default Mandelbrot plot in the real main window (idle-driven loop,
// rows computed ahead on every core, one row shown per pass and painted,
// offscreen), next to the same image from fernrender on every core, and to
// the rows computed on one thread with nothing around them.
//
//   desktop_overhead_bench [--runs N] [--size WxH] [--periodicity on|off]
//                          [--fernrender PATH]
//
// The defaults are 1600 x 1200 with periodicity off.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
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
    auto screen = VirtualScreen::create(state.geometry.imageWidth, state.geometry.imageHeight, PixelFormat::Rgb32);
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
    QString fernrender;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--fernrender") == 0 && i + 1 < argc) fernrender = argv[++i];
        else if (std::strcmp(argv[i], "--periodicity") == 0 && i + 1 < argc) periodicity = std::strcmp(argv[++i], "on") == 0;
        else if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc && std::sscanf(argv[i + 1], "%dx%d", &width, &height) == 2) ++i;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    PlotEnd plotEnd;
    SilentMessages messages;
    AppState state;
    registerWindowClasses(state);
    state.flags.periodicityChecking = periodicity;
    state.splash.openingSplashMs = 0;
    state.splash.closingSplashMs = 0;
    StartupOptions options;
    options.display.bitsPerPixel = 32;
    options.display.size = QSize(width, height);
    options.seams = Seams{&messages, nullptr, &plotEnd};
    // No stored size: the image is the whole display.
    options.settings = nullptr;
    std::unique_ptr<MainWindow> window;
    if (createMainWindow(state, options, window) != StartupCode::Ok) return 1;
    // The start-up messages: the splash, then the first plot, which is the
    // warm-up run.
    Clock::time_point start = Clock::now();
    QApplication::exec();
    std::printf("image %d x %d, aspect factor %.6f, first plot %.1f ms\n", state.geometry.imageWidth, state.geometry.imageHeight,
                state.aspectFactor(), milliseconds(plotEnd.end - start));

    std::vector<double> desktop;
    std::vector<double> core;
    std::vector<double> batch;
    QTemporaryDir folder;
    for (int run = 0; run < runs; ++run) {
        start = Clock::now();
        window->command(CommandId::PlotFractal);
        QApplication::exec();
        desktop.push_back(milliseconds(plotEnd.end - start));

        core.push_back(coreRender(state, state.palette));

        if (!fernrender.isEmpty()) {
            QProcess process;
            // Every core, as the desktop program computes its rows.
            const QStringList arguments{"--size",         QString("%1x%2").arg(width).arg(height),
                                        "--periodicity",  periodicity ? "on" : "off",
                                        "--aspect",       QString::number(state.aspectFactor(), 'g', 17),
                                        "--display-bits", "32",
                                        "--quiet",        folder.filePath("plot.ppm")};
            QElapsedTimer timer;
            timer.start();
            process.start(fernrender, arguments);
            process.waitForFinished(-1);
            if (process.exitCode() == 0) batch.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        }
        std::printf("run %d: desktop %.1f ms, one thread %.1f ms%s\n", run + 1, desktop.back(), core.back(),
                    batch.empty() ? "" : (", fernrender " + std::to_string(batch.back()) + " ms").c_str());
    }
    // The fastest run of each is the least disturbed by whatever else the
    // machine does.
    const double d = *std::min_element(desktop.begin(), desktop.end());
    const double c = *std::min_element(core.begin(), core.end());
    std::printf("fastest of %d runs: desktop plot %.1f ms; the rows on one thread without the window %.1f ms "
                "(%.2f x the desktop's time)\n",
                runs, d, c, c / d);
    if (!batch.empty()) {
        const double f = *std::min_element(batch.begin(), batch.end());
        std::printf("fernrender on the same image (whole process, PPM written) %.1f ms; desktop / fernrender %.3f\n", f,
                    d / f);
    }
    window->close();
    return 0;
}
