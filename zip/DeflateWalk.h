#pragma once
// A walk over the blocks of a raw deflate stream, decoding its codes without
// producing its bytes, to find where its final block starts and where the
// stream ends: what it takes to turn a complete stream (libdeflate's, whose
// every call ends with a final block) into a slice that another stream can
// follow, as a sync flush ends zlib's.

#include <cstddef>
#include <cstdint>

namespace kuv::zip {

struct StreamEnd {
    std::uint64_t finalHeaderBit = 0;  // the BFINAL bit of the final block
    std::uint64_t endBit = 0;          // the first bit after the final block
};

// Returns: true with where the final block starts and ends when data is a
// well-formed raw deflate stream whose final block ends within size bytes;
// false when it is damaged or ends early (no reading past size).
bool WalkDeflateStream(const std::uint8_t* data, std::size_t size, StreamEnd& end);

// Returns: the size of the stream once ended by a sync flush.
std::size_t SyncFlushedSize(const StreamEnd& end);

// REQUIRES: out holds a complete raw deflate stream whose end is end (from
// WalkDeflateStream), with room for SyncFlushedSize(end) bytes.
// Returns: SyncFlushedSize(end); out holds the stream made non-final and
// ended by a sync flush (an empty stored block: three 0 bits, padding to the
// byte, 00 00 FF FF), which a following stream continues.
std::size_t EndWithSyncFlush(std::uint8_t* out, const StreamEnd& end);

}  // namespace kuv::zip
