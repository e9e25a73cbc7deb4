#pragma once
// Compression of a sequence of members on every core, with the results taken
// back in order on the calling thread.
//
// The caller's thread opens and reads the members one after the other, cut
// into slices (SliceDeflate.h); the slices are deflated on a pool of worker
// threads; each member's compressed bytes, CRC-32 and sizes come back to ONE
// consumer, on the caller's thread, in member order and slice order, so that
// whatever the consumer does (writing the spool or the archive, raising the
// engine's events) happens in file order where it always did. The bytes
// depend only on the input and the level, never on the number of threads or
// on timing. Memory stays bounded whatever the data: at most kMemoryBound
// bytes of slices (input and output) are held at any time. Nothing is thrown.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "zip/MemberCompressor.h"
#include "zip/OrderedWork.h"
#include "zip/SliceDeflate.h"

namespace kuv::zip {

struct ZlibApi;

// Where the members' bytes come from, called on the caller's thread only.
class MemberSource {
public:
    virtual ~MemberSource() = default;
    // Returns: 0 with the member's size as the file system gives it, or the
    // engine's number of the failure (ErrorNumberFromErrno; 70 for a locked file).
    virtual int Open(std::size_t index, std::uint64_t& size) = 0;
    // REQUIRES: the member is open. Returns: the bytes read (size unless the
    // member ends first; 0 at its end), or -1 with number set.
    virtual long long Read(std::uint8_t* buffer, std::size_t size, int& number) = 0;
    // Closes the open member (if any).
    virtual void Close() = 0;
};

// Members read from files, the index naming a path of the list (or the
// path pathOf gives for it, asked when the member is opened).
class FileListSource : public MemberSource {
public:
    explicit FileListSource(std::vector<std::string> paths);
    FileListSource(std::size_t count, std::function<std::string(std::size_t)> pathOf);
    ~FileListSource() override;
    int Open(std::size_t index, std::uint64_t& size) override;
    long long Read(std::uint8_t* buffer, std::size_t size, int& number) override;
    void Close() override;

private:
    std::size_t count_;
    std::function<std::string(std::size_t)> pathOf_;
    int fd_ = -1;
};

// Receives the members, in order, on the caller's thread.
class MemberConsumer {
public:
    virtual ~MemberConsumer() = default;
    // The next bytes of member index's data. Returns: false to refuse the
    // rest of this member (it then ends with kCompressSinkFailed).
    virtual bool Data(std::size_t index, const std::uint8_t* data, std::size_t size) = 0;
    // Member index is complete: once per member, after its data. code is
    // kCompressOk (result filled: method 8, or 0 for an empty member with no
    // data), or a failure code of the member compressor (kCompressSharing,
    // kCompressNoMemory, kCompressZlibFailed,
    // kCompressSinkFailed or the number of a failed open or read); after a
    // failure the data already given is to be given up.
    virtual void End(std::size_t index, int code, const CompressedMember& result) = 0;
};

struct PipelineOptions {
    const ZlibApi* zlib = nullptr;     // must not be null
    int level = -1;                    // LevelCompression
    bool excludeCRC32 = false;         // CRC 0 instead of the checksum
    unsigned threads = 0;              // worker threads; 0: one per core
    std::function<void()> idle;        // called about every 25 ms while members are compressed (may be empty)
};

class CompressionPipeline {
public:
    // Slices submitted and not yet handed to the consumer, at most.
    static constexpr std::size_t kSlicesInFlight = 2;
    // The most bytes of slice buffers held at once (input, dictionary, output).
    static const std::uint64_t kMemoryBound;

    // REQUIRES: options.zlib not null. Starts the worker threads (none when
    // the system refuses them: the work then runs on the caller's thread).
    explicit CompressionPipeline(const PipelineOptions& options);
    ~CompressionPipeline();
    CompressionPipeline(const CompressionPipeline&) = delete;
    CompressionPipeline& operator=(const CompressionPipeline&) = delete;

    // Returns: the worker threads running (0: inline).
    unsigned Threads() const;

    // Compresses members 0 to count - 1 of source and hands them to consumer
    // in order. Returns: true when every member has been handed over; false
    // after Stop, or when memory ran out (the members not ended get no End).
    bool Run(std::size_t count, MemberSource& source, MemberConsumer& consumer);

    // From the consumer: no further member is read or handed over; Run returns
    // once the work in flight is done (members not ended get no End).
    void Stop();

    // Returns: the most bytes of slice buffers held at once since construction.
    std::uint64_t PeakBufferedBytes() const;

private:
    static constexpr std::size_t kRunMembers = 16;
    static constexpr std::size_t kRunBytes = 128 * 1024;
    void RunMembers(std::size_t count, MemberSource& source, MemberConsumer& consumer);
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace kuv::zip
