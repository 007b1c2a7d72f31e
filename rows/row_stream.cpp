#include "row_stream.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <stop_token>
#include <vector>

#include "row_pipeline.h"

namespace fernwise {
namespace {

// Rows held per computing thread: enough that a thread rarely waits for
// the writer (two of the engine's runs of rows), few enough that the memory
// stays a handful of rows.
int rowsPerThread(const RowEngine& engine) { return std::max(4, 2 * engine.rowsPerRun()); }

class RowStream {
public:
    RowStream(const RowEngine& engine, int first, int count, int threads)
        : engine_(engine),
          first_(first),
          end_(static_cast<long long>(first) + count),
          window_(std::max(2, threads * rowsPerThread(engine))),
          slots_(static_cast<std::size_t>(std::min<long long>(window_, count))),
          nextClaim_(first),
          nextDeliver_(first) {}

    // Computes on the helpers `lent` has reserved for this job (none when
    // null) besides the calling thread.
    bool run(bool carriedIn, WorkerPool* lent, const std::function<bool(const RowResult&)>& deliver) {
        carried_ = carriedIn;
        if (lent) lent->run([this](int) { help(); });
        bool completed = true;
        try {
            completed = deliverAll(deliver);
        } catch (...) {
            stop();
            if (lent) lent->finish();
            throw;
        }
        stop();
        if (lent) lent->finish();
        if (failure_) std::rethrow_exception(failure_);
        return completed;
    }

private:
    struct Slot {
        std::atomic<long long> ready{-1};  // the row whose result is complete here
        std::atomic<bool> carriedOutGuess{false};
        RowResult result;
    };

    Slot& slot(long long row) {
        return slots_[static_cast<std::size_t>((row - first_) % static_cast<long long>(slots_.size()))];
    }

    // The carried value a row is walked with: the true one for the next row
    // to deliver, else what the row above left as computed, else "outside".
    // A wrong guess only costs the settling a repair.
    bool guess(long long row) {
        if (row == first_) return carried_;
        Slot& above = slot(row - 1);
        if (above.ready.load() == row - 1) return above.carriedOutGuess.load();
        return false;
    }

    // Claims and computes the next rows (as many as the engine takes in one
    // run, within the window); false when none may be started now.
    bool computeOne(RowScratch& scratch) {
        long long row = nextClaim_.load();
        long long count = 0;
        for (;;) {
            if (row >= end_ || stop_.stop_requested()) return false;
            const long long room = nextDeliver_.load() + static_cast<long long>(slots_.size()) - row;
            if (room <= 0) return false;  // window full
            count = std::min({static_cast<long long>(engine_.rowsPerRun()), room, end_ - row});
            if (nextClaim_.compare_exchange_weak(row, row + count)) break;
        }
        std::array<RowResult*, RowEngine::maxRowsPerRun> results{};
        for (long long i = 0; i < count; ++i) results[static_cast<std::size_t>(i)] = &slot(row + i).result;
        const bool dependent = engine_.dependsOnCarried();
        if (!engine_.computeRows(
                static_cast<int>(row), static_cast<int>(count), [&] { return dependent && guess(row); }, results.data(),
                scratch, stop_.get_token())) {
            return false;
        }
        for (long long i = 0; i < count; ++i) {
            Slot& s = slot(row + i);
            s.carriedOutGuess.store(s.result.carriedOut);
            s.ready.store(row + i);
        }
        wake();
        return true;
    }

    void help() {
        try {
            RowScratch scratch;
            while (!stop_.stop_requested()) {
                if (computeOne(scratch)) continue;
                if (nextClaim_.load() >= end_) return;
                // The window is full: wait for the writer.
                const long long seen = nextDeliver_.load();
                waitFor([&] { return nextDeliver_.load() != seen || stop_.stop_requested(); });
            }
        } catch (...) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!failure_) failure_ = std::current_exception();
            stop_.request_stop();
            changed_.notify_all();
        }
    }

    bool deliverAll(const std::function<bool(const RowResult&)>& deliver) {
        RowScratch scratch;
        for (long long row = first_; row < end_; ++row) {
            Slot& s = slot(row);
            while (s.ready.load() != row) {
                if (stop_.stop_requested()) return false;  // a helper failed
                if (computeOne(scratch)) continue;
                waitFor([&] { return s.ready.load() == row || stop_.stop_requested(); });
            }
            engine_.settleRow(s.result, carried_);
            carried_ = s.result.carriedOut;
            const bool go_on = deliver(s.result);
            s.ready.store(-1);
            nextDeliver_.store(row + 1);
            wake();
            if (!go_on) return false;
        }
        return true;
    }

    // Spins briefly (a row is often a few microseconds from done), then sleeps.
    template <typename Ready>
    void waitFor(Ready ready) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(50);
        while (std::chrono::steady_clock::now() < until) {
            for (int i = 0; i < 64; ++i) {
                if (ready()) return;
#if defined(__x86_64__) || defined(__i386__)
                __builtin_ia32_pause();
#endif
            }
        }
        std::unique_lock<std::mutex> lock(mutex_);
        sleepers_.fetch_add(1);
        changed_.wait(lock, ready);
        sleepers_.fetch_sub(1);
    }

    void wake() {
        if (sleepers_.load() == 0) return;
        std::lock_guard<std::mutex> lock(mutex_);
        changed_.notify_all();
    }

    void stop() {
        stop_.request_stop();
        std::lock_guard<std::mutex> lock(mutex_);
        changed_.notify_all();
    }

    const RowEngine& engine_;
    const long long first_;
    const long long end_;
    const int window_;
    std::vector<Slot> slots_;
    std::atomic<long long> nextClaim_;
    std::atomic<long long> nextDeliver_;
    std::stop_source stop_;
    bool carried_ = false;  // the delivering thread's: lastPointInside before nextDeliver_
    std::atomic<int> sleepers_{0};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::exception_ptr failure_;
};

}  // namespace

bool streamRows(const RowEngine& engine, int first, int count, bool carriedIn, int threads,
                const std::function<bool(const RowResult&)>& deliver, WorkerPool* pool) {
    if (count <= 0) return true;
    if (threads <= 0) threads = defaultThreadCount();
    int helpers = static_cast<int>(std::min<long long>(threads - 1, count - 1));
    // A pool that is lent elsewhere or too small gives way to one of our own;
    // a system that refuses threads leaves fewer helpers, or none.
    std::unique_ptr<WorkerPool> own;
    if (helpers > 0 && (pool == nullptr || !pool->lend(helpers))) {
        own = std::make_unique<WorkerPool>(helpers);
        pool = own.get();
        helpers = pool->size();
        if (helpers > 0 && !pool->lend(helpers)) helpers = 0;
    }
    RowStream stream(engine, first, count, threads);
    return stream.run(carriedIn, helpers > 0 ? pool : nullptr, deliver);
}

bool carriedInto(const RowEngine& engine, int row, bool initial, int threads, WorkerPool* pool) {
    if (row <= 0 || !engine.dependsOnCarried()) return initial;
    // Walk back to a row that ends the same after either carried value.
    RowScratch scratch;
    RowResult afterInside;
    RowResult afterOutside;
    int known = row - 1;
    bool carried = initial;
    for (; known >= 0; --known) {
        engine.computeRow(known, true, afterInside, scratch);
        afterOutside = afterInside;
        engine.settleRow(afterOutside, false);
        if (afterInside.carriedOut == afterOutside.carriedOut) {
            carried = afterInside.carriedOut;
            break;
        }
    }
    // Forward from there with the true value (from the plot's start when
    // every row above depends on it).
    const int from = known + 1;
    streamRows(
        engine, from, row - from, carried, threads,
        [&carried](const RowResult& r) {
            carried = r.carriedOut;
            return true;
        },
        pool);
    return carried;
}

}  // namespace fernwise
