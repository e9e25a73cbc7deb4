#pragma once
// The byte layout of every record of a ZIP archive as this engine writes and
// reads it. Each group is encoded and decoded field by field, little-endian,
// in file order with no gaps. Sizes and offsets are 32-bit in the classic
// records; a value that does not fit stands as 0xFFFFFFFF (a count as
// 0xFFFF) and the real one lies in a Zip64 record: the Zip64 extra field of
// the member's headers, or the Zip64 end record found through its locator.

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace kuv::zip {

constexpr std::uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr std::uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr std::uint32_t kEndRecordSignature = 0x06054b50;
constexpr std::uint32_t kDataDescriptorSignature = 0x08074b50;
constexpr std::uint32_t kZip64EndRecordSignature = 0x06064b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;

constexpr std::uint16_t kVersion20 = 20;          // version made by / needed: 2.0, MS-DOS host
constexpr std::uint16_t kVersion45 = 45;          // version needed by a member or an end with Zip64 values
// "Version made by" of a member whose name is UTF-8 (bit 11): 2.0 on a Unix
// host. Info-ZIP's unzip passes every name of an MS-DOS host through the OEM
// table, UTF-8 flag or not, and would spoil such names; for a Unix host it
// takes them as they are, "/" between folders.
constexpr std::uint16_t kVersion20UnixHost = (3 << 8) | 20;
// External attributes of such a member: a regular file, rw-r--r--.
constexpr std::uint32_t kUnixRegularFileAttributes = 0100644u << 16;
constexpr std::uint16_t kMethodStored = 0;
constexpr std::uint16_t kMethodDeflate = 8;
constexpr std::uint16_t kFlagEncrypted = 0x0001;      // general purpose bit 0
constexpr std::uint16_t kFlagDataDescriptor = 0x0008; // bit 3: CRC and sizes follow the data
constexpr std::uint16_t kFlagUtf8Name = 0x0800;       // bit 11: name and comment are UTF-8
constexpr std::uint16_t kInternalArchiveAttribute = 0x0020;  // MS-DOS archive attribute value
constexpr std::uint16_t kInternalDirectoryAttribute = 0x0010;

constexpr std::uint16_t kExtraZip64 = 0x0001;          // Zip64 extended information extra field
constexpr std::uint32_t kZip64Marker = 0xFFFFFFFFu;    // "the value is in the Zip64 record"
constexpr std::uint16_t kZip64CountMarker = 0xFFFF;    // the same for a member count or a disk number
// The largest value a Zip64 record may hold for this engine: sizes and
// positions are signed 64-bit once read.
constexpr std::uint64_t kLargestZip64Value = 0x7FFFFFFFFFFFFFFFull;
// A value that needs its Zip64 record (the marker itself included).
inline bool NeedsZip64(std::uint64_t value) { return value >= kZip64Marker; }
// A member count that needs the Zip64 end record.
inline bool CountNeedsZip64(std::uint64_t count) { return count >= kZip64CountMarker; }

// Little-endian helpers over raw bytes.
inline void PutU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void PutU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline std::uint16_t GetU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t GetU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Start of a local header: 6 bytes.
struct ZipLocalStart {
    static constexpr size_t kSize = 6;
    std::uint32_t signature = kLocalHeaderSignature;
    std::uint16_t versionNeeded = kVersion20;

    void Encode(std::uint8_t* out) const;
    static ZipLocalStart Decode(const std::uint8_t* in);
};

// The 24 bytes shared by the local header (offsets 6-29) and the central
// header (offsets 8-31).
struct ZipHeaderCommon {
    static constexpr size_t kSize = 24;
    std::uint16_t flags = 0;
    std::uint16_t method = kMethodDeflate;
    std::uint16_t dosTime = 0;
    std::uint16_t dosDate = 0;
    std::uint32_t crc32 = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t uncompressedSize = 0;
    std::uint16_t nameLength = 0;
    std::uint16_t extraLength = 0;

    void Encode(std::uint8_t* out) const;
    static ZipHeaderCommon Decode(const std::uint8_t* in);
};

// Start of a central header: 8 bytes.
struct ZipCentralStart {
    static constexpr size_t kSize = 8;
    std::uint32_t signature = kCentralHeaderSignature;
    std::uint16_t versionMadeBy = kVersion20;
    std::uint16_t versionNeeded = kVersion20;

    void Encode(std::uint8_t* out) const;
    static ZipCentralStart Decode(const std::uint8_t* in);
};

// End of a central header (offsets 32-45): 14 bytes.
struct ZipCentralTail {
    static constexpr size_t kSize = 14;
    std::uint16_t commentLength = 0;
    std::uint16_t diskNumberStart = 0;
    std::uint16_t internalAttributes = kInternalArchiveAttribute;
    std::uint32_t externalAttributes = 0;
    std::uint32_t LocalHeaderOffset = 0;

    void Encode(std::uint8_t* out) const;
    static ZipCentralTail Decode(const std::uint8_t* in);
};

// End of central directory record: 22 bytes, then the archive comment.
struct ZipEndRecord {
    static constexpr size_t kSize = 22;
    std::uint32_t signature = kEndRecordSignature;
    std::uint16_t thisDisk = 0;
    std::uint16_t centralDirectoryDisk = 0;
    std::uint16_t entriesOnThisDisk = 0;
    std::uint16_t entriesTotal = 0;
    std::uint32_t centralDirectorySize = 0;
    std::uint32_t centralDirectoryOffset = 0;
    std::uint16_t commentLength = 0;

    void Encode(std::uint8_t* out) const;
    static ZipEndRecord Decode(const std::uint8_t* in);
};

// Zip64 end of central directory record: 56 bytes (no extensible data when
// written; a reader takes the record's own size).
struct Zip64EndRecord {
    static constexpr size_t kSize = 56;
    std::uint32_t signature = kZip64EndRecordSignature;
    std::uint64_t recordSize = kSize - 12;  // the bytes after this field
    std::uint16_t versionMadeBy = kVersion45;
    std::uint16_t versionNeeded = kVersion45;
    std::uint32_t thisDisk = 0;
    std::uint32_t centralDirectoryDisk = 0;
    std::uint64_t entriesOnThisDisk = 0;
    std::uint64_t entriesTotal = 0;
    std::uint64_t centralDirectorySize = 0;
    std::uint64_t centralDirectoryOffset = 0;

    void Encode(std::uint8_t* out) const;
    static Zip64EndRecord Decode(const std::uint8_t* in);
};

// Zip64 end of central directory locator: 20 bytes, just before the end record.
struct Zip64Locator {
    static constexpr size_t kSize = 20;
    std::uint32_t signature = kZip64LocatorSignature;
    std::uint32_t zip64EndDisk = 0;
    std::uint64_t zip64EndOffset = 0;
    std::uint32_t totalDisks = 1;

    void Encode(std::uint8_t* out) const;
    static Zip64Locator Decode(const std::uint8_t* in);
};

// The values a Zip64 extra field may carry, each present or not, always in
// this order: uncompressed size, compressed size, local header offset, disk
// number start.
struct Zip64Values {
    bool hasUncompressed = false, hasCompressed = false, hasOffset = false, hasDisk = false;
    std::uint64_t uncompressedSize = 0, compressedSize = 0, localHeaderOffset = 0;
    std::uint32_t diskNumberStart = 0;
};

// The Zip64 extra field (header id, data size, the present values).
std::string EncodeZip64Extra(const Zip64Values& values);
// Reads the values flagged present in `values` from the first Zip64 field of
// an extra field block. Returns: false when the block holds no Zip64 field,
// a field too short for the values asked, or a value past kLargestZip64Value.
bool DecodeZip64Extra(const std::string& extra, Zip64Values& values);
// The extra field block without its Zip64 field(s).
std::string WithoutZip64Extra(const std::string& extra);

constexpr size_t kLocalHeaderSize = ZipLocalStart::kSize + ZipHeaderCommon::kSize;  // 30
constexpr size_t kCentralHeaderSize =
    ZipCentralStart::kSize + ZipHeaderCommon::kSize + ZipCentralTail::kSize;        // 46

// One pending member of the list being built (MemberList, indexed from 1 by
// the class's accessors).
struct ZipMemberEntry {
    ZipHeaderCommon common;        // the 24 shared header bytes; method, CRC and sizes final once written
    ZipLocalStart localStart;      // copy of the class template
    ZipCentralStart centralStart;  // copy of the class template
    ZipCentralTail centralTail;    // copy of the class template; LocalHeaderOffset set when written
    // The member's real sizes and local header position (the header fields
    // hold them, or the Zip64 marker when they do not fit).
    std::uint64_t compressedSize = 0;
    std::uint64_t uncompressedSize = 0;
    std::uint64_t localHeaderOffset = 0;
    // The local header carries the Zip64 field with both sizes (decided when
    // the header is written: sizes that do not fit, or may not fit).
    bool localZip64 = false;
    std::string StoredName;        // name derived from the source path, UTF-8, "\" between folders
    std::string OemName;           // the bytes written as the member name (OEM or UTF-8, see flags)
    std::string extraField;        // the Unicode Path field of an accented OEM name; empty otherwise
                                   // (the Zip64 field, when needed, is written before it)
    std::string fileComment;       // never set: always empty
    std::string sourcePath;        // the file the member comes from (Linux path)
    bool StoreFromDisk = false;    // copied uncompressed from the source when written
    // Where the member's compressed data waits in the writer's spool until
    // it is written.
    std::uint64_t dataOffset = 0;
    // The streaming handle whose archive holds the member's local entry; 0
    // while the member waits in the list (FileAdd).
    std::int32_t streamHandle = 0;
};

// The pending members, in order. A deque: adding never copies the whole
// table (a vector holds it twice while it grows), which matters with tens of
// thousands of members.
using MemberTable = std::deque<ZipMemberEntry>;

}  // namespace kuv::zip
