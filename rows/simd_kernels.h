#pragma once

// The interface between the row engine and the kernels compiled for one
// instruction set each (simd_kernels_avx2.cpp, simd_kernels_avx512.cpp).
// Those translation units are built with wider instructions than the rest of
// the program, so they share no inline code with it: only these plain records
// and function pointers cross the boundary.

#include <cstdint>

namespace fernwise {

// Which loop a vector kernel runs; the row engine picks it from the type.
enum class SimdLoop : std::int32_t {
    Julia,
    Mandelbrot,
    MagnetismIQ,
    MagnetismIZ,
    MagnetismIIQ,
    MagnetismIIZ,
    Newton,
    SelfSquaredDragons,
    VolterraLotka,
};

// Everything the loops read of a plot, as plain values. Counts are doubles so
// that every lane value lives in a double register; they stay exact integers.
struct SimdPlotConstants {
    SimdLoop loop = SimdLoop::Mandelbrot;
    double iterations = 0.0;
    double sizeLimit = 0.0;
    double param1 = 0.0;
    double param2 = 0.0;
    double minMagnitudeSeed = 0.0;  // iterationScale
    // Julia and Mandelbrot: run the periodicity check as after an inside point.
    bool periodicityCheck = false;
    double tolerance = 0.0;
    bool trackBof = false;     // Bof33 or Bof34 inside colouring
    bool trackMaxMag = false;  // Magnetism with ZMag inside colouring
    // Newton, as its tables hold them.
    std::int32_t newtonDegree = 1;
    double newtonShrink = 0.0;
    double newtonInvDegree = 1.0;
    // Volterra-Lotka.
    double halfStep = 0.0;
    // Whether only the count and the magnitude of each point are read, and
    // every value only of each row's last point (the points are rows of
    // rowWidth one after the other); a loop may then leave the rest unwritten.
    bool countsOnly = false;
    std::int32_t rowWidth = 1;
};

// The points of one row, one array per value. `magnitude` is the seed taken
// before the inversion mapping; x and y are the point after it. Every array
// holds at least simdPaddedCount(count) entries; the padding seeds must have
// x = y = 0 and an infinite magnitude.
struct SimdSeeds {
    const double* x;
    const double* y;
    const double* magnitude;
};

// What a loop leaves behind for each point, one array per value, each with
// room for simdPaddedCount(count) entries. The endings that follow the loop
// (Magnetism codes, Newton basins, Volterra-Lotka z-mag) are applied by the
// row engine from these values.
struct SimdOutcomes {
    double* x;
    double* y;
    double* magnitude;
    double* minMagnitude;
    double* count;  // passes made; Newton: passes begun (m)
    double* minIteration;
    double* distToOne;  // Magnetism
    double* maxMag;     // Magnetism
    double* converged;  // Newton: 1 when the loop ended at a root
    double* work;       // scratch for the loop, simdWorkCount(count) entries
};

// Loops work on whole vectors of neighbouring points; arrays are padded to
// the widest vector.
inline constexpr int simdBlock = 8;
// Vectors may read a whole vector past the last point, so one more block.
inline constexpr int simdPaddedCount(int count) { return (count + simdBlock - 1) / simdBlock * simdBlock + simdBlock; }
// The loops that hand each lane its own point queue the row's points there,
// each queue followed by lanes without a point.
inline constexpr int simdQueueSlack = 64;
inline constexpr int simdWorkCount(int count) { return 5 * (simdPaddedCount(count) + simdQueueSlack); }

// Asked now and then while a loop runs; true abandons the loop (the outcomes
// are then incomplete and must be thrown away).
struct SimdStop {
    bool (*requested)(const void* context) = nullptr;
    const void* context = nullptr;
};

// Runs one loop over `count` points. Returns false when it stopped early.
using SimdLoopFunction = bool (*)(const SimdPlotConstants& constants, const SimdSeeds& seeds,
                                  const SimdOutcomes& outcomes, int count, const SimdStop& stop);

struct SimdKernelSet {
    int lanes;
    SimdLoopFunction run;
};

// nullptr when this build has no such set.
const SimdKernelSet* avx2KernelSet();
const SimdKernelSet* avx512KernelSet();

}  // namespace fernwise
