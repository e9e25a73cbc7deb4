#include "zip/StreamInflate.h"

#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <atomic>
#include <new>

#include "zip/FastInflate.h"
#include "zip/ReaderIo.h"
#include "zip/ZipRecords.h"

namespace kuv::zip {

namespace {
std::atomic<void (*)()> g_hook {nullptr};
}  // namespace

void SetStreamHookForTesting(void (*hook)()) { g_hook.store(hook); }

StreamInflater::StreamInflater() = default;

StreamInflater::~StreamInflater() = default;

bool StreamInflater::Applies(const MemberData& member) {
    return member.method == kMethodDeflate && member.uncompressedSize > kOneCallInflateBytes;
}

InflateResult StreamInflater::Inflate(int fd, const MemberData& m, const MemberSink& sink, InflateBuffers& b,
                                      bool& sinkUsed) {
    sinkUsed = false;
    if (void (*hook)() = g_hook.load()) hook();
    if (!state_) state_.reset(new (std::nothrow) inflate_state);
    if (!state_) return InflateResult::LibraryError;
    inflate_state& s = *state_;
    isal_inflate_init(&s);
    s.crc_flag = ISAL_GZIP_NO_HDR;  // raw deflate, the CRC-32 of the output kept in s.crc

    std::uint64_t pos = m.dataOffset;
    std::uint64_t inputLeft = m.compressedSize;
    std::uint64_t produced = 0;
    for (;;) {
        if (s.avail_in == 0 && inputLeft > 0) {
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(inputLeft, b.in.size()));
            if (!ReadExact(fd, pos, b.in.data(), n)) return InflateResult::ReadError;
            pos += n;
            inputLeft -= n;
            s.next_in = b.in.data();
            s.avail_in = static_cast<std::uint32_t>(n);
        }
        s.next_out = b.out.data();
        s.avail_out = static_cast<std::uint32_t>(b.out.size());
        const int rc = isal_inflate(&s);
        const std::size_t got = b.out.size() - s.avail_out;
        // Never more than the declared size reaches the sink.
        if (got > m.uncompressedSize - produced) return InflateResult::DataError;
        if (got > 0) {
            sinkUsed = true;
            if (!sink(b.out.data(), got)) return InflateResult::SinkError;
            produced += got;
        }
        if (rc < 0) return InflateResult::DataError;
        if (s.block_state == ISAL_BLOCK_FINISH) break;
        // No progress possible: the input is used up before the stream's end.
        if (got == 0 && s.avail_in == 0 && inputLeft == 0) return InflateResult::DataError;
    }
    if (produced != m.uncompressedSize) return InflateResult::DataError;
    return s.crc == m.crc32 ? InflateResult::Ok : InflateResult::CrcMismatch;
}

}  // namespace kuv::zip
