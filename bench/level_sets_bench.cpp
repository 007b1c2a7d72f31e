// The level-set pass beside the plot it prepares (the pass must cost no more
// than that plot, both on every core with vector instructions), the pass one
// point after another, and the plasma field.

#include <benchmark/benchmark.h>

#include <string>

#include "color_cycling.h"
#include "level_sets.h"
#include "plasma.h"
#include "plot_driver.h"
#include "row_pipeline.h"
#include "virtual_screen.h"

namespace {

using namespace fernwise;

RenderRequest trueColorRequest(int view, bool periodicity = true) {
    RenderRequest request;
    request.flags.periodicityChecking = periodicity;
    request.type = view == 2 ? FractalType::Julia : FractalType::Mandelbrot;
    request.params = defaultParams(request.type);
    if (view == 1) {
        // A deep, busy window near the set's edge.
        request.params.xmin = -0.7485;
        request.params.xmax = -0.7445;
        request.params.ymin = 0.0985;
        request.params.ymax = 0.1015;
        request.params.iterations = 1000;
    }
    request.width = 640;
    request.height = 480;
    request.flags.trueColorMode = true;
    return request;
}

std::string viewName(int view, bool periodicity = true) {
    std::string name = view == 0 ? "mandelbrot" : view == 1 ? "mandelbrot-zoom" : "julia";
    return periodicity ? name : name + ", periodicity off";
}

// The batch renderer's pass: a fresh program, whose periodicity tolerance is
// still 0, so that the check never ends an orbit early.
void BM_LevelSetPassFresh(benchmark::State& state) {
    const RenderRequest request = trueColorRequest(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        LevelSetState levelSets;
        benchmark::DoNotOptimize(buildLevelSetTables(request, levelSets));
    }
    state.SetLabel(viewName(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_LevelSetPassFresh)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// In the desktop program the pass always follows a plot (24-bit colouring
// can only be chosen once the first plot has finished or paused), and it
// sees the periodicity state that plot left: this is the pass as users meet
// it. The plot before is made outside the timing.
// Argument 2: 1 for the pass on every core and the widest vectors, 0 for the
// sequential definition on one thread.
void BM_LevelSetPassAfterAPlot(benchmark::State& state) {
    const RenderRequest request = trueColorRequest(static_cast<int>(state.range(0)), state.range(1) != 0);
    const bool spread = state.range(2) != 0;
    PaletteState palette;
    palette.logicalPaletteSize = 256;
    loadPalette6(palette.table, defaultPalette());
    buildLogicalPalette(palette);
    auto screen = VirtualScreen::create(request.width, request.height, PixelFormat::Rgb32);
    FractalCatalog catalog;
    catalog[request.type] = request.params;
    PlotDriver earlier(request.width, request.height);
    earlier.loadRecord(catalog, request.type);
    earlier.computeGeometry(request.aspectFactor);
    earlier.startKernels();
    PlotFlags plain = request.flags;
    plain.trueColorMode = false;
    do {
        earlier.computeRow(*screen, palette, plain);
    } while (!earlier.finishRow());
    for (auto _ : state) {
        PlotDriver driver = earlier;
        driver.loadRecord(catalog, request.type);
        driver.computeGeometry(request.aspectFactor);
        driver.beginTrueColor(true);
        LevelSetState levelSets;
        if (spread) {
            benchmark::DoNotOptimize(prepareLevelSetTables(levelSets, driver, request.flags));
        } else {
            const auto entries = static_cast<std::size_t>(request.params.iterations) + 1;
            levelSets.tables.levelLow.assign(entries, 0.0L);
            levelSets.tables.levelHigh.assign(entries, 0.0L);
            driver.kernel.periodicityChecking = request.flags.periodicityChecking;
            benchmark::DoNotOptimize(sampleLevelSetsSequential(levelSets.tables, driver));
        }
    }
    const std::string name = viewName(static_cast<int>(state.range(0)), state.range(1) != 0);
    state.SetLabel(spread ? name : name + ", sequential");
}
BENCHMARK(BM_LevelSetPassAfterAPlot)->ArgsProduct({{0, 1, 2}, {1, 0}, {1, 0}})->Unit(benchmark::kMillisecond);

// The plot the pass prepares, as the desktop program now makes it: on every
// core with the widest vectors.
void BM_PlotAfterThePassParallel(benchmark::State& state) {
    const RenderRequest request = trueColorRequest(static_cast<int>(state.range(0)), state.range(1) != 0);
    LevelSetState levelSets;
    const LevelSetTables* tables = buildLevelSetTables(request, levelSets);
    PaletteState palette;
    palette.logicalPaletteSize = 256;
    loadPalette6(palette.table, defaultPalette());
    buildLogicalPalette(palette);
    auto screen = VirtualScreen::create(request.width, request.height, PixelFormat::Rgb32);
    for (auto _ : state) {
        renderImageParallel(request, *screen, palette, nullptr, tables);
        benchmark::ClobberMemory();
    }
    state.SetLabel(viewName(static_cast<int>(state.range(0)), state.range(1) != 0));
}
BENCHMARK(BM_PlotAfterThePassParallel)->ArgsProduct({{0, 1, 2}, {1, 0}})->Unit(benchmark::kMillisecond);

// The same plot on one thread without vectors.
void BM_PlotAfterThePass(benchmark::State& state) {
    const RenderRequest request = trueColorRequest(static_cast<int>(state.range(0)), state.range(1) != 0);
    LevelSetState levelSets;
    const LevelSetTables* tables = buildLevelSetTables(request, levelSets);
    PaletteState palette;
    palette.logicalPaletteSize = 256;
    loadPalette6(palette.table, defaultPalette());
    buildLogicalPalette(palette);
    auto screen = VirtualScreen::create(request.width, request.height, PixelFormat::Rgb32);
    for (auto _ : state) {
        renderImage(request, *screen, palette, nullptr, tables);
        benchmark::ClobberMemory();
    }
    state.SetLabel(viewName(static_cast<int>(state.range(0)), state.range(1) != 0));
}
BENCHMARK(BM_PlotAfterThePass)->ArgsProduct({{0, 1, 2}, {1, 0}})->Unit(benchmark::kMillisecond);

void BM_PlasmaField(benchmark::State& state) {
    std::uint32_t seed = 1;
    for (auto _ : state) {
        PlasmaField field;
        SeededRandom random(seed++);
        field.draw(random);
        benchmark::DoNotOptimize(field.valueAt(160, 120));
    }
}
BENCHMARK(BM_PlasmaField)->Unit(benchmark::kMicrosecond);

void BM_CycleStep(benchmark::State& state) {
    PaletteState palette;
    loadPalette6(palette.table, defaultPalette());
    buildLogicalPalette(palette);
    auto screen = VirtualScreen::create(8, 8, PixelFormat::Indexed8);
    for (auto _ : state) {
        cycleStep(palette.entries, *screen);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_CycleStep);

}  // namespace

BENCHMARK_MAIN();
