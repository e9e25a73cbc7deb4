// kuvzip: the program with its windows. The main window kuvzipf1 is the
// startup object; it works in the current folder (Kuv-Zip.ini, the link
// file, the report) and ends the program itself.
//
// One program per working folder: a second start finds the first through the
// lock file "Kuv-Zip.lock" there. Started by hand it says so through form97
// and ends; started for a request of the linked application it ends at once
// with status 1, touching nothing, so that the request stays for the next
// start. The lock of a program that crashed is taken over.

#include <QApplication>
#include <QDir>
#include <QLockFile>
#include <QLoggingCategory>

#include "backup/QtEnvironment.h"
#include "backup/Startup.h"
#include "backup/kuvzipf1_qt.h"
#include "platform/Files.h"
#include "platform/FolderTree.h"
#include "platform/Text.h"
#include "restore/SafeRestore.h"
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
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kuv-Zip"));
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
    // A restore interrupted by a crash may have left its staging folder in
    // the data folder.
    const std::string dataFolder = kuv::platform::ResolveDrivePath(
        kuv::platform::Trim(window.Logic().Settings().dataFolder), window.Logic().DriveList());
    if (!dataFolder.empty()) kuv::restore::RemoveLeftoverStaging(dataFolder);
    // The developer test panel: hidden, Ctrl+Shift+T on the main window shows
    // it; its CdeUZip opens the restore window as "Restaurer" does.
    kuv::MainWindowRestorePort restorePort(window, environment.openRestoreWindow);
    new kuv::TestPanelWindow(window, &restorePort, kuv::ProgramTestPanelFolders());
    window.show();
    return app.exec();
}
