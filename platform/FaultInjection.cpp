#include "platform/FaultInjection.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

namespace kuv::platform {

namespace detail {
std::atomic<bool> g_faultsArmed{false};
}  // namespace detail

namespace {

struct PointState {
    int from = 0;   // 0: not armed
    int error = 0;
    int times = 0;  // 0: no end
    int calls = 0;
};

constexpr int kPoints = static_cast<int>(FaultPoint::Count_);

std::mutex& Lock() {
    static std::mutex m;
    return m;
}

PointState* States() {
    static PointState states[kPoints];
    return states;
}

}  // namespace

void ArmFault(FaultPoint point, int fromCall, int error, int times) {
    std::lock_guard<std::mutex> lock(Lock());
    PointState& s = States()[static_cast<int>(point)];
    s = PointState{fromCall, error, times, 0};
    bool any = false;
    for (int i = 0; i < kPoints; ++i) any = any || States()[i].from > 0;
    detail::g_faultsArmed.store(any, std::memory_order_relaxed);
}

void DisarmFaults() {
    std::lock_guard<std::mutex> lock(Lock());
    for (int i = 0; i < kPoints; ++i) States()[i] = PointState{};
    detail::g_faultsArmed.store(false, std::memory_order_relaxed);
}

int FaultCalls(FaultPoint point) {
    std::lock_guard<std::mutex> lock(Lock());
    return States()[static_cast<int>(point)].calls;
}

int detail::TakeFault(FaultPoint point) {
    std::lock_guard<std::mutex> lock(Lock());
    PointState& s = States()[static_cast<int>(point)];
    ++s.calls;
    if (s.from <= 0 || s.calls < s.from || (s.times > 0 && s.calls >= s.from + s.times)) return 0;
    if (s.error == kFaultKill) raise(SIGKILL);
    if (s.error == kFaultPause)
        for (;;) pause();
    errno = s.error;
    return s.error;
}

}  // namespace kuv::platform
