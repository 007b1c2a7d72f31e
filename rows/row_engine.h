#pragma once

#include <cstdint>
#include <functional>
#include <stop_token>
#include <utility>
#include <vector>

#include "coloring.h"
#include "kernels.h"
#include "level_set_tables.h"
#include "plot_driver.h"
#include "simd_kernels.h"
#include "simd_level.h"

namespace fernwise {

// Everything a row of one plot depends on, copied from the driver once, so
// that any thread can compute any row without touching the driver.
struct RowPlot {
    // The driver's kernel state with this plot's flags, and the per-plot
    // values (Newton tables, Volterra-Lotka half step) as the plot's first
    // point builds them.
    KernelState kernel;
    int width = 0;
    int height = 0;
    double xmin = 0.0;
    double plotSpanX = 0.0;
    double ymax = 0.0;
    double plotSpanY = 0.0;
    std::int32_t iterationScale = 256;
    bool trueColorMode = false;
    bool levelSetTablesValid = false;
    const LevelSetTables* levelSets = nullptr;  // must outlive every row computed
};

// The plot the driver's next computeRow would compute with these flags.
RowPlot rowPlotFrom(const PlotDriver& driver, const PlotFlags& flags);

// One computed row: the colouring of every pixel and the kernel state the
// sequential driver would hold after the row's last point.
struct RowResult {
    int row = -1;
    // lastPointInside before the row's first point, as assumed when the row
    // was computed (or settled), and after its last point.
    bool carriedIn = false;
    bool carriedOut = false;
    std::vector<std::uint8_t> indices;
    std::vector<double> fractions;     // 24-bit colouring only
    std::vector<std::uint8_t> blends;  // 24-bit colouring only
    // The kernel state after the last point.
    PointState lastPoint;
    bool decidedInRow = false;  // some point fixed its index: lastPoint's decided values are the row's last
    std::int32_t lastBasin = noBasin;
    PeriodicityState periodicityAfter;
    // Per point: whether the result could depend on the carried value, and
    // the carried value it left. Only kept while periodicity checking runs.
    std::vector<std::uint8_t> pointFlags;
};

// What the kernel left behind for one point, ready for the colouring step.
struct PointOutcome {
    double x = 0.0;
    double y = 0.0;
    PointState point;
    std::int32_t n = 0;
    std::int32_t basin = noBasin;
};

// One point after the driver's per-pixel preparation: x and y after the
// inversion mapping, the magnitude seeded before it.
struct PointSeed {
    double x = 0.0;
    double y = 0.0;
    double magnitude = 0.0;
};

// Reused buffers of one computing thread.
struct RowScratch {
    std::vector<double> seeds;     // x, y and magnitude arrays for the vector loops
    std::vector<double> outcomes;  // the SimdOutcomes arrays
    std::vector<PointOutcome> points;
    std::vector<std::pair<std::size_t, PointOutcome>> redone;
};

// Computes rows of one plot on any thread, several points per instruction
// where the type has a vector loop, with exactly the results of the
// one-point-at-a-time driver.
//
// The only state a point hands to the next is lastPointInside, and it only
// matters to the Julia and Mandelbrot kernels while periodicity checking is
// on. Those rows are computed speculatively, every point as if the point
// before it ended inside. A check that did not fire leaves the orbit exactly
// as without the check, so only points that ended at the iteration limit can
// depend on the carried value; walking the row in order with the true value
// recomputes those whose predecessor was in fact outside.
class RowEngine {
public:
    RowEngine(RowPlot plot, SimdLevel level);

    const RowPlot& plot() const { return plot_; }
    SimdLevel simdLevel() const { return level_; }
    // Whether a row's points depend on the lastPointInside carried into it
    // (Julia and Mandelbrot with periodicity checking); otherwise settling a
    // row only passes the value on.
    bool dependsOnCarried() const { return speculative_; }

    // Computes `row`. `carriedIn` is asked once the kernels have run, for the
    // best-known lastPointInside before the row; a wrong answer is repaired
    // by settleRow. Returns false when `stop` was raised meanwhile.
    bool computeRow(int row, const std::function<bool()>& carriedIn, RowResult& result, RowScratch& scratch,
                    const std::stop_token& stop = {}) const;
    bool computeRow(int row, bool carriedIn, RowResult& result, RowScratch& scratch) const;

    // Computes rows first .. first + count - 1 into results[0 .. count - 1]
    // with one run of the vector loop over all their points, so that lanes
    // freed near the end of one row take points of the next instead of
    // idling. `carriedIn` is asked for the first row only; each later row is
    // walked with what the row above it left.
    bool computeRows(int first, int count, const std::function<bool()>& carriedIn, RowResult* const* results,
                     RowScratch& scratch, const std::stop_token& stop = {}) const;
    // How many rows computeRows should be given at once (1 where a run
    // gains nothing from more).
    int rowsPerRun() const { return rowsPerRun_; }
    static constexpr int maxRowsPerRun = 4;

    // Makes a computed row exact for the true lastPointInside before it:
    // recomputes from its first point only while the carried value differs
    // from the one the row was computed with.
    void settleRow(RowResult& result, bool carriedIn) const;

    // Leaves the driver's kernel state as its computeRow would after `result`'s row.
    void applyKernelState(const RowResult& result, KernelState& kernel) const;

private:
    struct KernelRun;

    RowPlot plot_;
    SimdLevel level_;
    const SimdKernelSet* vectorSet_ = nullptr;  // nullptr: every point on the scalar kernels
    SimdPlotConstants constants_;
    bool speculative_ = false;  // Julia or Mandelbrot with periodicity checking
    bool plainColoring_ = false;
    int rowsPerRun_ = 1;

    std::vector<double> columnX_;  // the real part of every column, as the driver computes it

    // The stages of computeRow.
    void startResult(int row, RowResult& result) const;
    SimdSeeds seedRows(int first, int count, RowScratch& scratch) const;
    bool runKernels(int first, int count, KernelRun& run, RowScratch& scratch, const std::stop_token& stop) const;
    void walkCarried(int row, bool carriedIn, KernelRun& run, RowResult& result, RowScratch& scratch) const;
    void colorRow(int row, const KernelRun& run, RowResult& result, const RowScratch& scratch) const;

    PointOutcome scalarPoint(KernelState& s, const PointSeed& seed, int column, int row, bool lastInside) const;
    PointOutcome fromOutcome(const SimdOutcomes& o, std::size_t i) const;
    PointSeed seedPoint(int column, double y) const;
    ColoringContext coloringContext(int row) const;
    void plainIndices(const double* counts, const double* magnitudes, std::size_t n, std::uint8_t* indices) const;
    void color(KernelState& s, const ColoringContext& context, const PointOutcome& r, int column,
               RowResult& result) const;
    PeriodicityState periodicityAfter(const RowResult& result, double y) const;
};

}  // namespace fernwise
