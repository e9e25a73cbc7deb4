#pragma once
// The browse window of a backup: its members against the data folder, a
// filter, the counts of each state, and the restore of chosen members over
// the data folder through the whole restore's safe path. The program goes on
// after a restore of chosen files; the table is compared again.

#include <string>
#include <vector>

#include "restore/BackupComparison.h"
#include "restore/RestoreWindowLogic.h"

namespace kuv::restore {

inline constexpr const char* kRestoreChosen = "Restaurer dans le dossier des données";
inline constexpr const char* kChosenRestored = "Les fichiers choisis ont été restaurés.";
inline constexpr const char* kChooseMembers = "Sélectionnez un ou plusieurs fichiers de la sauvegarde !";
inline constexpr const char* kExtractTo = "Extraire vers…";
inline constexpr const char* kTestBackup = "Tester la sauvegarde";
inline constexpr const char* kBackupDamaged = "La sauvegarde est endommagée, ces fichiers ne peuvent pas être relus :";

class BrowseView {
public:
    virtual ~BrowseView() = default;
    virtual void SetTitle(const std::string& title) = 0;
    // The rows the filter lets through, in the order of Rows().
    virtual void ShowRows(const std::vector<const ComparedFile*>& rows) = 0;
    virtual void ShowCounts(const std::string& counts) = 0;
};

// The standard folder dialog; the chosen folder (Linux path), empty when the
// user cancels.
class FolderPicker {
public:
    virtual ~FolderPicker() = default;
    virtual std::string PickFolder(const std::string& start) = 0;
};

struct BrowseContext {
    BrowseView& view;
    DialogPort& dialog;
    const backup::Clock& clock;
    std::string dataFolder;       // Linux path
    std::string shownDataFolder;  // as the user gave it, for the messages
    FolderPicker* folders = nullptr;  // "Extraire vers..."
    std::string programFolder;        // holds "Fichiers extraits", the folder offered first
};

class BrowseLogic {
public:
    explicit BrowseLogic(BrowseContext ctx) : ctx_(std::move(ctx)) {}

    // Lists archivePath against the data folder: "Contenu de la sauvegarde
    // du ..." + label. False (and a message) when it cannot be read.
    bool Open(const std::string& archivePath, const std::string& label);
    void SetFilter(const std::string& filter);
    // Settles the next "à vérifier" row by its CRC (the window calls it on
    // idle time until it returns false).
    bool SettleNext();
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

    const std::vector<ComparedFile>& Rows() const { return rows_; }
    const RestoreOutcome& LastOutcome() const { return lastOutcome_; }

    // "N identiques, N modifiés, N absents du dossier, N à vérifier, N
    // seulement dans le dossier".
    static std::string CountsText(const StateCounts& counts);

private:
    void Show();

    BrowseContext ctx_;
    std::string archivePath_;
    std::string filter_;
    std::vector<ComparedFile> rows_;
    RestoreOutcome lastOutcome_;
};

}  // namespace kuv::restore
