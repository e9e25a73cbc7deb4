// kuvzip: the program with its windows. The main window kuvzipf1 is the
// startup object; it works in the current folder (Kuv-Zip.ini, the link
// file, the report) and ends the program itself.

#include <QApplication>

#include "backup/QtEnvironment.h"
#include "backup/kuvzipf1_qt.h"
#include "platform/Files.h"
#include "platform/QtDrives.h"
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

    kuv::kuvzipf1 window(environment);
    window.Load();
    window.show();
    return app.exec();
}
