#include "zip/CentralDirectory.h"

#include <algorithm>
#include <cstring>

#include "platform/Text.h"
#include "zip/ReaderIo.h"
#include "zip/ZipNames.h"

namespace kuv::zip {

namespace {

// The UTF-8 name carried by a Unicode Path extra field, when the field is
// well formed and was written for exactly these stored bytes.
bool UnicodePathOf(const std::string& storedName, const std::string& extra, std::string& utf8) {
    std::size_t p = 0;
    while (p + 4 <= extra.size()) {
        const auto* b = reinterpret_cast<const std::uint8_t*>(extra.data() + p);
        const std::uint16_t id = GetU16(b);          // header id
        const std::uint16_t length = GetU16(b + 2);  // data size
        if (p + 4 + length > extra.size()) return false;
        if (id == kExtraUnicodePath && length >= 5 && b[4] == 1) {  // version 1
            const std::uint32_t crc = GetU32(b + 5);                 // CRC-32 of the stored name
            if (crc != CrcUpdate(0, storedName.data(), storedName.size())) return false;
            utf8.assign(extra.data() + p + 9, length - 5);
            return true;
        }
        p += 4 + length;
    }
    return false;
}

bool Spend(ParseCounter* counter, std::uint64_t n) { return !counter || counter->Spend(n); }

// The data descriptor after a member's data, read within [at, limit): its
// CRC and sizes, with or without its signature, sizes of 4 bytes or (for a
// member with Zip64 values) of 8. Sets the span's length and whether it
// repeats the central entry's CRC and sizes.
bool ReadDescriptor(int fd, std::uint64_t at, std::uint64_t limit, CentralEntry& e, ParseCounter* counter) {
    std::uint8_t raw[24] = {};
    std::size_t avail = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof raw, limit - at));
    if (!Spend(counter, avail)) return false;
    if (avail > 0 && !ReadExact(fd, at, raw, avail)) avail = 0;
    auto matches = [&](const std::uint8_t* p, bool wide) {
        const std::uint64_t compressed = wide ? (GetU32(p + 4) | std::uint64_t{GetU32(p + 8)} << 32) : GetU32(p + 4);
        const std::uint64_t uncompressed =
            wide ? (GetU32(p + 12) | std::uint64_t{GetU32(p + 16)} << 32) : GetU32(p + 8);
        return GetU32(p) == e.common.crc32 && compressed == e.compressedSize && uncompressed == e.uncompressedSize;
    };
    const bool signature = avail >= 4 && GetU32(raw) == kDataDescriptorSignature;
    // The forms in order of likelihood: 8-byte sizes first for a member
    // whose local header carries a Zip64 field.
    struct Form {
        bool signature, wide;
        std::size_t length;
    };
    const Form narrowFirst[] = {{true, false, 16}, {false, false, 12}, {true, true, 24}, {false, true, 20}};
    const Form wideFirst[] = {{true, true, 24}, {false, true, 20}, {true, false, 16}, {false, false, 12}};
    std::size_t length = 0;
    for (const Form& f : e.localZip64 ? wideFirst : narrowFirst) {
        if (f.signature && !signature) continue;
        if (avail >= f.length && matches(raw + (f.signature ? 4 : 0), f.wide)) {
            length = f.length;
            break;
        }
    }
    if (length == 0) {
        e.descriptorAgrees = false;
        length = std::min<std::size_t>(signature ? 16 : 12, avail);
    }
    e.spanEnd = at + length;
    return true;
}

// The member's sizes as its local header gives them, from extra (its extra
// field block) where the header holds the marker.
void TakeLocalSizes(CentralEntry& e, const std::string& extra) {
    Zip64Values present;  // no value asked: is there a well-formed Zip64 field at all?
    e.localZip64 = DecodeZip64Extra(extra, present);
    Zip64Values v;
    v.hasUncompressed = e.local.uncompressedSize == kZip64Marker;
    v.hasCompressed = e.local.compressedSize == kZip64Marker;
    e.localSizesKnown = !(v.hasUncompressed || v.hasCompressed) || DecodeZip64Extra(extra, v);
    e.localUncompressedSize = v.hasUncompressed ? v.uncompressedSize : e.local.uncompressedSize;
    e.localCompressedSize = v.hasCompressed ? v.compressedSize : e.local.compressedSize;
}


// The modification time an extended timestamp field gives (its first time,
// when its flags say it is there) or, without one, an Info-ZIP or PKWARE
// Unix field (access time, then modification time). The times are seconds
// since 1970 (UTC), taken as unsigned: 1970 to 2106.
bool ModifiedFromExtra(const std::string& extra, std::int64_t& modified) {
    bool fromUnix = false;
    std::size_t p = 0;
    while (p + 4 <= extra.size()) {
        const auto* b = reinterpret_cast<const std::uint8_t*>(extra.data() + p);
        const std::uint16_t id = GetU16(b);
        const std::uint16_t length = GetU16(b + 2);
        if (p + 4 + length > extra.size()) break;
        if (id == kExtraTimestamp && length >= 5 && (b[4] & 1) != 0) {
            modified = GetU32(b + 5);
            return true;
        }
        if ((id == kExtraInfoZipUnixOld || id == kExtraPkwareUnix) && length >= 8 && !fromUnix) {
            modified = GetU32(b + 8);
            fromUnix = true;
        }
        p += 4 + length;
    }
    return fromUnix;
}

// A member of size 0 marked as a folder only by the MS-DOS attribute of its
// external attributes, on a host that keeps those attributes there (a Unix
// host's own mode, when it has one, must say folder too).
bool IsDosFolderEntry(const CentralEntry& e) {
    constexpr int kHostDos = 0, kHostHpfs = 6, kHostNtfs = 10, kHostVfat = 14, kHostUnix = 3, kHostOsX = 19;
    if ((e.tail.externalAttributes & kExternalDosDirectory) == 0 || e.uncompressedSize != 0) return false;
    const int host = e.start.versionMadeBy >> 8;
    if (host == kHostUnix || host == kHostOsX) {
        const std::uint32_t mode = e.tail.externalAttributes >> 16;
        return mode == 0 || (mode & 0170000u) == 0040000u;
    }
    return host == kHostDos || host == kHostHpfs || host == kHostNtfs || host == kHostVfat;
}

}  // namespace

void CentralEntry::ResetLocalView() {
    localFound = false;
    local = ZipHeaderCommon{};
    localCompressedSize = localUncompressedSize = 0;
    localSizesKnown = localZip64 = false;
    localNameAgrees = false;
    dataOffset = spanEnd = 0;
    hasDescriptor = false;
    descriptorAgrees = true;
}

bool CentralEntry::LocalAgrees() const {
    if (!localFound || local.method != common.method) return false;
    if (!localNameAgrees && ((local.flags ^ common.flags) & ~kFlagUtf8Name) != 0) return false;
    if (hasDescriptor) return descriptorAgrees;
    return localSizesKnown && local.crc32 == common.crc32 && localCompressedSize == compressedSize &&
           localUncompressedSize == uncompressedSize;
}

std::string MemberNameOf(const std::string& storedName, std::uint16_t flags, std::uint16_t versionMadeBy,
                         const std::string& extra) {
    constexpr int kHostUnix = 3, kHostOsX = 19;
    const int host = versionMadeBy >> 8;
    std::string name;
    if (!UnicodePathOf(storedName, extra, name)) name = storedName;
    else flags |= kFlagUtf8Name;
    if ((host == kHostUnix || host == kHostOsX) && platform::IsValidUtf8(name)) flags |= kFlagUtf8Name;
    name = DecodeMemberName(name, (flags & kFlagUtf8Name) != 0);
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

DirectoryCheck ParseCentralEntry(SequentialReader& in, CentralEntry& e, ParseCounter* counter) {
    std::uint8_t header[kCentralHeaderSize];
    std::string comment;
    std::string& extra = e.extra;
    e.entryOffset = in.Position();
    if (!Spend(counter, sizeof header)) return DirectoryCheck::OverBudget;
    if (!in.Read(header, sizeof header)) return DirectoryCheck::BadEntry;
    e.start = ZipCentralStart::Decode(header);
    e.common = ZipHeaderCommon::Decode(header + ZipCentralStart::kSize);
    e.tail = ZipCentralTail::Decode(header + ZipCentralStart::kSize + ZipHeaderCommon::kSize);
    if (e.start.signature != kCentralHeaderSignature) return DirectoryCheck::BadEntry;
    const std::uint64_t rest = std::uint64_t{e.common.nameLength} + e.common.extraLength + e.tail.commentLength;
    if (rest > in.Remaining()) return DirectoryCheck::BadEntry;
    if (!Spend(counter, rest)) return DirectoryCheck::OverBudget;
    if (!in.ReadString(e.common.nameLength, e.storedName) || !in.ReadString(e.common.extraLength, extra) ||
        !in.ReadString(e.tail.commentLength, comment))
        return DirectoryCheck::BadEntry;
    e.entrySize = kCentralHeaderSize + rest;
    // Values that do not fit their fields stand in the Zip64 field, in its
    // order; a marked value missing there, or past what a signed 64-bit
    // number holds, makes the entry unreadable.
    Zip64Values v;
    v.hasUncompressed = e.common.uncompressedSize == kZip64Marker;
    v.hasCompressed = e.common.compressedSize == kZip64Marker;
    v.hasOffset = e.tail.LocalHeaderOffset == kZip64Marker;
    v.hasDisk = e.tail.diskNumberStart == kZip64CountMarker;
    if ((v.hasUncompressed || v.hasCompressed || v.hasOffset || v.hasDisk) && !DecodeZip64Extra(extra, v))
        return DirectoryCheck::BadEntry;
    e.uncompressedSize = v.hasUncompressed ? v.uncompressedSize : e.common.uncompressedSize;
    e.compressedSize = v.hasCompressed ? v.compressedSize : e.common.compressedSize;
    e.localHeaderOffset = v.hasOffset ? v.localHeaderOffset : e.tail.LocalHeaderOffset;
    e.recordedOffset = e.localHeaderOffset;
    if (v.hasDisk && v.diskNumberStart != 0) return DirectoryCheck::BadEntry;
    e.name = MemberNameOf(e.storedName, e.common.flags, e.start.versionMadeBy, extra);
    // Such a folder is listed and made as the folder its name ends with.
    if (!e.name.empty() && e.name.back() != '\\' && IsDosFolderEntry(e)) e.name += '\\';
    e.modifiedKnown = ModifiedFromExtra(extra, e.modifiedUtc);
    return DirectoryCheck::Consistent;
}

DirectoryCheck CheckMemberSpans(int fd, std::uint64_t directoryStart, std::vector<CentralEntry>& entries,
                                std::size_t count, ParseCounter* counter, std::uint64_t prefix) {
    std::vector<CentralEntry*> byOffset;
    byOffset.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        // Both below 2^63: no sum wraps.
        entries[i].localHeaderOffset = entries[i].recordedOffset + prefix;
        byOffset.push_back(&entries[i]);
    }
    std::sort(byOffset.begin(), byOffset.end(), [](const CentralEntry* a, const CentralEntry* b) {
        return a->localHeaderOffset < b->localHeaderOffset;
    });
    auto limitOf = [&](std::size_t i) -> std::uint64_t {
        return i + 1 < byOffset.size() ? byOffset[i + 1]->localHeaderOffset : directoryStart;
    };
    // First from the central entries alone (no reading): at least a local
    // header and the data each (the local name may be shorter than the
    // central one: a placeholder, or the name in another encoding). Going
    // over the entries again counts as parsing them again.
    if (!Spend(counter, std::uint64_t{kCentralHeaderSize} * byOffset.size())) return DirectoryCheck::OverBudget;
    for (std::size_t i = 0; i < byOffset.size(); ++i) {
        const CentralEntry& e = *byOffset[i];
        // Every value is below 2^63 (checked when the entry was parsed): no sum wraps.
        const std::uint64_t least = e.localHeaderOffset + kLocalHeaderSize + e.compressedSize;
        if (least > limitOf(i)) return DirectoryCheck::MembersOverlap;
    }
    // Then as the local headers really lie.
    for (std::size_t i = 0; i < byOffset.size(); ++i) {
        CentralEntry& e = *byOffset[i];
        e.ResetLocalView();  // nothing kept from an earlier check of the same entry
        const std::uint64_t offset = e.localHeaderOffset;
        const std::uint64_t limit = limitOf(i);
        // The header and, where they are as long as the central entry's,
        // its name and extra field, in one read (the span ahead holds at
        // least the header and the data).
        std::uint8_t raw[kLocalHeaderSize + 768];
        const std::size_t got = static_cast<std::size_t>(std::min<std::uint64_t>(
            {sizeof raw, limit - offset,
             std::uint64_t{kLocalHeaderSize} + e.common.nameLength + e.common.extraLength + 64}));
        if (!Spend(counter, kLocalHeaderSize)) return DirectoryCheck::OverBudget;
        if (!ReadExact(fd, offset, raw, got)) return DirectoryCheck::ReadError;
        e.localFound = ZipLocalStart::Decode(raw).signature == kLocalHeaderSignature;
        e.local = ZipHeaderCommon::Decode(raw + ZipLocalStart::kSize);
        if (!e.localFound) {
            // Offsets shifted by a prefix are taken only when every one
            // leads to a local header.
            if (prefix != 0) return DirectoryCheck::MembersOverlap;
            // No local header there: the member cannot be read (a damaged
            // member, reported when it is extracted); its span is the least
            // the central entry asks for.
            e.dataOffset = offset + kLocalHeaderSize + e.common.nameLength;
            e.spanEnd = e.dataOffset + e.compressedSize;
            if (e.spanEnd > limit) return DirectoryCheck::MembersOverlap;
            continue;
        }
        const std::uint64_t nameAt = offset + kLocalHeaderSize;
        e.dataOffset = nameAt + e.local.nameLength + e.local.extraLength;
        const std::uint64_t dataEnd = e.dataOffset + e.compressedSize;
        if (dataEnd > limit) return DirectoryCheck::MembersOverlap;
        if (!Spend(counter, std::uint64_t{e.local.nameLength} + e.local.extraLength)) return DirectoryCheck::OverBudget;
        std::string localName, localExtra;
        if (std::size_t{kLocalHeaderSize} + e.local.nameLength + e.local.extraLength <= got) {
            const char* name = reinterpret_cast<const char*>(raw) + kLocalHeaderSize;
            localName.assign(name, e.local.nameLength);
            localExtra.assign(name + e.local.nameLength, e.local.extraLength);
        } else if (!ReadString(fd, nameAt, e.local.nameLength, localName) ||
                   !ReadString(fd, nameAt + e.local.nameLength, e.local.extraLength, localExtra)) {
            return DirectoryCheck::ReadError;
        }
        e.localNameAgrees = localName == e.storedName;
        TakeLocalSizes(e, localExtra);
        e.hasDescriptor = (e.local.flags & kFlagDataDescriptor) != 0;
        e.descriptorAgrees = true;
        e.spanEnd = dataEnd;
        if (e.hasDescriptor && !ReadDescriptor(fd, dataEnd, limit, e, counter)) return DirectoryCheck::OverBudget;
    }
    return DirectoryCheck::Consistent;
}

bool ClassicEndNeedsZip64(const ZipEndRecord& end) {
    return end.entriesTotal == kZip64CountMarker || end.entriesOnThisDisk == kZip64CountMarker ||
           end.centralDirectorySize == kZip64Marker || end.centralDirectoryOffset == kZip64Marker;
}

bool IsSpannedEnd(const ZipEndRecord& end, bool zip64) {
    const auto firstDisk = [zip64](std::uint16_t disk) { return disk == 0 || (zip64 && disk == kZip64CountMarker); };
    if (!firstDisk(end.thisDisk) || !firstDisk(end.centralDirectoryDisk)) return true;
    if (zip64 && (end.entriesOnThisDisk == kZip64CountMarker || end.entriesTotal == kZip64CountMarker)) return false;
    return end.entriesOnThisDisk != end.entriesTotal;
}

bool EndIsSpanned(int fd, std::uint64_t fileSize, const ZipEndRecord& end, std::uint64_t endOffset) {
    if (!IsSpannedEnd(end)) return false;
    DirectoryBounds b;
    return !(ResolveDirectoryBounds(fd, fileSize, end, endOffset, b) && b.zip64 && !IsSpannedEnd(end, true));
}

namespace {

enum class Found { No, Yes, ReadError };

// The Zip64 end record that ends exactly where its locator starts, at
// offset: read into z.
Found Zip64RecordAt(int fd, std::uint64_t offset, std::uint64_t locatorAt, Zip64EndRecord& z, ParseCounter* counter) {
    if (offset > locatorAt || locatorAt - offset < Zip64EndRecord::kSize) return Found::No;
    std::uint8_t raw[Zip64EndRecord::kSize];
    if (!Spend(counter, sizeof raw) || !ReadExact(fd, offset, raw, sizeof raw)) return Found::ReadError;
    z = Zip64EndRecord::Decode(raw);
    return z.signature == kZip64EndRecordSignature && z.recordSize == locatorAt - offset - 12 ? Found::Yes : Found::No;
}

// Takes the prefix: the directory ends right before the end record (limit)
// with a central header there, while none is where the records put it.
// Returns: false on a read error or a spent budget.
bool TakePrefix(int fd, DirectoryBounds& b, ParseCounter* counter) {
    if (b.count == 0 || b.size < kCentralHeaderSize || b.size > b.limit || b.limit - b.size <= b.start) return true;
    const std::uint64_t actual = b.limit - b.size;
    std::uint8_t recorded[4], there[4];
    if (!Spend(counter, 8) || !ReadExact(fd, b.start, recorded, 4) || !ReadExact(fd, actual, there, 4)) return false;
    if (GetU32(recorded) == kCentralHeaderSignature || GetU32(there) != kCentralHeaderSignature) return true;
    b.prefix = actual - b.start;
    b.start = actual;
    return true;
}

}  // namespace

bool ResolveDirectoryBounds(int fd, std::uint64_t fileSize, const ZipEndRecord& end, std::uint64_t endOffset,
                            DirectoryBounds& bounds, ParseCounter* counter) {
    bounds = DirectoryBounds{};
    bounds.start = end.centralDirectoryOffset;
    bounds.size = end.centralDirectorySize;
    bounds.count = end.entriesTotal;
    bounds.limit = endOffset;
    if (endOffset > fileSize) return true;
    if (endOffset < Zip64Locator::kSize) return TakePrefix(fd, bounds, counter);
    std::uint8_t raw[Zip64Locator::kSize];
    const std::uint64_t locatorAt = endOffset - Zip64Locator::kSize;
    if (!Spend(counter, Zip64Locator::kSize) || !ReadExact(fd, locatorAt, raw, Zip64Locator::kSize)) return false;
    const Zip64Locator locator = Zip64Locator::Decode(raw);
    if (locator.signature != kZip64LocatorSignature) return TakePrefix(fd, bounds, counter);  // a classic end record
    // The locator's signature alone may be the last bytes of a member's name
    // (names may hold any byte but NUL). When no Zip64 end record is where
    // such a locator says, an end record that marks none of its values as
    // "in the Zip64 record" describes the directory by itself, as it does
    // for every other reader; one that does mark a value has lost it.
    const bool classicHolds = !ClassicEndNeedsZip64(end);
    const auto classic = [&] { return classicHolds && TakePrefix(fd, bounds, counter); };
    if (locator.zip64EndDisk != 0 || locator.totalDisks != 1) return classic();
    // The Zip64 end record must end exactly where its locator starts: where
    // the locator says, or (in a file with a prefix) the locator's offset
    // short by it, the record then right before the locator.
    Zip64EndRecord z;
    std::uint64_t zipAt = locator.zip64EndOffset;
    Found found = Zip64RecordAt(fd, zipAt, locatorAt, z, counter);
    if (found == Found::No && locatorAt >= Zip64EndRecord::kSize &&
        locatorAt - Zip64EndRecord::kSize > locator.zip64EndOffset) {
        zipAt = locatorAt - Zip64EndRecord::kSize;
        found = Zip64RecordAt(fd, zipAt, locatorAt, z, counter);
    }
    if (found == Found::ReadError) return false;
    if (found == Found::No) return classic();
    // A Zip64 end record is there: it rules, and must agree.
    if (z.thisDisk != 0 || z.centralDirectoryDisk != 0 || z.entriesOnThisDisk != z.entriesTotal) return false;
    // Each value of the end record is its marker or the Zip64 value itself.
    auto agrees32 = [](std::uint32_t classic, std::uint64_t wide) { return classic == kZip64Marker || classic == wide; };
    auto agrees16 = [](std::uint16_t classic, std::uint64_t wide) {
        return classic == kZip64CountMarker || classic == wide;
    };
    if (!agrees16(end.entriesTotal, z.entriesTotal) || !agrees16(end.entriesOnThisDisk, z.entriesOnThisDisk) ||
        !agrees32(end.centralDirectorySize, z.centralDirectorySize) ||
        !agrees32(end.centralDirectoryOffset, z.centralDirectoryOffset))
        return false;
    if (z.centralDirectoryOffset > locator.zip64EndOffset ||
        z.centralDirectorySize > locator.zip64EndOffset - z.centralDirectoryOffset)
        return false;
    bounds.start = z.centralDirectoryOffset;
    bounds.size = z.centralDirectorySize;
    bounds.count = z.entriesTotal;
    bounds.limit = zipAt;
    bounds.zip64 = true;
    if (!TakePrefix(fd, bounds, counter)) return false;
    // A record found by its place is short by the same prefix as the directory.
    return zipAt - locator.zip64EndOffset == bounds.prefix;
}

DirectoryCheck ReadCentralDirectory(int fd, std::uint64_t fileSize, const ZipEndRecord& end,
                                    std::uint64_t endOffset, std::vector<CentralEntry>& entries,
                                    ParseCounter* counter, DirectoryBounds* boundsOut) {
    entries.clear();
    DirectoryBounds b;
    if (endOffset > fileSize || !ResolveDirectoryBounds(fd, fileSize, end, endOffset, b, counter))
        return DirectoryCheck::OutsideFile;
    if (b.start > b.limit || b.size > b.limit - b.start) return DirectoryCheck::OutsideFile;
    if (b.count > b.size / kCentralHeaderSize) return DirectoryCheck::CountMismatch;
    if (boundsOut) *boundsOut = b;

    entries.reserve(static_cast<std::size_t>(b.count));
    SequentialReader in(fd, b.start, b.start + b.size);
    for (std::uint64_t i = 0; i < b.count; ++i) {
        CentralEntry e;
        const DirectoryCheck check = ParseCentralEntry(in, e, counter);
        if (check != DirectoryCheck::Consistent) return check;
        entries.push_back(std::move(e));
    }
    if (in.Remaining() != 0) return DirectoryCheck::CountMismatch;
    return CheckMemberSpans(fd, b.start, entries, entries.size(), counter, b.prefix);
}

}  // namespace kuv::zip
