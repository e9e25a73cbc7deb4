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
    // Stored blocks at worst: 5 bytes per block of at most 16 KiB at level 0
    // in zlib (64 KiB elsewhere), the sync flush's empty block, a final
    // empty block, and room for the bit buffer.
    return size + 5 * (size / 16384 + 1) + 64;
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
                         std::size_t size, bool last, std::vector<std::uint8_t>& out) {
    out.clear();
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
    try {
        out.resize(SliceOutputBound(size));
    } catch (const std::bad_alloc&) {
        return kCompressNoMemory;
    }
    zs.next_in = const_cast<std::uint8_t*>(data);
    zs.avail_in = static_cast<uInt>(size);
    const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
    std::size_t produced = 0;
    for (;;) {
        zs.next_out = out.data() + produced;
        zs.avail_out = static_cast<uInt>(out.size() - produced);
        const int rc = zlib_.deflate(&zs, flush);
        produced = out.size() - zs.avail_out;
        if (rc == Z_STREAM_END) break;
        if (rc != Z_OK && rc != Z_BUF_ERROR) return kCompressZlibFailed;
        // A sync flush is complete when deflate left output room unused.
        if (!last && zs.avail_in == 0 && zs.avail_out > 0) break;
        if (zs.avail_out == 0) {
            // More than the bound (a zlib that is not the one measured): grow.
            try {
                out.resize(out.size() + 64 * 1024);
            } catch (const std::bad_alloc&) {
                return kCompressNoMemory;
            }
        } else if (rc == Z_BUF_ERROR) {
            return kCompressZlibFailed;  // no progress with room to spare
        }
    }
    out.resize(produced);
    return kCompressOk;
}

int SliceDeflater::Whole(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out) {
    out.clear();
    if (!whole_) {
        whole_ = libdeflate_alloc_compressor(ZlibLevelOf(level_));
        if (!whole_) return kCompressNoMemory;
    }
    try {
        out.resize(libdeflate_deflate_compress_bound(whole_, size));
    } catch (const std::bad_alloc&) {
        return kCompressNoMemory;
    }
    const std::size_t produced = libdeflate_deflate_compress(whole_, data, size, out.data(), out.size());
    if (produced == 0) return kCompressZlibFailed;  // cannot happen with the bound's room
    out.resize(produced);
    return kCompressOk;
}

int DeflateMember(const ZlibApi& zlib, int LevelCompression, const std::uint8_t* data, std::size_t size,
                  std::vector<std::uint8_t>& out, std::uint32_t& crc) {
    out.clear();
    crc = 0;
    if (size == 0) return kCompressOk;
    SliceDeflater deflater(zlib, LevelCompression);
    crc = CrcOf(zlib, 0, data, size);
    if (CompressedInOneCall(size, LevelCompression)) return deflater.Whole(data, size, out);
    std::vector<std::uint8_t> slice;
    for (std::size_t at = 0; at < size; at += kSliceBytes) {
        const std::size_t n = std::min(kSliceBytes, size - at);
        const std::size_t dict = std::min(kDictionaryBytes, at);
        if (int code = deflater.Slice(data + at - dict, dict, data + at, n, at + n == size, slice)) return code;
        out.insert(out.end(), slice.begin(), slice.end());
    }
    return kCompressOk;
}

}  // namespace kuv::zip
