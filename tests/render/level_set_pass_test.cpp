#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "kernels_inline.h"
#include "level_set_pass.h"
#include "level_sets.h"
#include "plot_driver.h"
#include "worker_pool.h"

namespace fernwise {
namespace {

// long double carries 10 significant bytes; the rest is padding.
bool sameLongDouble(long double a, long double b) { return std::memcmp(&a, &b, 10) == 0; }
bool sameDouble(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void expectSameTables(const LevelSetTables& a, const LevelSetTables& b, const std::string& what) {
    ASSERT_EQ(a.levelLow.size(), b.levelLow.size()) << what;
    ASSERT_EQ(a.levelHigh.size(), b.levelHigh.size()) << what;
    for (std::size_t n = 0; n < a.levelLow.size(); ++n) {
        ASSERT_TRUE(sameLongDouble(a.levelLow[n], b.levelLow[n])) << what << ", levelLow[" << n << "]";
        ASSERT_TRUE(sameLongDouble(a.levelHigh[n], b.levelHigh[n])) << what << ", levelHigh[" << n << "]";
    }
}

void expectSameKernelState(const KernelState& a, const KernelState& b, const std::string& what) {
    const PeriodicityState& p = a.periodicity;
    const PeriodicityState& q = b.periodicity;
    EXPECT_TRUE(sameDouble(p.savedX, q.savedX)) << what << ": savedX " << p.savedX << " vs " << q.savedX;
    EXPECT_TRUE(sameDouble(p.savedY, q.savedY)) << what << ": savedY " << p.savedY << " vs " << q.savedY;
    EXPECT_EQ(p.checkCounter, q.checkCounter) << what;
    EXPECT_EQ(p.checkInterval, q.checkInterval) << what;
    EXPECT_TRUE(sameDouble(p.tolerance, q.tolerance)) << what;
    EXPECT_EQ(p.lastPointInside, q.lastPointInside) << what;
    EXPECT_TRUE(sameDouble(a.point.magnitude, b.point.magnitude)) << what << ": magnitude";
    EXPECT_TRUE(sameDouble(a.point.minMagnitude, b.point.minMagnitude)) << what << ": minMagnitude";
    EXPECT_EQ(a.point.minIteration, b.point.minIteration) << what;
}

// Records the observer calls as one string, in order, and any call from a
// thread other than the one that made the log (the desktop's observer may
// only be used from its own thread).
class CallLog : public LevelSetPassObserver {
public:
    void passStarted(int rows) override { log += here() + "start" + std::to_string(rows) + " "; }
    void progressStep() override { log += here() + "step "; }
    bool cancelRequested() override {
        log += here() + "poll ";
        return ++polls == cancelAtPoll;
    }
    void passEnded() override { log += here() + "end"; }
    std::string here() const { return std::this_thread::get_id() == owner ? "" : "elsewhere:"; }
    std::thread::id owner = std::this_thread::get_id();
    std::string log;
    int polls = 0;
    int cancelAtPoll = -1;
};

std::vector<SimdLevel> supportedLevels() {
    std::vector<SimdLevel> levels;
    for (SimdLevel level : {SimdLevel::Scalar, SimdLevel::Avx2, SimdLevel::Avx512}) {
        if (simdLevelSupported(level)) levels.push_back(level);
    }
    return levels;
}

// A driver at the level-set pass of a plot of `params`: fresh (tolerance 0,
// as in the batch renderer) or after a whole plot of the same window, whose
// periodicity state the pass then inherits.
PlotDriver driverAtThePass(FractalType type, const FractalParams& params, int width, int height, bool afterAPlot,
                           bool periodicity) {
    FractalCatalog catalog;
    catalog[type] = params;
    PlotDriver driver(width, height);
    if (afterAPlot) {
        driver.loadRecord(catalog, type);
        driver.computeGeometry(1.0);
        driver.startKernels();
        auto screen = VirtualScreen::create(width, height, PixelFormat::Rgb32);
        PaletteState palette;
        palette.logicalPaletteSize = 256;
        loadPalette6(palette.table, defaultPalette());
        buildLogicalPalette(palette);
        PlotFlags flags;
        flags.periodicityChecking = periodicity;
        do {
            driver.computeRow(*screen, palette, flags);
        } while (!driver.finishRow());
    }
    driver.loadRecord(catalog, type);
    driver.computeGeometry(1.0);
    driver.beginTrueColor(true);
    driver.kernel.periodicityChecking = periodicity;
    return driver;
}

LevelSetTables zeroTables(const PlotDriver& driver) {
    LevelSetTables t;
    const auto entries = static_cast<std::size_t>(std::max(0, driver.kernel.params.iterations)) + 1;
    t.levelLow.assign(entries, 0.0L);
    t.levelHigh.assign(entries, 0.0L);
    return t;
}

// The spread-out pass against the sequential one, for every thread count and
// vector level: tables, final kernel state and observer calls.
void expectSameAsSequential(const PlotDriver& start, const std::string& what, int cancelAtPoll = -1) {
    PlotDriver reference = start;
    LevelSetTables expected = zeroTables(start);
    CallLog expectedLog;
    expectedLog.cancelAtPoll = cancelAtPoll;
    const bool completed = sampleLevelSetsSequential(expected, reference, &expectedLog);
    for (int threads : {1, 2, 3, 7}) {
        for (SimdLevel level : supportedLevels()) {
            const std::string label =
                what + ", " + std::to_string(threads) + " threads, " + std::string(simdLevelName(level));
            PlotDriver driver = start;
            LevelSetTables tables = zeroTables(start);
            CallLog log;
            log.cancelAtPoll = cancelAtPoll;
            EXPECT_EQ(sampleLevelSets(tables, driver, &log, LevelSetPassOptions{threads, level}), completed) << label;
            expectSameTables(expected, tables, label);
            expectSameKernelState(reference.kernel, driver.kernel, label);
            EXPECT_EQ(log.log, expectedLog.log) << label;
        }
    }
    // On helpers borrowed from a pool that earlier passes borrowed too.
    static WorkerPool pool(3);
    PlotDriver driver = start;
    LevelSetTables tables = zeroTables(start);
    CallLog log;
    log.cancelAtPoll = cancelAtPoll;
    EXPECT_EQ(sampleLevelSets(tables, driver, &log, LevelSetPassOptions{0, bestSimdLevel(), &pool}), completed);
    expectSameTables(expected, tables, what + ", pool");
    expectSameKernelState(reference.kernel, driver.kernel, what + ", pool");
    EXPECT_EQ(log.log, expectedLog.log) << what << ", pool";
}

FractalParams withIterations(FractalType type, int iterations) {
    FractalParams p = defaultParams(type);
    p.iterations = iterations;
    return p;
}

PlotDriver mandelbrotAtThePass(int iterations, int width, int height, bool afterAPlot, bool periodicity) {
    return driverAtThePass(FractalType::Mandelbrot, withIterations(FractalType::Mandelbrot, iterations), width, height,
                           afterAPlot, periodicity);
}

FractalParams zoomedMandelbrot(int iterations) {
    FractalParams p = defaultParams(FractalType::Mandelbrot);
    p.xmin = -0.7485;
    p.xmax = -0.7445;
    p.ymin = 0.0985;
    p.ymax = 0.1015;
    p.iterations = iterations;
    return p;
}

TEST(ParallelLevelSetPass, MatchesTheSequentialPassFreshAndAfterAPlot) {
    for (FractalType type : {FractalType::Mandelbrot, FractalType::Julia}) {
        for (int iterations : {7, 64, 600}) {
            const FractalParams p = withIterations(type, iterations);
            const std::string name =
                std::string(type == FractalType::Julia ? "julia" : "mandelbrot") + " " + std::to_string(iterations);
            expectSameAsSequential(driverAtThePass(type, p, 40, 30, false, true), name + ", fresh");
            expectSameAsSequential(driverAtThePass(type, p, 40, 30, true, true), name + ", after a plot");
            expectSameAsSequential(driverAtThePass(type, p, 40, 30, true, false), name + ", periodicity off");
        }
    }
    expectSameAsSequential(driverAtThePass(FractalType::Mandelbrot, zoomedMandelbrot(1500), 48, 36, true, true),
                           "zoomed, after a plot");
}

TEST(ParallelLevelSetPass, MatchesWhereTheCarriedCheckEndsManyOrbits) {
    // Wide tolerances make the stale saved point match often, and small
    // limits make the interval refresh inside rows again and again.
    for (double tolerance : {0.01, 0.1}) {
        for (int iterations : {5, 40, 300}) {
            for (FractalType type : {FractalType::Mandelbrot, FractalType::Julia}) {
                PlotDriver d = driverAtThePass(type, withIterations(type, iterations), 40, 30, true, true);
                d.kernel.periodicity.tolerance = tolerance;
                d.kernel.periodicity.lastPointInside = true;
                expectSameAsSequential(
                    d, "tolerance " + std::to_string(tolerance) + ", limit " + std::to_string(iterations));
            }
        }
    }
    // A saved point that orbits actually visit.
    PlotDriver d = mandelbrotAtThePass(200, 33, 21, true, true);
    d.kernel.periodicity.tolerance = 0.05;
    d.kernel.periodicity.savedX = -0.2;
    d.kernel.periodicity.savedY = 0.1;
    d.kernel.periodicity.lastPointInside = true;
    expectSameAsSequential(d, "visited saved point");
}

TEST(ParallelLevelSetPass, MatchesForToleranceThatCanNeverBeMet) {
    for (double tolerance : {std::numeric_limits<double>::quiet_NaN(), 0.0, -1.0}) {
        PlotDriver d = mandelbrotAtThePass(100, 40, 30, true, true);
        d.kernel.periodicity.tolerance = tolerance;
        d.kernel.periodicity.lastPointInside = true;
        expectSameAsSequential(d, "tolerance " + std::to_string(tolerance));
    }
    // An interval near the top of the range is held there before each point.
    PlotDriver d = mandelbrotAtThePass(400, 16, 12, true, true);
    d.kernel.periodicity.checkInterval = (1 << 30) + 12345;
    d.kernel.periodicity.checkCounter = (1 << 30) + 12000;
    d.kernel.periodicity.lastPointInside = true;
    expectSameAsSequential(d, "interval at the clamp");
}

TEST(ParallelLevelSetPass, MatchesOnTinyAndNarrowImages) {
    for (auto [w, h] : {std::pair{1, 1}, std::pair{7, 3}, std::pair{1, 40}, std::pair{40, 1}, std::pair{9, 17}}) {
        const std::string size = std::to_string(w) + "x" + std::to_string(h);
        for (bool plotted : {false, true}) {
            PlotDriver d = mandelbrotAtThePass(120, w, h, plotted, true);
            d.kernel.periodicity.lastPointInside = true;
            expectSameAsSequential(d, size + (plotted ? ", after a plot" : ", fresh"));
        }
        PlotDriver j = driverAtThePass(FractalType::Julia, withIterations(FractalType::Julia, 50), w, h, true, true);
        j.kernel.periodicity.tolerance = 0.1;
        expectSameAsSequential(j, size + ", julia");
    }
}

TEST(ParallelLevelSetPass, KeepsTheSmallestMagnitudeOfBofColoring) {
    for (InsideColoring inside : {InsideColoring::Bof33, InsideColoring::Bof34}) {
        FractalParams p = withIterations(FractalType::Mandelbrot, 150);
        p.insideColoring = inside;
        PlotDriver d = driverAtThePass(FractalType::Mandelbrot, p, 30, 20, true, true);
        d.kernel.periodicity.tolerance = 0.05;
        d.kernel.point.minMagnitude = 1e9;
        expectSameAsSequential(d, "bof");
    }
}

TEST(ParallelLevelSetPass, CancelLeavesTheSameCallsTablesAndState) {
    PlotDriver d = mandelbrotAtThePass(300, 40, 30, true, true);
    for (int poll : {1, 2, 9, 17, 30}) expectSameAsSequential(d, "cancel at poll " + std::to_string(poll), poll);
}

// Unchecked, the record is the kernel's own count and magnitude, also where
// the loop cuts an exactly repeating orbit short; a match is the first pass
// the kernel's check would stop at.
TEST(PassRowLoops, ScalarRecordsAreTheKernelsOutcome) {
    KernelState k;
    k.type = FractalType::Mandelbrot;
    k.params = withIterations(FractalType::Mandelbrot, 700);
    const double tolerance = 0.03;
    int repeating = 0;
    int matched = 0;
    for (int i = 0; i < 60; ++i) {
        double x0 = -1.9 + 0.04 * i;
        double y0 = 0.013 * (i % 17);
        double seedMagnitude = x0 * x0 + y0 * y0;
        PassRowConstants c;
        c.iterations = k.params.iterations;
        c.sizeLimit = k.params.sizeLimit;
        c.matchTest = true;
        c.tolerance = tolerance;
        c.savedX = -0.3;
        c.savedY = 0.02;
        double count = 0, magnitude = 0, matchAt = 0, matchMagnitude = 0;
        passRowScalar(c, {&x0, &y0, &seedMagnitude}, {&count, &magnitude, &matchAt, &matchMagnitude}, 1);

        double x = x0, y = y0;
        k.periodicityChecking = false;
        k.point.magnitude = seedMagnitude;
        EXPECT_EQ(count, kernels::mandelbrot(k, x, y)) << i;
        EXPECT_TRUE(sameDouble(magnitude, k.point.magnitude)) << i;
        if (count == 700) ++repeating;

        // The check with the counter far from a refresh stops at the match.
        x = x0;
        y = y0;
        k.periodicityChecking = true;
        k.point.magnitude = seedMagnitude;
        k.periodicity = PeriodicityState{c.savedX, c.savedY, 1, 1 << 30, tolerance, true};
        const std::int32_t checked = kernels::mandelbrot(k, x, y);
        if (matchAt > 0) {
            ++matched;
            EXPECT_EQ(checked, 700) << i;
            EXPECT_EQ(k.periodicity.checkCounter, matchAt) << i;
            EXPECT_TRUE(sameDouble(matchMagnitude, k.point.magnitude)) << i;
        } else {
            EXPECT_EQ(checked, count) << i;
        }
    }
    EXPECT_GT(repeating, 5);
    EXPECT_GT(matched, 0);
}

// The vector loops record every point as the scalar loop does, including
// points that match the guessed saved point and orbits that repeat exactly.
TEST(PassRowLoops, VectorLoopsRecordWhatTheScalarLoopRecords) {
    const int count = 37;
    std::vector<double> x(passRowPadded(count), 0.0), y(x.size(), 0.0);
    std::vector<double> magnitude(x.size(), std::numeric_limits<double>::infinity());
    for (int i = 0; i < count; ++i) {
        x[static_cast<std::size_t>(i)] = -2.1 + 0.07 * i;
        y[static_cast<std::size_t>(i)] = 0.02 * (i % 11);
        magnitude[static_cast<std::size_t>(i)] = x[static_cast<std::size_t>(i)] * x[static_cast<std::size_t>(i)] +
                                                 y[static_cast<std::size_t>(i)] * y[static_cast<std::size_t>(i)];
    }
    x[3] = 40.0;  // starts outside
    magnitude[3] = 1600.0;
    const PassRowSeeds seeds{x.data(), y.data(), magnitude.data()};
    struct Out {
        explicit Out(std::size_t n) : count(n), magnitude(n), matchAt(n), matchMagnitude(n) {}
        std::vector<double> count, magnitude, matchAt, matchMagnitude;
        PassRowRecords records() { return {count.data(), magnitude.data(), matchAt.data(), matchMagnitude.data()}; }
    };
    int repeats = 0;
    int matches = 0;
    for (bool mandel : {true, false}) {
        for (double tolerance : {0.0, 0.02}) {
            for (int iterations : {0, 1, 9, 1000}) {
                PassRowConstants c;
                c.mandelbrot = mandel;
                c.cx = -0.12;
                c.cy = 0.74;
                c.iterations = iterations;
                c.sizeLimit = 256.0;
                c.matchTest = tolerance > 0.0;
                c.tolerance = tolerance;
                c.savedX = -0.1;
                c.savedY = 0.05;
                Out expected(x.size());
                passRowScalar(c, seeds, expected.records(), count);
                for (int i = 0; i < count; ++i) {
                    if (expected.count[static_cast<std::size_t>(i)] == iterations && iterations == 1000) ++repeats;
                    if (expected.matchAt[static_cast<std::size_t>(i)] > 0) ++matches;
                }
                for (SimdLevel level : supportedLevels()) {
                    Out got(x.size());
                    passRowFunction(level)(c, seeds, got.records(), count);
                    for (int i = 0; i < count; ++i) {
                        const auto k = static_cast<std::size_t>(i);
                        SCOPED_TRACE(std::string(simdLevelName(level)) + " point " + std::to_string(i));
                        EXPECT_EQ(got.count[k], expected.count[k]);
                        EXPECT_TRUE(sameDouble(got.magnitude[k], expected.magnitude[k]));
                        EXPECT_EQ(got.matchAt[k], expected.matchAt[k]);
                        EXPECT_TRUE(sameDouble(got.matchMagnitude[k], expected.matchMagnitude[k]));
                    }
                }
            }
        }
    }
    EXPECT_GT(repeats, 0);
    EXPECT_GT(matches, 0);
}

}  // namespace
}  // namespace fernwise
