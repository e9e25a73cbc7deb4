#pragma once
// The logic of the restore window kuvzipf2: finding the backups of a folder
// (Drive1, Dir1, File1, List1) or of a cloud folder (List2), restoring the
// chosen one over the data folder after two typed confirmations, and the
// single-file tools of the archive opened by a double click in File1.
//
// It never touches widgets: the window implements RestoreWindowView and
// forwards its controls' clicks. The logic owns the window's engine instance
// MonZip from Load() to Unload() and handles its events.

#include <memory>
#include <string>
#include <vector>

#include "ui/Environment.h"
#include "ui/MainSettings.h"
#include "platform/Drives.h"
#include "restore/SafeRestore.h"
#include "ui/DialogPort.h"

class clsZip;

namespace kuv::restore {

// Texts of the window (UTF-8), exact.
inline constexpr const char* kWindowCaption = "Infos et Dézippage d'un fichier Zip avec zLib";
inline constexpr const char* kFilePattern = "kuv*.zip;secur*.zip";
inline constexpr const char* kInfoPattern = "info_sv_*.*";
inline constexpr const char* kCloudMarker = "DROP";
inline constexpr const char* kExtractedFolder = "Fichiers extraits";
inline constexpr const char* kRestoring = "Restauration en cours !";
inline constexpr const char* kRestoreDone = "Restauration terminée !";
inline constexpr const char* kRestored = "Vos données ont été restaurées, Relancez votre logiciel !";
inline constexpr const char* kKeptIn = "Les fichiers remplacés sont gardés dans : ";
inline constexpr const char* kDamaged =
    "La sauvegarde sélectionnée est endommagée, aucun fichier n'a été restauré !";
inline constexpr const char* kNotDone = "La restauration n'a pas pu être faite, aucun fichier n'a été restauré !";
inline constexpr const char* kDiskFull =
    "Le disque de vos données est plein : la sauvegarde n'a pas pu être extraite, aucun fichier n'a été restauré !";
inline constexpr const char* kUnreadable =
    "La sauvegarde n'a pas pu être lue (erreur de lecture du support), aucun fichier n'a été restauré !";
inline constexpr const char* kIncomplete =
    "La restauration est incomplète : certains fichiers n'ont pas pu être remis en place. Elle sera terminée au "
    "prochain démarrage de Kuv-Zip.";
inline constexpr const char* kBlocked = "La restauration n'a pas été faite, aucun fichier n'a été restauré !";
inline constexpr const char* kRestoredNotFlushed =
    "Vos fichiers ont été remis en place, mais leur écriture sur le disque n'a pas pu être confirmée : la "
    "restauration n'est peut-être pas complète sur le disque, vérifiez vos données. Relancez votre logiciel !";
inline constexpr const char* kChooseCloudCopy = "Sélectionnez un dossier dans la liste !";
inline constexpr const char* kEngineErrorTitle = "Erreur lors de l'ouverture ou l'extraction du Zip";
inline constexpr const char* kLineBreak = "\r\n";

// List2's place, in twips.
inline constexpr int kList2Left = 420;
inline constexpr int kList2Top = 360;

// One line of Dir1: the open folders from the drive's root down to the
// current folder, then the current folder's sub-folders.
struct FolderItem {
    std::string label;  // "c:\" for the root, else the folder's name
    std::string path;   // Linux path
    int depth = 0;      // indentation level
    bool open = false;  // an open folder (the root, an ancestor, the current one)
};

class RestoreWindowView {
public:
    virtual ~RestoreWindowView() = default;
    virtual void PlaceList2(int leftTwips, int topTwips) = 0;
    virtual void DressWindow() = 0;        // DressWindowFrame, then CentreWindow
    virtual void SetButtonPictures() = 0;  // Command5, Command2, Command8, Command1: 94, 60, 2, 3
    virtual void ShowDrives(const std::vector<std::string>& texts, int selected) = 0;      // Drive1
    virtual void ShowFolders(const std::vector<FolderItem>& items, int current) = 0;       // Dir1
    virtual void ShowFiles(const std::vector<std::string>& names) = 0;                     // File1
    virtual void ShowInfoFiles(const std::vector<std::string>& names) = 0;                 // File3
    // List1 / List2 with their selected entry (-1 for none), without raising
    // the lists' clicks.
    virtual void ShowList1(const std::vector<std::string>& entries, int selected) = 0;
    virtual void ShowList2(const std::vector<std::string>& entries, int selected) = 0;
    // Cloud mode hides Drive1, Dir1 and List1 and shows List2; local mode the
    // other way round.
    virtual void ShowCloudMode(bool cloud) = 0;
    virtual void SetModeMarker(const std::string& text) = 0;   // Label10
    virtual void SetChoice(const std::string& text) = 0;       // Label3
    virtual void SetStatus(const std::string& text) = 0;       // Label2
    virtual void SetMemberCount(const std::string& text) = 0;  // lblNbFichiers
    // Label2 shown and Label3 hidden (true), or the other way round.
    virtual void ShowStatusLine(bool shown) = 0;
    virtual void SetBusy(bool busy) = 0;                          // the busy mouse pointer
    virtual void ShowEngineError(const std::string& text) = 0;    // critical message box
    virtual void ShowComment(const std::string& text) = 0;        // message box, OK, default title
    // The system's input box, titled with the application's title. Returns:
    // false when cancelled; answer holds the text typed.
    virtual bool AskNumber(const std::string& prompt, const std::string& defaultAnswer, std::string& answer) = 0;
    virtual void Beep() = 0;
    virtual void WriteDiagnostic(const std::string& line) = 0;  // the program's diagnostic output
    virtual void CloseWindow() = 0;                            // "Quitter"
};

// The message of a restore that did not put every file in place, with the
// engine's error and (Incomplete) where the replaced files are kept.
std::string RestoreFailureText(const RestoreOutcome& outcome, const std::string& shownKeptFolder);

struct RestoreWindowContext {
    RestoreWindowView& view;
    DialogPort& dialog;
    const backup::Clock& clock;
    backup::EventPump& pump;
    const backup::SpecialFolders& specialFolders;
    std::vector<platform::DriveEntry> drives;  // the main window's drive list, c: first
    backup::ProgramEnd& end;
    const backup::MainSettings& settings;      // data folder, destination root, backup folder name
    std::string programFolder;                 // receives "Fichiers extraits"
};

class RestoreWindowLogic {
public:
    explicit RestoreWindowLogic(RestoreWindowContext context);
    ~RestoreWindowLogic();
    RestoreWindowLogic(const RestoreWindowLogic&) = delete;
    RestoreWindowLogic& operator=(const RestoreWindowLogic&) = delete;

    // The window's load step, once: places and dresses the window, creates
    // MonZip, points Drive1 / Dir1 / File1 at destination root + "\" + backup
    // folder name (c: when that drive or folder is missing).
    void Load();
    // Releases MonZip (closes its archive, schedules the deletion of the
    // members opened with their program).
    void Unload();

    void DriveChange(int index);            // Drive1 chosen
    void FolderChange(int itemIndex);       // a Dir1 line opened
    void File1DoubleClick(int index);       // opens the archive, shows its member count
    void List1Click(int index);
    void List2Click(int index);
    void ToggleOneDrive();                  // Command1
    void ToggleDropbox();                   // Command8

    // cdeExtraireTout: restores the chosen backup. A completed restore shows
    // its message and ends the program.
    void Restore();
    // Command5: the same, with Label2 shown in place of Label3 meanwhile.
    void RestoreWithStatusLine();
    void ExtractOneFile();      // cdeExtraireUnFichier
    void OpenOneFile();         // cmdLoadFileZ
    void ShowComment();         // cdeVoirComment
    void ListMembers();         // cdeVoirContenuZip
    void Quit();                // Command2

    // True while an operation runs on MonZip (the window then refuses to close).
    bool Busy() const { return busy_; }
    bool Ended() const { return ended_; }

    // State, as the window keeps it.
    int DriveIndex() const { return driveIndex_; }
    const std::string& FolderPath() const { return dir1Path_; }   // Dir1
    const std::string& FilesPath() const { return file1Path_; }   // File1
    const std::vector<std::string>& Files() const { return files_; }
    const std::vector<std::string>& List1() const { return list1_; }
    const std::vector<std::string>& List2() const { return list2_; }
    int List1Selected() const { return list1Selected_; }
    int List2Selected() const { return list2Selected_; }
    bool CloudMode() const { return !modeMarker_.empty(); }
    const std::string& CloudFolder() const { return cloudFolder_; }
    const std::string& ArchivePath() const { return archivePath_; }
    clsZip* Engine() { return engine_.get(); }
    // The archive and label of the backup chosen in List1 (or List2 in a
    // cloud mode); false when none is chosen.
    bool ChosenBackup(std::string& archive, std::string& label) const;
    // The data folder as a Linux path (empty when unset or unresolvable).
    std::string DataFolder() const;
    const RestoreOutcome& LastOutcome() const { return lastOutcome_; }

private:
    class BusyScope;
    void CreateEngine();
    void SetDrive(int index);
    void SetFolder(const std::string& path);
    void SetFilesPath(const std::string& path);
    void RebuildList1();
    void ToggleCloud(const char* folderName);
    // Adds the List2 entries of an information file: its newest copy, then
    // the older generations found beside it.
    void AddCloudCopies(const std::string& infoFileName);
    bool Confirm(const std::string& text);
    // Steps 1 to 4 of the single-file tools. Returns: the member number, 0
    // when the user cancelled or the number was refused.
    int AskMember();
    std::string ShownFolder(const std::string& name) const;
    // The first confirmation's line telling what the restore would change
    // (with its leading line break); empty when the archive cannot be read.
    std::string CountsLine(const std::string& archive) const;
    int CDriveIndex() const;

    RestoreWindowContext ctx_;
    std::unique_ptr<clsZip> engine_;
    int driveIndex_ = -1;
    std::string dir1Path_, file1Path_;
    std::vector<FolderItem> folders_;
    std::vector<std::string> files_, list1_, list2_;
    // The archive of each List2 entry: the newest copy named by the
    // information file's line, or an older generation listed after it
    // (empty when the line names none).
    std::vector<std::string> list2Archives_;
    int list1Selected_ = -1, list2Selected_ = -1;
    std::string modeMarker_, cloudFolder_, archivePath_;
    bool busy_ = false, ended_ = false;
    RestoreOutcome lastOutcome_;
};

}  // namespace kuv::restore
