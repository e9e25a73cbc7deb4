#pragma once
// Inflation of a large member written as one deflate stream (by other ZIP
// tools: zip -6, 7-Zip, ...) in one libdeflate call, straight from the
// archive's pages into the output file's pages.
//
// The member's compressed bytes are mapped read-only from the archive and the
// output file, its room reserved first with fallocate, is mapped shared
// for writing: both are file-backed pages the system may drop or write back
// at will, so the anonymous memory held stays that of one decompressor
// (a few tens of KiB) whatever the member's size, and the whole member goes
// through libdeflate at several times zlib's speed. The CRC-32 is checked
// over the mapped output before the caller puts anything in place.
//
// A fault under a mapping (the archive's medium failing to read, the archive
// cut short meanwhile, the output's pages refused) raises SIGBUS in the
// thread touching it. The work runs under a guard: a SIGBUS whose address
// lies in one of the thread's own mappings jumps back out of the call
// (sigsetjmp / siglongjmp) and the fault becomes a result with its cause;
// any other SIGBUS goes on to the handler that was there before (by default
// it still ends the program, as it should).
//
// Where the reservation is refused (EOPNOTSUPP: some network shares; no
// room for the declared size) or the mappings, the member is not done this
// way and the caller streams it as before, whose writes meet the true cause.
// A member declaring more than deflate can give for its compressed size is
// streamed too: no room is ever taken for a lying size.

#include <cstdint>

#include "zip/MemberInflater.h"

namespace kuv::zip {

// The file a member may be inflated into through a mapping.
class MappableTarget {
public:
    virtual ~MappableTarget() = default;
    // Returns: the file's descriptor, empty and open for reading and writing,
    // to be written only through its mapping from now on; -1 when the file
    // cannot be given (the member is then streamed as usual).
    virtual int TakeForMapping() = 0;
    // The system error the mapped write failed with (ENOSPC for a reservation
    // refused for want of room).
    virtual void Refused(int error) = 0;
};

enum class MappedOutcome {
    Done,     // result holds the member's verdict (Ok, CrcMismatch: the file holds its bytes)
    NotDone,  // not inflated this way, the file left empty: the caller streams the member
};

// Returns: true for a deflated member large enough to be worth a mapping
// (above the one-call bound of FastInflate.h) that fits the address space and
// whose declared size deflate can give from its compressed size.
bool InflatesMapped(const MemberData& member);

// REQUIRES: InflatesMapped(member). Inflates member from archiveFd into
// target. On Done, result is Ok or CrcMismatch (the file holds exactly the
// member's bytes), DataError (damaged stream, file emptied), ReadError
// (the archive could not be read: a read fault, or the archive cut short
// under the mapping), or SinkError (target->Refused told why).
MappedOutcome InflateMapped(int archiveFd, const MemberData& member, MappableTarget& target, InflateResult& result);

// For tests: runs once both mappings are made, before the inflation (to cut
// the archive or the output short under them); null turns it off.
void SetMappedHookForTesting(void (*hook)(int archiveFd, int outputFd));

}  // namespace kuv::zip
