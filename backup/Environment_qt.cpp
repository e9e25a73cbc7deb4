// The real environment of the main window's logic.

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTimer>

#include "backup/QtEnvironment.h"
#include "platform/Programs.h"
#include "ui/UserFolders.h"

namespace kuv::backup {

DateTime QtClock::Now() const {
    const QDateTime now = QDateTime::currentDateTime();
    const QDate d = now.date();
    const QTime t = now.time();
    return DateTime{d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec()};
}

void QtEventPump::DoEvents() { QCoreApplication::processEvents(); }

void QtEventPump::Wait(int milliseconds) {
    if (milliseconds <= 0) {
        DoEvents();
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

std::string QtSpecialFolders::SpecialFolderPath(int folderId) const {
    std::string path = kuv::SpecialFolderPath(folderId);
    // A fresh account may have no desktop folder yet: its place is still
    // given, so that a backup on the desktop can create it.
    if (path.empty() && folderId == kFolderDesktop) {
        path = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation).toStdString();
    }
    return path;
}

bool QtProgramLauncher::StartDetached(const std::string& commandLine, const std::string& workingFolder) {
    QStringList parts = QProcess::splitCommand(QString::fromStdString(commandLine));
    if (parts.isEmpty()) return false;
    const std::string program = parts.takeFirst().toStdString();
    std::vector<std::string> args;
    for (const QString& part : parts) args.push_back(part.toStdString());
    return platform::StartDetached(program, args, workingFolder);
}

void QtProgramEnd::EndProgram() { QCoreApplication::exit(0); }

}  // namespace kuv::backup
