#pragma once
// A child process that runs a piece of work and stops at a chosen point of it
// until the parent lets it go on. The child says on a pipe that it has
// stopped; the parent waits for that word with a time limit (never a sleep),
// does what it tests while the child holds whatever it holds there, then lets
// it finish and reads how it ended.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace kuv::testing {

class PausedChild {
public:
    // Runs work in a child; work calls pause() where the child is to stop,
    // and its result (0-255) is the child's exit code.
    explicit PausedChild(const std::function<int(const std::function<void()>& pause)>& work) {
        if (pipe(ready_) != 0 || pipe(go_) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(ready_[0]);
            close(go_[1]);
            const int ready = ready_[1], go = go_[0];
            _exit(work([ready, go] {
                char c = 1;
                (void)!write(ready, &c, 1);
                (void)!read(go, &c, 1);  // the parent's word, or its end
            }));
        }
        Close(ready_[1]);
        Close(go_[0]);
    }
    ~PausedChild() {
        if (pid_ > 0) kill(pid_, SIGKILL);
        Finish();
        Close(ready_[0]);
    }
    PausedChild(const PausedChild&) = delete;
    PausedChild& operator=(const PausedChild&) = delete;

    // Whether the child has stopped at its pause within timeoutMs (false
    // when it ended without reaching it).
    bool Paused(int timeoutMs) {
        pollfd ready{ready_[0], POLLIN, 0};
        char c = 0;
        return pid_ > 0 && poll(&ready, 1, timeoutMs) == 1 && read(ready_[0], &c, 1) == 1;
    }

    // Lets the child go on and waits for its end. Returns: its status as
    // waitpid gives it (-1 when there is no child).
    int Finish() {
        Close(go_[1]);
        int status = -1;
        if (pid_ > 0 && waitpid(pid_, &status, 0) != pid_) status = -1;
        pid_ = -1;
        return status;
    }

private:
    static void Close(int& fd) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    int ready_[2] = {-1, -1}, go_[2] = {-1, -1};
    pid_t pid_ = -1;
};

}  // namespace kuv::testing
