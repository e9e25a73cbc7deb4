#include "zip/SliceInflate.h"

#include <libdeflate.h>

#include <string.h>  // memmem

#include <algorithm>
#include <cstring>
#include <new>

#include "zip/ReaderIo.h"
#include "zip/SliceDeflate.h"
#include "zip/ZipRecords.h"

namespace kuv::zip {

namespace {

constexpr std::size_t kStoredHeader = 5;                          // 0x00, LEN, NLEN
constexpr std::size_t kFront = kStoredHeader + kDictionaryBytes;  // the window's stored block
constexpr std::uint8_t kFinalEmptyBlock[kStoredHeader] = {0x01, 0x00, 0x00, 0xFF, 0xFF};
constexpr std::uint8_t kSyncMarker[4] = {0x00, 0x00, 0xFF, 0xFF};
constexpr std::size_t kOutputMargin = 4096;
constexpr std::size_t kSinkPiece = 256 * 1024;
// Occurrences of 00 00 FF FF tried as a slice's end before giving up: stored
// blocks of incompressible data may hold the four bytes anywhere.
constexpr int kCandidatesPerSlice = 16;

// The most compressed bytes of one slice, its sync flush included.
std::size_t SliceBound() { return SliceOutputBound(kSliceBytes); }
// Compressed bytes held at once: two slices at most, so that refilling moves
// little.
std::size_t ReadAhead() { return 2 * SliceBound(); }

}  // namespace

SliceInflater::SliceInflater() = default;

SliceInflater::~SliceInflater() { libdeflate_free_decompressor(d_); }

bool SliceInflater::Applies(const MemberData& member) {
    return member.method == kMethodDeflate && member.uncompressedSize > kSliceBytes;
}

bool SliceInflater::MayBeSliced(int fd, const MemberData& member) {
    if (!Applies(member)) return false;
    const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(member.compressedSize, SliceBound()));
    std::vector<std::uint8_t> first(length);
    // Unreadable: the path that reads it says why.
    if (!ReadExact(fd, member.dataOffset, first.data(), length)) return true;
    return memmem(first.data(), length, kSyncMarker, sizeof kSyncMarker) != nullptr;
}

std::size_t SliceInflater::InputBytes() { return kFront + ReadAhead() + sizeof kFinalEmptyBlock; }

std::size_t SliceInflater::OutputBytes() { return kDictionaryBytes + kSliceBytes + kOutputMargin; }

std::size_t SliceInflater::Footprint() { return InputBytes() + OutputBytes(); }

bool SliceInflater::Allocate() {
    if (!d_) d_ = libdeflate_alloc_decompressor();
    if (!d_) return false;
    if (!in_.empty()) return true;
    try {
        in_.resize(InputBytes());
        out_.resize(OutputBytes());
    } catch (const std::bad_alloc&) {
        // Without memory the member is streamed through zlib, as before.
        std::vector<std::uint8_t>().swap(in_);
        std::vector<std::uint8_t>().swap(out_);
        return false;
    }
    return true;
}

SliceOutcome SliceInflater::Inflate(int fd, const MemberData& member, const MemberSink& sink, bool& sinkUsed) {
    sinkUsed = false;
    if (!Applies(member) || !Allocate()) return SliceOutcome::NotDone;
    const std::size_t bound = SliceBound();
    std::uint8_t* const in = in_.data();
    std::uint8_t* const out = out_.data();

    std::uint64_t filePos = member.dataOffset;
    std::uint64_t inputLeft = member.compressedSize;
    std::size_t begin = kFront;  // the compressed bytes held: in[begin, end)
    std::size_t end = kFront;
    std::size_t window = 0;      // the last output bytes: out[windowAt, windowAt + window)
    std::size_t windowAt = 0;
    std::uint64_t produced = 0;
    std::uint32_t crc = 0;

    for (;;) {
        // Hold at least one slice's worth of compressed bytes, or all the rest.
        if (end - begin < bound && inputLeft > 0) {
            std::memmove(in + kFront, in + begin, end - begin);
            end = kFront + (end - begin);
            begin = kFront;
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(inputLeft, kFront + ReadAhead() - end));
            if (!ReadExact(fd, filePos, in + end, n)) return SliceOutcome::NotDone;
            filePos += n;
            inputLeft -= n;
            end += n;
        }
        const std::uint64_t rest = member.uncompressedSize - produced;
        const bool last = rest <= kSliceBytes;

        // The window goes in a stored block just before the slice, over
        // compressed bytes already used (or the room in front).
        std::size_t start = begin;
        if (window > 0) {
            start = begin - kStoredHeader - window;
            in[start] = 0x00;  // not final, stored, padded to the byte
            in[start + 1] = static_cast<std::uint8_t>(window & 0xFF);
            in[start + 2] = static_cast<std::uint8_t>(window >> 8);
            in[start + 3] = static_cast<std::uint8_t>(~window & 0xFF);
            in[start + 4] = static_cast<std::uint8_t>((~window >> 8) & 0xFF);
            std::memcpy(in + start + kStoredHeader, out + windowAt, window);
        }

        std::size_t got = 0;
        std::size_t sliceEnd = 0;
        if (last) {
            // The rest of the member ends its stream by itself.
            if (inputLeft > 0) return SliceOutcome::NotDone;
            std::size_t used = 0;
            std::size_t made = 0;
            const libdeflate_result rc =
                libdeflate_deflate_decompress_ex(d_, in + start, end - start, out, out_.size(), &used, &made);
            if (rc != LIBDEFLATE_SUCCESS || used != end - start || made < window || made - window != rest)
                return SliceOutcome::NotDone;
            got = static_cast<std::size_t>(rest);
            sliceEnd = end;
        } else {
            const std::size_t limit = std::min(end, begin + bound);
            std::size_t from = begin;
            for (int tries = 0; tries < kCandidatesPerSlice && got == 0; ++tries) {
                const auto* found = limit > from ? static_cast<const std::uint8_t*>(
                                                       memmem(in + from, limit - from, kSyncMarker, sizeof kSyncMarker))
                                                 : nullptr;
                if (!found) return SliceOutcome::NotDone;
                const std::size_t candidate = static_cast<std::size_t>(found - in) + sizeof kSyncMarker;
                std::uint8_t saved[sizeof kFinalEmptyBlock];
                std::memcpy(saved, in + candidate, sizeof saved);
                std::memcpy(in + candidate, kFinalEmptyBlock, sizeof kFinalEmptyBlock);
                const std::size_t size = candidate + sizeof kFinalEmptyBlock - start;
                std::size_t used = 0;
                std::size_t made = 0;
                const libdeflate_result rc =
                    libdeflate_deflate_decompress_ex(d_, in + start, size, out, out_.size(), &used, &made);
                std::memcpy(in + candidate, saved, sizeof saved);
                if (rc == LIBDEFLATE_SUCCESS && used == size && made == window + kSliceBytes) {
                    got = kSliceBytes;
                    sliceEnd = candidate;
                }
                from = static_cast<std::size_t>(found - in) + 1;
            }
            if (got == 0) return SliceOutcome::NotDone;
        }

        // In pieces, each checked and given while it is still in the cache.
        for (std::size_t at = 0; at < got; at += kSinkPiece) {
            const std::size_t n = std::min(kSinkPiece, got - at);
            crc = static_cast<std::uint32_t>(libdeflate_crc32(crc, out + window + at, n));
            sinkUsed = true;
            if (!sink(out + window + at, n)) return SliceOutcome::SinkRefused;
        }
        produced += got;
        const std::size_t total = window + got;
        window = std::min(kDictionaryBytes, total);
        windowAt = total - window;
        begin = sliceEnd;
        if (last) break;
    }
    if (crc != member.crc32) return SliceOutcome::NotDone;
    ++membersDone_;
    return SliceOutcome::Done;
}

}  // namespace kuv::zip
