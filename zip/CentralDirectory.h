#pragma once
// The central directory of an archive as the reader sees it: every central
// entry with its header groups, its stored and decoded names, and where it
// lies. Reading it checks the whole directory against the file before any
// field is used: the directory must lie inside the file before its end
// record, hold exactly the entries it declares in exactly the bytes it
// declares, and the members it describes must lie one after another before
// the directory without overlapping.

#include <cstdint>
#include <string>
#include <vector>

#include "zip/ZipRecords.h"

namespace kuv::zip {

constexpr std::uint16_t kExtraZip64 = 0x0001;           // Zip64 extended information
constexpr std::uint16_t kExtraUnicodePath = 0x7075;     // Info-ZIP Unicode Path
constexpr std::uint32_t kZip64Marker = 0xFFFFFFFFu;     // "the value is in the Zip64 record"

struct CentralEntry {
    ZipCentralStart start;
    ZipHeaderCommon common;
    ZipCentralTail tail;
    std::string storedName;        // the name bytes as stored
    std::string name;              // UTF-8, every "/" turned into "\"
    std::uint64_t entryOffset = 0; // 0-based position of the central header
    std::uint64_t entrySize = 0;   // 46 + name + extra + comment lengths
    // A size or the local header offset stands in a Zip64 record: the member
    // is refused (its 32-bit fields do not hold its real values).
    bool needsZip64 = false;

    // A member flagged as a folder by its internal attributes (the only test
    // that makes the directory table leave it out).
    bool IsDirectoryMember() const { return tail.internalAttributes == kInternalDirectoryAttribute; }
    bool IsEncrypted() const { return (common.flags & kFlagEncrypted) != 0; }
};

enum class DirectoryCheck {
    Consistent,
    OutsideFile,     // the directory does not lie between the members and the end record
    BadEntry,        // a wrong signature, or a length that runs past the directory
    CountMismatch,   // the declared count does not fill the declared size exactly
    MembersOverlap,  // two entries share member bytes, or a member runs into the directory
    ReadError,
};

// Reads and checks the central directory that end (found at the 0-based
// endOffset of a file of fileSize bytes) describes.
DirectoryCheck ReadCentralDirectory(int fd, std::uint64_t fileSize, const ZipEndRecord& end,
                                    std::uint64_t endOffset, std::vector<CentralEntry>& entries);

// The name a member is known by: bit 11 names as UTF-8; an Info-ZIP Unicode
// Path extra field whose CRC matches the stored name gives the UTF-8 name
// (Info-ZIP zip on Linux may add it); a name written on a Unix host
// (version made by, high byte 3 or 19) without bit 11 is the host's own
// UTF-8 when its bytes are valid UTF-8 (Info-ZIP zip on Linux writes them so);
// otherwise through the OEM table. Every "/" becomes "\".
std::string MemberNameOf(const std::string& storedName, std::uint16_t flags, std::uint16_t versionMadeBy,
                         const std::string& extra);

}  // namespace kuv::zip
