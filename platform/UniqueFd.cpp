#include "platform/UniqueFd.h"

#include <unistd.h>

#include <cerrno>

#include "platform/FaultInjection.h"

namespace kuv::platform {

UniqueFd::~UniqueFd() { Reset(); }

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
}

void UniqueFd::Reset(int fd) {
    if (fd_ >= 0 && fd_ != fd) {
        const int saved = errno;
        ::close(fd_);  // an owner that needs the verdict calls Close() first
        errno = saved;
    }
    fd_ = fd < 0 ? -1 : fd;
}

bool UniqueFd::Close() {
    if (fd_ < 0) return true;
    const int fd = Release();
    if (const int error = InjectedFault(FaultPoint::Close)) {
        ::close(fd);
        errno = error;
        return false;
    }
    // Linux releases the descriptor even when close reports an error
    // (EINTR included): it is never closed twice.
    return ::close(fd) == 0;
}

}  // namespace kuv::platform
