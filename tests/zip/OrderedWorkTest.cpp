// Results of jobs run on worker threads come back in submission order, within
// the memory budget, and the caller's idle function runs at its pace even
// when no job makes the caller wait.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
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
