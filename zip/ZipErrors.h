#pragma once
// The engine's error numbers and the messages its events carry: one table,
// used by every ZipError and FileZipErr the engine raises. A message's "%1"
// stands for the path or name it is about.

#include <cstdint>
#include <string>

namespace kuv::zip {

// The numbers carried by ZipError and FileZipErr.
enum ZipErrorNumber : std::int32_t {
    kErrZlibMissing = 1,         // compression library missing
    kErrNotArchive = 2,          // not an archive, or not accessible
    kErrNoArchiveOpen = 3,
    kErrUnsupportedMethod = 4,
    kErrCrcMismatch = 5,
    kErrStoredUncompressed = 7,  // member stored without compression
    kErrFileMissing = 10,
    kErrTargetExists = 11,       // target exists / archive not overwritten / duplicate member name
    kErrCannotDelete = 12,
    kErrCannotCreateFolder = 13,
    kErrCorruptHeader = 14,      // corrupt local header, or one the directory contradicts
    kErrTooLargeForMemory = 15,
    kErrUnidentified = 16,       // decompression error, source inaccessible, update impossible
    kErrZlibFailed = 17,
    kErrNoProgram = 18,
    kErrNameRefused = 19,        // a name that would leave the target folder
    kErrUnsupportedFeature = 20, // encryption, spanned archives
    kErrBackslashInName = 22,
    kErrNameTooLong = 23,        // a name part longer than a file name can be once UTF-8
    kErrDeviceIo = 57,           // the archive's medium could not be read
    kErrDiskFull = 61,           // no room left (or quota reached) on the target's medium
    kErrSharing = 70,
    kErrPathAccess = 75,
};

// Every message the engine raises.
enum class ZipMessage {
    ZlibMissing,
    ArchiveInaccessible,
    ArchiveMissing,
    FileMissingZip,
    FileMissing,
    NotAnArchive,
    NotAnArchiveOrSv,
    NoArchiveOpen,
    UnsupportedMethod,
    UnsupportedFeature,
    CrcMismatch,
    CorruptHeader,
    Unidentified,
    NameRefused,
    CannotCreateFolder,
    TargetExists,
    CannotDelete,
    NoProgram,
    Sharing,
    StoredUncompressed,
    Untested,
    BackslashInName,
    NameTooLong,
    ArchiveExists,
    DuplicateName,
    SourceGone,
    SourceUnknownError,
    UpdateImpossible,
    DiskFull,          // a member's file could not be written: the target's medium is full
    ArchiveReadError,  // the archive's bytes could not be read (a read error of its medium)
};

struct ZipMessageRow {
    ZipMessage id;
    std::int32_t number;  // the number the message is raised with (variable ones: see Untested)
    const char* text;
};

// The texts of the WriteFailed event: the medium refused the archive (full
// or gone), or the archive would reach the 4 GiB a FAT medium's files cannot.
inline constexpr const char* kWriteFailedText = "Clé pleine ou absente !";
inline constexpr const char* kWriteFailedMediumLimitText =
    "Sauvegarde trop volumineuse pour ce support (fichiers de 4 Go au plus) : utilisez un support formaté en "
    "exFAT ou NTFS.";

// Whether a system error number says the medium has no room left (full, or
// the user's quota reached).
bool IsDiskFullError(int error);

// The row of a message.
const ZipMessageRow& MessageRow(ZipMessage id);
// The number a message is raised with.
inline std::int32_t NumberOf(ZipMessage id) { return MessageRow(id).number; }
// The message's text with "%1" replaced by arg.
std::string MessageText(ZipMessage id, const std::string& arg = {});

}  // namespace kuv::zip
