#include "zip/SliceDeflate.h"

#include <libdeflate.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "zip/DeflateWalk.h"
#include "zip/MemberCompressor.h"
#include "zip/ZlibBinding.h"

namespace kuv::zip {

static_assert(sizeof(z_off_t) >= 8, "member sizes past 4 GiB need a 64-bit z_off_t");

struct SliceDeflater::Stream {
    z_stream zs {};
};

int ZlibLevelOf(int LevelCompression) { return LevelCompression == Z_DEFAULT_COMPRESSION ? 6 : LevelCompression; }

bool CompressedInOneCall(std::uint64_t size, int LevelCompression) {
    const int level = ZlibLevelOf(LevelCompression);
    return size > 0 && size <= kSliceBytes && level >= 1 && level <= 9;
}

std::size_t SliceOutputBound(std::size_t size) {
    // zlib: stored blocks at worst, 5 bytes per block (level 0 cuts them at
    // 16 KiB), the sync flush's empty block, a final empty block, the bit
    // buffer; libdeflate states its own bound.
    const std::size_t zlibBound = size + 5 * (size / 16384 + 1) + 64;
    return std::max(zlibBound, libdeflate_deflate_compress_bound(nullptr, size));
}

std::uint32_t CrcOf(std::uint32_t crc, const std::uint8_t* data, std::size_t size) {
    return static_cast<std::uint32_t>(libdeflate_crc32(crc, data, size));
}

namespace {

constexpr std::uint8_t kFinalEmptyBlock[5] = {0x01, 0x00, 0x00, 0xFF, 0xFF};
constexpr std::size_t kPieceBytes = 16 * 1024;
// A flat histogram: sum over the 256 byte values of (count - n/256)^2 / (n/256)
// (the chi-square of the counts against even ones) at most 512. Random bytes
// give 255 on average, within 23 either way; at 512 deflate's codes for
// literals could save at most 0.3 %. Text gives tens of thousands.
constexpr std::uint64_t kFlatChiSquare = 512;
constexpr std::size_t kMinRepeat = 8;
constexpr unsigned kRepeatHashBits = 15;

bool PieceIsFlat(const std::uint8_t* p, std::size_t n) {
    // Four tables, so that equal neighbouring bytes do not wait on each other.
    std::uint32_t counts[4][256] = {};
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        ++counts[0][p[i]];
        ++counts[1][p[i + 1]];
        ++counts[2][p[i + 2]];
        ++counts[3][p[i + 3]];
    }
    for (; i < n; ++i) ++counts[0][p[i]];
    std::uint64_t sumOfSquares = 0;
    for (int b = 0; b < 256; ++b) {
        const std::uint64_t c = counts[0][b] + counts[1][b] + counts[2][b] + counts[3][b];
        sumOfSquares += c * c;
    }
    // chi-square = 256 * sum(c^2) / n - n, compared without division.
    const std::uint64_t total = n;
    return 256 * sumOfSquares <= total * total + kFlatChiSquare * total;
}

std::uint64_t Load64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

std::uint32_t RepeatHash(std::uint64_t v) {
    return static_cast<std::uint32_t>((v * 0x9E3779B97F4A7C15ull) >> (64 - kRepeatHashBits));
}

}  // namespace

bool LooksIncompressible(const std::uint8_t* dictionary, std::size_t dictionarySize, const std::uint8_t* data,
                         std::size_t size) {
    if (size < kPieceBytes) return false;  // too little to judge: zlib decides
    for (std::size_t at = 0; at < size; at += kPieceBytes)
        if (!PieceIsFlat(data + at, std::min(kPieceBytes, size - at))) return false;

    // Repeats of 8 bytes or more that deflate could reach (32 KiB back, into
    // the dictionary too). Positions are kept as offsets from the
    // dictionary's start plus one (0: empty).
    std::vector<std::uint32_t> last(std::size_t {1} << kRepeatHashBits, 0);
    const auto at = [&](std::size_t pos) {
        return pos < dictionarySize ? dictionary + pos : data + (pos - dictionarySize);
    };
    for (std::size_t pos = 0; pos + kMinRepeat <= dictionarySize; ++pos)
        last[RepeatHash(Load64(dictionary + pos))] = static_cast<std::uint32_t>(pos + 1);
    std::size_t repeated = 0;
    const std::size_t limit = size / 256;
    for (std::size_t i = 0; i + kMinRepeat <= size;) {
        const std::uint64_t v = Load64(data + i);
        const std::size_t pos = dictionarySize + i;
        std::uint32_t& slot = last[RepeatHash(v)];
        const std::size_t before = slot;
        slot = static_cast<std::uint32_t>(pos + 1);
        if (before != 0 && pos - (before - 1) <= kDictionaryBytes && Load64(at(before - 1)) == v) {
            repeated += kMinRepeat;
            if (repeated > limit) return false;
            i += kMinRepeat;
        } else {
            ++i;
        }
    }
    return true;
}

std::size_t StoredSlice(const std::uint8_t* data, std::size_t size, bool last, std::uint8_t* out) {
    std::uint8_t* p = out;
    const auto block = [&p](bool final, const std::uint8_t* bytes, std::size_t n) {
        *p++ = final ? 0x01 : 0x00;  // BFINAL, BTYPE 00 (stored), padding to the byte
        *p++ = static_cast<std::uint8_t>(n & 0xFF);  // LEN
        *p++ = static_cast<std::uint8_t>(n >> 8);
        *p++ = static_cast<std::uint8_t>(~n & 0xFF);  // NLEN, LEN's complement
        *p++ = static_cast<std::uint8_t>((~n >> 8) & 0xFF);
        if (n > 0) std::memcpy(p, bytes, n);
        p += n;
    };
    std::size_t at = 0;
    do {
        const std::size_t n = std::min<std::size_t>(65535, size - at);
        block(last && at + n == size, data + at, n);
        at += n;
    } while (at < size);
    if (!last) block(false, nullptr, 0);  // the sync flush's empty block: 00 00 00 FF FF
    return static_cast<std::size_t>(p - out);
}

std::uint32_t CombineCrc(const ZlibApi& zlib, std::uint32_t crcA, std::uint32_t crcB, std::uint64_t sizeB) {
    return static_cast<std::uint32_t>(zlib.crc32_combine(crcA, crcB, static_cast<z_off_t>(sizeB)));
}

SliceDeflater::SliceDeflater(const ZlibApi& zlib, int LevelCompression)
    : zlib_(zlib), level_(LevelCompression) {}

SliceDeflater::~SliceDeflater() {
    if (stream_) {
        zlib_.deflateEnd(&stream_->zs);
        delete stream_;
    }
    libdeflate_free_compressor(whole_);
    libdeflate_free_decompressor(check_);
}

int SliceDeflater::Slice(const std::uint8_t* dictionary, std::size_t dictionarySize, const std::uint8_t* data,
                         std::size_t size, bool last, std::uint8_t* out, std::size_t room, std::size_t& produced) {
    produced = 0;
    // zlib's stream is made first whatever does the work: zlib is the
    // library of the format, and a zlib without memory or broken ends the
    // member as it always did.
    bool fresh = false;
    if (!stream_) {
        auto* made = new (std::nothrow) Stream;
        if (!made) return kCompressNoMemory;
        // The member compressor's parameters: raw deflate, memory level 9.
        const int rc = zlib_.deflateInit2_(&made->zs, level_, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY, ZLIB_VERSION,
                                           static_cast<int>(sizeof(z_stream)));
        if (rc != Z_OK) {
            delete made;
            return rc == Z_MEM_ERROR ? kCompressNoMemory : kCompressZlibFailed;
        }
        stream_ = made;
        fresh = true;
    }
    const bool libdeflateLevel = ZlibLevelOf(level_) >= 1 && ZlibLevelOf(level_) <= 9;
    if (libdeflateLevel && size > 0 && size <= kSliceBytes) {
        // zlib would take as long over incompressible bytes as over text, to
        // write them as stored blocks too.
        if (LooksIncompressible(dictionary, dictionarySize, data, size)) {
            produced = StoredSlice(data, size, last, out);
            return kCompressOk;
        }
        const int code = LibdeflateSlice(data, size, last, out, room, produced);
        if (code != kCompressZlibFailed) return code;
        produced = 0;  // not joinable here: zlib's slice instead
    }
    if (!fresh && zlib_.deflateReset(&stream_->zs) != Z_OK) return kCompressZlibFailed;
    z_stream& zs = stream_->zs;
    if (dictionarySize > 0 &&
        zlib_.deflateSetDictionary(&zs, dictionary, static_cast<uInt>(dictionarySize)) != Z_OK)
        return kCompressZlibFailed;
    zs.next_in = const_cast<std::uint8_t*>(data);
    zs.avail_in = static_cast<uInt>(size);
    zs.next_out = out;
    zs.avail_out = static_cast<uInt>(room);
    // One call with room for the worst case: a sync flush is complete when
    // deflate leaves room unused, the last slice when the stream has ended.
    const int rc = zlib_.deflate(&zs, last ? Z_FINISH : Z_SYNC_FLUSH);
    produced = room - zs.avail_out;
    const bool complete = last ? rc == Z_STREAM_END : (rc == Z_OK && zs.avail_in == 0 && zs.avail_out > 0);
    return complete ? kCompressOk : kCompressZlibFailed;
}

int SliceDeflater::LibdeflateSlice(const std::uint8_t* data, std::size_t size, bool last, std::uint8_t* out,
                                   std::size_t room, std::size_t& produced) {
    const int code = Whole(data, size, out, room, produced);
    if (code != kCompressOk || last) return code;
    // A slice that another follows: its final block made non-final and a
    // sync flush after it, as zlib's slices end. The walk over its codes
    // finds where; the slice is then inflated again and compared with its
    // input, so that a fault of the walk can never reach an archive.
    StreamEnd end;
    if (!WalkDeflateStream(out, produced, end) || SyncFlushedSize(end) + sizeof kFinalEmptyBlock > room)
        return kCompressZlibFailed;
    produced = EndWithSyncFlush(out, end);
    if (!check_) {
        check_ = libdeflate_alloc_decompressor();
        if (!check_) return kCompressZlibFailed;
    }
    if (checked_.size() < size) {
        try {
            checked_.resize(kSliceBytes);
        } catch (const std::bad_alloc&) {
            return kCompressZlibFailed;
        }
    }
    // Ended for the check by a final empty stored block, taken off after.
    std::memcpy(out + produced, kFinalEmptyBlock, sizeof kFinalEmptyBlock);
    std::size_t used = 0;
    std::size_t made = 0;
    const libdeflate_result rc = libdeflate_deflate_decompress_ex(check_, out, produced + sizeof kFinalEmptyBlock,
                                                                  checked_.data(), size, &used, &made);
    if (rc != LIBDEFLATE_SUCCESS || used != produced + sizeof kFinalEmptyBlock || made != size ||
        std::memcmp(checked_.data(), data, size) != 0)
        return kCompressZlibFailed;
    return kCompressOk;
}

int SliceDeflater::Whole(const std::uint8_t* data, std::size_t size, std::uint8_t* out, std::size_t room,
                         std::size_t& produced) {
    produced = 0;
    if (!whole_) {
        whole_ = libdeflate_alloc_compressor(ZlibLevelOf(level_));
        if (!whole_) return kCompressNoMemory;
    }
    produced = libdeflate_deflate_compress(whole_, data, size, out, room);
    return produced == 0 ? kCompressZlibFailed : kCompressOk;  // 0: no room, which the bound excludes
}

int DeflateMember(const ZlibApi& zlib, int LevelCompression, const std::uint8_t* data, std::size_t size,
                  std::vector<std::uint8_t>& out, std::uint32_t& crc) {
    out.clear();
    crc = 0;
    if (size == 0) return kCompressOk;
    SliceDeflater deflater(zlib, LevelCompression);
    crc = CrcOf(0, data, size);
    std::size_t produced = 0;
    if (CompressedInOneCall(size, LevelCompression)) {
        out.resize(SliceOutputBound(size));
        const int code = deflater.Whole(data, size, out.data(), out.size(), produced);
        out.resize(produced);
        return code;
    }
    for (std::size_t at = 0; at < size; at += kSliceBytes) {
        const std::size_t n = std::min(kSliceBytes, size - at);
        const std::size_t dict = std::min(kDictionaryBytes, at);
        const std::size_t start = out.size();
        out.resize(start + SliceOutputBound(n));
        const int code = deflater.Slice(data + at - dict, dict, data + at, n, at + n == size, out.data() + start,
                                        SliceOutputBound(n), produced);
        out.resize(start + produced);
        if (code != kCompressOk) return code;
    }
    return kCompressOk;
}

}  // namespace kuv::zip
