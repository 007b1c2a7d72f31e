#include "row_pipeline.h"

#include <algorithm>
#include <array>
#include <new>
#include <optional>
#include <utility>

namespace fernwise {

namespace {

constexpr auto waitSpin = std::chrono::microseconds(50);  // a thread waiting for a row

// What row pipelines leave with a pool from image to image: each helper's
// buffers, and the row buffers of the last image.
struct KeptRowBuffers {
    std::vector<RowScratch> scratch;
    std::vector<std::unique_ptr<RowResult>> spareRows;
};

}  // namespace

void drawRow(const RowResult& row, VirtualScreen& screen, const PaletteState& palette, bool paletteDevice,
             std::uint8_t* indicesOut) {
    const std::size_t width = row.indices.size();
    if (indicesOut != nullptr) std::copy(row.indices.begin(), row.indices.end(), indicesOut);
    if (paletteDevice) {
        const auto nearest = nearestEntries(palette);
        std::uint8_t* out = screen.indexRow(row.row);
        for (std::size_t i = 0; i < width; ++i) out[i] = nearest[row.indices[i]];
        return;
    }
    std::uint32_t* out = screen.rgbRow(row.row);
    std::array<std::uint32_t, paletteSize> packed{};
    for (int i = 0; i < paletteSize; ++i)
        packed[static_cast<std::size_t>(i)] = VirtualScreen::packRgb(palette.table[static_cast<std::size_t>(i)]);
    const bool blending = !row.blends.empty();
    for (std::size_t i = 0; i < width; ++i) {
        const std::uint8_t index = row.indices[i];
        out[i] = blending && row.blends[i] != 0
                     ? VirtualScreen::packRgb(blendedColor(palette.table, index, row.fractions[i]))
                     : packed[index];
    }
}

RowPipeline::RowPipeline(const PlotDriver& driver, const PlotFlags& flags, SimdLevel level)
    : engine_(rowPlotFrom(driver, flags), level),
      flags_(flags),
      firstRow_(driver.nextRow()),
      height_(driver.imageHeight()),
      nextToCompute_(firstRow_),
      nextToSettle_(firstRow_),
      carried_(driver.kernel.periodicity.lastPointInside),
      nextToDeliver_(firstRow_) {}

RowPipeline::RowPipeline(const PlotDriver& driver, const PlotFlags& flags, int threads, SimdLevel level,
                         CallingThread caller)
    : RowPipeline(driver, flags, level) {
    startHelpers(threads, caller, nullptr);
}

RowPipeline::RowPipeline(const PlotDriver& driver, const PlotFlags& flags, WorkerPool& workers, int threads,
                         SimdLevel level, CallingThread caller)
    : RowPipeline(driver, flags, level) {
    if (threads <= 0) threads = workers.size() + (caller == CallingThread::Computes ? 1 : 0);
    startHelpers(threads, caller, &workers);
}

void RowPipeline::startHelpers(int threads, CallingThread caller, WorkerPool* pool) {
    const int rows = std::max(0, height_ - firstRow_);
    slots_ = std::make_unique<Slot[]>(static_cast<std::size_t>(rows));
    if (threads <= 0) threads = defaultThreadCount();
    int helpers = std::min(threads, rows);
    if (caller == CallingThread::Computes) --helpers;
    if (caller == CallingThread::Draws) helpers = std::max(1, helpers);
    helpers = std::max(0, helpers);
    helpers_ = helpers;
    computing_ = std::max(1, helpers + (caller == CallingThread::Computes ? 1 : 0));
    if (helpers == 0) return;
    if (pool == nullptr || !borrow(*pool, helpers)) {
        // None lent, or lent to another: threads of its own, as many as the
        // system gives.
        ownPool_ = std::make_unique<WorkerPool>(helpers);
        helpers_ = ownPool_->size();
        if (helpers_ > 0) borrow(*ownPool_, helpers_);
    }
    // Without a single helper the drawing thread computes each row when it
    // asks for it, as a plot on one thread would.
    drawerComputes_ = helpers_ == 0 && caller == CallingThread::Draws;
}

bool RowPipeline::borrow(WorkerPool& pool, int helpers) {
    if (!pool.lend(helpers)) return false;
    pool_ = &pool;
    KeptRowBuffers& kept = pool.kept<KeptRowBuffers>();
    if (kept.scratch.size() < static_cast<std::size_t>(helpers)) kept.scratch.resize(static_cast<std::size_t>(helpers));
    spare_ = std::move(kept.spareRows);
    pool.run([this, &kept](int helper) { work(kept.scratch[static_cast<std::size_t>(helper)]); });
    return true;
}

RowPipeline::~RowPipeline() {
    cancel();
    if (pool_ == nullptr) return;
    // The row buffers are handed back only once the helpers have left the rows.
    pool_->finish([this] {
        // Enough buffers for the rows in flight of the next image.
        constexpr std::size_t kept = 256;
        if (spare_.size() > kept) spare_.resize(kept);
        pool_->kept<KeptRowBuffers>().spareRows = std::move(spare_);
    });
}

void RowPipeline::cancel() {
    stop_.request_stop();
    std::lock_guard<std::mutex> lock(waitMutex_);
    settled_.notify_all();
}

// The carried value a row is walked with: the true one when the rows above
// are settled, else what the row above (if computed) leaves, else "outside",
// which the left edge of most windows is. A stale answer only costs a repair.
bool RowPipeline::carriedGuess(int row) const {
    if (row == nextToSettle_.load()) return carried_.load();
    if (row > firstRow_ && slot(row - 1).state.load() != SlotState::Pending)
        return slot(row - 1).carriedOutGuess.load();
    return false;
}

// Settles computed rows in order, on whichever thread gets the role. A row
// computed while another thread held the role is seen by that thread's
// check after giving the role up (sequentially consistent atomics).
void RowPipeline::settleComputedRows() {
    for (;;) {
        if (settling_.exchange(true)) return;
        int next = nextToSettle_.load();
        bool advanced = false;
        while (next < height_ && slot(next).state.load() == SlotState::Computed) {
            Slot& s = slot(next);
            engine_.settleRow(*s.result, carried_.load());
            carried_.store(s.result->carriedOut);
            s.state.store(SlotState::Settled);
            nextToSettle_.store(++next);
            advanced = true;
        }
        settling_.store(false);
        if (advanced && waiters_.load() > 0) {
            std::lock_guard<std::mutex> lock(waitMutex_);
            settled_.notify_all();
        }
        if (next >= height_ || slot(next).state.load() != SlotState::Computed) return;
    }
}

void RowPipeline::work(RowScratch& scratch) {
    while (computeGuarded(scratch)) {}
}

bool RowPipeline::computeRowHere(RowScratch& scratch) { return computeGuarded(scratch); }

// A row's buffers that cannot be had stop the whole pipeline instead of
// ending the program from a helper thread; the drawing thread learns it
// from outOfMemory().
bool RowPipeline::computeGuarded(RowScratch& scratch) {
    try {
        return computeOne(scratch);
    } catch (const std::bad_alloc&) {
        outOfMemory_.store(true);
        cancel();
        return false;
    }
}

// Claims the next few rows nobody has started: many while many are left, one
// at a time towards the end, so that threads meet on the shared counters
// less often without one of them finishing long after the others.
int RowPipeline::claimRows(int& count) {
    int next = nextToCompute_.load();
    for (;;) {
        if (next >= height_) return next;
        count = std::clamp((height_ - next) / (8 * computing_), 1, maxClaim);
        if (nextToCompute_.compare_exchange_weak(next, next + count)) return next;
    }
}

bool RowPipeline::computeOne(RowScratch& scratch) {
    if (stop_.stop_requested()) return false;
    int count = 0;
    const int first = claimRows(count);
    if (first >= height_) return false;
    const bool dependent = engine_.dependsOnCarried();
    for (int row = first; row < first + count;) {
        const int run = std::min(engine_.rowsPerRun(), first + count - row);
        std::array<RowResult*, maxClaim> results{};
        for (int i = 0; i < run; ++i) {
            Slot& s = slot(row + i);
            {
                std::lock_guard<std::mutex> lock(spareMutex_);
                if (!spare_.empty()) {
                    s.result = std::move(spare_.back());
                    spare_.pop_back();
                }
            }
            if (s.result == nullptr) s.result = std::make_unique<RowResult>();
            results[static_cast<std::size_t>(i)] = s.result.get();
        }
        // Only the periodicity walk needs a good guess; elsewhere any value
        // is passed on when the row is settled.
        const bool complete = engine_.computeRows(
            row, run, [this, row, dependent] { return dependent && carriedGuess(row); }, results.data(), scratch,
            stop_.get_token());
        // Claimed rows left undone are never delivered: only cancelling stops one.
        if (!complete) return false;
        for (int i = 0; i < run; ++i, ++row) {
            Slot& s = slot(row);
            s.carriedOutGuess.store(s.result->carriedOut);
            s.state.store(SlotState::Computed);
        }
        // Settling now only helps when the rows above are settled.
        if (row == first + count || row - run == nextToSettle_.load()) settleComputedRows();
    }
    return true;
}

bool RowPipeline::nextSettled(std::chrono::milliseconds wait) {
    if (nextToDeliver_ >= height_) return false;
    if (nextToDeliver_ < nextToSettle_.load()) return true;
    if (drawerComputes_) {
        while (nextToDeliver_ >= nextToSettle_.load() && computeGuarded(drawerScratch_)) {}
        return nextToDeliver_ < nextToSettle_.load();
    }
    if (wait == std::chrono::milliseconds::zero()) return false;
    auto ready = [this] { return nextToDeliver_ < nextToSettle_.load() || stop_.stop_requested(); };
    const bool forever = wait == untilFinished;
    const auto deadline =
        forever ? std::chrono::steady_clock::time_point::max() : std::chrono::steady_clock::now() + wait;
    // A row being computed is mostly done within microseconds; sleeping and
    // being woken costs more than that.
    if (spinUntil(forever ? waitSpin : std::min<std::chrono::microseconds>(waitSpin, wait), ready)) {
        return nextToDeliver_ < nextToSettle_.load();
    }
    std::unique_lock<std::mutex> lock(waitMutex_);
    waiters_.fetch_add(1);
    if (forever) {
        settled_.wait(lock, ready);
    } else {
        settled_.wait_until(lock, deadline, ready);
    }
    waiters_.fetch_sub(1);
    return nextToDeliver_ < nextToSettle_.load();
}

bool RowPipeline::takeRow(RowResult& row, std::chrono::milliseconds wait) {
    if (!nextSettled(wait)) return false;
    row = std::move(*slot(nextToDeliver_).result);
    ++nextToDeliver_;
    return true;
}

bool RowPipeline::serves(const PlotDriver& driver, const PlotFlags& flags) const {
    const RowPlot& plot = engine_.plot();
    return nextToDeliver_ < height_ && driver.nextRow() == nextToDeliver_ && driver.imageHeight() == height_ &&
           driver.imageWidth() == plot.width && driver.kernel.type == plot.kernel.type &&
           driver.kernel.params == plot.kernel.params && driver.plotSpanX() == plot.plotSpanX &&
           driver.plotSpanY() == plot.plotSpanY && driver.iterationScale() == plot.iterationScale &&
           driver.levelSetTablesValid() == plot.levelSetTablesValid && driver.levelSets() == plot.levelSets &&
           driver.kernel.periodicity.tolerance == plot.kernel.periodicity.tolerance &&
           flags.periodicityChecking == flags_.periodicityChecking && flags.specialColoring == flags_.specialColoring &&
           flags.trueColorMode == flags_.trueColorMode && flags.paletteDevice == flags_.paletteDevice;
}

RowDelivery RowPipeline::drawNextRow(PlotDriver& driver, const PlotFlags& flags, VirtualScreen& screen,
                                     const PaletteState& palette, std::chrono::milliseconds wait,
                                     std::uint8_t* indicesOut) {
    if (!serves(driver, flags)) return RowDelivery::OutOfStep;
    if (!nextSettled(wait)) return RowDelivery::NotReady;
    std::unique_ptr<RowResult>& row = slot(nextToDeliver_).result;
    drawRow(*row, screen, palette, flags_.paletteDevice, indicesOut);
    engine_.applyKernelState(*row, driver.kernel);
    ++nextToDeliver_;
    // The row's buffers serve a row further down instead of going back to
    // the allocator (across threads) while another row allocates its own.
    std::lock_guard<std::mutex> lock(spareMutex_);
    spare_.push_back(std::move(row));
    return RowDelivery::Drawn;
}

void renderImageParallel(const RenderRequest& request, VirtualScreen& screen, const PaletteState& palette,
                         std::uint8_t* indicesOut, const LevelSetTables* levelSets, int threads, SimdLevel level,
                         const std::function<void(int rowsDrawn)>& rowDone, WorkerPool* workers) {
    // No clearing to black first: every pixel of every row is written below.
    PlotDriver driver = startedPlot(request, levelSets);
    // This thread computes rows too, and draws whatever is finished between them.
    std::optional<RowPipeline> pipeline;
    if (workers != nullptr) {
        pipeline.emplace(driver, request.flags, *workers, threads, level, CallingThread::Computes);
    } else {
        pipeline.emplace(driver, request.flags, threads, level, CallingThread::Computes);
    }
    RowScratch scratch;
    bool computing = true;
    do {
        std::uint8_t* rowOut =
            indicesOut == nullptr ? nullptr : indicesOut + static_cast<std::size_t>(driver.nextRow()) * request.width;
        const PlotFlags& flags = request.flags;
        while (pipeline->drawNextRow(driver, flags, screen, palette, std::chrono::milliseconds::zero(), rowOut) ==
               RowDelivery::NotReady) {
            if (computing) computing = pipeline->computeRowHere(scratch);
            if (!computing) {
                pipeline->drawNextRow(driver, flags, screen, palette, RowPipeline::untilFinished, rowOut);
                break;
            }
        }
        if (pipeline->outOfMemory()) throw std::bad_alloc();
        if (rowDone) rowDone(driver.nextRow() + 1);
    } while (!driver.finishRow());
}

}  // namespace fernwise
