#pragma once
// The journal of a restore of the program files: written in the installation
// folder before the first file is exchanged, locked while the restore runs,
// removed once the set is whole again. A restore stopped by a crash leaves
// it; the next program-file command (or the next start) reads it and puts
// the whole old set back, or, when the restore had already begun removing
// the replaced files, finishes it: never a mix of both sets.

#include <cstdint>
#include <string>
#include <vector>

namespace kuv::operations {

inline constexpr const char* kRestoreJournal = ".kuvzip-programmes.journal";

// Texts (UTF-8), exact.
inline constexpr const char* kRestoreRolledBack =
    "La restauration des programmes a été interrompue : les anciennes versions ont été remises en place.";
inline constexpr const char* kRestoreRolledForward =
    "La restauration des programmes a été interrompue : elle a été terminée, les versions restaurées sont en place.";

// The message for a restore that cannot be finished now, naming its folder.
std::string RestoreUnfinishedMessage(const std::string& folder);

// One file of the set: its name in the installation folder, the work name
// that holds the staged file (and, once exchanged, the file it replaced),
// whether a file was there to replace, and the fingerprint of the staged
// file (a link: of the text it points to; a file: with its permissions, so
// that a file the restore changes only in its execute bit is told apart).
struct JournalPair {
    std::string target, work;
    bool replaces = false;
    bool link = false;
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    unsigned mode = 0;  // permission bits of a file; 0: not recorded
};

// Fills pair's fingerprint from what path holds. Returns: false when it
// cannot be read.
bool Fingerprint(const std::string& path, JournalPair& pair);

class RestoreJournal {
public:
    RestoreJournal() = default;
    ~RestoreJournal();
    RestoreJournal(const RestoreJournal&) = delete;
    RestoreJournal& operator=(const RestoreJournal&) = delete;

    // Writes the journal of pairs in folder (durable, folder flushed) and
    // locks it. Returns: false (nothing left) when it could not be.
    bool Write(const std::string& folder, const std::vector<JournalPair>& pairs);
    // The set is whole again: the journal goes (folder flushed).
    bool Remove();
    // Keeps the journal for the recovery (the lock goes with the object).
    void Keep();

private:
    std::string folder_;
    int fd_ = -1;
};

enum class ProgramRecovery { Nothing, Busy, RolledBack, RolledForward, Unfinished };

struct ProgramRecoveryReport {
    ProgramRecovery outcome = ProgramRecovery::Nothing;
    int undone = 0;  // files put back (roll-back) or old files removed
    // What the user is told (empty: nothing to tell).
    std::string message;
};

// Recovers a restore a crash stopped in folder: nothing when no journal is
// there, Busy when a live restore holds it. A pair that cannot be judged, or
// a rename that fails, keeps the journal (Unfinished); no work file it names
// is removed before the set is whole.
ProgramRecoveryReport RecoverProgramRestore(const std::string& folder);

// A journal is in folder (the sweeps of leftovers leave folder alone).
bool RestoreJournalPresent(const std::string& folder);

}  // namespace kuv::operations
