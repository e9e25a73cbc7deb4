#pragma once
// The writing side's state of a clsZip instance: the pending member list,
// the spool that holds their compressed data, the archive comment, the
// compression level and the archives open for a streaming pass.
//
// Streaming handles (internal API, also used by the in-place update):
//
//   A streaming handle is a number (1, 2, ...) standing for an archive being
//   written front to back. ybFileAdd(path, PathChoice, handle, ...) writes
//   each new member's local entry (local header, name, data) at the handle's
//   current position and keeps the member's record, marked with the handle
//   number (ZipMemberEntry::streamHandle), in MemberList.
//
//   CreateZip opens a handle on a new temporary file of its own (renamed over
//   the target by WriteEndZip). The in-place update opens one on the output
//   cursor it writes the whole work file through:
//
//     ArchiveOutput out(fd, 0, sizeLimit_, false);
//     ... the caller copies the members it keeps through out ...
//     std::int32_t h = writer_->OpenStreamOnOutput(out);
//     std::int32_t n = ybFileAdd(path, PathChoice, h, false, excludeCRC32);
//     ... the caller writes the old central directory through out ...
//     std::uint64_t bytes = 0; std::int32_t count = 0;
//     bool ok = writer_->WriteStreamCentral(h, out.Position(), bytes, count);
//     writer_->ReleaseStream(h);   // always, success or not
//     ... the caller writes the end record through out ...
//
//   Contract of a handle opened with OpenStreamOnOutput:
//    - The handle writes through the caller's cursor, from its position;
//      the cursor outlives the handle and is never closed by the writer.
//    - Writing stops at the cursor's limit: a write that would pass it, or
//      that the medium refuses, marks the handle failed (StreamFailed);
//      later members are not written and WriteStreamCentral returns false.
//    - A member that cannot be read is not written at all: the position goes
//      back to its local header, and the bytes between StreamPosition and the
//      highest position ever written are left as they were (stale). The
//      caller writes its own data from StreamPosition on and truncates the
//      file after its end record.
//    - Every write is flushed to the descriptor before ybFileAdd returns and
//      before WriteStreamCentral returns (no data waits in the writer's
//      buffers); fsync is the caller's.
//    - WriteStreamCentral writes one central entry (46 bytes + name) per
//      member added through the handle, in order of addition, at `position`;
//      bytesWritten is their total size and memberCount their number. It does
//      not write an end record.
//    - ReleaseStream removes the handle's members from MemberList and forgets
//      the handle; the file stays open and as written.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "zip/ZipRecords.h"

class clsZip;

namespace kuv::zip {

struct ZlibApi;
class SpoolFile;
class ArchiveOutput;
class CompressionPipeline;

// One archive being written front to back.
struct StreamHandle {
    std::unique_ptr<ArchiveOutput> owned;  // a CreateZip archive's own cursor
    ArchiveOutput* out = nullptr;          // the cursor the handle writes through
    bool ownsFile = false;      // a CreateZip archive: temporary file renamed at the end
    std::string targetPath;     // CreateZip: the archive's final name
    std::string tempPath;       // CreateZip: the temporary file being written
    bool overWrite = false;     // CreateZip: may replace an archive created meanwhile
    bool failed = false;        // a write failed or passed the size limit
    bool mediumLimited = false; // the size limit is the FAT medium's own
};

struct WriterState {
    WriterState();
    ~WriterState();

    MemberTable MemberList;  // pending members, in order of addition
    std::string comment;                     // the Comment property (UTF-8)
    std::int32_t level = -1;                 // LevelCompression

    // Compressed data of the members added by FileAdd; created on first use
    // in the temporary folder, already unlinked, so that it vanishes with
    // the process whatever happens.
    std::unique_ptr<SpoolFile> spool;

    std::map<std::int32_t, std::unique_ptr<StreamHandle>> streams;
    std::int32_t nextHandle = 1;

    // The compression workers: 0 is one per core (SetWorkerCount).
    unsigned workers = 0;
    // Called while the caller's thread waits for the workers (set for the
    // time of one add operation).
    std::function<void()> idle;
    // Returns: the pipeline for this level and CRC choice, made again when
    // they or the worker count changed since the last add (its threads
    // live as long as it does); nullptr when the system gives no memory.
    // REQUIRES: zlib not null.
    CompressionPipeline* Pipeline(const ZlibApi* zlib, bool excludeCRC32);

    // Empties the pending member list (and the spool that holds its data).
    void ClearMembers();

    // True when a pending member bears exactly this stored name.
    bool HasMemberNamed(const std::string& storedName);
    // Appends a member to the list (keeping the name index in step).
    void AddMember(ZipMemberEntry&& member);
    // To be called after members left the list other than by ClearMembers.
    void MembersRemoved() {
        names_.clear();  // its views may point into moved or removed entries
        indexedCount_ = kNotIndexed;
    }

    // The writing state of an instance (for code outside clsZip's members).
    static WriterState& Of(clsZip& owner);

    // ---- streaming handles: see the contract above ----
    std::int32_t OpenStreamOnOutput(ArchiveOutput& out);
    StreamHandle* Stream(std::int32_t handle);
    bool StreamFailed(std::int32_t handle) const;
    std::uint64_t StreamPosition(std::int32_t handle) const;
    bool WriteStreamCentral(std::int32_t handle, std::uint64_t position, std::uint64_t& bytesWritten,
                            std::int32_t& memberCount);
    void ReleaseStream(std::int32_t handle);
    // True when path is the file of an open streaming handle (an archive
    // being written never becomes a member of itself).
    bool IsStreamFile(const std::string& path) const;
    // Forgets a handle and everything it holds; a CreateZip handle's
    // temporary file is closed and removed.
    void DiscardStream(std::int32_t handle);

private:
    static constexpr std::size_t kNotIndexed = static_cast<std::size_t>(-1);
    // Views of the stored names of MemberList's entries (a deque: appending
    // moves none), valid while indexedCount_ is its size.
    std::unordered_set<std::string_view> names_;
    std::size_t indexedCount_ = kNotIndexed;
    std::unique_ptr<CompressionPipeline> pipeline_;
    const ZlibApi* pipelineZlib_ = nullptr;
    std::int32_t pipelineLevel_ = 0;
    bool pipelineNoCrc_ = false;
    unsigned pipelineWorkers_ = 0;
};

}  // namespace kuv::zip
