#include "zip/MemberCompressor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <memory>

#include "platform/Files.h"
#include "platform/UniqueFd.h"
#include "zip/ZlibBinding.h"

namespace kuv::zip {

namespace {

// An open source file, closed on every way out.
class SourceFile {
public:
    explicit SourceFile(const std::string& path) {
        fd_.Reset(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
        if (!fd_) error_ = errno;
    }
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    // 0 when open; otherwise the engine's number for the failure.
    int OpenError() const { return fd_ ? 0 : platform::ErrorNumberFromErrno(error_); }

    // 0 with the size of a regular file; a number otherwise (a folder or a
    // device is not a file this engine reads).
    int Size(std::uint64_t& size) {
        struct stat st {};
        if (fstat(fd_.get(), &st) != 0) return platform::ErrorNumberFromErrno(errno);
        if (!S_ISREG(st.st_mode)) return kErrPathAccess;
        // Regular files never block; reads stay plain blocking reads, front
        // to back (the system may read ahead further).
        fcntl(fd_.get(), F_SETFL, fcntl(fd_.get(), F_GETFL) & ~O_NONBLOCK);
        posix_fadvise(fd_.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
        size = static_cast<std::uint64_t>(st.st_size);
        return 0;
    }

    // Reads up to size bytes; the count (0 at the end), or -1 with the number.
    ssize_t Read(std::uint8_t* buffer, size_t size, int& number) {
        for (;;) {
            const ssize_t n = read(fd_.get(), buffer, size);
            if (n >= 0) return n;
            if (errno == EINTR) continue;
            number = platform::ErrorNumberFromErrno(errno);
            return -1;
        }
    }

private:
    platform::UniqueFd fd_;
    int error_ = 0;
};

// Opens the source and takes its size.
int OpenSource(SourceFile& source, std::uint64_t& size) {
    if (int number = source.OpenError()) return number;
    if (int number = source.Size(size)) return number;
    return kCompressOk;
}

// zlib's deflate state, ended on every way out.
class Deflater {
public:
    explicit Deflater(const ZlibApi& zlib) : zlib_(zlib) {}
    ~Deflater() {
        if (started_) zlib_.deflateEnd(&stream_);
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    // Raw deflate (window bits -15) at level, memory level 9, default strategy.
    int Start(int level) {
        const int rc = zlib_.deflateInit2_(&stream_, level, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY,
                                           ZLIB_VERSION, static_cast<int>(sizeof(z_stream)));
        started_ = rc == Z_OK;
        return rc;
    }
    z_stream& stream() { return stream_; }
    int Deflate(int flush) { return zlib_.deflate(&stream_, flush); }
    int End() {
        started_ = false;
        return zlib_.deflateEnd(&stream_);
    }

private:
    const ZlibApi& zlib_;
    z_stream stream_ {};
    bool started_ = false;
};

std::unique_ptr<std::uint8_t[]> NewChunk() { return std::unique_ptr<std::uint8_t[]>(new std::uint8_t[kChunkBytes]); }

std::uint32_t Crc(const ZlibApi& zlib, std::uint32_t crc, const std::uint8_t* data, size_t size) {
    return static_cast<std::uint32_t>(zlib.crc32(crc, data, static_cast<uInt>(size)));
}

}  // namespace

int CompressFile(const std::string& path, const CompressRequest& request, ByteSink& sink, CompressedMember& out) {
    out = CompressedMember {};
    const ZlibApi& zlib = *request.zlib;
    SourceFile source(path);
    std::uint64_t size = 0;
    if (int number = OpenSource(source, size)) return number;

    auto input = NewChunk();
    int number = 0;
    ssize_t got = source.Read(input.get(), kChunkBytes, number);
    if (got < 0) return number;
    if (got == 0) {
        // Empty file: stored, no data, CRC 0.
        out.method = 0;
        return kCompressOk;
    }

    Deflater deflater(zlib);
    const int init = deflater.Start(request.level);
    if (init == Z_MEM_ERROR) return kCompressNoMemory;
    if (init != Z_OK) return kCompressZlibFailed;
    auto output = NewChunk();
    z_stream& zs = deflater.stream();
    // Runs deflate over the pending input, handing every full output chunk to
    // the sink; with Z_FINISH, until the stream has ended.
    auto pump = [&](int flush) {
        int rc = Z_OK;
        do {
            zs.next_out = output.get();
            zs.avail_out = static_cast<uInt>(kChunkBytes);
            rc = deflater.Deflate(flush);
            if (rc == Z_STREAM_ERROR) return kCompressZlibFailed;
            const size_t produced = kChunkBytes - zs.avail_out;
            if (produced > 0 && !sink.Write(output.get(), produced)) return kCompressSinkFailed;
            out.compressedSize += produced;
        } while (zs.avail_out == 0 || (flush == Z_FINISH && rc != Z_STREAM_END));
        return kCompressOk;
    };
    std::uint32_t crc = 0;
    std::uint64_t total = 0;
    for (;;) {
        total += static_cast<std::uint64_t>(got);
        if (!request.excludeCRC32) crc = Crc(zlib, crc, input.get(), static_cast<size_t>(got));
        zs.next_in = input.get();
        zs.avail_in = static_cast<uInt>(got);
        // A short read that reaches the size is the end: it goes in with Z_FINISH.
        const bool last = static_cast<size_t>(got) < kChunkBytes && total >= size;
        if (int code = pump(last ? Z_FINISH : Z_NO_FLUSH)) return code;
        if (last) break;
        if (request.doEvents) request.doEvents();
        got = source.Read(input.get(), kChunkBytes, number);
        if (got < 0) return number;
        if (got == 0) {
            // The file ended on a chunk boundary (or shrank): finish the stream.
            zs.avail_in = 0;
            if (int code = pump(Z_FINISH)) return code;
            break;
        }
    }
    if (deflater.End() != Z_OK) return kCompressZlibFailed;
    out.method = 8;
    out.crc32 = request.excludeCRC32 ? 0 : crc;
    out.uncompressedSize = total;
    return kCompressOk;
}

int StoreFile(const std::string& path, const CompressRequest& request, ByteSink& sink, CompressedMember& out) {
    out = CompressedMember {};
    out.method = 0;
    SourceFile source(path);
    std::uint64_t size = 0;
    if (int number = OpenSource(source, size)) return number;
    auto buffer = NewChunk();
    std::uint32_t crc = 0;
    for (;;) {
        int number = 0;
        const ssize_t got = source.Read(buffer.get(), kChunkBytes, number);
        if (got < 0) return number;
        if (got == 0) break;
        out.uncompressedSize += static_cast<std::uint64_t>(got);
        if (!request.excludeCRC32) crc = Crc(*request.zlib, crc, buffer.get(), static_cast<size_t>(got));
        if (!sink.Write(buffer.get(), static_cast<size_t>(got))) return kCompressSinkFailed;
        if (request.doEvents) request.doEvents();
    }
    out.compressedSize = out.uncompressedSize;
    out.crc32 = request.excludeCRC32 ? 0 : crc;
    return kCompressOk;
}

std::vector<std::uint8_t> DeflateBuffer(const ZlibApi& zlib, int level, const std::uint8_t* data, size_t size,
                                        bool Block, std::int32_t& codeError) {
    codeError = 0;
    // Room for the worst case of a single deflate call: 1.5 x size + 12 bytes,
    // rounded to the nearest whole number (halves to even).
    const double room = std::nearbyint(1.5 * static_cast<double>(size) + 12.0);
    std::vector<std::uint8_t> output;
    try {
        output.resize(static_cast<size_t>(room) + 1);
    } catch (const std::bad_alloc&) {
        codeError = kCompressZlibFailed;
        return {};
    }
    Deflater deflater(zlib);
    if (deflater.Start(level) != Z_OK) {
        codeError = kCompressZlibFailed;
        return {};
    }
    z_stream& zs = deflater.stream();
    zs.next_in = const_cast<std::uint8_t*>(data);
    zs.avail_in = static_cast<uInt>(size);
    zs.next_out = output.data();
    zs.avail_out = static_cast<uInt>(room);
    const int rc = deflater.Deflate(Z_FINISH);
    if (rc < 0) {
        codeError = kCompressZlibFailed;
        return {};
    }
    const size_t produced = static_cast<size_t>(zs.total_out);
    // The state is always released; Block only decides which code is reported.
    const int endCode = deflater.End();
    codeError = Block ? rc : endCode;
    output.resize(produced);
    return output;
}

}  // namespace kuv::zip
