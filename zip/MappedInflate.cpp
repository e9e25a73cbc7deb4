#include "zip/MappedInflate.h"

#include <fcntl.h>
#include <libdeflate.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#ifndef MADV_POPULATE_READ
#define MADV_POPULATE_READ 22
#endif
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <limits>
#include <mutex>

#include "platform/FaultInjection.h"
#include "zip/FastInflate.h"
#include "zip/ZipRecords.h"

namespace kuv::zip {

namespace {

// The guard of one thread's mapped work: the ranges it maps and where to
// jump back to when a page of them cannot be had.
struct Guard {
    sigjmp_buf jump;
    std::uintptr_t begin[2] = {0, 0};
    std::uintptr_t end[2] = {0, 0};
    volatile sig_atomic_t armed = 0;
    volatile sig_atomic_t faulted = -1;  // the range faulted in
};

thread_local Guard* t_guard = nullptr;
struct sigaction g_previous {};
std::once_flag g_installed;
std::atomic<void (*)(int, int)> g_hook {nullptr};

// Async-signal-safe: reads the thread's guard and jumps, nothing else.
void OnBusError(int sig, siginfo_t* info, void* context) {
    Guard* g = t_guard;
    if (g && g->armed) {
        const auto at = reinterpret_cast<std::uintptr_t>(info->si_addr);
        for (int i = 0; i < 2; ++i) {
            if (at >= g->begin[i] && at < g->end[i]) {
                g->armed = 0;
                g->faulted = i;
                siglongjmp(g->jump, 1);
            }
        }
    }
    // Not a fault of ours: what was there before decides.
    if ((g_previous.sa_flags & SA_SIGINFO) && g_previous.sa_sigaction) {
        g_previous.sa_sigaction(sig, info, context);
        return;
    }
    if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
        g_previous.sa_handler(sig);
        return;
    }
    // The default: the program ends on this signal, as it would have.
    signal(SIGBUS, SIG_DFL);
    raise(SIGBUS);
}

bool InstallHandler() {
    static bool installed = false;
    std::call_once(g_installed, [] {
        struct sigaction sa {};
        sa.sa_sigaction = OnBusError;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_SIGINFO;
        installed = sigaction(SIGBUS, &sa, &g_previous) == 0;
    });
    return installed;
}

// Runs work under the thread's guard. Returns: -1 when it ran to its end,
// otherwise the range (0 or 1) a SIGBUS was raised in.
template <class Work>
int RunGuarded(Guard& g, Work& work) {
    t_guard = &g;
    if (sigsetjmp(g.jump, 1) != 0) {  // 1: the signal mask comes back too
        t_guard = nullptr;
        return g.faulted;
    }
    g.armed = 1;
    work();
    g.armed = 0;
    t_guard = nullptr;
    return -1;
}

// A mapping, unmapped when it goes.
struct Mapping {
    void* base = MAP_FAILED;
    std::size_t length = 0;
    ~Mapping() { Unmap(); }
    void Unmap() {
        if (base != MAP_FAILED) munmap(base, length);
        base = MAP_FAILED;
    }
    bool Map(int fd, std::uint64_t offset, std::size_t bytes, int protection) {
        length = bytes;
        base = mmap(nullptr, bytes, protection, MAP_SHARED, fd, static_cast<off_t>(offset));
        return base != MAP_FAILED;
    }
    std::uintptr_t Begin() const { return reinterpret_cast<std::uintptr_t>(base); }
};

// Returns: whether faulting every page of an output of size bytes in at once
// stays well under the share of memory the system lets be dirty before it
// starts writing back (10% by default): above it, zeros would be written
// out before the member's bytes.
bool PopulateFits(std::size_t size, std::uint64_t pageBytes) {
    const long pages = sysconf(_SC_AVPHYS_PAGES);
    return pages > 0 && size <= static_cast<std::uint64_t>(pages) * pageBytes / 16;
}

// The cause of a page of the output refused under the mapping: no room left
// on its file system, or the medium itself.
int OutputFaultCause(int fd) {
    struct statvfs fs {};
    if (fstatvfs(fd, &fs) == 0 && fs.f_bavail == 0) return ENOSPC;
    return EIO;
}

}  // namespace

bool InflatesMapped(const MemberData& member) {
    // Deflate gives at most 1032 bytes per byte (a 258-byte match in two
    // bits): a member declaring more lies, and is streamed, where its stream
    // ends before a byte of room is taken for the declared size.
    constexpr std::uint64_t kMostPerByte = 1032;
    return member.method == kMethodDeflate && member.uncompressedSize > kOneCallInflateBytes &&
           member.compressedSize > 0 && member.compressedSize <= UINT64_MAX / kMostPerByte &&
           member.uncompressedSize <= member.compressedSize * kMostPerByte + 4096 && member.uncompressedSize <= std::numeric_limits<std::size_t>::max() / 2 &&
           member.compressedSize <= std::numeric_limits<std::size_t>::max() / 2 &&
           member.uncompressedSize <= static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
}

void SetMappedHookForTesting(void (*hook)(int, int)) { g_hook.store(hook); }

MappedOutcome InflateMapped(int archiveFd, const MemberData& member, MappableTarget& target, InflateResult& result) {
    // The archive's bytes are read here through the mapping: a read the
    // fault layer refuses is refused here too.
    if (platform::InjectedFault(platform::FaultPoint::Read)) {
        result = InflateResult::ReadError;
        return MappedOutcome::Done;
    }
    struct stat archive {};
    if (fstat(archiveFd, &archive) != 0 || archive.st_size < 0 ||
        static_cast<std::uint64_t>(archive.st_size) < member.dataOffset ||
        static_cast<std::uint64_t>(archive.st_size) - member.dataOffset < member.compressedSize) {
        result = InflateResult::ReadError;  // cut short: as a read past its end
        return MappedOutcome::Done;
    }
    if (!InstallHandler()) return MappedOutcome::NotDone;
    const int out = target.TakeForMapping();
    if (out < 0) return MappedOutcome::NotDone;
    const auto size = static_cast<std::size_t>(member.uncompressedSize);
    // The room first: once reserved, no page written below can want for it.
    if (const int injected = platform::InjectedFault(platform::FaultPoint::Write)) {
        target.Refused(injected);
        result = InflateResult::SinkError;
        return MappedOutcome::Done;
    }
    // The system call itself, not posix_fallocate: where the file system
    // cannot reserve, the C library would write the file full of zeros.
    int reserved = 0;
    while (fallocate(out, 0, 0, static_cast<off_t>(size)) != 0) {
        reserved = errno;
        if (reserved != EINTR) break;
        reserved = 0;
    }
    const auto emptied = [&] { return ftruncate(out, 0) == 0; };
    if (reserved != 0) {
        // Not supported here, or no room for the declared size: streamed,
        // whose writes then meet the true cause (a full disk, or a stream
        // that is damaged before it fills it).
        if (emptied()) return MappedOutcome::NotDone;
        target.Refused(reserved);
        result = InflateResult::SinkError;
        return MappedOutcome::Done;
    }

    const long page = sysconf(_SC_PAGESIZE);
    const std::uint64_t pageMask = static_cast<std::uint64_t>(page > 0 ? page : 4096) - 1;
    const std::uint64_t start = member.dataOffset & ~pageMask;
    const auto lead = static_cast<std::size_t>(member.dataOffset - start);
    const auto compressed = static_cast<std::size_t>(member.compressedSize);
    Mapping input, output;
    libdeflate_decompressor* d = nullptr;
    if (!output.Map(out, 0, size, PROT_READ | PROT_WRITE) || !input.Map(archiveFd, start, lead + compressed, PROT_READ) ||
        !(d = libdeflate_alloc_decompressor())) {
        if (!emptied()) {
            target.Refused(errno);
            result = InflateResult::SinkError;
            return MappedOutcome::Done;
        }
        return MappedOutcome::NotDone;
    }
    // Every page faulted in by one call each, rather than one fault per page
    // under the inflation: on a virtual machine that halves the system's time.
    // A page that cannot be had fails the call (ignored here) and faults
    // again, under the guard, where its cause is told.
    madvise(input.base, input.length, MADV_POPULATE_READ);
    if (PopulateFits(size, pageMask + 1)) madvise(output.base, output.length, MADV_POPULATE_WRITE);
    if (void (*hook)(int, int) = g_hook.load()) hook(archiveFd, out);

    const auto* in = static_cast<const std::uint8_t*>(input.base) + lead;
    auto* bytes = static_cast<std::uint8_t*>(output.base);
    libdeflate_result rc = LIBDEFLATE_BAD_DATA;
    std::size_t produced = 0;
    std::uint32_t crc = 0;
    auto work = [&] {
        // Exactly the declared size: a stream that would give more finds no room.
        rc = libdeflate_deflate_decompress_ex(d, in, compressed, bytes, size, nullptr, &produced);
        if (rc == LIBDEFLATE_SUCCESS && produced == size)
            crc = static_cast<std::uint32_t>(libdeflate_crc32(0, bytes, size));
    };
    Guard guard;
    guard.begin[0] = input.Begin();
    guard.end[0] = input.Begin() + input.length;
    guard.begin[1] = output.Begin();
    guard.end[1] = output.Begin() + output.length;
    const int faulted = RunGuarded(guard, work);
    libdeflate_free_decompressor(d);
    if (faulted == 0) {
        result = InflateResult::ReadError;
    } else if (faulted == 1) {
        target.Refused(OutputFaultCause(out));
        result = InflateResult::SinkError;
    } else if (rc != LIBDEFLATE_SUCCESS || produced != size) {
        result = InflateResult::DataError;
    } else {
        result = crc == member.crc32 ? InflateResult::Ok : InflateResult::CrcMismatch;
    }
    // Unmapped first: the pages written back below are then no longer in
    // this process's page tables, and cleaning them costs no flush of every
    // core's address cache page by page.
    output.Unmap();
    input.Unmap();
    if (result == InflateResult::Ok || result == InflateResult::CrcMismatch) {
        // Written back from now on, while the next members are inflated:
        // the restore's final flush finds less left to do.
        sync_file_range(out, 0, static_cast<off_t>(size), SYNC_FILE_RANGE_WRITE);
    } else {
        if (!emptied() && result == InflateResult::DataError) {
            target.Refused(errno);
            result = InflateResult::SinkError;
        }
    }
    return MappedOutcome::Done;
}

}  // namespace kuv::zip
