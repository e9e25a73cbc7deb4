#include "zip/OrderedWork.h"

#include <system_error>

namespace kuv::zip {

unsigned CoreCount() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n;
}

WorkerPool::WorkerPool(unsigned threads) {
    if (threads == 0) threads = CoreCount();
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

void WorkerPool::Post(std::function<void(unsigned)> job) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void WorkerPool::Loop(unsigned worker) {
    for (;;) {
        std::function<void(unsigned)> job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty()) return;  // stopping, and nothing left to run
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job(worker);
    }
}

}  // namespace kuv::zip
