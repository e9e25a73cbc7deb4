#pragma once
// The browse window of a backup: its members against the data folder, a
// filter, the counts of each state, and the restore of chosen members over
// the data folder through the whole restore's safe path. The program goes on
// after a restore of chosen files; the table is compared again.

#include <string>
#include <vector>

#include "restore/BackupComparison.h"
#include "restore/RestoreWindowLogic.h"
#include "ui/Environment.h"

namespace kuv::restore {

inline constexpr const char* kRestoreChosen = "Restaurer dans le dossier des données";
inline constexpr const char* kChosenRestored = "Les fichiers choisis ont été restaurés.";
inline constexpr const char* kChooseMembers = "Sélectionnez un ou plusieurs fichiers de la sauvegarde !";
inline constexpr const char* kExtractTo = "Extraire vers…";
inline constexpr const char* kTestBackup = "Tester la sauvegarde";
inline constexpr const char* kBackupDamaged = "La sauvegarde est endommagée, ces fichiers ne peuvent pas être relus :";
inline constexpr const char* kArchiveDamaged = "L'archive est endommagée, ces fichiers ne peuvent pas être relus :";
inline constexpr const char* kOpenMember = "Ouvrir";
inline constexpr const char* kOpenArchive = "Ouvrir une archive…";
inline constexpr const char* kChooseOneMember = "Sélectionnez un seul fichier de la sauvegarde à ouvrir !";
inline constexpr const char* kArchiveFilter = "Archives Zip (*.zip *.ZIP)";
// The desktop's opener, which starts the program associated with a file.
inline constexpr const char* kDesktopOpener = "xdg-open";

class BrowseView {
public:
    virtual ~BrowseView() = default;
    virtual void SetTitle(const std::string& title) = 0;
    // The rows the filter lets through, in the order of Rows().
    virtual void ShowRows(const std::vector<const ComparedFile*>& rows) = 0;
    virtual void ShowCounts(const std::string& counts) = 0;
    // true: a backup listed by the restore window, compared with the data
    // folder (the state column, and the restore over the data folder);
    // false: another archive, only listed.
    virtual void ShowComparedWithFolder(bool compared) = 0;
};

// The standard folder dialog; the chosen folder (Linux path), empty when the
// user cancels.
class FolderPicker {
public:
    virtual ~FolderPicker() = default;
    virtual std::string PickFolder(const std::string& start) = 0;
};

// The standard file dialog for an archive to open; the chosen file (Linux
// path), empty when the user cancels. filter: "Archives Zip (*.zip *.ZIP)".
class ArchivePicker {
public:
    virtual ~ArchivePicker() = default;
    virtual std::string PickArchive(const std::string& start, const std::string& filter) = 0;
};

struct BrowseContext {
    BrowseView& view;
    DialogPort& dialog;
    const backup::Clock& clock;
    std::string dataFolder;       // Linux path
    std::string shownDataFolder;  // as the user gave it, for the messages
    FolderPicker* folders = nullptr;  // "Extraire vers..."
    std::string programFolder;        // holds "Fichiers extraits", the folder offered first
    ArchivePicker* archives = nullptr;          // "Ouvrir une archive..."
    backup::ProgramLauncher* launcher = nullptr;  // "Ouvrir"
};

class BrowseLogic {
public:
    explicit BrowseLogic(BrowseContext ctx) : ctx_(std::move(ctx)) {}

    // Lists archivePath against the data folder: "Contenu de la sauvegarde
    // du ..." + label. False (and the engine's message) when it cannot be
    // read; the window then stays as it was.
    bool Open(const std::string& archivePath, const std::string& label);
    // Lists another archive, compared with nothing: it can be tested, its
    // members extracted or opened, not restored over the data folder. False
    // (and the engine's message) when it cannot be read; the window then
    // stays as it was.
    bool OpenOther(const std::string& archivePath);
    // "Ouvrir une archive...": the file dialog, then OpenOther.
    bool PickAndOpenOther();
    void SetFilter(const std::string& filter);
    // Settles the next "à vérifier" rows by their CRC, kSettleRows rows or
    // kSettleBytes bytes read at most, then shows the table once (the window
    // calls it on idle time until it returns false).
    bool SettleNext();
    static constexpr int kSettleRows = 200;
    static constexpr std::uint64_t kSettleBytes = 16u << 20;
    // Asks for the typed confirmation and restores the chosen members.
    void RestoreChosen(const std::vector<std::string>& paths);
    // Reads every member of the browsed backup back through the engine
    // (nothing is written) and tells whether it is sound or which members
    // are damaged. True when sound.
    bool TestBackup();
    // Writes the chosen members, with their sub-folders, into a folder the
    // user picks. A file already there is replaced only when the user types
    // "OUI"; otherwise it stays as it is.
    void ExtractChosen(const std::vector<std::string>& paths);
    // "Ouvrir": takes the one chosen member out through the engine into a
    // private temporary folder of this user (a new one each time, mode 0700,
    // never the data folder) and starts the program the desktop associates
    // with it. Nothing is started when the member cannot be read whole.
    void OpenChosen(const std::vector<std::string>& paths);
    // Whether paths are exactly one member of the archive ("Ouvrir").
    bool CanOpen(const std::vector<std::string>& paths) const;

    const std::vector<ComparedFile>& Rows() const { return rows_; }
    const RestoreOutcome& LastOutcome() const { return lastOutcome_; }

    // "N identiques, N modifiés, N absents du dossier, N à vérifier, N
    // seulement dans le dossier", each word in the singular for 0 and 1; for
    // an archive compared with nothing, "N fichiers". shown (from 0, when the
    // filter is in use): how many rows it lets through.
    static std::string CountsText(const StateCounts& counts, int shown = -1, bool compared = true);

private:
    void Show();
    std::vector<const ComparedFile*> ChosenMembers(const std::vector<std::string>& paths) const;

    BrowseContext ctx_;
    std::string archivePath_;
    std::string filter_;
    std::vector<ComparedFile> rows_;
    RestoreOutcome lastOutcome_;
    bool compared_ = true;
    size_t settleFrom_ = 0;  // rows before it hold no "à vérifier"
};

}  // namespace kuv::restore
