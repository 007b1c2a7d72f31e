#include <gtest/gtest.h>

#include <vector>

#include "plot_driver.h"

namespace fernwise {
namespace {

PaletteState defaultPaletteState(int logicalSize = 236) {
    PaletteState p;
    p.logicalPaletteSize = logicalSize;
    loadPalette6(p.table, defaultPalette());
    buildLogicalPalette(p);
    return p;
}

TEST(PlotGeometry, EdgesAreExactAndTheAspectKeepsTheTopLeftCorner) {
    FractalCatalog catalog;
    PlotDriver driver(640, 480);
    driver.loadRecord(catalog, FractalType::Mandelbrot);
    driver.computeGeometry(1.0);
    EXPECT_EQ(driver.adjustedXmax(), 1.25);
    EXPECT_EQ(driver.adjustedYmin(), -1.35);
    EXPECT_EQ(columnValue(-2.35, driver.plotSpanX(), 0, 640), -2.35);
    EXPECT_EQ(rowValue(1.35, driver.plotSpanY(), 0, 480), 1.35);
    EXPECT_EQ(columnValue(-2.0, 4.0, 8, 9), 2.0);
    EXPECT_EQ(rowValue(1.5, 3.0, 6, 7), -1.5);

    driver.computeGeometry(1.25);
    EXPECT_EQ(driver.plotSpanX(), 1.25 * (1.25 - -2.35));
    EXPECT_EQ(driver.adjustedXmax(), -2.35 + driver.plotSpanX());
    EXPECT_EQ(driver.adjustedYmin(), 1.35 - driver.plotSpanY());
    EXPECT_EQ(driver.iterationScale(), 256);

    // One-pixel images sit on the window's edge instead of dividing by zero.
    EXPECT_EQ(columnValue(-2.0, 4.0, 0, 1), -2.0);
    EXPECT_EQ(rowValue(1.5, 3.0, 0, 1), 1.5);
}

TEST(PlotGeometry, IterationScaleAndTolerance) {
    FractalCatalog catalog;
    catalog[FractalType::Julia].iterations = 1000;
    PlotDriver driver(400, 300);
    driver.loadRecord(catalog, FractalType::Julia);
    driver.computeGeometry(1.0);
    EXPECT_EQ(driver.iterationScale(), 1000);
    driver.kernel.periodicity.lastPointInside = true;
    driver.startKernels();
    EXPECT_EQ(driver.kernel.periodicity.tolerance, std::min(4.0 / 800, 3.0 / 600));
    EXPECT_FALSE(driver.kernel.periodicity.lastPointInside);
}

TEST(PlotDriver, TrueColorLevelSetsHoldTheSizeLimitForThePlotOnly) {
    FractalCatalog catalog;
    catalog[FractalType::Sine].sizeLimit = 65536.0;
    PlotDriver driver;
    driver.loadRecord(catalog, FractalType::Sine);
    EXPECT_TRUE(driver.beginTrueColor(true));
    EXPECT_EQ(driver.kernel.params.sizeLimit, 256.0);
    EXPECT_TRUE(driver.levelSetTablesValid());
    EXPECT_EQ(catalog[FractalType::Sine].sizeLimit, 65536.0);

    catalog[FractalType::Sine].outsideColoring = OutsideColoring::Fausto;
    PlotDriver other;
    other.loadRecord(catalog, FractalType::Sine);
    EXPECT_FALSE(other.beginTrueColor(true));
    EXPECT_EQ(other.kernel.params.sizeLimit, 65536.0);
}

TEST(PlotDriver, RowsRunTopDownAndCompletionRearms) {
    FractalCatalog catalog;
    PaletteState palette = defaultPaletteState(256);
    auto screen = VirtualScreen::create(8, 3, PixelFormat::Rgb32);
    PlotDriver driver(8, 3);
    EXPECT_TRUE(driver.atPlotStart());
    driver.loadRecord(catalog, FractalType::Mandelbrot);
    driver.computeGeometry(1.0);
    driver.startKernels();
    driver.beginTrueColor(true);
    PlotFlags flags;
    std::vector<int> rows;
    do {
        rows.push_back(driver.nextRow());
        driver.computeRow(*screen, palette, flags);
    } while (!driver.finishRow());
    EXPECT_EQ(rows, (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(driver.atPlotStart());
    EXPECT_FALSE(driver.levelSetTablesValid());
}

TEST(PlotDriver, PeriodicityStateCarriesAcrossRowEnds) {
    // The same image computed as one plot and with a pause between rows
    // (the driver simply continues) must be identical; a driver restarted per
    // row would lose lastPointInside at the row ends.
    RenderRequest request;
    request.params = defaultParams(FractalType::Mandelbrot);
    request.params.xmin = -0.8;
    request.params.xmax = 0.2;
    request.params.ymin = -0.5;
    request.params.ymax = 0.5;
    request.params.iterations = 2000;
    request.width = 16;
    request.height = 12;
    PaletteState palette = defaultPaletteState(256);
    auto screen = VirtualScreen::create(16, 12, PixelFormat::Rgb32);
    std::vector<std::uint8_t> whole(16 * 12);
    renderImage(request, *screen, palette, whole.data());

    FractalCatalog catalog;
    catalog[FractalType::Mandelbrot] = request.params;
    std::vector<std::uint8_t> stepped(16 * 12);
    PlotDriver driver(16, 12);
    driver.loadRecord(catalog, FractalType::Mandelbrot);
    driver.computeGeometry(1.0);
    driver.startKernels();
    do {
        driver.computeRow(*screen, palette, {}, stepped.data() + driver.nextRow() * 16);
    } while (!driver.finishRow());
    EXPECT_EQ(whole, stepped);
}

TEST(PixelTable, PaletteDisplayMapsHighEntriesToTheNearestLogicalEntry) {
    PaletteState palette = defaultPaletteState();
    RenderRequest request;
    request.type = FractalType::Mandelbrot;
    request.params.outsideColoring = OutsideColoring::Solid;
    request.params.outsideColor = 240;  // (252, 0, 128): outside the logical palette
    request.params.insideColoring = InsideColoring::Solid;
    request.params.insideColor = 100;
    request.params.xmin = 10.0;  // every point escapes before the first pass
    request.params.xmax = 11.0;
    request.width = 3;
    request.height = 2;
    request.flags.paletteDevice = true;
    auto screen = VirtualScreen::create(3, 2, PixelFormat::Indexed8);
    screen->realize(*palette.logical);
    std::vector<std::uint8_t> indices(6);
    renderImage(request, *screen, palette, indices.data());
    EXPECT_EQ(indices[0], 240);  // the raw index before display mapping
    const std::uint8_t nearest = nearestLogicalEntry(*palette.logical, palette.table[240]);
    EXPECT_LT(nearest, 236);
    EXPECT_EQ(screen->indexAt(0, 0), nearest);
    EXPECT_EQ(screen->pixel(0, 0), palette.table[nearest]);
}

TEST(PixelTable, BlendTowardTheSuccessorAndEntryOneAfter255) {
    PaletteState palette = defaultPaletteState(256);
    RenderRequest request;
    request.type = FractalType::Mandelbrot;
    request.params.outsideColoring = OutsideColoring::Fausto;
    request.width = 1;
    request.height = 1;
    request.flags.trueColorMode = true;
    auto screen = VirtualScreen::create(1, 1, PixelFormat::Rgb32);
    // The single pixel is at (xmin, ymax) = (-2.35, 1.35), which escapes in
    // the first pass (a = 1): v = fmod(0 / 4, 255) + 1 = 1, fraction 0.
    std::uint8_t index = 0;
    renderImage(request, *screen, palette, &index);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(screen->pixel(0, 0), palette.table[1]);  // fraction 0 is exactly the entry

    PaletteTable table{};
    table[1] = {100, 200, 0};
    table[254] = {0, 0, 0};
    table[255] = {10, 10, 10};
    EXPECT_EQ(blendedColor(table, 255, 0.5), (Rgb{55, 105, 5}));  // toward entry 1, not 0
    EXPECT_EQ(blendedColor(table, 254, 0.99), (Rgb{9, 9, 9}));    // truncated
    table[2] = {0, 0, 0};
    EXPECT_EQ(blendedColor(table, 1, 0.5), (Rgb{50, 100, 0}));
    EXPECT_EQ(blendedColor(table, 1, 0.999), (Rgb{1, 1, 0}));  // toward zero when falling
}

}  // namespace
}  // namespace fernwise
