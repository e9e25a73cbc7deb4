#pragma once
// Positioned reads and whole writes on file descriptors, for the reading side
// of the engine. Every read names the exact byte range it needs; a range that
// the file does not hold is a failure, never a short buffer.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kuv::zip {

// Reads exactly n bytes at 0-based offset; false on any error or end of file.
bool ReadExact(int fd, std::uint64_t offset, void* buffer, std::size_t n);
// The system's error of the last ReadExact of this thread that the medium
// refused (not an early end of file), cleared; 0 when none since the last call.
int TakeReadError();
// Reads exactly n bytes at offset into a string.
bool ReadString(int fd, std::uint64_t offset, std::size_t n, std::string& out);
// Writes every byte (retrying partial writes); false on any error.
bool WriteAll(int fd, const void* data, std::size_t n);
// Size of an open regular file; false when it cannot be known.
bool DescriptorSize(int fd, std::uint64_t& size);

// Reads a range [start, end) of a file front to back through one buffer, so
// that many small header reads cost few system calls.
class SequentialReader {
public:
    SequentialReader(int fd, std::uint64_t start, std::uint64_t end, std::size_t bufferSize = 64 * 1024);
    // Reads n bytes at the current position; false (position unchanged) when
    // they run past the end of the range or cannot be read.
    bool Read(void* out, std::size_t n);
    bool ReadString(std::size_t n, std::string& out);
    bool Skip(std::uint64_t n);
    std::uint64_t Position() const { return pos_; }
    std::uint64_t Remaining() const { return end_ - pos_; }

private:
    bool Fill(std::size_t n);
    int fd_;
    std::uint64_t pos_;
    std::uint64_t end_;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t bufStart_ = 0;  // file offset of buffer_[0]
    std::size_t bufLen_ = 0;
};

}  // namespace kuv::zip
