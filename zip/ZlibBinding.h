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
};

// The zlib the program is linked with.
const ZlibApi* LinkedZlib();

}  // namespace kuv::zip
