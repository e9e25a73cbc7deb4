#pragma once
// How many calls of a fault point a piece of work makes, counted in a child
// process (the point armed far beyond reach, so nothing fails), so that a
// test can then stop or fail that work at each of them in turn.
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

#include "platform/FaultInjection.h"

namespace kuv::testing {

inline int FaultCallsInChild(platform::FaultPoint point, const std::function<void()>& work) {
    int fds[2];
    if (pipe(fds) != 0) return 0;
    const pid_t pid = fork();
    if (pid == 0) {
        platform::ArmFault(point, 1 << 30, EIO);
        work();
        const int calls = platform::FaultCalls(point);
        (void)!write(fds[1], &calls, sizeof calls);
        _exit(0);
    }
    close(fds[1]);
    int calls = 0;
    (void)!read(fds[0], &calls, sizeof calls);
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    return calls;
}

}  // namespace kuv::testing
