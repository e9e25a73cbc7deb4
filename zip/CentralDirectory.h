#pragma once
// The central directory of an archive as the reader sees it: every central
// entry with its header groups, its stored and decoded names, and where it
// lies. Reading it checks the whole directory against the file before any
// field is used: the directory must lie inside the file before its end
// record, hold exactly the entries it declares in exactly the bytes it
// declares, and each member's bytes (its local header as really written, its
// data as the central entry sizes it, and its data descriptor) must lie
// before the next member's local header and before the directory.

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "zip/ZipRecords.h"

namespace kuv::zip {

class SequentialReader;

constexpr std::uint16_t kExtraUnicodePath = 0x7075;     // Info-ZIP Unicode Path
constexpr std::uint16_t kExtraTimestamp = 0x5455;       // extended timestamp (UTC, seconds)
constexpr std::uint16_t kExtraInfoZipUnixOld = 0x5855;  // Info-ZIP Unix, first form: access, modification
constexpr std::uint16_t kExtraPkwareUnix = 0x000d;      // PKWARE Unix: access, modification, ...
constexpr std::uint32_t kExternalDosDirectory = 0x10;   // MS-DOS attribute byte: a folder

struct CentralEntry {
    ZipCentralStart start;
    ZipHeaderCommon common;
    ZipCentralTail tail;
    std::string storedName;        // the name bytes as stored
    std::string name;              // UTF-8, every "/" turned into "\"
    std::uint64_t entryOffset = 0; // 0-based position of the central header
    std::uint64_t entrySize = 0;   // 46 + name + extra + comment lengths
    std::string extra;             // the central extra field block
    // The member's real values: the header fields, or their Zip64 values
    // where the fields hold the marker.
    std::uint64_t compressedSize = 0;
    std::uint64_t uncompressedSize = 0;
    std::uint64_t localHeaderOffset = 0;  // in the file: recordedOffset plus the archive's prefix
    std::uint64_t recordedOffset = 0;     // as the directory records it
    // The modification time (UTC, seconds since 1970) an extended timestamp
    // or a Unix extra field gives; modifiedKnown false: the DOS date rules.
    bool modifiedKnown = false;
    std::int64_t modifiedUtc = 0;

    // What the member's local header says, read when the directory is checked.
    bool localFound = false;       // a local header signature at LocalHeaderOffset
    ZipHeaderCommon local;         // its 24 common bytes
    // Its sizes (from its Zip64 field where it holds the marker); a field
    // marked but missing leaves localSizesKnown false.
    std::uint64_t localCompressedSize = 0;
    std::uint64_t localUncompressedSize = 0;
    bool localSizesKnown = false;
    bool localZip64 = false;       // its extra field carries a Zip64 field
    bool localNameAgrees = false;  // its name bytes are storedName
    std::uint64_t dataOffset = 0;  // first data byte: after the local name and extra field
    std::uint64_t spanEnd = 0;     // past the data and the data descriptor, if any
    // Bit 3 of the local header: a descriptor after the data, which must
    // repeat the central entry's CRC and sizes (descriptorAgrees).
    bool hasDescriptor = false;
    bool descriptorAgrees = true;

    // A member flagged as a folder by its internal attributes (the only test
    // that makes the directory table leave it out).
    bool IsDirectoryMember() const { return tail.internalAttributes == kInternalDirectoryAttribute; }
    bool IsEncrypted() const { return (common.flags & kFlagEncrypted) != 0; }
    // The local header agrees with the central entry: same method and,
    // without a data descriptor, the same CRC and sizes; with one, the
    // descriptor holds them. A local name other than the central one (a
    // placeholder, or the name in another encoding) is accepted when the
    // flags agree too (bit 11, the name's encoding, aside): the central name
    // is the member's, the local one is never used. The central entry's
    // values are the member's.
    bool LocalAgrees() const;
    // Forgets what the local header said (before it is read again).
    void ResetLocalView();
};

enum class DirectoryCheck {
    Consistent,
    OutsideFile,     // the directory does not lie between the members and the end record
    BadEntry,        // a wrong signature, or a length that runs past the directory
    CountMismatch,   // the declared count does not fill the declared size exactly
    MembersOverlap,  // two members share bytes, or a member runs into the directory
    ReadError,
    OverBudget,      // the search's parsing budget is spent
};

// The bytes the reader parsed, against a budget: a search over a hostile
// file gives up once it has parsed a small multiple of the file's size.
class ParseCounter {
public:
    explicit ParseCounter(std::uint64_t limit = std::numeric_limits<std::uint64_t>::max()) : limit_(limit) {}
    // Counts n bytes; false once the total passes the limit.
    bool Spend(std::uint64_t n) {
        parsed_ += n;
        return parsed_ <= limit_;
    }
    std::uint64_t Parsed() const { return parsed_; }
    bool Spent() const { return parsed_ > limit_; }

private:
    std::uint64_t limit_;
    std::uint64_t parsed_ = 0;
};

// Parses the central entry at the reader's position (header, name, extra
// field, comment); BadEntry on a wrong signature or a length that runs past
// the reader's range.
DirectoryCheck ParseCentralEntry(SequentialReader& in, CentralEntry& e, ParseCounter* counter = nullptr);

// Places each of the first count entries prefix bytes after its recorded
// offset, reads their local headers and checks that every member's bytes lie
// before the next member and before the directory (directoryStart). With a
// prefix, every shifted offset must hold a local header (MembersOverlap
// otherwise). REQUIRES: count <= entries.size().
DirectoryCheck CheckMemberSpans(int fd, std::uint64_t directoryStart, std::vector<CentralEntry>& entries,
                                std::size_t count, ParseCounter* counter = nullptr, std::uint64_t prefix = 0);

// Where a directory lies, as the end record (and its Zip64 record) says.
struct DirectoryBounds {
    std::uint64_t start = 0;   // offset of the first central header
    std::uint64_t size = 0;    // bytes of the central directory
    std::uint64_t count = 0;   // central entries
    std::uint64_t limit = 0;   // the directory ends at or before: the (Zip64) end record
    // Bytes before the archive that its offsets leave out (a self-extracting
    // stub, or bytes prepended after it was written): start already counts
    // them, every member's recorded offset is short by them.
    std::uint64_t prefix = 0;
    bool zip64 = false;        // a Zip64 end record gave the bounds
};

// An end record of a spanned (multi-disk) archive: a disk number other than
// 0, or fewer entries on this disk than in total. Values that are the Zip64
// markers (disk numbers included) count as "see the Zip64 end record" when
// zip64 is true (a Zip64 end record that agrees is there).
bool IsSpannedEnd(const ZipEndRecord& end, bool zip64 = false);

// Whether the end record at endOffset stands for a spanned archive, its
// Zip64 end record (when one is there and holds) taken into account.
bool EndIsSpanned(int fd, std::uint64_t fileSize, const ZipEndRecord& end, std::uint64_t endOffset);

// Returns: true when a value of the classic end record is a Zip64 marker.
bool ClassicEndNeedsZip64(const ZipEndRecord& end);

// The bounds the end record at endOffset gives, taking the Zip64 end record
// when a locator lies just before it. When the directory is not where the
// records say but ends right before the (Zip64) end record with a central
// header there, the difference is taken as a prefix of the file, as other
// readers do (the Zip64 end record may be short by it the same way).
// Returns: false when a Zip64 record is there but does not hold (a spanned archive, values that disagree with the
// end record's own, a directory past it), or when the end record needs one
// and none is where the locator says. A locator signature with no Zip64
// record behind it beside an end record that needs none is not a locator
// (the end of a member's name): the classic bounds are given.
bool ResolveDirectoryBounds(int fd, std::uint64_t fileSize, const ZipEndRecord& end, std::uint64_t endOffset,
                            DirectoryBounds& bounds, ParseCounter* counter = nullptr);

// Reads and checks the central directory that end (found at the 0-based
// endOffset of a file of fileSize bytes) describes.
DirectoryCheck ReadCentralDirectory(int fd, std::uint64_t fileSize, const ZipEndRecord& end,
                                    std::uint64_t endOffset, std::vector<CentralEntry>& entries,
                                    ParseCounter* counter = nullptr, DirectoryBounds* bounds = nullptr);

// The name a member is known by: bit 11 names as UTF-8; an Info-ZIP Unicode
// Path extra field whose CRC matches the stored name gives the UTF-8 name
// (Info-ZIP zip on Linux may add it); a name written on a Unix host
// (version made by, high byte 3 or 19) without bit 11 is the host's own
// UTF-8 when its bytes are valid UTF-8 (Info-ZIP zip on Linux writes them so);
// otherwise through the OEM table. Every "/" becomes "\".
std::string MemberNameOf(const std::string& storedName, std::uint16_t flags, std::uint16_t versionMadeBy,
                         const std::string& extra);

}  // namespace kuv::zip
