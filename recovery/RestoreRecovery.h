#pragma once
// The look taken at a data folder before anything else, when the program
// starts (main window, restore window): a restore that a crash interrupted
// is finished, and the program's own leftovers are removed.
//
// - A journal of an unfinished placement is finished forward, file by file,
//   from the staging copy where it still matches the size and CRC the
//   journal records; a file whose staged copy is missing or does not match
//   is put back from the kept folder. Then the folder is flushed, the
//   journal marked done, the staging folder and the journal removed.
// - When that cannot be done (a medium still read-only, a staged file gone
//   with no kept copy, a journal that does not match the disk), the journal
//   stays: no backup nor restore of the folder runs until a recovery succeeds.
// - A staging folder without a journal (a crash while the backup was taken
//   out) is removed: the data folder was not touched.
// - The engine's part files (".kuvzip-<pid>-<n>.part") whose process is gone
//   and work files (".kuvzip-XXXXXX") nobody holds are removed.
// A journal or staging folder another process holds locked (a restore in
// progress) is left alone. Nothing but the program's work names is removed.

#include <string>
#include <vector>

namespace kuv::recovery {

enum class RecoveryState {
    Nothing,          // nothing to recover
    StagingRemoved,   // an interrupted taking-out was cleaned: nothing had changed
    Finished,         // an interrupted placement was finished
    AlreadyComplete,  // the placement had ended; only its work files were left
    CannotFinish,     // the folder stays half restored; the journal stays
    Unusable,         // a journal that cannot be read or does not match the disk; it stays
    InUse,            // another process is restoring this folder: left alone
};

struct RecoveryReport {
    RecoveryState state = RecoveryState::Nothing;
    std::string dataFolder;
    std::string keptFolderName;
    int placed = 0;      // files put in place from the staging copy
    int rolledBack = 0;  // files put back from the kept folder
    std::vector<std::string> failed;  // files that could be neither placed nor put back
    int leftoversRemoved = 0;
};

// Looks at dataFolder (a Linux path) and recovers what is there.
RecoveryReport RecoverDataFolder(const std::string& dataFolder);

// The text telling the user what was done (empty when there is nothing to
// tell), ending, after a finished restore, with "Relancez votre logiciel !".
std::string RecoveryMessage(const RecoveryReport& report);

// Whether the report must be told to the user.
inline bool RecoveryToTell(const RecoveryReport& r) {
    return r.state != RecoveryState::Nothing && r.state != RecoveryState::InUse;
}

}  // namespace kuv::recovery
