#pragma once
// Deterministic raw deflate of one member cut into slices, so that the slices
// can be compressed on several cores and still give the same bytes whatever
// the number of threads or the timing.
//
// The member's input is cut into slices of kSliceBytes (a constant of the
// format the engine writes, never derived from the machine). A slice that is
// not the member's last ends with a sync flush: its last block is not final
// and the output ends on a byte boundary after an empty stored block, so the
// next slice's output, a fresh stream, follows it byte for byte. The last
// slice ends the stream. The member's CRC-32 is the slices' CRC-32 joined
// with crc32_combine.
//
// Each slice is compressed by libdeflate (twice zlib's speed here, output a
// few percent smaller), which ends every stream it makes with a final block:
// a walk over the slice's codes finds that block, which is made non-final,
// and the sync flush is added after it (zip/DeflateWalk.h). The joined slice
// is inflated again and compared with its input before it is given: a slice
// that fails any of this is compressed by zlib instead, primed with the
// kDictionaryBytes of input that precede it, so that matches reach back
// across the cut. libdeflate takes no dictionary: its slices start afresh,
// which costs less than its better matching gains.
//
// A slice that is incompressible (photos, archives, encrypted data: a flat
// byte histogram in every 16 KiB and no repeated strings within deflate's
// reach) is written as stored blocks without compressing it: it would take
// as long as text to produce stored blocks as well.
//
// A member whose whole input fits in one slice is compressed in one call by
// libdeflate: one call gives one complete stream.
//
// Every choice depends only on the input, its size and the level, so the
// output stays the same on every run and with any number of threads.

#include <cstddef>
#include <cstdint>
#include <vector>

struct libdeflate_compressor;
struct libdeflate_decompressor;

namespace kuv::zip {

struct ZlibApi;

constexpr std::size_t kSliceBytes = 1024 * 1024;
constexpr std::size_t kDictionaryBytes = 32 * 1024;

// Returns: the zlib level that LevelCompression stands for (-1 is zlib's
// default, 6); any other value unchanged (zlib refuses the ones it does not know).
int ZlibLevelOf(int LevelCompression);

// Returns: true when a member of size bytes (1 to kSliceBytes) at this level is
// compressed in one libdeflate call (levels -1 and 1 to 9; level 0 and unknown
// levels go through zlib).
bool CompressedInOneCall(std::uint64_t size, int LevelCompression);

// Returns: an upper bound of the output of one slice of size bytes (either way).
std::size_t SliceOutputBound(std::size_t size);

// Returns: crc32 of size bytes continuing from crc (zlib's CRC-32, computed by
// libdeflate, several times faster; any size).
std::uint32_t CrcOf(std::uint32_t crc, const std::uint8_t* data, std::size_t size);

// Returns: true when deflate would gain almost nothing on data (size bytes,
// at most kSliceBytes) preceded by dictionary: every 16 KiB piece has a flat
// byte histogram and repeats of 8 bytes or more within 32 KiB cover less
// than 1/256 of it. Integer arithmetic only: the same answer everywhere.
bool LooksIncompressible(const std::uint8_t* dictionary, std::size_t dictionarySize, const std::uint8_t* data,
                         std::size_t size);

// REQUIRES: room >= SliceOutputBound(size).
// Returns: the bytes written at out: data as stored blocks of at most
// 65,535 bytes; last: the last block is final; otherwise the slice ends with
// the empty stored block of a sync flush, as zlib's slices do.
std::size_t StoredSlice(const std::uint8_t* data, std::size_t size, bool last, std::uint8_t* out);

// Returns: the CRC-32 of A followed by B, from crcA, crcB and B's length.
std::uint32_t CombineCrc(const ZlibApi& zlib, std::uint32_t crcA, std::uint32_t crcB, std::uint64_t sizeB);

// One compressor per thread, reused from slice to slice and member to member.
// Result codes are those of the member compressor (kCompressOk,
// kCompressNoMemory, kCompressZlibFailed).
class SliceDeflater {
public:
    // REQUIRES: zlib outlives the deflater.
    SliceDeflater(const ZlibApi& zlib, int LevelCompression);
    ~SliceDeflater();
    SliceDeflater(const SliceDeflater&) = delete;
    SliceDeflater& operator=(const SliceDeflater&) = delete;

    // REQUIRES: size <= kSliceBytes, dictionarySize <= kDictionaryBytes,
    // room >= SliceOutputBound(size) bytes at out.
    // Returns: a code; out holds the slice's produced bytes (last: the
    // stream's end; otherwise ended by a sync flush), stored blocks when the
    // slice looks incompressible at a level of 1 or more. The dictionary is
    // the input just before.
    int Slice(const std::uint8_t* dictionary, std::size_t dictionarySize, const std::uint8_t* data,
              std::size_t size, bool last, std::uint8_t* out, std::size_t room, std::size_t& produced);

    // REQUIRES: CompressedInOneCall(size, level), room >= SliceOutputBound(size).
    // Returns: a code; out holds one complete raw deflate stream of data.
    int Whole(const std::uint8_t* data, std::size_t size, std::uint8_t* out, std::size_t room,
              std::size_t& produced);

private:
    // A slice compressed by libdeflate and joined. Returns: kCompressOk, or
    // kCompressZlibFailed when it cannot be joined (zlib then does it).
    int LibdeflateSlice(const std::uint8_t* data, std::size_t size, bool last, std::uint8_t* out, std::size_t room,
                        std::size_t& produced);

    const ZlibApi& zlib_;
    int level_;
    struct Stream;
    Stream* stream_ = nullptr;          // zlib's state, made at the first slice
    libdeflate_compressor* whole_ = nullptr;  // made at the first one-call member or slice
    libdeflate_decompressor* check_ = nullptr;  // inflates each joined slice again
    std::vector<std::uint8_t> checked_;         // what it gives back
};

// Compresses a whole buffer as one member on the calling thread, slice after
// slice, exactly as the pipeline does on several threads.
// Returns: a code; out the member's data, crc its CRC-32 (0 for no data).
int DeflateMember(const ZlibApi& zlib, int LevelCompression, const std::uint8_t* data, std::size_t size,
                  std::vector<std::uint8_t>& out, std::uint32_t& crc);

}  // namespace kuv::zip
