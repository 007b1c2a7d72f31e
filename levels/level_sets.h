#pragma once

#include <cstdint>

#include "fractal_types.h"
#include "level_set_tables.h"
#include "palette.h"
#include "plot_driver.h"
#include "simd_level.h"

namespace fernwise {

class WorkerPool;

inline constexpr const char* levelSetMemoryMessage =
    "Insufficient memory for continuouspotential\ndata buffer. Try to free up some memory\n"
    "or select a smaller iteration limit.\nFudge method will be used.";
inline constexpr const char* levelSetMemoryCaption = "Memory Problem";

// What prepareLevelSetTables did: the plot may go on (with tables or
// without), or the user cancelled the pass.
enum LevelSetPreparation : std::int32_t { levelSetsPrepared = 0, levelSetPassCancelled = 1 };

// What the level-set pass shows and asks while it runs. The desktop program
// answers with its progress dialog; the batch renderer shows nothing.
class LevelSetPassObserver {
public:
    virtual ~LevelSetPassObserver() = default;
    // The tables could not be allocated; the plot goes on without them.
    virtual void memoryProblem() {}
    // The pass is about to sample `rows` rows.
    virtual void passStarted(int rows) { (void)rows; }
    // Called after every eighth row, starting with the first.
    virtual void progressStep() {}
    // Polled once after every row; true ends the pass as cancelled.
    virtual bool cancelRequested() { return false; }
    // The pass is over, completed or cancelled.
    virtual void passEnded() {}
};

// How the sampling pass is spread over the machine. Every choice gives the
// same tables and the same kernel state afterwards.
struct LevelSetPassOptions {
    int threads = 0;  // <= 0: one per core (or the pool's helpers); the calling thread is one of them
    SimdLevel level = bestSimdLevel();
    WorkerPool* pool = nullptr;  // helpers to borrow; without, the pass starts its own
};

// The program-wide level-set record: the two tables and the plot they were
// built for. It outlives plots so that re-plotting the same window reuses the
// tables without a pass.
struct LevelSetState {
    LevelSetTables tables;
    bool levelTablesAllocated = false;
    // A completed pass filled the tables for levelTablesType and
    // levelTablesParams. A cancelled pass or a failed allocation clears it, so
    // half-filled or freed tables can never be taken for finished ones.
    bool tablesBuilt = false;
    FractalType levelTablesType = FractalType::Mandelbrot;
    FractalParams levelTablesParams{};

    // Frees the tables (the main window does this when it is destroyed).
    void release();
};

// The level-set preparation at plot start, called after
// PlotDriver::beginTrueColor reported that 24-bit level-set colouring applies.
// Builds the tables with a sampling pass, reuses those of the last completed
// pass, or leaves the plot without tables (fraction 0). Points
// `driver.levelSets()` at the tables exactly when they were built for this
// plot.
// `gate` lets tests make the allocation fail.
LevelSetPreparation prepareLevelSetTables(LevelSetState& state, PlotDriver& driver, const PlotFlags& flags,
                                          LevelSetPassObserver* observer = nullptr, AllocationGate* gate = nullptr,
                                          const LevelSetPassOptions& options = {});

// The sampling pass over the whole image, from the record's ymin upward, on
// the driver's kernel state as the previous point (or plot) left it. The
// tables must hold iterations + 1 zero-filled entries. Returns false when the
// observer cancelled it. The observer hears from the calling thread only, in
// row order.
bool sampleLevelSets(LevelSetTables& tables, PlotDriver& driver, LevelSetPassObserver* observer = nullptr,
                     const LevelSetPassOptions& options = {});

// The same pass one point after another on the calling thread: the
// definition the spread-out pass is held to.
bool sampleLevelSetsSequential(LevelSetTables& tables, PlotDriver& driver, LevelSetPassObserver* observer = nullptr);

// The batch renderer's plot start: builds in `state` the tables a fresh
// program would build for this request before its plot, and returns the
// tables to hand to renderImage (nullptr when the plot gets none).
const LevelSetTables* buildLevelSetTables(const RenderRequest& request, LevelSetState& state,
                                          const LevelSetPassOptions& options = {});

}  // namespace fernwise
