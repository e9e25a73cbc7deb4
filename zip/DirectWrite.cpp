#include "zip/DirectWrite.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <system_error>

#include "platform/Files.h"

namespace kuv::zip {

namespace {

std::atomic<int> g_refusalsForTesting {0};

// Returns: true when a refusal asked for by a test is due (and counts it).
bool TakeRefusalForTesting() {
    int n = g_refusalsForTesting.load(std::memory_order_relaxed);
    while (n > 0 && !g_refusalsForTesting.compare_exchange_weak(n, n - 1, std::memory_order_relaxed)) {
    }
    return n > 0;
}

}  // namespace

struct DirectWriter::Block {
    std::uint8_t* data = nullptr;
    ~Block() { std::free(data); }
};

void DirectWriter::RefuseDirectWritesForTesting(int n) { g_refusalsForTesting.store(n, std::memory_order_relaxed); }

DirectWriter::DirectWriter(int fd) : fd_(fd) {}

std::unique_ptr<DirectWriter> DirectWriter::Open(int fd) {
    std::unique_ptr<DirectWriter> w(new (std::nothrow) DirectWriter(fd));
    if (!w) return nullptr;
    for (auto& block : w->blocks_) {
        block.reset(new (std::nothrow) Block);
        if (!block) return nullptr;
        block->data = static_cast<std::uint8_t*>(std::aligned_alloc(kAlignment, kBlockBytes));
        if (!block->data) return nullptr;
    }
    try {
        w->thread_ = std::thread(&DirectWriter::Run, w.get());
    } catch (const std::system_error&) {
        return nullptr;  // no thread to be had: the file is written as usual
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_DIRECT) != 0) return nullptr;
    w->direct_.store(true);
    return w;
}

DirectWriter::~DirectWriter() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

bool DirectWriter::Direct() const { return direct_.load(); }

void DirectWriter::TurnDirectOff() {
    if (!direct_.load()) return;
    const int flags = fcntl(fd_, F_GETFL);
    if (flags >= 0 && fcntl(fd_, F_SETFL, flags & ~O_DIRECT) == 0) direct_.store(false);
}

int DirectWriter::WriteAt(const std::uint8_t* data, std::size_t size, std::uint64_t offset) {
    for (;;) {
        const bool direct = direct_.load();
        errno = 0;
        const bool refused = direct && TakeRefusalForTesting();
        if (!refused && platform::WriteAllAt(fd_, data, size, offset)) return 0;
        const int error = refused ? EINVAL : (errno != 0 ? errno : EIO);
        if (error != EINVAL || !direct) return error;
        // Refused as a direct write (or a short one left the offset
        // unaligned): all of it again, through the cache; bytes already
        // written go over themselves.
        TurnDirectOff();
        if (direct_.load()) return EINVAL;  // cannot even turn it off
    }
}

void DirectWriter::WaitIdle(std::unique_lock<std::mutex>& lock) {
    idle_.wait(lock, [this] { return !pending_; });
}

void DirectWriter::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || pending_; });
        if (pending_) {
            const std::uint8_t* data = blocks_[pendingBlock_]->data;
            const std::size_t size = pendingSize_;
            const std::uint64_t offset = pendingOffset_;
            lock.unlock();
            const int e = WriteAt(data, size, offset);
            lock.lock();
            if (e != 0 && error_ == 0) error_ = e;
            pending_ = false;
            idle_.notify_all();
            continue;
        }
        return;  // stopped, nothing left
    }
}

bool DirectWriter::HandOver() {
    std::unique_lock<std::mutex> lock(mutex_);
    WaitIdle(lock);
    if (error_ != 0) {
        errno = error_;
        return false;
    }
    pending_ = true;
    pendingBlock_ = current_;
    pendingSize_ = filled_;
    pendingOffset_ = offset_;
    wake_.notify_one();
    current_ ^= 1;
    offset_ += filled_;
    filled_ = 0;
    return true;
}

bool DirectWriter::Write(const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const std::size_t n = std::min(size, kBlockBytes - filled_);
        std::memcpy(blocks_[current_]->data + filled_, data, n);
        filled_ += n;
        data += n;
        size -= n;
        if (filled_ == kBlockBytes && !HandOver()) return false;
    }
    return true;
}

bool DirectWriter::Finish() {
    std::unique_lock<std::mutex> lock(mutex_);
    WaitIdle(lock);
    // The tail is not a whole block: it goes through the cache, and so does
    // whatever is done to the file after this.
    TurnDirectOff();
    if (error_ == 0 && filled_ > 0) {
        error_ = WriteAt(blocks_[current_]->data, filled_, offset_);
        if (error_ == 0) {
            offset_ += filled_;
            filled_ = 0;
        }
    }
    if (error_ == 0 && direct_.load()) error_ = EINVAL;  // direct writes could not be turned off
    if (error_ == 0) return true;
    errno = error_;
    return false;
}

void DirectWriter::Restart() {
    std::unique_lock<std::mutex> lock(mutex_);
    WaitIdle(lock);
    error_ = 0;
    current_ = 0;
    filled_ = 0;
    offset_ = 0;
}

}  // namespace kuv::zip
