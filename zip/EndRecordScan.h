#pragma once
// The search for an archive's end record: the file is read in blocks from its
// end toward its start, and every place that holds the end-record signature
// is offered, last one first, to a check that decides whether the end record
// there describes a consistent directory. Offset 0 is never examined.

#include <cstdint>
#include <functional>

namespace kuv::zip {

// The 0-based offset of the first candidate (from the end) that accept
// takes, or -1 when there is none (or the file cannot be read).
std::int64_t ScanForEndRecord(int fd, std::uint64_t fileSize,
                              const std::function<bool(std::uint64_t offset)>& accept);

// Reads the end record at offset and checks that it and the directory it
// describes are consistent with the file.
bool EndRecordIsConsistent(int fd, std::uint64_t fileSize, std::uint64_t offset);

}  // namespace kuv::zip
