#pragma once

#include <array>
#include <cstdint>

#include "fractal_types.h"

namespace fernwise {

// Per-point scratch shared by the driver, the kernels and the colouring step.
struct PointState {
    double magnitude = 0.0;
    double minMagnitude = 0.0;
    std::int32_t minIteration = 0;
    bool colorDecided = false;
    std::int32_t decidedIndex = 0;
    double decidedValue = 0.0;

    bool operator==(const PointState&) const = default;
};

// The Julia and Mandelbrot periodicity check. `lastPointInside` carries from
// one point to the next in plotting order, across row ends.
struct PeriodicityState {
    double savedX = 0.0;
    double savedY = 0.0;
    std::int32_t checkCounter = 1;
    std::int32_t checkInterval = 3;
    double tolerance = 0.0;
    bool lastPointInside = false;

    // Every point of a plot starts the check afresh: no saved point yet, the
    // first refresh after three passes.
    void restartCheck() {
        savedX = 0.0;
        savedY = 0.0;
        checkCounter = 1;
        checkInterval = 3;
    }

    bool operator==(const PeriodicityState&) const = default;
};

inline constexpr int maxNewtonDegree = 20;
// A Newton point that did not converge, or matched no root, has no basin.
inline constexpr std::int32_t noBasin = -1;

struct NewtonTables {
    std::int32_t degree = 0;
    double shrink = 0.0;
    double invDegree = 0.0;
    double tolerance = 1e-6;
    std::array<double, maxNewtonDegree> rootAngles{};
    std::array<std::array<double, 2>, maxNewtonDegree> roots{};
    std::int32_t basinIndex = noBasin;

    bool operator==(const NewtonTables&) const = default;
};

// Everything the kernels read and write, in one record so that several
// plots (or rows with their own carried state) can run side by side.
struct KernelState {
    FractalType type = FractalType::Mandelbrot;
    FractalParams params;  // the working copy the kernels read
    bool periodicityChecking = true;
    bool specialColoring = false;
    PointState point;
    PeriodicityState periodicity;
    NewtonTables newton;
    double halfStep = 0.0;  // Volterra-Lotka, rebuilt at the first point

    bool operator==(const KernelState&) const = default;
};

// What every plot point starts from before its kernel runs: its magnitude
// seeded, the periodicity check restarted (when on), no BOF minimum yet
// below `minMagnitudeSeed` and no colour fixed by the kernel.
inline void resetForPoint(KernelState& s, double magnitude, double minMagnitudeSeed) {
    s.point.magnitude = magnitude;
    if (s.periodicityChecking) s.periodicity.restartCheck();
    s.point.minMagnitude = minMagnitudeSeed;
    s.point.minIteration = 0;
    s.point.colorDecided = false;
}

struct Complex {
    double re;
    double im;
};

// (a + ib)(c + id) = (ac - bd) + i(ad + bc), in exactly this order.
inline Complex complexMultiply(double a, double b, double c, double d) { return {a * c - b * d, a * d + b * c}; }

// (x + iy)^n for n >= 0 by repeated squaring.
Complex complexPower(double x, double y, std::int32_t n);

// Inversion in the circle of the given radius: z -> R^2 z / |z|^2.
void invertPoint(double& x, double& y, double radius);

// How many passes of w <- w^2 + c (c = param1 + i param2) the point u + iv
// needs to escape; 0 when it stays bounded within the iteration limit.
std::int32_t tileEscapeCount(const KernelState& state, double u, double v);

// Evaluates one image point of the selected type. The driver seeds the point
// state before the call; the final orbit value is left in x and y.
std::int32_t iteratePoint(KernelState& state, double& x, double& y, std::int32_t column, std::int32_t row);

}  // namespace fernwise
