// The writing side of clsZip: the member list and its accessors, the list
// method (FileAdd ... WriteZip), the streaming method (CreateZip, ybFileAdd,
// WriteEndZip) and the compression operations.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <functional>
#include <stdexcept>

#include "platform/Files.h"
#include "platform/Text.h"
#include "zip/ArchiveWriter.h"
#include "zip/OrderedWork.h"
#include "zip/CompressionPipeline.h"
#include "zip/FolderWalk.h"
#include "zip/MemberCompressor.h"
#include "zip/SpoolFile.h"
#include "zip/WriterState.h"
#include "zip/ZipNames.h"
#include "zip/ZlibBinding.h"
#include "zip/clsZip.h"

using namespace kuv::zip;
namespace platform = kuv::platform;

namespace {

// A part of a member name (between "\" or "/") longer than the 255 bytes a
// Linux file name may have.
bool HasOverlongPart(const std::string& name) {
    constexpr std::size_t kLongestFileName = 255;
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t end = std::min(name.find_first_of("\\/", start), name.size());
        if (end - start > kLongestFileName) return true;
        start = end + 1;
    }
    return false;
}

// Copies size bytes of the spool from offset into the archive.
bool CopyFromSpool(const SpoolFile& spool, std::uint64_t offset, std::uint64_t size, ArchiveOutput& out,
                   const std::function<void()>& tick) {
    std::vector<std::uint8_t> chunk(std::min<std::uint64_t>(size, kChunkBytes));
    while (size > 0) {
        const size_t n = static_cast<size_t>(std::min<std::uint64_t>(size, chunk.size()));
        if (!spool.ReadAt(offset, chunk.data(), n) || !out.Write(chunk.data(), n)) return false;
        offset += n;
        size -= n;
        tick();
    }
    return true;
}

void SetSizes(ZipMemberEntry& m, const CompressedMember& cm) {
    m.common.method = cm.method;              // 8 deflate, 0 stored
    m.common.crc32 = cm.crc32;                // 0 with excludeCRC32
    m.compressedSize = cm.compressedSize;     // the header fields are derived when written
    m.uncompressedSize = cm.uncompressedSize;
}

// A file from this size on gets the Zip64 field in a local header written
// before its data (the streaming pass): its compressed size could pass
// 4 GiB - 1 even where its own size does not (deflate may add a little).
constexpr std::uint64_t kZip64HeaderFrom = 0xFF000000ull;

// Writes member m's local entry at out's position: the local header, the
// data (writeData fills cm), then the header completed with the final
// method, CRC and sizes. When the sizes do not fit a header written without
// the Zip64 field (the file grew meanwhile), the entry is written again from
// its header, with the field, so that the header never lies. Returns: the
// code of writeData, kCompressSinkFailed when out failed.
template <class WriteData>
int WriteLocalEntry(ArchiveOutput& out, ZipMemberEntry& m, WriteData writeData) {
    const std::uint64_t headerAt = out.Position();
    for (;;) {
        if (!WriteLocalHeader(out, m)) return kCompressSinkFailed;
        CompressedMember cm;
        const int code = writeData(cm);
        if (code != kCompressOk && code != kCompressNoMemory) return code;
        SetSizes(m, cm);
        if (!m.localZip64 && (NeedsZip64(m.compressedSize) || NeedsZip64(m.uncompressedSize))) {
            m.localZip64 = true;
            if (!out.MoveTo(headerAt)) return kCompressSinkFailed;
            continue;
        }
        return PatchLocalHeader(out, m) ? code : kCompressSinkFailed;
    }
}

// List method: compresses the file into the spool. kCompressOk, or
// kCompressNoMemory when there is no room for its data: the member is then
// kept with StoreFromDisk and copied as it is when the archive is written.
// Any other code: the member is dropped (the spool is left as it was).
int SpoolMember(WriterState& writer, const std::string& path, const CompressRequest& request, ZipMemberEntry& m) {
    if (!writer.spool) writer.spool = std::make_unique<SpoolFile>();
    SpoolFile& spool = *writer.spool;
    const std::uint64_t start = spool.Size();
    CompressedMember cm;
    const int code = spool.Open() ? CompressFile(path, request, spool, cm) : kCompressSinkFailed;
    if (code == kCompressOk) {
        m.dataOffset = start;
        SetSizes(m, cm);
        return kCompressOk;
    }
    spool.Truncate(start);
    if (code != kCompressSinkFailed && code != kCompressNoMemory) return code;
    std::uint64_t size = 0;
    if (!platform::FileSize(path, size)) return platform::ErrorNumberFromErrno(errno);
    m.StoreFromDisk = true;
    cm = CompressedMember {};
    cm.method = kMethodStored;
    cm.compressedSize = cm.uncompressedSize = size;
    SetSizes(m, cm);
    return kCompressNoMemory;
}

// Streaming method: writes the member's local entry into the archive at
// once, completing its header after the data. kCompressOk, kCompressNoMemory
// (written stored, without compression), kCompressSinkFailed (the archive
// can no longer be written: the handle is marked failed), or the code of a
// file that could not be read (nothing of it stays in the archive). With
// compress false the file is stored at once (kCompressNoMemory on success).
int StreamEntry(StreamHandle& stream, const std::string& path, const CompressRequest& request, ZipMemberEntry& m,
                bool compress) {
    if (stream.failed) return kCompressSinkFailed;
    ArchiveOutput& out = *stream.out;
    const std::uint64_t headerAt = out.Position();
    std::uint64_t size = 0;
    m.localZip64 = platform::FileSize(path, size) && size >= kZip64HeaderFrom;
    int code = WriteLocalEntry(out, m, [&](CompressedMember& cm) {
        const std::uint64_t dataAt = out.Position();
        int c = compress ? CompressFile(path, request, out, cm) : kCompressNoMemory;
        if (c == kCompressNoMemory) {
            // Stored as the list method stores it: with its CRC, always.
            CompressRequest store = request;
            store.excludeCRC32 = false;
            c = out.MoveTo(dataAt) ? StoreFile(path, store, out, cm) : kCompressSinkFailed;
            if (c == kCompressOk) c = kCompressNoMemory;
        }
        return c;
    });
    if (code == kCompressOk || code == kCompressNoMemory) return code;
    if (code == kCompressSinkFailed) stream.failed = true;
    else out.MoveTo(headerAt);
    return code;
}

int StreamMember(StreamHandle& stream, const std::string& path, const CompressRequest& request, ZipMemberEntry& m) {
    return StreamEntry(stream, path, request, m, true);
}

// The member written stored (no memory to compress it): kCompressNoMemory
// when written, as StreamMember's codes otherwise.
int StreamStored(StreamHandle& stream, const std::string& path, const CompressRequest& request, ZipMemberEntry& m) {
    return StreamEntry(stream, path, request, m, false);
}

}  // namespace

// ---------------- adding files ----------------

void clsZip::ReportAddFailure(const std::string& path, int code) {
    switch (code) {
        case kCompressSharing: RaiseFileZipErr(path, code, ZipMessage::Sharing); break;
        case kCompressNoMemory: RaiseFileZipErr(path, code, ZipMessage::StoredUncompressed); break;
        default: RaiseFileZipErr(path, code, ZipMessage::Untested); break;
    }
}

namespace kuv::zip {

// The files of one add operation, in order, with the events met while they
// were gathered (refusals, the walk's Status texts), raised later on the
// caller's thread in the same order.
struct AddBatch {
    struct Item {
        ZipMemberEntry member;
        std::size_t eventsBefore = 0;  // the queued events that come before this file's own
    };
    std::vector<std::function<void()>> events;
    std::size_t raised = 0;

    // Raises the queued events up to (not including) number n, letting go
    // of each once raised.
    void RaiseUpTo(std::size_t n) {
        while (raised < n && raised < events.size()) {
            std::function<void()> event = std::move(events[raised++]);
            event();
        }
    }

    // The files, numbered from 0 in the order they were gathered; those
    // handled are let go (Release), so that a batch of many small files
    // does not hold every prepared entry beside the member table.
    std::size_t Count() const { return released_ + items_.size(); }
    // REQUIRES: index < Count() and not released.
    Item& At(std::size_t index) { return items_[index - released_]; }
    void Push(Item&& item) { items_.push_back(std::move(item)); }
    // Lets go of the items before number n.
    void Release(std::size_t n) {
        while (released_ < n && !items_.empty()) {
            items_.pop_front();
            ++released_;
        }
    }

private:
    std::deque<Item> items_;
    std::size_t released_ = 0;
};

}  // namespace kuv::zip

void clsZip::PrepareMember(const std::string& path, std::int16_t PathChoice, const std::string& currentFolder,
                           AddBatch& batch) {
    auto refuse = [&](auto raise) { batch.events.push_back(raise); };
    if (writer_->IsStreamFile(path)) return;  // the archive being written, met by a walk
    if (NamedPartOf(path, PathChoice, currentFolder).find('\\') != std::string::npos) {
        refuse([this, path] { RaiseFileZipErr(path, ZipMessage::BackslashInName); });
        return;
    }
    std::time_t mtime = 0;
    if (!platform::ModificationTime(path, mtime)) {
        const int number = platform::ErrorNumberFromErrno(errno);
        refuse([this, path, number] { RaiseFileZipErr(path, number, ZipMessage::Untested); });
        return;
    }
    // Every member starts from the class templates (the defaults of the records).
    ZipMemberEntry m;
    m.sourcePath = path;
    // A name from the disk that is not UTF-8 has its other bytes read as
    // Windows-1252, then follows the name rule like any other.
    m.StoredName = SourceNameToUtf8(StoredNameFor(path, PathChoice, currentFolder));
    if (HasOverlongPart(m.StoredName)) {
        // Its UTF-8 form could never be written back as a file name: said
        // now, at backup time, rather than at the restore.
        refuse([this, path] { RaiseFileZipErr(path, ZipMessage::NameTooLong); });
        return;
    }
    if (writer_->HasMemberNamed(m.StoredName)) {
        // Two sources that would make one member name: the second is left
        // out. (A name met earlier in the same batch is checked when the
        // file's turn comes, once the earlier file is known to be a member.)
        refuse([this, path] { RaiseFileZipErr(path, ZipMessage::DuplicateName); });
        return;
    }
    bool utf8 = false;
    m.OemName = EncodeMemberName(m.StoredName, utf8);
    if (utf8) {
        m.common.flags |= kFlagUtf8Name;
        m.centralStart.versionMadeBy = kVersion20UnixHost;
        m.centralTail.externalAttributes = kUnixRegularFileAttributes;
    } else {
        // Accented names written through the OEM table also carry their
        // UTF-8 form, which other tools read; ASCII names carry nothing.
        m.extraField = UnicodePathExtra(m.OemName, m.StoredName);
    }
    if (m.OemName.size() > 0xFFFF || m.extraField.size() > 0xFFFF) {
        refuse([this, path] { RaiseFileZipErr(path, kErrPathAccess, ZipMessage::Untested); });
        return;
    }
    m.common.nameLength = static_cast<std::uint16_t>(m.OemName.size());
    m.common.extraLength = static_cast<std::uint16_t>(m.extraField.size());
    const platform::LocalDateTime dt = platform::ToLocalDateTime(mtime);
    m.common.dosTime = DosTimeFromDate(dt);
    m.common.dosDate = DosDateFromDate(dt);
    AddBatch::Item item;
    item.member = std::move(m);
    item.eventsBefore = batch.events.size();
    batch.Push(std::move(item));
}

std::int32_t clsZip::AddWithoutPipeline(AddBatch& batch, std::size_t index, bool excludeCRC32,
                                        std::int32_t streamHandle) {
    batch.RaiseUpTo(batch.At(index).eventsBefore);
    ZipMemberEntry m = std::move(batch.At(index).member);
    batch.Release(index + 1);
    const std::string path = m.sourcePath;
    if (writer_->HasMemberNamed(m.StoredName)) {
        RaiseFileZipErr(path, ZipMessage::DuplicateName);
        return 0;
    }
    CompressRequest request;
    request.zlib = zlib_;
    request.level = writer_->level;
    request.excludeCRC32 = excludeCRC32;
    request.doEvents = [this] { DoEvents(); };
    int code = kCompressOk;
    if (streamHandle == 0) {
        code = SpoolMember(*writer_, path, request, m);
    } else {
        StreamHandle* stream = writer_->Stream(streamHandle);
        if (!stream) return 0;
        code = StreamMember(*stream, path, request, m);
        m.streamHandle = streamHandle;
    }
    if (code == kCompressSinkFailed) return 0;  // the archive is lost; WriteEndZip reports it
    if (code != kCompressOk && code != kCompressNoMemory) {
        ReportAddFailure(path, code);
        return 0;
    }
    writer_->AddMember(std::move(m));
    if (code == kCompressNoMemory) ReportAddFailure(path, code);  // kept, stored without compression
    return 1;
}

namespace {

// Hands the pipeline's members to the add operation's own steps.
class ConsumerFunctions : public MemberConsumer {
public:
    std::function<bool(std::size_t, const std::uint8_t*, std::size_t)> data;
    std::function<void(std::size_t, int, const CompressedMember&)> end;
    bool Data(std::size_t index, const std::uint8_t* bytes, std::size_t size) override {
        return data(index, bytes, size);
    }
    void End(std::size_t index, int code, const CompressedMember& result) override { end(index, code, result); }
};

}  // namespace

std::int32_t clsZip::AddBatchFiles(AddBatch& batch, bool excludeCRC32, std::int32_t streamHandle) {
    if (streamHandle != 0 && !writer_->Stream(streamHandle)) return 0;
    std::int32_t added = 0;
    std::size_t next = 0;  // the first item not yet handled
    // An add started from a window event while another runs (idle is set)
    // does not use the pipeline in use.
    CompressionPipeline* pipeline =
        batch.Count() == 0 || writer_->idle ? nullptr : writer_->Pipeline(zlib_, excludeCRC32);
    if (pipeline) {
        // Opened ahead of the members handed back: never a released one.
        FileListSource source(batch.Count(), [&batch](std::size_t i) { return batch.At(i).member.sourcePath; });

        // The member being received.
        std::size_t current = SIZE_MAX;
        bool duplicate = false;     // its name became a member's earlier in the batch
        bool refused = false;       // its data could not be written
        bool headerWritten = false; // streaming: its local header is in the archive
        std::uint64_t start = 0;    // its data's offset in the spool, or its header's in the archive
        StreamHandle* stream = streamHandle ? writer_->Stream(streamHandle) : nullptr;
        bool streamLost = false;

        auto begin = [&](std::size_t index) {
            if (current == index) return;
            current = index;
            duplicate = writer_->HasMemberNamed(batch.At(index).member.StoredName);
            refused = headerWritten = false;
            if (duplicate) return;
            ZipMemberEntry& m = batch.At(index).member;
            if (!stream) {
                if (!writer_->spool) writer_->spool = std::make_unique<SpoolFile>();
                refused = !writer_->spool->Open();
                start = writer_->spool->Size();
                return;
            }
            if (stream->failed) {
                refused = true;
                return;
            }
            start = stream->out->Position();
            std::uint64_t size = 0;
            m.localZip64 = platform::FileSize(m.sourcePath, size) && size >= kZip64HeaderFrom;
            headerWritten = WriteLocalHeader(*stream->out, m);
            refused = !headerWritten;
        };
        ConsumerFunctions consumer;
        consumer.data = [&](std::size_t index, const std::uint8_t* bytes, std::size_t size) {
            begin(index);
            if (duplicate || refused) return false;
            return stream ? stream->out->Write(bytes, size) : writer_->spool->Write(bytes, size);
        };
        consumer.end = [&](std::size_t index, int code, const CompressedMember& cm) {
            batch.Release(index);  // the files before it are handled
            AddBatch::Item& item = batch.At(index);
            batch.RaiseUpTo(item.eventsBefore);
            next = index + 1;
            begin(index);  // when no data came (an empty file, a failed one)
            ZipMemberEntry& m = item.member;
            const std::string path = m.sourcePath;
            if (duplicate) {
                // Nothing of it was written.
                RaiseFileZipErr(path, ZipMessage::DuplicateName);
                DoEvents();
                return;
            }
            if (!stream) {
                if (code == kCompressOk && !refused) {
                    m.dataOffset = start;
                    SetSizes(m, cm);
                    writer_->AddMember(std::move(m));
                    ++added;
                    DoEvents();
                    return;
                }
                writer_->spool->Truncate(start);
                if (code == kCompressOk || code == kCompressSinkFailed || code == kCompressNoMemory) {
                    // No room for its data: kept, copied from disk as it is
                    // when the archive is written.
                    std::uint64_t size = 0;
                    if (!platform::FileSize(path, size)) {
                        ReportAddFailure(path, platform::ErrorNumberFromErrno(errno));
                    } else {
                        m.StoreFromDisk = true;
                        CompressedMember stored;
                        stored.method = kMethodStored;
                        stored.compressedSize = stored.uncompressedSize = size;
                        SetSizes(m, stored);
                        writer_->AddMember(std::move(m));
                        ++added;
                        ReportAddFailure(path, kCompressNoMemory);
                    }
                } else {
                    ReportAddFailure(path, code);
                }
                DoEvents();
                return;
            }
            ArchiveOutput& out = *stream->out;
            int result = refused ? kCompressSinkFailed : code;
            if (result == kCompressOk) {
                SetSizes(m, cm);
                if (!m.localZip64 && (NeedsZip64(m.compressedSize) || NeedsZip64(m.uncompressedSize))) {
                    // The file grew past what a header without the Zip64 field
                    // holds while it was read: written again, with the field.
                    CompressRequest request;
                    request.zlib = zlib_;
                    request.level = writer_->level;
                    request.excludeCRC32 = excludeCRC32;
                    request.doEvents = [this] { DoEvents(); };
                    result = out.MoveTo(start) ? StreamMember(*stream, path, request, m) : kCompressSinkFailed;
                } else if (!PatchLocalHeader(out, m)) {
                    result = kCompressSinkFailed;
                }
            } else if (result == kCompressNoMemory) {
                // Stored as the list method stores it: with its CRC, always.
                CompressRequest store;
                store.zlib = zlib_;
                store.doEvents = [this] { DoEvents(); };
                result = out.MoveTo(start) ? StreamStored(*stream, path, store, m) : kCompressSinkFailed;
            }
            if (result == kCompressSinkFailed) {
                // The archive is lost (WriteEndZip reports it): nothing more is read.
                stream->failed = true;
                streamLost = true;
                pipeline->Stop();
                return;
            }
            if (result != kCompressOk && result != kCompressNoMemory) {
                out.MoveTo(start);  // nothing of it stays in the archive
                ReportAddFailure(path, result);
            } else {
                m.streamHandle = streamHandle;
                writer_->AddMember(std::move(m));
                ++added;
                if (result == kCompressNoMemory) ReportAddFailure(path, result);  // kept, stored without compression
            }
            DoEvents();
        };
        writer_->idle = [this] { DoEvents(); };
        const bool ran = pipeline->Run(batch.Count(), source, consumer);
        writer_->idle = nullptr;
        if (streamLost) {
            next = batch.Count();  // the members left are not written, as in a lost archive
        } else if (!ran && current == next && next < batch.Count()) {
            // The member cut off by the lack of memory: its part goes.
            if (stream) stream->out->MoveTo(start);
            else if (writer_->spool) writer_->spool->Truncate(start);
        }
    }
    // Members the pipeline did not hand over (no memory for it): the same
    // steps, one file after the other.
    for (; next < batch.Count(); ++next) added += AddWithoutPipeline(batch, next, excludeCRC32, streamHandle);
    batch.RaiseUpTo(batch.events.size());
    return added;
}

std::int32_t clsZip::AddFiles(const std::string& FilePath, std::int16_t PathChoice, bool RecurseDirectories,
                              bool excludeCRC32, std::int32_t streamHandle) {
    if (!zlib_) {
        RaiseZipError(ZipMessage::ZlibMissing);
        return 0;
    }
    const AddTarget target = ResolveAddTarget(FilePath);
    const std::string currentFolder = platform::CurrentFolder();
    AddBatch batch;
    if (!target.isSet) {
        if (!platform::PathExists(target.path)) {
            RaiseFileZipErr(target.path, ZipMessage::FileMissingZip);
            return 0;
        }
        if (!platform::IsRegularFile(target.path)) {
            // A folder, a device or a dangling link is not a file to back up.
            RaiseFileZipErr(target.path, kErrPathAccess, ZipMessage::Untested);
            return 0;
        }
        PrepareMember(target.path, PathChoice, currentFolder, batch);
        return AddBatchFiles(batch, excludeCRC32, streamHandle);
    }
    // The walk gathers the files and its Status texts in order; they are
    // compressed and reported afterwards, file by file.
    WalkCallbacks callbacks;
    callbacks.addOne = [&](const std::string& path) {
        PrepareMember(path, PathChoice, currentFolder, batch);
        return 0;
    };
    callbacks.status = [&](const std::string& text) { batch.events.push_back([this, text] { RaiseStatus(text); }); };
    callbacks.doEvents = [this] { DoEvents(); };
    AddDirectoryFiles(target.folder, target.filter, RecurseDirectories, callbacks);
    return AddBatchFiles(batch, excludeCRC32, streamHandle);
}

std::int32_t clsZip::FileAdd(const std::string& FilePath, std::int16_t PathChoice, bool RecurseDirectories,
                             bool excludeCRC32) {
    return AddFiles(FilePath, PathChoice, RecurseDirectories, excludeCRC32, 0);
}

// ---------------- the member list ----------------

bool clsZip::FileDel(std::int32_t index) {
    auto& list = writer_->MemberList;
    if (index < 1 || static_cast<size_t>(index) > list.size()) return false;
    list.erase(list.begin() + (index - 1));
    writer_->MembersRemoved();
    if (list.empty() && writer_->streams.empty() && writer_->spool) writer_->spool->Reset();
    return true;
}

std::int32_t clsZip::FileCount() const { return static_cast<std::int32_t>(writer_->MemberList.size()); }

namespace {

const ZipMemberEntry* MemberAt(const MemberTable& list, std::int32_t index, const char* what) {
    if (index <= 0) throw std::out_of_range(what);
    if (static_cast<size_t>(index) > list.size()) return nullptr;
    return &list[static_cast<size_t>(index) - 1];
}

}  // namespace

std::string clsZip::FileName(std::int32_t index) const {
    const ZipMemberEntry* m = MemberAt(writer_->MemberList, index, "clsZip::FileName: index below 1");
    return m ? m->StoredName : std::string();
}

std::int64_t clsZip::SizeCompressed(std::int32_t index) const {
    const ZipMemberEntry* m = MemberAt(writer_->MemberList, index, "clsZip::SizeCompressed: index below 1");
    return m ? static_cast<std::int64_t>(m->compressedSize) : 0;
}

std::int64_t clsZip::SizeUncompressed(std::int32_t index) const {
    const ZipMemberEntry* m = MemberAt(writer_->MemberList, index, "clsZip::SizeUncompressed: index below 1");
    return m ? static_cast<std::int64_t>(m->uncompressedSize) : 0;
}

std::string clsZip::Comment() const { return writer_->comment; }

void clsZip::SetComment(const std::string& text) { writer_->comment = text; }

// ---------------- writing archives ----------------

bool clsZip::WritePendingMember(ArchiveOutput& out, ZipMemberEntry& m, bool& written,
                                const std::function<void()>& tick) {
    written = false;
    const std::uint64_t headerAt = out.Position();
    m.localZip64 = NeedsZip64(m.compressedSize) || NeedsZip64(m.uncompressedSize);
    if (!m.StoreFromDisk) {
        if (!WriteLocalHeader(out, m)) return false;
        if (m.compressedSize > 0 &&
            (!writer_->spool || !CopyFromSpool(*writer_->spool, m.dataOffset, m.compressedSize, out, tick)))
            return false;
        written = true;
        return true;
    }
    // Copied from disk as it is now (method 0), the header completed after
    // the data; the copy always computes the CRC.
    CompressRequest request;
    request.zlib = zlib_;
    request.doEvents = tick;
    const int code = WriteLocalEntry(out, m, [&](CompressedMember& cm) { return StoreFile(m.sourcePath, request, out, cm); });
    if (code == kCompressSinkFailed) return false;
    if (code != kCompressOk) {
        // The source is gone or unreadable: the member is left out of the
        // archive rather than written with data it does not have.
        if (code == kCompressSharing || code == platform::kErrorFileNotFound)
            RaiseZipError(ZipMessage::SourceGone, m.sourcePath);
        else
            RaiseZipError(ZipMessage::SourceUnknownError, m.sourcePath);
        return out.MoveTo(headerAt);
    }
    written = true;
    return true;
}

namespace {

std::string CommentBytes(const std::string& comment) {
    std::string bytes = EncodeComment(comment);
    if (bytes.size() > 0xFFFF) bytes.resize(0xFFFF);  // the length field is 16-bit
    return bytes;
}

}  // namespace

std::uint64_t clsZip::PlannedArchiveBytes() {
    return PlannedArchiveSize(writer_->MemberList, CommentBytes(writer_->comment));
}

bool clsZip::WriteZip(const std::string& FilePath, bool OverWrite) {
    const std::string target = ArchiveTargetPath(FilePath);
    if (platform::PathExists(target) && !OverWrite) {
        RaiseFileZipErr(FilePath, ZipMessage::ArchiveExists);
        writer_->ClearMembers();
        return false;
    }
    auto& list = writer_->MemberList;
    const std::string commentBytes = CommentBytes(writer_->comment);
    // An archive past the medium's limit cannot be written: fail before
    // anything is created.
    const ArchiveLimit limit = LimitFor(target);
    if (PlannedArchiveSize(list, commentBytes) > limit.bytes) {
        RaiseWriteFailed(limit.medium);
        return false;
    }
    std::string tempPath;
    const int fd = OpenTempArchive(target, tempPath);
    if (fd < 0) {
        RaiseWriteFailed();
        return false;
    }
    bool ok = true;
    bool pastLimit = false;
    {
        // Window events run about every 25 ms while the archive is written.
        EventPacer pacer([this] { DoEvents(); });
        const std::function<void()> tick = [&pacer] { pacer.Tick(); };
        ArchiveOutput out(fd, 0, limit.bytes, true);
        std::vector<bool> written(list.size(), false);
        for (size_t i = 0; ok && i < list.size(); ++i) {
            bool w = false;
            ok = WritePendingMember(out, list[i], w, tick);
            tick();
            written[i] = w;
        }
        const std::uint64_t directoryAt = out.Position();
        std::uint64_t count = 0;
        for (size_t i = 0; ok && i < list.size(); ++i) {
            if (!written[i]) continue;
            ok = WriteCentralEntry(out, list[i]);
            ++count;
            tick();
        }
        ok = ok && WriteEndRecord(out, count, out.Position() - directoryAt, directoryAt, commentBytes);
        ok = ok && out.Finish([this] { DoEvents(); });
        pastLimit = out.Failed() && out.Error() == EFBIG;
    }
    ok = ok && CommitTempArchive(tempPath, target, OverWrite);
    if (!ok) {
        platform::RemoveFile(tempPath);
        RaiseWriteFailed(pastLimit && limit.medium);
        return false;
    }
    writer_->ClearMembers();
    return true;
}

std::int32_t clsZip::CreateZip(const std::string& FilePath, bool OverWrite) {
    const std::string target = ArchiveTargetPath(FilePath);
    if (platform::PathExists(target) && !OverWrite) {
        RaiseFileZipErr(FilePath, ZipMessage::ArchiveExists);
        return 0;
    }
    auto handle = std::make_unique<StreamHandle>();
    const int fd = OpenTempArchive(target, handle->tempPath);
    if (fd < 0) {
        RaiseWriteFailed();
        return 0;
    }
    const ArchiveLimit limit = LimitFor(target);
    handle->owned = std::make_unique<ArchiveOutput>(fd, 0, limit.bytes, true);
    handle->mediumLimited = limit.medium;
    handle->out = handle->owned.get();
    handle->ownsFile = true;
    handle->targetPath = target;
    handle->overWrite = OverWrite;
    writer_->ClearMembers();
    const std::int32_t number = writer_->nextHandle++;
    writer_->streams[number] = std::move(handle);
    return number;
}

std::int32_t clsZip::ybFileAdd(const std::string& FilePath, std::int16_t PathChoice, std::int32_t& lgNoFileZip,
                               bool RecurseDirectories, bool excludeCRC32) {
    StreamHandle* stream = writer_->Stream(lgNoFileZip);
    if (!stream) return 0;
    const std::int32_t added = AddFiles(FilePath, PathChoice, RecurseDirectories, excludeCRC32, lgNoFileZip);
    if (!stream->out->Flush()) stream->failed = true;
    return added;
}

bool clsZip::WriteEndZip(std::int32_t& lgNoFileZip) {
    const std::int32_t handle = lgNoFileZip;
    StreamHandle* stream = writer_->Stream(handle);
    if (!stream) return false;
    auto& list = writer_->MemberList;
    bool ok = !stream->failed && !stream->out->Failed();
    bool pastLimit = false;
    if (stream->ownsFile) {
        ArchiveOutput& out = *stream->out;
        EventPacer pacer([this] { DoEvents(); });
        const std::function<void()> tick = [&pacer] { pacer.Tick(); };
        // Members added with FileAdd during the pass wait in the list: their
        // local entries go in first.
        for (ZipMemberEntry& m : list) {
            if (!ok) break;
            if (m.streamHandle != 0) continue;
            bool written = false;
            ok = WritePendingMember(out, m, written, tick);
            tick();
            m.streamHandle = written ? handle : -1;
        }
        const std::uint64_t directoryAt = out.Position();
        std::uint64_t count = 0;
        for (const ZipMemberEntry& m : list) {
            if (!ok) break;
            if (m.streamHandle != handle) continue;
            ok = WriteCentralEntry(out, m);
            ++count;
        }
        ok = ok && WriteEndRecord(out, count, out.Position() - directoryAt, directoryAt,
                                  CommentBytes(writer_->comment));
        ok = ok && out.Finish([this] { DoEvents(); });
        pastLimit = out.Failed() && out.Error() == EFBIG && stream->mediumLimited;
        stream->out = nullptr;
        stream->owned.reset();  // closes the file
        ok = ok && CommitTempArchive(stream->tempPath, stream->targetPath, stream->overWrite);
        if (ok) stream->tempPath.clear();
    } else {
        ok = false;  // a handle on another operation's file has no end of its own
    }
    list.erase(std::remove_if(list.begin(), list.end(),
                              [handle](const ZipMemberEntry& m) {
                                  return m.streamHandle == handle || m.streamHandle == -1;
                              }),
               list.end());
    writer_->MembersRemoved();
    if (list.empty() && writer_->spool) writer_->spool->Reset();
    writer_->DiscardStream(handle);  // removes the temporary file when it is still there
    lgNoFileZip = 0;
    if (!ok) RaiseWriteFailed(pastLimit);
    return ok;
}

// ---------------- compression ----------------

std::int32_t clsZip::LevelCompression() const { return writer_->level; }

void clsZip::SetLevelCompression(std::int32_t lgLevel) { writer_->level = lgLevel; }

std::string clsZip::ZLibVersion() {
    if (!zlib_ || !zlib_->zlibVersion) {
        RaiseZipError(ZipMessage::ZlibMissing);
        return {};
    }
    return zlib_->zlibVersion();
}

std::vector<std::uint8_t> clsZip::CompressDeflate(const std::vector<std::uint8_t>& wStream,
                                                  std::int32_t lgSizeSource, bool Block,
                                                  std::int32_t& codeError) {
    codeError = 0;
    if (lgSizeSource == 0) return wStream;
    if (lgSizeSource < 0 || static_cast<size_t>(lgSizeSource) > wStream.size() || !zlib_) {
        codeError = kCompressZlibFailed;
        return {};
    }
    return DeflateBuffer(*zlib_, writer_->level, wStream.data(), static_cast<size_t>(lgSizeSource), Block,
                         codeError);
}
