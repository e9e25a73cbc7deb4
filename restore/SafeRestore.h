#pragma once
// Restoring a backup archive over the data folder as one safe step.
//
// 1. Every member is taken out, with its sub-folders and its stored date, into
//    a staging folder made inside the data folder (".kuvzip-restauration-"
//    + six characters), so that the last step is renames on one file system.
//    The engine checks each member's size and CRC as it inflates it: the
//    check and the taking-out are the same pass.
// 2. Only when every member came out right are the files moved into place.
//    A file of the data folder that a restored file replaces is first moved,
//    with its path relative to the data folder, into the dated sub-folder
//    "Avant restauration yymmddhhmm" (" (2)", " (3)"... when the name is
//    taken), made only when something is replaced. Files the backup does not
//    hold stay where they are. Only the three most recent such folders of
//    whole restores are kept, and apart from them the three most recent of
//    restores of chosen files.
//    Before the first move, the staged files and folders are flushed to the
//    medium, the list of moves is checked against the archive's members
//    (count and names), and the journal of the placement is written and
//    flushed (recovery/RestoreJournal.h): a crash from then on is finished at
//    the next start.
// 3. The data folder's file system is flushed to the medium; the journal is
//    marked done, and the staging folder and the journal are removed.
// On any failure before the placement (archive missing or unreadable, a
// damaged member, no room, no write right, a listing or a flush refused) the
// data folder is left as it was. A rename refused during the placement undoes
// every move already made; when the undo fails too, the journal stays and
// the next start finishes the restore.

#include <string>
#include <vector>

#include "ui/Environment.h"
#include "platform/WorkNames.h"

class clsZip;

namespace kuv::restore {

inline constexpr const char* kStagingPrefix = platform::kRestoreStagingPrefix;
inline constexpr const char* kKeptFolderPrefix = "Avant restauration ";
// The kept folders of restores of chosen files bear the same name and hold
// the marker platform::kPartialRestoreMarker; earlier versions named them
// with this prefix instead.
inline constexpr const char* kOldPartialKeptFolderPrefix = "Avant restauration partielle ";
inline constexpr int kKeptFoldersKept = 3;

enum class RestoreResult {
    Restored,    // every member is in place and flushed to the medium
    NotFlushed,  // every member is in place, but the flush to the medium failed
    Damaged,     // a member of the archive is damaged: nothing changed
    NotDone,     // the archive is missing or not an archive, or the data folder
                 // could not be written or read: nothing changed
    DiskFull,    // no room to take the backup out: nothing changed
    ReadError,   // the backup's medium could not be read: nothing changed
    Incomplete,  // the placement failed and could not be undone: the journal
                 // stays, the next start finishes the restore
    Blocked,     // an interrupted restore of the data folder is not finished
};

struct RestoreOutcome {
    RestoreResult result = RestoreResult::NotDone;
    // The engine's first error during the restore (0 when it raised none).
    int errorNumber = 0;
    std::string errorText;
    // Name of the "Avant restauration ..." folder that holds the replaced
    // files; empty when nothing was replaced.
    std::string keptFolderName;
    int restoredFiles = 0;
    bool synced = false;  // the file system was flushed after the renames
    // Why the restore did not happen, when the engine did not say (a
    // listing, a flush, the move list); the reason of Blocked.
    std::string detail;
};

// "Avant restauration yymmddhhmm" for the date and time now.
std::string KeptFolderName(const backup::DateTime& now);

// What a folder of the data folder is to the pruning.
enum class KeptKind {
    None,     // not a kept folder
    Whole,    // "Avant restauration yymmddhhmm" [" (n)"] of a whole restore
    Partial,  // the same name holding the marker of a restore of chosen
              // files, or "Avant restauration partielle yymmddhhmm" [" (n)"]
};
KeptKind KeptFolderKind(const std::string& dataFolder, const std::string& name);

// Removes the kept folders of dataFolder beyond the keep most recent whole
// restores' and, counted apart, the keep most recent partial restores' (by
// the date and number of their names), so that a restore of chosen files
// never pushes out a whole restore's folder; never the one a journal of the
// folder still refers to. Returns: the names removed.
std::vector<std::string> PruneKeptFolders(const std::string& dataFolder, int keep = kKeptFoldersKept);

// Restores archivePath over dataFolder (Linux paths) through engine, which
// closes any archive it has open first and holds the restored archive open
// afterwards. The engine's ZipError events are collected, not passed to the
// handler the owner set, while this runs. A missing data folder is created
// first (and removed again on failure). REQUIRES: no other operation of
// engine is running.
RestoreOutcome RestoreArchive(clsZip& engine, const std::string& archivePath, const std::string& dataFolder,
                              const backup::DateTime& now);

// Restores only the members of archivePath whose paths (as
// clsZip::FileTargets gives them) are listed, by the same safe path: staged
// and checked first, journal, kept copies in "Avant restauration yymmddhhmm"
// (marked as a partial restore's before the first file moves in), flush. The other files of the data folder are not touched. A
// path the archive does not hold, or an empty list, restores nothing
// (NotDone).
RestoreOutcome RestoreMembers(clsZip& engine, const std::string& archivePath, const std::string& dataFolder,
                              const backup::DateTime& now, const std::vector<std::string>& memberPaths);

}  // namespace kuv::restore
