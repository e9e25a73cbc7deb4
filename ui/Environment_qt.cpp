// The real environment of the main window's logic.

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTimer>

#include "ui/QtEnvironment.h"
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

std::vector<std::string> QtProgramLauncher::SplitCommand(const std::string& commandLine) const {
    std::vector<std::string> words;
    for (const QString& part : QProcess::splitCommand(QString::fromStdString(commandLine))) {
        words.push_back(part.toStdString());
    }
    return words;
}

bool QtProgramLauncher::StartProgram(const std::string& program, const std::vector<std::string>& args,
                                     const std::string& workingFolder) {
    if (program.empty()) return false;
    return platform::StartDetached(program, args, workingFolder);
}

void QtProgramEnd::EndProgram() { QCoreApplication::exit(0); }

}  // namespace kuv::backup
