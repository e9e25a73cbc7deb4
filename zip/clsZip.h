#pragma once
// clsZip: the program's ZIP engine. It builds archives (from a member list
// written at once, or in one streaming pass), reads and extracts them, and
// adds a file to or removes a member from an existing archive.
//
// Contracts shared by every operation:
//  - Text (paths, names, comments, messages) is UTF-8. Paths are Linux paths;
//    drive letters are resolved by the caller. Member names use "\" between
//    folders, as the archive format does.
//  - Failures are reported through the events below and through the results
//    (Boolean success, counts, handle numbers), never thrown. The one
//    exception: an index outside its range given to an indexed property
//    (FileName(0), inFileName(n) past the directory table...) is the caller's
//    error and throws std::out_of_range where noted.
//  - Events are raised synchronously on the caller's thread; an unset event is
//    simply not raised. Arguments passed by reference may be changed by the
//    handler (the cancel flags).
//  - Everything runs on the window thread; DoEvents lets pending window events
//    run during long operations. A handler must not start another operation
//    on the same instance.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "zip/ZipErrors.h"
#include "zip/ZipRecords.h"

namespace kuv::zip {
struct ZlibApi;
struct WriterState;
struct AddBatch;
struct ReaderState;
struct CentralEntry;
class ArchiveOutput;
class EngineReaderEvents;
class ReaderEvents;
// The largest archive an operation may write, and whether it is the FAT
// medium's own limit (which has its own WriteFailed text).
struct ArchiveLimit {
    std::uint64_t bytes = UINT64_MAX;
    bool medium = false;
};
}  // namespace kuv::zip

// The engine's events.
struct clsZipEvents {
    // Extraction progress, 0-100; setting cancel stops an ExtractAllFiles walk.
    std::function<void(std::int32_t Percent, bool& cancel)> ProgressExtract;
    // Opening progress: 95 when the end record is found (cancel stops the
    // opening), 100 when the directory is read.
    std::function<void(std::int32_t Percent, bool& cancel)> ProgressLoad;
    // Progress texts ("Zip ouvert", "Extraction terminée"...).
    std::function<void(const std::string& Text)> Status;
    // Errors on the archive or the compression library; cancel is passed
    // False (for number 5, a handler that sets it keeps the inflated data).
    std::function<void(std::int32_t Number, const std::string& Description, bool& cancel)> ZipError;
    // Per-file problems while building or updating an archive.
    std::function<void(std::string& FilePath, std::int32_t& lgErr, std::string& strDescription)> FileZipErr;
    // A new archive could not be written (WriteZip, WriteEndZip): Text is
    // "Clé pleine ou absente !". The host shows it, sets its backup-failure
    // flag and shows its failure lamp. The previous archive, if any, is intact.
    std::function<void(const std::string& Text)> WriteFailed;
    // Lets pending window events run.
    std::function<void()> DoEvents;
};

class clsZip {
public:
    clsZip();
    // Termination: closes the open archive, empties the pending member list
    // and schedules the deletion of the temporary files opened with their
    // associated program.
    ~clsZip();
    clsZip(const clsZip&) = delete;
    clsZip& operator=(const clsZip&) = delete;

    clsZipEvents Events;

    // ---------------- writing: the member list ----------------

    // Adds one file, or a set ("*" / "?" in the last component), to the
    // pending member list, compressing each file as it is added. PathChoice:
    // 0 file name only, 1 full path, 2 path relative to the current folder.
    // Returns the number of files added.
    std::int32_t FileAdd(const std::string& FilePath, std::int16_t PathChoice = 0,
                         bool RecurseDirectories = false, bool excludeCRC32 = false);
    // Removes pending member index (1-based); false when out of range.
    bool FileDel(std::int32_t index);
    std::int32_t FileCount() const;
    // Stored name / sizes of pending member index (1-based). Above the count:
    // empty / 0. Index 0 or below throws std::out_of_range.
    std::string FileName(std::int32_t index) const;
    std::int64_t SizeCompressed(std::int32_t index) const;
    std::int64_t SizeUncompressed(std::int32_t index) const;

    // The archive comment written by WriteZip / WriteEndZip.
    std::string Comment() const;
    void SetComment(const std::string& text);

    // Writes the pending members into a new archive. The archive is written
    // under a temporary name in the target folder, flushed, and renamed over
    // FilePath only once complete: a failure leaves any earlier archive as it
    // was and no partial file. Empties the list except on a write failure.
    bool WriteZip(const std::string& FilePath, bool OverWrite);
    // The size in bytes of the archive WriteZip would write now: the pending
    // members' entries (a member left to be read from its file at writing
    // time counts for the file's size), the directory and the comment.
    std::uint64_t PlannedArchiveBytes();

    // ---------------- writing: the streaming pass ----------------

    // Opens a new archive for a streaming pass; the handle number, 0 on failure.
    std::int32_t CreateZip(const std::string& FilePath, bool OverWrite);
    // Adds as FileAdd does and writes the new members' local entries at once.
    std::int32_t ybFileAdd(const std::string& FilePath, std::int16_t PathChoice, std::int32_t& lgNoFileZip,
                           bool RecurseDirectories = false, bool excludeCRC32 = false);
    // Writes the central directory and the end record and closes the archive.
    bool WriteEndZip(std::int32_t& lgNoFileZip);

    // ---------------- compression ----------------

    // The level given to zlib (default -1, zlib's default level).
    std::int32_t LevelCompression() const;
    void SetLevelCompression(std::int32_t lgLevel);
    // zlib's version text; empty (with ZipError 1 "La librairie Zlib n'est pas
    // installée") when the library cannot be called.
    std::string ZLibVersion();
    // Raw-deflates the first lgSizeSource bytes of wStream in one pass.
    std::vector<std::uint8_t> CompressDeflate(const std::vector<std::uint8_t>& wStream,
                                              std::int32_t lgSizeSource, bool Block,
                                              std::int32_t& codeError);

    // ---------------- reading ----------------

    // Opens an archive and reads its directory into the directory table
    // (members flagged as folders by their attributes left out). An archive is
    // recognised only when its end record describes a directory that lies in
    // the file and is consistent with it (right count in the declared bytes,
    // members that do not overlap); otherwise ZipError 2 "... n'est pas un
    // fichier Zip". Member names are UTF-8 with "\" between folders: bit 11
    // and Unicode Path names as UTF-8, names written on Unix hosts as UTF-8
    // when valid, others through the OEM table. Sizes and positions past
    // 4 GiB and more than 65,534 members are read from the Zip64 records,
    // checked like the others: a Zip64 end record outside the file, not
    // where its locator says or disagreeing with the end record, or a Zip64
    // value past the file or past 2^63 - 1, gives ZipError 2 as well. A
    // cancelled opening (the ProgressLoad 95 handler) leaves no archive open.
    bool ZipOpen(const std::string& ZipPath);
    void ZipClose();
    bool ZipIsOpen() const;
    std::string ZipComment() const;
    std::int32_t inFileCount() const;
    // Member number n (1-based) of the directory table; a number outside the
    // table throws std::out_of_range.
    std::string inFileName(std::int32_t n) const;
    // Sizes of member n in bytes (64-bit: members may pass 4 GiB).
    std::int64_t FileCompressedSize(std::int32_t n) const;
    std::int64_t FileUncompressedSize(std::int32_t n) const;
    kuv::platform::LocalDateTime FileDateAndTime(std::int32_t n) const;
    // False when the member's date words are not a real calendar date.
    bool FileDateAndTimeValid(std::int32_t n) const;
    // The files ExtractAllFiles with PreservePath writes, in table order:
    // each one's path relative to the target folder ("/" between parts) with
    // its size and CRC-32 as the directory records them. Folder members and
    // refused names are left out. number is the member's number for the
    // single-member calls (ExtractSingleFile, FileDateAndTime...).
    struct MemberTarget {
        std::string path;
        std::int32_t number = 0;
        std::uint64_t size = 0;
        std::uint32_t crc32 = 0;
    };
    std::vector<MemberTarget> FileTargets() const;

    // Searches the end record: its 1-based position, 0 when the file is not an
    // archive, -1 when the ProgressLoad handler cancelled.
    std::int64_t FindEndRecord(const std::string& path);

    // ---------------- extraction ----------------

    // Members are written under FolderPath only: a name is cut into folders on
    // "\" and "/", ":" becomes "_", empty and "." parts are dropped, and a
    // name with a ".." part or a NUL byte is refused (ZipError 19). Symbolic
    // links in the target folder are never followed (a sub-folder that is a
    // link gives ZipError 13; a link where a file goes is replaced, with
    // OverWrite, by the file). Each member is decompressed into a temporary
    // file beside its target and takes the target's name only once its size
    // and CRC are right (ZipError 5 on a CRC mismatch, unless the handler sets
    // cancel to keep the data; 16 for a damaged stream), so an existing file
    // is never replaced by a damaged member. Encrypted members give ZipError
    // 20, other methods than stored and deflate
    // ZipError 4; the walk goes on with the next member. A member whose name
    // ends in a separator creates its folder (with PreservePath).
    bool ExtractAllFiles(const std::string& FolderPath, bool PreservePath, bool OverWrite, bool KeepModDate);
    bool ExtractSingleFile(std::int32_t FileNumber, const std::string& FolderPath, bool PreservePath,
                           bool OverWrite, bool KeepModDate);
    // Extracts member lgNuFile into the temporary folder under its stored file
    // name; its path, empty on failure or when no member has that number.
    std::string ExtractSgFileToTmp(std::int32_t lgNuFile);
    // Opens a file with the program the desktop associates with its type.
    // Always false (callers ignore it).
    bool LoadZippedFile(const std::string& strFilePath);
    // The same, the desktop's opener started through start (given the file's
    // path; false when it could not be started): for callers that launch
    // programs through their own launcher. A file taken out by
    // ExtractSgFileToTmp and handed over is deleted later, as above.
    using FileStarter = std::function<bool(const std::string& path)>;
    bool LoadZippedFile(const std::string& strFilePath, const FileStarter& start);
    // Decompresses every member without writing anything and checks its CRC;
    // each failure is reported through ZipError as extraction does. True when
    // every member is sound. Raises ProgressExtract after each member (cancel
    // stops the test: false).
    bool TestAllFiles();

    // ---------------- in-place update ----------------

    // Both build the result in the work file strZipPath + "~" (an old one is
    // replaced; for a link to a file, beside the file it leads to), flush it, check that it reads back as an archive, and rename
    // it over the archive only then: on any failure the archive stays byte for
    // byte as it was. Names are compared without regard to case, "/" read as
    // "\". FileAddIntoZip with OverWrite replaces a member of the same name
    // in the same pass (the new member comes last); FileRemoveFromZip removes
    // the first member of that name, empty members included. A Zip64
    // archive stays one (members moved past 4 GiB get their Zip64 offset).
    // Both close the archive the instance has open when they replace the file.

    bool FileAddIntoZip(const std::string& strZipPath, const std::string& strFilePath, std::int32_t& PathChoice,
                        bool excludeCRC32, bool OverWrite);
    bool FileRemoveFromZip(const std::string& strZipPath, const std::string& strFilePath);

    // ---------------- character sets ----------------

    // Character-by-character conversions through the archive's name table.
    std::string Conv_ASCII_ISO(const std::string& text) const;
    std::string Conv_ISO_ASCII(const std::string& text) const;

    // ---------------- owner's settings ----------------

    // The zlib functions the instance calls; nullptr stands for a machine
    // without the library.
    void SetZlibApi(const kuv::zip::ZlibApi* api);
    // The largest archive the instance writes (no limit by default), as a
    // medium's own limit would: a test stands for a full medium with it. On
    // a FAT medium (vfat, msdos) an archive is at most 4 GiB - 1 whatever
    // this says: WriteZip fails before it writes an archive that would be
    // larger, the streaming pass and the in-place update as soon as their
    // output would pass it; the WriteFailed text then asks for an exFAT or
    // NTFS medium.
    void SetSizeLimit(std::uint64_t bytes);
    // The threads that compress the added files: count, or one per core
    // (std::thread::hardware_concurrency) for 0, the default. The archive's
    // bytes do not depend on it; tests compare counts with it.
    void SetWorkerCount(unsigned count);

private:
    // FindEndRecord; keepDirectory: the directory the search checked is kept
    // for the opening to take over.
    std::int64_t SearchEndRecord(const std::string& path, bool keepDirectory);
    friend struct kuv::zip::WriterState;
    friend class kuv::zip::EngineReaderEvents;

    // Event raising (each checks that the event is set).
    void RaiseStatus(const std::string& text);
    // Raises the message of the engine's table (zip/ZipErrors.h), "%1" being
    // arg; returns the cancel flag.
    bool RaiseZipError(kuv::zip::ZipMessage message, const std::string& arg = {});
    void RaiseFileZipErr(const std::string& path, kuv::zip::ZipMessage message);
    // The same with the number of the failure itself (ZipMessage::Untested).
    void RaiseFileZipErr(const std::string& path, std::int32_t number, kuv::zip::ZipMessage message);
    // mediumLimit: the archive would pass the FAT medium's largest file.
    void RaiseWriteFailed(bool mediumLimit = false);
    // The largest archive that may be written at target, and whether it is
    // the medium's own (FAT) limit.
    kuv::zip::ArchiveLimit LimitFor(const std::string& target) const;
    bool RaiseProgressExtract(std::int32_t percent);  // returns the cancel flag
    bool RaiseProgressLoad(std::int32_t percent);     // returns the cancel flag
    void DoEvents();

    // Writing side helpers (clsZip_Writing.cpp).
    // Resolves FilePath and adds the file or the set; members go to the spool
    // (streamHandle 0) or are written at once into that streaming archive.
    std::int32_t AddFiles(const std::string& FilePath, std::int16_t PathChoice, bool RecurseDirectories,
                          bool excludeCRC32, std::int32_t streamHandle);
    // Checks one file of an add operation and, when it may become a member,
    // queues its record in batch; a refusal is queued as its event (nothing
    // is raised here).
    void PrepareMember(const std::string& path, std::int16_t PathChoice, const std::string& currentFolder,
                       kuv::zip::AddBatch& batch);
    // Compresses the batch's files on the workers and makes them members (in
    // the spool, or written at once into that streaming archive), raising the
    // queued events and each member's own in file order. Returns: the members added.
    std::int32_t AddBatchFiles(kuv::zip::AddBatch& batch, bool excludeCRC32, std::int32_t streamHandle);
    // Makes batch item index a member without the workers (the way left
    // when the pipeline cannot run). Returns: 1 when it became a member.
    std::int32_t AddWithoutPipeline(kuv::zip::AddBatch& batch, std::size_t index, bool excludeCRC32,
                                    std::int32_t streamHandle);
    void ReportAddFailure(const std::string& path, int code);
    // Writes the local entry of a member waiting in the list. False when the
    // archive could not be written; written false (and a ZipError 16) when a
    // member stored from disk lost its source: it is then left out.
    // tick is called often while it writes (it lets window events run now and then).
    bool WritePendingMember(kuv::zip::ArchiveOutput& out, kuv::zip::ZipMemberEntry& member, bool& written,
                            const std::function<void()>& tick);

    // The first steps of both in-place updates (existence, end record, not
    // spanned); the end record's 1-based position, 0 after reporting a failure.
    std::int64_t UpdateStart(const std::string& zipPath);

    const kuv::zip::ZlibApi* zlib_;
    std::uint64_t sizeLimit_;
    std::unique_ptr<kuv::zip::WriterState> writer_;
    std::unique_ptr<kuv::zip::ReaderState> reader_;
    // The reading side's events, raised through this instance's.
    std::unique_ptr<kuv::zip::ReaderEvents> readerEvents_;
};
