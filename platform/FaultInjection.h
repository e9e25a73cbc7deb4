#pragma once
// Faults of the file layer for tests: a point of the layer (reading, writing,
// closing, renaming, flushing, listing) made to fail with a chosen system
// error from its Kth call on, so that what the callers tell and leave
// behind can be checked under a bad day without a failing disk. Nothing is
// armed in the program itself: every point then costs one relaxed load.

#include <atomic>

namespace kuv::platform {

enum class FaultPoint { Read, Write, Close, Rename, Sync, List, Count_ };

namespace detail {
extern std::atomic<bool> g_faultsArmed;
int TakeFault(FaultPoint point);
}  // namespace detail

// What an armed point does instead of failing: the process is killed there
// (SIGKILL, as a crash or a power cut would stop it), or stops there until
// it is killed (a run in progress, for another process to meet).
inline constexpr int kFaultKill = -1;
inline constexpr int kFaultPause = -2;

// From the fromCall-th call (1-based) of point on, calls fail with error
// (or kFaultKill / kFaultPause), times calls in all (0: every call after);
// fromCall 0 disarms the point. Calls are counted from this call.
void ArmFault(FaultPoint point, int fromCall, int error, int times = 0);
// Disarms every point.
void DisarmFaults();
// Calls of point seen since it was armed (armed or not, while any is armed).
int FaultCalls(FaultPoint point);

// Returns: 0 to go on, or the error the call must fail with (errno is set).
inline int InjectedFault(FaultPoint point) {
    if (!detail::g_faultsArmed.load(std::memory_order_relaxed)) return 0;
    return detail::TakeFault(point);
}

// Disarms every point when it goes (tests).
struct FaultScope {
    FaultScope() = default;
    ~FaultScope() { DisarmFaults(); }
    FaultScope(const FaultScope&) = delete;
    FaultScope& operator=(const FaultScope&) = delete;
};

}  // namespace kuv::platform
