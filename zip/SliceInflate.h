#pragma once
// Fast inflation of the large members the engine writes in slices.
//
// The writer (SliceDeflate.h) cuts every member over kSliceBytes into slices
// of exactly kSliceBytes of input; each slice but the last ends with a sync
// flush (the bytes 00 00 FF FF of an empty stored block, on a byte boundary)
// and the state of an inflater there is only the last 32 KiB of output. So
// each slice is inflated in one libdeflate call (several times zlib's speed):
// a stored block holding the previous 32 KiB of output, the slice's bytes up
// to the next 00 00 FF FF, and a final empty stored block. A candidate end is
// accepted only when the whole input is used and exactly kSliceBytes come out;
// otherwise the next occurrence is tried, a few times. The last slice is the
// rest of the member, decoded as it ends itself.
//
// Any failure (a member of another tool, a damaged stream, a size or CRC-32
// that does not match) only means "not done this way": the caller inflates
// the member again from its start through zlib, whose verdict is the one
// reported. Memory stays bounded whatever the declared sizes: about 2 MiB of
// compressed bytes read ahead and 1 MiB + 32 KiB of output, allocated at the
// first use and kept from member to member.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "zip/MemberInflater.h"

struct libdeflate_decompressor;

namespace kuv::zip {

enum class SliceOutcome {
    Done,         // every byte given to the sink, size and CRC-32 as declared
    NotDone,      // not inflated this way (see sinkUsed): the caller uses zlib
    SinkRefused,  // the sink returned false
};

class SliceInflater {
public:
    SliceInflater();
    ~SliceInflater();
    SliceInflater(const SliceInflater&) = delete;
    SliceInflater& operator=(const SliceInflater&) = delete;

    // Returns: true for a deflated member large enough to be written in slices.
    static bool Applies(const MemberData& member);

    // Returns: false when the member cannot have been written in slices: it
    // does not apply, or no sync flush (00 00 FF FF) ends a first slice
    // within the bytes one slice can take (read from fd, positioned: safe
    // from any thread). True says only "may be": a stream of another tool
    // can hold those bytes by chance, and Inflate then says NotDone.
    static bool MayBeSliced(int fd, const MemberData& member);

    // Returns: the bytes of buffers an inflater holds once it has served.
    static std::size_t Footprint();

    // REQUIRES: Applies(member). Reads the member's data from fd (positioned
    // reads) and gives its bytes to sink slice after slice.
    // Returns: Done, SinkRefused, or NotDone; sinkUsed tells whether any byte
    // reached the sink (then the caller must start the sink again).
    SliceOutcome Inflate(int fd, const MemberData& member, const MemberSink& sink, bool& sinkUsed);

    // Returns: the members inflated whole by this inflater (for tests).
    std::size_t MembersDone() const { return membersDone_; }

private:
    static std::size_t InputBytes();
    static std::size_t OutputBytes();
    bool Allocate();
    libdeflate_decompressor* d_ = nullptr;
    std::vector<std::uint8_t> in_;   // room for the window's stored block, read-ahead, final block
    std::vector<std::uint8_t> out_;  // window + one slice + margin
    std::size_t membersDone_ = 0;
};

}  // namespace kuv::zip
