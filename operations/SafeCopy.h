#pragma once
// Copies that never leave a damaged file behind. A copy goes first into a
// temporary file ".kuvzip-copie-XXXXXX" of the target folder (a name that
// matches neither "kuv*.zip" nor "info_sv_*.*", so the restore window never
// takes it for a backup); it is flushed, dropped from the system's cache and
// read back against the CRC-32 of the bytes read from the source; only then
// do renames put it in place. On any failure the target folder is as it was
// and the temporary file is gone.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kuv::operations {

// Prefix of every temporary file of these copies.
inline constexpr const char* kTemporaryPrefix = ".kuvzip-copie-";

// Whether a name is one of the program's own work files or folders (what
// begins with ".kuvzip-"): never a backup, never a program file.
bool IsWorkName(const std::string& name);

// Removes the work files ".kuvzip-copie-XXXXXX" that a copy interrupted by a
// crash left in folder: only regular files of the user's own, and only when
// their advisory lock (flock) can be taken, so that a copy under way, of
// this program or of another one writing to the same folder, keeps its
// file. Nothing at all while a program restore's journal is in folder (its
// work files hold the replaced programs). Nothing else is touched. Returns:
// the number removed.
int RemoveLeftoverWorkFiles(const std::string& folder);

enum class CopyFailure {
    None,
    SourceUnreadable,  // the source cannot be opened or read
    FolderMissing,     // the target folder does not exist (or is not a folder)
    NotWritable,       // no file can be made in the target folder
    WriteFailed,       // writing or flushing failed (the medium is full, gone)
    ReadBackMismatch,  // the copy does not read back as the bytes copied
    RenameFailed,      // putting the copy in place failed (everything renamed back)
};

struct CopyOutcome {
    CopyFailure failure = CopyFailure::None;
    int error = 0;  // errno of the failing call, 0 when none
    bool Ok() const { return failure == CopyFailure::None; }
};

// Called after each chunk copied or read back (lets the window live).
using ChunkCallback = std::function<void()>;

// A temporary file of a folder, removed when the object goes unless it was
// renamed away. It is locked (flock) for as long as the object holds it, so
// that a cleanup never takes it for a leftover.
class StagedFile {
public:
    StagedFile() = default;
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Makes a new empty temporary file in folder, readable as a file the user
    // writes (mode 0666 less the umask). Returns: the outcome (FolderMissing,
    // NotWritable).
    CopyOutcome Create(const std::string& folder);
    // Renames the temporary file over to. Returns: false (file kept) on failure.
    bool RenameTo(const std::string& to);
    // Removes the temporary file now.
    void Discard();
    // Forgets the file, which something else has renamed away.
    void Release();
    const std::string& Path() const { return path_; }
    bool Exists() const { return !path_.empty(); }

private:
    void Unlock();
    std::string path_;
    int lock_ = -1;  // a descriptor of the file, holding its lock
};

// Copies source into a new temporary file of folder and checks it. With
// keepModeAndTime the copy gets the source's permission bits and
// modification time (program files); otherwise it keeps Create's mode.
// REQUIRES: staged not yet created. Returns: the outcome; staged holds the
// checked copy when Ok, and nothing otherwise.
CopyOutcome StageCopy(const std::string& source, const std::string& folder, StagedFile& staged,
                      bool keepModeAndTime = false, const ChunkCallback& afterChunk = {});

// The same for bytes held in memory (an information file).
CopyOutcome StageBytes(std::string_view bytes, const std::string& folder, StagedFile& staged);

// Checks a written file: flushed, dropped from the system's cache, then read
// back; its length and CRC-32 (zlib's) must be length and crc. Returns: the
// outcome (WriteFailed when it cannot be flushed, ReadBackMismatch otherwise).
CopyOutcome CheckWrittenFile(const std::string& path, std::uint64_t length, std::uint32_t crc,
                             const ChunkCallback& afterChunk = {});

// The copy of a backup into folder keeping three generations: the checked
// copy of source and the information file are staged first, then renames
// move archiveName + ".sv1" to ".sv2", archiveName to ".sv1", the copy to
// archiveName and the information file over infoName; the oldest ".sv2" is
// dropped only when ".sv1" takes its name, and a generation moves only when
// the newer one needs its name (a gap keeps the older ones); what is dropped
// goes only once everything is in place. Returns: the outcome; on failure
// the folder holds exactly what it held before.
CopyOutcome CopyKeepingGenerations(const std::string& source, const std::string& folder,
                                   const std::string& archiveName, const std::string& infoName,
                                   std::string_view infoBytes, const ChunkCallback& afterChunk = {});

// Replaces target by a checked copy of source (mode and modification time
// kept) through a temporary file beside target and one rename: target is
// either the old file or the whole new one. Returns: the outcome.
CopyOutcome ReplaceFile(const std::string& source, const std::string& target,
                        const ChunkCallback& afterChunk = {});

}  // namespace kuv::operations
