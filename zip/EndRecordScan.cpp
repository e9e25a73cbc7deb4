#include "zip/EndRecordScan.h"

#include <vector>

#include "zip/CentralDirectory.h"
#include "zip/ReaderIo.h"
#include "zip/ZipRecords.h"

namespace kuv::zip {

std::int64_t ScanForEndRecord(int fd, std::uint64_t fileSize,
                              const std::function<bool(std::uint64_t offset)>& accept) {
    if (fileSize < 5) return -1;
    constexpr std::uint64_t kBlock = 256 * 1024;
    std::vector<std::uint8_t> block(kBlock + 3);
    // Candidate word offsets run from fileSize - 4 down to 1. Each block covers
    // the words starting in [low, high) and reads 3 bytes more for the last.
    std::uint64_t high = fileSize - 3;
    while (high > 1) {
        const std::uint64_t low = high - 1 > kBlock ? high - kBlock : 1;
        const std::size_t bytes = static_cast<std::size_t>(high - low + 3);
        if (!ReadExact(fd, low, block.data(), bytes)) return -1;
        for (std::uint64_t off = high; off-- > low;) {
            const std::uint8_t* p = block.data() + (off - low);
            if (p[0] == 0x50 && p[1] == 0x4b && p[2] == 0x05 && p[3] == 0x06 && accept(off))
                return static_cast<std::int64_t>(off);
        }
        high = low;
    }
    return -1;
}

bool EndRecordIsConsistent(int fd, std::uint64_t fileSize, std::uint64_t offset) {
    return EndRecordChecker(fd, fileSize)(offset);
}

bool EndRecordChecker::operator()(std::uint64_t offset) {
    std::uint8_t raw[ZipEndRecord::kSize];
    if (offset + ZipEndRecord::kSize > fileSize_ || !ReadExact(fd_, offset, raw, sizeof raw)) return false;
    const ZipEndRecord end = ZipEndRecord::Decode(raw);
    if (offset + ZipEndRecord::kSize + end.commentLength > fileSize_) return false;
    // Once the directory is known to end before this end record, its verdict
    // depends only on its offset, size and count.
    if (static_cast<std::uint64_t>(end.centralDirectoryOffset) + end.centralDirectorySize > offset) return false;
    const auto key = std::make_tuple(end.centralDirectoryOffset, end.centralDirectorySize, end.entriesTotal);
    if (refused_.count(key)) return false;
    std::vector<CentralEntry> entries;
    if (ReadCentralDirectory(fd_, fileSize_, end, offset, entries) == DirectoryCheck::Consistent) return true;
    refused_.insert(key);
    return false;
}

}  // namespace kuv::zip
