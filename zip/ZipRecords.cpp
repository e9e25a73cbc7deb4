#include "zip/ZipRecords.h"

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

}  // namespace kuv::zip
