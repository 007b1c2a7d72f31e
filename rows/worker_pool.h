#pragma once

#include <any>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

namespace fernwise {

// One worker per core: what a thread count <= 0 asks for.
int defaultThreadCount();

// Polls `done` for up to `limit`; whether it came true. A thread that waits
// for work that is mostly done within microseconds polls before sleeping,
// since being woken costs more than that.
template <typename Done>
bool spinUntil(std::chrono::microseconds limit, Done done) {
    const auto until = std::chrono::steady_clock::now() + limit;
    for (;;) {
        for (int i = 0; i < 64; ++i) {
            if (done()) return true;
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#endif
        }
        if (std::chrono::steady_clock::now() >= until) return false;
    }
}

// Helper threads that outlive single jobs. The caller that renders one image
// after another creates them once and lends them to each row pipeline and
// level-set pass in turn: starting threads costs more than the rows of a
// small image, and threads that have just been started wait for a free core
// longer than sleeping ones that are woken. A borrower that finds the pool
// lent to another (or too small) makes a pool of its own for its job.
//
// Cancelling a job is the borrower's affair (a std::stop_source of its own);
// the pool's stop token only ends its threads when it is destroyed.
class WorkerPool {
public:
    // `threads` helpers (< 0: one per core, less the caller's). A system
    // that refuses threads leaves fewer, possibly none.
    explicit WorkerPool(int threads = -1);
    ~WorkerPool();

    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    int size() const { return static_cast<int>(threads_.size()); }

    // Reserves the pool for one job on `helpers` of its threads; false while
    // it is lent to another job or when it has fewer threads.
    bool lend(int helpers);
    // Runs job(0) .. job(helpers - 1) of the reserved job, one on each helper.
    using Job = std::function<void(int helper)>;
    void run(Job job);
    // Waits until every helper has left the job, runs `handBack` (which may
    // leave buffers in kept()), and frees the pool for the next borrower.
    void finish(const std::function<void()>& handBack = {});

    // What a borrower of type T leaves with the pool for its next job, so
    // that each image does not take its memory from the system again. Only
    // the borrower holding the pool (lend to finish) touches it.
    template <typename T>
    T& kept() {
        if (auto* held = std::any_cast<std::shared_ptr<T>>(&kept_)) return **held;
        auto made = std::make_shared<T>();
        kept_ = made;
        return *made;
    }

private:
    void serve(const std::stop_token& stop, int index);

    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::condition_variable left_;
    Job job_;
    std::any kept_;
    std::atomic<std::uint64_t> generation_{0};  // one more for each job started
    int lent_ = 0;                              // helpers of the job reserved
    int helpers_ = 0;                           // helpers of the job running
    std::atomic<int> running_{0};               // helpers still in the job (changed under the lock)
    bool busy_ = false;
    std::vector<std::jthread> threads_;  // last, so that they stop before the rest goes
};

}  // namespace fernwise
