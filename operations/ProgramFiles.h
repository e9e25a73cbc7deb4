#pragma once
// "Sauvegarder les PROGRAMMES" (Command6) and "Restaurer l'ancienne Version"
// (Command7): one restorable copy of the program files of the installation
// folder (the working directory at the click) in its sub-folder
// "Sauve_prog", dated by the marker "Sauve_prog/temoin.txt"; the restore asks
// for a typed "OUI". Each file is copied through a temporary file and a
// rename, so that a program file is replaced whole or not at all; the
// messages count the copies made and, on a second line, those that failed.
// The running program itself is never copied either way.

#include <functional>
#include <string>
#include <vector>

#include "backup/Environment.h"
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
inline constexpr const char* kProgramButtonTip = "Lancer la sauvegarde";

// A program file by its name (".exe", ".dll", ".ocx" or ".so" anywhere in it,
// in any letter case) or by its execute bit; never a name that holds
// "kuvzip.exe", nor one of the program's work files (".kuvzip-...").
bool IsProgramFile(const std::string& name, bool executable);

// The counts message: made + what, then, when some failed, the main window's
// line break + failed + " fichiers n'ont pas pu être copiés".
std::string CountMessage(int made, const char* what, int failed);

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

    // Command6. Returns: the number of program files copied.
    int Backup();
    // Command7. Returns: the number of program files restored (0 when none
    // was saved or the user did not confirm).
    int Restore();

private:
    struct Counts {
        int made = 0, failed = 0;
    };
    Counts CopyProgramFiles(const std::string& fromFolder, const std::vector<std::string>& names,
                            const std::string& toFolder);
    bool IsRunningProgram(const std::string& path) const;
    void Message(const std::string& text);

    ProgramFilesContext ctx_;
};

}  // namespace kuv::operations
