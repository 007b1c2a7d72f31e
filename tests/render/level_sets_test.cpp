#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "level_sets.h"
#include "plot_driver.h"

namespace fernwise {
namespace {

// Records what the pass shows and cancels after a chosen row.
class RecordingObserver : public LevelSetPassObserver {
public:
    void memoryProblem() override { ++memoryProblems; }
    void passStarted(int rows) override {
        ++passes;
        startedRows = rows;
    }
    void progressStep() override { ++steps; }
    bool cancelRequested() override { return ++polls == cancelAtPoll; }
    void passEnded() override { ++ended; }

    int memoryProblems = 0;
    int passes = 0;
    int startedRows = 0;
    int steps = 0;
    int polls = 0;
    int cancelAtPoll = -1;
    int ended = 0;
};

class RefusingGate : public AllocationGate {
public:
    explicit RefusingGate(int allowed) : allowed_(allowed) {}
    bool allow(std::size_t) override { return allowed_-- > 0; }

private:
    int allowed_;
};

PaletteState defaultPaletteState() {
    PaletteState p;
    p.logicalPaletteSize = 256;
    loadPalette6(p.table, defaultPalette());
    buildLogicalPalette(p);
    return p;
}

// A plot start up to the level-set pass, as the main window does it.
struct PlotStart {
    PlotStart(FractalType type, const FractalParams& params, int width = 40, int height = 30) : driver(width, height) {
        catalog[type] = params;
        begin(type);
    }
    void begin(FractalType type) {
        driver.loadRecord(catalog, type);
        driver.computeGeometry(1.0);
        ASSERT_TRUE(driver.beginTrueColor(true));
    }
    FractalCatalog catalog;
    PlotDriver driver;
};

FractalParams mandelbrot(int iterations = 64) {
    FractalParams p = defaultParams(FractalType::Mandelbrot);
    p.iterations = iterations;
    return p;
}

// The colours of a whole plot made with the driver as the pass left it.
std::vector<std::uint32_t> plotColors(PlotDriver& driver, const PaletteState& palette) {
    auto screen = VirtualScreen::create(driver.imageWidth(), driver.imageHeight(), PixelFormat::Rgb32);
    PlotFlags flags;
    flags.trueColorMode = true;
    driver.startKernels();
    do {
        driver.computeRow(*screen, palette, flags);
    } while (!driver.finishRow());
    std::vector<std::uint32_t> out;
    for (int y = 0; y < screen->height(); ++y) {
        out.insert(out.end(), screen->rgbRow(y), screen->rgbRow(y) + screen->width());
    }
    return out;
}

TEST(LevelSetPass, TablesBracketEveryEscapedSampleAndKeepStartValuesElsewhere) {
    PlotStart start(FractalType::Mandelbrot, mandelbrot(64));
    LevelSetState state;
    ASSERT_EQ(prepareLevelSetTables(state, start.driver, PlotFlags{}), 0);
    ASSERT_EQ(start.driver.levelSets(), &state.tables);
    const LevelSetTables& t = state.tables;
    ASSERT_EQ(t.entryCount(), 65u);

    // Every escaped sample lies within the range of its count.
    std::vector<bool> seen(65, false);
    KernelState k = start.driver.kernel;
    k.periodicityChecking = false;
    for (int j = 0; j < 30; ++j) {
        for (int i = 0; i < 40; ++i) {
            double x = -2.35 + (i * start.driver.plotSpanX()) / 39;
            double y = -1.35 + (j * start.driver.plotSpanY()) / 29;
            k.point.magnitude = x * x + y * y;
            std::int32_t n = iteratePoint(k, x, y, i, j);
            if (k.point.magnitude <= 256.0) continue;
            long double v = potentialValue(n, k.point.magnitude);
            EXPECT_LE(t.levelLow[n], v);
            EXPECT_GE(t.levelHigh[n], v);
            seen[static_cast<std::size_t>(n)] = true;
        }
    }
    int unseen = 0;
    for (std::size_t n = 0; n < 64; ++n) {
        if (seen[n]) continue;
        ++unseen;
        EXPECT_EQ(t.levelLow[n], 10.0L);
        EXPECT_EQ(t.levelHigh[n], 0.0L);
        EXPECT_EQ(levelSetFraction(&t, static_cast<std::int32_t>(n), 1000.0), 0.0);
    }
    EXPECT_GT(unseen, 0);
    EXPECT_EQ(t.levelLow[64], 0.0L);
    EXPECT_EQ(t.levelHigh[64], 0.0L);
}

TEST(LevelSetPass, SeesTheKernelStateThePreviousPlotLeft) {
    // A fresh program (tolerance 0) never ends an orbit early, so periodicity
    // checking leaves the tables as they are without it.
    LevelSetState fresh;
    PlotStart a(FractalType::Mandelbrot, mandelbrot(200));
    prepareLevelSetTables(fresh, a.driver, PlotFlags{});
    LevelSetState unchecked;
    PlotStart b(FractalType::Mandelbrot, mandelbrot(200));
    PlotFlags noPeriodicity;
    noPeriodicity.periodicityChecking = false;
    prepareLevelSetTables(unchecked, b.driver, noPeriodicity);
    EXPECT_EQ(fresh.tables.levelLow, unchecked.tables.levelLow);
    EXPECT_EQ(fresh.tables.levelHigh, unchecked.tables.levelHigh);

    // A wide tolerance left by an earlier plot, with its last point inside,
    // cuts orbits short: the pass makes no per-point preparation of its own.
    LevelSetState carried;
    PlotStart c(FractalType::Mandelbrot, mandelbrot(200));
    c.driver.kernel.periodicity.tolerance = 1.0;
    c.driver.kernel.periodicity.lastPointInside = true;
    prepareLevelSetTables(carried, c.driver, PlotFlags{});
    EXPECT_NE(carried.tables.levelHigh, fresh.tables.levelHigh);

    // The pass ends on the top-right sample and leaves its state behind;
    // startKernels then resets what the plot needs.
    EXPECT_FALSE(a.driver.kernel.periodicity.lastPointInside);
    a.driver.startKernels();
    EXPECT_GT(a.driver.kernel.periodicity.tolerance, 0.0);
}

TEST(LevelSetPass, CarriedRefreshIntervalNeverOverflows) {
    // Far into a large deep pass the interval has grown close to the int32
    // range; the next refreshes must not wrap it around.
    PlotStart start(FractalType::Mandelbrot, mandelbrot(4000), 16, 12);
    PeriodicityState& per = start.driver.kernel.periodicity;
    per.checkInterval = (1 << 30) + 12345;
    per.checkCounter = (1 << 30) + 12000;
    per.lastPointInside = true;
    per.tolerance = 0.0;
    LevelSetState state;
    prepareLevelSetTables(state, start.driver, PlotFlags{});
    // The interval stays at the top of the range instead of wrapping round
    // to small or negative values.
    EXPECT_GE(per.checkInterval, (1 << 30) - 1);
    EXPECT_GT(per.checkCounter, 0);
}

TEST(LevelSetPass, ProgressEveryEighthRowAndEscapeCancels) {
    PlotStart start(FractalType::Mandelbrot, mandelbrot(32), 24, 20);
    LevelSetState state;
    RecordingObserver observer;
    ASSERT_EQ(prepareLevelSetTables(state, start.driver, PlotFlags{}, &observer), 0);
    EXPECT_EQ(observer.passes, 1);
    EXPECT_EQ(observer.startedRows, 20);
    EXPECT_EQ(observer.steps, 3);  // rows 0, 8 and 16
    EXPECT_EQ(observer.polls, 20);
    EXPECT_EQ(observer.ended, 1);

    // A cancelled pass closes the dialog and counts as not built: the next
    // attempt with the same record samples again.
    FractalParams other = mandelbrot(33);
    PlotStart second(FractalType::Mandelbrot, other, 24, 20);
    RecordingObserver cancelling;
    cancelling.cancelAtPoll = 4;
    EXPECT_EQ(prepareLevelSetTables(state, second.driver, PlotFlags{}, &cancelling), levelSetPassCancelled);
    EXPECT_EQ(cancelling.polls, 4);
    EXPECT_EQ(cancelling.ended, 1);
    EXPECT_EQ(second.driver.levelSets(), nullptr);

    // Nor may the half-filled tables pass for those of the earlier record.
    PlotStart again(FractalType::Mandelbrot, mandelbrot(32), 24, 20);
    RecordingObserver third;
    EXPECT_EQ(prepareLevelSetTables(state, again.driver, PlotFlags{}, &third), 0);
    EXPECT_EQ(third.passes, 1);
}

TEST(LevelSetReuse, SameWindowReusesTheTablesWithoutAPass) {
    FractalParams p = mandelbrot(48);
    PlotStart start(FractalType::Mandelbrot, p);
    LevelSetState state;
    RecordingObserver first;
    prepareLevelSetTables(state, start.driver, PlotFlags{}, &first);
    const PaletteState palette = defaultPaletteState();
    const auto before = plotColors(start.driver, palette);

    // Re-plotting with other colouring choices: no dialog, same fractions.
    start.catalog[FractalType::Mandelbrot].outsideColor = 9;
    start.catalog[FractalType::Mandelbrot].binaryOffset = 7;
    start.begin(FractalType::Mandelbrot);
    RecordingObserver second;
    EXPECT_EQ(prepareLevelSetTables(state, start.driver, PlotFlags{}, &second), 0);
    EXPECT_EQ(second.passes, 0);
    EXPECT_EQ(start.driver.levelSets(), &state.tables);
    EXPECT_EQ(plotColors(start.driver, palette), before);

    // A new iteration limit needs new tables.
    start.catalog[FractalType::Mandelbrot].iterations = 49;
    start.begin(FractalType::Mandelbrot);
    RecordingObserver third;
    prepareLevelSetTables(state, start.driver, PlotFlags{}, &third);
    EXPECT_EQ(third.passes, 1);
    EXPECT_EQ(state.tables.entryCount(), 50u);
}

TEST(LevelSetReuse, JuliaComparesItsParametersAndTablesServeOnlyTheirType) {
    FractalParams julia = defaultParams(FractalType::Julia);
    julia.iterations = 40;
    PlotStart start(FractalType::Julia, julia);
    LevelSetState state;
    RecordingObserver a;
    prepareLevelSetTables(state, start.driver, PlotFlags{}, &a);
    EXPECT_EQ(a.passes, 1);

    start.catalog[FractalType::Julia].param1 = 0.3;
    start.begin(FractalType::Julia);
    RecordingObserver b;
    prepareLevelSetTables(state, start.driver, PlotFlags{}, &b);
    EXPECT_EQ(b.passes, 1);

    // A Mandelbrot plot of the very same record was not sampled with the
    // Mandelbrot kernel, so it gets tables of its own.
    start.catalog[FractalType::Mandelbrot] = start.catalog[FractalType::Julia];
    start.begin(FractalType::Mandelbrot);
    RecordingObserver c;
    prepareLevelSetTables(state, start.driver, PlotFlags{}, &c);
    EXPECT_EQ(c.passes, 1);
}

TEST(LevelSetFallback, OtherTypesAndDragonsGetFractionZeroWithBlend) {
    const PaletteState palette = defaultPaletteState();
    LevelSetState state;
    PlotStart mandel(FractalType::Mandelbrot, mandelbrot(384));
    prepareLevelSetTables(state, mandel.driver, PlotFlags{});
    ASSERT_TRUE(state.tablesBuilt);

    // Dragons: no pass, the flag stays, yet the Mandelbrot tables (built for
    // another plot) serve nothing; every pixel is its plain entry.
    FractalParams dragons = defaultParams(FractalType::SelfSquaredDragons);
    dragons.outsideColoring = OutsideColoring::Standard;
    dragons.insideColoring = InsideColoring::Solid;
    PlotStart d(FractalType::SelfSquaredDragons, dragons, 24, 18);
    RecordingObserver observer;
    EXPECT_EQ(prepareLevelSetTables(state, d.driver, PlotFlags{}, &observer), 0);
    EXPECT_EQ(observer.passes, 0);
    EXPECT_TRUE(d.driver.levelSetTablesValid());
    EXPECT_EQ(d.driver.levelSets(), nullptr);

    std::vector<std::uint8_t> indices(24 * 18);
    auto screen = VirtualScreen::create(24, 18, PixelFormat::Rgb32);
    PlotFlags flags;
    flags.trueColorMode = true;
    d.driver.startKernels();
    do {
        d.driver.computeRow(*screen, palette, flags, indices.data() + d.driver.nextRow() * 24);
    } while (!d.driver.finishRow());
    for (int y = 0; y < 18; ++y) {
        for (int x = 0; x < 24; ++x) {
            EXPECT_EQ(screen->pixel(x, y), palette.table[indices[static_cast<std::size_t>(y * 24 + x)]]);
        }
    }

    PlotStart newton(FractalType::Newton, defaultParams(FractalType::Newton));
    EXPECT_EQ(prepareLevelSetTables(state, newton.driver, PlotFlags{}, &observer), 0);
    EXPECT_FALSE(newton.driver.levelSetTablesValid());
    EXPECT_EQ(observer.passes, 0);
    EXPECT_TRUE(state.tablesBuilt);  // the Mandelbrot tables stay for later
}

TEST(LevelSetMemory, FailedAllocationReportsOnceAndPlotsWithoutTables) {
    for (int allowed : {0, 1}) {
        PlotStart start(FractalType::Mandelbrot, mandelbrot(64));
        LevelSetState state;
        prepareLevelSetTables(state, start.driver, PlotFlags{});
        ASSERT_TRUE(state.tablesBuilt);

        start.begin(FractalType::Mandelbrot);
        start.driver.kernel.params.iterations = 65;  // forces a new pass
        RefusingGate gate(allowed);
        RecordingObserver observer;
        EXPECT_EQ(prepareLevelSetTables(state, start.driver, PlotFlags{}, &observer, &gate), 0);
        EXPECT_EQ(observer.memoryProblems, 1);
        EXPECT_EQ(observer.passes, 0);
        EXPECT_FALSE(start.driver.levelSetTablesValid());
        EXPECT_EQ(start.driver.levelSets(), nullptr);
        EXPECT_FALSE(state.levelTablesAllocated);
        EXPECT_EQ(state.tables.entryCount(), 0u);

        // The freed tables of the earlier record are not reused either.
        PlotStart back(FractalType::Mandelbrot, mandelbrot(64));
        RecordingObserver later;
        prepareLevelSetTables(state, back.driver, PlotFlags{}, &later);
        EXPECT_EQ(later.passes, 1);
    }
}

TEST(LevelSetFraction, ClampsAndIgnoresCountsBeyondTheTables) {
    LevelSetTables t;
    t.levelLow = {10.0L, 0.2L, 0.5L};
    t.levelHigh = {0.0L, 0.4L, 0.5L};
    const double m = std::exp(2.0 * 0.09);  // t = sqrt(0.09 / 2) at count 1
    const long double v = potentialValue(1, m);
    EXPECT_NEAR(static_cast<double>(v), std::sqrt(0.045), 1e-15);
    EXPECT_DOUBLE_EQ(levelSetFraction(&t, 1, m), static_cast<double>(1.0L - (v - 0.2L) / 0.2L));
    EXPECT_EQ(levelSetFraction(&t, 1, 1e300), 0.0);                      // above the range
    EXPECT_EQ(levelSetFraction(&t, 1, 1.0 + 1e-12), 0.999999999999999);  // below it
    EXPECT_EQ(levelSetFraction(&t, 2, 1000.0), 0.0);                     // empty range
    EXPECT_EQ(levelSetFraction(&t, 3, 1000.0), 0.0);                     // beyond the tables
    EXPECT_EQ(levelSetFraction(nullptr, 1, 1000.0), 0.0);

    // Large counts are scaled exactly instead of overflowing 2^n.
    const long double deep = potentialValue(16384, 1e300);
    EXPECT_GT(deep, 0.0L);
    EXPECT_EQ(potentialValue(1100, 1e10), std::sqrt(std::ldexp(0.5L * std::log(1e10L), -1100)));
}

TEST(LevelSetBatch, TrueColorImageBlendsTowardTheNextEntry) {
    RenderRequest request;
    request.params = mandelbrot(64);
    request.width = 48;
    request.height = 36;
    request.flags.trueColorMode = true;
    LevelSetState state;
    const LevelSetTables* tables = buildLevelSetTables(request, state);
    ASSERT_NE(tables, nullptr);
    const PaletteState palette = defaultPaletteState();
    auto withSets = VirtualScreen::create(48, 36, PixelFormat::Rgb32);
    auto without = VirtualScreen::create(48, 36, PixelFormat::Rgb32);
    std::vector<std::uint8_t> indices(48 * 36);
    renderImage(request, *withSets, palette, indices.data(), tables);
    renderImage(request, *without, palette, nullptr, nullptr);
    int blended = 0;
    for (int y = 0; y < 36; ++y) {
        for (int x = 0; x < 48; ++x) {
            const int index = indices[static_cast<std::size_t>(y * 48 + x)];
            EXPECT_EQ(without->pixel(x, y), palette.table[static_cast<std::size_t>(index)]);
            if (withSets->pixel(x, y) != without->pixel(x, y)) ++blended;
        }
    }
    EXPECT_GT(blended, 48 * 36 / 4);

    // Only Julia and Mandelbrot get tables; without 24-bit colouring none.
    request.type = FractalType::Sine;
    request.params = defaultParams(FractalType::Sine);
    EXPECT_EQ(buildLevelSetTables(request, state), nullptr);
    request.type = FractalType::Mandelbrot;
    request.params = mandelbrot(64);
    request.flags.trueColorMode = false;
    EXPECT_EQ(buildLevelSetTables(request, state), nullptr);
}

}  // namespace
}  // namespace fernwise
