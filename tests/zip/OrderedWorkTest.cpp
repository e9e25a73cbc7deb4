// Results of jobs run on worker threads come back in submission order, within
// the memory budget, and the caller's idle function runs at its pace even
// when no job makes the caller wait.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "zip/OrderedWork.h"

using kuv::zip::OrderedResults;
using kuv::zip::WorkerPool;
using Clock = std::chrono::steady_clock;

TEST(OrderedWork, ResultsComeInOrderWithinTheBudget) {
    WorkerPool pool(3);
    std::vector<int> delivered;
    std::uint64_t mostHeld = 0;
    {
        OrderedResults<int>* self = nullptr;
        OrderedResults<int> queue(pool, 10, 100, [&](int& r) {
            delivered.push_back(r);
            mostHeld = std::max(mostHeld, self->Held());
        });
        self = &queue;
        for (int i = 0; i < 40; ++i) {
            // Early jobs are the slowest: they end after later ones.
            queue.Submit(3, [i](unsigned) {
                std::this_thread::sleep_for(std::chrono::milliseconds((40 - i) % 7));
                return i;
            });
            EXPECT_LE(queue.Held(), 10u);
        }
        queue.Finish();
    }
    ASSERT_EQ(delivered.size(), 40u);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(delivered[i], i);
    EXPECT_LE(mostHeld, 10u);
}

// A caller whose jobs never make it wait (level 0, fast disks) still lets
// window events run: idle comes every idleMs, never sooner.
TEST(OrderedWork, IdleRunsAtItsPaceWhetherOrNotTheCallerWaits) {
    WorkerPool pool(2);
    std::vector<std::pair<Clock::time_point, Clock::time_point>> calls;  // start, end of each idle
    const unsigned idleMs = 20;
    std::atomic<long> sum{0};
    {
        OrderedResults<int> queue(
            pool, 1000, 4, [&](int& r) { sum += r; },
            [&] {
                const auto start = Clock::now();
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                calls.emplace_back(start, Clock::now());
            },
            idleMs);
        const auto until = Clock::now() + std::chrono::milliseconds(300);
        int i = 0;
        while (Clock::now() < until) queue.Submit(1, [v = ++i](unsigned) { return v; });
        queue.Finish();
    }
    EXPECT_GE(calls.size(), 4u) << "300 ms of quick jobs let events run only " << calls.size() << " times";
    for (std::size_t k = 1; k < calls.size(); ++k)
        EXPECT_GE(calls[k].first - calls[k - 1].second, std::chrono::milliseconds(idleMs)) << "call " << k;
    EXPECT_GT(sum.load(), 0);
}

namespace {

// A job that says when it started and runs until it is let go.
struct HeldJob {
    std::mutex m;
    std::condition_variable cv;
    bool started = false;
    bool released = false;
    bool done = false;
    std::function<void(unsigned)> Job() {
        return [this](unsigned) {
            std::unique_lock<std::mutex> lock(m);
            started = true;
            cv.notify_all();
            cv.wait(lock, [this] { return released; });
            done = true;
            cv.notify_all();
        };
    }
    // Returns: whether it started within two seconds.
    bool WaitStarted() {
        std::unique_lock<std::mutex> lock(m);
        return cv.wait_for(lock, std::chrono::seconds(2), [this] { return started; });
    }
    bool Started() {
        std::lock_guard<std::mutex> lock(m);
        return started;
    }
    void Release() {
        std::lock_guard<std::mutex> lock(m);
        released = true;
        cv.notify_all();
    }
    bool WaitDone() {
        std::unique_lock<std::mutex> lock(m);
        return cv.wait_for(lock, std::chrono::seconds(2), [this] { return done; });
    }
};

}  // namespace

// A free thread passes over a job whose place another thread works in when
// a job of another place waits; with nothing else to do it takes it anyway.
TEST(WorkerPool, AFreeThreadGoesWhereNoOtherThreadWorks) {
    HeldJob inFolder1, other, nextInFolder1, inFolder2, first, second;
    WorkerPool pool(2);
    // Whatever fails below, every job is let go before the pool is joined.
    struct ReleaseAll {
        std::vector<HeldJob*> jobs;
        ~ReleaseAll() {
            for (HeldJob* j : jobs) j->Release();
        }
    } releaseAll {{&inFolder1, &other, &nextInFolder1, &inFolder2, &first, &second}};
    ASSERT_EQ(pool.Threads(), 2u);
    pool.Post(inFolder1.Job(), 1);
    pool.Post(other.Job());  // no place
    ASSERT_TRUE(inFolder1.WaitStarted());
    ASSERT_TRUE(other.WaitStarted());
    pool.Post(nextInFolder1.Job(), 1);
    pool.Post(inFolder2.Job(), 2);
    other.Release();
    ASSERT_TRUE(inFolder2.WaitStarted()) << "the free thread did not pass over folder 1";
    EXPECT_FALSE(nextInFolder1.Started()) << "two threads in folder 1 while folder 2 waited";
    inFolder1.Release();
    ASSERT_TRUE(nextInFolder1.WaitStarted());
    nextInFolder1.Release();
    inFolder2.Release();
    ASSERT_TRUE(nextInFolder1.WaitDone() && inFolder2.WaitDone());

    pool.Post(first.Job(), 3);
    ASSERT_TRUE(first.WaitStarted());
    pool.Post(second.Job(), 3);
    EXPECT_TRUE(second.WaitStarted()) << "a thread stayed idle with a job waiting";
    first.Release();
    second.Release();
    EXPECT_TRUE(first.WaitDone() && second.WaitDone());
}
