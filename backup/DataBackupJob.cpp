#include "backup/DataBackupJob.h"

#include <cstdint>
#include <exception>
#include <utility>

#include "backup/ArchiveNaming.h"
#include "backup/BackupReport.h"
#include "backup/ExclusionRules.h"
#include "link/LinkFile.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "zip/clsZip.h"

namespace kuv::backup {

namespace {

using kuv::platform::JoinPath;

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

void DataBackupJob::ClearPendingMembers() {
    while (ctx_.engine.FileCount() > 0) {
        if (!ctx_.engine.FileDel(1)) break;
    }
}

BackupRunResult DataBackupJob::RunOnce() {
    MainSettings& settings = ctx_.settings;
    BackupJobView& view = ctx_.view;
    clsZip& engine = ctx_.engine;
    BackupRunResult result;

    // The flags are read once: a caller that changes them during the run's
    // event pumping does not change this run.
    const bool copyMode = settings.copyMode;
    const bool silentMode = settings.silentMode;
    const bool autoQuit = settings.autoQuit;

    // Warning about a backup on the C: disk.
    const std::string destinationText = view.SelectedDestinationText();
    if (!destinationText.empty() && destinationText[0] == 'C' && !settings.noWarning && !copyMode) {
        ShowMessage(std::string("ATTENTION !") + kMessageBreak + kMessageBreak + kWarnDiskC);
    }

    // A destination must be chosen, in copy mode too.
    if (view.SelectedDestinationIndex() <= 0) {
        view.SetDestinationBackground(255, 192, 192);
        ShowMessage(kNoDestination);
        result.outcome = BackupOutcome::NoDestination;
        return result;
    }

    // The data folder must be configured, found and listable: otherwise the
    // run would write an empty archive and report it as a success.
    const std::vector<kuv::platform::DriveEntry> drives = ctx_.drives.Drives();
    const std::string dataFolderText = kuv::platform::Trim(settings.dataFolder);
    std::string dataFolder;
    std::vector<std::string> names;
    {
        std::string problem;
        if (dataFolderText.empty()) {
            problem = kDataFolderNotSet;
        } else {
            dataFolder = kuv::platform::ResolveDrivePath(dataFolderText, drives);
            bool listed = false;
            std::vector<kuv::platform::FolderEntry> entries;
            if (!dataFolder.empty() && kuv::platform::IsFolder(dataFolder)) {
                entries = kuv::platform::ListFolder(dataFolder, "*", &listed);
            }
            if (!listed) {
                problem = std::string(kDataFolderMissing) + dataFolderText;
            } else {
                names.reserve(entries.size());
                for (const auto& entry : entries) {
                    if (entry.kind == kuv::platform::EntryKind::Regular) names.push_back(entry.name);
                }
            }
        }
        if (!problem.empty()) {
            efface_boutons(view);
            view.SetLamp(kLampCompress, kLampFailed);
            view.SetStatus(problem);
            if (!silentMode) ShowMessage(problem);
            result.outcome = BackupOutcome::NoDataFolder;
            return result;
        }
    }

    // The report and its header.
    BackupReport report(JoinPath(ctx_.workingFolder, kReportFileName));
    report.Begin(ctx_.clock.Now());

    // The pending list may still hold the members of a run whose archive
    // could not be written: start from an empty list.
    ClearPendingMembers();

    bool failed = false;
    efface_boutons(view);
    view.SetStatus("");

    // Destination: the desktop in copy mode, otherwise the backup folder on
    // the medium (created one level only: a missing medium must not turn into
    // folders on the system disk).
    const std::string mediumFolder = MediumFolder(settings.destinationRoot, settings.backupFolderName);
    std::string desktopFolder;
    if (copyMode) {
        desktopFolder = ctx_.specialFolders.SpecialFolderPath(0);
        if (!desktopFolder.empty() && !kuv::platform::IsFolder(desktopFolder)) {
            kuv::platform::CreateFolderPath(desktopFolder);
        }
    } else {
        const std::string resolved = kuv::platform::ResolveDrivePath(mediumFolder, drives);
        if (!resolved.empty()) kuv::platform::CreateFolder(resolved);
    }
    view.SetLamp(kLampCompress, kLampOn);

    // The files of the data folder.
    view.ClearSavedList();
    view.ClearIgnoredList();
    view.ShowDataFolderFiles(dataFolderText, names);
    ctx_.gauge.InitGauge(static_cast<int>(names.size()));
    view.SetAddedCounter("");
    int addedCounter = 0;

    // A file the engine refuses is told through FileZipErr and FileAdd's
    // count; the count decides, the handler keeps the engine's reports off
    // the window during the run.
    engine.Events.FileZipErr = [](std::string&, std::int32_t&, std::string&) {};

    const ExclusionRules rules(settings.backupOptions);
    bool adding = false;
    std::chrono::steady_clock::time_point addStart{};
    for (const std::string& name : names) {
        const std::string lowerName = kuv::platform::ToLower(name);
        ctx_.gauge.StepGauge();
        const std::string fullPath = JoinPath(dataFolder, name);
        bool kept = rules.Classify(lowerName, fullPath) == Exclusion::Kept;
        ctx_.pump.DoEvents();
        if (kept) {
            if (!adding) {
                adding = true;
                addStart = std::chrono::steady_clock::now();
            }
            kept = engine.FileAdd(fullPath, 0, true, false) > 0;
        }
        if (kept) {
            ++addedCounter;
            view.SetAddedCounter(std::to_string(addedCounter));
            view.AddSavedFile(lowerName);
            report.AddSaved(lowerName);
            ++result.savedCount;
        } else {
            view.AddIgnoredFile(lowerName);
            report.AddIgnored(lowerName);
            ++result.ignoredCount;
        }
        ctx_.pump.DoEvents();
    }
    ctx_.pump.DoEvents();
    view.SetLamp(kLampCopy, kLampOn);

    // Writing the archive.
    std::string target;
    engine.Events.WriteFailed = [&](const std::string& text) {
        view.SetStatus(text);
        failed = true;
    };
    if (engine.FileCount() > 0) {
        try {
            const DateTime now = ctx_.clock.Now();
            engine.SetComment(ArchiveComment(dataFolderText, now));
            mediumArchivePath_ = MediumArchivePath(mediumFolder, now);
            if (copyMode) {
                target = desktopFolder.empty()
                             ? std::string()
                             : JoinPath(desktopFolder, DesktopArchiveName(settings.desktopArchiveName, now));
            } else {
                target = kuv::platform::ResolveDrivePath(mediumArchivePath_, drives);
            }
            const bool written = !target.empty() && engine.WriteZip(target, true);
            if (adding) result.addAndWriteTime = std::chrono::steady_clock::now() - addStart;
            if (!written || failed) {
                view.SetStatus(kMediumFull);
                view.SetLamp(kLampCopy, kLampFailed);
                failed = true;
            }
        } catch (const std::exception&) {
            view.SetStatus(kKeyFull);
            view.SetLamp(kLampCopy, kLampFailed);
            failed = true;
        }
        if (failed) {
            report.Flush();
            ClearPendingMembers();
            result.outcome = BackupOutcome::WriteFailed;
            return result;
        }

        // A backup that does not read back is not a backup.
        // The archive's pages are dropped from the system's cache first, so
        // that the check reads what the medium really holds.
        engine.Events.ZipError = [](std::int32_t, const std::string&, bool&) {};
        kuv::platform::DropCachedData(target);
        const bool sound = engine.ZipOpen(target) && engine.TestAllFiles();
        engine.ZipClose();
        if (!sound) {
            view.SetStatus(kArchiveUnreadable);
            view.SetLamp(kLampCopy, kLampFailed);
            report.Flush();
            result.outcome = BackupOutcome::VerifyFailed;
            return result;
        }
        result.archiveWritten = true;
        result.archivePath = target;
    }

    view.SetLamp(kLampSettle, kLampOn);
    ctx_.pump.Wait(4000);  // the time a removable medium needs to finish writing
    view.SetLamp(kLampDone, kLampOn);
    ctx_.gauge.SetGaugeText(kGaugeDone);

    // The last-backup record, on a medium only.
    if (!copyMode) {
        kuv::platform::WriteWholeFile(
            JoinPath(ctx_.workingFolder, kLastBackupFileName),
            kuv::platform::EncodeTextFile(mediumFolder + "\r\n" + mediumArchivePath_ + "\r\n"));
        const std::string value = LastBackupValue(ctx_.clock.Now());
        if (kuv::WriteLinkValue(kLastBackupKey, value, JoinPath(ctx_.workingFolder, kuv::kLinkFileName))) {
            result.lastBackupValue = value;
        }
        ctx_.pump.DoEvents();
    }

    report.Finish(result.savedCount, result.ignoredCount, ctx_.clock.Now());

    if (autoQuit) {
        ctx_.timers.Arm(TimerId::Timer2, 1000);
    } else if (!silentMode) {
        ShowMessage(kBackupDone);
    }
    result.outcome = BackupOutcome::Completed;
    return result;
}

}  // namespace kuv::backup
