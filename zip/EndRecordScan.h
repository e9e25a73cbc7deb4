#pragma once
// The search for an archive's end record: the file is read in blocks from its
// end toward its start, and every place that holds the end-record signature,
// offset 0 included, is offered (last one first) to a check that decides
// whether the end record there describes a consistent directory.
//
// The work is bounded whatever the file holds: a candidate whose directory
// cannot fit is refused from the end record alone; the entries of a
// directory are parsed at most once per directory offset (candidates that
// share it reuse them); and every byte the search reads or parses is counted
// against a budget of a small multiple of the file's size, past which the
// file is not taken as an archive.

#include <cstdint>
#include <map>
#include <vector>

#include "zip/CentralDirectory.h"
#include "zip/ZipRecords.h"

namespace kuv::zip {

class EndRecordSearch {
public:
    // The budget: kBudgetFactor times the file's size, plus kBudgetFloor.
    static constexpr std::uint64_t kBudgetFactor = 4;
    static constexpr std::uint64_t kBudgetFloor = 4096;

    EndRecordSearch(int fd, std::uint64_t fileSize);

    // The 0-based offset of the end record found, -1 when there is none (or
    // the file cannot be read, or the budget is spent).
    std::int64_t Find();
    // Checks the one candidate at offset: true when its directory is
    // consistent with the file, or when it is the end record of a spanned
    // archive that ends the file (Spanned() then tells).
    bool Accept(std::uint64_t offset);

    bool Spanned() const { return spanned_; }
    const ZipEndRecord& End() const { return end_; }
    // Where the accepted directory lies (from the Zip64 end record when there is one).
    const DirectoryBounds& Bounds() const { return bounds_; }
    // The accepted directory's entries, checked.
    std::vector<CentralEntry>& Entries() { return entries_; }
    // Every byte read or parsed so far (the blocks scanned, the end records,
    // the central entries, the local headers).
    std::uint64_t BytesParsed() const { return counter_.Parsed(); }

private:
    // The entries parsed so far from one directory offset.
    struct Prefix {
        std::vector<CentralEntry> entries;
        std::uint64_t parsedTo = 0;  // where the next entry starts
        bool stopped = false;        // a bad entry: no more can be parsed
    };

    int fd_;
    std::uint64_t fileSize_;
    ParseCounter counter_;
    std::map<std::uint64_t, Prefix> prefixes_;
    bool spanned_ = false;
    ZipEndRecord end_;
    DirectoryBounds bounds_;
    std::vector<CentralEntry> entries_;
};

// Returns: true when the search a reader makes (last candidate first) settles
// on the end record at offset, with a consistent directory. A signature that
// lies after it (in its comment, say) and would be taken first makes it false.
bool ReaderFindsEndRecordAt(int fd, std::uint64_t fileSize, std::uint64_t offset);

}  // namespace kuv::zip
