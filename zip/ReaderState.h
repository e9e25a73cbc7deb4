#pragma once
// The reading side's state of a clsZip instance: the open archive, its end
// record, comment and directory table, and the temporary files handed to
// their associated program.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/UniqueFd.h"
#include "zip/CentralDirectory.h"
#include "zip/FastInflate.h"
#include "zip/MemberInflater.h"
#include "zip/SafeMemberPath.h"
#include "zip/ZipErrors.h"
#include "zip/ZipRecords.h"

namespace kuv::zip {

struct ZlibApi;

// What the reading side reports to its owner, and the one service it takes
// from it (the compression library). The engine implements it over its
// events; the reading side never sees the engine itself.
class ReaderEvents {
public:
    virtual ~ReaderEvents() = default;
    // Raises the message (zip/ZipErrors.h) about arg. Returns: the cancel flag.
    virtual bool ZipError(ZipMessage message, const std::string& arg = {}) = 0;
    virtual void Status(const std::string& text) = 0;
    // Returns: the cancel flag.
    virtual bool ProgressExtract(std::int32_t percent) = 0;
    virtual void DoEvents() = 0;
    // The library, or nullptr after reporting it missing (ZipError 1).
    virtual const ZlibApi* Zlib() = 0;
};

struct PreparedName;

struct DirectoryEntry {
    std::string name;                 // UTF-8, "\" between folders
    std::int64_t compressedSize = 0;
    std::int64_t uncompressedSize = 0;
    std::int32_t dosDate = 0;         // the 16-bit word widened with its sign
    std::int32_t dosTime = 0;
    // The modification time (UTC, seconds since 1970) of an extended
    // timestamp or Unix extra field; without one (modifiedKnown false), the
    // DOS date and time.
    bool modifiedKnown = false;
    std::int64_t modifiedUtc = 0;

    // The time to give an extracted file (seconds since 1970); false when
    // the entry has none that is valid.
    bool ModifiedTime(std::int64_t& modified) const;
};

// How one member is to be written by the extraction walk.
struct ExtractOptions {
    bool preservePath = false;
    bool overWrite = false;
    bool keepModDate = false;
    bool replaceColons = true;  // ":" to "_" (not for the temporary folder)
};

// The sub-folder the previous member went to, kept open for the next one
// (members of one folder usually follow each other).
struct FolderCache {
    std::vector<std::string> parts;
    std::shared_ptr<SafeFolder> folder;  // shared with files still pending in it
};

struct ReaderState {
    platform::UniqueFd fd;                   // the open archive, empty when closed
    // The system's error of the target file whose write the sink of the
    // member in hand refused (0: none), so that a full disk is told as such.
    int sinkError = 0;
    std::string path;                        // its path as given to ZipOpen
    std::uint64_t fileSize = 0;              // its size when it was opened
    std::int64_t EndRecordPosition = 0;      // 1-based; 0 when no archive is open
    ZipEndRecord endRecord;
    DirectoryBounds bounds;                  // where the directory lies (Zip64 end record included)
    std::string zipComment;
    std::vector<DirectoryEntry> DirectoryTable;
    std::int32_t inFileCount = 0;
    std::vector<std::string> OpenedTempFiles;
    // The instance's private folder for members opened with their program
    // (made on first use); empty until then.
    std::string privateFolder;
    // The last end-record search found a spanned archive's end record.
    bool searchSpanned = false;
    // The archive as the directory was last read from it (identity, size,
    // change times): unchanged, the directory need not be read again.
    struct FileStamp {
        bool valid = false;
        std::uint64_t device = 0, inode = 0, size = 0;
        std::int64_t modified = 0, changed = 0;  // nanoseconds
        bool operator==(const FileStamp& o) const {
            return valid && o.valid && device == o.device && inode == o.inode && size == o.size &&
                   modified == o.modified && changed == o.changed;
        }
    };
    FileStamp directoryStamp;
    // The directory the last end-record search accepted, with the stamp of
    // the file it read it from: the opening takes it over when that file is
    // the one it opened, instead of reading and checking it a second time.
    struct SearchedDirectory {
        FileStamp stamp;
        std::uint64_t endOffset = 0;  // 0-based
        DirectoryBounds bounds;
        std::vector<CentralEntry> entries;
    };
    SearchedDirectory searched;

    // The central directory as last read (every entry, folders included).
    std::vector<CentralEntry> directory;
    // The central header last read (the header buffers of the engine).
    ZipCentralStart centralStart;
    ZipHeaderCommon headerCommon;
    ZipCentralTail centralTail;
    // Decompression buffers, allocated on first use.
    std::unique_ptr<InflateBuffers> buffers;
    // The one-call inflater of small members, made on first use.
    std::unique_ptr<OneCallInflater> oneCall;

    // Reads the end record at the 1-based position and the comment after it;
    // true when the archive does not span disks.
    bool ReadEndRecord(std::int64_t position);
    // Reads and checks the central directory the end record describes.
    bool ReadDirectory();
    // Keeps the last central header's fields (the engine's header buffers).
    void TakeLastHeader();
    // REQUIRES: an archive is open. Reads the end record and the directory
    // again, unless the archive is unchanged since they were last read.
    // Returns: Ok, or which of the two could not be read (or is not sound).
    enum class Reread { Ok, EndRecordFailed, DirectoryFailed };
    Reread ReadAgain();
    // Returns: the stamp of the open archive now (not valid when it cannot be had).
    FileStamp StampNow() const;
    // Returns: the stamp of the file open on descriptor (not valid when it cannot be had).
    static FileStamp StampOf(int descriptor);
    // The central entries of the directory table, in order (folder members
    // flagged by their attributes left out).
    std::vector<const CentralEntry*> TableEntries() const;

    // Finds member e's data behind its local header and checks it; raises
    // ZipError 20, 14 or 4 and returns false when it cannot be decompressed.
    bool LocateMember(ReaderEvents& events, const CentralEntry& e, const std::string& target, MemberData& data);
    // Decompresses member e into sink (small deflated members in one call,
    // others streamed, with DoEvents about every 25 ms); raises the member's
    // errors. keepOnCrc is set when the ZipError 5 handler chose to keep the
    // data anyway. rewind (may be empty) lets a large member written in
    // slices, or of one stream, be inflated by the fast paths (MemberInflater.h).
    bool DecompressMember(ReaderEvents& events, const CentralEntry& e, const std::string& target, const MemberSink& sink,
                          bool& keepOnCrc, const MemberRewind& rewind = {});
    // Raises the errors of a member's decompression result (ZipError 5 with
    // its cancel flag in keepOnCrc, or 16). Returns: result is Ok.
    bool ReportInflate(ReaderEvents& events, InflateResult result, const CentralEntry& e, const std::string& target,
                       bool& keepOnCrc);
    // Gives a member's bytes to sink in place of DecompressMember (same
    // contract), for data already inflated elsewhere.
    using MemberSource = std::function<bool(const std::string& target, const MemberSink& sink,
                                            const MemberRewind& rewind, bool& keepOnCrc)>;
    // Writes member e under folder as options say, its bytes from source
    // (nullptr: DecompressMember); false on a failure of this member (already
    // reported). written: a file was written.
    bool ExtractMember(ReaderEvents& events, const CentralEntry& e, const DirectoryEntry& entry, const SafeFolder& base,
                       FolderCache& cache, const ExtractOptions& options, std::string* writtenPath = nullptr,
                       const MemberSource* source = nullptr);

    // Writes every member of entries under base, data inflated on every
    // core, events in directory order. Returns: false when cancelled.
    bool ExtractEvery(ReaderEvents& events, const std::vector<const CentralEntry*>& entries, const SafeFolder& base,
                      const ExtractOptions& options);
    // The walk of ExtractAllFiles (single 0) and ExtractSingleFile (single
    // the member number).
    bool ExtractWalk(ReaderEvents& events, std::int32_t single, const std::string& FolderPath,
                     const ExtractOptions& options);

    // Checks every member of the directory table, on every core, raising
    // each member's errors, ProgressExtract and DoEvents in directory order.
    // Returns: every member sound (false as well when cancelled).
    bool TestAll(ReaderEvents& events);

    // End of the instance: removes the members taken out into the private
    // folder and schedules the deletion of those opened with their program.
    void Terminate();
};

}  // namespace kuv::zip
