#pragma once
// Decompression of one member's data, streamed: the compressed bytes are read
// from the archive in chunks, inflated (raw deflate) or copied (stored) into
// a sink chunk by chunk, and checked against the declared size and CRC-32.
// Nothing is allocated from a declared size.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace kuv::zip {

struct ZlibApi;

// What governs one member's decompression.
struct MemberData {
    std::uint64_t dataOffset = 0;      // 0-based position of the first data byte
    std::uint64_t compressedSize = 0;
    std::uint64_t uncompressedSize = 0;
    std::uint32_t crc32 = 0;
    std::uint16_t method = 0;          // 0 stored, 8 deflate (others are refused before)
};

enum class InflateResult {
    Ok,
    CrcMismatch,    // complete and of the declared size, but the CRC-32 differs
    DataError,      // damaged stream, early end, or more or less than the declared size
    ReadError,      // the archive could not be read
    SinkError,      // the sink refused the data (the target could not be written)
    LibraryError,   // zlib failed (memory, version)
};

// Receives the decompressed bytes in order; false stops with SinkError.
using MemberSink = std::function<bool(const std::uint8_t* data, std::size_t size)>;

// Starts the sink again from nothing (the bytes given so far dropped);
// false when it cannot.
using MemberRewind = std::function<bool()>;

class SliceInflater;
class StreamInflater;

// Work buffers kept from one member to the next.
struct InflateBuffers {
    std::vector<std::uint8_t> in;
    std::vector<std::uint8_t> out;
    std::unique_ptr<SliceInflater> slices;  // made at the first member written in slices
    std::unique_ptr<StreamInflater> stream;  // made at the first large member of one stream
    InflateBuffers();
    ~InflateBuffers();
};

// Decompresses member into sink. A large deflated member written in slices
// is first inflated slice by slice (SliceInflate.h); when that fails after
// bytes reached the sink, rewind starts the sink again and the member is
// inflated from its start through zlib, whose verdict is returned. Without
// rewind (empty) the member only goes through zlib. A large deflated member
// not written in slices (another tool's one stream) is first inflated by
// igzip (StreamInflate.h), with the same start again through zlib when igzip
// finds it damaged.
// Returns: the member's result; SinkError when the sink or rewind refused.
InflateResult DecompressMemberData(const ZlibApi& zlib, int fd, const MemberData& member, const MemberSink& sink,
                                   InflateBuffers& buffers, const MemberRewind& rewind = {});

}  // namespace kuv::zip
