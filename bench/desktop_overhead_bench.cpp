// The desktop program's overhead over the computation of a plot: the wall
// time of a whole 1024 x 768 default Mandelbrot plot in the real main window
// (idle-driven loop, one row per pass, each row painted, offscreen), next to
// the same rows computed by the plot driver alone, and to the batch
// renderer on the same image when its path is given.
//
//   desktop_overhead_bench [--runs N] [--fernrender PATH]

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

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

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
    auto screen = VirtualScreen::create(state.imageWidth, state.imageHeight, PixelFormat::Rgb32);
    PlotDriver driver(state.imageWidth, state.imageHeight);
    const Clock::time_point start = Clock::now();
    driver.loadRecord(state.catalog, state.currentType);
    driver.computeGeometry(state.aspectFactor());
    screen->clear();
    driver.startKernels();
    do {
        driver.computeRow(*screen, palette, state.plotFlags());
    } while (!driver.finishRow());
    return milliseconds(Clock::now() - start);
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 5;
    QString fernrender;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--fernrender") == 0 && i + 1 < argc) fernrender = argv[++i];
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    PlotEnd plotEnd;
    SilentMessages messages;
    AppState state;
    registerWindowClasses(state);
    state.openingSplashMs = 0;
    state.closingSplashMs = 0;
    StartupOptions options;
    options.display.bitsPerPixel = 32;
    options.display.size = QSize(1024, 768);
    options.seams = Seams{&messages, nullptr, &plotEnd};
    // No stored size: the image is the whole 1024 x 768 display.
    options.settings = nullptr;
    std::unique_ptr<MainWindow> window;
    if (createMainWindow(state, options, window) != StartupCode::Ok) return 1;
    // The start-up messages: the splash, then the first plot, which is the
    // warm-up run.
    Clock::time_point start = Clock::now();
    QApplication::exec();
    std::printf("image %d x %d, aspect factor %.6f, first plot %.1f ms\n", state.imageWidth, state.imageHeight,
                state.aspectFactor(), milliseconds(plotEnd.end - start));

    std::printf("instructions, not seconds, are what a loaded machine cannot disturb: run under\n"
                "valgrind --tool=callgrind and compare MainWindow::loopPass with coreRender\n");
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
            // One thread, as the desktop program computes its rows.
            const QStringList arguments{"--threads",      "1",
                                        "--size",         "1024x768",
                                        "--aspect",       QString::number(state.aspectFactor(), 'g', 17),
                                        "--display-bits", "32",
                                        folder.filePath("plot.ppm")};
            QElapsedTimer timer;
            timer.start();
            process.start(fernrender, arguments);
            process.waitForFinished(-1);
            if (process.exitCode() == 0) batch.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        }
        std::printf("run %d: desktop %.1f ms, core %.1f ms%s\n", run + 1, desktop.back(), core.back(),
                    batch.empty() ? "" : (", fernrender " + std::to_string(batch.back()) + " ms").c_str());
    }
    // The fastest run of each is the least disturbed by whatever else the
    // machine does; the medians are shown beside them.
    const double d = *std::min_element(desktop.begin(), desktop.end());
    const double c = *std::min_element(core.begin(), core.end());
    std::printf("fastest of %d runs: desktop plot %.1f ms, core computation %.1f ms, overhead %.1f %%\n", runs, d, c,
                (d / c - 1.0) * 100.0);
    std::printf("median of %d runs: desktop plot %.1f ms, core computation %.1f ms, overhead %.1f %%\n", runs,
                median(desktop), median(core), (median(desktop) / median(core) - 1.0) * 100.0);
    if (!batch.empty()) {
        std::printf("fernrender on the same image (process, PPM written): %.1f ms; desktop / fernrender %.3f\n",
                    median(batch), d / median(batch));
    }
    window->close();
    return 0;
}
