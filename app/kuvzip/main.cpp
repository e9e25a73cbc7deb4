// kuvzip: the program with its windows. The main window kuvzipf1 is the
// startup object; it works in the current folder (Kuv-Zip.ini, the link
// file, the report) and ends the program itself.

#include <QApplication>

#include "backup/QtEnvironment.h"
#include "backup/kuvzipf1_qt.h"
#include "platform/Files.h"
#include "platform/FolderTree.h"
#include "platform/Text.h"
#include "restore/SafeRestore.h"
#include "platform/QtDrives.h"
#include "restore/kuvzipf2_qt.h"
#include "testpanel/testpanel_qt.h"
#include "ui/Translation_qt.h"
#include "ui/form97_qt.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kuv-Zip"));
    kuv::LoadQtFrenchTranslation(&app);

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
    environment.workingFolder = kuv::platform::CurrentFolder();

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
