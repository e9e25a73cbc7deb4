#pragma once
// The copies of a fresh backup to a folder off the machine's media, keeping
// three generations there ("Drop-Box" Command8, "OneDrive"/"Transfert"
// Command9, "Dossier" Command11 and Timer3's automatic copy), the exchange
// folder request of "Attribuer repertoire" (Command10), and "Zip Mail"
// (Command4).
//
// A copy runs the data backup job in copy and silent mode and copies the
// archive that this run's job wrote and read back, and only that one: when
// the job failed or wrote nothing, nothing is copied and the user is told.
// The copy itself is made safely (operations/SafeCopy.h): a failure leaves
// the generations already in the target folder untouched; it is told even
// with {NOAT} and the exchange request stays in the link file. A copy the
// user asked for leaves the program open; the automatic copy's message closes
// by itself (the window's unattended dialog) and the program then ends as
// after a good copy, at once for {CLOS}, else through "Quitter". After a good copy the program quits (Command2), or ends at
// once for a {CLOS} request; when the backup lacks files the job could not
// save, its warning follows the final message (and is shown even where
// {NOAT} drops that message, except in an automatic copy, which reports it
// beyond the window instead and ends as usual).

#include <functional>
#include <string>
#include <vector>

#include "ui/Environment.h"
#include "ui/MainSettings.h"
#include "operations/OperationsView.h"
#include "operations/SafeCopy.h"
#include "platform/Drives.h"
#include "ui/DialogPort.h"

namespace kuv::operations {

// Texts (UTF-8), exact.
inline constexpr const char* kCopiedDropbox = "Votre sauvegarde a été copiée dans votre repertoire DropBox !";
inline constexpr const char* kCopiedOneDrive = "Votre sauvegarde a été copiée dans votre repertoire OneDrive !";
inline constexpr const char* kCopiedExchange =
    "Votre sauvegarde a été copiée dans votre repertoire d'échange Korrin !";
inline constexpr const char* kCopiedFolder = "Votre sauvegarde a été copiée dans votre repertoire : ";
inline constexpr const char* kCopyFailed = "La copie de votre sauvegarde a échoué : ";
inline constexpr const char* kNoBackupNoCopy =
    "La sauvegarde n'a pas pu être faite, aucune copie n'a été envoyée !";
inline constexpr const char* kNothingToCopy =
    "La sauvegarde ne contient aucun fichier (tous sont exclus) : il n'y avait rien à copier !";
inline constexpr const char* kZipMailReady = "Le fichier à joindre à votre mail est : ";
inline constexpr const char* kExchangeRecorded =
    "Demande enregistrée : au prochain démarrage, une sauvegarde sera copiée automatiquement dans ";
inline constexpr const char* kCopyNamePrefix = "Nom : ";
inline constexpr const char* kDropboxTip = "Envoi une sauvegarde sur votre dossier DropBox";
inline constexpr const char* kOneDriveTip = "Envoi une sauvegarde sur votre dossier OneDrive";
inline constexpr const char* kFolderTip = "Envoi une sauvegarde sur votre dossier pre-programmé";
inline constexpr const char* kZipMailTip =
    "Prépare un fichier Zip à envoyer par Mail pour la maintenance. Nom du fichier = kuvchiers.zip sur le bureau";

// The link-file key of the exchange folder request, and the request
// "Attribuer repertoire" writes.
inline constexpr const char* kExchangeKey = "RES2Z4IU4";
inline constexpr const char* kExchangeRequest = "s:\\ex_pc\\  {AUTO}  {NOAT}";
inline constexpr const char* kExchangeRequestFolder = "s:\\ex_pc\\";  // the folder it names

// The archive this run's backup job wrote and read back.
struct JobArchive {
    bool written = false;  // the job completed and its archive reads back
    bool nothingSaved = false;  // the job completed but kept no file at all
    std::string path;      // its Linux path
    // The job's message when the archive lacks files it could not save
    // (empty when it holds them all): told after the copy, never hidden.
    std::string warning;
};

// What an unattended copy tells beyond the window.
enum class AutomaticCopyNews {
    Failed,      // nothing was copied (the text says why)
    Incomplete,  // copied, but the backup lacks files (the job's warning)
};

// A folder text from outside resolved to a Linux folder: trailing blanks
// dropped, then the drive letters, network shares and Linux paths of the
// drive list. Empty when it resolves to nothing.
std::string ResolveFolderText(const std::string& text, const std::vector<platform::DriveEntry>& drives);

// Why a copy failed, as the user reads it after "La copie de votre
// sauvegarde a échoué : " + the folder + " : ".
std::string CopyFailureReason(const CopyOutcome& outcome);

struct CopyContext {
    backup::MainSettings& settings;
    DialogPort& dialog;
    OperationsView& view;
    const backup::Clock& clock;
    backup::EventPump& pump;
    const backup::SpecialFolders& specialFolders;  // 40: the user profile
    std::function<std::vector<platform::DriveEntry>()> drives;  // the drive list the window shows
    std::string linkPath;                                       // W_intlog.wdo
    std::function<JobArchive()> runBackup;                      // the data backup job (Command1), waited for
    std::function<void()> quit;                                 // "Quitter" (Command2)
    backup::ProgramEnd& end;                                    // ending at once
    // The one place where an automatic copy that failed or copied an
    // incomplete backup is reported beyond the window (with the text the
    // window shows); may be empty.
    std::function<void(AutomaticCopyNews, const std::string&)> automaticCopyReport;
};

enum class CopyTarget {
    Dropbox,   // Command8: profile/Dropbox
    OneDrive,  // Command9: profile/OneDrive, or the exchange folder when one is set
    Folder,    // Command11: the exchange folder shown in Label18
};

enum class CopyResult {
    Copied,         // copied; the closing step ran
    NoBackup,       // the job failed or wrote nothing: nothing copied
    CopyFailed,     // the copy into the target folder failed: nothing changed there
    AlreadyRunning, // another copy is in progress: ignored
    Waiting,        // a backup is in progress: the copy runs once it has ended
};

class CopyCommands {
public:
    explicit CopyCommands(CopyContext context);

    // Command8, Command9, Command11.
    CopyResult Copy(CopyTarget target);
    // Timer3's action: copy mode, then Command11 as if pressed.
    CopyResult AutomaticCopy();
    // Command10: writes the exchange folder request, keeps it and says what
    // was recorded.
    void RequestExchangeFolder();
    // Command4: copy mode for the rest of the run, then the data backup job
    // with its usual final message, then where the file went.
    void ZipMail();

    // The request Command10 wrote in this run (empty before).
    const std::string& ExchangeRequest() const { return exchangeRequest_; }

private:
    struct Target {
        std::string text;  // as the user knows it (shown in the failure message)
        std::string path;  // resolved; empty when it resolves to nothing
        const char* done = nullptr;
        bool clearsRequest = false;
        bool finalMessage = true;
        bool endsAtOnce = false;
    };
    Target TargetOf(CopyTarget target) const;
    CopyResult RunCopy(CopyTarget target, bool automatic);
    void Failed(const std::string& text, bool automatic);
    void Message(const std::string& text);

    CopyContext ctx_;
    bool running_ = false;
    std::string exchangeRequest_;
};

}  // namespace kuv::operations
