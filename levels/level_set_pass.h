#pragma once

// The level-set sampling pass spread over threads and vector lanes.
//
// The pass visits the points one after another with the periodicity state
// each point leaves to the next, so its points are not independent. What a
// point can leave depends on that state only through the saved point its
// matches are tested against and through the refresh of the check interval.
// So every row is computed ahead, on any thread, against the latest known
// saved point: per point the count and magnitude the orbit reaches
// unchecked and its first match with that saved point. The calling thread
// then settles the rows in order with the true state, taking each point's
// outcome from its record where the record is known to hold it and running
// the scalar kernel where a refresh falls inside the point. The tables and
// the final kernel state are those of the one-point-after-another pass, bit
// for bit, for every thread count and vector level.

#include <cstdint>
#include <limits>

#include "level_set_pass_simd.h"
#include "level_sets.h"

namespace fernwise {

// Without the plot's per-point reset the periodicity check's refresh interval
// keeps doubling from point to point; held at most at this before each
// point, its next doubling (2 x interval + 1) still fits in 32 bits.
inline constexpr std::int32_t longestCheckInterval = (std::numeric_limits<std::int32_t>::max() - 1) / 2;

// The sample row j, from the record's ymin upward (columns as the plot has them).
inline double passRowValue(double ymin, double spanY, int j, int height) {
    if (height <= 1) return ymin;
    return ymin + (j * spanY) / (height - 1);
}

// Calls `row(j)` for rows 0 .. rows - 1 in order, telling the observer of the
// progress after every eighth row (the first included) and asking after every
// row whether to go on. False when the observer cancelled the pass.
template <typename Row>
bool observedRows(int rows, LevelSetPassObserver* observer, Row row) {
    constexpr int progressRowInterval = 8;
    for (int j = 0; j < rows; ++j) {
        row(j);
        if (observer == nullptr) continue;
        if (j % progressRowInterval == 0) observer->progressStep();
        if (observer->cancelRequested()) {
            observer->passEnded();
            return false;
        }
    }
    if (observer != nullptr) observer->passEnded();
    return true;
}

// The row loop without vector instructions; it defines what the vector
// loops record, point for point.
void passRowScalar(const PassRowConstants& constants, const PassRowSeeds& seeds, const PassRowRecords& records,
                   int count);

// The row loop of `level` (or the widest supported level below it).
PassRowFunction passRowFunction(SimdLevel level);

// The pass proper over tables already holding their start values; see
// sampleLevelSets.
bool runLevelSetPass(LevelSetTables& tables, PlotDriver& driver, LevelSetPassObserver* observer,
                     const LevelSetPassOptions& options);

}  // namespace fernwise
