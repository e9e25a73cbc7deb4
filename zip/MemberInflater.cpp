#include "zip/MemberInflater.h"


#include <algorithm>
#include <new>
#include <cstring>

#include "zip/ReaderIo.h"
#include "zip/SliceDeflate.h"
#include "zip/SliceInflate.h"
#include "zip/StreamInflate.h"
#include "zip/ZipRecords.h"
#include "zip/ZlibBinding.h"

namespace kuv::zip {

namespace {

constexpr std::size_t kChunk = 256 * 1024;

InflateResult CopyStored(int fd, const MemberData& m, const MemberSink& sink,
                         InflateBuffers& b) {
    if (m.compressedSize != m.uncompressedSize) return InflateResult::DataError;
    std::uint32_t crc = 0;
    std::uint64_t pos = m.dataOffset;
    std::uint64_t remaining = m.compressedSize;
    while (remaining > 0) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, b.in.size()));
        if (!ReadExact(fd, pos, b.in.data(), n)) return InflateResult::ReadError;
        crc = CrcOf(crc, b.in.data(), n);
        if (!sink(b.in.data(), n)) return InflateResult::SinkError;
        pos += n;
        remaining -= n;
    }
    return crc == m.crc32 ? InflateResult::Ok : InflateResult::CrcMismatch;
}

InflateResult Inflate(const ZlibApi& zlib, int fd, const MemberData& m, const MemberSink& sink,
                      InflateBuffers& b) {
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (zlib.inflateInit2_(&zs, -MAX_WBITS, ZLIB_VERSION, static_cast<int>(sizeof(z_stream))) != Z_OK)
        return InflateResult::LibraryError;
    struct End {
        const ZlibApi& z;
        z_stream& s;
        ~End() { z.inflateEnd(&s); }
    } end{zlib, zs};

    std::uint32_t crc = 0;
    std::uint64_t pos = m.dataOffset;
    std::uint64_t inputLeft = m.compressedSize;
    std::uint64_t produced = 0;
    for (;;) {
        if (zs.avail_in == 0 && inputLeft > 0) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(inputLeft, b.in.size()));
            if (!ReadExact(fd, pos, b.in.data(), n)) return InflateResult::ReadError;
            pos += n;
            inputLeft -= n;
            zs.next_in = b.in.data();
            zs.avail_in = static_cast<uInt>(n);
        }
        zs.next_out = b.out.data();
        zs.avail_out = static_cast<uInt>(b.out.size());
        const int rc = zlib.inflate(&zs, Z_NO_FLUSH);
        const std::size_t got = b.out.size() - zs.avail_out;
        if (got > 0) {
            // Never more than the declared size reaches the sink: a stream
            // that inflates to more is damaged, and stops there.
            const std::size_t keep =
                static_cast<std::size_t>(std::min<std::uint64_t>(got, m.uncompressedSize - produced));
            if (keep > 0) {
                crc = CrcOf(crc, b.out.data(), keep);
                if (!sink(b.out.data(), keep)) return InflateResult::SinkError;
            }
            produced += keep;
            if (keep < got) return InflateResult::DataError;
        }
        if (rc == Z_STREAM_END) break;
        if (rc == Z_MEM_ERROR) return InflateResult::LibraryError;
        if (rc == Z_BUF_ERROR) {
            // No progress possible: the input is used up before the stream's end.
            if (zs.avail_in == 0 && inputLeft == 0) return InflateResult::DataError;
            continue;
        }
        if (rc != Z_OK) return InflateResult::DataError;
    }
    if (produced != m.uncompressedSize) return InflateResult::DataError;
    return crc == m.crc32 ? InflateResult::Ok : InflateResult::CrcMismatch;
}

}  // namespace

InflateBuffers::InflateBuffers() : in(kChunk), out(kChunk) {}

InflateBuffers::~InflateBuffers() = default;

InflateResult DecompressMemberData(const ZlibApi& zlib, int fd, const MemberData& member, const MemberSink& sink,
                                   InflateBuffers& buffers, const MemberRewind& rewind) {
    if (member.method == kMethodStored) return CopyStored(fd, member, sink, buffers);
    // Some writers give an empty file no deflate stream at all.
    if (member.compressedSize == 0 && member.uncompressedSize == 0)
        return member.crc32 == 0 ? InflateResult::Ok : InflateResult::CrcMismatch;
    // Without a way to start the sink again, a failure of the fast path
    // after its first slice could not be undone: zlib alone then.
    bool oursDamaged = false;  // in our slices, but damaged past the first
    if (rewind && SliceInflater::Applies(member)) {
        if (!buffers.slices) buffers.slices.reset(new (std::nothrow) SliceInflater());
        if (buffers.slices) {
            bool sinkUsed = false;
            switch (buffers.slices->Inflate(fd, member, sink, sinkUsed)) {
                case SliceOutcome::Done:
                    return InflateResult::Ok;
                case SliceOutcome::SinkRefused:
                    return InflateResult::SinkError;
                case SliceOutcome::NotDone:
                    // Not written in our slices, or damaged: zlib's word rules.
                    if (sinkUsed && !rewind()) return InflateResult::SinkError;
                    oursDamaged = sinkUsed;
                    break;
            }
        }
    }
    // Another tool's stream (ours damaged goes to zlib at once: the sink is
    // started again once at most).
    if (rewind && !oursDamaged && StreamInflater::Applies(member)) {
        if (!buffers.stream) buffers.stream.reset(new (std::nothrow) StreamInflater());
        if (buffers.stream) {
            bool sinkUsed = false;
            const InflateResult r = buffers.stream->Inflate(fd, member, sink, buffers, sinkUsed);
            if (r != InflateResult::DataError && r != InflateResult::LibraryError) return r;
            // Damaged, or of another size than declared: zlib's word rules.
            if (sinkUsed && !rewind()) return InflateResult::SinkError;
        }
    }
    return Inflate(zlib, fd, member, sink, buffers);
}

}  // namespace kuv::zip
