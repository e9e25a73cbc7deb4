#pragma once
// The reading side's state of a clsZip instance: the open archive, its end
// record, comment and directory table, and the temporary files handed to
// their associated program.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/UniqueFd.h"
#include "zip/CentralDirectory.h"
#include "zip/MemberInflater.h"
#include "zip/SafeMemberPath.h"
#include "zip/ZipRecords.h"

class clsZip;

namespace kuv::zip {

struct PreparedName;

struct DirectoryEntry {
    std::string name;                 // UTF-8, "\" between folders
    std::int32_t compressedSize = 0;
    std::int32_t uncompressedSize = 0;
    std::int32_t dosDate = 0;         // the 16-bit word widened with its sign
    std::int32_t dosTime = 0;
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
    std::unique_ptr<SafeFolder> folder;
};

struct ReaderState {
    platform::UniqueFd fd;                   // the open archive, empty when closed
    std::string path;                        // its path as given to ZipOpen
    std::uint64_t fileSize = 0;              // its size when it was opened
    std::int64_t EndRecordPosition = 0;      // 1-based; 0 when no archive is open
    ZipEndRecord endRecord;
    std::string zipComment;
    std::vector<DirectoryEntry> DirectoryTable;
    std::int32_t inFileCount = 0;
    std::vector<std::string> OpenedTempFiles;
    // The instance's private folder for members opened with their program
    // (made on first use); empty until then.
    std::string privateFolder;
    // The last end-record search found a spanned archive's end record.
    bool searchSpanned = false;

    // The central directory as last read (every entry, folders included).
    std::vector<CentralEntry> directory;
    // The central header last read (the header buffers of the engine).
    ZipCentralStart centralStart;
    ZipHeaderCommon headerCommon;
    ZipCentralTail centralTail;
    // Decompression buffers, allocated on first use.
    std::unique_ptr<InflateBuffers> buffers;

    // Reads the end record at the 1-based position and the comment after it;
    // true when the archive does not span disks.
    bool ReadEndRecord(std::int64_t position);
    // Reads and checks the central directory the end record describes.
    bool ReadDirectory();
    // The central entries of the directory table, in order (folder members
    // flagged by their attributes left out).
    std::vector<const CentralEntry*> TableEntries() const;

    // Finds member e's data behind its local header and checks it; raises
    // ZipError 20, 14 or 4 and returns false when it cannot be decompressed.
    bool LocateMember(clsZip& owner, const CentralEntry& e, const std::string& target, MemberData& data);
    // Decompresses member e into sink; raises the member's errors. keepOnCrc
    // is set when the ZipError 5 handler chose to keep the data anyway.
    bool DecompressMember(clsZip& owner, const CentralEntry& e, const std::string& target, const MemberSink& sink,
                          bool& keepOnCrc);
    // Writes member e under folder as options say; false on a failure of
    // this member (already reported). written: a file was written.
    bool ExtractMember(clsZip& owner, const CentralEntry& e, const DirectoryEntry& entry, const SafeFolder& base,
                       FolderCache& cache, const ExtractOptions& options, std::string* writtenPath = nullptr);

    // The walk of ExtractAllFiles (single 0) and ExtractSingleFile (single
    // the member number).
    bool ExtractWalk(clsZip& owner, std::int32_t single, const std::string& FolderPath,
                     const ExtractOptions& options);

    // The first steps of both in-place updates (existence, end record);
    // the end record's 1-based position, 0 after reporting a failure.
    std::int64_t UpdateStart(clsZip& owner, const std::string& zipPath);

    // An archive whose members need Zip64 values is not updated: ZipError 20.
    bool RefuseZip64Update(clsZip& owner, const std::vector<CentralEntry>& entries);

    // End of the instance: schedules the deletion of OpenedTempFiles.
    void Terminate(clsZip& owner);
};

}  // namespace kuv::zip
