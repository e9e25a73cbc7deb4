#include "zip/ReaderIo.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/FaultInjection.h"
#include "platform/Files.h"

namespace kuv::zip {

namespace {
thread_local int t_readError = 0;
}  // namespace

bool ReadExact(int fd, std::uint64_t offset, void* buffer, std::size_t n) {
    errno = 0;
    if (platform::ReadAllAt(fd, buffer, n, offset)) return true;
    if (errno != 0) t_readError = errno;  // an early end of file leaves errno alone
    return false;
}

int TakeReadError() {
    const int error = t_readError;
    t_readError = 0;
    return error;
}

bool ReadString(int fd, std::uint64_t offset, std::size_t n, std::string& out) {
    out.assign(n, '\0');
    return n == 0 || ReadExact(fd, offset, out.data(), n);
}

bool WriteAll(int fd, const void* data, std::size_t n) {
    if (platform::InjectedFault(platform::FaultPoint::Write)) return false;
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (n > 0) {
        const ssize_t put = write(fd, p, n);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        p += put;
        n -= static_cast<std::size_t>(put);
    }
    return true;
}

bool DescriptorSize(int fd, std::uint64_t& size) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) return false;
    size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

SequentialReader::SequentialReader(int fd, std::uint64_t start, std::uint64_t end, std::size_t bufferSize)
    : fd_(fd), pos_(start), end_(end < start ? start : end), buffer_(bufferSize), bufStart_(start) {}

bool SequentialReader::Fill(std::size_t n) {
    // The bytes [pos_, pos_ + n) must be in the buffer afterwards.
    if (pos_ >= bufStart_ && pos_ + n <= bufStart_ + bufLen_) return true;
    const std::uint64_t want = std::min<std::uint64_t>(std::max(n, buffer_.size()), end_ - pos_);
    if (want > buffer_.size()) buffer_.resize(static_cast<std::size_t>(want));
    if (!ReadExact(fd_, pos_, buffer_.data(), static_cast<std::size_t>(want))) {
        bufLen_ = 0;
        return false;
    }
    bufStart_ = pos_;
    bufLen_ = static_cast<std::size_t>(want);
    return true;
}

bool SequentialReader::Read(void* out, std::size_t n) {
    if (n > end_ - pos_) return false;
    if (n == 0) return true;
    if (n > buffer_.size()) {
        // A large piece (a long name) is read directly.
        if (!ReadExact(fd_, pos_, out, n)) return false;
        pos_ += n;
        return true;
    }
    if (!Fill(n)) return false;
    std::memcpy(out, buffer_.data() + (pos_ - bufStart_), n);
    pos_ += n;
    return true;
}

bool SequentialReader::ReadString(std::size_t n, std::string& out) {
    out.assign(n, '\0');
    return Read(out.data(), n);
}

bool SequentialReader::Skip(std::uint64_t n) {
    if (n > end_ - pos_) return false;
    pos_ += n;
    return true;
}

}  // namespace kuv::zip
