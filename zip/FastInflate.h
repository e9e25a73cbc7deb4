#pragma once
// Faster reading back of members, for extraction and TestAllFiles.
//
// A deflated member whose declared sizes are both at most
// kOneCallInflateBytes is inflated in one libdeflate call (several times
// zlib's speed) into a buffer of exactly its declared size; the stream must
// fill that buffer and end there, and the CRC-32 must match. The declared
// size only chooses the path and sizes that bounded buffer: a member that
// declares more goes to the streaming zlib path (MemberInflater.h), which
// allocates nothing from declared sizes.
//
// The bound keeps reading back within the engine's memory budget: a member
// in flight holds at most 2 x 4 MiB (its compressed data and its output),
// and ParallelInflater admits members while what they hold together stays
// within kInflateBudget (8 MiB), whatever the number of cores; with the
// streaming path's own buffers (512 KiB, and about 3 MiB for a member
// inflated slice by slice, SliceInflate.h) and the program itself, the whole
// stays under 16 MiB.
//
// ParallelInflater checks or inflates members on every core, one member per
// job, and hands the results back in the order they were submitted
// (directory order) on the caller's thread.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "zip/MemberInflater.h"
#include "zip/OrderedWork.h"

struct libdeflate_decompressor;

namespace kuv::zip {

struct ZlibApi;

constexpr std::uint64_t kOneCallInflateBytes = 4 * 1024 * 1024;
constexpr std::uint64_t kInflateBudget = 8 * 1024 * 1024;

// Returns: true when the member is inflated in one call (deflate, both
// declared sizes at most kOneCallInflateBytes).
bool InflatesInOneCall(const MemberData& member);

// One decompressor per thread.
class OneCallInflater {
public:
    OneCallInflater();
    ~OneCallInflater();
    OneCallInflater(const OneCallInflater&) = delete;
    OneCallInflater& operator=(const OneCallInflater&) = delete;

    // REQUIRES: InflatesInOneCall(member); compressed holds member.compressedSize bytes.
    // Returns: Ok with out holding exactly member.uncompressedSize bytes;
    // DataError when the stream is damaged or gives more or fewer bytes than
    // declared; CrcMismatch (out kept) when only the CRC-32 differs;
    // LibraryError without memory.
    InflateResult Inflate(const std::uint8_t* compressed, const MemberData& member, std::vector<std::uint8_t>& out);

    // REQUIRES: InflatesInOneCall(member). Reads the member's data from fd at
    // its offset (positioned reads: safe from any thread), then Inflate.
    // Returns: as Inflate, or ReadError.
    InflateResult InflateFrom(int fd, const MemberData& member, std::vector<std::uint8_t>& out);

private:
    libdeflate_decompressor* d_ = nullptr;
    std::vector<std::uint8_t> in_;
};

// One member's outcome, handed back in order.
struct InflatedMember {
    std::size_t index = 0;            // as submitted
    InflateResult result = InflateResult::Ok;
    // Too large for one call and not checked here, or its bytes dropped once
    // its finisher wrote them: the caller streams it when it needs them.
    bool streamed = false;
    // Set when the member's finisher did its part on the worker: what is
    // left, for the caller to run in order (returns: done). Dropped
    // unrun, it undoes that part.
    std::function<bool()> completion;
    std::vector<std::uint8_t> data;   // the member's bytes (one-call members, when kept)
};

// Runs on a worker with a sound member's bytes (result Ok, data kept):
// worker is the thread's number (0 to Threads() - 1, 0 inline), for
// per-thread state. Returns: the step left for the caller to run in order
// once the worker's part is done; empty when it did nothing (the caller
// then does the whole member).
using WorkerFinisher =
    std::function<std::function<bool()>(unsigned worker, const std::vector<std::uint8_t>& data)>;

// Runs on a worker in place of the inflation, for a member too large to come
// back whole that writes itself there (a member of one deflate stream
// streamed into its file, StreamInflate.h). Returns: the step left for
// the caller to run in order; empty when nothing of it stays (the caller
// then does the whole member again, and raises its errors).
using WholeOnWorker = std::function<std::function<bool()>(unsigned worker)>;

class ParallelInflater {
public:
    using Deliver = std::function<void(InflatedMember&)>;

    // REQUIRES: zlib outlives this; fd is open for reading for its whole
    // life. threads 0: one per core. deliver runs on the caller's thread.
    ParallelInflater(const ZlibApi& zlib, int fd, Deliver deliver, unsigned threads = 0,
                     std::function<void()> idle = {});
    ~ParallelInflater();
    ParallelInflater(const ParallelInflater&) = delete;
    ParallelInflater& operator=(const ParallelInflater&) = delete;

    // Submits a stored or deflated member. keepData false (a test): the
    // member is only checked, streamed through zlib on a worker when too
    // large for one call. keepData true (an extraction): one-call members
    // come back with their bytes; larger ones come back streamed = true,
    // unread, for the caller's streaming path, in their place in the order.
    // finish (keepData only; may be empty) runs on the worker once the
    // member is inflated and sound; when it leaves a completion, the bytes
    // are dropped at once and the member comes back streamed = true, for
    // the caller to read again should the completion fail. place (0: none)
    // is the folder the finisher writes into: members of one place go to
    // the workers together, and two workers are kept out of one place
    // where they can (WorkerPool). whole (keepData only, a member too large
    // for one call): the member goes to a worker alone, whole runs there in
    // place of any inflation, and the member comes back streamed = true
    // with whole's completion. Throws std::bad_alloc when there is no
    // memory to queue the member, or the run of small members it completes:
    // then nothing of that run comes back, and the caller ends as cancelled.
    void Submit(std::size_t index, const MemberData& member, bool keepData, WorkerFinisher finish = {},
                std::uint64_t place = 0, WholeOnWorker whole = {});

    // For tests: the submission numbered n (from 1, counted over every
    // inflater from now on) throws std::bad_alloc as if memory ran out; 0
    // turns it off.
    static void FailSubmissionForTesting(std::size_t n);

    // Hands every pending result over, in order. Throws std::bad_alloc as Submit does.
    void Finish();

    // Stops the work still to do: members not yet checked come back with
    // SinkError, a member streaming through zlib stops at its next chunk.
    // Their results are still delivered, for the caller to drop.
    void Cancel() { cancelled_.store(true, std::memory_order_relaxed); }

    // Returns: the worker threads running (0: inline).
    unsigned Threads() const { return pool_.Threads(); }

private:
    // Small members go to the workers in runs (one hand-over and one
    // wake-up per run instead of per member), flushed at kRunMembers members
    // or kRunBytes of cost, when the place changes after kRunMembersOfAPlace
    // members (smaller places share runs), and at Finish.
    static constexpr std::size_t kRunMembers = 16;
    static constexpr std::size_t kRunMembersOfAPlace = 4;
    static constexpr std::uint64_t kRunBytes = 1024 * 1024;
    struct Queued {
        std::size_t index = 0;
        MemberData member;
        bool keepData = false;
        WorkerFinisher finish;
        WholeOnWorker whole;
    };
    using Run = std::vector<InflatedMember>;
    void Flush();
    InflatedMember Work(unsigned worker, std::size_t index, const MemberData& member, bool keepData);
    // Runs finish on a sound member with its bytes, unless cancelled.
    void FinishOnWorker(unsigned worker, InflatedMember& r, const WorkerFinisher& finish);
    const ZlibApi& zlib_;
    int fd_;
    std::atomic<bool> cancelled_ {false};
    std::vector<std::unique_ptr<OneCallInflater>> inflaters_;
    std::vector<std::unique_ptr<InflateBuffers>> buffers_;
    Deliver deliver_;
    std::vector<Queued> run_;  // submitted, not yet handed to the workers
    std::uint64_t runCost_ = 0;
    std::uint64_t runPlace_ = 0;  // the place of the run's first member
    std::unique_ptr<OrderedResults<Run>> queue_;
    // Last: its threads are joined first, before what their jobs touch goes.
    WorkerPool pool_;
};

}  // namespace kuv::zip
