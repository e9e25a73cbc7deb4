#include "zip/OrderedWork.h"

#include <algorithm>
#include <system_error>

namespace kuv::zip {

unsigned CoreCount() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n;
}

WorkerPool::WorkerPool(unsigned threads) {
    if (threads == 0) threads = CoreCount();
    placeOf_.assign(threads, 0);
    for (unsigned i = 0; i < threads; ++i) {
        try {
            threads_.emplace_back([this, i] { Loop(i); });
        } catch (const std::system_error&) {
            break;  // the threads started so far do the work (none: the caller does)
        }
    }
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
}

void WorkerPool::Post(std::function<void(unsigned)> job, std::uint64_t place) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back({std::move(job), place});
    }
    wake_.notify_one();
}

std::size_t WorkerPool::Choose(unsigned worker) const {
    // Looking further than the jobs a caller keeps in flight gains nothing.
    constexpr std::size_t kLookAhead = 64;
    const std::size_t last = std::min(jobs_.size(), kLookAhead);
    const auto takenByAnother = [&](std::uint64_t place) {
        for (std::size_t other = 0; other < placeOf_.size(); ++other)
            if (other != worker && placeOf_[other] == place) return true;
        return false;
    };
    for (std::size_t j = 0; j < last; ++j)
        if (jobs_[j].place == 0 || !takenByAnother(jobs_[j].place)) return j;
    return 0;
}

void WorkerPool::Loop(unsigned worker) {
    for (;;) {
        std::function<void(unsigned)> job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty()) return;  // stopping, and nothing left to run
            const std::size_t chosen = Choose(worker);
            job = std::move(jobs_[chosen].job);
            placeOf_[worker] = jobs_[chosen].place;
            jobs_.erase(jobs_.begin() + static_cast<std::ptrdiff_t>(chosen));
        }
        job(worker);
        std::lock_guard<std::mutex> lock(mutex_);
        placeOf_[worker] = 0;
    }
}

}  // namespace kuv::zip
