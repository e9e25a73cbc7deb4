#pragma once
// The logic of the main window kuvzipf1: startup (Kuv-Zip.ini, the requests
// of the link file, the run mode, the destination list), the data backup
// button, the one-shot timers of the automatic modes, "Outils" and "Quitter";
// and the other commands of operations/ (the copies to Dropbox, OneDrive and
// the exchange folder, the program files, "Zip Mail"), reached from here.
//
// It never touches widgets: the window implements MainWindowView (which also
// serves the destination list and the backup job) and hands the logic its
// environment. The window calls Startup() once from its load step, then
// forwards its buttons, Combo1's click and its timers.
//
// Settings and flags live here for the whole run; the backup engine (one
// clsZip for the run) is created by startup and handed to the backup job.

#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "backup/DataBackupJob.h"
#include "mainwindow/DestinationList.h"
#include "ui/Environment.h"
#include "ui/MainSettings.h"
#include "operations/CopyCommands.h"
#include "operations/OperationsView.h"
#include "operations/ProgramFiles.h"
#include "operations/UnattendedDialog.h"
#include "platform/Drives.h"
#include "ui/DialogPort.h"
#include "ui/Notifications.h"

class clsZip;

namespace kuv::backup {

// Texts of the main window (UTF-8), exact.
inline constexpr const char* kTitleSecurityBackup = "Sauvegarde de sécurité sur le disque C:";
inline constexpr const char* kTitleDesktopBackup = "Sauvegarde des données sur le Bureau";
inline constexpr const char* kTitleDefaultDiskC = "Disque C: sélectionné par défaut !";
inline constexpr const char* kAskDataFolder = "Entrez le chemin du repertoire à sauvegarder ?|";
inline constexpr const char* kAskDestination = "Entrez la lettre de la clé usb à utiliser ?|";
inline constexpr const char* kAskLinkedProgram = "Logiciel à lier ? (Cliquez sur OK sans mettre de nom)|";
inline constexpr const char* kConfigured =
    "Votre sauvegarde est configurée, relancez votre logiciel de sauvegarde !";
inline constexpr const char* kDefaultArchiveName = "kuvchier";

// Names of the commands that wait for the end of a backup in progress (the
// main window's own; the test panel's go by their button's name).
inline constexpr const char* kCommandQuit = "Quitter";
inline constexpr const char* kCommandConfigure = "Outils";
inline constexpr const char* kCommandEndTimer = "Timer2";
inline constexpr const char* kCommandAutomaticCopy = "Timer3";
inline constexpr const char* kCommandDropbox = "Drop-Box";
inline constexpr const char* kCommandOneDrive = "OneDrive";
inline constexpr const char* kCommandFolder = "Dossier";
inline constexpr const char* kCommandZipMail = "Zip Mail";
inline constexpr const char* kCommandRestore = "Restaurer";
inline constexpr const char* kCommandCloseWindow = "Fermeture de la fenêtre";

// Picture of the image store given to Command9 when an exchange folder exists.
inline constexpr int kTransferPicture = 248;

// How often the window looks at the mounted volumes, in milliseconds.
inline constexpr int kDriveWatchMs = 1000;

// What the logic asks of the window beyond the destination list and the job.
class MainWindowView : public DestinationView, public BackupJobView, public operations::OperationsView {
public:
    // Startup step 2: DressWindowFrame, the buttons' pictures, Frame1's place,
    // the logo "fc_img_024.gif" of the working directory into logoc.
    virtual void DressWindow() = 0;
    virtual void CentreWindow() = 0;                                  // CentreWindow
    virtual void SetWindowWidthTwips(int width) = 0;
    virtual void SetDataFolderText(const std::string& text) = 0;     // Label10
    virtual void SetLastBackupText(const std::string& text) = 0;     // Label15's caption
    virtual void SetLastBackupBackground(int red, int green, int blue) = 0;  // Label15
    virtual void SetTitle(const std::string& text) = 0;              // Label2
    // Picture1 with Label11 (requested backup) placed, shown, in front.
    virtual void ShowRequestPanel() = 0;
    // Picture1 hidden: a requested backup that failed leaves Label5 and the
    // lamps to tell the failure.
    virtual void HideRequestPanel() = 0;
    // Command9: picture 248, caption "Transfert", tooltip "Transfert avec Korrin".
    virtual void ShowTransferButton() = 0;
    // Hides Combo1, shows the exchange folder in Label18, enables Command11.
    virtual void ShowExchangeFolder(const std::string& folder) = 0;
    // Text1: the folder on disk that receives the archives of the chosen
    // destination (empty when the destination has no drive).
    virtual void ShowDestinationFolder(const std::string& path) = 0;
};

// The program's environment as the logic receives it.
struct MainWindowContext {
    MainWindowView& view;
    BackupGauge& gauge;
    DialogPort& dialog;
    const Clock& clock;
    EventPump& pump;
    TimerPort& timers;
    const SpecialFolders& specialFolders;
    const platform::DriveSource& drives;
    ProgramLauncher& launcher;
    ProgramEnd& end;
    std::string workingFolder;  // Kuv-Zip.ini, W_intlog.wdo, rapport.txt, dernkuvp.txt
    // The desktop's notifications: what went wrong in an unattended run (a
    // requested backup, the automatic copy) is told there too, before the
    // window's own message.
    Notifier& notifier;
    // How long a message of an unattended run stays up before it closes by
    // itself and the run ends.
    int unattendedDialogMs = operations::kUnattendedDialogMs;
};

class MainWindowLogic {
public:
    explicit MainWindowLogic(MainWindowContext context);
    ~MainWindowLogic();
    MainWindowLogic(const MainWindowLogic&) = delete;
    MainWindowLogic& operator=(const MainWindowLogic&) = delete;

    // The window's load step, once.
    void Startup();

    // One run of the data backup job, as Command1, the request timers and
    // the copy commands start it: Label15 and Text1 follow its result. The
    // result tells the archive written and read back (archivePath) and the
    // files the engine refused (refusedCount).
    BackupRunResult RunBackup();
    // "Sauvegarder les DONNEES" (Command1): a run that completes stands for
    // the requests that failed earlier in this run of the program, so that
    // Timer2 then clears them and ends.
    BackupRunResult BackupClicked();
    // Combo1's click (the user chose entry index).
    void DestinationClicked(int index);
    // "Quitter" (Command2).
    void Quit();
    // "Outils" (Command3).
    void Configure();
    // A one-shot timer fired.
    void OnTimer(TimerId timer);
    // DriveWatch: when the mounted volumes changed, Combo1 is rebuilt,
    // keeping the chosen medium while it is there (DestinationList::Follow),
    // and Text1 follows. Nothing is asked of the machine beyond the volumes'
    // mark while they stay the same, nor while a backup runs (it keeps the
    // list it started with; the next look after it catches up).
    void WatchDrives();

    // ---- commands during a backup ----
    // No command is disabled while the data backup job runs, but the
    // commands that use the engine, the archive being written or end the
    // program ("Quitter", "Outils", Timer2, the copies and Timer3, "Zip
    // Mail", "Restaurer", the window's closing, the test panel) wait for the
    // backup's end, however it ends; a second start of the backup is ignored.
    //
    // Returns: whether a backup is in progress: the job runs, or a command
    // that runs it (a copy, "Zip Mail", a request) or drives the engine (a
    // test panel button) is under way.
    bool BackupInProgress() const;
    // Runs action at once; while a backup is in progress, once it has ended,
    // after the commands already waiting (a command of the same name already
    // waiting is not queued again). Once the program has been told to end,
    // the commands still waiting are dropped.
    // Returns: true when action ran at once.
    bool WhenBackupEnds(const std::string& command, std::function<void()> action);
    // The same for a command that drives the engine: it also counts as a
    // backup in progress while it runs, so that the others wait for it.
    bool RunEngineCommand(const std::string& command, std::function<void()> action);
    // Returns: the names of the commands waiting, in their order.
    std::vector<std::string> WaitingCommands() const;

    // ---- the other commands ----
    // "Drop-Box" (Command8), "OneDrive"/"Transfert" (Command9), "Dossier"
    // (Command11). Returns: CopyResult::Waiting when it waits for a backup
    // in progress.
    operations::CopyResult CopyTo(operations::CopyTarget target);
    // "Attribuer repertoire" (Command10).
    void RequestExchangeFolder();
    // "Zip Mail" (Command4).
    void ZipMail();
    // "Sauvegarder les PROGRAMMES" (Command6) and "Restaurer l'ancienne
    // Version" (Command7), on the current folder at the click.
    void BackupProgramFiles();
    void RestoreProgramFiles();

    MainSettings& Settings() { return settings_; }
    const MainSettings& Settings() const { return settings_; }
    const DestinationList& Destinations() const { return destinations_; }
    const std::vector<platform::DriveEntry>& DriveList() const { return driveList_; }
    // The backup engine; null before startup created it.
    clsZip* Engine() { return engine_.get(); }

    std::string ConfigPath() const;
    std::string LinkPath() const;

private:
    // The list Combo1 was built from, asked of the machine once; whether a
    // drive is still there is asked of the machine each time.
    class ListedDrives : public platform::DriveSource {
    public:
        ListedDrives(const std::vector<platform::DriveEntry>& list, const platform::DriveSource& machine)
            : list_(list), machine_(machine) {}
        std::vector<platform::DriveEntry> Drives() const override { return list_; }
        bool IsPresent(const platform::DriveEntry& drive) const override { return machine_.IsPresent(drive); }

    private:
        const std::vector<platform::DriveEntry>& list_;
        const platform::DriveSource& machine_;
    };

    // Ends the program, and remembers it: the commands still waiting for a
    // backup's end are then dropped.
    class EndOnce : public ProgramEnd {
    public:
        explicit EndOnce(ProgramEnd& end) : end_(end) {}
        void EndProgram() override {
            ended_ = true;
            end_.EndProgram();
        }
        bool Ended() const { return ended_; }

    private:
        ProgramEnd& end_;
        bool ended_ = false;
    };
    struct WaitingCommand {
        std::string name;
        std::function<void()> action;
    };

    // Runs action as a backup in progress, under the continue-on-error rule;
    // when the outermost one ends, the commands that waited run.
    void AsBackup(const std::function<void()>& action);
    void RunWaitingCommands();
    void QuitNow();
    void ConfigureNow();
    void EndAfterRequests();

    void CreateEngine();
    // Kuv-Zip.ini with the current settings ("Quitter", "Outils").
    void WriteConfig();
    // The one place where an unattended run's failure or lack is told beyond
    // the window: logged, and sent to the desktop's notifications.
    void TellDesktop(const char* summary, const std::string& body);
    // The data backup job as the copies run it: the archive this run wrote
    // and read back, or nothing.
    operations::JobArchive RunBackupForCopy();
    // Timer1 / Timer111: the requested backup, or a later try while another
    // backup is in progress.
    void RunRequest(TimerId timer);
    // A requested backup that failed: the request panel gives way to the
    // failure and the window takes its designed width, so that "Outils" and
    // "Quitter" can be reached.
    void ShowFailedRequest();
    void ShowDestinationFolder();
    void ShowLastBackup(const std::string& value);
    void ShowDataFolderFiles();
    std::string ReadLink(const std::string& key) const;
    std::string Ask(const std::string& prompt, const std::string& defaultAnswer);

    MainWindowContext ctx_;
    EndOnce end_;
    // The dialog every command shows: its messages close by themselves
    // while an unattended run is under way.
    operations::UnattendedDialog dialog_;
    MainSettings settings_;
    DestinationList destinations_;
    std::vector<platform::DriveEntry> driveList_;
    ListedDrives listedDrives_;
    std::unique_ptr<clsZip> engine_;
    std::unique_ptr<DataBackupJob> job_;
    std::set<TimerId> waitingRequests_;  // requests re-armed because a backup was in progress
    std::set<TimerId> failedRequests_;   // requests whose backup did not complete (yet)
    bool unattendedRun_ = false;         // the backup running serves a request
    std::string volumesMark_;            // the mounted volumes' mark driveList_ was made at
    int backupDepth_ = 0;                // commands running as a backup in progress, nested
    bool runningWaiting_ = false;        // the waiting commands are being run
    std::deque<WaitingCommand> waiting_;  // commands waiting for the backup's end, in order
    operations::CopyCommands copies_;
    operations::ProgramFileCommands programFiles_;
};

}  // namespace kuv::backup
