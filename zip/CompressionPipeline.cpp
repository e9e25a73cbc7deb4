#include "zip/CompressionPipeline.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>

#include "platform/Files.h"
#include "zip/ZlibBinding.h"

namespace kuv::zip {

namespace {

// Counts the bytes of slice buffers alive, and the most ever alive.
class Meter {
public:
    void Add(std::uint64_t n) {
        const std::uint64_t now = current_.fetch_add(n) + n;
        std::uint64_t peak = peak_.load();
        while (now > peak && !peak_.compare_exchange_weak(peak, now)) {
        }
    }
    void Sub(std::uint64_t n) { current_.fetch_sub(n); }
    std::uint64_t Peak() const { return peak_.load(); }

private:
    std::atomic<std::uint64_t> current_ {0};
    std::atomic<std::uint64_t> peak_ {0};
};

// The allocator of slice buffers: a large buffer is mapped from the system
// and given back to it when freed (the allocator's own caches, one per
// thread, would otherwise keep what every thread ever freed), and bytes are
// not zeroed: pages that are never written never become resident.
template <class T>
struct SliceAllocator {
    using value_type = T;
    static constexpr std::size_t kMapFrom = 128 * 1024;
    SliceAllocator() = default;
    template <class U>
    SliceAllocator(const SliceAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) {
        const std::size_t bytes = n * sizeof(T);
        if (bytes < kMapFrom) return static_cast<T*>(::operator new(bytes));
        void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t n) noexcept {
        const std::size_t bytes = n * sizeof(T);
        if (bytes < kMapFrom) ::operator delete(p);
        else munmap(p, bytes);
    }
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;  // left as it is: written before it is read
    }
    template <class U, class... A>
    void construct(U* p, A&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<A>(args)...);
    }
    template <class U>
    bool operator==(const SliceAllocator<U>&) const noexcept { return true; }
    template <class U>
    bool operator!=(const SliceAllocator<U>&) const noexcept { return false; }
};

using SliceBytes = std::vector<std::uint8_t, SliceAllocator<std::uint8_t>>;

// A byte buffer whose capacity is counted by a meter while it lives.
class Buffer {
public:
    Buffer() = default;
    explicit Buffer(Meter& meter) : meter_(&meter) {}
    Buffer(Buffer&& other) noexcept { *this = std::move(other); }
    Buffer& operator=(Buffer&& other) noexcept {
        if (this != &other) {
            Release();
            meter_ = other.meter_;
            bytes_ = std::move(other.bytes_);
            counted_ = other.counted_;
            other.bytes_ = {};
            other.counted_ = 0;
        }
        return *this;
    }
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    ~Buffer() { Release(); }

    SliceBytes& bytes() { return bytes_; }
    // Counts the buffer's capacity as it is now.
    void Recount() {
        if (!meter_) return;
        meter_->Sub(counted_);
        counted_ = bytes_.capacity();
        meter_->Add(counted_);
    }
    // Returns: false without memory.
    bool Resize(std::size_t size) {
        try {
            bytes_.resize(size);
        } catch (const std::bad_alloc&) {
            return false;
        }
        Recount();
        return true;
    }
    void Release() {
        if (meter_) meter_->Sub(counted_);
        counted_ = 0;
        SliceBytes().swap(bytes_);
    }

private:
    Meter* meter_ = nullptr;
    SliceBytes bytes_;
    std::uint64_t counted_ = 0;
};

// What one job gives back: a slice's output, or a member's end without data.
struct SliceResult {
    std::size_t member = 0;
    int code = kCompressOk;
    bool last = false;        // the member's last result
    bool empty = false;       // an empty member: stored, no data
    Buffer data;
    std::uint32_t crc = 0;
    std::uint64_t inputSize = 0;
};

// What a slice holds: its input, its dictionary and its output's room.
std::uint64_t SliceCost(std::size_t size, std::size_t dictionary) {
    return size + dictionary + SliceOutputBound(size);
}

}  // namespace

const std::uint64_t CompressionPipeline::kMemoryBound =
    // the slices in flight, plus the two the reading thread holds (the one
    // to submit and the one read after it, to know whether it is the last)
    CompressionPipeline::kSlicesInFlight * SliceCost(kSliceBytes, kDictionaryBytes) +
    2 * (kSliceBytes + kDictionaryBytes);

// ---------------- files as the source ----------------

FileListSource::FileListSource(std::vector<std::string> paths)
    : count_(paths.size()),
      pathOf_([list = std::move(paths)](std::size_t index) { return list[index]; }) {}

FileListSource::FileListSource(std::size_t count, std::function<std::string(std::size_t)> pathOf)
    : count_(count), pathOf_(std::move(pathOf)) {}

FileListSource::~FileListSource() { Close(); }

int FileListSource::Open(std::size_t index, std::uint64_t& size) {
    Close();
    size = 0;
    if (index >= count_) return platform::ErrorNumberFromErrno(ENOENT);
    // Non-blocking open: a FIFO put in a file's place does not hang the walk.
    fd_ = open(pathOf_(index).c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) return platform::ErrorNumberFromErrno(errno);
    struct stat st {};
    if (fstat(fd_, &st) != 0) {
        const int number = platform::ErrorNumberFromErrno(errno);
        Close();
        return number;
    }
    if (!S_ISREG(st.st_mode)) {
        Close();
        return kErrPathAccess;
    }
    fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    // A file read in several slices asks for a larger read-ahead; a small one
    // is read in one call and needs no advice.
    size = static_cast<std::uint64_t>(st.st_size);
    if (size > kSliceBytes) posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    return 0;
}

long long FileListSource::Read(std::uint8_t* buffer, std::size_t size, int& number) {
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = read(fd_, buffer + got, size - got);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            number = platform::ErrorNumberFromErrno(errno);
            return -1;
        }
        got += static_cast<std::size_t>(n);
    }
    return static_cast<long long>(got);
}

void FileListSource::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

// ---------------- the pipeline ----------------

struct CompressionPipeline::Impl {
    explicit Impl(const PipelineOptions& o) : options(o), pool(o.threads) {
        deflaters.resize(std::max(1u, pool.Threads()));
    }

    SliceDeflater& DeflaterOf(unsigned worker) {
        // Each worker touches only its own entry.
        auto& d = deflaters[worker];
        if (!d) d = std::make_unique<SliceDeflater>(*options.zlib, options.level);
        return *d;
    }

    // The job of one slice (or of a whole small member): runs on a worker.
    SliceResult Compress(unsigned worker, std::size_t member, Buffer& dictionary, Buffer& input, bool last,
                         bool oneCall) {
        SliceResult r;
        r.member = member;
        r.last = last;
        r.data = Buffer(meter);
        SliceBytes& in = input.bytes();
        r.inputSize = in.size();
        if (!options.excludeCRC32) r.crc = CrcOf(0, in.data(), in.size());
        // Room for the worst case; only the pages written become resident.
        const std::size_t room = SliceOutputBound(in.size());
        if (!r.data.Resize(room)) {
            r.code = kCompressNoMemory;
        } else {
            SliceDeflater& d = DeflaterOf(worker);
            std::uint8_t* out = r.data.bytes().data();
            std::size_t produced = 0;
            r.code = oneCall ? d.Whole(in.data(), in.size(), out, room, produced)
                             : d.Slice(dictionary.bytes().data(), dictionary.bytes().size(), in.data(), in.size(),
                                       last, out, room, produced);
            r.data.bytes().resize(produced);
            // A small member waits for its turn in a run with others: it
            // keeps only what it produced, not the room for the worst case.
            if (produced < SliceAllocator<std::uint8_t>::kMapFrom) r.data.bytes().shrink_to_fit();
        }
        r.data.Recount();
        input.Release();
        dictionary.Release();
        if (r.code != kCompressOk) {
            r.last = true;
            r.data.Release();
        }
        return r;
    }

    // Hands one result to the consumer, on the caller's thread.
    void Deliver(SliceResult& r, MemberConsumer& consumer) {
        if (stopped.load()) return;
        if (r.member != current) {
            current = r.member;
            ended = false;
            refused = false;
            result = CompressedMember {};
        }
        if (ended) return;  // slices after a failed one
        if (r.code != kCompressOk) {
            ended = true;
            consumer.End(r.member, r.code, result);
            return;
        }
        if (r.empty) {
            ended = true;
            result.method = 0;  // stored, as the member compressor gives an empty file
            consumer.End(r.member, kCompressOk, result);
            return;
        }
        const SliceBytes& bytes = r.data.bytes();
        if (!refused && !bytes.empty()) refused = !consumer.Data(r.member, bytes.data(), bytes.size());
        result.compressedSize += bytes.size();
        r.data.Release();
        if (!options.excludeCRC32) result.crc32 = CombineCrc(*options.zlib, result.crc32, r.crc, r.inputSize);
        result.uncompressedSize += r.inputSize;
        if (!r.last) return;
        ended = true;
        result.method = 8;
        consumer.End(r.member, refused ? kCompressSinkFailed : kCompressOk, result);
    }

    PipelineOptions options;
    std::vector<std::unique_ptr<SliceDeflater>> deflaters;
    Meter meter;
    std::atomic<bool> stopped {false};
    // Delivery state (caller's thread).
    std::size_t current = SIZE_MAX;
    bool ended = false;
    bool refused = false;
    CompressedMember result;
    // Last: its threads are joined first, before what their jobs touch goes.
    WorkerPool pool;
};

CompressionPipeline::CompressionPipeline(const PipelineOptions& options) : impl_(std::make_unique<Impl>(options)) {}

CompressionPipeline::~CompressionPipeline() = default;

unsigned CompressionPipeline::Threads() const { return impl_->pool.Threads(); }

void CompressionPipeline::Stop() { impl_->stopped = true; }

std::uint64_t CompressionPipeline::PeakBufferedBytes() const { return impl_->meter.Peak(); }

bool CompressionPipeline::Run(std::size_t count, MemberSource& source, MemberConsumer& consumer) {
    Impl& s = *impl_;
    s.stopped = false;
    s.current = SIZE_MAX;
    try {
        RunMembers(count, source, consumer);
    } catch (const std::bad_alloc&) {
        // What is in flight is discarded; the caller learns it from the result.
        s.stopped = true;
        source.Close();
    }
    return !s.stopped.load();
}

void CompressionPipeline::RunMembers(std::size_t count, MemberSource& source, MemberConsumer& consumer) {
    Impl& s = *impl_;
    using Task = std::function<SliceResult(unsigned worker)>;
    using Run = std::vector<SliceResult>;
    // Two runs per worker keep every worker busy (one at work, one waiting)
    // without holding hundreds of small members (their buffers) at once.
    const std::size_t jobsInFlight = 2 * std::max<std::size_t>(2, s.pool.Threads());
    OrderedResults<Run> queue(
        s.pool, kSlicesInFlight * SliceCost(kSliceBytes, kDictionaryBytes), jobsInFlight,
        [&](Run& run) {
            for (SliceResult& r : run) s.Deliver(r, consumer);
        },
        s.options.idle);
    // Small members go to the workers in runs (one hand-over and one
    // wake-up per run instead of per member): up to kRunMembers, or
    // kRunBytes of input. A slice of a large member is a run of its own.
    std::vector<Task> run;
    std::uint64_t runCost = 0;
    std::size_t runInput = 0;
    auto flush = [&] {
        if (run.empty()) return;
        auto tasks = std::make_shared<std::vector<Task>>(std::move(run));
        run.clear();
        const std::uint64_t cost = runCost;
        runCost = 0;
        runInput = 0;
        queue.Submit(cost, [tasks](unsigned worker) {
            Run results;
            results.reserve(tasks->size());
            for (Task& task : *tasks) results.push_back(task(worker));
            return results;
        });
    };
    auto add = [&](std::uint64_t cost, std::size_t input, Task task) {
        run.push_back(std::move(task));
        runCost += cost;
        runInput += input;
        if (run.size() >= kRunMembers || runInput >= kRunBytes) flush();
    };
    auto fail = [&](std::size_t member, int code) {
        add(0, 0, [member, code](unsigned) {
            SliceResult r;
            r.member = member;
            r.code = code;
            r.last = true;
            return r;
        });
    };
    // Reads up to one slice into buffer, sized from what the file system said
    // is left (one byte more, to see a file that grew): a small file holds
    // a small buffer. Returns: false with code on a read error.
    auto readSlice = [&](Buffer& buffer, std::uint64_t expectedLeft, int& code) {
        std::size_t room = static_cast<std::size_t>(std::min<std::uint64_t>(kSliceBytes, expectedLeft + 1));
        std::size_t got = 0;
        for (;;) {
            if (!buffer.Resize(room)) {
                code = kCompressNoMemory;
                return false;
            }
            const long long n = source.Read(buffer.bytes().data() + got, room - got, code);
            if (n < 0) return false;
            got += static_cast<std::size_t>(n);
            if (got < room || room == kSliceBytes) break;
            room = kSliceBytes;  // the file grew: read on up to a whole slice
        }
        buffer.bytes().resize(got);
        return true;
    };

    for (std::size_t member = 0; member < count && !s.stopped.load(); ++member) {
        std::uint64_t size = 0;
        if (int code = source.Open(member, size)) {
            fail(member, code);
            continue;
        }
        Buffer current(s.meter);
        int code = 0;
        if (!readSlice(current, size, code)) {
            source.Close();
            fail(member, code);
            continue;
        }
        if (current.bytes().empty()) {
            // An empty member: stored, no data, CRC 0.
            source.Close();
            add(0, 0, [member](unsigned) {
                SliceResult r;
                r.member = member;
                r.last = true;
                r.empty = true;
                return r;
            });
            continue;
        }
        Buffer dictionary(s.meter);
        std::uint64_t total = 0;
        bool first = true;
        for (;;) {
            // A full slice is the last one only when nothing follows it.
            Buffer next(s.meter);
            bool last = current.bytes().size() < kSliceBytes;
            if (!last) {
                const std::uint64_t read = total + current.bytes().size();
                if (!readSlice(next, size > read ? size - read : 0, code)) break;
                last = next.bytes().empty();
                if (last) next.Release();
            }
            total += current.bytes().size();
            const bool oneCall = first && last && CompressedInOneCall(total, s.options.level);
            // The next slice's dictionary: the end of this one.
            Buffer nextDictionary(s.meter);
            if (!last) {
                const SliceBytes& in = current.bytes();
                const std::size_t keep = std::min(kDictionaryBytes, in.size());
                if (!nextDictionary.Resize(keep)) {
                    code = kCompressNoMemory;
                    break;
                }
                std::copy(in.end() - static_cast<std::ptrdiff_t>(keep), in.end(), nextDictionary.bytes().begin());
            }
            const std::uint64_t cost = current.bytes().capacity() + dictionary.bytes().capacity() +
                                       SliceOutputBound(current.bytes().size());
            const std::size_t input = current.bytes().size();
            auto in = std::make_shared<Buffer>(std::move(current));
            auto dict = std::make_shared<Buffer>(std::move(dictionary));
            Task task = [&s, member, in, dict, last, oneCall](unsigned worker) {
                return s.Compress(worker, member, *dict, *in, last, oneCall);
            };
            const bool alone = !(first && last);  // a slice of a large member: a run of its own
            if (alone) flush();
            add(cost, input, std::move(task));
            if (alone) flush();
            if (last || s.stopped.load()) break;
            current = std::move(next);
            dictionary = std::move(nextDictionary);
            first = false;
        }
        source.Close();
        if (code != 0) fail(member, code);
    }
    flush();
    queue.Finish();
}

}  // namespace kuv::zip
