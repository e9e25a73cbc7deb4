#include "zip/FastInflate.h"

#include <libdeflate.h>
#include <sys/resource.h>

#include <algorithm>
#include <new>

#include "zip/ReaderIo.h"
#include "zip/SliceInflate.h"
#include "zip/ZipRecords.h"

namespace kuv::zip {

bool InflatesInOneCall(const MemberData& member) {
    return member.method == kMethodDeflate && member.uncompressedSize <= kOneCallInflateBytes &&
           member.compressedSize <= kOneCallInflateBytes;
}

namespace {

// A stored member small enough to be held: read whole and checked.
bool HoldsWhole(const MemberData& member) {
    return member.method == kMethodStored && member.uncompressedSize <= kOneCallInflateBytes &&
           member.compressedSize == member.uncompressedSize;
}

std::uint64_t CostOf(const MemberData& member, bool keepData) {
    if (InflatesInOneCall(member)) return std::uint64_t {member.compressedSize} + member.uncompressedSize;
    if (keepData && HoldsWhole(member)) return member.uncompressedSize;
    if (keepData) return 0;  // handed back unread
    // The streaming path's two buffers, and those of the slice by slice path.
    return 2 * 256 * 1024 + (SliceInflater::Applies(member) ? SliceInflater::Footprint() : 0);
}

// Members a worker may write before the caller's turn comes, each keeping
// its file open until then: well under the process's limit of open files.
std::size_t MembersKeptOpen() {
    constexpr std::uint64_t kFewest = 64, kMost = 512;
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) limit.rlim_cur = 1024;
    if (limit.rlim_cur == RLIM_INFINITY) return kMost;
    const std::uint64_t half = limit.rlim_cur / 2;
    return static_cast<std::size_t>(std::clamp<std::uint64_t>(half > kFewest ? half - kFewest : 0, kFewest, kMost));
}

}  // namespace

OneCallInflater::OneCallInflater() = default;

OneCallInflater::~OneCallInflater() { libdeflate_free_decompressor(d_); }

InflateResult OneCallInflater::Inflate(const std::uint8_t* compressed, const MemberData& member,
                                       std::vector<std::uint8_t>& out) {
    out.clear();
    // Some writers give an empty file no deflate stream at all.
    if (member.compressedSize == 0 && member.uncompressedSize == 0)
        return member.crc32 == 0 ? InflateResult::Ok : InflateResult::CrcMismatch;
    if (!d_) {
        d_ = libdeflate_alloc_decompressor();
        if (!d_) return InflateResult::LibraryError;
    }
    try {
        // Exactly the declared size, which the caller has bounded: a stream
        // that would give one byte more finds no room and is refused.
        out.resize(member.uncompressedSize);
    } catch (const std::bad_alloc&) {
        return InflateResult::LibraryError;
    }
    std::size_t produced = 0;
    const libdeflate_result rc = libdeflate_deflate_decompress_ex(d_, compressed, member.compressedSize, out.data(),
                                                                 out.size(), nullptr, &produced);
    if (rc != LIBDEFLATE_SUCCESS || produced != member.uncompressedSize) {
        out.clear();
        return InflateResult::DataError;
    }
    const std::uint32_t crc = static_cast<std::uint32_t>(libdeflate_crc32(0, out.data(), out.size()));
    return crc == member.crc32 ? InflateResult::Ok : InflateResult::CrcMismatch;
}

InflateResult OneCallInflater::InflateFrom(int fd, const MemberData& member, std::vector<std::uint8_t>& out) {
    try {
        in_.resize(member.compressedSize);
    } catch (const std::bad_alloc&) {
        return InflateResult::LibraryError;
    }
    if (!ReadExact(fd, member.dataOffset, in_.data(), in_.size())) return InflateResult::ReadError;
    const InflateResult r = Inflate(in_.data(), member, out);
    // The input buffer is not kept from one member to the next: what a
    // worker holds between members stays small.
    std::vector<std::uint8_t>().swap(in_);
    return r;
}

ParallelInflater::ParallelInflater(const ZlibApi& zlib, int fd, Deliver deliver, unsigned threads,
                                   std::function<void()> idle)
    : zlib_(zlib), fd_(fd), pool_(threads) {
    const unsigned slots = std::max(1u, pool_.Threads());
    inflaters_.resize(slots);
    buffers_.resize(slots);
    // Enough runs in flight for the workers to be in different folders
    // (WorkerPool), within the budget and the files they keep open.
    const std::size_t jobsInFlight =
        std::max<std::size_t>(4 * std::max(2u, slots), MembersKeptOpen() / kRunMembers);
    deliver_ = std::move(deliver);
    queue_ = std::make_unique<OrderedResults<Run>>(
        pool_, kInflateBudget, jobsInFlight,
        [this](Run& run) {
            for (InflatedMember& m : run) deliver_(m);
        },
        std::move(idle));
}

ParallelInflater::~ParallelInflater() {
    // What was never handed to the workers is dropped (Finish hands it over
    // on the normal path); what they hold is delivered as the caller expects.
    run_.clear();
    queue_->Finish();
}

void ParallelInflater::Finish() {
    Flush();
    queue_->Finish();
}

void ParallelInflater::Flush() {
    if (run_.empty()) return;
    const std::uint64_t place = runPlace_;
    std::vector<Queued> run;
    run.swap(run_);
    const std::uint64_t cost = runCost_;
    runCost_ = 0;
    queue_->Submit(cost, [this, run = std::move(run)](unsigned worker) {
        Run out;
        out.reserve(run.size());
        for (const Queued& q : run) {
            if (q.whole) {
                InflatedMember r;
                r.index = q.index;
                r.streamed = true;
                if (!cancelled_.load(std::memory_order_relaxed)) r.completion = q.whole(worker);
                out.push_back(std::move(r));
                continue;
            }
            out.push_back(Work(worker, q.index, q.member, q.keepData));
            if (q.keepData && q.finish) FinishOnWorker(worker, out.back(), q.finish);
        }
        return out;
    }, place);
}

namespace {
std::atomic<std::size_t> g_failSubmission {0};  // 0: off
std::atomic<std::size_t> g_submissions {0};
}  // namespace

void ParallelInflater::FailSubmissionForTesting(std::size_t n) {
    g_submissions = 0;
    g_failSubmission = n;
}

void ParallelInflater::Submit(std::size_t index, const MemberData& member, bool keepData, WorkerFinisher finish,
                              std::uint64_t place, WholeOnWorker whole) {
    if (g_failSubmission != 0 && ++g_submissions == g_failSubmission) throw std::bad_alloc();
    if (keepData && whole && !InflatesInOneCall(member)) {
        // Alone, and in no place: it holds its worker long, and the small
        // members around it go to the others meanwhile.
        Flush();
        runPlace_ = 0;
        run_.push_back({index, member, keepData, {}, std::move(whole)});
        Flush();
        return;
    }
    if (run_.size() >= kRunMembersOfAPlace && place != runPlace_) Flush();
    if (run_.empty()) runPlace_ = place;
    run_.push_back({index, member, keepData, std::move(finish), {}});
    runCost_ += CostOf(member, keepData);
    if (run_.size() >= kRunMembers || runCost_ >= kRunBytes) Flush();
}

void ParallelInflater::FinishOnWorker(unsigned worker, InflatedMember& r, const WorkerFinisher& finish) {
    if (r.streamed || r.result != InflateResult::Ok || cancelled_.load(std::memory_order_relaxed)) return;
    r.completion = finish(worker, r.data);
    if (!r.completion) return;
    // Written: should the completion fail, the caller reads the member
    // again rather than this worker's copy holding memory until then.
    std::vector<std::uint8_t>().swap(r.data);
    r.streamed = true;
}

InflatedMember ParallelInflater::Work(unsigned worker, std::size_t index, const MemberData& member, bool keepData) {
    InflatedMember r;
    r.index = index;
    if (cancelled_.load(std::memory_order_relaxed)) {
        r.result = InflateResult::SinkError;
        return r;
    }
    if (InflatesInOneCall(member)) {
        auto& inflater = inflaters_[worker];
        if (!inflater) inflater = std::make_unique<OneCallInflater>();
        r.result = inflater->InflateFrom(fd_, member, r.data);
        if (!keepData) std::vector<std::uint8_t>().swap(r.data);
        return r;
    }
    if (keepData && HoldsWhole(member)) {
        // Stored and small: read whole and checked, as the streaming copy checks it.
        try {
            r.data.resize(member.uncompressedSize);
        } catch (const std::bad_alloc&) {
            r.result = InflateResult::LibraryError;
            return r;
        }
        if (!ReadExact(fd_, member.dataOffset, r.data.data(), r.data.size())) {
            r.data.clear();
            r.result = InflateResult::ReadError;
            return r;
        }
        const auto crc = static_cast<std::uint32_t>(libdeflate_crc32(0, r.data.data(), r.data.size()));
        r.result = crc == member.crc32 ? InflateResult::Ok : InflateResult::CrcMismatch;
        return r;
    }
    if (keepData) {
        r.streamed = true;
        return r;
    }
    auto& buffers = buffers_[worker];
    if (!buffers) buffers = std::make_unique<InflateBuffers>();
    r.result = DecompressMemberData(
        zlib_, fd_, member,
        [this](const std::uint8_t*, std::size_t) { return !cancelled_.load(std::memory_order_relaxed); }, *buffers,
        [] { return true; });  // only checked: nothing kept to start again
    // Counted in the member's cost only while it is checked: an idle worker
    // does not keep them.
    buffers->slices.reset();
    return r;
}

}  // namespace kuv::zip
