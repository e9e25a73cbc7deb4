// Opening an archive and reading its directory: ZipOpen, ZipClose, the
// directory table's properties and the end-record search.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>

#include "platform/Files.h"
#include "zip/EndRecordScan.h"
#include "zip/ReaderIo.h"
#include "zip/ReaderState.h"
#include "zip/SafeMemberPath.h"
#include "zip/ZipNames.h"
#include "zip/clsZip.h"

using namespace kuv::zip;

namespace {

const DirectoryEntry& EntryAt(const ReaderState& r, std::int32_t n) {
    if (n < 1 || static_cast<std::size_t>(n) > r.DirectoryTable.size())
        throw std::out_of_range("member number " + std::to_string(n) + " outside the directory table");
    return r.DirectoryTable[static_cast<std::size_t>(n) - 1];
}

}  // namespace

bool ReaderState::ReadEndRecord(std::int64_t position) {
    std::uint8_t raw[ZipEndRecord::kSize];
    if (!fd || position < 1 || !ReadExact(fd.get(), static_cast<std::uint64_t>(position - 1), raw, sizeof raw))
        return false;
    endRecord = ZipEndRecord::Decode(raw);
    std::string comment;
    if (ReadString(fd.get(), static_cast<std::uint64_t>(position - 1) + ZipEndRecord::kSize,
                   endRecord.commentLength, comment))
        zipComment = DecodeComment(comment);
    std::uint64_t size = 0;
    return DescriptorSize(fd.get(), size) &&
           !EndIsSpanned(fd.get(), size, endRecord, static_cast<std::uint64_t>(position - 1));
}

bool ReaderState::ReadDirectory() {
    directory.clear();
    if (!fd || EndRecordPosition < 1) return false;
    const bool ok = ReadCentralDirectory(fd.get(), fileSize, endRecord, static_cast<std::uint64_t>(EndRecordPosition - 1),
                                         directory, nullptr, &bounds) == DirectoryCheck::Consistent;
    if (!ok) directory.clear();
    TakeLastHeader();
    return ok;
}

ReaderState::FileStamp ReaderState::StampNow() const { return StampOf(fd.get()); }

ReaderState::FileStamp ReaderState::StampOf(int descriptor) {
    FileStamp stamp;
    struct stat st {};
    if (descriptor < 0 || fstat(descriptor, &st) != 0) return stamp;
    stamp.valid = true;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = static_cast<std::uint64_t>(st.st_size);
    stamp.modified = std::int64_t {st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
    stamp.changed = std::int64_t {st.st_ctim.tv_sec} * 1000000000 + st.st_ctim.tv_nsec;
    return stamp;
}

ReaderState::Reread ReaderState::ReadAgain() {
    // Taken before the reading: a change made while it reads shows next time.
    const FileStamp now = StampNow();
    if (now == directoryStamp && !directory.empty()) return Reread::Ok;
    directoryStamp = {};
    SearchedDirectory found = std::move(searched);
    searched = {};
    if (!ReadEndRecord(EndRecordPosition)) return Reread::EndRecordFailed;
    if (!DescriptorSize(fd.get(), fileSize)) return Reread::DirectoryFailed;
    if (now == found.stamp && found.endOffset + 1 == static_cast<std::uint64_t>(EndRecordPosition)) {
        // The search read this very file as it is now, at this end record,
        // with the same checks as ReadDirectory: its directory is taken over.
        directory = std::move(found.entries);
        bounds = found.bounds;
        TakeLastHeader();
    } else if (!ReadDirectory()) {
        return Reread::DirectoryFailed;
    }
    directoryStamp = now;
    return Reread::Ok;
}

void ReaderState::TakeLastHeader() {
    if (directory.empty()) return;
    centralStart = directory.back().start;
    headerCommon = directory.back().common;
    centralTail = directory.back().tail;
}

std::vector<const CentralEntry*> ReaderState::TableEntries() const {
    std::vector<const CentralEntry*> out;
    out.reserve(directory.size());
    for (const CentralEntry& e : directory)
        if (!e.IsDirectoryMember()) out.push_back(&e);
    return out;
}

std::int64_t clsZip::FindEndRecord(const std::string& path) { return SearchEndRecord(path, false); }

std::int64_t clsZip::SearchEndRecord(const std::string& path, bool keepDirectory) {
    ReaderState& r = *reader_;
    r.searchSpanned = false;
    // O_NONBLOCK: a FIFO or a device is refused below instead of waited on
    // (regular files ignore the flag).
    kuv::platform::UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    std::uint64_t size = 0;
    if (!fd || !DescriptorSize(fd.get(), size)) {
        RaiseZipError(ZipMessage::ArchiveInaccessible, path);
        return 0;
    }
    EndRecordSearch search(fd.get(), size);
    const std::int64_t offset = search.Find();
    r.searched = {};
    if (offset < 0) return 0;
    r.searchSpanned = search.Spanned();
    if (keepDirectory && !r.searchSpanned) {
        r.searched.stamp = ReaderState::StampOf(fd.get());
        r.searched.endOffset = static_cast<std::uint64_t>(offset);
        r.searched.bounds = search.Bounds();
        r.searched.entries = std::move(search.Entries());
    }
    if (RaiseProgressLoad(95)) return -1;
    return offset + 1;
}

bool clsZip::ZipOpen(const std::string& ZipPath) {
    RaiseStatus("Ouverture du Zip");
    ZipClose();
    ReaderState& r = *reader_;
    // Whatever happens, nothing of the previous archive is answered any more.
    r.DirectoryTable.clear();
    r.directory.clear();
    r.inFileCount = 0;
    r.zipComment.clear();
    if (!kuv::platform::PathExists(ZipPath)) {
        RaiseFileZipErr(ZipPath, ZipMessage::FileMissingZip);
        RaiseZipError(ZipMessage::ArchiveMissing, ZipPath);
        return false;
    }
    r.fd = kuv::platform::UniqueFd(open(ZipPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    r.path = ZipPath;
    if (!r.fd || !DescriptorSize(r.fd.get(), r.fileSize)) r.fileSize = 0;
    DoEvents();

    TakeReadError();
    const std::int64_t position = SearchEndRecord(ZipPath, true);
    if (position == 0 || (position > 0 && !r.fd)) {
        // A medium that could not be read is not a file that is no archive.
        RaiseZipError(TakeReadError() != 0 ? ZipMessage::ArchiveReadError : ZipMessage::NotAnArchive, ZipPath);
        r.fd.Reset();
        return false;
    }
    if (position < 0) {
        // The user stopped the opening: the archive is not open (no directory
        // was read, so nothing may be extracted from it).
        RaiseStatus("Chargement annulé par l'utilisateur");
        r.fd.Reset();
        return false;
    }
    if (r.searchSpanned) {
        // One verdict for an archive on several disks: it is not opened.
        RaiseZipError(ZipMessage::UnsupportedFeature, ZipPath);
        r.fd.Reset();
        return false;
    }
    r.EndRecordPosition = position;
    RaiseStatus("Zip ouvert");

    if (ZLibVersion().empty()) {  // the property has reported it once already
        RaiseZipError(ZipMessage::ZlibMissing);
        return true;
    }
    r.directoryStamp = {};
    TakeReadError();
    if (r.ReadAgain() != ReaderState::Reread::Ok) {
        // The file changed between the search and the reading.
        r.zipComment.clear();
        RaiseZipError(TakeReadError() != 0 ? ZipMessage::ArchiveReadError : ZipMessage::NotAnArchive, ZipPath);
        ZipClose();
        return false;
    }
    r.DirectoryTable.reserve(r.directory.size());
    std::size_t walked = 0;
    for (const CentralEntry* e : r.TableEntries()) {
        DirectoryEntry d;
        d.name = e->name;
        d.compressedSize = static_cast<std::int64_t>(e->compressedSize);  // below 2^63, checked
        d.uncompressedSize = static_cast<std::int64_t>(e->uncompressedSize);
        d.dosDate = static_cast<std::int16_t>(e->common.dosDate);
        d.dosTime = static_cast<std::int16_t>(e->common.dosTime);
        d.modifiedKnown = e->modifiedKnown;
        d.modifiedUtc = e->modifiedUtc;
        r.DirectoryTable.push_back(std::move(d));
        if (++walked % 256 == 0) DoEvents();
    }
    r.inFileCount = static_cast<std::int32_t>(r.DirectoryTable.size());
    RaiseProgressLoad(100);
    DoEvents();
    return true;
}

void clsZip::ZipClose() {
    ReaderState& r = *reader_;
    r.directoryStamp = {};
    r.searched = {};
    if (r.fd) {
        r.fd.Reset();
        RaiseStatus("Zip fermé");
    }
    r.EndRecordPosition = 0;
}

bool clsZip::ZipIsOpen() const { return reader_->EndRecordPosition != 0; }
std::string clsZip::ZipComment() const { return reader_->zipComment; }
std::int32_t clsZip::inFileCount() const { return reader_->inFileCount; }
std::string clsZip::inFileName(std::int32_t n) const { return EntryAt(*reader_, n).name; }
std::vector<clsZip::MemberTarget> clsZip::FileTargets() const {
    std::vector<MemberTarget> targets;
    if (reader_->EndRecordPosition == 0) return targets;
    std::int32_t number = 0;
    for (const CentralEntry* e : reader_->TableEntries()) {
        ++number;
        std::string name = e->name;
        const PreparedName prepared = PrepareMemberName(name, true);
        if (prepared.refused || prepared.isFolder) continue;
        targets.push_back({prepared.RelativePath(), number, e->uncompressedSize, e->common.crc32});
    }
    return targets;
}

std::int64_t clsZip::FileCompressedSize(std::int32_t n) const { return EntryAt(*reader_, n).compressedSize; }
std::int64_t clsZip::FileUncompressedSize(std::int32_t n) const { return EntryAt(*reader_, n).uncompressedSize; }

bool DirectoryEntry::ModifiedTime(std::int64_t& modified) const {
    if (modifiedKnown) {
        modified = modifiedUtc;
        return true;
    }
    bool valid = false;
    const auto when = DateFromDosWords(static_cast<std::uint16_t>(dosDate), static_cast<std::uint16_t>(dosTime), &valid);
    if (valid) modified = kuv::platform::FromLocalDateTime(when);
    return valid;
}

kuv::platform::LocalDateTime clsZip::FileDateAndTime(std::int32_t n) const {
    const DirectoryEntry& e = EntryAt(*reader_, n);
    if (e.modifiedKnown) return kuv::platform::ToLocalDateTime(static_cast<std::time_t>(e.modifiedUtc));
    return DateFromDosWords(static_cast<std::uint16_t>(e.dosDate), static_cast<std::uint16_t>(e.dosTime));
}

bool clsZip::FileDateAndTimeValid(std::int32_t n) const {
    const DirectoryEntry& e = EntryAt(*reader_, n);
    if (e.modifiedKnown) return true;
    bool valid = false;
    DateFromDosWords(static_cast<std::uint16_t>(e.dosDate), static_cast<std::uint16_t>(e.dosTime), &valid);
    return valid;
}
