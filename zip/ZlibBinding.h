#pragma once
// The engine's binding to the zlib compression library. The engine calls zlib
// only through this table, so that an instance can be given no library at
// all (what a machine without zlib would be) and report it as such.

#include <zlib.h>

namespace kuv::zip {

struct ZlibApi {
    const char* (*zlibVersion)();
    uLong (*crc32)(uLong crc, const Bytef* buf, uInt len);
    int (*deflateInit2_)(z_streamp strm, int level, int method, int windowBits, int memLevel,
                         int strategy, const char* version, int stream_size);
    int (*deflate)(z_streamp strm, int flush);
    int (*deflateEnd)(z_streamp strm);
    int (*inflateInit2_)(z_streamp strm, int windowBits, const char* version, int stream_size);
    int (*inflate)(z_streamp strm, int flush);
    int (*inflateEnd)(z_streamp strm);
    // Used by the sliced compression: a slice is primed with the input that
    // precedes it, the deflate state is reused from slice to slice, and the
    // slices' CRC-32 are joined into the member's.
    int (*deflateSetDictionary)(z_streamp strm, const Bytef* dictionary, uInt dictLength);
    int (*deflateReset)(z_streamp strm);
    uLong (*crc32_combine)(uLong crc1, uLong crc2, z_off_t len2);
};

// The zlib the program is linked with.
const ZlibApi* LinkedZlib();

}  // namespace kuv::zip
