// kuvzip: the program with its windows. The main window kuvzipf1 is the
// startup object; it works in the current folder (Kuv-Zip.ini, the link
// file, the report) and ends the program itself.
//
// One program per working folder: a second start finds the first through the
// lock file "Kuv-Zip.lock" there. Started by hand it says so through form97
// and ends; started for a request of the linked application it ends at once
// with status 1, touching nothing, so that the request stays for the next
// start. The lock of a program that crashed is taken over.
//
// The command line is read first, before any window or display is needed
// (ProgramOptions.h): --help and --version answer and end there.

#include <QApplication>
#include <QDir>
#include <QLockFile>
#include <QLoggingCategory>

#include "ProgramOptions.h"
#include "backup/Reminder_qt.h"
#include "backup/Thinning.h"
#include "ui/QtEnvironment.h"
#include "mainwindow/Startup.h"
#include "mainwindow/kuvzipf1_qt.h"
#include "platform/Files.h"
#include "platform/FolderTree.h"
#include "platform/Text.h"
#include "restore/StartRecovery.h"
#include "platform/QtDrives.h"
#include "restore/kuvzipf2_qt.h"
#include "testpanel/testpanel_qt.h"
#include "ui/DesktopNotifier_qt.h"
#include "ui/Translation_qt.h"
#include "ui/form97_qt.h"
#include "link/LinkFile.h"

Q_LOGGING_CATEGORY(lcKuvZip, "kuvzip")

namespace {
constexpr const char* kLockFileName = "Kuv-Zip.lock";
constexpr const char* kAlreadyOpen = "Kuv-Zip est déjà ouvert !";
}  // namespace

int main(int argc, char** argv) {
    const kuv::app::ProgramOptions options = kuv::app::ParseProgramOptions(kuv::app::ArgumentsOf(argc, argv));
    if (const int status = kuv::app::AnswerWithoutWindow(options); status >= 0) return status;
    if (options.mode == kuv::app::ProgramMode::Reminder) {
        // The headless reminder started at logon.
        QCoreApplication reminder(argc, argv);
        return kuv::backup::RunReminder(options.reminderFolder);
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kuv-Zip"));
    kuv::app::LogIgnoredArguments(options, QCoreApplication::arguments());
    kuv::LoadQtFrenchTranslation(&app);

    const std::string workingFolder = kuv::platform::CurrentFolder();
    // Only a live program holds the lock: however long it runs, its lock is
    // not stale; the lock of a dead one is.
    QLockFile lock(QDir(QString::fromStdString(workingFolder)).filePath(QString::fromLatin1(kLockFileName)));
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0)) {
        qint64 pid = 0;
        QString host, appName;
        lock.getLockInfo(&pid, &host, &appName);
        if (kuv::backup::LinkFileHasRequest(kuv::platform::JoinPath(workingFolder, kuv::kLinkFileName))) {
            qCWarning(lcKuvZip).noquote() << "Kuv-Zip est déjà ouvert dans" << QString::fromStdString(workingFolder)
                                          << "(processus" << pid << "): la demande reste pour le prochain démarrage";
            return 1;
        }
        qCInfo(lcKuvZip).noquote() << "Kuv-Zip est déjà ouvert dans" << QString::fromStdString(workingFolder)
                                   << "(processus" << pid << ")";
        kuv::Form97Dialog alreadyOpen;
        kuv::DialogMode = kuv::kDialogMessage;
        kuv::DialogText = kAlreadyOpen;
        alreadyOpen.ShowDialog();
        return 0;
    }

    kuv::backup::QtClock clock;
    kuv::backup::QtEventPump pump;
    kuv::backup::QtSpecialFolders specialFolders;
    kuv::platform::QtDriveSource drives;
    kuv::backup::QtProgramLauncher launcher;
    kuv::backup::QtProgramEnd end;

    kuv::MainWindowEnvironment environment;
    environment.clock = &clock;
    environment.pump = &pump;
    environment.specialFolders = &specialFolders;
    environment.drives = &drives;
    environment.launcher = &launcher;
    environment.end = &end;
    kuv::DesktopNotifier notifier;
    environment.notifier = &notifier;
    environment.workingFolder = workingFolder;
    // The messages of an unattended run close by themselves; the tests of
    // the program shorten the wait.
    bool delayGiven = false;
    const int delay = qEnvironmentVariableIntValue("KUVZIP_UNATTENDED_DIALOG_MS", &delayGiven);
    if (delayGiven && delay >= 0) environment.unattendedDialogMs = delay;

    // form97 opens over the active window: the main window.
    kuv::Form97Dialog dialog;
    environment.dialog = &dialog;

    // "Restaurer": the restore window; form97 then opens over it.
    kuv::RestoreWindowEnvironment restoreEnvironment;
    restoreEnvironment.dialog = &dialog;
    restoreEnvironment.clock = &clock;
    restoreEnvironment.pump = &pump;
    restoreEnvironment.specialFolders = &specialFolders;
    restoreEnvironment.end = &end;
    restoreEnvironment.programFolder = kuv::platform::WritableProgramFolder();
    environment.openRestoreWindow = [&restoreEnvironment](QWidget* parent, const kuv::backup::MainSettings& settings,
                                                          const std::vector<kuv::platform::DriveEntry>& drives) {
        kuv::OpenRestoreWindow(parent, restoreEnvironment, settings, drives);
    };

    kuv::kuvzipf1 window(environment);
    window.Load();
    // A restore interrupted by a crash is finished before any backup runs
    // (the requests wait for the event loop), and the user is told: in the
    // notifications when nobody is in front of the window.
    const kuv::backup::MainSettings& settings = window.Logic().Settings();
    const std::string dataFolder =
        kuv::platform::ResolveDrivePath(kuv::platform::Trim(settings.dataFolder), window.Logic().DriveList());
    kuv::restore::RecoverAndTell(dataFolder, settings.autoQuit || settings.automaticCopy, &dialog, &notifier);
    // The developer test panel: hidden, Ctrl+Shift+T on the main window shows
    // it; its CdeUZip opens the restore window as "Restaurer" does.
    kuv::MainWindowRestorePort restorePort(window, environment.openRestoreWindow);
    new kuv::TestPanelWindow(window, &restorePort, kuv::ProgramTestPanelFolders());
    if (kuv::backup::ReminderDaysOf(window.Logic().Settings().backupOptions) > 0) {
        kuv::backup::RefreshReminderEntry(QString::fromStdString(workingFolder));
    }
    window.show();
    return app.exec();
}
