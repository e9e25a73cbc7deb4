#include "platform/Programs.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace kuv::platform {
namespace {

std::vector<char*> Argv(const std::string& program, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    return argv;
}

}  // namespace

bool StartDetached(const std::string& program, const std::vector<std::string>& args,
                   const std::string& workingFolder) {
    // Double fork: the grandchild is adopted by init, so nothing waits on it here.
    int status_pipe[2];
    if (pipe2(status_pipe, O_CLOEXEC) != 0) return false;
    const pid_t child = fork();
    if (child < 0) {
        close(status_pipe[0]);
        close(status_pipe[1]);
        return false;
    }
    if (child == 0) {
        close(status_pipe[0]);
        setsid();
        const pid_t grandchild = fork();
        if (grandchild != 0) _exit(grandchild > 0 ? 0 : 1);
        if (!workingFolder.empty() && chdir(workingFolder.c_str()) != 0) {
            const char fail = 1;
            (void)!write(status_pipe[1], &fail, 1);
            _exit(127);
        }
        const int devnull = open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            dup2(devnull, 0);
            dup2(devnull, 1);
            dup2(devnull, 2);
        }
        auto argv = Argv(program, args);
        execvp(program.c_str(), argv.data());
        const char fail = 1;
        (void)!write(status_pipe[1], &fail, 1);
        _exit(127);
    }
    close(status_pipe[1]);
    int status = 0;
    waitpid(child, &status, 0);
    // The exec closes the pipe (close-on-exec) without writing: success.
    char fail = 0;
    ssize_t n;
    do {
        n = read(status_pipe[0], &fail, 1);
    } while (n < 0 && errno == EINTR);
    close(status_pipe[0]);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && n == 0;
}

bool RunAndCapture(const std::string& program, const std::vector<std::string>& args,
                   std::string& output) {
    output.clear();
    int out_pipe[2];
    if (pipe2(out_pipe, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    auto argv = Argv(program, args);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out_pipe[1]);
    if (rc != 0) {
        close(out_pipe[0]);
        return false;
    }
    char buf[4096];
    for (;;) {
        const ssize_t n = read(out_pipe[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        output.append(buf, static_cast<size_t>(n));
    }
    close(out_pipe[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace kuv::platform
