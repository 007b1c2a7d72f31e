// When the system refuses new threads, the row pipeline, the row helpers and
// the level-set pass go on with the threads they have, and with none the
// calling thread does all the work: the same images, never a crash or a plot
// that waits forever.

#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <vector>

#include <gtest/gtest.h>

#include "level_sets.h"
#include "row_pipeline.h"

namespace {

// How many more threads the "system" has room for; below 0, no limit.
std::atomic<int> threadsLeft{-1};

}  // namespace

// This test program's own thread creation: once a test's limit is used up
// it refuses, as a system out of threads or memory would.
extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*start)(void*),
                              void* argument) {
    using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
    static const auto next = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
    for (int left = threadsLeft.load(); left >= 0;) {
        if (left == 0) return EAGAIN;
        if (threadsLeft.compare_exchange_weak(left, left - 1)) break;
    }
    return next(thread, attributes, start, argument);
}

namespace fernwise {
namespace {

// For one scope, room for `more` threads and then none.
class ThreadLimit {
public:
    explicit ThreadLimit(int more) { threadsLeft.store(more); }
    ~ThreadLimit() { threadsLeft.store(-1); }
    ThreadLimit(const ThreadLimit&) = delete;
    ThreadLimit& operator=(const ThreadLimit&) = delete;
};

PaletteState rgbPalette() {
    PaletteState palette;
    palette.logicalPaletteSize = 256;
    loadPalette6(palette.table, defaultPalette());
    buildLogicalPalette(palette);
    return palette;
}

RenderRequest request() {
    RenderRequest r;
    r.type = FractalType::Mandelbrot;
    r.params = defaultParams(r.type);
    r.params.xmin = -1.0;
    r.params.xmax = 0.0;
    r.params.ymin = -0.3;
    r.params.ymax = 0.3;
    r.width = 47;
    r.height = 31;
    r.flags.periodicityChecking = true;
    return r;
}

std::vector<std::uint8_t> pixels(const VirtualScreen& screen) {
    return {screen.bits(), screen.bits() + screen.bytesPerLine() * static_cast<std::size_t>(screen.height())};
}

std::vector<std::uint8_t> sequentialImage(const RenderRequest& r, const PaletteState& palette) {
    auto screen = VirtualScreen::create(r.width, r.height, PixelFormat::Rgb32);
    renderImage(r, *screen, palette);
    return pixels(*screen);
}

// The desktop program's way: a pipeline the drawing thread only takes rows
// from, without waiting.
std::vector<std::uint8_t> drawnImage(const RenderRequest& r, const PaletteState& palette, int threads,
                                     int& helpersStarted) {
    FractalCatalog catalog;
    catalog[r.type] = r.params;
    PlotDriver driver(r.width, r.height);
    driver.loadRecord(catalog, r.type);
    driver.computeGeometry(r.aspectFactor);
    driver.startKernels();
    auto screen = VirtualScreen::create(r.width, r.height, PixelFormat::Rgb32);
    RowPipeline pipeline(driver, r.flags, threads);
    helpersStarted = pipeline.threadCount();
    int attempts = 0;
    do {
        while (pipeline.drawNextRow(driver, r.flags, *screen, palette, std::chrono::milliseconds(1)) !=
               RowDelivery::Drawn) {
            if (++attempts > 5000) {
                ADD_FAILURE() << "no row came";
                return {};
            }
        }
    } while (!driver.finishRow());
    return pixels(*screen);
}

TEST(ThreadRefusal, DrawingPipelinesGoOnWithTheThreadsThereAre) {
    const RenderRequest r = request();
    const PaletteState palette = rgbPalette();
    const auto expected = sequentialImage(r, palette);
    for (int room : {0, 1, 2}) {
        int helpers = -1;
        std::vector<std::uint8_t> got;
        {
            ThreadLimit limit(room);
            got = drawnImage(r, palette, 3, helpers);
        }
        EXPECT_EQ(helpers, room);
        EXPECT_EQ(got, expected) << "room for " << room << " threads";
    }
}

TEST(ThreadRefusal, BatchRendersHelperPoolsAndTheLevelSetPassToo) {
    RenderRequest r = request();
    const PaletteState palette = rgbPalette();
    const auto expected = sequentialImage(r, palette);
    {
        ThreadLimit limit(0);
        RowWorkers workers(3);
        EXPECT_EQ(workers.size(), 0);
        auto screen = VirtualScreen::create(r.width, r.height, PixelFormat::Rgb32);
        renderImageParallel(r, *screen, palette, nullptr, nullptr, 4);
        EXPECT_EQ(pixels(*screen), expected);
        renderImageParallel(r, *screen, palette, nullptr, nullptr, 0, bestSimdLevel(), {}, &workers);
        EXPECT_EQ(pixels(*screen), expected);
    }
    {
        // A pool that got one helper of three: pipelines wanting more start
        // their own.
        ThreadLimit limit(1);
        RowWorkers workers(3);
        EXPECT_EQ(workers.size(), 1);
        auto screen = VirtualScreen::create(r.width, r.height, PixelFormat::Rgb32);
        renderImageParallel(r, *screen, palette, nullptr, nullptr, 3, bestSimdLevel(), {}, &workers);
        EXPECT_EQ(pixels(*screen), expected);
    }

    r.flags.trueColorMode = true;
    LevelSetState alone;
    const LevelSetTables* reference = buildLevelSetTables(r, alone, LevelSetPassOptions{1, SimdLevel::Scalar});
    ASSERT_NE(reference, nullptr);
    LevelSetState refusedState;
    const LevelSetTables* tables = nullptr;
    {
        ThreadLimit limit(0);
        tables = buildLevelSetTables(r, refusedState, LevelSetPassOptions{4, bestSimdLevel()});
    }
    ASSERT_NE(tables, nullptr);
    EXPECT_TRUE(tables->levelLow == reference->levelLow);
    EXPECT_TRUE(tables->levelHigh == reference->levelHigh);
}

}  // namespace
}  // namespace fernwise
