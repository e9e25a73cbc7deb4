#pragma once
// The developer test panel: buttons that drive the main window's engine
// instance directly, outside the backup job. They build an in-memory member
// list from folders (FileAdd with the three path modes), count it, list it,
// remove one entry, create an archive in one streaming pass, and add a file
// to or remove a member from the test archive "TestVersGrosZip.zip"; the last
// button opens the restore window.
//
// The logic never touches widgets. It reports in the main window's Label5
// (TestPanelView::SetStatus) and in standard message and input boxes
// (MessageBoxPort), and writes every event the engine raises during a button
// into the panel's journal. Each button borrows the engine's events for its
// own run and gives the previous handlers back afterwards, so that the backup
// job's handlers are never left pointing at the panel.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Drives.h"
#include "ui/MessageBoxPort.h"

class clsZip;

namespace kuv::testpanel {

// The test archive, in the folder where the program writes its own files.
inline constexpr const char* kTestArchiveName = "TestVersGrosZip.zip";

// Label5 texts (UTF-8), exact.
inline constexpr const char* kCountSuffix = " fichiers à Sauvegarder";
inline constexpr const char* kEntryRemoved = "Fichier supprimé des éléments à zipper";
inline constexpr const char* kEntryNotRemoved = "Erreur suppression ! Les éléments à zipper sont inchangés.";
inline constexpr const char* kCreatedPrefix = "fichier zip créé avec ";
inline constexpr const char* kCreatedSuffix = " fichiers";
inline constexpr const char* kCreateFailed = "Echec de création du fichier zip";
inline constexpr const char* kAdded = "fichier saisi ajouté au fichier Zip existant";
inline constexpr const char* kAddFailed = "Echec ajout au zip, Zip existant inchangé";
inline constexpr const char* kRemoved = "fichier saisi supprimé du fichier Zip existant";
inline constexpr const char* kRemoveFailed = "Echec de suppression du zip, Zip existant inchangé";
inline constexpr const char* kRestoreUnavailable =
    "Affichage et Dézippage indisponible : la fenêtre de restauration n'est pas installée";

// Box texts (UTF-8), exact.
inline constexpr const char* kBoxTitle = "Kuv-Zip";
inline constexpr const char* kLookAtTheList =
    "Regarder dans la liste des fichiers sélectionnés à zipper, le n° de celui à supprimer";
inline constexpr const char* kEntryNumberTitle = "Entrer le paramètre";
inline constexpr const char* kEntryNumberPrompt = "Indiquer le N° du fichier à effacer de la liste à zipper";
inline constexpr const char* kNotANumberTitle = "Echec dans la saisie";
inline constexpr const char* kNotANumber = "C'est un n° qui est demandé !";
inline constexpr const char* kAddIntoTitle = "Ajout d'1 fichier à 1 zip existant";
inline constexpr const char* kAddIntoPrompt = "Indiquer le nom du fichier à ajouter avec son chemin";
inline constexpr const char* kRemoveFromTitle = "Suppression d'1 fichier d'1 zip existant";
inline constexpr const char* kRemoveFromPrompt =
    "Indiquer le nom, avec son chemin tel que le zip le garde, du fichier à supprimer du zip";

// What the panel shows.
class TestPanelView {
public:
    virtual ~TestPanelView() = default;
    // The main window's Label5.
    virtual void SetStatus(const std::string& text) = 0;
    // One line of the panel's journal (an engine event, a button's outcome).
    virtual void AddJournalLine(const std::string& line) = 0;
};

// The restore window kuvzipf2, filled by the program when it has one.
class RestoreWindowPort {
public:
    virtual ~RestoreWindowPort() = default;
    // Shows the restore window modally; returns once it is closed.
    virtual void OpenModal() = 0;
};

struct TestPanelContext {
    TestPanelView& view;
    MessageBoxPort& boxes;
    // The main window's engine instance; null before its startup made it.
    std::function<clsZip*()> engine;
    // The folder File1 lists: the data folder, resolved; empty when unset or
    // on a missing drive.
    std::function<std::string()> file1Folder;
    // The drive list, to resolve a typed Windows-style path.
    std::function<std::vector<platform::DriveEntry>()> drives;
    std::string currentFolder;  // the process's current folder ("*.cls")
    std::string programFolder;  // the executable's folder ("..\*.txt")
    std::string archiveFolder;  // where TestVersGrosZip.zip lives
    RestoreWindowPort* restore = nullptr;  // null: the program has no restore window
};

// An answer to "Indiquer le N° ...".
struct EntryNumberAnswer {
    bool numeric = false;  // a decimal number, sign, fraction ("," or ".") and exponent allowed
    bool usable = false;   // a whole number without sign or fraction that fits 32 bits
    std::int32_t number = 0;  // the number when usable
};
// Returns: how the typed text reads as an entry number (blanks around it ignored).
EntryNumberAnswer ReadEntryNumber(const std::string& text);

class TestPanelLogic {
public:
    explicit TestPanelLogic(TestPanelContext context);

    // cdeAjouterSansRépertoire: File1's folder + "/*.*", names only, sub-folders walked.
    void AddWithoutFolders();
    // cdeAjouterAvecRépertoires: "*.cls" of the current folder, full paths.
    void AddWithFullPaths();
    // cdeAjouterAvecRépertoiresRelatifs: program folder + "/../*.txt", paths relative to the current folder.
    void AddWithRelativePaths();
    // cdeCombien: Label5 := count + " fichiers à Sauvegarder".
    void ShowCount();
    // cdeListeFichiers: the list in one message box (empty text for an empty list).
    void ShowList();
    // CdeSupp: removes one pending entry by the number the user types.
    void RemoveFromSelection();
    // CmdConceptYB: streaming creation of the test archive from File1's folder.
    void CreateStreaming();
    // CmdAjZip: adds a typed file into the test archive.
    void AddIntoArchive();
    // cmdSu: removes a typed member from the test archive.
    void RemoveFromArchive();
    // CdeUZip: the restore window, modally.
    void OpenRestoreWindow();

    // Returns: the list text, one line per pending entry, CR LF after each:
    // i + " - " + name + " - compression à : " + compressed + " - taille orig. : " + original.
    std::string ListText();
    // Returns: the test archive's path.
    std::string ArchivePath() const;

private:
    // Runs one button with the engine's events written into the journal;
    // a missing engine or an unexpected failure is written there too.
    void WithEngine(const char* button, const std::function<void(clsZip&)>& action);
    // True (and written in the journal) while another button's engine operation runs.
    bool Refused(const char* button);
    void Journal(const std::string& line) { ctx_.view.AddJournalLine(line); }
    void AddPattern(clsZip& engine, const std::string& pattern, std::int16_t pathChoice);

    TestPanelContext ctx_;
    bool busy_ = false;  // a button's engine operation is running
};

}  // namespace kuv::testpanel
