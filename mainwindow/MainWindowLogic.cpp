// The main window's logic: startup, the backup button and timers, "Outils"
// and "Quitter".

#include "mainwindow/MainWindowLogic.h"

#include <QString>
#include <QStringList>
#include <exception>
#include <memory>
#include <utility>

#include "backup/ConfigFile.h"
#include "mainwindow/Startup.h"
#include "link/LinkFile.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "ui/LogCategories.h"
#include "zip/clsZip.h"

namespace kuv::backup {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// Every step of the window's handlers runs under a continue-on-error rule: a
// step that fails is skipped, logged under category, and the next one runs.
template <typename Action>
void StepIn(const QLoggingCategory& category, const char* step, Action&& action) {
    try {
        action();
    } catch (const std::exception& error) {
        qCWarning(category, "%s skipped after an error: %s", step, error.what());
    } catch (...) {
        qCWarning(category, "%s skipped after an unknown error", step);
    }
}

template <typename Action>
void Step(Action&& action) {
    StepIn(lcBackup(), "a step of the main window", std::forward<Action>(action));
}

constexpr int kRequestTimerMs = 1500;
constexpr int kAutomaticCopyTimerMs = 1000;
constexpr int kEndAfterRequestMs = 1000;  // as after a served request

}  // namespace

MainWindowLogic::MainWindowLogic(MainWindowContext context)
    : ctx_(std::move(context)),
      end_(ctx_.end),
      dialog_(ctx_.dialog, ctx_.unattendedDialogMs),
      destinations_(ctx_.view),
      listedDrives_(driveList_, ctx_.drives),
      copies_(operations::CopyContext{settings_, dialog_, ctx_.view, ctx_.clock, ctx_.pump, ctx_.specialFolders,
                                      [this] { return driveList_; }, LinkPath(), [this] { return RunBackupForCopy(); },
                                      // the copy's own closing step: it runs inside the copy
                                      [this] { QuitNow(); }, end_,
                                      [this](operations::AutomaticCopyNews news, const std::string& text) {
                                          qCWarning(lcOperations).noquote()
                                              << (news == operations::AutomaticCopyNews::Failed
                                                      ? "automatic copy failed:"
                                                      : "automatic copy of an incomplete backup:")
                                              << Q(text);
                                          TellDesktop(news == operations::AutomaticCopyNews::Failed
                                                          ? kNotifyCopyFailed
                                                          : kNotifyBackupIncomplete,
                                                      text);
                                      }}),
      programFiles_(operations::ProgramFilesContext{ctx_.dialog, ctx_.view, ctx_.clock, ctx_.pump,
                                                    [] { return platform::CurrentFolder(); }}) {}

MainWindowLogic::~MainWindowLogic() = default;

std::string MainWindowLogic::ConfigPath() const { return platform::JoinPath(ctx_.workingFolder, kConfigFileName); }

std::string MainWindowLogic::LinkPath() const { return platform::JoinPath(ctx_.workingFolder, kLinkFileName); }

std::string MainWindowLogic::ReadLink(const std::string& key) const {
    return platform::Trim(ReadLinkValue(key, LinkPath()));
}

void MainWindowLogic::Startup() {
    // 1. Flags of the run modes (the settings start empty and the flags false).
    StepIn(lcStartup(), "startup step 1", [&] {
        settings_.noWarning = false;
        settings_.automaticCopy = false;
        settings_.noFinalMessage = false;
        settings_.endAtOnce = false;
        settings_.copyMode = false;
    });
    // 2. The window's frame, button pictures, Frame1's place and the logo.
    StepIn(lcStartup(), "startup step 2", [&] { ctx_.view.DressWindow(); });
    // 3. The gauge, 100 steps.
    StepIn(lcStartup(), "startup step 3", [&] { ctx_.gauge.InitGauge(100); });
    // 4. Kuv-Zip.ini.
    StepIn(lcStartup(), "startup step 4", [&] {
        ConfigLines lines;
        if (!ReadConfigFile(ConfigPath(), lines)) {
            if (platform::PathExists(ConfigPath())) {
                qCWarning(lcStartup).noquote() << "cannot read" << Q(ConfigPath()) << "- the settings stay empty";
            } else {
                qCInfo(lcStartup).noquote() << "no" << Q(ConfigPath()) << "- the settings stay empty";
            }
        }
        ApplyConfig(lines, settings_);
    });
    // 5. The destination list, the destination root's entry selected.
    StepIn(lcStartup(), "startup step 5", [&] {
        volumesMark_ = ctx_.drives.VolumesMark();
        driveList_ = ctx_.drives.Drives();
        for (const platform::DriveEntry& drive : driveList_) {
            qCInfo(lcDrives).noquote() << "drive" << Q(drive.text) << "at" << Q(drive.rootPath) << "kind" << drive.kind;
        }
        destinations_.Fill(driveList_, settings_.destinationRoot);
    });
    // 6. The data folder.
    StepIn(lcStartup(), "startup step 6", [&] { ctx_.view.SetDataFolderText(settings_.dataFolder); });
    // 7. The last backup and its age.
    StepIn(lcStartup(), "startup step 7", [&] {
        std::string last = ReadLink(kLastBackupKey);
        if (!last.empty()) ShowLastBackup(last);
    });
    // 8. The exchange folder and its run-mode markers.
    StepIn(lcStartup(), "startup step 8", [&] {
        std::string value = ReadLink("RES2Z4IU4");
        if (value.empty()) return;
        ctx_.view.ShowTransferButton();
        ExchangeFolderValue exchange = ParseExchangeFolder(value);
        settings_.exchangeFolder = exchange.folder;
        if (exchange.automaticCopy) settings_.automaticCopy = true;
        if (exchange.noFinalMessage) settings_.noFinalMessage = true;
        if (exchange.endAtOnce) settings_.endAtOnce = true;
        if (exchange.automaticCopy) ctx_.view.SetWindowWidthTwips(kAutomaticWindowWidth);
    });
    // 9. Security backup on C: requested.
    StepIn(lcStartup(), "startup step 9", [&] {
        if (ReadLink("SAVAUT55").empty()) return;
        settings_.autoQuit = true;
        ctx_.view.SetWindowWidthTwips(kAutomaticWindowWidth);
        ctx_.view.ShowRequestPanel();
        destinations_.SelectDriveC(settings_.destinationRoot);
        ctx_.view.SetTitle(kTitleSecurityBackup);
        ctx_.timers.Arm(TimerId::Timer1, kRequestTimerMs);
        ctx_.pump.DoEvents();
    });
    // 10. Backup on the desktop requested.
    StepIn(lcStartup(), "startup step 10", [&] {
        std::string request = ReadLink("SAVAUT56");
        if (request.empty()) return;
        if (request.find("NOSIG") != std::string::npos) settings_.noWarning = true;
        settings_.autoQuit = true;
        ctx_.view.SetWindowWidthTwips(kAutomaticWindowWidth);
        ctx_.view.ShowRequestPanel();
        destinations_.SelectDriveC(settings_.destinationRoot);
        ctx_.view.SetTitle(kTitleDesktopBackup);
        settings_.desktopArchiveName = ReadLink("NOMFICATO");
        if (settings_.desktopArchiveName.empty()) settings_.desktopArchiveName = kDefaultArchiveName;
        ctx_.timers.Arm(TimerId::Timer111, kRequestTimerMs);
        ctx_.pump.DoEvents();
    });
    // 11. No destination found: the C: disk by default.
    StepIn(lcStartup(), "startup step 11", [&] {
        if (destinations_.SelectedIndex() != 0) return;
        destinations_.SelectDriveC(settings_.destinationRoot);
        ctx_.view.SetTitle(kTitleDefaultDiskC);
    });
    // 12. The backup name serves one start only.
    StepIn(lcStartup(), "startup step 12", [&] {
        settings_.backupName = ReadLink("nom_zip_s");
        if (settings_.backupName.empty()) settings_.backupName = kDefaultArchiveName;
        if (!WriteLinkValue("nom_zip_s", " ", LinkPath())) {
            qCWarning(lcStartup).noquote() << "cannot clear nom_zip_s in" << Q(LinkPath())
                                           << "- the backup name" << Q(settings_.backupName) << "may serve again";
        }
    });
    // 13.
    StepIn(lcStartup(), "startup step 13", [&] { ctx_.view.CentreWindow(); });
    // 14. The backup folder on the medium.
    StepIn(lcStartup(), "startup step 14", [&] { settings_.backupFolderName = BackupFolderName(settings_.dataFolder); });
    // 15. efface_boutons.
    StepIn(lcStartup(), "startup step 15", [&] {
        for (int lamp = kLampCompress; lamp <= kLampDone; ++lamp) ctx_.view.SetLamp(lamp, kLampOff);
    });
    // 16. File1 on the data folder.
    StepIn(lcStartup(), "startup step 16", [&] { ShowDataFolderFiles(); });
    // 17. The backup engine of the run.
    StepIn(lcStartup(), "startup step 17", [&] { CreateEngine(); });
    // 18. An exchange folder replaces the destination list.
    StepIn(lcStartup(), "startup step 18", [&] {
        if (settings_.exchangeFolder.empty()) return;
        ctx_.view.ShowExchangeFolder(settings_.exchangeFolder);
    });
    // 19. The automatic copy to the exchange folder, after one second.
    StepIn(lcStartup(), "startup step 19", [&] {
        if (!settings_.automaticCopy) return;
        ctx_.view.ShowAutomaticCopyPanel(true);
        ctx_.timers.Arm(TimerId::Timer3, kAutomaticCopyTimerMs);
    });
    StepIn(lcStartup(), "Text1", [&] { ShowDestinationFolder(); });
    // A program restore a crash stopped: what was done is told, by a
    // notification in a run the linked application started (nobody may be
    // there to close a dialog), else by a dialog.
    StepIn(lcStartup(), "program restore", [&] {
        const std::string told = programFiles_.RecoverAtStart();
        if (told.empty()) return;
        if (settings_.automaticCopy || settings_.autoQuit) {
            TellDesktop(kNotifyProgramRestore, told);
            return;
        }
        DialogMode = kDialogMessage;
        DialogText = told;
        ctx_.dialog.ShowDialog();
    });
    // 20.
    StepIn(lcStartup(), "startup step 20", [&] { ctx_.pump.DoEvents(); });
    // The destination list follows the media from now on.
    StepIn(lcStartup(), "watching the drives", [&] { ctx_.timers.Arm(TimerId::DriveWatch, kDriveWatchMs); });
}

void MainWindowLogic::ShowDestinationFolder() {
    std::string path;
    // With no destination chosen (its medium pulled out), the root's letter
    // may name another medium now: nothing is shown.
    if (!settings_.destinationRoot.empty() && destinations_.SelectedIndex() > 0) {
        path = platform::ResolveDrivePath(settings_.destinationRoot + "\\" + settings_.backupFolderName,
                                          driveList_);
    }
    ctx_.view.ShowDestinationFolder(path);
}

void MainWindowLogic::CreateEngine() {
    if (engine_) return;
    engine_ = std::make_unique<clsZip>();
    // The window shows none of the engine's reports during a backup; they
    // are logged (the engine itself has no logging).
    engine_->Events.FileZipErr = [](std::string& path, std::int32_t& number, std::string& description) {
        qCWarning(lcZip).noquote() << "FileZipErr" << number << Q(path) << "-" << Q(description);
    };
    engine_->Events.ZipError = [](std::int32_t number, const std::string& description, bool&) {
        qCWarning(lcZip).noquote() << "ZipError" << number << "-" << Q(description);
    };
    job_ = std::make_unique<DataBackupJob>(DataBackupJobContext{
        settings_, *engine_, dialog_, ctx_.view, ctx_.gauge, ctx_.clock, ctx_.pump, ctx_.timers,
        ctx_.specialFolders, listedDrives_, ctx_.workingFolder});
    job_->OnFailure([this](BackupOutcome, const std::string& text) {
        qCWarning(lcBackup).noquote() << "backup failed:" << Q(text);
        if (unattendedRun_) TellDesktop(kNotifyBackupFailed, text);
    });
}

void MainWindowLogic::TellDesktop(const char* summary, const std::string& body) {
    qCWarning(lcNotify).noquote() << summary << ":" << Q(body);
    ctx_.notifier.Notify(summary, body);
}

void MainWindowLogic::ShowLastBackup(const std::string& value) {
    LastBackup last = ParseLastBackup(value, ctx_.clock.Now());
    ctx_.view.SetLastBackupText(last.display);
    Rgb colour = BackupAgeColour(last.ageDays);
    ctx_.view.SetLastBackupBackground(colour.r, colour.g, colour.b);
}

void MainWindowLogic::ShowDataFolderFiles() {
    std::vector<std::string> names;
    if (settings_.dataFolder.empty()) {
        qCInfo(lcStartup) << "no data folder configured";
    } else {
        const std::string folder = platform::ResolveDrivePath(settings_.dataFolder, driveList_);
        bool listed = false;
        if (!folder.empty()) names = platform::RegularFileNames(folder, &listed);
        if (!listed) {
            qCWarning(lcStartup).noquote() << "data folder" << Q(settings_.dataFolder) << "not found"
                                           << (folder.empty() ? QStringLiteral("(no such drive)") : Q(folder));
        }
    }
    ctx_.view.ShowDataFolderFiles(settings_.dataFolder, names);
}

BackupRunResult MainWindowLogic::RunBackup() {
    BackupRunResult result;
    Step([&] {
        CreateEngine();
        result = job_->Run();
        // Label15 follows the record the run has just written.
        if (!result.lastBackupValue.empty()) ShowLastBackup(result.lastBackupValue);
        // Text1 tells where the archive went (the desktop in copy mode).
        if (result.archiveWritten) ctx_.view.ShowDestinationFolder(platform::FolderOf(result.archivePath));
    });
    return result;
}

operations::JobArchive MainWindowLogic::RunBackupForCopy() {
    const BackupRunResult result = RunBackup();
    operations::JobArchive archive;
    archive.written = result.outcome == BackupOutcome::Completed && result.archiveWritten;
    if (archive.written) archive.path = result.archivePath;
    archive.nothingSaved = result.outcome == BackupOutcome::Completed && result.savedCount == 0;
    // The copy tells what the backup lacks, after copying it.
    if (result.refusedCount > 0) archive.warning = BackupDoneWithErrors(result.refusedCount);
    return archive;
}

bool MainWindowLogic::BackupInProgress() const { return backupDepth_ > 0 || (job_ && job_->IsRunning()); }

bool MainWindowLogic::WhenBackupEnds(const std::string& command, std::function<void()> action) {
    if (!BackupInProgress() && waiting_.empty()) {
        Step(action);
        return true;
    }
    for (const WaitingCommand& w : waiting_) {
        if (w.name == command) {
            qCInfo(lcBackup).noquote() << Q(command) << "already waits for the end of the backup";
            return false;
        }
    }
    qCInfo(lcBackup).noquote() << Q(command) << "waits for the end of the backup";
    waiting_.push_back({command, std::move(action)});
    // Only reached between two waiting commands when one of them was asked
    // for outside a backup: it takes its turn now.
    if (!BackupInProgress()) RunWaitingCommands();
    return false;
}

bool MainWindowLogic::RunEngineCommand(const std::string& command, std::function<void()> action) {
    return WhenBackupEnds(command, [this, action = std::move(action)] { AsBackup(action); });
}

std::vector<std::string> MainWindowLogic::WaitingCommands() const {
    std::vector<std::string> names;
    for (const WaitingCommand& w : waiting_) names.push_back(w.name);
    return names;
}

void MainWindowLogic::AsBackup(const std::function<void()>& action) {
    ++backupDepth_;
    Step(action);
    --backupDepth_;
    if (backupDepth_ == 0) RunWaitingCommands();
}

void MainWindowLogic::RunWaitingCommands() {
    // A waiting command that runs a backup itself comes back here at its
    // end: the loop below goes on with the next one, in order.
    if (runningWaiting_) return;
    runningWaiting_ = true;
    while (!waiting_.empty() && !BackupInProgress()) {
        if (end_.Ended()) {
            for (const WaitingCommand& w : waiting_) {
                qCInfo(lcBackup).noquote() << Q(w.name) << "dropped: the program ends";
            }
            waiting_.clear();
            break;
        }
        WaitingCommand next = std::move(waiting_.front());
        waiting_.pop_front();
        qCInfo(lcBackup).noquote() << Q(next.name) << "runs after the backup";
        Step(next.action);
    }
    runningWaiting_ = false;
}

operations::CopyResult MainWindowLogic::CopyTo(operations::CopyTarget target) {
    const char* name = target == operations::CopyTarget::Dropbox    ? kCommandDropbox
                       : target == operations::CopyTarget::OneDrive ? kCommandOneDrive
                                                                    : kCommandFolder;
    // Told only to a copy that runs at once.
    auto result = std::make_shared<operations::CopyResult>(operations::CopyResult::CopyFailed);
    const bool now = WhenBackupEnds(name, [this, target, result] {
        AsBackup([&] { *result = copies_.Copy(target); });
    });
    return now ? *result : operations::CopyResult::Waiting;
}

void MainWindowLogic::RequestExchangeFolder() {
    Step([&] { copies_.RequestExchangeFolder(); });
}

void MainWindowLogic::ZipMail() {
    WhenBackupEnds(kCommandZipMail, [this] { AsBackup([this] { copies_.ZipMail(); }); });
}

void MainWindowLogic::BackupProgramFiles() {
    Step([&] { programFiles_.Backup(); });
}

void MainWindowLogic::RestoreProgramFiles() {
    Step([&] { programFiles_.Restore(); });
}

BackupRunResult MainWindowLogic::BackupClicked() {
    if (BackupInProgress()) {
        // A second start while a backup (or a copy, or a test panel button)
        // is under way is ignored.
        qCInfo(lcBackup) << "Sauvegarder les DONNEES ignored: a backup is in progress";
        BackupRunResult ignored;
        ignored.outcome = BackupOutcome::AlreadyRunning;
        return ignored;
    }
    BackupRunResult result;
    AsBackup([&] { result = RunBackup(); });
    if (result.outcome == BackupOutcome::Completed) failedRequests_.clear();
    return result;
}

void MainWindowLogic::DestinationClicked(int index) {
    Step([&] { destinations_.Click(index, settings_.destinationRoot); });
    Step([&] { ShowDestinationFolder(); });
}

void MainWindowLogic::WriteConfig() {
    if (!WriteConfigFile(ConfigPath(), ConfigFromSettings(settings_))) {
        qCWarning(lcBackup).noquote() << "cannot write" << Q(ConfigPath()) << "- the settings of this run are lost";
    }
}

void MainWindowLogic::Quit() {
    WhenBackupEnds(kCommandQuit, [this] { QuitNow(); });
}

void MainWindowLogic::QuitNow() {
    Step([&] { WriteConfig(); });
    Step([&] {
        // The command line in the linked application's vocabulary: its
        // program ("C:\Appli\appli.exe") goes through the drive list; a
        // letter with no drive starts nothing.
        std::vector<std::string> words = ctx_.launcher.SplitCommand(LinkedProgramCommand(settings_.linkedProgram));
        if (words.empty()) return;
        const std::string program = platform::ResolveDrivePath(words.front(), driveList_);
        if (program.empty()) return;
        words.erase(words.begin());
        ctx_.launcher.StartProgram(program, words, ctx_.workingFolder);
    });
    Step([&] { ctx_.pump.DoEvents(); });
    end_.EndProgram();
}

std::string MainWindowLogic::Ask(const std::string& prompt, const std::string& defaultAnswer) {
    DialogMode = kDialogQuestion;
    DialogText = prompt + defaultAnswer;
    ctx_.dialog.ShowDialog();
    // "Annuler" (answer code 2) keeps the setting, as a cleared field does.
    if (DialogMode == 2) return {};
    return platform::Trim(DialogText);
}

void MainWindowLogic::Configure() {
    WhenBackupEnds(kCommandConfigure, [this] { ConfigureNow(); });
}

void MainWindowLogic::ConfigureNow() {
    Step([&] {
        std::string answer = Ask(kAskDataFolder, settings_.dataFolder);
        if (!answer.empty()) settings_.dataFolder = answer;
    });
    Step([&] {
        std::string answer = Ask(kAskDestination, settings_.destinationRoot);
        if (!answer.empty()) settings_.destinationRoot = answer;
    });
    Step([&] {
        // One trailing separator removed ("/" too: a Linux data folder), the
        // root folder itself kept.
        std::string& folder = settings_.dataFolder;
        if (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    });
    Step([&] {
        std::string& root = settings_.destinationRoot;
        if (!root.empty()) root = platform::CharLeft(root, 1) + ":";
    });
    Step([&] {
        // The linked program is shown without its "#L#" prefix, so that an
        // answer left as it is does not store the prefix twice.
        std::string answer = Ask(kAskLinkedProgram, LinkedProgramForDisplay(settings_.linkedProgram));
        if (!answer.empty()) settings_.linkedProgram = LinkedProgramFromAnswer(answer);
    });
    Step([&] { WriteConfig(); });
    Step([&] {
        DialogMode = kDialogMessage;
        DialogText = kConfigured;
        ctx_.dialog.ShowDialog();
    });
    end_.EndProgram();
}

void MainWindowLogic::RunRequest(TimerId timer) {
    if (BackupInProgress()) {
        // Another backup is in progress (the other request, or the user's
        // button): this request waits for its turn instead of being lost.
        waitingRequests_.insert(timer);
        Step([&] { ctx_.timers.Arm(timer, kRequestTimerMs); });
        return;
    }
    waitingRequests_.erase(timer);
    if (timer == TimerId::Timer111) settings_.copyMode = true;
    // Nobody may be in front of the window: a failure (told by the job as it
    // happens) or files left out go to the desktop's notifications too.
    unattendedRun_ = true;
    BackupRunResult result;
    {
        operations::UnattendedScope unattended(dialog_, true);
        AsBackup([&] { result = RunBackup(); });
    }
    unattendedRun_ = false;
    if (result.outcome == BackupOutcome::Completed && result.refusedCount > 0) {
        TellDesktop(kNotifyBackupIncomplete, BackupDoneWithErrors(result.refusedCount));
    }
    if (result.removedForRoom > 0) TellDesktop(kNotifyBackupThinned, RemovedForRoomText(result.removedForRoom));
    if (result.outcome == BackupOutcome::Completed) {
        failedRequests_.erase(timer);
    } else {
        failedRequests_.insert(timer);
        ShowFailedRequest();
        // Its message has closed by itself (nobody may be there): the run
        // ends as a served request does, through Timer2, but the request
        // stays in the link file for the next start.
        Step([&] { ctx_.timers.Arm(TimerId::Timer2, kEndAfterRequestMs); });
    }
}

void MainWindowLogic::ShowFailedRequest() {
    Step([&] { ctx_.view.HideRequestPanel(); });
    Step([&] { ctx_.view.SetWindowWidthTwips(kNormalWindowWidth); });
    Step([&] { ctx_.view.CentreWindow(); });
}

void MainWindowLogic::OnTimer(TimerId timer) {
    // One-shot: disarmed before acting.
    Step([&] { ctx_.timers.Arm(timer, 0); });
    switch (timer) {
        case TimerId::Timer1:
        case TimerId::Timer111:
            RunRequest(timer);
            break;
        case TimerId::Timer2:
            WhenBackupEnds(kCommandEndTimer, [this] { EndAfterRequests(); });
            break;
        case TimerId::Timer3:
            WhenBackupEnds(kCommandAutomaticCopy, [this] {
                operations::UnattendedScope unattended(dialog_, true);
                AsBackup([this] { copies_.AutomaticCopy(); });
            });
            break;
        case TimerId::DriveWatch:
            StepIn(lcDrives(), "watching the drives", [&] { WatchDrives(); });
            Step([&] { ctx_.timers.Arm(TimerId::DriveWatch, kDriveWatchMs); });
            break;
    }
}

void MainWindowLogic::EndAfterRequests() {
    // Another request still waits for its turn: the run that serves it arms
    // Timer2 again.
    if (!waitingRequests_.empty()) return;
    // A request served is cleared so that it runs once; one whose backup
    // failed stays for the next start. Kuv-Zip.ini is not rewritten and the
    // linked program not started.
    if (failedRequests_.count(TimerId::Timer1) == 0) Step([&] { WriteLinkValue("SAVAUT55", " ", LinkPath()); });
    if (failedRequests_.count(TimerId::Timer111) == 0) Step([&] { WriteLinkValue("SAVAUT56", " ", LinkPath()); });
    if (!failedRequests_.empty()) qCWarning(lcBackup) << "a requested backup failed: the program ends, the request stays";
    end_.EndProgram();
}

void MainWindowLogic::WatchDrives() {
    if (BackupInProgress()) return;
    const std::string mark = ctx_.drives.VolumesMark();
    if (!mark.empty() && mark == volumesMark_) return;
    std::vector<platform::DriveEntry> now = ctx_.drives.Drives();
    volumesMark_ = mark;
    if (SameDrives(now, driveList_)) return;
    QStringList texts;
    for (const platform::DriveEntry& drive : now) texts << Q(drive.text);
    qCInfo(lcDrives).noquote() << "the drives changed:" << texts.join(QStringLiteral(", "));
    destinations_.Follow(driveList_, now, settings_.destinationRoot);
    driveList_ = std::move(now);
    ShowDestinationFolder();
}

}  // namespace kuv::backup
