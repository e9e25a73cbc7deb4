#include "ui/UserFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QString>

namespace kuv {

std::string SpecialFolderPath(int folderId) {
    QString path;
    switch (folderId) {
        case kFolderDesktop:
            path = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
            break;
        case kFolderProfile:
            path = QDir::homePath();
            break;
        default:
            return {};
    }
    if (path.isEmpty()) return {};
    const QFileInfo info(path);
    if (!info.isDir()) return {};
    path = QDir::cleanPath(info.absoluteFilePath());
    return path.toStdString();
}

std::string SystemSpecialFolders::SpecialFolderPath(int folderId) const {
    return kuv::SpecialFolderPath(folderId);
}

}  // namespace kuv
