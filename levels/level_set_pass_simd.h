#pragma once

// The interface between the level-set pass and its row loops compiled for
// one instruction set each (level_set_pass_avx2.cpp, level_set_pass_avx512.cpp).
// Those units are built with wider instructions than the rest of the program,
// so only these plain records and a function pointer cross the boundary.

#include <cstdint>

namespace fernwise {

// What a row of the pass reads, as plain values.
struct PassRowConstants {
    bool mandelbrot = true;  // c is the point; else c = (cx, cy)
    double cx = 0.0;
    double cy = 0.0;
    double iterations = 0.0;
    double sizeLimit = 0.0;
    // Record the first pass whose value lies within `tolerance` of the
    // guessed saved point, written as the periodicity check writes it.
    bool matchTest = false;
    double savedX = 0.0;
    double savedY = 0.0;
    double tolerance = 0.0;
};

// The points of a row, one array per value; `magnitude` is x * x + y * y.
// Arrays hold passRowPadded(count) entries; padding seeds have x = y = 0 and
// an infinite magnitude.
struct PassRowSeeds {
    const double* x;
    const double* y;
    const double* magnitude;
};

// Per point, with room for passRowPadded(count) entries: the count and last
// magnitude the orbit reaches when nothing stops it early, and the first
// pass matching the guessed saved point (0 when none) with the magnitude
// there. Counts are doubles holding exact integers.
struct PassRowRecords {
    double* count;
    double* magnitude;
    double* matchAt;
    double* matchMagnitude;
};

inline constexpr int passRowBlock = 8;
inline constexpr int passRowPadded(int count) {
    return (count + passRowBlock - 1) / passRowBlock * passRowBlock + passRowBlock;
}

using PassRowFunction = void (*)(const PassRowConstants& constants, const PassRowSeeds& seeds,
                                 const PassRowRecords& records, int count);

// nullptr when this build has no such loop.
PassRowFunction passRowAvx2();
PassRowFunction passRowAvx512();

}  // namespace fernwise
