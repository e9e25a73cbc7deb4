// Changing an existing archive without rebuilding it from its sources:
// FileRemoveFromZip takes one member out, FileAddIntoZip appends files.
//
// Both build the whole result in a work file beside the archive
// (".NAME.XXXXXX", a name no user file has), writing it front to back
// through one output cursor: the bytes before the first member (a stub,
// kept in front, the offsets then counting them), the members kept, each copied as its checked
// span (local header, data, data descriptor), then the new members, the
// directory and the end record. The work file is flushed, its directory read
// back, and only then renamed over the archive: a failure or an interruption
// at any point leaves the archive byte for byte as it was. A failure of the
// medium or a limit of the format raises ZipError 16 naming the cause.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/Files.h"
#include "platform/Text.h"
#include "platform/UniqueFd.h"
#include "zip/ArchiveWriter.h"
#include "zip/CentralDirectory.h"
#include "zip/EndRecordScan.h"
#include "zip/FolderWalk.h"
#include "zip/ReaderIo.h"
#include "zip/ReaderState.h"
#include "zip/WriterState.h"
#include "zip/ZipNames.h"
#include "zip/clsZip.h"

using namespace kuv::zip;
using kuv::platform::UniqueFd;

namespace {

constexpr std::size_t kCopyChunk = 256 * 1024;

// Copies [from, from + length) of src through out.
bool CopyRange(int src, std::uint64_t from, std::uint64_t length, ArchiveOutput& out,
               std::vector<std::uint8_t>& buffer) {
    while (length > 0) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(length, buffer.size()));
        if (!ReadExact(src, from, buffer.data(), n)) {
            errno = EIO;
            return false;
        }
        if (!out.Write(buffer.data(), n)) return false;
        from += n;
        length -= n;
    }
    return true;
}

// The archive as read for an update: its end record, comment bytes and directory.
struct OpenedArchive {
    UniqueFd fd;
    std::uint64_t size = 0;
    std::uint64_t endOffset = 0;
    ZipEndRecord end;
    std::string commentBytes;
    std::vector<CentralEntry> entries;
    DirectoryBounds bounds;
    bool Open(const std::string& path, std::int64_t position) {
        fd = UniqueFd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        std::uint8_t raw[ZipEndRecord::kSize];
        if (!fd || !DescriptorSize(fd.get(), size) || position < 1) return false;
        endOffset = static_cast<std::uint64_t>(position - 1);
        if (!ReadExact(fd.get(), endOffset, raw, sizeof raw)) return false;
        end = ZipEndRecord::Decode(raw);
        return ReadString(fd.get(), endOffset + ZipEndRecord::kSize, end.commentLength, commentBytes) &&
               ReadCentralDirectory(fd.get(), size, end, endOffset, entries, nullptr, &bounds) ==
                   DirectoryCheck::Consistent;
    }
};

// The cause of a failed update, in the user's words.
std::string ReasonOf(int error) {
    switch (error) {
        case ENOSPC: return "le support est plein";
        case EDQUOT: return "le quota du disque est atteint";
        case EROFS: return "le support est en lecture seule";
        case EACCES:
        case EPERM: return "accès refusé";
        case EIO: return "erreur de lecture ou d'écriture sur le support";
        case EFBIG: return "l'archive dépasserait la taille maximale d'un fichier sur ce support";
        default: return std::strerror(error);
    }
}

const char* const kNotReadBack = "l'archive écrite ne se relit pas correctement";

// The work file: created with a fresh name beside the archive, with the
// archive's permissions given at creation; removed again unless committed.
struct WorkFile {
    std::string path;
    UniqueFd fd;
    int error = 0;  // errno of a failed creation
    WorkFile(const std::string& target, int archiveFd) {
        struct stat st {};
        const unsigned mode = fstat(archiveFd, &st) == 0 ? (st.st_mode & 07777) : 0644;
        fd = UniqueFd(CreateWorkFile(target, mode, path));
        if (!fd) error = errno;
        else fchmod(fd.get(), mode);  // exactly the archive's, whatever the umask
    }
    ~WorkFile() {
        fd.Reset();
        if (!path.empty()) unlink(path.c_str());
    }
    // Cuts the file at length, flushes it, checks that a reader's search
    // finds the end record written (the kept comment could hide another),
    // and renames it over target. False with the reason.
    bool Commit(ArchiveOutput& out, std::uint64_t endOffset, const std::string& target, std::string& reason) {
        if (!out.Finish()) {
            reason = ReasonOf(out.Error());
            return false;
        }
        if (!ReaderFindsEndRecordAt(fd.get(), out.Position(), endOffset)) {
            reason = kNotReadBack;
            return false;
        }
        if (!fd.Close() || !kuv::platform::RenameReplace(path, target)) {
            reason = ReasonOf(errno);
            return false;
        }
        path.clear();
        const std::string folder = kuv::platform::FolderOf(target);
        if (!SyncFolder(folder)) {
            reason = ReasonOf(errno);
            return false;
        }
        RemoveLeftoverWorkFiles(folder.empty() ? "/" : folder);
        return true;
    }
};

// Central entry e as read (raw: its header, name, extra field and comment)
// made to point at the member's new place: the local header offset, in the
// Zip64 field when it does not fit; sizes that stood in a Zip64 field stay
// there. An entry that needs no Zip64 field keeps every other byte.
// Returns: false when the extra field would pass its 16-bit length.
bool MovedCentralEntry(const CentralEntry& e, std::uint64_t offset, std::string& raw) {
    ZipCentralStart start = e.start;
    ZipHeaderCommon common = e.common;
    ZipCentralTail tail = e.tail;
    Zip64Values v;
    v.hasUncompressed = common.uncompressedSize == kZip64Marker;
    v.hasCompressed = common.compressedSize == kZip64Marker;
    v.hasOffset = NeedsZip64(offset);
    v.uncompressedSize = e.uncompressedSize;
    v.compressedSize = e.compressedSize;
    v.localHeaderOffset = offset;
    if (tail.diskNumberStart == kZip64CountMarker) tail.diskNumberStart = 0;  // its Zip64 value is 0
    std::string extra = WithoutZip64Extra(e.extra);
    if (v.hasUncompressed || v.hasCompressed || v.hasOffset) {
        extra = EncodeZip64Extra(v) + extra;
        start.versionNeeded = std::max(start.versionNeeded, kVersion45);
    }
    if (extra.size() > 0xFFFF) return false;
    tail.LocalHeaderOffset = v.hasOffset ? kZip64Marker : static_cast<std::uint32_t>(offset);
    common.extraLength = static_cast<std::uint16_t>(extra.size());
    std::string out(kCentralHeaderSize, '\0');
    auto* p = reinterpret_cast<std::uint8_t*>(out.data());
    start.Encode(p);                                                      // signature, made by, needed
    common.Encode(p + ZipCentralStart::kSize);                            // the 24 shared bytes
    tail.Encode(p + ZipCentralStart::kSize + ZipHeaderCommon::kSize);     // comment length .. offset
    out += e.storedName;
    out += extra;
    out.append(raw, raw.size() - e.tail.commentLength, std::string::npos);  // the file comment
    raw = std::move(out);
    return true;
}

// Writes through out every member of a except the one at skip (npos: none),
// each as its checked span, in file order, and returns the kept central
// entries with their local header offsets moved to where the members now lie.
bool CopyMembersWithout(const OpenedArchive& a, std::size_t skip, ArchiveOutput& out, std::string& directory,
                        std::vector<std::uint8_t>& buffer) {
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < a.entries.size(); ++i)
        if (i != skip) order.push_back(i);
    std::sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
        return a.entries[x].localHeaderOffset < a.entries[y].localHeaderOffset;
    });
    // The bytes before the first member (a self-extracting stub, bytes
    // prepended to the archive, whether its offsets counted them or not)
    // stay in front; the offsets written count them, so the updated archive
    // needs no shifting to be read.
    std::uint64_t first = a.bounds.start;
    for (const CentralEntry& e : a.entries) first = std::min(first, e.localHeaderOffset);
    if (!CopyRange(a.fd.get(), 0, first, out, buffer)) return false;
    std::vector<std::uint64_t> moved(a.entries.size(), 0);
    for (std::size_t i : order) {
        const CentralEntry& e = a.entries[i];
        moved[i] = out.Position();
        if (!CopyRange(a.fd.get(), e.localHeaderOffset, e.spanEnd - e.localHeaderOffset, out, buffer)) return false;
    }
    directory.clear();
    for (std::size_t i = 0; i < a.entries.size(); ++i) {
        if (i == skip) continue;
        const CentralEntry& e = a.entries[i];
        std::string raw;
        if (!ReadString(a.fd.get(), e.entryOffset, static_cast<std::size_t>(e.entrySize), raw)) {
            errno = EIO;
            return false;
        }
        if (!MovedCentralEntry(e, moved[i], raw)) {
            errno = EFBIG;
            return false;
        }
        directory += raw;
    }
    return true;
}

// End record (with its Zip64 records when needed) and the archive's comment
// through out; endOffset: where the end record itself starts.
bool WriteEnd(ArchiveOutput& out, const OpenedArchive& a, std::uint64_t count, std::uint64_t directorySize,
              std::uint64_t directoryStart, std::uint64_t& endOffset) {
    endOffset = out.Position() + EndRecordSize(count, directorySize, directoryStart, a.commentBytes.size()) -
                ZipEndRecord::kSize - a.commentBytes.size();
    return WriteEndRecord(out, count, directorySize, directoryStart, a.commentBytes);
}

// The work of one update: the work file, the one cursor that writes it, and
// the kept members' central entries.
struct UpdateWork {
    WorkFile work;
    ArchiveOutput out;
    std::vector<std::uint8_t> buffer;
    std::string directory;
    ArchiveLimit limit;
    UpdateWork(const std::string& archive, const OpenedArchive& a, ArchiveLimit archiveLimit)
        : work(archive, a.fd.get()), out(work.fd.get(), 0, archiveLimit.bytes, false), buffer(kCopyChunk),
          limit(archiveLimit) {}
    // The output passed the FAT medium's largest file.
    bool PastMediumLimit() const { return limit.medium && out.Failed() && out.Error() == EFBIG; }
    // Copies every member of a but skip; false with the reason.
    bool Begin(const OpenedArchive& a, std::size_t skip, std::string& reason) {
        if (!work.fd) {
            reason = ReasonOf(work.error);
            return false;
        }
        if (CopyMembersWithout(a, skip, out, directory, buffer)) return true;
        reason = ReasonOf(out.Failed() ? out.Error() : errno);
        return false;
    }
};

// The first member named name (without regard to case, "/" read as "\"),
// or the entry count when there is none.
std::size_t FindByName(const OpenedArchive& a, std::string name) {
    std::replace(name.begin(), name.end(), '/', '\\');
    for (std::size_t i = 0; i < a.entries.size(); ++i)
        if (kuv::platform::EqualsNoCase(a.entries[i].name, name)) return i;
    return a.entries.size();
}

}  // namespace

// The steps both updates begin with; the end record's position, 0 on failure.
std::int64_t clsZip::UpdateStart(const std::string& zipPath) {
    writer_->ClearMembers();
    // The archive open for reading may be this one: its directory is read
    // again before the next extraction, whatever its times say.
    reader_->directoryStamp = {};
    // Not waiting on a FIFO: anything but a regular file is refused below.
    if (!UniqueFd(open(zipPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK))) {
        RaiseFileZipErr(zipPath, ZipMessage::FileMissing);
        return 0;
    }
    const std::int64_t position = FindEndRecord(zipPath);
    if (position <= 0) {
        RaiseFileZipErr(zipPath, ZipMessage::NotAnArchiveOrSv);
        return 0;
    }
    if (reader_->searchSpanned) {
        RaiseZipError(ZipMessage::UnsupportedFeature, zipPath);
        return 0;
    }
    return position;
}

bool clsZip::FileRemoveFromZip(const std::string& strZipPath, const std::string& strFilePath) {
    const std::int64_t position = UpdateStart(strZipPath);
    if (position <= 0) return false;
    RaiseStatus("Suppression élément interne à fichier comprimé démarrée.");
    OpenedArchive a;
    if (!a.Open(strZipPath, position)) return false;
    const std::size_t index = FindByName(a, strFilePath);
    if (index == a.entries.size()) return false;

    // Through a link, the file it leads to is rebuilt, beside it (the link stays).
    const std::string archive = ArchiveTargetPath(strZipPath);
    UpdateWork w(archive, a, LimitFor(archive));
    std::string reason;
    if (!w.Begin(a, index, reason)) {
        RaiseZipError(ZipMessage::UpdateImpossible, reason);
        if (w.PastMediumLimit()) RaiseWriteFailed(true);
        return false;
    }
    const std::uint64_t directoryStart = w.out.Position();
    std::uint64_t endOffset = 0;
    if (!w.out.Write(w.directory) ||
        !WriteEnd(w.out, a, a.entries.size() - 1, w.directory.size(), directoryStart, endOffset)) {
        RaiseZipError(ZipMessage::UpdateImpossible, ReasonOf(w.out.Failed() ? w.out.Error() : errno));
        if (w.PastMediumLimit()) RaiseWriteFailed(true);
        return false;
    }
    ZipClose();
    if (!w.work.Commit(w.out, endOffset, archive, reason)) {
        RaiseZipError(ZipMessage::UpdateImpossible, reason);
        return false;
    }
    RaiseStatus("Suppression élément interne à fichier comprimé terminée.");
    return true;
}

bool clsZip::FileAddIntoZip(const std::string& strZipPath, const std::string& strFilePath, std::int32_t& PathChoice,
                            bool excludeCRC32, bool OverWrite) {
    const std::int64_t position = UpdateStart(strZipPath);
    if (position <= 0) return false;
    OpenedArchive a;
    if (!a.Open(strZipPath, position)) return false;

    // The name the new member will bear (as the add below derives it from the
    // full path), compared with the names present.
    const std::size_t replaced = FindByName(
        a, SourceNameToUtf8(StoredNameFor(kuv::platform::FullPath(strFilePath),
                                          static_cast<std::int16_t>(PathChoice), kuv::platform::CurrentFolder())));
    if (replaced < a.entries.size() && !OverWrite) return false;

    // The member being replaced is left out; the new ones follow the others.
    const std::string archive = ArchiveTargetPath(strZipPath);
    UpdateWork w(archive, a, LimitFor(archive));
    std::string reason;
    if (!w.Begin(a, replaced, reason)) {
        RaiseZipError(ZipMessage::UpdateImpossible, reason);
        if (w.PastMediumLimit()) RaiseWriteFailed(true);
        return false;
    }
    ArchiveOutput& out = w.out;
    const std::string& directory = w.directory;

    const std::int32_t handle = writer_->OpenStreamOnOutput(out);
    std::int32_t streamHandle = handle;
    const std::int32_t added =
        ybFileAdd(strFilePath, static_cast<std::int16_t>(PathChoice), streamHandle, false, excludeCRC32);
    const bool streamFailed = writer_->StreamFailed(handle);
    const std::uint64_t kept = a.entries.size() - (replaced < a.entries.size() ? 1 : 0);
    std::uint64_t newStart = 0, newBytes = 0, endOffset = 0;
    std::int32_t newCount = 0;
    bool ok = added > 0 && !streamFailed;
    if (ok) {
        newStart = out.Position();
        ok = out.Write(directory) && writer_->WriteStreamCentral(handle, out.Position(), newBytes, newCount);
    }
    writer_->ReleaseStream(handle);
    writer_->ClearMembers();
    const std::uint64_t directorySize = directory.size() + newBytes;
    ok = ok && WriteEnd(out, a, kept + static_cast<std::uint64_t>(newCount), directorySize, newStart, endOffset);
    if (!ok) {
        // A file that could not be added was reported by the add itself;
        // the medium's failures and limits are reported here.
        if (reason.empty() && (streamFailed || out.Failed())) reason = ReasonOf(out.Error());
        if (reason.empty() && added > 0) reason = ReasonOf(errno);
        if (!reason.empty()) RaiseZipError(ZipMessage::UpdateImpossible, reason);
        if (w.PastMediumLimit()) RaiseWriteFailed(true);
        return false;
    }
    ZipClose();
    if (!w.work.Commit(out, endOffset, archive, reason)) {
        RaiseZipError(ZipMessage::UpdateImpossible, reason);
        return false;
    }
    return true;
}
