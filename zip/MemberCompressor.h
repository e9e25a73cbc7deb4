#pragma once
// The member compressor: one source file in, the member's data, CRC-32 and
// sizes out. It is a self-contained step (no engine state, no events) so that
// several files could be compressed at once on several cores.
//
// The file is read in chunks of kChunkBytes and streamed through zlib's raw
// deflate (window bits -15, memory level 9, default strategy); at levels 1 to
// 9 the output does not depend on how the input is chunked, so the same file
// always gives the same bytes. Memory use is two chunks and zlib's state,
// whatever the file's size.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "zip/ZipErrors.h"

namespace kuv::zip {

struct ZlibApi;

// Where compressed data goes: the spool of the member list, or the archive
// itself in a streaming pass.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Takes all of data or fails.
    virtual bool Write(const std::uint8_t* data, size_t size) = 0;
};

constexpr size_t kChunkBytes = 256 * 1024;

// Result codes of CompressFile and StoreFile (the engine's error numbers).
constexpr int kCompressOk = 0;
constexpr int kCompressNoMemory = kErrStoredUncompressed;  // zlib could not get its memory: store the file instead
constexpr int kCompressZlibFailed = kErrZlibFailed;        // zlib reported a failure
constexpr int kCompressSharing = kErrSharing;  // the file is locked or not readable (EACCES, EPERM...)
constexpr int kCompressSinkFailed = -1;    // the sink refused the data (medium full, size limit)
// Any other positive value: platform::ErrorNumberFromErrno of a failed open or read.

struct CompressRequest {
    const ZlibApi* zlib = nullptr;     // must not be null
    int level = -1;                    // LevelCompression
    bool excludeCRC32 = false;         // CRC field 0 instead of the checksum
    std::function<void()> doEvents;    // called after every chunk (may be empty)
};

struct CompressedMember {
    std::uint16_t method = 8;          // 8 deflate; 0 for an empty file (stored, no data)
    std::uint32_t crc32 = 0;
    std::uint64_t compressedSize = 0;  // bytes given to the sink
    std::uint64_t uncompressedSize = 0;
};

// Streams the file at path through raw deflate into sink. An empty file gives
// method 0 (stored), no data, CRC 0 and sizes 0: the form every ZIP tool
// extracts as an empty file. On failure the sink may hold part of the data;
// the caller gives it up. A file of any size is taken, in the memory of two
// chunks; one that grows or shrinks while it is read is taken as read.
int CompressFile(const std::string& path, const CompressRequest& request, ByteSink& sink,
                 CompressedMember& out);

// Copies the file at path into sink unchanged (method 0), with its CRC-32.
int StoreFile(const std::string& path, const CompressRequest& request, ByteSink& sink,
              CompressedMember& out);

// Raw-deflates a whole buffer in one call (the public CompressDeflate).
// Block false: deflateEnd's code; Block true: deflate's own (1 at stream end).
std::vector<std::uint8_t> DeflateBuffer(const ZlibApi& zlib, int level, const std::uint8_t* data, size_t size,
                                        bool Block, std::int32_t& codeError);

}  // namespace kuv::zip
