#pragma once
// "Sauvegarder les PROGRAMMES" (Command6) and "Restaurer l'ancienne Version"
// (Command7): one restorable copy of the program files of the installation
// folder (the working directory at the click) in its sub-folder
// "Sauve_prog", dated by the marker "Sauve_prog/temoin.txt"; the restore asks
// for a typed "OUI". The running program itself is never copied either way.
//
// The backup is one set: written whole into a work folder ".kuvzip-jeu-XXXXXX"
// beside "Sauve_prog", then exchanged with it in one rename (RENAME_EXCHANGE),
// so that "Sauve_prog" always holds exactly one backup's files under its own
// date; a failure keeps the old set and says so, and a work folder a crash
// left is removed by the next program-file command. The restore puts the
// whole set back or nothing: every file is staged first, then each one is
// exchanged with the file it replaces, which is kept until the whole set is
// in place; a failure puts them all back. Symbolic links are saved and
// restored as links. One program-file command at a time works in a folder:
// each holds the folder locked (flock) while it runs, and a command of
// another process meanwhile refuses, touching nothing.

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ui/Environment.h"
#include "operations/OperationsView.h"
#include "ui/DialogPort.h"

namespace kuv::operations {

inline constexpr const char* kProgramBackupFolder = "Sauve_prog";
inline constexpr const char* kProgramMarker = "temoin.txt";

// Texts (UTF-8), exact.
inline constexpr const char* kProgramsSaved = " programmes sauvegardés !";
inline constexpr const char* kProgramsRestored = " programmes restaurés !";
inline constexpr const char* kNoOldVersion = "Vous n'avez pas de sauvegarde d'ancienne version à récupérer !";
inline constexpr const char* kConfirmRestoreStart = "Confirmez la restauration des programmes sauvegardés le ";
inline constexpr const char* kConfirmRestoreEnd = ", tapez 'OUI' pour confirmer ?|NON";
inline constexpr const char* kFilesNotCopied = " fichiers n'ont pas pu être copiés";
inline constexpr const char* kOldSetKept = "La sauvegarde précédente des programmes est conservée.";
inline constexpr const char* kNothingRestored = "Aucun programme n'a été remplacé.";

// The refusal of a program-file command while another process saves or
// restores the program files of folder.
std::string ProgramsBusyMessage(const std::string& folder);
// Prefix of the work folder of a program-file backup.
inline constexpr const char* kSetPrefix = ".kuvzip-jeu-";
inline constexpr const char* kProgramButtonTip = "Lancer la sauvegarde";

// A program file by its name (".exe", ".dll", ".ocx" or ".so" anywhere in it,
// in any letter case) or by its execute bit; never a name that holds
// "kuvzip.exe", nor one of the program's work files (".kuvzip-...").
bool IsProgramFile(const std::string& name, bool executable);

// The counts message: made + what, then, when some failed, the main window's
// line break + failed + " fichiers n'ont pas pu être copiés".
std::string CountMessage(int made, const char* what, int failed);

// The lock a program-file command holds on its installation folder.
class FolderLock;

struct ProgramFilesContext {
    DialogPort& dialog;
    OperationsView& view;
    const backup::Clock& clock;
    backup::EventPump& pump;
    // The installation folder: the current folder at the click.
    std::function<std::string()> installationFolder;
    // The running executable (compared by identity, never copied).
    std::string runningExecutable = "/proc/self/exe";
};

class ProgramFileCommands {
public:
    explicit ProgramFileCommands(ProgramFilesContext context);

    // Called after each step that changes the disk (tests stop there).
    void SetAfterStep(std::function<void()> afterStep) { afterStep_ = std::move(afterStep); }

    // Command6. Returns: the number of program files copied.
    int Backup();
    // Command7. Returns: the number of program files restored (0 when none
    // was saved or the user did not confirm).
    int Restore();
    // At the program's start: a restore of the program files a crash stopped
    // is rolled back (or finished). Returns: what the user is to be told
    // (empty: nothing); the caller chooses how (a dialog, or a notification
    // when nobody watches). A restore another process runs is left alone.
    std::string RecoverAtStart();

private:
    struct Counts {
        int made = 0, failed = 0;
    };
    // The program files of folder, in listing order (links included).
    std::vector<std::string> ProgramNames(const std::string& folder, const std::vector<std::string>& names) const;
    bool SaveSet(const std::string& folder, const std::vector<std::string>& names, Counts& counts);
    bool RestoreSet(const std::string& saved, const std::vector<std::string>& names, const std::string& folder,
                    Counts& counts, bool& journalKept);
    // Recovers a restore a crash stopped in folder, and tells the user.
    // Returns: false when another process's command holds the folder (lock
    // busy) or a restore's journal is still there (another process's restore
    // under way, or one that cannot be finished now): the command then
    // changes nothing.
    bool RecoverFirst(const std::string& folder, const FolderLock& lock);
    void Step();
    bool IsRunningProgram(const std::string& path) const;
    void Message(const std::string& text);

    ProgramFilesContext ctx_;
    std::function<void()> afterStep_;
};

}  // namespace kuv::operations
