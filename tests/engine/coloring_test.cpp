#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "coloring.h"

namespace fernwise {
namespace {

struct Coloring {
    KernelState state;
    ColoringContext context;
    double fraction = 0.0;
    bool blend = false;

    explicit Coloring(FractalType type = FractalType::Mandelbrot) {
        state.type = type;
        state.params = defaultParams(type);
        context.iterationScale = std::max(state.params.iterations, 256);
    }
    void outside() { state.point.magnitude = state.params.sizeLimit + 1.0; }
    void inside(double magnitude = 0.5) { state.point.magnitude = magnitude; }
    std::int32_t color(std::int32_t a, double x = 0.0, double y = 0.0, std::int32_t column = 0) {
        fraction = 0.0;
        blend = false;
        return colorPoint(state, context, a, x, y, column, fraction, blend);
    }
};

TEST(StandardColoring, BandsRepeatEvery256Counts) {
    Coloring c;
    c.outside();
    EXPECT_EQ(c.color(255), 255);
    EXPECT_EQ(c.color(256), 1);
    EXPECT_EQ(c.color(257), 1);
    EXPECT_EQ(c.color(300), 44);
    EXPECT_EQ(c.color(0), 0);
    EXPECT_EQ(c.color(1), 1);
}

TEST(StandardColoring, TrueColorBlendsWithFractionZeroWithoutTables) {
    Coloring c;
    c.outside();
    c.context.trueColorMode = true;
    c.context.levelSetTablesValid = true;  // valid but absent: still 0
    EXPECT_EQ(c.color(10), 10);
    EXPECT_TRUE(c.blend);
    EXPECT_EQ(c.fraction, 0.0);
}

TEST(BinaryDecomposition, SecondColorBelowTheAxisNeverOnEntryZero) {
    Coloring c;
    c.outside();
    c.state.params.outsideColoring = OutsideColoring::Binary;
    c.state.params.binaryOffset = 24;
    EXPECT_EQ(c.color(100, 0.0, -1.0), 124);
    EXPECT_EQ(c.color(232, 0.0, -1.0), 1);
    EXPECT_EQ(c.color(100, 0.0, 1.0), 100);
    EXPECT_EQ(c.color(232, 0.0, 1.0), 233);
    c.context.trueColorMode = true;
    c.color(100, 0.0, -1.0);
    EXPECT_FALSE(c.blend);
}

TEST(InsideColoring, ZMagBofAndSolid) {
    Coloring c;
    c.inside(0.5);
    c.state.params.insideColoring = InsideColoring::ZMag;
    EXPECT_EQ(c.color(256), 129);
    c.state.params.iterations = 1000;
    c.context.iterationScale = 1000;
    c.inside(0.3);
    EXPECT_EQ(c.color(1000), 46);

    c.state.params.insideColoring = InsideColoring::Bof34;
    for (auto [minIteration, expected] : {std::pair{0, 1}, {255, 1}, {254, 255}}) {
        c.state.point.minIteration = minIteration;
        EXPECT_EQ(c.color(1000), expected);
    }

    c.state.params.insideColoring = InsideColoring::Solid;
    c.state.params.insideColor = 0;
    EXPECT_EQ(c.color(1000), 0);  // the only way an inside point gets entry 0
}

TEST(InsideColoring, ZMagFractionWithTrueColor) {
    Coloring c;
    c.inside(0.5);
    c.state.params.insideColoring = InsideColoring::ZMag;
    c.context.trueColorMode = true;
    c.inside(0.50390625);  // 256 * m = 129: the fraction is exactly 0
    EXPECT_EQ(c.color(256), 130);
    EXPECT_EQ(c.fraction, 0.0);
    EXPECT_TRUE(c.blend);
}

TEST(Kirlian, UsesTheArctangentAndTheTrigonometricTerms) {
    Coloring c;
    c.outside();
    c.state.params.outsideColoring = OutsideColoring::Kirlian;
    EXPECT_EQ(c.color(5, 1.0, 0.0), 15);
    // x = 0: the arctangent of y/0 is +-pi/2; x = y = 0 adds nothing.
    EXPECT_EQ(c.color(5, 0.0, 1.0), static_cast<int>(std::atan(1.0 / 0.0) + ((std::sin(0.0) + 16.0) - std::cos(1.0))));
    EXPECT_EQ(c.color(5, 0.0, 0.0), 15);
    // A value that is not finite gives index 1 and fraction 0.
    c.context.trueColorMode = true;
    EXPECT_EQ(c.color(5, std::numeric_limits<double>::infinity(), 0.0), 1);
    EXPECT_EQ(c.fraction, 0.0);
}

TEST(Kirlian, SineLimitsTheFinalValueFirst) {
    Coloring c(FractalType::Sine);
    c.outside();
    c.state.params.outsideColoring = OutsideColoring::Kirlian;
    const double limited = std::atan(2.0 / 1e-5) + ((std::sin(1e-5) + 16.0) - std::cos(2.0));
    EXPECT_EQ(c.color(5, -1e-7, 2.0), static_cast<int>(limited));
    const double huge = std::atan(100000.0 / 100000.0) + ((std::sin(100000.0) + 16.0) - std::cos(100000.0));
    EXPECT_EQ(c.color(5, 1e9, 1e9), static_cast<int>(huge));
}

TEST(Fausto, UsesColumnAndRowCountdown) {
    Coloring c;
    c.outside();
    c.state.params.outsideColoring = OutsideColoring::Fausto;
    c.context.rowCounter = 479;  // top row of a 480-row image
    EXPECT_EQ(c.color(10, 0.0, 0.0, 0), 12);
    c.context.trueColorMode = true;
    c.color(10, 0.0, 0.0, 0);
    EXPECT_DOUBLE_EQ(c.fraction, 479.0 / 40.0 + 1.0 - 12.0);
    // a = 0 divides by zero: index 1, fraction 0, blend set.
    EXPECT_EQ(c.color(0, 0.0, 0.0, 3), 1);
    EXPECT_EQ(c.fraction, 0.0);
    EXPECT_TRUE(c.blend);
}

TEST(KernelDecided, IndexOutsideTheRangeShowsAsOne) {
    Coloring c;
    c.context.trueColorMode = true;
    c.state.point.colorDecided = true;
    c.state.point.decidedIndex = 300;
    c.state.point.decidedValue = 300.25;
    EXPECT_EQ(c.color(0), 1);
    EXPECT_DOUBLE_EQ(c.fraction, 0.25);
    EXPECT_FALSE(c.state.point.colorDecided);
    c.state.point.colorDecided = true;
    c.state.point.decidedIndex = 1;
    c.state.point.decidedValue = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(c.color(0), 1);
    EXPECT_EQ(c.fraction, 0.0);
}

TEST(NewtonColoring, SolidByBasinParity) {
    Coloring c(FractalType::Newton);
    c.outside();
    c.state.params.outsideColoring = OutsideColoring::Solid;
    c.state.params.outsideColor = 77;
    c.state.newton.degree = 3;
    const std::pair<int, int> odd[] = {{0, 77}, {1, 0}, {2, 0}, {noBasin, 0}};
    for (auto [basin, expected] : odd) {
        c.state.newton.basinIndex = basin;
        EXPECT_EQ(c.color(10), expected) << "basin " << basin;
    }
    c.state.newton.degree = 4;
    const std::pair<int, int> even[] = {{0, 77}, {1, 0}, {2, 77}, {3, 0}};
    for (auto [basin, expected] : even) {
        c.state.newton.basinIndex = basin;
        EXPECT_EQ(c.color(10), expected) << "basin " << basin;
    }
    c.state.newton.basinIndex = 0;
    EXPECT_EQ(c.color(2), 0);  // a <= 2
}

TEST(NewtonColoring, BinaryComparesTheAngleWithTheRoot) {
    Coloring c(FractalType::Newton);
    c.outside();
    c.state.params.outsideColoring = OutsideColoring::Binary;
    c.state.params.binaryOffset = 18;
    c.state.newton.degree = 3;
    c.state.newton.rootAngles = {0.0, 6.283185307179586 / 3, 2 * (6.283185307179586 / 3)};
    c.state.newton.basinIndex = 1;
    EXPECT_EQ(c.color(10, std::cos(2.0), std::sin(2.0)), 28);  // 2.0 < 2.094: clockwise
    EXPECT_EQ(c.color(10, std::cos(2.2), std::sin(2.2)), 10);
    c.state.newton.basinIndex = 0;
    EXPECT_EQ(c.color(10, 1.0, -0.001), 28);
    c.state.newton.basinIndex = noBasin;
    EXPECT_EQ(c.color(10, 1.0, -0.001), 10);
}

}  // namespace
}  // namespace fernwise
