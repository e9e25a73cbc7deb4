#include "zip/ZipRecords.h"

#include <algorithm>

namespace kuv::zip {

void ZipLocalStart::Encode(std::uint8_t* out) const {
    PutU32(out + 0, signature);      // local file header signature
    PutU16(out + 4, versionNeeded);  // version needed to extract
}

ZipLocalStart ZipLocalStart::Decode(const std::uint8_t* in) {
    ZipLocalStart r;
    r.signature = GetU32(in + 0);
    r.versionNeeded = GetU16(in + 4);
    return r;
}

void ZipHeaderCommon::Encode(std::uint8_t* out) const {
    PutU16(out + 0, flags);              // general purpose bit flag
    PutU16(out + 2, method);             // compression method
    PutU16(out + 4, dosTime);            // last mod file time
    PutU16(out + 6, dosDate);            // last mod file date
    PutU32(out + 8, crc32);              // crc-32
    PutU32(out + 12, compressedSize);    // compressed size
    PutU32(out + 16, uncompressedSize);  // uncompressed size
    PutU16(out + 20, nameLength);        // file name length
    PutU16(out + 22, extraLength);       // extra field length
}

ZipHeaderCommon ZipHeaderCommon::Decode(const std::uint8_t* in) {
    ZipHeaderCommon r;
    r.flags = GetU16(in + 0);
    r.method = GetU16(in + 2);
    r.dosTime = GetU16(in + 4);
    r.dosDate = GetU16(in + 6);
    r.crc32 = GetU32(in + 8);
    r.compressedSize = GetU32(in + 12);
    r.uncompressedSize = GetU32(in + 16);
    r.nameLength = GetU16(in + 20);
    r.extraLength = GetU16(in + 22);
    return r;
}

void ZipCentralStart::Encode(std::uint8_t* out) const {
    PutU32(out + 0, signature);      // central file header signature
    PutU16(out + 4, versionMadeBy);  // version made by
    PutU16(out + 6, versionNeeded);  // version needed to extract
}

ZipCentralStart ZipCentralStart::Decode(const std::uint8_t* in) {
    ZipCentralStart r;
    r.signature = GetU32(in + 0);
    r.versionMadeBy = GetU16(in + 4);
    r.versionNeeded = GetU16(in + 6);
    return r;
}

void ZipCentralTail::Encode(std::uint8_t* out) const {
    PutU16(out + 0, commentLength);       // file comment length
    PutU16(out + 2, diskNumberStart);     // disk number start
    PutU16(out + 4, internalAttributes);  // internal file attributes
    PutU32(out + 6, externalAttributes);  // external file attributes
    PutU32(out + 10, LocalHeaderOffset);  // relative offset of local header
}

ZipCentralTail ZipCentralTail::Decode(const std::uint8_t* in) {
    ZipCentralTail r;
    r.commentLength = GetU16(in + 0);
    r.diskNumberStart = GetU16(in + 2);
    r.internalAttributes = GetU16(in + 4);
    r.externalAttributes = GetU32(in + 6);
    r.LocalHeaderOffset = GetU32(in + 10);
    return r;
}

void ZipEndRecord::Encode(std::uint8_t* out) const {
    PutU32(out + 0, signature);                // end of central dir signature
    PutU16(out + 4, thisDisk);                 // number of this disk
    PutU16(out + 6, centralDirectoryDisk);     // disk where the central directory starts
    PutU16(out + 8, entriesOnThisDisk);        // central entries on this disk
    PutU16(out + 10, entriesTotal);            // central entries in total
    PutU32(out + 12, centralDirectorySize);    // size of the central directory
    PutU32(out + 16, centralDirectoryOffset);  // offset of the central directory
    PutU16(out + 20, commentLength);           // archive comment length
}

ZipEndRecord ZipEndRecord::Decode(const std::uint8_t* in) {
    ZipEndRecord r;
    r.signature = GetU32(in + 0);
    r.thisDisk = GetU16(in + 4);
    r.centralDirectoryDisk = GetU16(in + 6);
    r.entriesOnThisDisk = GetU16(in + 8);
    r.entriesTotal = GetU16(in + 10);
    r.centralDirectorySize = GetU32(in + 12);
    r.centralDirectoryOffset = GetU32(in + 16);
    r.commentLength = GetU16(in + 20);
    return r;
}

namespace {

void PutU64(std::uint8_t* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint64_t GetU64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(GetU32(p)) | (static_cast<std::uint64_t>(GetU32(p + 4)) << 32);
}

}  // namespace

void Zip64EndRecord::Encode(std::uint8_t* out) const {
    PutU32(out + 0, signature);                // zip64 end of central dir signature
    PutU64(out + 4, recordSize);               // size of zip64 end of central directory record
    PutU16(out + 12, versionMadeBy);           // version made by
    PutU16(out + 14, versionNeeded);           // version needed to extract
    PutU32(out + 16, thisDisk);                // number of this disk
    PutU32(out + 20, centralDirectoryDisk);    // disk where the central directory starts
    PutU64(out + 24, entriesOnThisDisk);       // central entries on this disk
    PutU64(out + 32, entriesTotal);            // central entries in total
    PutU64(out + 40, centralDirectorySize);    // size of the central directory
    PutU64(out + 48, centralDirectoryOffset);  // offset of the central directory
}

Zip64EndRecord Zip64EndRecord::Decode(const std::uint8_t* in) {
    Zip64EndRecord r;
    r.signature = GetU32(in + 0);
    r.recordSize = GetU64(in + 4);
    r.versionMadeBy = GetU16(in + 12);
    r.versionNeeded = GetU16(in + 14);
    r.thisDisk = GetU32(in + 16);
    r.centralDirectoryDisk = GetU32(in + 20);
    r.entriesOnThisDisk = GetU64(in + 24);
    r.entriesTotal = GetU64(in + 32);
    r.centralDirectorySize = GetU64(in + 40);
    r.centralDirectoryOffset = GetU64(in + 48);
    return r;
}

void Zip64Locator::Encode(std::uint8_t* out) const {
    PutU32(out + 0, signature);        // zip64 end of central dir locator signature
    PutU32(out + 4, zip64EndDisk);     // disk with the zip64 end record
    PutU64(out + 8, zip64EndOffset);   // offset of the zip64 end record
    PutU32(out + 16, totalDisks);      // total number of disks
}

Zip64Locator Zip64Locator::Decode(const std::uint8_t* in) {
    Zip64Locator r;
    r.signature = GetU32(in + 0);
    r.zip64EndDisk = GetU32(in + 4);
    r.zip64EndOffset = GetU64(in + 8);
    r.totalDisks = GetU32(in + 16);
    return r;
}

std::string EncodeZip64Extra(const Zip64Values& v) {
    std::uint8_t raw[4 + 28];
    std::size_t n = 4;
    auto put64 = [&](std::uint64_t x) {
        PutU64(raw + n, x);
        n += 8;
    };
    if (v.hasUncompressed) put64(v.uncompressedSize);
    if (v.hasCompressed) put64(v.compressedSize);
    if (v.hasOffset) put64(v.localHeaderOffset);
    if (v.hasDisk) {
        PutU32(raw + n, v.diskNumberStart);
        n += 4;
    }
    PutU16(raw, kExtraZip64);                             // header id
    PutU16(raw + 2, static_cast<std::uint16_t>(n - 4));  // data size
    return std::string(reinterpret_cast<const char*>(raw), n);
}

bool DecodeZip64Extra(const std::string& extra, Zip64Values& v) {
    std::size_t p = 0;
    while (p + 4 <= extra.size()) {
        const auto* b = reinterpret_cast<const std::uint8_t*>(extra.data() + p);
        const std::uint16_t id = GetU16(b);
        const std::size_t length = GetU16(b + 2);
        if (p + 4 + length > extra.size()) return false;
        if (id == kExtraZip64) {
            std::size_t at = 4;
            bool ok = true;
            auto take64 = [&](std::uint64_t& x) {
                if (at + 8 > 4 + length) return ok = false;
                x = GetU64(b + at);
                at += 8;
                if (x > kLargestZip64Value) ok = false;
                return ok;
            };
            if (v.hasUncompressed) take64(v.uncompressedSize);
            if (ok && v.hasCompressed) take64(v.compressedSize);
            if (ok && v.hasOffset) take64(v.localHeaderOffset);
            if (ok && v.hasDisk) {
                if (at + 4 > 4 + length) return false;
                v.diskNumberStart = GetU32(b + at);
            }
            return ok;
        }
        p += 4 + length;
    }
    return false;
}

std::string WithoutZip64Extra(const std::string& extra) {
    std::string out;
    std::size_t p = 0;
    while (p + 4 <= extra.size()) {
        const auto* b = reinterpret_cast<const std::uint8_t*>(extra.data() + p);
        const std::size_t length = GetU16(b + 2);
        const std::size_t end = std::min(extra.size(), p + 4 + length);
        if (GetU16(b) != kExtraZip64) out.append(extra, p, end - p);
        p = end;
    }
    if (p < extra.size()) out.append(extra, p, std::string::npos);
    return out;
}

}  // namespace kuv::zip
