#pragma once
// Writing a large new file straight to its disk, past the page cache.
//
// A large member written through the cache is copied once more into pages
// the system must first find for it, then waits there until the restore's
// final sync writes it out, pushing the machine's working files out of the
// cache meanwhile. Written with O_DIRECT, its bytes go from one of two
// aligned blocks of kBlockBytes to the disk, by a thread of the writer's own
// while the caller fills the other block: inflating and writing overlap.
//
// Direct writes need an aligned buffer, size and offset. Every block is
// kBlockBytes at a multiple of it; the tail, shorter, is written through the
// cache at Finish. A file system that refuses direct writes (at the switch,
// or at any write with EINVAL) is written through the cache from there on:
// the file's bytes are the same either way, only the path changes. Any other
// failure is kept (the first one) and returned by every later call.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace kuv::zip {

class DirectWriter {
public:
    static constexpr std::size_t kBlockBytes = 1024 * 1024;
    static constexpr std::size_t kAlignment = 4096;

    // REQUIRES: fd is a new, empty regular file open for writing; it stays
    // open for the writer's life.
    // Returns: a writer with direct writes turned on; null when the file
    // system refuses them or there is no memory for the blocks (the caller
    // then writes fd as usual).
    static std::unique_ptr<DirectWriter> Open(int fd);
    // Waits for the block being written; bytes not given to Finish are lost.
    ~DirectWriter();
    DirectWriter(const DirectWriter&) = delete;
    DirectWriter& operator=(const DirectWriter&) = delete;

    // Appends size bytes. Returns: false (errno set) once a write has failed.
    bool Write(const std::uint8_t* data, std::size_t size);
    // Writes what is left and turns direct writes off, for the file's
    // closing steps. Returns: false (errno set) when any write failed.
    bool Finish();
    // Waits for the block being written and forgets every byte and error,
    // to write the file again from its start (the caller empties the file).
    void Restart();

    // Returns: whether blocks still go past the cache (false once refused).
    bool Direct() const;
    // Returns: the bytes given so far (since the last Restart).
    std::uint64_t Size() const { return offset_ + filled_; }

    // For tests: the next n direct writes of any writer fail with EINVAL,
    // as on a file system that accepts the switch but not the write.
    static void RefuseDirectWritesForTesting(int n);

private:
    struct Block;
    explicit DirectWriter(int fd);
    // Writes size bytes at offset, through the cache from the first
    // refusal of a direct write on. Returns: 0 or the errno.
    int WriteAt(const std::uint8_t* data, std::size_t size, std::uint64_t offset);
    void TurnDirectOff();
    // Hands the full current block to the thread; waits while it still
    // writes the other one. Returns: false (errno set) once a write failed.
    bool HandOver();
    void WaitIdle(std::unique_lock<std::mutex>& lock);
    void Run();

    const int fd_;
    std::unique_ptr<Block> blocks_[2];
    int current_ = 0;                // the block being filled by the caller
    std::size_t filled_ = 0;         // bytes in it
    std::uint64_t offset_ = 0;       // where it goes in the file

    mutable std::mutex mutex_;
    std::condition_variable wake_;   // the thread has a block, or must stop
    std::condition_variable idle_;   // the thread's block is written
    std::atomic<bool> direct_ {false};
    bool pending_ = false;           // a block waits for or is in the thread
    int pendingBlock_ = 0;
    std::size_t pendingSize_ = 0;
    std::uint64_t pendingOffset_ = 0;
    bool stop_ = false;
    int error_ = 0;                  // the first failure's errno
    std::thread thread_;             // writes the blocks handed over
};

}  // namespace kuv::zip
