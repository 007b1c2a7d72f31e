#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "level_sets.h"
#include "plot_driver.h"
#include "row_engine.h"
#include "row_pipeline.h"
#include "simd_level.h"

namespace fernwise {
namespace {

// Every image the row engine makes must equal, byte for byte, the image of
// the one-point-at-a-time driver (renderImage), whatever the thread count and
// the vector width.

PaletteState paletteFor(PixelFormat format) {
    PaletteState p;
    p.logicalPaletteSize = format == PixelFormat::Indexed8 ? 236 : 256;
    loadPalette6(p.table, defaultPalette());
    buildLogicalPalette(p);
    return p;
}

struct Image {
    std::vector<std::uint8_t> indices;
    std::vector<std::uint8_t> pixels;
};

struct Case {
    RenderRequest request;
    PixelFormat format = PixelFormat::Rgb32;
};

std::string describe(const Case& c) {
    const FractalParams& p = c.request.params;
    return std::string(fractalTypeEnumerator(c.request.type)) + " outside " +
           std::to_string(static_cast<int>(p.outsideColoring)) + " inside " +
           std::to_string(static_cast<int>(p.insideColoring)) + " mapping " +
           std::to_string(static_cast<int>(p.mappingMode)) + " iterations " + std::to_string(p.iterations) +
           (c.request.flags.periodicityChecking ? " periodicity" : "") +
           (c.request.flags.specialColoring ? " special" : "") + (c.request.flags.trueColorMode ? " 24-bit" : "") +
           (c.format == PixelFormat::Indexed8 ? " indexed" : " rgb");
}

class Renderer {
public:
    explicit Renderer(const Case& c) : case_(c), palette_(paletteFor(c.format)) {
        c_ = c;
        c_.request.flags.paletteDevice = c.format == PixelFormat::Indexed8;
        if (c_.request.flags.trueColorMode) levelSets_ = buildLevelSetTables(c_.request, levelState_);
    }

    Image reference() {
        return render([&](VirtualScreen& screen, std::uint8_t* indices) {
            renderImage(c_.request, screen, palette_, indices, levelSets_);
        });
    }

    Image parallel(int threads, SimdLevel level, RowWorkers* workers = nullptr) {
        return render([&](VirtualScreen& screen, std::uint8_t* indices) {
            renderImageParallel(c_.request, screen, palette_, indices, levelSets_, threads, level, {}, workers);
        });
    }

private:
    template <typename Draw>
    Image render(Draw draw) {
        auto screen = VirtualScreen::create(c_.request.width, c_.request.height, c_.format);
        if (c_.format == PixelFormat::Indexed8) screen->realize(*palette_.logical);
        Image image;
        image.indices.assign(static_cast<std::size_t>(c_.request.width) * c_.request.height, 0);
        draw(*screen, image.indices.data());
        const std::uint8_t* bits = screen->bits();
        image.pixels.assign(bits, bits + screen->bytesPerLine() * static_cast<std::size_t>(screen->height()));
        return image;
    }

    Case case_;
    Case c_;
    PaletteState palette_;
    LevelSetState levelState_;
    const LevelSetTables* levelSets_ = nullptr;
};

std::vector<SimdLevel> availableLevels() {
    std::vector<SimdLevel> levels{SimdLevel::Scalar};
    for (SimdLevel level : {SimdLevel::Avx2, SimdLevel::Avx512}) {
        if (simdLevelSupported(level)) levels.push_back(level);
    }
    return levels;
}

Case smallCase(FractalType type, int width = 61, int height = 47) {
    Case c;
    c.request.type = type;
    c.request.params = defaultParams(type);
    c.request.width = width;
    c.request.height = height;
    return c;
}

// Compares one case across vector widths and thread counts; `spread` picks
// which thread counts (all of them, or one per width in turn).
void expectIdentical(const Case& c, const std::vector<int>& threadCounts) {
    Renderer renderer(c);
    const Image expected = renderer.reference();
    for (SimdLevel level : availableLevels()) {
        for (int threads : threadCounts) {
            const Image got = renderer.parallel(threads, level);
            ASSERT_EQ(got.indices, expected.indices)
                << describe(c) << " " << simdLevelName(level) << " threads " << threads;
            ASSERT_EQ(got.pixels, expected.pixels)
                << describe(c) << " " << simdLevelName(level) << " threads " << threads;
        }
    }
}

constexpr OutsideColoring outsideMethods[] = {OutsideColoring::Standard, OutsideColoring::Fausto,
                                              OutsideColoring::Binary, OutsideColoring::Solid,
                                              OutsideColoring::Kirlian};
constexpr InsideColoring insideMethods[] = {InsideColoring::Solid, InsideColoring::ZMag, InsideColoring::Bof33,
                                            InsideColoring::Bof34};

class EveryType : public ::testing::TestWithParam<int> {
protected:
    FractalType type() const { return static_cast<FractalType>(GetParam()); }
};

TEST_P(EveryType, EveryColoringMethodMatchesTheScalarDriver) {
    // Every pair of methods, with periodicity checking on and off and with
    // special colouring, at every vector width; the thread count turns over
    // so that each width meets several.
    int turn = 0;
    const int threadCounts[] = {1, 2, 3, 7};
    for (OutsideColoring outside : outsideMethods) {
        for (InsideColoring inside : insideMethods) {
            for (int variant = 0; variant < 3; ++variant) {
                Case c = smallCase(type(), 37, 29);
                c.request.params.outsideColoring = outside;
                c.request.params.insideColoring = inside;
                c.request.params.outsideColor = 77;
                c.request.params.insideColor = 200;
                c.request.flags.periodicityChecking = variant != 1;
                c.request.flags.specialColoring = variant == 2;
                c.format = (turn % 2 == 0) ? PixelFormat::Rgb32 : PixelFormat::Indexed8;
                expectIdentical(c, {threadCounts[turn % 4]});
                ++turn;
                if (HasFatalFailure()) return;
            }
        }
    }
}

TEST_P(EveryType, ThreadCountsDisplayKindsAndInversion) {
    for (PixelFormat format : {PixelFormat::Rgb32, PixelFormat::Indexed8}) {
        for (MappingMode mapping : {MappingMode::Standard, MappingMode::Inversion}) {
            Case c = smallCase(type());
            c.format = format;
            c.request.params.mappingMode = mapping;
            expectIdentical(c, {1, 2, 3, 7});
            if (HasFatalFailure()) return;
        }
    }
}

TEST_P(EveryType, TwentyFourBitColoring) {
    // Level sets with the continuous-potential fractions (tables for Julia
    // and Mandelbrot), and the methods whose fractions come from their values.
    for (OutsideColoring outside : {OutsideColoring::Standard, OutsideColoring::Fausto, OutsideColoring::Kirlian}) {
        for (InsideColoring inside : {InsideColoring::ZMag, InsideColoring::Bof33}) {
            Case c = smallCase(type(), 41, 31);
            c.request.flags.trueColorMode = true;
            c.request.flags.specialColoring = type() != FractalType::Newton;
            c.request.params.outsideColoring = outside;
            c.request.params.insideColoring = inside;
            expectIdentical(c, {2, 3});
            if (HasFatalFailure()) return;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(RowEngine, EveryType, ::testing::Range(0, fractalTypeCount),
                         [](const ::testing::TestParamInfo<int>& param) {
                             return std::string(fractalTypeEnumerator(static_cast<FractalType>(param.param)));
                         });

TEST_P(EveryType, EveryWidthGivesTheScalarKernelsDoubles) {
    // A palette index hides most rounding differences; the 24-bit fractions
    // carry the low bits of the final orbit value (Kirlian), of the magnitude
    // (z-mag) and of the smallest magnitude (BOF 33), so rows from every
    // vector width must agree with the scalar kernels on them exactly.
    for (OutsideColoring outside : {OutsideColoring::Kirlian, OutsideColoring::Fausto}) {
        for (InsideColoring inside : {InsideColoring::ZMag, InsideColoring::Bof33}) {
            FractalCatalog catalog;
            catalog[type()].outsideColoring = outside;
            catalog[type()].insideColoring = inside;
            PlotDriver driver(45, 34);
            driver.loadRecord(catalog, type());
            driver.computeGeometry(1.0);
            driver.startKernels();
            PlotFlags flags;
            flags.trueColorMode = true;
            const RowEngine scalar(rowPlotFrom(driver, flags), SimdLevel::Scalar);
            RowScratch scratch;
            for (SimdLevel level : availableLevels()) {
                const RowEngine engine(rowPlotFrom(driver, flags), level);
                for (int row = 0; row < driver.imageHeight(); ++row) {
                    RowResult expected, got;
                    ASSERT_TRUE(scalar.computeRow(row, false, expected, scratch));
                    ASSERT_TRUE(engine.computeRow(row, false, got, scratch));
                    ASSERT_EQ(got.indices, expected.indices) << simdLevelName(level) << " row " << row;
                    ASSERT_EQ(got.fractions, expected.fractions) << simdLevelName(level) << " row " << row;
                    ASSERT_EQ(got.blends, expected.blends) << simdLevelName(level) << " row " << row;
                }
            }
        }
    }
}

// Windows full of inside points with a high limit, where the periodicity
// check fires on most points and lastPointInside crosses row ends (both
// edges of the first window are inside the set near the real axis).
TEST(RowEngineCarriedState, PeriodicityCheckAcrossRowEndsInZoomedWindows) {
    struct Window {
        FractalType type;
        double xmin, xmax, ymin, ymax;
        std::int32_t iterations;
    };
    const Window windows[] = {
        {FractalType::Mandelbrot, -1.0, 0.0, -0.3, 0.3, 1000},
        {FractalType::Mandelbrot, -0.8, -0.6, 0.0, 0.2, 1000},
        {FractalType::Mandelbrot, -0.3, 0.1, -0.2, 0.2, 400},
        {FractalType::Julia, -1.0, 1.0, -0.6, 0.6, 1000},
        {FractalType::Mandelbrot, -0.7454, -0.7446, 0.1126, 0.1132, 2000},
    };
    for (const Window& w : windows) {
        for (InsideColoring inside : {InsideColoring::Solid, InsideColoring::ZMag, InsideColoring::Bof34}) {
            Case c = smallCase(w.type);
            c.request.params.xmin = w.xmin;
            c.request.params.xmax = w.xmax;
            c.request.params.ymin = w.ymin;
            c.request.params.ymax = w.ymax;
            c.request.params.iterations = w.iterations;
            c.request.params.insideColoring = inside;
            c.request.params.outsideColoring = OutsideColoring::Binary;
            expectIdentical(c, {1, 2, 3, 7});
            if (HasFatalFailure()) return;
        }
    }
}

// Rows computed with the wrong carried value and then settled equal rows
// computed with the right one, and leave the same kernel state.
TEST(RowEngineCarriedState, SettlingRepairsAWrongGuess) {
    Case c = smallCase(FractalType::Mandelbrot, 29, 21);
    c.request.params.xmin = -1.0;
    c.request.params.xmax = 0.0;
    c.request.params.ymin = -0.3;
    c.request.params.ymax = 0.3;
    c.request.params.iterations = 500;
    c.request.params.insideColoring = InsideColoring::Bof33;
    FractalCatalog catalog;
    catalog[FractalType::Mandelbrot] = c.request.params;
    PlotDriver driver(c.request.width, c.request.height);
    driver.loadRecord(catalog, FractalType::Mandelbrot);
    driver.computeGeometry(1.0);
    driver.startKernels();
    for (SimdLevel level : availableLevels()) {
        const RowEngine engine(rowPlotFrom(driver, c.request.flags), level);
        RowScratch scratch;
        int repaired = 0;
        for (int row = 0; row < c.request.height; ++row) {
            for (bool truth : {false, true}) {
                RowResult right, wrong;
                ASSERT_TRUE(engine.computeRow(row, truth, right, scratch));
                ASSERT_TRUE(engine.computeRow(row, !truth, wrong, scratch));
                if (wrong.indices != right.indices) ++repaired;
                engine.settleRow(wrong, truth);
                EXPECT_EQ(wrong.indices, right.indices) << row;
                EXPECT_EQ(wrong.carriedOut, right.carriedOut) << row;
                EXPECT_EQ(wrong.pointFlags, right.pointFlags) << row;
                EXPECT_TRUE(wrong.periodicityAfter == right.periodicityAfter) << row;
            }
        }
        EXPECT_GT(repaired, 0) << "the window should make some guesses matter";
    }
}

// The desktop's use: the sequential driver and a driver fed by pipelines
// (restarted after pauses and flag changes at arbitrary rows) show the same
// rows and hold the same kernel state after every row.
void expectSameKernelState(const KernelState& a, const KernelState& b, int row) {
    EXPECT_TRUE(a.point == b.point) << row;
    EXPECT_TRUE(a.periodicity == b.periodicity) << row;
    EXPECT_TRUE(a.newton == b.newton) << row;
    EXPECT_TRUE(a == b) << row;
}

struct Interruption {
    int row;          // before this row ...
    PlotFlags flags;  // ... the flags become these
};

void expectPipelinesFollowTheDriver(FractalType type, const FractalParams& params,
                                    const std::vector<Interruption>& interruptions, PixelFormat format) {
    const int width = 33;
    const int height = 26;
    FractalCatalog catalog;
    catalog[type] = params;
    PaletteState palette = paletteFor(format);
    auto start = [&](PlotDriver& d, const PlotFlags& flags) {
        d.loadRecord(catalog, type);
        d.computeGeometry(1.0);
        d.beginTrueColor(flags.trueColorMode);
        d.startKernels();
    };
    PlotFlags flags;
    flags.paletteDevice = format == PixelFormat::Indexed8;
    PlotDriver sequential(width, height);
    PlotDriver fed(width, height);
    start(sequential, flags);
    start(fed, flags);
    auto seqScreen = VirtualScreen::create(width, height, format);
    auto fedScreen = VirtualScreen::create(width, height, format);
    std::size_t next = 0;
    int turn = 0;
    std::unique_ptr<RowPipeline> pipeline;
    do {
        const int row = sequential.nextRow();
        if (next < interruptions.size() && interruptions[next].row == row) {
            flags = interruptions[next++].flags;
            flags.paletteDevice = format == PixelFormat::Indexed8;
            // Tab or the periodicity toggle: the rows computed ahead no longer
            // serve; Pause and Plot discard them as well.
            if (pipeline && !pipeline->serves(fed, flags)) pipeline.reset();
            if (next % 2 == 0) pipeline.reset();
        }
        if (!pipeline) {
            const auto levels = availableLevels();
            pipeline = std::make_unique<RowPipeline>(fed, flags, 1 + turn % 3,
                                                     levels[static_cast<std::size_t>(turn) % levels.size()]);
            ++turn;
        }
        sequential.computeRow(*seqScreen, palette, flags);
        ASSERT_EQ(pipeline->drawNextRow(fed, flags, *fedScreen, palette, RowPipeline::untilFinished),
                  RowDelivery::Drawn);
        expectSameKernelState(sequential.kernel, fed.kernel, row);
        fed.finishRow();
    } while (!sequential.finishRow());
    EXPECT_TRUE(fed.atPlotStart());
    const std::size_t bytes = seqScreen->bytesPerLine() * static_cast<std::size_t>(height);
    EXPECT_EQ(std::vector<std::uint8_t>(seqScreen->bits(), seqScreen->bits() + bytes),
              std::vector<std::uint8_t>(fedScreen->bits(), fedScreen->bits() + bytes));

    // The next plot's level-set pass starts from the kernel state the last
    // row left, so it must find the same tables after either plot.
    if (type == FractalType::Julia || type == FractalType::Mandelbrot) {
        LevelSetTables a, b;
        for (LevelSetTables* t : {&a, &b}) {
            t->levelLow.assign(static_cast<std::size_t>(params.iterations) + 1, 0.0L);
            t->levelHigh.assign(static_cast<std::size_t>(params.iterations) + 1, 0.0L);
        }
        sequential.kernel.periodicityChecking = true;
        fed.kernel.periodicityChecking = true;
        sampleLevelSets(a, sequential);
        sampleLevelSets(b, fed);
        EXPECT_EQ(a.levelLow, b.levelLow);
        EXPECT_EQ(a.levelHigh, b.levelHigh);
    }
}

PlotFlags flagsWith(bool periodicity, bool special) {
    PlotFlags f;
    f.periodicityChecking = periodicity;
    f.specialColoring = special;
    return f;
}

TEST(RowPipeline, RestartedPipelinesFollowTheSequentialDriver) {
    const std::vector<Interruption> changes = {{5, flagsWith(true, false)},  {9, flagsWith(false, false)},
                                               {12, flagsWith(true, true)},  {13, flagsWith(true, false)},
                                               {20, flagsWith(false, true)}, {21, flagsWith(true, true)}};
    for (int t = 0; t < fractalTypeCount; ++t) {
        const auto type = static_cast<FractalType>(t);
        FractalParams params = defaultParams(type);
        if (type == FractalType::Mandelbrot) {
            params.xmin = -1.0;
            params.xmax = 0.0;
            params.ymin = -0.3;
            params.ymax = 0.3;
            params.iterations = 700;
        }
        if (type == FractalType::Newton) params.param2 = 1.0;
        if (type == FractalType::VolterraLotka || type == FractalType::TileJulia)
            params.insideColoring = InsideColoring::ZMag;
        expectPipelinesFollowTheDriver(type, params, changes, t % 2 == 0 ? PixelFormat::Rgb32 : PixelFormat::Indexed8);
        if (HasFatalFailure()) return;
    }
}

TEST(RowPipeline, RowsForOtherSettingsOrAnotherPositionAreRefused) {
    FractalCatalog catalog;
    PlotDriver driver(16, 12);
    driver.loadRecord(catalog, FractalType::Mandelbrot);
    driver.computeGeometry(1.0);
    driver.startKernels();
    PaletteState palette = paletteFor(PixelFormat::Rgb32);
    auto screen = VirtualScreen::create(16, 12, PixelFormat::Rgb32);
    const PlotFlags flags;
    RowPipeline pipeline(driver, flags, 2);
    const auto refused = [&](PlotDriver d, PlotFlags f) {
        return pipeline.drawNextRow(d, f, *screen, palette, RowPipeline::untilFinished) == RowDelivery::OutOfStep;
    };
    PlotDriver moved = driver;
    for (int i = 0; i < 3; ++i) moved.finishRow();  // the driver went on without this pipeline
    EXPECT_TRUE(refused(moved, flags));
    PlotDriver zoomed = driver;
    zoomed.kernel.params.xmin = -1.0;  // a new plot started at the same row
    EXPECT_TRUE(refused(zoomed, flags));
    PlotFlags tab = flags;
    tab.specialColoring = true;
    EXPECT_TRUE(refused(driver, tab));
    PlotFlags periodicity = flags;
    periodicity.periodicityChecking = false;
    EXPECT_TRUE(refused(driver, periodicity));
    EXPECT_EQ(pipeline.drawNextRow(driver, flags, *screen, palette, RowPipeline::untilFinished), RowDelivery::Drawn);
    EXPECT_EQ(pipeline.nextRow(), 1);
    EXPECT_FALSE(pipeline.serves(driver, flags));  // the driver has not finished the row yet
    driver.finishRow();
    EXPECT_TRUE(pipeline.serves(driver, flags));
}

TEST(RowPipeline, CancellingMidPlotStopsWithoutDeliveringMore) {
    // A large slow plot: the pipeline is dropped after two rows, and again
    // at once after starting; neither may hang or deliver a row afterwards.
    FractalCatalog catalog;
    catalog[FractalType::Sine].iterations = 4000;
    PlotDriver driver(400, 300);
    driver.loadRecord(catalog, FractalType::Sine);
    driver.computeGeometry(1.0);
    driver.startKernels();
    PaletteState palette = paletteFor(PixelFormat::Rgb32);
    auto screen = VirtualScreen::create(400, 300, PixelFormat::Rgb32);
    {
        RowPipeline pipeline(driver, PlotFlags{}, 3);
        for (int i = 0; i < 2; ++i) {
            ASSERT_EQ(pipeline.drawNextRow(driver, {}, *screen, palette, RowPipeline::untilFinished),
                      RowDelivery::Drawn);
            driver.finishRow();
        }
        pipeline.cancel();
        RowResult row;
        for (int i = 0; i < 300; ++i) {
            if (!pipeline.takeRow(row)) break;
            EXPECT_LT(row.row, 300);
        }
        EXPECT_FALSE(pipeline.takeRow(row, RowPipeline::untilFinished));
    }
    { RowPipeline dropped(driver, PlotFlags{}, 2); }
    SUCCEED();
}

TEST(RowPipeline, AResumedPlotKeepsThePerPlotValuesOfItsFirstRow) {
    // Newton tables and the Volterra-Lotka half step are built at the plot's
    // first point; a pipeline started for later rows must use those, not
    // build new ones from a record changed since.
    for (FractalType type : {FractalType::Newton, FractalType::VolterraLotka}) {
        FractalCatalog catalog;
        catalog[type].param2 = type == FractalType::Newton ? 1.0 : catalog[type].param2;
        PlotDriver a(20, 10), b(20, 10);
        for (PlotDriver* d : {&a, &b}) {
            d->loadRecord(catalog, type);
            d->computeGeometry(1.0);
            d->startKernels();
        }
        PaletteState palette = paletteFor(PixelFormat::Rgb32);
        auto sa = VirtualScreen::create(20, 10, PixelFormat::Rgb32);
        auto sb = VirtualScreen::create(20, 10, PixelFormat::Rgb32);
        a.computeRow(*sa, palette, {});
        a.finishRow();
        {
            RowPipeline first(b, PlotFlags{}, 1);
            ASSERT_EQ(first.drawNextRow(b, {}, *sb, palette, RowPipeline::untilFinished), RowDelivery::Drawn);
            b.finishRow();
        }
        expectSameKernelState(a.kernel, b.kernel, 0);
        // The working copy changes under a paused plot (it cannot in the
        // program, which rearms); later rows still use the first row's values.
        a.kernel.params.param1 += 1.0;
        b.kernel.params.param1 += 1.0;
        RowPipeline rest(b, PlotFlags{}, 2);
        do {
            const int row = a.nextRow();
            a.computeRow(*sa, palette, {});
            ASSERT_EQ(rest.drawNextRow(b, {}, *sb, palette, RowPipeline::untilFinished), RowDelivery::Drawn);
            expectSameKernelState(a.kernel, b.kernel, row);
            b.finishRow();
        } while (!a.finishRow());
        const std::size_t bytes = sa->bytesPerLine() * 10;
        EXPECT_EQ(std::vector<std::uint8_t>(sa->bits(), sa->bits() + bytes),
                  std::vector<std::uint8_t>(sb->bits(), sb->bits() + bytes));
    }
}

// Helpers kept from image to image give the same images as threads started
// for each one, whatever the thread count asked for and whatever other
// pipeline holds them meanwhile.
TEST(RowWorkers, ImagesOneAfterAnotherOnTheSameHelpers) {
    RowWorkers workers(3);
    EXPECT_EQ(workers.size(), 3);
    for (FractalType type : {FractalType::Mandelbrot, FractalType::Julia, FractalType::Newton, FractalType::Sine}) {
        Case c = smallCase(type, 53, 41);
        c.request.flags.periodicityChecking = true;
        Renderer renderer(c);
        const Image expected = renderer.reference();
        for (int threads : {0, 1, 2, 4, 9}) {
            const Image got = renderer.parallel(threads, bestSimdLevel(), &workers);
            ASSERT_EQ(got.indices, expected.indices) << describe(c) << " threads " << threads;
            ASSERT_EQ(got.pixels, expected.pixels) << describe(c) << " threads " << threads;
        }
    }
}

TEST(RowWorkers, APipelineFindingThemBusyStartsItsOwn) {
    FractalCatalog catalog;
    PlotDriver driver(40, 30);
    driver.loadRecord(catalog, FractalType::Mandelbrot);
    driver.computeGeometry(1.0);
    driver.startKernels();
    PaletteState palette = paletteFor(PixelFormat::Rgb32);
    RowWorkers workers(2);
    RowPipeline first(driver, PlotFlags{}, workers, 2);
    RowPipeline second(driver, PlotFlags{}, workers, 2);
    EXPECT_EQ(first.threadCount(), 2);
    EXPECT_EQ(second.threadCount(), 2);
    for (RowPipeline* pipeline : {&first, &second}) {
        PlotDriver d = driver;
        auto screen = VirtualScreen::create(40, 30, PixelFormat::Rgb32);
        for (int row = 0; row < 30; ++row) {
            ASSERT_EQ(pipeline->drawNextRow(d, {}, *screen, palette, RowPipeline::untilFinished), RowDelivery::Drawn);
            d.finishRow();
        }
    }
}

TEST(RowWorkers, DroppingAPipelineMidPlotFreesThemForTheNext) {
    FractalCatalog catalog;
    catalog[FractalType::Sine].iterations = 4000;
    PlotDriver driver(200, 150);
    driver.loadRecord(catalog, FractalType::Sine);
    driver.computeGeometry(1.0);
    driver.startKernels();
    PaletteState palette = paletteFor(PixelFormat::Rgb32);
    auto screen = VirtualScreen::create(200, 150, PixelFormat::Rgb32);
    RowWorkers workers(2);
    for (int round = 0; round < 3; ++round) {
        RowPipeline pipeline(driver, PlotFlags{}, workers);
        ASSERT_EQ(pipeline.drawNextRow(driver, {}, *screen, palette, RowPipeline::untilFinished), RowDelivery::Drawn);
        driver.finishRow();
    }
    // The last round's helpers were given back: a small image renders on them.
    Renderer renderer(smallCase(FractalType::Mandelbrot));
    EXPECT_EQ(renderer.parallel(3, bestSimdLevel(), &workers).indices, renderer.reference().indices);
}

// Julia and Mandelbrot without BOF tracking or the periodicity check run in
// lanes that each take the next point of the row as soon as theirs ends, in
// rounds that test only at their end where an escaped orbit provably stays
// escaped. Rows long enough for many rounds and a tail; limits that fall
// inside a round, on its end and before its end; and windows where the bound
// fails (small size limits, a large Julia c, inversion near the origin), so
// that every pass is tested. The 24-bit fractions carry the low bits of the
// final orbit value (Kirlian) and of the magnitude (z-mag).
TEST(RowEngineLanes, EveryWindowKindGivesTheScalarKernelsDoubles) {
    struct Window {
        FractalType type;
        double xmin, xmax, ymin, ymax;
        std::int32_t iterations;
        double sizeLimit;
        MappingMode mapping = MappingMode::Standard;
        double param1 = 0.32, param2 = 0.043;
    };
    const Window windows[] = {
        {FractalType::Mandelbrot, -0.7454, -0.7446, 0.1126, 0.1132, 1000, 256.0},
        {FractalType::Mandelbrot, -2.35, 1.25, -1.35, 1.35, 256, 256.0},
        {FractalType::Mandelbrot, -2.35, 1.25, -1.35, 1.35, 17, 256.0},
        {FractalType::Mandelbrot, -2.35, 1.25, -1.35, 1.35, 16, 256.0},
        {FractalType::Mandelbrot, -2.35, 1.25, -1.35, 1.35, 15, 256.0},
        {FractalType::Mandelbrot, -2.35, 1.25, -1.35, 1.35, 1, 256.0},
        {FractalType::Mandelbrot, -0.7454, -0.7446, 0.1126, 0.1132, 500, 4.0},
        {FractalType::Mandelbrot, -1.0, 0.5, -0.1, 0.6, 300, 31.0},
        {FractalType::Mandelbrot, -1.0, 0.5, -0.1, 0.6, 300, 32.0},
        {FractalType::Mandelbrot, -0.6, 0.6, -0.45, 0.45, 300, 256.0, MappingMode::Inversion},
        {FractalType::Mandelbrot, 100.0, 300.0, -50.0, 50.0, 300, 1e6},
        {FractalType::Julia, -0.4, 0.4, -0.3, 0.3, 2000, 256.0},
        {FractalType::Julia, -2.0, 2.0, -1.5, 1.5, 300, 1e6},
        {FractalType::Julia, -12.0, 12.0, -9.0, 9.0, 300, 256.0, MappingMode::Standard, 150.0, 0.0},
        {FractalType::Julia, -2.0, 2.0, -1.5, 1.5, 300, 256.0, MappingMode::Inversion},
    };
    for (const Window& w : windows) {
        FractalCatalog catalog;
        FractalParams& p = catalog[w.type];
        p.xmin = w.xmin;
        p.xmax = w.xmax;
        p.ymin = w.ymin;
        p.ymax = w.ymax;
        p.iterations = w.iterations;
        p.sizeLimit = w.sizeLimit;
        p.mappingMode = w.mapping;
        p.param1 = w.param1;
        p.param2 = w.param2;
        // The plain colouring (level sets, a solid inside, 8-bit) has the
        // loop write every value of each row's last point only.
        for (bool plain : {false, true}) {
            p.outsideColoring = plain ? OutsideColoring::Standard : OutsideColoring::Kirlian;
            p.insideColoring = plain ? InsideColoring::Solid : InsideColoring::ZMag;
            PlotDriver driver(331, 9);
            driver.loadRecord(catalog, w.type);
            driver.computeGeometry(1.0);
            driver.startKernels();
            for (bool trueColor : {true, false}) {
                if (plain && trueColor) continue;
                PlotFlags flags;
                flags.trueColorMode = trueColor;
                flags.periodicityChecking = false;
                const RowEngine scalar(rowPlotFrom(driver, flags), SimdLevel::Scalar);
                RowScratch scratch;
                for (SimdLevel level : availableLevels()) {
                    const RowEngine engine(rowPlotFrom(driver, flags), level);
                    // Runs of several rows, whose lanes pass from one row's points to the next.
                    std::array<RowResult, RowEngine::maxRowsPerRun> run;
                    std::array<RowResult*, RowEngine::maxRowsPerRun> results{};
                    for (std::size_t i = 0; i < run.size(); ++i) results[i] = &run[i];
                    for (int row = 0; row < driver.imageHeight(); ++row) {
                        const int inRun = row % RowEngine::maxRowsPerRun;
                        if (inRun == 0) {
                            const int count = std::min(RowEngine::maxRowsPerRun, driver.imageHeight() - row);
                            ASSERT_TRUE(engine.computeRows(
                                row, count, [] { return false; }, results.data(), scratch));
                        }
                        RowResult expected;
                        ASSERT_TRUE(scalar.computeRow(row, false, expected, scratch));
                        const RowResult& got = run[static_cast<std::size_t>(inRun)];
                        const std::string where =
                            std::string(fractalTypeEnumerator(w.type)) + " x " + std::to_string(w.xmin) +
                            " iterations " + std::to_string(w.iterations) + " limit " + std::to_string(w.sizeLimit) +
                            " " + std::string(simdLevelName(level)) + " row " + std::to_string(row);
                        ASSERT_EQ(got.indices, expected.indices) << where;
                        ASSERT_EQ(got.fractions, expected.fractions) << where;
                        ASSERT_EQ(got.carriedOut, expected.carriedOut) << where;
                        KernelState a = driver.kernel, b = driver.kernel;
                        scalar.applyKernelState(expected, a);
                        engine.applyKernelState(got, b);
                        ASSERT_EQ(a.point.magnitude, b.point.magnitude) << where;
                        ASSERT_EQ(a.point.minMagnitude, b.point.minMagnitude) << where;
                        ASSERT_EQ(a.point.minIteration, b.point.minIteration) << where;
                    }
                }
            }
        }
    }
}

TEST(SimdLevel, NamesAndFallback) {
    for (SimdLevel level : {SimdLevel::Scalar, SimdLevel::Avx2, SimdLevel::Avx512}) {
        EXPECT_EQ(parseSimdLevel(simdLevelName(level)), level);
        EXPECT_TRUE(simdLevelSupported(supportedSimdLevel(level)));
    }
    EXPECT_FALSE(parseSimdLevel("sse9"));
    EXPECT_TRUE(simdLevelSupported(SimdLevel::Scalar));
    EXPECT_EQ(bestSimdLevel(), supportedSimdLevel(SimdLevel::Avx512));
}

}  // namespace
}  // namespace fernwise
