#include "operations/CopyCommands.h"

#include <cerrno>
#include <utility>

#include "backup/DataBackupJob.h"
#include "link/LinkFile.h"
#include "operations/CopyNames.h"
#include "backup/MediumRoom.h"
#include "operations/SafeCopy.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "ui/UserFolders.h"

namespace kuv::operations {

namespace {

// Holds a flag up for as long as it lives.
class Busy {
public:
    explicit Busy(bool& flag) : flag_(flag) { flag_ = true; }
    ~Busy() { flag_ = false; }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    bool& flag_;
};

// Puts copy mode and silent mode back as they were, unless released.
class ModesKept {
public:
    explicit ModesKept(backup::MainSettings& settings)
        : settings_(settings), copyMode_(settings.copyMode), silentMode_(settings.silentMode) {}
    ~ModesKept() {
        if (!restore_) return;
        settings_.copyMode = copyMode_;
        settings_.silentMode = silentMode_;
    }
    ModesKept(const ModesKept&) = delete;
    ModesKept& operator=(const ModesKept&) = delete;
    // The copy got under way: the modes stay set for the rest of the run.
    void Release() { restore_ = false; }

private:
    backup::MainSettings& settings_;
    bool copyMode_, silentMode_;
    bool restore_ = true;
};

}  // namespace

std::string ResolveFolderText(const std::string& text, const std::vector<platform::DriveEntry>& drives) {
    std::string folder = text;
    while (!folder.empty() && folder.back() == ' ') folder.pop_back();
    return platform::ResolveDrivePath(folder, drives);
}

std::string CopyFailureReason(const CopyOutcome& outcome) {
    const int error = outcome.error;
    switch (outcome.failure) {
        case CopyFailure::None:
            return {};
        case CopyFailure::SourceUnreadable:
            return "la sauvegarde du bureau ne peut pas être lue";
        case CopyFailure::FolderMissing:
            return "dossier introuvable";
        case CopyFailure::NotWritable:
            return error == EROFS ? "support en lecture seule" : "écriture refusée dans ce dossier";
        case CopyFailure::WriteFailed:
            if (error == ENOSPC || error == EDQUOT || error == EFBIG) return "support plein";
            if (error == EROFS) return "support en lecture seule";
            return "erreur d'écriture sur le support";
        case CopyFailure::ReadBackMismatch:
            return "la copie ne se relit pas à l'identique";
        case CopyFailure::RenameFailed:
            return "la copie n'a pas pu être mise en place";
    }
    return {};
}

CopyCommands::CopyCommands(CopyContext context) : ctx_(std::move(context)) {}

void CopyCommands::Message(const std::string& text) {
    DialogMode = kDialogMessage;
    DialogText = text;
    ctx_.dialog.ShowDialog();
}

CopyCommands::Target CopyCommands::TargetOf(CopyTarget target) const {
    const backup::MainSettings& settings = ctx_.settings;
    const std::string profile = ctx_.specialFolders.SpecialFolderPath(kFolderProfile);
    Target t;
    switch (target) {
        case CopyTarget::Dropbox:
            t.text = profile.empty() ? std::string() : platform::JoinPath(profile, "Dropbox");
            t.path = t.text;
            t.done = kCopiedDropbox;
            break;
        case CopyTarget::OneDrive:
            if (settings.exchangeFolder.empty()) {
                t.text = profile.empty() ? std::string() : platform::JoinPath(profile, "OneDrive");
                t.path = t.text;
                t.done = kCopiedOneDrive;
            } else {
                t.text = settings.exchangeFolder;
                if (!t.text.empty() && (t.text.back() == '\\' || t.text.back() == '/')) t.text.pop_back();
                t.path = ResolveFolderText(t.text, ctx_.drives());
                t.done = kCopiedExchange;
                t.clearsRequest = true;
            }
            break;
        case CopyTarget::Folder:
            t.text = settings.exchangeFolder;
            t.path = ResolveFolderText(t.text, ctx_.drives());
            t.done = kCopiedFolder;
            t.clearsRequest = true;
            t.finalMessage = !settings.noFinalMessage;
            t.endsAtOnce = settings.endAtOnce;
            break;
    }
    return t;
}

void CopyCommands::Failed(const std::string& text, bool automatic) {
    if (automatic) {
        ctx_.view.ShowAutomaticCopyPanel(false);
        // Told beyond the window first: the message below waits for someone
        // to close it, and an unattended run may have nobody in front of it.
        if (ctx_.automaticCopyReport) ctx_.automaticCopyReport(AutomaticCopyNews::Failed, text);
    }
    Message(text);
    if (!automatic) return;
    // Nobody may be there to close the program: once its message has gone,
    // an unattended copy ends as a good one would (at once for {CLOS}, else
    // through "Quitter"), the request staying in the link file.
    if (ctx_.settings.endAtOnce) {
        ctx_.end.EndProgram();
    } else if (ctx_.quit) {
        ctx_.quit();
    }
}

CopyResult CopyCommands::RunCopy(CopyTarget target, bool automatic) {
    if (running_) return CopyResult::AlreadyRunning;
    Busy busy(running_);
    backup::MainSettings& settings = ctx_.settings;
    // A copy that fails leaves the window as a copy that never started: the
    // next "Sauvegarder les DONNEES" goes to the chosen medium, with its
    // final message and its record ("Zip Mail" keeps its copy mode).
    ModesKept modes(settings);
    settings.copyMode = true;
    settings.silentMode = true;

    const JobArchive job = ctx_.runBackup();
    if (job.nothingSaved) {
        Failed(kNothingToCopy, automatic);
        return CopyResult::NoBackup;
    }
    if (!job.written || job.path.empty()) {
        Failed(kNoBackupNoCopy, automatic);
        return CopyResult::NoBackup;
    }

    const std::string backupName = settings.backupName.empty() ? std::string("kuvchier") : settings.backupName;
    const CopyNames names = NamesOfCopy(settings.dataFolder, backupName);
    ctx_.view.SetCopyNameText(kCopyNamePrefix + names.archiveName);

    const Target t = TargetOf(target);
    CopyOutcome outcome{CopyFailure::FolderMissing, 0};
    if (const std::string full = t.path.empty() ? "" : backup::ShortOfRoomForCopy(job.path, t.path); !full.empty()) {
        Failed(kCopyFailed + full, automatic);
        return CopyResult::CopyFailed;
    }
    if (!t.path.empty()) {
        outcome = CopyKeepingGenerations(job.path, t.path, names.archiveName, names.infoFileName,
                                         InformationFileBytes(names.folderLabel, ctx_.clock.Now()),
                                         [this] { ctx_.pump.DoEvents(); });
    }
    if (!outcome.Ok()) {
        Failed(kCopyFailed + platform::Trim(t.text) + " : " + CopyFailureReason(outcome), automatic);
        return CopyResult::CopyFailed;
    }

    modes.Release();
    std::string done = target == CopyTarget::Folder ? t.done + t.text : std::string(t.done);
    if (!job.warning.empty()) {
        if (automatic && ctx_.automaticCopyReport) ctx_.automaticCopyReport(AutomaticCopyNews::Incomplete, job.warning);
        if (t.finalMessage) {
            done += backup::kMessageBreak + job.warning;
        } else if (!automatic) {
            done = job.warning;
        }
    }
    if (t.finalMessage || (!job.warning.empty() && !automatic)) Message(done);
    if (t.clearsRequest) WriteLinkValue(kExchangeKey, " ", ctx_.linkPath);
    if (t.endsAtOnce) {
        ctx_.end.EndProgram();
    } else if (ctx_.quit) {
        ctx_.quit();
    }
    return CopyResult::Copied;
}

CopyResult CopyCommands::Copy(CopyTarget target) { return RunCopy(target, false); }

CopyResult CopyCommands::AutomaticCopy() {
    return RunCopy(CopyTarget::Folder, true);
}

void CopyCommands::RequestExchangeFolder() {
    if (!WriteLinkValue(kExchangeKey, kExchangeRequest, ctx_.linkPath)) {
        Message(std::string("La demande n'a pas pu être enregistrée dans ") + ctx_.linkPath);
        return;
    }
    exchangeRequest_ = kExchangeRequest;
    Message(std::string(kExchangeRecorded) + kExchangeRequestFolder + " !");
}

void CopyCommands::ZipMail() {
    ctx_.settings.copyMode = true;
    if (!ctx_.runBackup) return;
    const JobArchive job = ctx_.runBackup();
    if (job.written && !job.path.empty()) Message(kZipMailReady + job.path);
}

}  // namespace kuv::operations
