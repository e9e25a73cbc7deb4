#pragma once
// Streamed inflation of a large member written as one deflate stream (by
// other ZIP tools: zip -6, 7-Zip, ...) through ISA-L's igzip inflater:
// about twice zlib's speed here, in the caller's bounded buffers (the stream
// read and given to the sink in chunks), nothing mapped and nothing held
// whole. The CRC-32 comes from igzip over the output as it goes.
//
// igzip only goes first: a stream it finds damaged, or that gives more or
// fewer bytes than declared, is "not done", and the caller starts its sink
// again and inflates the member through zlib, whose verdict is reported, as
// it is for every other stream.

#include <memory>

#include "zip/MemberInflater.h"

struct inflate_state;

namespace kuv::zip {

// One igzip state (about 70 KiB), made at its first use and kept from member
// to member.
class StreamInflater {
public:
    StreamInflater();
    ~StreamInflater();
    StreamInflater(const StreamInflater&) = delete;
    StreamInflater& operator=(const StreamInflater&) = delete;

    // Returns: true for a deflated member large enough to be read in chunks
    // (the smaller ones are inflated in one call, FastInflate.h).
    static bool Applies(const MemberData& member);

    // REQUIRES: Applies(member). Reads the member's data from fd (positioned
    // reads into buffers.in) and gives its bytes to sink (from buffers.out).
    // Returns: Ok; CrcMismatch (every byte given, of the declared size, the
    // CRC-32 differs); ReadError; SinkError; DataError when igzip finds the
    // stream damaged or of another size than declared (then the caller asks
    // zlib; sinkUsed tells whether bytes reached the sink); LibraryError
    // without memory for the state.
    InflateResult Inflate(int fd, const MemberData& member, const MemberSink& sink, InflateBuffers& buffers,
                          bool& sinkUsed);

private:
    std::unique_ptr<inflate_state> state_;
};

// For tests: hook runs at the start of every member streamed this way, on
// the thread that streams it (nullptr: none).
void SetStreamHookForTesting(void (*hook)());

}  // namespace kuv::zip
