#include "worker_pool.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace fernwise {
namespace {

constexpr auto helperSpin = std::chrono::microseconds(300);  // a helper between jobs
constexpr auto finishSpin = std::chrono::microseconds(50);   // a borrower waiting for its helpers to leave

}  // namespace

int defaultThreadCount() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(cores);
}

WorkerPool::WorkerPool(int threads) {
    if (threads < 0) threads = defaultThreadCount() - 1;
    threads_.reserve(static_cast<std::size_t>(std::max(0, threads)));
    for (int i = 0; i < threads; ++i) {
        try {
            threads_.emplace_back([this, i](std::stop_token stop) { serve(stop, i); });
        } catch (const std::system_error&) {
            break;  // out of threads: fewer helpers
        }
    }
}

WorkerPool::~WorkerPool() {
    {
        // Under the lock, so that no helper misses the request between its
        // check and its sleep.
        std::lock_guard<std::mutex> lock(mutex_);
        for (std::jthread& thread : threads_) thread.request_stop();
    }
    wake_.notify_all();
    threads_.clear();  // joins
}

bool WorkerPool::lend(int helpers) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (busy_ || helpers > size()) return false;
    busy_ = true;
    lent_ = helpers;
    return true;
}

void WorkerPool::run(Job job) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // Set with the generation, so that a helper waking late for the last
        // job cannot take itself for one of this job's.
        job_ = std::move(job);
        helpers_ = lent_;
        running_ = helpers_;
        generation_.fetch_add(1);
    }
    wake_.notify_all();
}

void WorkerPool::finish(const std::function<void()>& handBack) {
    // The helpers leave as soon as the last work is taken: usually at once.
    spinUntil(finishSpin, [this] { return running_.load(std::memory_order_relaxed) == 0; });
    std::unique_lock<std::mutex> lock(mutex_);
    left_.wait(lock, [this] { return running_ == 0; });
    job_ = nullptr;
    if (handBack) handBack();
    busy_ = false;
}

void WorkerPool::serve(const std::stop_token& stop, int index) {
    std::uint64_t seen = 0;
    for (;;) {
        // Jobs often follow each other closely: look for the next one a
        // little while before going to sleep, since waking takes longer.
        spinUntil(helperSpin,
                  [&] { return stop.stop_requested() || generation_.load(std::memory_order_relaxed) != seen; });
        std::unique_lock<std::mutex> lock(mutex_);
        if (!wake_.wait(lock, stop, [&] { return generation_.load() != seen; })) return;
        seen = generation_.load();
        // A job only starts once every helper has left the one before, so
        // no helper can miss one.
        if (index >= helpers_) continue;
        lock.unlock();
        job_(index);
        lock.lock();
        if (--running_ == 0) left_.notify_all();
    }
}

}  // namespace fernwise
