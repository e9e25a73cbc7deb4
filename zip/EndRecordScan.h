#pragma once
// The search for an archive's end record: the file is read in blocks from its
// end toward its start, and every place that holds the end-record signature
// is offered, last one first, to a check that decides whether the end record
// there describes a consistent directory. Offset 0 is never examined.

#include <cstdint>
#include <functional>
#include <set>
#include <tuple>

namespace kuv::zip {

// The 0-based offset of the first candidate (from the end) that accept
// takes, or -1 when there is none (or the file cannot be read).
std::int64_t ScanForEndRecord(int fd, std::uint64_t fileSize,
                              const std::function<bool(std::uint64_t offset)>& accept);

// Reads the end record at offset and checks that it and the directory it
// describes are consistent with the file.
bool EndRecordIsConsistent(int fd, std::uint64_t fileSize, std::uint64_t offset);

// The same check over a whole search: a directory already found inconsistent
// (same offset, size and count) is not read again, so that a file crowded
// with end-record signatures cannot make the search read it over and over.
class EndRecordChecker {
public:
    EndRecordChecker(int fd, std::uint64_t fileSize) : fd_(fd), fileSize_(fileSize) {}
    bool operator()(std::uint64_t offset);

private:
    int fd_;
    std::uint64_t fileSize_;
    std::set<std::tuple<std::uint32_t, std::uint32_t, std::uint16_t>> refused_;
};

}  // namespace kuv::zip
