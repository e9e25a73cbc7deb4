#pragma once
// The one owner of an open file descriptor: move-only, closes what it holds
// when it goes. Close() is the way to learn whether the close failed (a
// write the medium refused late shows there); the destructor cannot report.

namespace kuv::platform {

class UniqueFd {
public:
    UniqueFd() = default;
    // Takes fd (a negative value holds nothing).
    explicit UniqueFd(int fd) : fd_(fd < 0 ? -1 : fd) {}
    ~UniqueFd();
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Gives the descriptor up without closing it.
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes what it holds (ignoring a close error) and takes fd.
    void Reset(int fd = -1);
    // Closes the descriptor. Returns: true when nothing was held or the close
    // succeeded; false (errno set) when the close reported an error. The
    // descriptor is given up either way.
    bool Close();

private:
    int fd_ = -1;
};

}  // namespace kuv::platform
