#include "zip/EndRecordScan.h"

#include "zip/ReaderIo.h"

namespace kuv::zip {

EndRecordSearch::EndRecordSearch(int fd, std::uint64_t fileSize)
    : fd_(fd), fileSize_(fileSize), counter_(kBudgetFactor * fileSize + kBudgetFloor) {}

std::int64_t EndRecordSearch::Find() {
    if (fileSize_ < ZipEndRecord::kSize) return -1;
    constexpr std::uint64_t kBlock = 256 * 1024;
    std::vector<std::uint8_t> block(kBlock + 3);
    // Candidate offsets run from fileSize - 22 down to 0. Each block covers
    // the candidates in [low, high) and reads 3 bytes more for the last word.
    std::uint64_t high = fileSize_ - ZipEndRecord::kSize + 1;
    while (high > 0) {
        const std::uint64_t low = high > kBlock ? high - kBlock : 0;
        const std::size_t bytes = static_cast<std::size_t>(high - low + 3);
        if (!counter_.Spend(bytes) || !ReadExact(fd_, low, block.data(), bytes)) return -1;
        for (std::uint64_t off = high; off-- > low;) {
            const std::uint8_t* p = block.data() + (off - low);
            if (p[0] == 0x50 && p[1] == 0x4b && p[2] == 0x05 && p[3] == 0x06 && Accept(off))
                return static_cast<std::int64_t>(off);
            if (counter_.Spent()) return -1;
        }
        high = low;
    }
    return -1;
}

bool EndRecordSearch::Accept(std::uint64_t offset) {
    std::uint8_t raw[ZipEndRecord::kSize];
    if (offset + ZipEndRecord::kSize > fileSize_ || !counter_.Spend(sizeof raw) ||
        !ReadExact(fd_, offset, raw, sizeof raw))
        return false;
    const ZipEndRecord end = ZipEndRecord::Decode(raw);
    const std::uint64_t recordEnd = offset + ZipEndRecord::kSize + end.commentLength;
    if (recordEnd > fileSize_) return false;
    if (EndIsSpanned(fd_, fileSize_, end, offset)) {
        // Only the record that ends the file stands for a spanned archive
        // (a stray signature in a comment or in data does not).
        if (recordEnd != fileSize_) return false;
        spanned_ = true;
        end_ = end;
        entries_.clear();
        return true;
    }
    // Refused from the end record (and its Zip64 record) alone: a directory
    // that cannot lie before it or cannot hold its count of entries.
    DirectoryBounds bounds;
    if (!ResolveDirectoryBounds(fd_, fileSize_, end, offset, bounds, &counter_)) return false;
    const std::uint64_t start = bounds.start;
    const std::uint64_t size = bounds.size;
    const std::uint64_t count = bounds.count;
    if (start > bounds.limit || size > bounds.limit - start || count > size / kCentralHeaderSize) return false;

    // The entries from start, parsed once for every candidate that shares it.
    // Candidates come last one first, so later ones never reach further.
    auto found = prefixes_.find(start);
    if (found == prefixes_.end()) {
        found = prefixes_.emplace(start, Prefix{}).first;
        found->second.parsedTo = start;
    }
    Prefix& prefix = found->second;
    if (prefix.entries.size() < count && !prefix.stopped) {
        // Room for them all at once (count fits in the bytes before this
        // record, checked above), not twice that while the table grows.
        prefix.entries.reserve(static_cast<std::size_t>(count));
        SequentialReader in(fd_, prefix.parsedTo, offset);
        while (prefix.entries.size() < count) {
            CentralEntry e;
            const DirectoryCheck check = ParseCentralEntry(in, e, &counter_);
            if (check == DirectoryCheck::OverBudget) return false;
            if (check != DirectoryCheck::Consistent) {
                // Damaged, or running into this end record: no later
                // candidate (which lies before this one) gets further.
                prefix.stopped = true;
                break;
            }
            prefix.parsedTo = in.Position();
            prefix.entries.push_back(std::move(e));
        }
    }
    if (prefix.entries.size() < count) return false;
    const std::uint64_t filled =
        count == 0 ? start : prefix.entries[count - 1].entryOffset + prefix.entries[count - 1].entrySize;
    if (filled - start != size) return false;

    // The entries are checked in place and, when they hold, handed over
    // without a copy: the search ends with this candidate. Checking only
    // adds what the local headers say, so a refused candidate leaves the
    // prefix as good for the next one.
    if (CheckMemberSpans(fd_, start, prefix.entries, count, &counter_, bounds.prefix) != DirectoryCheck::Consistent) return false;
    spanned_ = false;
    end_ = end;
    bounds_ = bounds;
    entries_ = std::move(prefix.entries);
    entries_.resize(static_cast<std::size_t>(count));
    prefixes_.clear();
    return true;
}

bool ReaderFindsEndRecordAt(int fd, std::uint64_t fileSize, std::uint64_t offset) {
    EndRecordSearch search(fd, fileSize);
    const std::int64_t found = search.Find();
    return found >= 0 && static_cast<std::uint64_t>(found) == offset && !search.Spanned();
}

}  // namespace kuv::zip
