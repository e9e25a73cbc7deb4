#pragma once
// Work spread over threads, results taken back in order on the calling
// thread. The caller submits jobs one after the other; each job runs on a
// worker thread (or at once on the caller's thread when there are none); its
// result is handed to the caller's deliver function in submission order,
// always on the caller's thread, so that whatever the caller does with it
// (writing the archive, raising events) happens in order and where it always
// did. Memory stays bounded: each job states what it holds until delivered,
// and a submission waits (delivering what is done) while the total would pass
// the budget.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace kuv::zip {

// Runs a function (letting window events run) once its period has passed
// since it last ran; Tick does nothing before then or without a function.
class EventPacer {
public:
    static constexpr std::chrono::milliseconds kEvery {25};
    explicit EventPacer(std::function<void()> doEvents, std::chrono::milliseconds every = kEvery)
        : doEvents_(std::move(doEvents)), every_(every) {}
    explicit operator bool() const { return static_cast<bool>(doEvents_); }
    void Tick() {
        if (!doEvents_ || std::chrono::steady_clock::now() < Next()) return;
        doEvents_();
        last_ = std::chrono::steady_clock::now();
    }
    // Returns: when the function is next due.
    std::chrono::steady_clock::time_point Next() const { return last_ + every_; }

private:
    std::function<void()> doEvents_;
    std::chrono::milliseconds every_;
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

// Returns: the number of worker threads for "one per core" (at least 1).
unsigned CoreCount();

// A fixed set of threads that run posted jobs. A job receives the number of
// the thread that runs it (0 to Threads() - 1), for per-thread state.
//
// A job may name a place (any number but 0: a folder its job writes into).
// A free thread takes the first job in posting order whose place no other
// thread is working in, so that two threads do not queue on one folder's
// lock while work elsewhere waits; when every waiting job's place is taken,
// it takes the first one anyway. Jobs of one place start in posting order.
class WorkerPool {
public:
    // threads 0: one per core. Returns with fewer threads (maybe none) when
    // the system refuses to start them; Threads() says how many run.
    explicit WorkerPool(unsigned threads = 0);
    // Waits for the posted jobs, then stops the threads.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Returns: the threads running (0: jobs must be run by the caller).
    unsigned Threads() const { return static_cast<unsigned>(threads_.size()); }
    // REQUIRES: Threads() > 0. Runs job on one of the threads, in posting
    // order but for jobs that wait for their place (above).
    void Post(std::function<void(unsigned worker)> job, std::uint64_t place = 0);

private:
    struct Posted {
        std::function<void(unsigned)> job;
        std::uint64_t place = 0;
    };
    void Loop(unsigned worker);
    // REQUIRES: mutex_ held, jobs_ not empty. Returns: the job worker takes next.
    std::size_t Choose(unsigned worker) const;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Posted> jobs_;
    std::vector<std::uint64_t> placeOf_;  // the place each thread works in (0: none)
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

// Jobs giving results of type R, delivered in submission order. One caller
// thread submits and receives; the jobs run on the pool.
template <class R>
class OrderedResults {
public:
    using Job = std::function<R(unsigned worker)>;
    using Deliver = std::function<void(R&)>;

    // REQUIRES: pool outlives this. budget: the most the undelivered jobs
    // may hold together (a single job larger than it still runs, alone);
    // maxJobs: the most undelivered jobs. idle (may be empty): called on the
    // caller's thread once idleMs have passed since it last ran (or since
    // construction), whenever the caller submits or waits for a result, so
    // that a caller whose jobs are quick still lets window events run.
    // Without threads in the pool, jobs run at once on the caller's thread
    // as worker 0.
    OrderedResults(WorkerPool& pool, std::uint64_t budget, std::size_t maxJobs, Deliver deliver,
                   std::function<void()> idle = {}, unsigned idleMs = 25)
        : pool_(pool), budget_(budget), maxJobs_(maxJobs == 0 ? 1 : maxJobs), deliver_(std::move(deliver)),
          idle_(std::move(idle), std::chrono::milliseconds(idleMs)) {}
    // Delivers what is left.
    ~OrderedResults() { Finish(); }
    OrderedResults(const OrderedResults&) = delete;
    OrderedResults& operator=(const OrderedResults&) = delete;

    // Runs job, which holds cost bytes until its result is delivered, in
    // place (WorkerPool::Post). First delivers the results that are ready,
    // and waits while the budget or the job count would be passed. Throws
    // std::bad_alloc (the job not run) when there is no memory to queue it.
    void Submit(std::uint64_t cost, Job job, std::uint64_t place = 0) {
        idle_.Tick();
        DeliverReady();
        while (!slots_.empty() && (held_ + cost > budget_ || slots_.size() >= maxJobs_)) DeliverFront();
        auto slot = std::make_shared<Slot>();
        slot->cost = cost;
        held_ += cost;
        slots_.push_back(slot);
        if (pool_.Threads() == 0) {
            slot->result = job(pool_.Threads());
            slot->done = true;
            return;
        }
        try {
            pool_.Post([this, slot, job = std::move(job)](unsigned worker) {
                R result = job(worker);
                std::lock_guard<std::mutex> lock(mutex_);
                slot->result = std::move(result);
                slot->done = true;
                ready_.notify_all();
            }, place);
        } catch (...) {
            // Not posted (no memory): nothing will ever fill the slot.
            slots_.pop_back();
            held_ -= cost;
            throw;
        }
    }

    // Delivers every result still pending, in order.
    void Finish() {
        while (!slots_.empty()) DeliverFront();
    }

    // Returns: what the undelivered jobs hold (as submitted).
    std::uint64_t Held() const { return held_; }

private:
    struct Slot {
        std::uint64_t cost = 0;
        bool done = false;
        R result {};
    };

    void DeliverReady() {
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (slots_.empty() || !slots_.front()->done) return;
            }
            DeliverFront();
        }
    }

    // Waits for the oldest job and hands its result over.
    void DeliverFront() {
        std::shared_ptr<Slot> slot = slots_.front();
        {
            std::unique_lock<std::mutex> lock(mutex_);
            while (!slot->done) {
                if (!idle_) {
                    ready_.wait(lock);
                    continue;
                }
                if (!ready_.wait_until(lock, idle_.Next(), [&] { return slot->done; })) {
                    lock.unlock();
                    idle_.Tick();
                    lock.lock();
                }
            }
        }
        slots_.pop_front();
        deliver_(slot->result);
        held_ -= slot->cost;
    }

    WorkerPool& pool_;
    const std::uint64_t budget_;
    const std::size_t maxJobs_;
    Deliver deliver_;
    EventPacer idle_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::shared_ptr<Slot>> slots_;  // caller's thread only; done/result under mutex_
    std::uint64_t held_ = 0;
};

}  // namespace kuv::zip
