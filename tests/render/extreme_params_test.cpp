// Records at the edges of what doubles hold, straight into the core (the
// Parameters dialog and the batch renderer hold window bounds to +-20): no
// trap and no undefined behaviour (the sanitizer build runs these), and the
// driver writes every pixel of the image. The pixels of a colour screen
// start with a top byte of 0, which no written pixel has.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "level_sets.h"
#include "plot_driver.h"
#include "row_pipeline.h"

namespace fernwise {
namespace {

constexpr std::uint32_t unwritten = 0x00c0ffeeu;

PaletteState paletteState() {
    PaletteState palette;
    palette.logicalPaletteSize = 256;
    loadPalette6(palette.table, defaultPalette());
    buildLogicalPalette(palette);
    return palette;
}

enum class Driver { OneRowAtATime, AllThreads };

// Renders the request as the desktop program (one row at a time) or the
// batch renderer (every core) would, with level-set tables when 24-bit
// colouring applies, and counts the pixels left unwritten.
int unwrittenPixels(const RenderRequest& request, Driver driver) {
    auto screen = VirtualScreen::create(request.width, request.height, PixelFormat::Rgb32);
    if (!screen) return -1;
    for (int y = 0; y < request.height; ++y) std::fill_n(screen->rgbRow(y), request.width, unwritten);
    const PaletteState palette = paletteState();
    std::vector<std::uint8_t> indices(static_cast<std::size_t>(request.width) *
                                      static_cast<std::size_t>(request.height));
    LevelSetState levelSets;
    const LevelSetTables* tables = buildLevelSetTables(request, levelSets);
    if (driver == Driver::OneRowAtATime) {
        renderImage(request, *screen, palette, indices.data(), tables);
    } else {
        renderImageParallel(request, *screen, palette, indices.data(), tables, 0);
    }
    int missing = 0;
    for (int y = 0; y < request.height; ++y) {
        for (int x = 0; x < request.width; ++x) missing += screen->rgbRow(y)[x] >> 24 != 0xff;
    }
    return missing;
}

struct Window {
    const char* name;
    double xmin, xmax, ymin, ymax;
};

// A window two doubles wide at 0.5, one of a few of the smallest
// subnormals, the largest bounds the format comfortably holds, the whole
// range, and a window in the right half-plane whose orbits overflow to
// infinity and then to not-a-number (infinity minus infinity).
std::vector<Window> extremeWindows() {
    const double nextToHalf = std::nextafter(0.5, 1.0);
    const double tiny = std::numeric_limits<double>::denorm_min();
    const double huge = std::numeric_limits<double>::max();
    return {
        {"twoDoublesWide", 0.5, nextToHalf, 0.5, std::nextafter(nextToHalf, 1.0)},
        {"subnormal", 0.0, 4 * tiny, -3 * tiny, 3 * tiny},
        {"plusMinus1e300", -1e300, 1e300, -1e300, 1e300},
        {"wholeRange", -huge, huge, -huge, huge},
        {"overflowing", 1e200, 1e300, 1e150, 1e250},
    };
}

FractalParams withWindow(FractalType type, const Window& w) {
    FractalParams params = defaultParams(type);
    params.xmin = w.xmin;
    params.xmax = w.xmax;
    params.ymin = w.ymin;
    params.ymax = w.ymax;
    return params;
}

std::vector<FractalType> allTypes() {
    std::vector<FractalType> types;
    for (int t = 0; t < fractalTypeCount; ++t) types.push_back(static_cast<FractalType>(t));
    return types;
}

class ExtremeWindows : public ::testing::TestWithParam<Driver> {};

TEST_P(ExtremeWindows, EveryTypeColoringAndMappingColorsEveryPixel) {
    const OutsideColoring outsides[] = {OutsideColoring::Standard, OutsideColoring::Fausto, OutsideColoring::Binary,
                                        OutsideColoring::Solid, OutsideColoring::Kirlian};
    const InsideColoring insides[] = {InsideColoring::Solid, InsideColoring::ZMag, InsideColoring::Bof33,
                                      InsideColoring::Bof34};
    for (const Window& window : extremeWindows()) {
        for (const FractalType type : allTypes()) {
            for (const MappingMode mapping : {MappingMode::Standard, MappingMode::Inversion}) {
                for (std::size_t c = 0; c < std::size(outsides); ++c) {
                    RenderRequest request;
                    request.type = type;
                    request.params = withWindow(type, window);
                    request.params.mappingMode = mapping;
                    request.params.iterations = 50;
                    request.params.outsideColoring = outsides[c];
                    request.params.insideColoring = insides[c % std::size(insides)];
                    request.width = 5;
                    request.height = 3;
                    request.flags.specialColoring = c % 2 == 1;
                    for (const bool trueColor : {false, true}) {
                        request.flags.trueColorMode = trueColor;
                        EXPECT_EQ(unwrittenPixels(request, GetParam()), 0)
                            << window.name << " " << fractalTypeName(type) << " mapping " << static_cast<int>(mapping)
                            << " outside " << c << " trueColor " << trueColor;
                    }
                }
            }
        }
    }
}

TEST_P(ExtremeWindows, HugeTypeParametersOverflowEveryOrbit) {
    // Type parameters far outside what validation lets through, on each
    // type's own window, whose centre lies exactly on zero at this size.
    for (const FractalType type : allTypes()) {
        for (const double p : {1e300, -1e300, std::numeric_limits<double>::max(), 1e-320}) {
            RenderRequest request;
            request.type = type;
            request.params = defaultParams(type);
            request.params.param1 = p;
            request.params.param2 = -p;
            request.params.iterations = 40;
            request.width = 9;
            request.height = 7;
            request.flags.trueColorMode = true;
            EXPECT_EQ(unwrittenPixels(request, GetParam()), 0) << fractalTypeName(type) << " " << p;
        }
    }
}

TEST_P(ExtremeWindows, OnePixelAndOneRowImages) {
    for (const FractalType type : allTypes()) {
        for (const auto& [width, height] : {std::pair{1, 1}, std::pair{1601, 1}, std::pair{1, 1201}}) {
            RenderRequest request;
            request.type = type;
            request.params = defaultParams(type);
            request.params.iterations = 30;
            request.width = width;
            request.height = height;
            request.flags.trueColorMode = true;
            EXPECT_EQ(unwrittenPixels(request, GetParam()), 0)
                << fractalTypeName(type) << " " << width << "x" << height;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BothDrivers, ExtremeWindows, ::testing::Values(Driver::OneRowAtATime, Driver::AllThreads),
                         [](const ::testing::TestParamInfo<Driver>& param) {
                             return param.param == Driver::OneRowAtATime ? std::string("OneRowAtATime")
                                                                         : std::string("AllThreads");
                         });

// The largest iteration limit on the largest image, once, on every core. The
// default Mandelbrot window holds the set's whole interior, so periodicity
// checking has to end most inside points early for this to stay quick.
TEST(ExtremeLimits, SixteenThousandIterationsOnTheLargestImage) {
    RenderRequest request;
    request.params.iterations = 16384;
    request.width = 1600;
    request.height = 1200;
    EXPECT_EQ(unwrittenPixels(request, Driver::AllThreads), 0);
}

}  // namespace
}  // namespace fernwise
