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

// The data descriptor after a member's data, read within [at, limit): 16
// bytes with its signature or 12 without. Sets the span's length and whether
// it repeats the central entry's CRC and sizes.
bool ReadDescriptor(int fd, std::uint64_t at, std::uint64_t limit, CentralEntry& e, ParseCounter* counter) {
    std::uint8_t raw[16] = {};
    std::size_t avail = static_cast<std::size_t>(std::min<std::uint64_t>(16, limit - at));
    if (!Spend(counter, avail)) return false;
    if (avail > 0 && !ReadExact(fd, at, raw, avail)) avail = 0;
    auto matches = [&](const std::uint8_t* p) {
        return GetU32(p) == e.common.crc32 && GetU32(p + 4) == e.common.compressedSize &&
               GetU32(p + 8) == e.common.uncompressedSize;
    };
    const bool signature = avail >= 4 && GetU32(raw) == kDataDescriptorSignature;
    std::size_t length = 0;
    if (signature && avail >= 16 && matches(raw + 4)) {
        length = 16;
    } else if (avail >= 12 && matches(raw)) {
        length = 12;
    } else {
        e.descriptorAgrees = false;
        length = std::min<std::size_t>(signature ? 16 : 12, avail);
    }
    e.spanEnd = at + length;
    return true;
}

}  // namespace

bool CentralEntry::LocalAgrees() const {
    if (!localFound || localName != storedName || local.method != common.method) return false;
    if (hasDescriptor) return descriptorAgrees;
    return local.crc32 == common.crc32 && local.compressedSize == common.compressedSize &&
           local.uncompressedSize == common.uncompressedSize;
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
    std::string extra, comment;
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
    e.needsZip64 = e.common.compressedSize == kZip64Marker || e.common.uncompressedSize == kZip64Marker ||
                   e.tail.LocalHeaderOffset == kZip64Marker;
    e.name = MemberNameOf(e.storedName, e.common.flags, e.start.versionMadeBy, extra);
    return DirectoryCheck::Consistent;
}

DirectoryCheck CheckMemberSpans(int fd, std::uint64_t directoryStart, std::vector<CentralEntry>& entries,
                                ParseCounter* counter) {
    std::vector<CentralEntry*> byOffset;
    byOffset.reserve(entries.size());
    for (CentralEntry& e : entries)
        if (!e.needsZip64) byOffset.push_back(&e);
    std::sort(byOffset.begin(), byOffset.end(), [](const CentralEntry* a, const CentralEntry* b) {
        return a->tail.LocalHeaderOffset < b->tail.LocalHeaderOffset;
    });
    auto limitOf = [&](std::size_t i) -> std::uint64_t {
        return i + 1 < byOffset.size() ? byOffset[i + 1]->tail.LocalHeaderOffset : directoryStart;
    };
    // First from the central entries alone (no reading): at least a local
    // header, the name and the data each. Going over the entries again
    // counts as parsing them again.
    if (!Spend(counter, std::uint64_t{kCentralHeaderSize} * byOffset.size())) return DirectoryCheck::OverBudget;
    for (std::size_t i = 0; i < byOffset.size(); ++i) {
        const CentralEntry& e = *byOffset[i];
        const std::uint64_t least = std::uint64_t{e.tail.LocalHeaderOffset} + kLocalHeaderSize +
                                    e.common.nameLength + e.common.compressedSize;
        if (least > limitOf(i)) return DirectoryCheck::MembersOverlap;
    }
    // Then as the local headers really lie.
    for (std::size_t i = 0; i < byOffset.size(); ++i) {
        CentralEntry& e = *byOffset[i];
        const std::uint64_t offset = e.tail.LocalHeaderOffset;
        const std::uint64_t limit = limitOf(i);
        std::uint8_t raw[kLocalHeaderSize];
        if (!Spend(counter, sizeof raw)) return DirectoryCheck::OverBudget;
        if (!ReadExact(fd, offset, raw, sizeof raw)) return DirectoryCheck::ReadError;
        e.localFound = ZipLocalStart::Decode(raw).signature == kLocalHeaderSignature;
        e.local = ZipHeaderCommon::Decode(raw + ZipLocalStart::kSize);
        if (!e.localFound) {
            // No local header there: the member cannot be read (a damaged
            // member, reported when it is extracted); its span is the least
            // the central entry asks for.
            e.dataOffset = offset + kLocalHeaderSize + e.common.nameLength;
            e.spanEnd = e.dataOffset + e.common.compressedSize;
            continue;
        }
        const std::uint64_t nameAt = offset + kLocalHeaderSize;
        e.dataOffset = nameAt + e.local.nameLength + e.local.extraLength;
        const std::uint64_t dataEnd = e.dataOffset + e.common.compressedSize;
        if (dataEnd > limit) return DirectoryCheck::MembersOverlap;
        if (!Spend(counter, e.local.nameLength)) return DirectoryCheck::OverBudget;
        if (!ReadString(fd, nameAt, e.local.nameLength, e.localName)) return DirectoryCheck::ReadError;
        e.hasDescriptor = (e.local.flags & kFlagDataDescriptor) != 0;
        e.descriptorAgrees = true;
        e.spanEnd = dataEnd;
        if (e.hasDescriptor && !ReadDescriptor(fd, dataEnd, limit, e, counter)) return DirectoryCheck::OverBudget;
    }
    return DirectoryCheck::Consistent;
}

DirectoryCheck ReadCentralDirectory(int fd, std::uint64_t fileSize, const ZipEndRecord& end,
                                    std::uint64_t endOffset, std::vector<CentralEntry>& entries,
                                    ParseCounter* counter) {
    entries.clear();
    const std::uint64_t start = end.centralDirectoryOffset;
    const std::uint64_t size = end.centralDirectorySize;
    if (endOffset > fileSize || start + size > endOffset) return DirectoryCheck::OutsideFile;
    const std::uint32_t count = end.entriesTotal;
    if (static_cast<std::uint64_t>(count) * kCentralHeaderSize > size) return DirectoryCheck::CountMismatch;

    entries.reserve(count);
    SequentialReader in(fd, start, start + size);
    for (std::uint32_t i = 0; i < count; ++i) {
        CentralEntry e;
        const DirectoryCheck check = ParseCentralEntry(in, e, counter);
        if (check != DirectoryCheck::Consistent) return check;
        entries.push_back(std::move(e));
    }
    if (in.Remaining() != 0) return DirectoryCheck::CountMismatch;
    return CheckMemberSpans(fd, start, entries, counter);
}

}  // namespace kuv::zip
