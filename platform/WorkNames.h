#pragma once
// The names the program gives its own work files and folders inside a data
// folder, and the look a backup takes at a restore left unfinished there.
// A work name is never data: a backup leaves it out, a restore never places
// it, and only a work name is ever removed as a leftover.

#include <string>
#include <string_view>

namespace kuv::platform {

// The staging folder of a restore: this prefix + six characters.
inline constexpr const char* kRestoreStagingPrefix = ".kuvzip-restauration-";
// The journal of the restore's placement, beside its staging folder.
inline constexpr const char* kRestoreJournalName = ".kuvzip-restauration.journal";
// The empty file that marks the kept folder ("Avant restauration ...") of a
// restore of chosen files, so that it is never counted among (and never
// pushes out) the kept folders of whole restores. Not a work name: it stays
// with the kept files.
inline constexpr const char* kPartialRestoreMarker = ".kuvzip-restauration-partielle";

// True for the program's work names: the restore's staging folder and
// journal (and the journal's temporary file), the engine's part files
// ".kuvzip-<pid>-<n>.part" and whole-file work files ".kuvzip-XXXXXX".
bool IsWorkName(std::string_view name);

// The process number of a part file's name ".kuvzip-<pid>-<n>.part"; 0 for
// any other name.
long PartFileProcess(std::string_view name);

// Whether path still names the file open as fd (not one removed or replaced
// since it was opened).
bool StillNamed(int fd, const std::string& path);

// What RemoveUnusedWorkFile did with a leftover.
enum class WorkFileRemoval {
    Removed,  // it was unused and is gone
    InUse,    // its writer holds it locked: left alone
    NotOurs,  // not a regular file of this user, or refused by the caller's test: left alone
    Gone,     // no longer there, or moved while it was looked at
    Failed,   // unused, but the removal failed (errno tells why)
};

// Removes the work file folder/name when nobody uses it: it must be a regular
// file owned by this user (never followed through a link), its exclusive
// advisory lock must be free (every writer of a work file holds one while the
// file lives), accept (when given) must take the open file, and the name must
// still lead to the file that was locked.
WorkFileRemoval RemoveUnusedWorkFile(const std::string& folder, const std::string& name,
                                     bool (*accept)(int fd) = nullptr);

// Whether a restore of dataFolder was left unfinished: its journal is still
// there. reason (when given) receives the text telling the user why no
// backup or restore of the folder runs.
bool RestorePending(const std::string& dataFolder, std::string* reason = nullptr);

}  // namespace kuv::platform
