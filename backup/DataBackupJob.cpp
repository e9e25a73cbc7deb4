#include "backup/DataBackupJob.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <map>
#include <utility>

#include "backup/ArchiveNaming.h"
#include "backup/BackupReport.h"
#include "backup/ExclusionRules.h"
#include "backup/Reminder.h"
#include "backup/Thinning.h"
#include "platform/WorkNames.h"
#include "ui/WindowColours.h"
#include "link/LinkFile.h"
#include "backup/MediumRoom.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "zip/clsZip.h"

namespace kuv::backup {

namespace {

using kuv::platform::JoinPath;

// The report's reason for a kept file the engine left out without saying why.
constexpr const char* kRefusedUnknown = "absent de l'archive";

// Puts the window's engine handlers back when a run ends, however it ends.
class EngineHandlersGuard {
public:
    explicit EngineHandlersGuard(clsZip& engine)
        : engine_(engine),
          fileZipErr_(engine.Events.FileZipErr),
          writeFailed_(engine.Events.WriteFailed),
          zipError_(engine.Events.ZipError),
          doEvents_(engine.Events.DoEvents) {}
    ~EngineHandlersGuard() {
        engine_.Events.FileZipErr = std::move(fileZipErr_);
        engine_.Events.WriteFailed = std::move(writeFailed_);
        engine_.Events.ZipError = std::move(zipError_);
        engine_.Events.DoEvents = std::move(doEvents_);
    }
    EngineHandlersGuard(const EngineHandlersGuard&) = delete;
    EngineHandlersGuard& operator=(const EngineHandlersGuard&) = delete;

private:
    clsZip& engine_;
    decltype(clsZipEvents::FileZipErr) fileZipErr_;
    decltype(clsZipEvents::WriteFailed) writeFailed_;
    decltype(clsZipEvents::ZipError) zipError_;
    decltype(clsZipEvents::DoEvents) doEvents_;
};

class RunningFlag {
public:
    explicit RunningFlag(bool& flag) : flag_(flag) { flag_ = true; }
    ~RunningFlag() { flag_ = false; }
    RunningFlag(const RunningFlag&) = delete;
    RunningFlag& operator=(const RunningFlag&) = delete;

private:
    bool& flag_;
};

}  // namespace

std::string BackupDoneWithErrors(int refusedCount) {
    return "Sauvegarde terminée, mais " + std::to_string(refusedCount) +
           " fichiers n'ont pas pu être sauvegardés : voir rapport.txt !";
}

namespace {

std::string BackupDateText(const std::string& name) {
    const auto when = DatedBackupTime(name);
    if (!when) return name;
    char text[32];
    std::snprintf(text, sizeof text, "%02d/%02d/%04d %02d:%02d", when->day, when->month, when->year, when->hour,
                  when->minute);
    return text;
}

}  // namespace

std::string MakeRoomQuestion(const std::vector<std::string>& removed, std::uint64_t needed, std::uint64_t free) {
    std::string text = MediumFullText(needed, free) + kMessageBreak + kMessageBreak;
    text += removed.size() == 1 ? "La plus ancienne sauvegarde, du " + BackupDateText(removed.front()) + ", sera supprimée"
                                : "Les " + std::to_string(removed.size()) + " plus anciennes sauvegardes, du " +
                                      BackupDateText(removed.front()) + " au " + BackupDateText(removed.back()) +
                                      ", seront supprimées";
    text += " pour faire de la place.";
    text += kMessageBreak;
    text += "Tapez 'OUI' pour confirmer ?|NON";
    return text;
}

std::string RemovedForRoomText(int count) {
    return count == 1 ? "1 ancienne sauvegarde supprimée pour faire de la place."
                      : std::to_string(count) + " anciennes sauvegardes supprimées pour faire de la place.";
}

void efface_boutons(BackupJobView& view) {
    for (int lamp = kLampCompress; lamp <= kLampDone; ++lamp) view.SetLamp(lamp, kLampOff);
}

DataBackupJob::DataBackupJob(DataBackupJobContext context) : ctx_(std::move(context)) {}

BackupRunResult DataBackupJob::Run() {
    if (running_) {
        BackupRunResult ignored;
        ignored.outcome = BackupOutcome::AlreadyRunning;
        return ignored;
    }
    RunningFlag running(running_);
    EngineHandlersGuard handlers(ctx_.engine);
    if (!ctx_.engine.Events.DoEvents) ctx_.engine.Events.DoEvents = [this] { ctx_.pump.DoEvents(); };
    return RunOnce();
}

void DataBackupJob::ShowMessage(const std::string& text) {
    kuv::DialogMode = kuv::kDialogMessage;
    kuv::DialogText = text;
    ctx_.dialog.ShowDialog();
}

void DataBackupJob::ReportFailure(BackupOutcome outcome, const std::string& text) {
    if (onFailure_) onFailure_(outcome, text);
}

void DataBackupJob::ClearPendingMembers() {
    while (ctx_.engine.FileCount() > 0) {
        if (!ctx_.engine.FileDel(1)) break;
    }
}

// One run's state: what the steps share.
struct DataBackupJob::RunState {
    RunState(const MainSettings& settings, const std::string& reportPath)
        : copyMode(settings.copyMode),
          silentMode(settings.silentMode),
          autoQuit(settings.autoQuit),
          report(reportPath) {}

    // The flags are read once: a caller that changes them while the run pumps
    // events does not change this run.
    const bool copyMode;
    const bool silentMode;
    const bool autoQuit;
    std::vector<kuv::platform::DriveEntry> drives;
    std::string dataFolderText;   // the data folder as the user wrote it
    std::string dataFolder;       // resolved
    std::vector<std::string> names;  // the files listed, as on disk
    // Every listed file in list order, as List1, List2 and the report show it.
    struct Listed {
        std::string name;       // as on disk: the member's name in the archive
        std::string lowerName;  // as shown
        bool saved = false;
        std::string refusal;    // the engine's message when it refused a kept file
    };
    std::vector<Listed> listed;
    std::vector<std::string> subFolders;  // lower case, listing order: not in the backup
    // The engine's FileZipErr messages of this run, by file path (the last one wins).
    std::map<std::string, std::string> engineMessages;
    std::string lastEngineMessage;
    std::string status;           // Label5's text when the run failed
    std::vector<std::string> archived;  // the member names the written archive holds
    std::string mediumFolder;     // destination root + "\" + backup folder name
    std::string desktopFolder;    // copy mode
    bool mediumGone = false;      // the destination's drive is no longer mounted
    std::string target;           // the archive's resolved path
    std::string archiveFolder;    // the folder the archive goes to, resolved
    DateTime archiveTime;         // the time the archive is named after
    BackupReport report;
    bool failed = false;          // the archive could not be written
    bool adding = false;
    std::chrono::steady_clock::time_point addStart{};
    BackupRunResult result;
};

BackupRunResult DataBackupJob::RunOnce() {
    BackupJobView& view = ctx_.view;
    RunState run(ctx_.settings, JoinPath(ctx_.workingFolder, kReportFileName));

    // Warning about a backup on the C: disk.
    const std::string destinationText = view.SelectedDestinationText();
    if (!destinationText.empty() && destinationText[0] == 'C' && !ctx_.settings.noWarning && !run.copyMode) {
        ShowMessage(std::string("ATTENTION !") + kMessageBreak + kMessageBreak + kWarnDiskC);
    }

    // A destination must be chosen, in copy mode too.
    if (view.SelectedDestinationIndex() <= 0) {
        view.SetDestinationBackground(kComboNoDestination.r, kComboNoDestination.g, kComboNoDestination.b);
        ReportFailure(BackupOutcome::NoDestination, kNoDestination);
        ShowMessage(kNoDestination);
        run.result.outcome = BackupOutcome::NoDestination;
        return run.result;
    }

    run.drives = ctx_.drives.Drives();
    if (!FindDataFiles(run)) {
        run.result.outcome = BackupOutcome::NoDataFolder;
        return run.result;
    }

    run.report.Begin(ctx_.clock.Now());
    // The pending list may still hold the members of a run whose archive
    // could not be written: start from an empty list.
    ClearPendingMembers();
    efface_boutons(view);
    view.SetStatus("");

    PrepareDestination(run);
    view.SetLamp(kLampCompress, kLampOn);

    AddFiles(run);
    ctx_.pump.DoEvents();
    view.SetLamp(kLampCopy, kLampOn);

    if (ctx_.engine.FileCount() > 0) {
        if (!MakeRoom(run)) {
            ClearPendingMembers();
            EndFailedRun(run, BackupOutcome::WriteFailed);
            return run.result;
        }
        WriteBackupArchive(run);
        if (run.failed) {
            ClearPendingMembers();
            EndFailedRun(run, BackupOutcome::WriteFailed);
            return run.result;
        }
        if (!ArchiveReadsBack(run)) {
            run.status = kArchiveUnreadable;
            view.SetStatus(run.status);
            view.SetLamp(kLampCopy, kLampFailed);
            EndFailedRun(run, BackupOutcome::VerifyFailed);
            return run.result;
        }
        LeaveOutMissingMembers(run);
        run.result.archiveWritten = true;
        run.result.archivePath = run.target;
        RecordSuccessfulBackup(ctx_.workingFolder, run.archiveTime);
        if (!run.copyMode) ThinByRule(run);
    }

    view.SetLamp(kLampSettle, kLampOn);
    ctx_.pump.Wait(4000);  // the time a removable medium needs to finish writing
    // Files the engine refused are not in the archive: the last lamp says so.
    view.SetLamp(kLampDone, run.result.refusedCount > 0 ? kLampFailed : kLampOn);
    ctx_.gauge.SetGaugeText(kGaugeDone);

    if (!run.copyMode) WriteLastBackupRecord(run);

    run.report.Finish(run.result.savedCount, run.result.ignoredCount, run.result.refusedCount, ctx_.clock.Now());

    if (run.autoQuit) {
        ctx_.timers.Arm(TimerId::Timer2, 1000);
    } else if (!run.silentMode) {
        std::string done = run.result.refusedCount > 0 ? BackupDoneWithErrors(run.result.refusedCount) : kBackupDone;
        if (run.result.removedForRoom > 0) done += kMessageBreak + RemovedForRoomText(run.result.removedForRoom);
        ShowMessage(done);
    }
    run.result.outcome = BackupOutcome::Completed;
    return run.result;
}

// The data folder must be configured, found and listable: otherwise the run
// would write an empty archive and report it as a success. On failure the
// message goes to Label5 (and to the dialog unless in silent mode) and
// nothing is written.
bool DataBackupJob::FindDataFiles(RunState& run) {
    run.dataFolderText = kuv::platform::Trim(ctx_.settings.dataFolder);
    std::string problem;
    if (run.dataFolderText.empty()) {
        problem = kDataFolderNotSet;
    } else {
        run.dataFolder = kuv::platform::ResolveDrivePath(run.dataFolderText, run.drives);
        bool listed = false;
        if (!run.dataFolder.empty() && kuv::platform::IsFolder(run.dataFolder)) {
            run.names = kuv::platform::RegularFileNames(run.dataFolder, &listed);
            // The program's own work files are never data.
            run.names.erase(std::remove_if(run.names.begin(), run.names.end(),
                                           [](const std::string& n) { return kuv::platform::IsWorkName(n); }),
                            run.names.end());
            for (const auto& entry : kuv::platform::ListFolder(run.dataFolder)) {
                if (entry.kind == kuv::platform::EntryKind::Folder) {
                    run.subFolders.push_back(kuv::platform::ToLower(entry.name));
                }
            }
        }
        if (!listed) problem = std::string(kDataFolderMissing) + run.dataFolderText;
        // A half-restored folder would be saved as the newest backup.
        else kuv::platform::RestorePending(run.dataFolder, &problem);
    }
    if (problem.empty()) return true;
    efface_boutons(ctx_.view);
    ctx_.view.SetLamp(kLampCompress, kLampFailed);
    ctx_.view.SetStatus(problem);
    ReportFailure(BackupOutcome::NoDataFolder, problem);
    if (!run.silentMode) ShowMessage(problem);
    return false;
}

// The desktop in copy mode (created when missing), otherwise the backup
// folder on the medium, created one level only: a missing medium must not
// turn into folders on the system disk.
void DataBackupJob::PrepareDestination(RunState& run) {
    run.mediumFolder = MediumFolder(ctx_.settings.destinationRoot, ctx_.settings.backupFolderName);
    if (run.copyMode) {
        run.desktopFolder = ctx_.specialFolders.SpecialFolderPath(0);
        if (!run.desktopFolder.empty() && !kuv::platform::IsFolder(run.desktopFolder)) {
            kuv::platform::CreateFolderPath(run.desktopFolder);
        }
    } else {
        // A medium ejected since the drive list was made: nothing is created
        // in the folder it may have left behind, and the write then fails as
        // on a missing medium.
        const kuv::platform::DriveEntry* drive = kuv::platform::DriveOfPath(run.mediumFolder, run.drives);
        run.mediumGone = drive && !ctx_.drives.IsPresent(*drive);
        const std::string resolved =
            run.mediumGone ? std::string() : kuv::platform::ResolveDrivePath(run.mediumFolder, run.drives);
        if (!resolved.empty()) kuv::platform::CreateFolder(resolved);
        run.archiveFolder = resolved;
    }
    if (run.copyMode) run.archiveFolder = run.desktopFolder;
}

// The room the archive needs (whole blocks, and one more for the directory
// entry) against the room on its medium. Short of it, in normal mode, the
// oldest dated backups of the backup folder go, after the user agreed when
// someone is there to ask and no "GARDER=" rule says what may go. False, with
// Label5 and lamp 1 saying so, when it cannot fit: nothing was removed then,
// unless a removal failed half-way.
bool DataBackupJob::MakeRoom(RunState& run) {
    kuv::platform::FreeSpace space;
    if (run.archiveFolder.empty() || !kuv::platform::FreeSpaceOf(run.archiveFolder, space)) return true;
    const std::uint64_t needed = RoomFor(ctx_.engine.PlannedArchiveBytes(), space.blockSize);
    if (needed <= space.bytes) return true;

    RoomPlan plan;
    const std::string current = NormalArchiveName(ctx_.clock.Now());
    if (!run.copyMode) {
        std::vector<ExistingBackup> existing;
        for (const auto& entry : kuv::platform::ListFolder(run.archiveFolder)) {
            std::uint64_t size = 0;
            if (entry.kind != kuv::platform::EntryKind::Regular || entry.isLink || !DatedBackupTime(entry.name) ||
                !kuv::platform::FileSize(JoinPath(run.archiveFolder, entry.name), size)) {
                continue;
            }
            existing.push_back({entry.name, size});
        }
        plan = PlanRoom(existing, needed, space.bytes, current);
    }
    bool agreed = plan.fits;
    if (agreed && KeepRuleOf(ctx_.settings.backupOptions).kind == KeepRule::Kind::None && !run.silentMode &&
        !run.autoQuit) {
        kuv::DialogMode = kuv::kDialogConfirmUpper;
        kuv::DialogText = MakeRoomQuestion(plan.removed, needed, space.bytes);
        ctx_.dialog.ShowDialog();
        agreed = kuv::platform::Trim(kuv::platform::ToUpper(kuv::DialogText)) == "OUI";
    }
    if (agreed) {
        for (const std::string& name : plan.removed) {
            RemoveOldBackup(run, run.archiveFolder, name, run.result.removedForRoom);
        }
        kuv::platform::FreeSpaceOf(run.archiveFolder, space);
        if (needed <= space.bytes) return true;
    }
    run.status = MediumFullText(needed, space.bytes);
    ctx_.view.SetStatus(run.status);
    ctx_.view.SetLamp(kLampCopy, kLampFailed);
    run.failed = true;
    return false;
}

void DataBackupJob::RemoveOldBackup(RunState& run, const std::string& folder, const std::string& name, int& count) {
    if (!kuv::platform::RemoveFile(JoinPath(folder, name))) return;
    run.report.AddRemoved(name);
    ++count;
}

// The "GARDER=" rule, once the new archive has read back.
void DataBackupJob::ThinByRule(RunState& run) {
    const KeepRule rule = KeepRuleOf(ctx_.settings.backupOptions);
    if (rule.kind == KeepRule::Kind::None || run.archiveFolder.empty()) return;
    std::vector<std::string> names;
    for (const auto& entry : kuv::platform::ListFolder(run.archiveFolder)) {
        if (entry.kind == kuv::platform::EntryKind::Regular && !entry.isLink) names.push_back(entry.name);
    }
    const std::string current = kuv::platform::FileNameOf(run.target);
    for (const std::string& name : RemovedByRule(names, rule, ctx_.clock.Now(), current)) {
        RemoveOldBackup(run, run.archiveFolder, name, run.result.removedByRule);
    }
}

// Each listed file through the exclusion rules; a kept one to the engine.
// A file the engine refuses (vanished, locked, a name the archive cannot
// carry) is told by FileAdd's count; it is listed in List2 and reported
// with the engine's message. The engine's FileZipErr reports are kept off
// the window during the run. The sub-folders follow the files in List2 and
// the report: the backup does not hold them.
void DataBackupJob::AddFiles(RunState& run) {
    BackupJobView& view = ctx_.view;
    view.ClearSavedList();
    view.ClearIgnoredList();
    view.ShowDataFolderFiles(run.dataFolderText, run.names);
    ctx_.gauge.InitGauge(static_cast<int>(run.names.size()));
    view.SetAddedCounter("");
    int addedCounter = 0;

    ctx_.engine.Events.FileZipErr = [&run, window = ctx_.engine.Events.FileZipErr](
                                        std::string& path, std::int32_t& number, std::string& description) {
        run.engineMessages[path] = description;
        run.lastEngineMessage = description;
        if (window) window(path, number, description);
    };
    const ExclusionRules rules(ctx_.settings.backupOptions);
    for (const std::string& name : run.names) {
        const std::string lowerName = kuv::platform::ToLower(name);
        ctx_.gauge.StepGauge();
        const std::string fullPath = JoinPath(run.dataFolder, name);
        bool kept = rules.Classify(lowerName, fullPath) == Exclusion::Kept;
        std::string refusal;
        ctx_.pump.DoEvents();
        if (kept) {
            if (!run.adding) {
                run.adding = true;
                run.addStart = std::chrono::steady_clock::now();
            }
            run.lastEngineMessage.clear();
            if (ctx_.engine.FileAdd(fullPath, 0, true, false) <= 0) {
                refusal = run.lastEngineMessage.empty() ? kRefusedUnknown : run.lastEngineMessage;
                kept = false;
            }
        }
        run.listed.push_back({name, lowerName, kept, refusal});
        if (kept) {
            ++addedCounter;
            view.SetAddedCounter(std::to_string(addedCounter));
            view.AddSavedFile(lowerName);
            run.report.AddSaved(lowerName);
            ++run.result.savedCount;
        } else if (!refusal.empty()) {
            view.AddIgnoredFile(lowerName);
            run.report.AddRefused(lowerName, refusal);
            ++run.result.refusedCount;
        } else {
            view.AddIgnoredFile(lowerName);
            run.report.AddIgnored(lowerName);
            ++run.result.ignoredCount;
        }
        ctx_.pump.DoEvents();
    }
    for (const std::string& folder : run.subFolders) {
        view.AddIgnoredFile(folder + "\\");
        run.report.AddSubFolder(folder);
    }
    run.result.subFolderCount = static_cast<int>(run.subFolders.size());
}

// Names the archive, sets its comment and writes it. A write the engine
// reports as failed ends on "Support plein ou absent !" (after the engine's
// own "Clé pleine ou absente !"), or on the engine's own text when the
// archive would pass what a FAT medium's file may hold; an error while
// naming or writing on "Clé pleine ou absente !"; all show lamp 1 failed and
// set run.failed.
void DataBackupJob::WriteBackupArchive(RunState& run) {
    BackupJobView& view = ctx_.view;
    clsZip& engine = ctx_.engine;
    bool mediumLimit = false;
    engine.Events.WriteFailed = [&run, &view, &mediumLimit](const std::string& text) {
        view.SetStatus(text);
        run.failed = true;
        mediumLimit = text == kuv::zip::kWriteFailedMediumLimitText;
    };
    try {
        const DateTime now = ctx_.clock.Now();
        run.archiveTime = now;
        engine.SetComment(ArchiveComment(run.dataFolderText, now));
        mediumArchivePath_ = MediumArchivePath(run.mediumFolder, now);
        if (!run.copyMode) {
            if (!run.mediumGone) run.target = kuv::platform::ResolveDrivePath(mediumArchivePath_, run.drives);
        } else if (!run.desktopFolder.empty()) {
            run.target = JoinPath(run.desktopFolder, DesktopArchiveName(ctx_.settings.desktopArchiveName, now));
        }
        const bool written = !run.target.empty() && engine.WriteZip(run.target, true);
        if (run.adding) run.result.addAndWriteTime = std::chrono::steady_clock::now() - run.addStart;
        if (!written || run.failed) {
            run.status = mediumLimit ? kuv::zip::kWriteFailedMediumLimitText : kMediumFull;
            view.SetStatus(run.status);
            view.SetLamp(kLampCopy, kLampFailed);
            run.failed = true;
        }
    } catch (const std::exception&) {
        run.status = kKeyFull;
        view.SetStatus(run.status);
        view.SetLamp(kLampCopy, kLampFailed);
        run.failed = true;
    }
}

// A backup that does not read back is not a backup: every member is
// decompressed and its CRC checked. The archive's pages are dropped from the
// system's cache first, so that the check reads what the medium really holds.
bool DataBackupJob::ArchiveReadsBack(RunState& run) {
    clsZip& engine = ctx_.engine;
    // The failing member is named to the window's handler (which logs it);
    // nothing is kept on a CRC mismatch.
    engine.Events.ZipError = [window = engine.Events.ZipError](std::int32_t number, const std::string& text,
                                                               bool& cancel) {
        if (window) window(number, text, cancel);
        cancel = false;
    };
    kuv::platform::DropCachedData(run.target);
    const bool sound = engine.ZipOpen(run.target) && engine.TestAllFiles();
    if (sound) {
        for (std::int32_t i = 1; i <= engine.inFileCount(); ++i) run.archived.push_back(engine.inFileName(i));
    }
    engine.ZipClose();
    return sound;
}

// A file the engine had to copy from the disk when writing (no room for its
// compressed data beforehand) is left out of the archive if it vanished or
// was locked in between, and the write still succeeds. Such a file was
// listed as saved: it is moved to the refused files, in List1, List2,
// Label3, the counts and the report, so that nothing claims a file the
// archive does not hold.
void DataBackupJob::LeaveOutMissingMembers(RunState& run) {
    if (static_cast<int>(run.archived.size()) >= run.result.savedCount) return;
    bool changed = false;
    for (RunState::Listed& file : run.listed) {
        if (!file.saved) continue;
        if (std::find(run.archived.begin(), run.archived.end(), file.name) != run.archived.end()) continue;
        file.saved = false;
        const auto message = run.engineMessages.find(JoinPath(run.dataFolder, file.name));
        file.refusal = message != run.engineMessages.end() && !message->second.empty() ? message->second
                                                                                     : kRefusedUnknown;
        run.report.LeaveOut(file.lowerName, file.refusal);
        --run.result.savedCount;
        ++run.result.refusedCount;
        changed = true;
    }
    if (!changed) return;
    ShowLists(run);
    ctx_.view.SetAddedCounter(std::to_string(run.result.savedCount));
}

// List1 and List2 rebuilt from the run's outcome: the files in the archive,
// then the files left out or refused and the sub-folders.
void DataBackupJob::ShowLists(const RunState& run) {
    BackupJobView& view = ctx_.view;
    view.ClearSavedList();
    view.ClearIgnoredList();
    for (const RunState::Listed& file : run.listed) {
        if (file.saved) view.AddSavedFile(file.lowerName);
        else view.AddIgnoredFile(file.lowerName);
    }
    for (const std::string& folder : run.subFolders) view.AddIgnoredFile(folder + "\\");
}

// The archive could not be written or does not read back: nothing was saved,
// so "Fichiers sauvegardés" is emptied and the counter shows 0; the report
// ends on the failure, and the user is told outside silent mode (Label5 and
// the lamp already show it). No record, no final message, Timer2 not armed.
void DataBackupJob::EndFailedRun(RunState& run, BackupOutcome outcome) {
    ctx_.view.ClearSavedList();
    ctx_.view.SetAddedCounter("0");
    run.result.savedCount = 0;
    run.report.Fail(ctx_.clock.Now());
    ReportFailure(outcome, run.status);
    if (!run.silentMode) ShowMessage(kBackupFailed + run.status);
    run.result.outcome = outcome;
}

// "dernkuvp.txt" (the medium folder, then the medium archive path) and the
// link-file key "Dern:SAV:MAN".
void DataBackupJob::WriteLastBackupRecord(RunState& run) {
    kuv::platform::WriteWholeFile(
        JoinPath(ctx_.workingFolder, kLastBackupFileName),
        kuv::platform::EncodeTextFile(run.mediumFolder + "\r\n" + mediumArchivePath_ + "\r\n"));
    const std::string value = LastBackupValue(ctx_.clock.Now());
    if (kuv::WriteLinkValue(kLastBackupKey, value, JoinPath(ctx_.workingFolder, kuv::kLinkFileName))) {
        run.result.lastBackupValue = value;
    }
    ctx_.pump.DoEvents();
}

}  // namespace kuv::backup
