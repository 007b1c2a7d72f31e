#include <gtest/gtest.h>

#include <cmath>

#include "kernels.h"

namespace fernwise {
namespace {

// A kernel state for one type with the driver's per-point seeding done.
KernelState stateFor(FractalType type) {
    KernelState s;
    s.type = type;
    s.params = defaultParams(type);
    return s;
}

std::int32_t evaluate(KernelState& s, double& x, double& y, int column = 1, int row = 1) {
    s.point.magnitude = x * x + y * y;
    s.point.minMagnitude = std::max(s.params.iterations, 256);
    s.point.minIteration = 0;
    s.point.colorDecided = false;
    s.periodicity.savedX = 0.0;
    s.periodicity.savedY = 0.0;
    s.periodicity.checkCounter = 1;
    s.periodicity.checkInterval = 3;
    return iteratePoint(s, x, y, column, row);
}

TEST(JuliaMandelbrot, OriginRunsToTheLimitWithoutTheCheck) {
    KernelState s = stateFor(FractalType::Mandelbrot);
    s.periodicityChecking = false;
    double x = 0.0, y = 0.0;
    EXPECT_EQ(evaluate(s, x, y), 256);
    EXPECT_TRUE(s.periodicity.lastPointInside);  // set even with the check off
}

TEST(JuliaMandelbrot, PeriodicityDetectsAfterAnInsidePoint) {
    KernelState s = stateFor(FractalType::Mandelbrot);
    s.periodicity.tolerance = 1e-3;
    s.periodicity.lastPointInside = true;
    double x = 0.0, y = 0.0;
    // The first iterate is 0 + 0i, which matches the saved 0 + 0i at once.
    EXPECT_EQ(evaluate(s, x, y), 256);
    EXPECT_EQ(s.periodicity.checkCounter, 1);

    // Julia with c = 0.32 + 0.043i: a first iterate within the tolerance of 0.
    KernelState j = stateFor(FractalType::Julia);
    j.periodicity.tolerance = 0.5;
    j.periodicity.lastPointInside = true;
    double jx = 0.0, jy = 0.0;
    EXPECT_EQ(evaluate(j, jx, jy), 256);
}

TEST(JuliaMandelbrot, CheckRefreshesTheSavedValueOnTheGrowingInterval) {
    KernelState s = stateFor(FractalType::Mandelbrot);
    s.periodicity.tolerance = 0.0;  // never matches: watch the refreshes
    s.periodicity.lastPointInside = true;
    s.params.iterations = 10;
    double x = -1.0, y = 0.0;  // the orbit -1, 0, -1, 0, ...
    EXPECT_EQ(evaluate(s, x, y), 10);
    // Refreshes after passes 3 (interval 7) and 10 (interval 15).
    EXPECT_EQ(s.periodicity.checkInterval, 15);
    EXPECT_EQ(s.periodicity.checkCounter, 1);
    EXPECT_EQ(s.periodicity.savedX, x);
}

TEST(JuliaMandelbrot, EscapedBeforeTheFirstPassAndOutsidePointsClearTheFlag) {
    KernelState s = stateFor(FractalType::Mandelbrot);
    s.periodicity.lastPointInside = true;
    double x = 20.0, y = 0.0;
    EXPECT_EQ(evaluate(s, x, y), 0);
    EXPECT_EQ(x, 20.0);
    EXPECT_FALSE(s.periodicity.lastPointInside);
}

TEST(JuliaMandelbrot, BofTracksTheSmallestMagnitudeWithThePassBeforeIncrement) {
    KernelState s = stateFor(FractalType::Mandelbrot);
    s.params.insideColoring = InsideColoring::Bof34;
    s.periodicityChecking = false;
    s.params.iterations = 5;
    double x = 0.5, y = 0.0;  // 0.75, 1.0625, ... growing: the first pass is smallest
    evaluate(s, x, y);
    EXPECT_EQ(s.point.minIteration, 0);
    EXPECT_DOUBLE_EQ(s.point.minMagnitude, 0.75 * 0.75);
}

TEST(SelfSquaredDragons, EscapeTestSeesTheValueOnePassBehind) {
    KernelState s = stateFor(FractalType::SelfSquaredDragons);
    double x = 3.0, y = 0.0;  // seeded 9 > 4: no pass
    EXPECT_EQ(evaluate(s, x, y), 0);
    double u = 1.0, v = 1.0;
    // Pass 1 measures |1 + i|^2 = 2 and moves to 2.6105 - 0.6825i; pass 2
    // measures that value (above 4) and moves on; then the loop ends.
    const double x1 = 1.6465 * 1.0 + 0.964 * 1.0;
    const double y1 = 0.964 * 1.0 - 1.6465 * 1.0;
    EXPECT_EQ(evaluate(s, u, v), 2);
    EXPECT_EQ(s.point.magnitude, x1 * x1 + y1 * y1);
}

TEST(TileJulia, DecidesItsIndexFromTheAcceptedPasses) {
    KernelState s = stateFor(FractalType::TileJulia);
    double x = 1.5, y = 0.0;  // 15 z' far outside: escapes in the first inner pass
    std::int32_t n = evaluate(s, x, y);
    EXPECT_TRUE(s.point.colorDecided);
    if (n == 0 || s.point.magnitude > s.params.sizeLimit) {
        EXPECT_EQ(s.point.decidedIndex, 1);
    }
    // The origin: z' = 0 and 15 z' = 0 is bounded under the Julia map, so k = 0
    // in the first pass: n = 0 and index 3*0 mod 255 + 1 = 1.
    KernelState o = stateFor(FractalType::TileJulia);
    double ox = 0.0, oy = 0.0;
    EXPECT_EQ(evaluate(o, ox, oy), 0);
    EXPECT_EQ(o.point.decidedIndex, 1);
    EXPECT_EQ(o.point.decidedValue, 1.0);
    EXPECT_EQ(tileEscapeCount(o, 0.0, 0.0), 0);
    EXPECT_EQ(tileEscapeCount(o, 10.0, 0.0), 1);
}

TEST(VolterraLotka, InsideWithZMagDecidesFromTheMagnitude) {
    KernelState s = stateFor(FractalType::VolterraLotka);
    double x = 1.0, y = 1.0;  // the fixed point of the system: stays at 1 + 1i
    std::int32_t n = evaluate(s, x, y, 0, 0);
    EXPECT_EQ(s.halfStep, 0.5 * 0.739);
    EXPECT_EQ(n, 256);
    EXPECT_TRUE(s.point.colorDecided);
    EXPECT_EQ(s.point.decidedIndex, 33);  // fmod(16 * 2, 255) + 1
}

TEST(Inversion, MapsIntoTheUnitCircle) {
    double x = 2.0, y = 0.0;
    invertPoint(x, y, 1.0);
    EXPECT_DOUBLE_EQ(x, 0.5);
    EXPECT_NEAR(y, 0.0, 1e-17);
    double ox = 0.0, oy = 0.0;
    invertPoint(ox, oy, 1.0);
    EXPECT_EQ(ox, 0.0);
    EXPECT_EQ(oy, 0.0);
    double nx = 0.0, ny = -2.0;  // below the axis: the angle is measured the long way
    invertPoint(nx, ny, 1.0);
    EXPECT_NEAR(nx, 0.0, 1e-15);
    EXPECT_DOUBLE_EQ(ny, -0.5);
}

TEST(ComplexPower, RepeatedSquaring) {
    Complex zero = complexPower(1.5, -0.5, 0);
    EXPECT_EQ(zero.re, 1.0);
    EXPECT_EQ(zero.im, 0.0);
    Complex one = complexPower(1.5, -0.5, 1);
    EXPECT_EQ(one.re, 1.5);
    EXPECT_EQ(one.im, -0.5);
    Complex z2 = complexMultiply(1.5, -0.5, 1.5, -0.5);
    Complex z4 = complexMultiply(z2.re, z2.im, z2.re, z2.im);
    Complex z5 = complexMultiply(1.5, -0.5, z4.re, z4.im);
    Complex five = complexPower(1.5, -0.5, 5);
    EXPECT_EQ(five.re, z5.re);
    EXPECT_EQ(five.im, z5.im);
}

TEST(Newton, ConvergenceBasinsAndTheLimit) {
    KernelState s = stateFor(FractalType::Newton);
    double x = 1.0, y = 0.0;
    EXPECT_EQ(evaluate(s, x, y, 0, 0), 2);  // m = 1, basin switch off
    EXPECT_EQ(s.newton.degree, 3);
    EXPECT_GT(s.point.magnitude, s.params.sizeLimit);

    s.params.param2 = 1.0;
    double bx = 1.0, by = 0.0;
    EXPECT_EQ(evaluate(s, bx, by), 2);
    EXPECT_EQ(s.newton.basinIndex, 0);
    double rx = std::cos(6.283185307179586 / 3), ry = std::sin(6.283185307179586 / 3);
    EXPECT_EQ(evaluate(s, rx, ry), 87);  // basin 1: offset 85, m = 1
    EXPECT_EQ(s.newton.basinIndex, 1);

    s.specialColoring = true;
    double sx = 1.0, sy = 0.0;
    EXPECT_EQ(evaluate(s, sx, sy), 2);  // s = 0 + 8 + 1: (765 + 1) mod 255 + 1

    KernelState o = stateFor(FractalType::Newton);
    double ox = 0.0, oy = 0.0;
    EXPECT_EQ(evaluate(o, ox, oy, 0, 0), 2);  // ends at the origin in the first pass
    EXPECT_EQ(o.newton.basinIndex, noBasin);

    KernelState limit = stateFor(FractalType::Newton);
    limit.params.iterations = 1;
    double lx = 0.3, ly = 0.7;                    // does not converge in one pass
    EXPECT_EQ(evaluate(limit, lx, ly, 0, 0), 3);  // m = iterations + 1 = 2
}

TEST(Newton, DegreeComesFromTheIntegerPartAndStaysWithinTheTables) {
    KernelState s = stateFor(FractalType::Newton);
    s.params.param1 = 3.7;
    double x = 0.5, y = 0.5;
    evaluate(s, x, y, 0, 0);
    EXPECT_EQ(s.newton.degree, 3);
    s.params.param1 = 1000.0;  // never from the dialog; must not read past the tables
    double u = 0.5, v = 0.5;
    evaluate(s, u, v, 0, 0);
    EXPECT_EQ(s.newton.degree, maxNewtonDegree);
}

TEST(Magnetism, EndingsAndTheirCodes) {
    // z = 1 is the fixed point: the first pass from a point next to it converges.
    KernelState conv = stateFor(FractalType::MagnetismIZ);
    double cx = 1.0 + 1e-9, cy = 0.0;
    std::int32_t code = evaluate(conv, cx, cy);
    EXPECT_GE(code, 1);
    EXPECT_LE(code, 255);
    EXPECT_EQ(conv.point.magnitude, conv.params.sizeLimit + 1.0);

    // Magnetism II, Q plane, at q = 0: the near-0 ending without a pass.
    KernelState zero = stateFor(FractalType::MagnetismIIQ);
    double zx = 0.0, zy = 0.0;
    EXPECT_EQ(evaluate(zero, zx, zy), 171);
    EXPECT_EQ(zero.point.magnitude, zero.params.sizeLimit + 1.0);

    // Magnetism I treats near 0 as the last row: with special colouring it decides.
    KernelState one = stateFor(FractalType::MagnetismIQ);
    one.specialColoring = true;
    double ox = 0.0, oy = 0.0;
    EXPECT_EQ(evaluate(one, ox, oy), 0);
    EXPECT_TRUE(one.point.colorDecided);
}

TEST(Magnetism, SecondKindQPlaneBinaryDecidesTheIndexItself) {
    KernelState s = stateFor(FractalType::MagnetismIIQ);
    s.params.outsideColoring = OutsideColoring::Binary;
    // Find a point converging to 1 along the real axis of the q plane.
    for (double q = 2.6; q < 4.0; q += 0.01) {
        double x = q, y = 0.0;
        std::int32_t code = evaluate(s, x, y);
        if (s.point.colorDecided) {
            EXPECT_EQ(s.point.decidedIndex, code);
            EXPECT_LE(s.point.magnitude, s.params.sizeLimit);
            return;
        }
    }
    GTEST_SKIP() << "no converging point found on the sampled line";
}

TEST(Dispatch, UnknownTypeYieldsZeroWithoutTouchingThePoint) {
    KernelState s = stateFor(FractalType::Mandelbrot);
    s.type = static_cast<FractalType>(42);
    double x = 0.25, y = 0.5;
    EXPECT_EQ(evaluate(s, x, y), 0);
    EXPECT_EQ(x, 0.25);
    EXPECT_EQ(y, 0.5);
}

}  // namespace
}  // namespace fernwise
