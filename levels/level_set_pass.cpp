#include "level_set_pass.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

#include "kernels_inline.h"
#include "worker_pool.h"

namespace fernwise {
namespace {

// With this many helpers or more, the calling thread only settles rows.
constexpr int helpingBelow = 4;

// Inside colouring by BOF makes the kernel keep the smallest magnitude of
// the whole pass; per point the smallest magnitude (first pass reaching it)
// over the unchecked orbit and over the orbit up to the match.
struct BofRecords {
    double* least;
    std::int32_t* leastPass;
    double* leastToMatch;
    std::int32_t* leastPassToMatch;
};

// One point of passRowScalar. An orbit that comes back exactly to the value
// it had at an earlier pass cycles from there on: it never escapes and never
// meets a value it has not met, so it is cut short at the pass whose value is
// that of the last one the loop would make.
template <bool Bof>
void recordPoint(const PassRowConstants& c, const PassRowSeeds& in, const PassRowRecords& out, const BofRecords* bof,
                 int i) {
    double x = in.x[i];
    double y = in.y[i];
    double mag = in.magnitude[i];
    const double cx = c.mandelbrot ? x : c.cx;
    const double cy = c.mandelbrot ? y : c.cy;
    const auto iterations = static_cast<std::int64_t>(c.iterations);
    std::int64_t pass = 0;
    std::int64_t stop = iterations;
    std::int64_t repeatPass = 0;
    bool repeating = false;
    double repeatX = std::numeric_limits<double>::quiet_NaN();
    double repeatY = repeatX;
    double matchAt = 0.0;
    double matchMagnitude = 0.0;
    double least = std::numeric_limits<double>::infinity();
    std::int32_t leastPass = 0;
    double leastToMatch = least;
    std::int32_t leastPassToMatch = 0;
    while (mag <= c.sizeLimit && pass < stop) {
        kernels::juliaStep(x, y, cx, cy);
        mag = x * x + y * y;
        if constexpr (Bof) {
            if (mag < least) {
                least = mag;
                leastPass = static_cast<std::int32_t>(pass);
            }
        }
        ++pass;
        if (c.matchTest && matchAt == 0.0 && std::fabs(c.savedX - x) < c.tolerance &&
            std::fabs(c.savedY - y) < c.tolerance) {
            matchAt = static_cast<double>(pass);
            matchMagnitude = mag;
            leastToMatch = least;
            leastPassToMatch = leastPass;
        }
        if (!repeating && x == repeatX && y == repeatY) {
            repeating = true;
            stop = pass + (iterations - pass) % (pass - repeatPass);
        }
        if ((pass & (pass - 1)) == 0) {
            repeatX = x;
            repeatY = y;
            repeatPass = pass;
        }
    }
    out.count[i] = repeating ? c.iterations : static_cast<double>(pass);
    out.magnitude[i] = mag;
    out.matchAt[i] = matchAt;
    out.matchMagnitude[i] = matchMagnitude;
    if constexpr (Bof) {
        bof->least[i] = least;
        bof->leastPass[i] = leastPass;
        bof->leastToMatch[i] = leastToMatch;
        bof->leastPassToMatch[i] = leastPassToMatch;
    }
}

// A row of the pass: its records, computed against the saved point guessed.
struct PassSlot {
    bool ready = false;  // guarded by the pass's lock
    double guessX = 0.0;
    double guessY = 0.0;
    std::vector<double> count, magnitude, matchAt, matchMagnitude;
    std::vector<double> least, leastToMatch;
    std::vector<std::int32_t> leastPass, leastPassToMatch;

    void resize(std::size_t n, bool bof) {
        count.resize(n);
        magnitude.resize(n);
        matchAt.resize(n);
        matchMagnitude.resize(n);
        if (bof) {
            least.resize(n);
            leastToMatch.resize(n);
            leastPass.resize(n);
            leastPassToMatch.resize(n);
        }
    }
};

struct PassScratch {
    std::vector<double> y;
    std::vector<double> magnitude;
};

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class ParallelPass {
public:
    ParallelPass(LevelSetTables& tables, PlotDriver& driver, const LevelSetPassOptions& options)
        : tables_(tables), s_(driver.kernel) {
        const FractalParams& p = s_.params;
        width_ = driver.imageWidth();
        height_ = driver.imageHeight();
        ymin_ = p.ymin;
        spanY_ = driver.plotSpanY();
        julia_ = s_.type == FractalType::Julia;
        bof_ = kernels::tracksBof(p);
        iterations_ = p.iterations;
        sizeLimit_ = p.sizeLimit;
        entries_ = std::min(tables.levelLow.size(), tables.levelHigh.size());
        // NaN until a point sets the entry: every comparison with it fails.
        lowMagnitude_.assign(entries_, std::numeric_limits<double>::quiet_NaN());
        highMagnitude_.assign(entries_, std::numeric_limits<double>::quiet_NaN());
        // Only a positive tolerance can ever be met; zero (a fresh program)
        // and NaN make every record independent of the saved point.
        matchPossible_ = s_.periodicityChecking && s_.periodicity.tolerance > 0.0;
        // The vector loops keep no BOF minimum; those plots take the scalar loop.
        rowFunction_ = bof_ ? &passRowScalar : passRowFunction(options.level);

        padded_ = static_cast<std::size_t>(passRowPadded(width_) + passRowBlock);
        columns_.assign(padded_, 0.0);
        for (int i = 0; i < width_; ++i) {
            columns_[static_cast<std::size_t>(i)] = columnValue(p.xmin, driver.plotSpanX(), i, width_);
        }

        constants_.mandelbrot = !julia_;
        constants_.cx = p.param1;
        constants_.cy = p.param2;
        constants_.iterations = static_cast<double>(iterations_);
        constants_.sizeLimit = sizeLimit_;
        constants_.matchTest = matchPossible_;
        constants_.tolerance = s_.periodicity.tolerance;
        guessX_ = s_.periodicity.savedX;
        guessY_ = s_.periodicity.savedY;

        int threads = options.threads > 0       ? options.threads
                      : options.pool != nullptr ? options.pool->size() + 1
                                                : defaultThreadCount();
        threads = std::max(1, std::min(threads, height_));
        // Rows are computed at most this far ahead of the row being settled:
        // a refresh of the saved point makes the rows computed against the
        // old one worth less, and the slots are reused round the ring.
        ringSize_ = std::max(16, 4 * threads);
        slots_ = std::make_unique<PassSlot[]>(static_cast<std::size_t>(ringSize_));
        for (int k = 0; k < ringSize_; ++k) slots_[static_cast<std::size_t>(k)].resize(padded_, bof_);
        // Every buffer is had here, on the calling thread, so that a worker
        // never allocates.
        scratch_.resize(static_cast<std::size_t>(threads));
        for (PassScratch& s : scratch_) {
            s.y.resize(padded_);
            s.magnitude.resize(padded_);
        }
        startHelpers(threads - 1, options.pool);
    }

    ~ParallelPass() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_.request_stop();
        }
        changed_.notify_all();
        if (pool_ != nullptr) pool_->finish();
    }

    ParallelPass(const ParallelPass&) = delete;
    ParallelPass& operator=(const ParallelPass&) = delete;

    bool run(LevelSetPassObserver* observer) {
        PassScratch& scratch = scratch_[0];
        return observedRows(height_, observer, [&](int j) {
            awaitRow(j, scratch);
            settleRow(j, scratch);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                slot(j).ready = false;
                settled_ = j + 1;
            }
            changed_.notify_all();
        });
    }

private:
    PassSlot& slot(int row) { return slots_[static_cast<std::size_t>(row % ringSize_)]; }

    // Borrows `helpers` threads from `pool`, or starts a pool of its own
    // when none is lent; the threads the system gives (at least the calling
    // one) do all rows.
    void startHelpers(int helpers, WorkerPool* pool) {
        if (helpers <= 0) return;
        if (pool == nullptr || !pool->lend(helpers)) {
            ownPool_ = std::make_unique<WorkerPool>(helpers);
            helpers = ownPool_->size();
            if (helpers == 0) return;
            pool = ownPool_.get();
            pool->lend(helpers);
        }
        pool_ = pool;
        helpers_ = helpers;
        pool->run([this](int helper) { work(scratch_[static_cast<std::size_t>(helper + 1)]); });
    }

    // Work for any thread, under the lock: a row to compute again first,
    // then the next new row within reach of the ring.
    bool takeWork(int& row, double& gx, double& gy) {
        if (!redo_.empty()) {
            row = redo_.front();
            redo_.pop_front();
        } else if (nextRow_ < height_ && nextRow_ < settled_ + ringSize_) {
            row = nextRow_++;
        } else {
            return false;
        }
        gx = guessX_;
        gy = guessY_;
        return true;
    }

    void work(PassScratch& scratch) {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            int row = 0;
            double gx = 0.0, gy = 0.0;
            changed_.wait(lock, [&] { return stop_.stop_requested() || takeWork(row, gx, gy); });
            if (stop_.stop_requested()) return;
            lock.unlock();
            computeRecords(row, 0, gx, gy, scratch);
            lock.lock();
            slot(row).ready = true;
            changed_.notify_all();
        }
    }

    // Until row j's records hold for the true saved point. The calling
    // thread computes row j itself when nobody has, and other rows while
    // there are few helpers; with many, settling (up to a fifth of the
    // cost of computing a row in the benchmark's views) is what it must
    // keep up with.
    void awaitRow(int j, PassScratch& scratch) {
        std::unique_lock<std::mutex> lock(mutex_);
        const bool helping = helpers_ < helpingBelow;
        for (;;) {
            PassSlot& s = slot(j);
            if (s.ready) {
                if (!stale(s)) return;
                s.ready = false;
                redo_.push_front(j);
            }
            const bool ownRow = redo_.empty() ? nextRow_ == j : redo_.front() == j;
            int row = 0;
            double gx = 0.0, gy = 0.0;
            if ((helping || ownRow) && takeWork(row, gx, gy)) {
                lock.unlock();
                computeRecords(row, 0, gx, gy, scratch);
                lock.lock();
                slot(row).ready = true;
                changed_.notify_all();
                continue;
            }
            // The row is being computed elsewhere and will be ready soon; a
            // sleep on the condition would cost more than the wait itself.
            lock.unlock();
            std::this_thread::yield();
            lock.lock();
        }
    }

    // A refresh moved the saved point: rows from now on are computed
    // against the new one, and rows already computed against another are
    // handed back to be computed again, on whichever threads are free.
    void publishSavedPoint(int settling) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            guessX_ = s_.periodicity.savedX;
            guessY_ = s_.periodicity.savedY;
            for (int r = settling + 1; r < nextRow_; ++r) {
                PassSlot& later = slot(r);
                if (later.ready && stale(later)) {
                    later.ready = false;
                    redo_.push_back(r);
                }
            }
        }
        changed_.notify_all();
    }

    bool stale(const PassSlot& s) const {
        const PeriodicityState& per = s_.periodicity;
        return matchPossible_ && !(sameBits(s.guessX, per.savedX) && sameBits(s.guessY, per.savedY));
    }

    // The records of row j from column `from` on, against the saved point (gx, gy).
    void computeRecords(int j, int from, double gx, double gy, PassScratch& scratch) {
        PassSlot& s = slot(j);
        const double yj = passRowValue(ymin_, spanY_, j, height_);
        std::fill(scratch.y.begin(), scratch.y.end(), 0.0);
        std::fill(scratch.magnitude.begin(), scratch.magnitude.end(), std::numeric_limits<double>::infinity());
        for (int i = 0; i < width_; ++i) {
            const auto k = static_cast<std::size_t>(i);
            scratch.y[k] = yj;
            scratch.magnitude[k] = columns_[k] * columns_[k] + yj * yj;
        }
        PassRowConstants c = constants_;
        c.savedX = gx;
        c.savedY = gy;
        s.guessX = gx;
        s.guessY = gy;
        const auto f = static_cast<std::size_t>(from);
        const PassRowSeeds seeds{columns_.data() + f, scratch.y.data() + f, scratch.magnitude.data() + f};
        const PassRowRecords records{s.count.data() + f, s.magnitude.data() + f, s.matchAt.data() + f,
                                     s.matchMagnitude.data() + f};
        const int n = width_ - from;
        if (bof_) {
            const BofRecords bof{s.least.data() + f, s.leastPass.data() + f, s.leastToMatch.data() + f,
                                 s.leastPassToMatch.data() + f};
            for (int i = 0; i < n; ++i) recordPoint<true>(c, seeds, records, &bof, i);
        } else {
            rowFunction_(c, seeds, records, n);
        }
    }

    // The table update of one escaped point. The potential value grows with
    // the magnitude, by a relative 1e-12 / 1420 at least where the magnitude
    // grows by a relative 1e-12 (ln m <= 710), far beyond the rounding of its
    // extended-precision evaluation. So a magnitude clearly above that of the
    // point that set the lower end (or clearly below that of the upper end's)
    // cannot move it, and its potential value, the costliest step of the
    // pass, is only worked out where it can.
    void record(std::size_t entry, std::int32_t n, double mag) {
        constexpr double above = 1.0 + 1e-12;
        constexpr double below = 1.0 - 1e-12;
        const bool lowStays = mag > lowMagnitude_[entry] * above;
        const bool highStays = mag < highMagnitude_[entry] * below;
        if (lowStays && highStays) return;
        const long double t = potentialValue(n, mag);
        if (tables_.levelLow[entry] > t) {
            tables_.levelLow[entry] = t;
            lowMagnitude_[entry] = mag;
        }
        if (tables_.levelHigh[entry] < t) {
            tables_.levelHigh[entry] = t;
            highMagnitude_[entry] = mag;
        }
    }

    std::int32_t scalarKernel(double& x, double& y) {
        return julia_ ? kernels::julia(s_, x, y) : kernels::mandelbrot(s_, x, y);
    }

    // The periodicity state one point leaves to the next, in locals while a
    // row is settled so that it stays in registers between the table updates.
    struct Carried {
        bool inside;
        std::int32_t counter;
        std::int32_t interval;
        double magnitude;
    };

    // Row j point by point with the true state, as the sequential pass has it.
    void settleRow(int j, PassScratch& scratch) {
        PassSlot& s = slot(j);
        PeriodicityState& per = s_.periodicity;
        Carried carried{per.lastPointInside, per.checkCounter, per.checkInterval, s_.point.magnitude};
        const bool checking = s_.periodicityChecking;
        const double* counts = s.count.data();
        const double* magnitudes = s.magnitude.data();
        for (int i = 0; i < width_; ++i) {
            const auto k = static_cast<std::size_t>(i);
            if (carried.interval > longestCheckInterval) carried.interval = longestCheckInterval;
            std::int32_t n = static_cast<std::int32_t>(counts[k]);
            double mag = magnitudes[k];
            bool unchecked = true;  // n and mag are those of the unchecked orbit
            if (checking && carried.inside) {
                const auto at = static_cast<std::int64_t>(s.matchAt[k]);
                const std::int64_t steps = at > 0 ? at - 1 : static_cast<std::int64_t>(n);
                if (steps != 0 && carried.counter + steps > carried.interval) {
                    rerunPoint(j, i, carried, n, mag, scratch);
                    recordEscape(n, mag);
                    continue;
                }
                // No refresh within the point: the saved point stays, the
                // counter only advances.
                carried.counter = static_cast<std::int32_t>(carried.counter + steps);
                if (at > 0) {
                    n = iterations_;
                    mag = s.matchMagnitude[k];
                    unchecked = false;
                }
            }
            carried.inside = (n == iterations_);
            carried.magnitude = mag;
            if (bof_) takeLeast(s, k, unchecked);
            recordEscape(n, mag);
        }
        per.lastPointInside = carried.inside;
        per.checkCounter = carried.counter;
        per.checkInterval = carried.interval;
        s_.point.magnitude = carried.magnitude;
    }

    // Point i of row j on the scalar kernel with the true state: a refresh
    // falls inside it, which needs the orbit value at its pass, and the rest
    // of the row must be tested against the new saved point.
    void rerunPoint(int j, int i, Carried& carried, std::int32_t& n, double& mag, PassScratch& scratch) {
        PeriodicityState& per = s_.periodicity;
        per.lastPointInside = carried.inside;
        per.checkCounter = carried.counter;
        per.checkInterval = carried.interval;
        double x = columns_[static_cast<std::size_t>(i)];
        double y = passRowValue(ymin_, spanY_, j, height_);
        s_.point.magnitude = x * x + y * y;
        n = scalarKernel(x, y);
        mag = s_.point.magnitude;
        carried = {per.lastPointInside, per.checkCounter, per.checkInterval, mag};
        if (!matchPossible_) return;
        publishSavedPoint(j);
        if (i + 1 < width_) computeRecords(j, i + 1, per.savedX, per.savedY, scratch);
    }

    // The BOF minimum a point's record holds, over the orbit it really made.
    void takeLeast(const PassSlot& s, std::size_t k, bool unchecked) {
        const double least = unchecked ? s.least[k] : s.leastToMatch[k];
        if (least < s_.point.minMagnitude) {
            s_.point.minMagnitude = least;
            s_.point.minIteration = unchecked ? s.leastPass[k] : s.leastPassToMatch[k];
        }
    }

    void recordEscape(std::int32_t n, double mag) {
        const auto entry = static_cast<std::size_t>(n);
        if (mag > sizeLimit_ && entry < entries_) record(entry, n, mag);
    }

    LevelSetTables& tables_;
    KernelState& s_;  // the calling thread's alone
    int width_ = 0;
    int height_ = 0;
    double ymin_ = 0.0;
    double spanY_ = 0.0;
    bool julia_ = false;
    bool bof_ = false;
    std::int32_t iterations_ = 0;
    double sizeLimit_ = 0.0;
    std::size_t entries_ = 0;
    // The magnitude of the point that last set each end of each entry.
    std::vector<double> lowMagnitude_, highMagnitude_;
    bool matchPossible_ = false;
    PassRowFunction rowFunction_ = nullptr;
    PassRowConstants constants_;
    std::size_t padded_ = 0;
    std::vector<double> columns_;
    int ringSize_ = 1;
    std::unique_ptr<PassSlot[]> slots_;
    std::vector<PassScratch> scratch_;  // one per thread, the calling thread's first

    std::mutex mutex_;
    std::condition_variable changed_;
    // Guarded by mutex_.
    int nextRow_ = 0;
    int settled_ = 0;
    std::deque<int> redo_;
    double guessX_ = 0.0;
    double guessY_ = 0.0;
    std::stop_source stop_;  // the pass is over: helpers leave

    int helpers_ = 0;
    WorkerPool* pool_ = nullptr;  // the helpers' pool, borrowed or ownPool_
    std::unique_ptr<WorkerPool> ownPool_;
};

}  // namespace

void passRowScalar(const PassRowConstants& constants, const PassRowSeeds& seeds, const PassRowRecords& records,
                   int count) {
    for (int i = 0; i < count; ++i) recordPoint<false>(constants, seeds, records, nullptr, i);
}

PassRowFunction passRowFunction(SimdLevel level) {
#if defined(FERNWISE_X86_SIMD)
    switch (supportedSimdLevel(level)) {
        case SimdLevel::Avx512: return passRowAvx512();
        case SimdLevel::Avx2: return passRowAvx2();
        case SimdLevel::Scalar: break;
    }
#else
    (void)level;
#endif
    return &passRowScalar;
}

bool runLevelSetPass(LevelSetTables& tables, PlotDriver& driver, LevelSetPassObserver* observer,
                     const LevelSetPassOptions& options) {
    ParallelPass pass(tables, driver, options);
    return pass.run(observer);
}

}  // namespace fernwise
