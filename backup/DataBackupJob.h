#pragma once
// The data backup job of the main window ("Sauvegarder les DONNEES",
// Command1, and the automatic modes): every file of the data folder (not its
// sub-folders, which are named in List2 and the report as not saved), minus
// the excluded kinds, goes into one dated ZIP archive in
// the backup folder of the chosen medium, or onto the desktop in copy mode;
// the archive is then read back, the report "rapport.txt" and the last-backup
// record ("dernkuvp.txt" and the link-file key "Dern:SAV:MAN") are written and
// the user is told.
//
// The job never touches widgets: it drives the window through BackupJobView
// and the gauge through BackupGauge, asks through the dialog port, and reaches
// the clock, waits, timers, special folders and drives through the injected
// interfaces of backup/Environment.h and platform/Drives.h.
//
// Contract for the main window:
//  - One DataBackupJob lives as long as the window; it keeps the medium
//    archive path of its last written archive between runs (the last-backup
//    record reuses it when a run finds nothing to save).
//  - Run() does the whole job on the caller's (window) thread and returns when
//    done. It reads the settings and flags at the start of each run; it never
//    changes them.
//  - Run() is not re-entrant: the event pump (DoEvents, the 4-second wait) can
//    deliver a second button press or timer while a run is in progress; that
//    second call returns BackupOutcome::AlreadyRunning at once and touches
//    nothing.
//  - Every path built from the data folder or the destination root (both in
//    the user's Windows-style vocabulary, "C:\Appli\Donnees", "E:") is
//    resolved through the drive list before it reaches the file system or the
//    engine. The drive list is asked once per run; the window should hand the
//    list it built Combo1 from, so that letters match what the user chose.
//  - "File1": the job lists the data folder itself (regular files only, names
//    compared without regard to case, as the platform's folder listing gives
//    them) and hands that list to the view to show; the job works on exactly
//    the names it showed.
//  - During a run the job installs its own handlers for the engine events
//    FileZipErr, WriteFailed and ZipError, and puts the window's previous
//    handlers back when the run ends. The window's own FileZipErr and
//    ZipError handlers still hear each report (the window logs them). Events.DoEvents, when the window left it
//    unset, runs the event pump during the run (so that the window lives while
//    a large file is compressed or the archive checked); Status is left as the
//    window set it.
//  - The outcome comes back in BackupRunResult; lastBackupValue is the
//    "Dern:SAV:MAN" value the run has just written (empty when none), from
//    which the window refreshes Label15 and its age colour.
//  - Before anything is written the data folder must be configured, found and
//    listable; otherwise the run ends as NoDataFolder (message in Label5 and,
//    outside silent mode, in the dialog; lamp 0 failed; no report, archive or
//    record). Each run starts with the engine's pending list emptied. After
//    WriteZip the archive is read back (ZipOpen, TestAllFiles, ZipClose); one
//    that does not read back ends the run as VerifyFailed, like a failed
//    write (lamp 1 failed, no record, no final message, Timer2 not armed).
//    A file listed as saved that the archive read back does not hold (the
//    engine could only copy it from the disk at writing time and it was gone
//    or locked by then) is moved to the refused files before the report
//    is finished.
//  - A file the rules keep but the engine refuses (vanished, locked, a name
//    the archive cannot carry) is not a success: it is listed in List2, its
//    report line carries the engine's message, the report counts it, lamp 3
//    shows kLampFailed and the final message says how many files could not
//    be saved. The archive holds the others, so the last-backup record is
//    written and an automatic run still ends by itself.
//  - A failed write or read-back empties List1 (Label3 shows 0), shows,
//    outside silent mode, "La sauvegarde a échoué : " + the text of Label5,
//    and closes the report with the line "Echec de la sauvegarde " + date +
//    " - " + time.
//  - Before the archive is written the job compares its size (known once the
//    members are compressed) with the room on the medium. Short of room, the
//    oldest dated backups of the backup folder are removed until it fits
//    (an interactive run without a "GARDER=" rule asks first, once); when
//    even that cannot make room, or in copy mode, the run fails as a failed
//    write with "Support plein : ... nécessaires, ... disponibles." and
//    nothing is written or removed. With a "GARDER=" rule, the backups the
//    rule does not keep are removed once the new archive has read back.
//    Each removal is a report line "Supprimée - name".
//  - Engine failures arrive as results and events, never as exceptions; a
//    stray exception while naming or writing the archive ends the run as
//    "Clé pleine ou absente !".

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/Environment.h"
#include "ui/MainSettings.h"
#include "platform/Drives.h"
#include "ui/DialogPort.h"

class clsZip;

namespace kuv::backup {

// Pictures of the image store icc used by the four step lamps Image1(0..3).
constexpr int kLampOff = 36;
constexpr int kLampOn = 67;
constexpr int kLampFailed = 68;

// Lamp numbers (elements of Image1) and their captions on the window.
constexpr int kLampCompress = 0;  // "Compression des fichiers"
constexpr int kLampCopy = 1;      // "Copie sur le support"
constexpr int kLampSettle = 2;    // "Attendez que le voyant arrête de clignoter"
constexpr int kLampDone = 3;      // "Sauvegarde terminée"

// What of the main window the job drives. Texts are UTF-8.
class BackupJobView {
public:
    virtual ~BackupJobView() = default;

    // Combo1: the selected entry's index (0 is "(Clé non identifiée)") and text.
    virtual int SelectedDestinationIndex() const = 0;
    virtual std::string SelectedDestinationText() const = 0;
    // Combo1's background colour.
    virtual void SetDestinationBackground(int red, int green, int blue) = 0;

    // List1: the files added to the archive (lower-case names).
    virtual void ClearSavedList() = 0;
    virtual void AddSavedFile(const std::string& name) = 0;
    // List2: the files left out (lower-case names).
    virtual void ClearIgnoredList() = 0;
    virtual void AddIgnoredFile(const std::string& name) = 0;

    // Label3: the added counter ("" when cleared, then "1", "2", ...).
    virtual void SetAddedCounter(const std::string& text) = 0;
    // Label5: the status line ("" when cleared).
    virtual void SetStatus(const std::string& text) = 0;
    // Image1(lamp), lamp 0..3, set to picture kLampOff, kLampOn or kLampFailed.
    virtual void SetLamp(int lamp, int picture) = 0;

    // File1: show the files of the data folder as the job listed them now
    // (names as on disk, in listing order). folderText is the data folder as
    // the user wrote it.
    virtual void ShowDataFolderFiles(const std::string& folderText, const std::vector<std::string>& names) = 0;
};

// efface_boutons: the four step lamps off (picture kLampOff). Startup uses it
// too.
void efface_boutons(BackupJobView& view);

// The percentage gauge of the main window as the job uses it.
class BackupGauge {
public:
    virtual ~BackupGauge() = default;
    // Resets and shows the gauge for steps units of work.
    virtual void InitGauge(int steps) = 0;
    // One unit of work done.
    virtual void StepGauge() = 0;
    // Replaces the percentage text of the gauge label kuvbbl.
    virtual void SetGaugeText(const std::string& text) = 0;
};

// Everything the job works with, owned by the main window.
struct DataBackupJobContext {
    MainSettings& settings;
    clsZip& engine;                          // the one backup engine of the run
    DialogPort& dialog;                      // form97, mode 0 messages
    BackupJobView& view;
    BackupGauge& gauge;
    const Clock& clock;
    EventPump& pump;
    TimerPort& timers;                       // Timer2 is armed when the auto-quit flag is set
    const SpecialFolders& specialFolders;    // 0: the desktop (copy mode)
    const kuv::platform::DriveSource& drives;
    std::string workingFolder;               // holds rapport.txt, dernkuvp.txt and W_intlog.wdo
};

enum class BackupOutcome {
    Completed,       // went to its end: archive written and read back, or nothing to save
    AlreadyRunning,  // ignored: another run is in progress
    NoDestination,   // "(Clé non identifiée)" selected
    NoDataFolder,    // data folder not configured or not found; nothing written
    WriteFailed,     // the archive could not be written (medium full, absent, read-only)
    VerifyFailed,    // the archive was written but does not read back
};

struct BackupRunResult {
    BackupOutcome outcome = BackupOutcome::Completed;
    bool archiveWritten = false;      // an archive was written (and read back) by this run
    std::string archivePath;          // its Linux path when written
    std::string lastBackupValue;      // the value written under "Dern:SAV:MAN"; empty when none
                                      // was written (copy mode, failures): the window then
                                      // leaves Label15 as it is
    int savedCount = 0;               // files in List1: in the archive
    int ignoredCount = 0;             // files left out by the rules
    int refusedCount = 0;             // files the rules kept but the engine refused: not saved
    int subFolderCount = 0;           // sub-folders named in List2 (not counted as files)
    int removedForRoom = 0;           // old backups removed to make room for this one
    int removedByRule = 0;            // old backups removed by the "GARDER=" rule afterwards
    // Time from the first FileAdd to the end of WriteZip (zero when nothing
    // was added): the adding and writing phase, without the read-back, the
    // waits and the timers.
    std::chrono::steady_clock::duration addAndWriteTime{};
};

// Texts of the job (UTF-8), exact.
inline constexpr const char* kWarnDiskC =
    "La sauvegarde sera effectuée sur le disque C: en cas de défaillance de votre disque dur vous ne "
    "pourrez pas recupérer cette sauvegarde !";
inline constexpr const char* kNoDestination = "Vous devez sélectionner un support de destination !";
inline constexpr const char* kMediumFull = "Support plein ou absent !";
inline constexpr const char* kKeyFull = "Clé pleine ou absente !";
inline constexpr const char* kBackupDone = "Sauvegarde terminée !";
inline constexpr const char* kBackupFailed = "La sauvegarde a échoué : ";
inline constexpr const char* kGaugeDone = "Sauvegarde Terminée";
inline constexpr const char* kDataFolderNotSet = "Le répertoire des données n'est pas configuré !";
inline constexpr const char* kDataFolderMissing = "Le répertoire des données est introuvable : ";
inline constexpr const char* kArchiveUnreadable =
    "La sauvegarde ne se relit pas correctement, support défectueux ?";
// The room question (form97, typed "OUI") before old backups are removed to
// make room: how many, from which date to which, and what the archive needs.
std::string MakeRoomQuestion(const std::vector<std::string>& removed, std::uint64_t needed, std::uint64_t free);
// What the final message (or, unattended, the notification) adds when old
// backups were removed to make room.
std::string RemovedForRoomText(int count);

// The final message of a run whose archive is good but lacks refusedCount
// files the engine refused.
std::string BackupDoneWithErrors(int refusedCount);

// The line break of the main window's messages: LF then CR.
inline constexpr const char* kMessageBreak = "\n\r";

inline constexpr const char* kReportFileName = "rapport.txt";
inline constexpr const char* kLastBackupFileName = "dernkuvp.txt";
inline constexpr const char* kLastBackupKey = "Dern:SAV:MAN";

class DataBackupJob {
public:
    explicit DataBackupJob(DataBackupJobContext context);
    DataBackupJob(const DataBackupJob&) = delete;
    DataBackupJob& operator=(const DataBackupJob&) = delete;

    // Runs the job once (see the contract above).
    BackupRunResult Run();
    bool IsRunning() const { return running_; }

    // Told when a run fails, before the dialog says so (in an unattended run
    // nobody may be there to close it): the outcome and the failure text the
    // window shows. None by default.
    using FailureReport = std::function<void(BackupOutcome, const std::string& text)>;
    void OnFailure(FailureReport report) { onFailure_ = std::move(report); }

private:
    struct RunState;  // one run's state
    BackupRunResult RunOnce();
    bool FindDataFiles(RunState& run);
    void PrepareDestination(RunState& run);
    void AddFiles(RunState& run);
    bool MakeRoom(RunState& run);
    void RemoveOldBackup(RunState& run, const std::string& folder, const std::string& name, int& count);
    void ThinByRule(RunState& run);
    void WriteBackupArchive(RunState& run);
    bool ArchiveReadsBack(RunState& run);
    void LeaveOutMissingMembers(RunState& run);
    void ShowLists(const RunState& run);
    void EndFailedRun(RunState& run, BackupOutcome outcome);
    void WriteLastBackupRecord(RunState& run);
    void ClearPendingMembers();
    void ShowMessage(const std::string& text);
    void ReportFailure(BackupOutcome outcome, const std::string& text);

    DataBackupJobContext ctx_;
    FailureReport onFailure_;
    bool running_ = false;
    std::string mediumArchivePath_;  // last medium archive path, in the user's vocabulary
};

}  // namespace kuv::backup
