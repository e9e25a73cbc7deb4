// Changing an existing archive without rebuilding it from its sources:
// FileRemoveFromZip takes one member out, FileAddIntoZip appends files.
//
// Both build the whole result in the work file (the archive's name with "~"
// appended), flush it, check that its directory reads back consistent, and
// only then rename it over the archive: a failure or an interruption at any
// point leaves the archive byte for byte as it was.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "platform/Files.h"
#include "platform/Text.h"
#include "zip/ArchiveWriter.h"
#include "zip/CentralDirectory.h"
#include "zip/EndRecordScan.h"
#include "zip/FolderWalk.h"
#include "zip/ReaderIo.h"
#include "zip/ReaderState.h"
#include "zip/WriterState.h"
#include "zip/clsZip.h"

using namespace kuv::zip;

namespace {

constexpr std::size_t kCopyChunk = 256 * 1024;

// Copies [from, from + length) of src to dst at dst's own file offset.
bool CopyRange(int src, std::uint64_t from, std::uint64_t length, int dst, std::vector<std::uint8_t>& buffer) {
    while (length > 0) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(length, buffer.size()));
        if (!ReadExact(src, from, buffer.data(), n) || !WriteAll(dst, buffer.data(), n)) return false;
        from += n;
        length -= n;
    }
    return true;
}

// The archive as read for an update: its end record, comment bytes and directory.
struct OpenedArchive {
    int fd = -1;
    std::uint64_t size = 0;
    std::uint64_t endOffset = 0;
    ZipEndRecord end;
    std::string commentBytes;
    std::vector<CentralEntry> entries;
    ~OpenedArchive() {
        if (fd >= 0) close(fd);
    }
    bool Open(const std::string& path, std::int64_t position) {
        fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        std::uint8_t raw[ZipEndRecord::kSize];
        if (fd < 0 || !DescriptorSize(fd, size) || position < 1) return false;
        endOffset = static_cast<std::uint64_t>(position - 1);
        if (!ReadExact(fd, endOffset, raw, sizeof raw)) return false;
        end = ZipEndRecord::Decode(raw);
        return ReadString(fd, endOffset + ZipEndRecord::kSize, end.commentLength, commentBytes) &&
               ReadCentralDirectory(fd, size, end, endOffset, entries) == DirectoryCheck::Consistent;
    }
};

// The work file: created (an old one left by an interrupted run is
// replaced), removed again unless committed.
struct WorkFile {
    std::string path;
    int fd = -1;
    // The work file takes the archive's permissions, which it will replace.
    WorkFile(std::string p, int archiveFd) : path(std::move(p)) {
        fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
        struct stat st {};
        if (fd >= 0 && fstat(archiveFd, &st) == 0) fchmod(fd, st.st_mode & 07777);
    }
    ~WorkFile() {
        if (fd >= 0) close(fd);
        if (!path.empty()) unlink(path.c_str());
    }
    // Cuts the file at length, flushes it, checks it reads back as an
    // archive, and renames it over target.
    bool Commit(std::uint64_t length, std::uint64_t endOffset, const std::string& target) {
        if (ftruncate(fd, static_cast<off_t>(length)) != 0 || fsync(fd) != 0) return false;
        if (!EndRecordIsConsistent(fd, length, endOffset)) return false;
        if (close(fd) != 0) {
            fd = -1;
            return false;
        }
        fd = -1;
        if (!kuv::platform::RenameReplace(path, target)) return false;
        path.clear();
        const std::string folder = kuv::platform::FolderOf(kuv::platform::FullPath(target));
        kuv::platform::SyncPath(folder.empty() ? "/" : folder);
        return true;
    }
};

// Writes into work every member of a except the one at skip (npos: none),
// and returns the kept central entries with their local header offsets moved
// to where the members now lie.
bool CopyMembersWithout(const OpenedArchive& a, std::size_t skip, WorkFile& work, std::string& directory,
                        std::uint64_t& directoryStart, std::vector<std::uint8_t>& buffer) {
    const std::uint64_t cdStart = a.end.centralDirectoryOffset;
    std::uint64_t removedStart = cdStart, removedEnd = cdStart;
    if (skip < a.entries.size()) {
        // The member's bytes run from its local header to the next member's
        // (or the directory): its data descriptor, if any, goes with it.
        removedStart = a.entries[skip].tail.LocalHeaderOffset;
        removedEnd = cdStart;
        for (const CentralEntry& e : a.entries)
            if (e.tail.LocalHeaderOffset > removedStart && e.tail.LocalHeaderOffset < removedEnd)
                removedEnd = e.tail.LocalHeaderOffset;
    }
    const std::uint64_t removed = removedEnd - removedStart;
    if (lseek(work.fd, 0, SEEK_SET) != 0 || !CopyRange(a.fd, 0, removedStart, work.fd, buffer) ||
        !CopyRange(a.fd, removedEnd, cdStart - removedEnd, work.fd, buffer))
        return false;
    directoryStart = cdStart - removed;
    directory.clear();
    for (std::size_t i = 0; i < a.entries.size(); ++i) {
        if (i == skip) continue;
        const CentralEntry& e = a.entries[i];
        std::string raw;
        if (!ReadString(a.fd, e.entryOffset, static_cast<std::size_t>(e.entrySize), raw)) return false;
        ZipCentralTail tail = e.tail;
        if (tail.LocalHeaderOffset > removedStart) tail.LocalHeaderOffset -= static_cast<std::uint32_t>(removed);
        tail.Encode(reinterpret_cast<std::uint8_t*>(raw.data()) + ZipCentralStart::kSize + ZipHeaderCommon::kSize);
        directory += raw;
    }
    return true;
}

// End record (both counts = count) and the archive's comment at the work
// file's current offset.
bool WriteEnd(WorkFile& work, const OpenedArchive& a, std::uint32_t count, std::uint64_t directorySize,
              std::uint64_t directoryStart) {
    if (count > static_cast<std::uint32_t>(kMaxMembers) || directorySize > 0xFFFFFFFFull ||
        directoryStart > 0xFFFFFFFFull)
        return false;
    ZipEndRecord end;
    end.thisDisk = 0;                                                   // number of this disk
    end.centralDirectoryDisk = 0;                                       // disk where the directory starts
    end.entriesOnThisDisk = static_cast<std::uint16_t>(count);          // central entries on this disk
    end.entriesTotal = static_cast<std::uint16_t>(count);               // central entries in total
    end.centralDirectorySize = static_cast<std::uint32_t>(directorySize);  // directory size
    end.centralDirectoryOffset = static_cast<std::uint32_t>(directoryStart);  // directory offset
    end.commentLength = static_cast<std::uint16_t>(a.commentBytes.size());   // comment length
    std::uint8_t raw[ZipEndRecord::kSize];
    end.Encode(raw);
    return WriteAll(work.fd, raw, sizeof raw) && WriteAll(work.fd, a.commentBytes.data(), a.commentBytes.size());
}

// The first member named name (without regard to case, "/" read as "\"),
// or the entry count when there is none.
std::size_t FindByName(const OpenedArchive& a, std::string name) {
    std::replace(name.begin(), name.end(), '/', '\\');
    for (std::size_t i = 0; i < a.entries.size(); ++i)
        if (kuv::platform::EqualsNoCase(a.entries[i].name, name)) return i;
    return a.entries.size();
}

// The work file holding the archive's members but one (skip), and the
// central entries that go with them.
struct Rebuild {
    WorkFile work;
    std::vector<std::uint8_t> buffer;
    std::string directory;
    std::uint64_t directoryStart = 0;
    Rebuild(const std::string& zipPath, int archiveFd) : work(zipPath + "~", archiveFd), buffer(kCopyChunk) {}
    bool Begin(const OpenedArchive& a, std::size_t skip) {
        return work.fd >= 0 && CopyMembersWithout(a, skip, work, directory, directoryStart, buffer);
    }
};

}  // namespace

bool ReaderState::RefuseZip64Update(clsZip& owner, const std::vector<CentralEntry>& entries) {
    for (const CentralEntry& e : entries)
        if (e.needsZip64) {
            owner.RaiseZipError(20, "Le fichier " + e.name + " utilise une fonction Zip non prise en charge");
            return true;
        }
    return false;
}

// The steps both updates begin with; the end record's position, 0 on failure.
std::int64_t ReaderState::UpdateStart(clsZip& owner, const std::string& zipPath) {
    owner.writer_->ClearMembers();
    // Not waiting on a FIFO: anything but a regular file is refused below.
    const int probe = open(zipPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (probe < 0) {
        owner.RaiseFileZipErr(zipPath, 10, "Ce fichier n'existe pas");
        return 0;
    }
    close(probe);
    const std::int64_t position = owner.FindEndRecord(zipPath);
    if (position <= 0) {
        owner.RaiseFileZipErr(zipPath, 2, "Le fichier n'est pas un fichier au format Zip ou Sv");
        return 0;
    }
    return position;
}

bool clsZip::FileRemoveFromZip(const std::string& strZipPath, const std::string& strFilePath) {
    const std::int64_t position = reader_->UpdateStart(*this, strZipPath);
    if (position <= 0) return false;
    RaiseStatus("Suppression élément interne à fichier comprimé démarrée.");
    OpenedArchive a;
    if (!a.Open(strZipPath, position)) return false;
    const std::size_t index = FindByName(a, strFilePath);
    if (index == a.entries.size() || reader_->RefuseZip64Update(*this, a.entries)) return false;

    // Through a link, the file it leads to is rebuilt, beside it (the link stays).
    const std::string archive = ArchiveTargetPath(strZipPath);
    Rebuild r(archive, a.fd);
    if (!r.Begin(a, index) || !WriteAll(r.work.fd, r.directory.data(), r.directory.size()) ||
        !WriteEnd(r.work, a, static_cast<std::uint32_t>(a.entries.size() - 1), r.directory.size(), r.directoryStart))
        return false;
    const std::uint64_t endOffset = r.directoryStart + r.directory.size();
    const std::uint64_t length = endOffset + ZipEndRecord::kSize + a.commentBytes.size();
    ZipClose();
    if (!r.work.Commit(length, endOffset, archive)) return false;
    RaiseStatus("Suppression élément interne à fichier comprimé terminée.");
    return true;
}

bool clsZip::FileAddIntoZip(const std::string& strZipPath, const std::string& strFilePath, std::int32_t& PathChoice,
                            bool excludeCRC32, bool OverWrite) {
    const std::int64_t position = reader_->UpdateStart(*this, strZipPath);
    if (position <= 0) return false;
    OpenedArchive a;
    if (!a.Open(strZipPath, position)) return false;

    // The name the new member will bear (as the add below derives it from the
    // full path), compared with the names present.
    const std::size_t replaced =
        FindByName(a, StoredNameFor(kuv::platform::FullPath(strFilePath), static_cast<std::int16_t>(PathChoice),
                                    kuv::platform::CurrentFolder()));
    if (replaced < a.entries.size() && !OverWrite) return false;
    if (reader_->RefuseZip64Update(*this, a.entries)) return false;

    // The member being replaced is left out; the new ones follow the others.
    const std::string archive = ArchiveTargetPath(strZipPath);
    Rebuild r(archive, a.fd);
    if (!r.Begin(a, replaced)) return false;
    WorkFile& work = r.work;
    const std::string& directory = r.directory;
    const std::uint64_t directoryStart = r.directoryStart;

    const std::int32_t handle = writer_->OpenStreamOnFile(work.fd, directoryStart, sizeLimit_);
    std::int32_t streamHandle = handle;
    const std::int32_t added =
        handle > 0 ? ybFileAdd(strFilePath, static_cast<std::int16_t>(PathChoice), streamHandle, false, excludeCRC32)
                   : 0;
    bool ok = handle > 0 && added > 0 && !writer_->StreamFailed(handle);
    std::uint64_t newStart = 0, newBytes = 0;
    std::int32_t newCount = 0;
    if (ok) {
        newStart = writer_->StreamPosition(handle);
        ok = kuv::platform::WriteAllAt(work.fd, directory.data(), directory.size(), newStart) &&
             writer_->WriteStreamCentral(handle, newStart + directory.size(), newBytes, newCount);
    }
    if (handle > 0) writer_->ReleaseStream(handle);
    writer_->ClearMembers();
    if (!ok) return false;

    const std::uint64_t directorySize = directory.size() + newBytes;
    const std::uint64_t endOffset = newStart + directorySize;
    const std::uint32_t count =
        static_cast<std::uint32_t>(a.entries.size() - (replaced < a.entries.size() ? 1 : 0)) +
        static_cast<std::uint32_t>(newCount);
    if (lseek(work.fd, static_cast<off_t>(endOffset), SEEK_SET) != static_cast<off_t>(endOffset) ||
        !WriteEnd(work, a, count, directorySize, newStart))
        return false;
    ZipClose();
    return work.Commit(endOffset + ZipEndRecord::kSize + a.commentBytes.size(), endOffset, archive);
}
