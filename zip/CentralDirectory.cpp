#include "zip/CentralDirectory.h"

#include <algorithm>

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

}  // namespace

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

DirectoryCheck ReadCentralDirectory(int fd, std::uint64_t fileSize, const ZipEndRecord& end,
                                    std::uint64_t endOffset, std::vector<CentralEntry>& entries) {
    entries.clear();
    const std::uint64_t start = end.centralDirectoryOffset;
    const std::uint64_t size = end.centralDirectorySize;
    if (endOffset > fileSize || start + size > endOffset) return DirectoryCheck::OutsideFile;
    const std::uint32_t count = end.entriesTotal;
    if (static_cast<std::uint64_t>(count) * kCentralHeaderSize > size) return DirectoryCheck::CountMismatch;

    entries.reserve(count);
    SequentialReader in(fd, start, start + size);
    std::uint8_t header[kCentralHeaderSize];
    std::string extra, comment;
    for (std::uint32_t i = 0; i < count; ++i) {
        CentralEntry e;
        e.entryOffset = in.Position();
        if (!in.Read(header, sizeof header)) return DirectoryCheck::BadEntry;
        e.start = ZipCentralStart::Decode(header);
        e.common = ZipHeaderCommon::Decode(header + ZipCentralStart::kSize);
        e.tail = ZipCentralTail::Decode(header + ZipCentralStart::kSize + ZipHeaderCommon::kSize);
        if (e.start.signature != kCentralHeaderSignature) return DirectoryCheck::BadEntry;
        if (!in.ReadString(e.common.nameLength, e.storedName) || !in.ReadString(e.common.extraLength, extra) ||
            !in.ReadString(e.tail.commentLength, comment))
            return DirectoryCheck::BadEntry;
        e.entrySize = kCentralHeaderSize + e.common.nameLength + e.common.extraLength + e.tail.commentLength;
        e.needsZip64 = e.common.compressedSize == kZip64Marker || e.common.uncompressedSize == kZip64Marker ||
                       e.tail.LocalHeaderOffset == kZip64Marker;
        e.name = MemberNameOf(e.storedName, e.common.flags, e.start.versionMadeBy, extra);
        entries.push_back(std::move(e));
    }
    if (in.Remaining() != 0) return DirectoryCheck::CountMismatch;

    // The members, in file order, must not share bytes and must end before
    // the directory: at least a local header, the name and the data each.
    std::vector<const CentralEntry*> byOffset;
    byOffset.reserve(entries.size());
    for (const CentralEntry& e : entries)
        if (!e.needsZip64) byOffset.push_back(&e);
    std::sort(byOffset.begin(), byOffset.end(), [](const CentralEntry* a, const CentralEntry* b) {
        return a->tail.LocalHeaderOffset < b->tail.LocalHeaderOffset;
    });
    for (std::size_t i = 0; i < byOffset.size(); ++i) {
        const CentralEntry& e = *byOffset[i];
        const std::uint64_t memberEnd = static_cast<std::uint64_t>(e.tail.LocalHeaderOffset) + kLocalHeaderSize +
                                        e.common.nameLength + e.common.compressedSize;
        const std::uint64_t limit = i + 1 < byOffset.size() ? byOffset[i + 1]->tail.LocalHeaderOffset : start;
        if (memberEnd > limit) return DirectoryCheck::MembersOverlap;
    }
    return DirectoryCheck::Consistent;
}

}  // namespace kuv::zip
