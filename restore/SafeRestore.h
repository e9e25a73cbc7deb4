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
//    hold stay where they are. Only the three most recent such folders are
//    kept.
// 3. The data folder's file system is flushed to the medium.
// On any failure (archive missing or unreadable, a damaged member, no room,
// no write right, a rename refused) the data folder is left as it was: the
// staging files are removed and every move already made is undone.

#include <string>
#include <vector>

#include "ui/Environment.h"

class clsZip;

namespace kuv::restore {

inline constexpr const char* kStagingPrefix = ".kuvzip-restauration-";
inline constexpr const char* kKeptFolderPrefix = "Avant restauration ";
inline constexpr int kKeptFoldersKept = 3;

enum class RestoreResult {
    Restored,  // every member is in place
    Damaged,   // a member of the archive is damaged or unreadable: nothing changed
    NotDone,   // the archive is missing or not an archive, or the data folder
               // could not be written: nothing changed
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
};

// "Avant restauration yymmddhhmm" for the date and time now.
std::string KeptFolderName(const backup::DateTime& now);

// Removes the staging folders a restore interrupted by a crash left in
// dataFolder (a Linux path). Returns: how many were removed.
int RemoveLeftoverStaging(const std::string& dataFolder);

// Removes the "Avant restauration" folders of dataFolder beyond the keep most
// recent ones (by the date and number of their names). Returns: the names
// removed.
std::vector<std::string> PruneKeptFolders(const std::string& dataFolder, int keep = kKeptFoldersKept);

// Restores archivePath over dataFolder (Linux paths) through engine, which
// closes any archive it has open first and holds the restored archive open
// afterwards. The engine's ZipError events are collected, not passed to the
// handler the owner set, while this runs. A missing data folder is created
// first (and removed again on failure). REQUIRES: no other operation of
// engine is running.
RestoreOutcome RestoreArchive(clsZip& engine, const std::string& archivePath, const std::string& dataFolder,
                              const backup::DateTime& now);

}  // namespace kuv::restore
