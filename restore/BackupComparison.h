#pragma once
// A backup's members against the data folder's files, for browsing a backup
// and for telling what a whole restore would change. Pure apart from
// ListDataFolder and SettleByCrc, which read the data folder.
//
// The rule, per path (as the restore writes it, "/" between parts):
// - only in the backup: AbsentFromFolder; only in the folder: OnlyInFolder;
// - sizes differ: Modified;
// - sizes equal and dates within 2 s (the precision of the archive's dates,
//   both read in local time): Identical, nothing read;
// - sizes equal, dates differ: ToCheck, until SettleByCrc reads the file and
//   compares its CRC-32 with the member's.

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

class clsZip;

namespace kuv::restore {

// NotCompared: a member of an archive browsed without a data folder to
// compare it with (an archive the user picked, not a listed backup).
enum class FileState { Identical, Modified, AbsentFromFolder, ToCheck, OnlyInFolder, NotCompared };

// The state's words in the browse table.
const char* StateText(FileState state);

struct BackupMember {
    std::string path;
    std::int32_t number = 0;  // for the engine's single-member calls
    std::uint64_t size = 0;
    std::uint32_t crc32 = 0;
    std::time_t modified = 0;  // the stored local date, as a time
    bool dateKnown = true;
};

struct FolderFile {
    std::string path;
    std::uint64_t size = 0;
    std::time_t modified = 0;
};

struct ComparedFile {
    std::string path;
    FileState state = FileState::AbsentFromFolder;
    std::int32_t number = 0;  // 0 for OnlyInFolder
    std::uint64_t size = 0;   // the backup's size, or the folder's for OnlyInFolder
    std::time_t modified = 0;
    std::uint32_t crc32 = 0;
};

struct StateCounts {
    int identical = 0, modified = 0, absent = 0, toCheck = 0, onlyInFolder = 0, notCompared = 0;
};

// The members of the archive open in engine (folders and refused names left
// out).
std::vector<BackupMember> ListMembers(const clsZip& engine);

// Every file under dataFolder, recursively, without the program's work
// names and the "Avant restauration" folders; links are not followed. ok
// (when given) is false when a folder could not be listed whole.
std::vector<FolderFile> ListDataFolder(const std::string& dataFolder, bool* ok = nullptr);

// The backup's members in their order, then the folder's files the backup
// does not hold, sorted by path.
std::vector<ComparedFile> Compare(const std::vector<BackupMember>& members, const std::vector<FolderFile>& folder);

// The members in their order, NotCompared.
std::vector<ComparedFile> Listed(const std::vector<BackupMember>& members);

StateCounts CountStates(const std::vector<ComparedFile>& files);

// Settles one ToCheck row by the CRC-32 of its file in dataFolder: Identical
// or Modified (Modified too when the file cannot be read). Returns: whether
// the row changed.
bool SettleByCrc(ComparedFile& file, const std::string& dataFolder);

// The line a whole restore's first confirmation adds: "N fichiers seront
// remplacés, M ajoutés, K identiques ; L fichiers du dossier ne sont pas dans
// la sauvegarde et resteront." (rows still ToCheck count as replaced).
std::string RestoreCountsLine(const StateCounts& counts);

// The counts line for restoring archivePath over dataFolder; empty when the
// archive or the folder cannot be read (no count rather than a false one).
std::string RestoreCountsLineFor(const std::string& archivePath, const std::string& dataFolder);

// Whether name contains filter, without regard to case or accents (UTF-8).
bool MatchesFilter(const std::string& name, const std::string& filter);

}  // namespace kuv::restore
