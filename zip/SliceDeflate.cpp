#include "zip/SliceDeflate.h"

#include <libdeflate.h>

#include <algorithm>
#include <climits>
#include <new>


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

std::uint32_t CrcOf(const ZlibApi& zlib, std::uint32_t crc, const std::uint8_t* data, std::size_t size) {
    uLong value = crc;
    while (size > 0) {
        const uInt n = static_cast<uInt>(std::min<std::size_t>(size, UINT_MAX / 2));
        value = zlib.crc32(value, data, n);
        data += n;
        size -= n;
    }
    return static_cast<std::uint32_t>(value);
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
}

int SliceDeflater::Slice(const std::uint8_t* dictionary, std::size_t dictionarySize, const std::uint8_t* data,
                         std::size_t size, bool last, std::uint8_t* out, std::size_t room, std::size_t& produced) {
    produced = 0;
    if (!stream_) {
        auto* fresh = new (std::nothrow) Stream;
        if (!fresh) return kCompressNoMemory;
        // The member compressor's parameters: raw deflate, memory level 9.
        const int rc = zlib_.deflateInit2_(&fresh->zs, level_, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY, ZLIB_VERSION,
                                           static_cast<int>(sizeof(z_stream)));
        if (rc != Z_OK) {
            delete fresh;
            return rc == Z_MEM_ERROR ? kCompressNoMemory : kCompressZlibFailed;
        }
        stream_ = fresh;
    } else if (zlib_.deflateReset(&stream_->zs) != Z_OK) {
        return kCompressZlibFailed;
    }
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
    crc = CrcOf(zlib, 0, data, size);
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
