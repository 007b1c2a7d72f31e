#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <vector>

#include "palette.h"
#include "plot_driver.h"
#include "row_engine.h"
#include "simd_level.h"
#include "virtual_screen.h"
#include "worker_pool.h"

namespace fernwise {

// Whether the thread that draws the rows also computes them.
enum class CallingThread {
    Draws,     // the desktop: it only takes finished rows and never blocks long
    Computes,  // the batch renderer: it computes rows too whenever none is ready
};

// The helpers a caller lends to one pipeline after another.
using RowWorkers = WorkerPool;

// What RowPipeline::drawNextRow did.
enum class RowDelivery {
    Drawn,      // the next row is in the screen and the driver's state follows it
    NotReady,   // not finished yet; nothing changed
    OutOfStep,  // the driver or the flags are not those the rows were computed for; discard it
};

// Computes the remaining rows of one plot on worker threads, ahead of the
// thread that shows them, and hands them over strictly in order.
//
// It copies what it needs from the driver when it starts and never touches
// the driver, the screen or the palette from a worker. The thread that owns
// them takes finished rows with drawNextRow, which writes the row as the
// driver's computeRow would, leaves the driver's kernel state as computeRow
// would, and never blocks longer than it is asked to.
//
// A pipeline serves one run of rows under one set of flags. Whatever would
// make the sequential driver compute the next row differently (Pause, a
// reset, new flags) is handled by destroying it; a new pipeline started from
// the driver then carries on exactly where the last drawn row left it.
// Palette changes need no new pipeline: rows are mapped to colours when they
// are drawn. The level-set tables the driver points at must stay unchanged
// while a pipeline runs.
class RowPipeline {
public:
    // Starts computing rows driver.nextRow() .. imageHeight - 1 of the
    // driver's plot (plot start done) with `flags` on `threads` threads
    // (<= 0: one per core); with CallingThread::Computes the calling thread
    // is one of them and gets one worker less.
    RowPipeline(const PlotDriver& driver, const PlotFlags& flags, int threads = 0, SimdLevel level = bestSimdLevel(),
                CallingThread caller = CallingThread::Draws);
    // The same on helpers borrowed from `workers` instead of threads of its
    // own (threads <= 0: all of them); they must outlive the pipeline.
    RowPipeline(const PlotDriver& driver, const PlotFlags& flags, WorkerPool& workers, int threads = 0,
                SimdLevel level = bestSimdLevel(), CallingThread caller = CallingThread::Draws);
    // Stops the workers (each leaves within a few microseconds) and joins them.
    ~RowPipeline();

    RowPipeline(const RowPipeline&) = delete;
    RowPipeline& operator=(const RowPipeline&) = delete;

    // Whether the driver's next computeRow with `flags` would compute the row
    // this pipeline delivers next, from the same plot and settings.
    bool serves(const PlotDriver& driver, const PlotFlags& flags) const;

    // Draws the next row into `screen` (and its raw indices into `indicesOut`
    // when given) if it is finished or finishes within `wait`, and sets the
    // driver's kernel state to what computeRow would leave. The caller then
    // calls driver.finishRow() as after computeRow. OutOfStep (nothing
    // drawn) when the pipeline does not serve the driver and flags.
    RowDelivery drawNextRow(PlotDriver& driver, const PlotFlags& flags, VirtualScreen& screen,
                            const PaletteState& palette,
                            std::chrono::milliseconds wait = std::chrono::milliseconds::zero(),
                            std::uint8_t* indicesOut = nullptr);

    // A wait that lasts until the row is finished (the batch renderer).
    static constexpr std::chrono::milliseconds untilFinished = std::chrono::milliseconds::max();

    // Takes the next finished row without drawing it.
    bool takeRow(RowResult& row, std::chrono::milliseconds wait = std::chrono::milliseconds::zero());

    // Computes the next row nobody has started (a few of them while many
    // are left) on the calling thread, with that thread's buffers; false
    // when every row is started (or the pipeline is cancelled).
    bool computeRowHere(RowScratch& scratch);

    // The row the next take delivers; imageHeight when all are delivered.
    int nextRow() const { return nextToDeliver_; }
    int threadCount() const { return helpers_; }

    // Makes the workers stop soon; rows not yet finished are never delivered.
    void cancel();

    // Whether memory for a row ran out on some thread; the pipeline is then
    // cancelled, and the rows from nextRow() on are never delivered.
    bool outOfMemory() const { return outOfMemory_.load(); }

private:
    enum class SlotState : std::uint8_t { Pending, Computed, Settled };
    // One row. A computing thread owns it while Pending, the settling thread
    // while Computed, the drawing thread once Settled; the state changes
    // hand it over.
    struct Slot {
        std::atomic<SlotState> state{SlotState::Pending};
        std::atomic<bool> carriedOutGuess{false};  // the row's carriedOut as computed, before settling
        std::unique_ptr<RowResult> result;         // apart, so that the slots of an image are small
    };

    // Everything but the threads.
    RowPipeline(const PlotDriver& driver, const PlotFlags& flags, SimdLevel level);
    void startHelpers(int threads, CallingThread caller, WorkerPool* pool);
    bool borrow(WorkerPool& pool, int helpers);
    void work(RowScratch& scratch);
    int claimRows(int& count);
    bool computeOne(RowScratch& scratch);
    bool computeGuarded(RowScratch& scratch);
    bool carriedGuess(int row) const;
    void settleComputedRows();
    // Whether the next row to deliver is settled, waiting up to `wait`.
    bool nextSettled(std::chrono::milliseconds wait);
    Slot& slot(int row) { return slots_[static_cast<std::size_t>(row - firstRow_)]; }
    const Slot& slot(int row) const { return slots_[static_cast<std::size_t>(row - firstRow_)]; }

    RowEngine engine_;
    PlotFlags flags_;
    int firstRow_;
    int height_;

    // Rows are claimed, handed over and settled through atomics; the lock
    // only serves a thread that waits for the next row.
    std::unique_ptr<Slot[]> slots_;
    std::atomic<int> nextToCompute_;
    std::atomic<int> nextToSettle_;
    std::atomic<bool> carried_;          // lastPointInside before row nextToSettle_
    std::atomic<bool> settling_{false};  // one thread at a time settles rows
    std::stop_source stop_;              // cancel()
    std::atomic<bool> outOfMemory_{false};
    std::atomic<int> waiters_{0};
    std::mutex waitMutex_;
    std::condition_variable settled_;
    int nextToDeliver_;  // the drawing thread's own
    std::mutex spareMutex_;
    std::vector<std::unique_ptr<RowResult>> spare_;  // buffers of drawn rows, for rows still to compute

    static constexpr int maxClaim = RowEngine::maxRowsPerRun;  // rows claimed at once
    int computing_ = 1;                                        // threads computing rows, the caller included
    int helpers_ = 0;                                          // threads computing besides the caller
    bool drawerComputes_ = false;                              // no helper could be started
    RowScratch drawerScratch_;                                 // the drawing thread's buffers then
    WorkerPool* pool_ = nullptr;                               // the helpers' pool, borrowed or ownPool_
    std::unique_ptr<WorkerPool> ownPool_;                      // when none was lent
};

// Writes one computed row into the screen exactly as the driver's computeRow
// writes its pixels, mapping indices through the palette as it is now.
void drawRow(const RowResult& row, VirtualScreen& screen, const PaletteState& palette, bool paletteDevice,
             std::uint8_t* indicesOut = nullptr);

// renderImage on `threads` threads (<= 0: one per core) with vector
// instructions up to `level`: the same image, byte for byte.
// `rowDone`, when given, hears the number of rows drawn after each row.
// Throws std::bad_alloc on the calling thread when memory for a row runs out
// on any thread.
// With `workers` the helpers are borrowed from there (threads <= 0: the
// calling thread and all of them).
void renderImageParallel(const RenderRequest& request, VirtualScreen& screen, const PaletteState& palette,
                         std::uint8_t* indicesOut = nullptr, const LevelSetTables* levelSets = nullptr, int threads = 0,
                         SimdLevel level = bestSimdLevel(), const std::function<void(int rowsDrawn)>& rowDone = {},
                         WorkerPool* workers = nullptr);

}  // namespace fernwise
