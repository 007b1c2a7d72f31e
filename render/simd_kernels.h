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
};

// One point, after the inversion mapping; `magnitude` is the seed taken
// before it.
struct SimdSeed {
    double x;
    double y;
    double magnitude;
};

// What a loop leaves behind for one point. The endings that follow the loop
// (Magnetism codes, Newton basins, Volterra-Lotka z-mag) are applied by the
// row engine from these values.
struct SimdOutcome {
    double x;
    double y;
    double magnitude;
    double minMagnitude;
    double count;         // passes made; Newton: passes begun (m)
    double minIteration;
    double distToOne;     // Magnetism
    double maxMag;        // Magnetism
    std::int32_t converged;  // Newton: the loop ended at a root
};

// Asked now and then while a loop runs; true abandons the loop (the outcomes
// are then incomplete and must be thrown away).
struct SimdStop {
    bool (*requested)(const void* context) = nullptr;
    const void* context = nullptr;
};

// Runs one loop over `count` points. Returns false when it stopped early.
using SimdLoopFunction = bool (*)(const SimdPlotConstants& constants, const SimdSeed* seeds, SimdOutcome* outcomes,
                                  int count, const SimdStop& stop);

struct SimdKernelSet {
    int lanes;
    SimdLoopFunction run;
};

// nullptr when this build has no such set.
const SimdKernelSet* avx2KernelSet();
const SimdKernelSet* avx512KernelSet();

}  // namespace fernwise
