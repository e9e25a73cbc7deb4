// The machine's mounted volumes, queried through QStorageInfo.

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include "platform/DriveDetection.h"
#include "platform/Files.h"
#include "platform/QtDrives.h"

namespace kuv::platform {

std::vector<DriveEntry> QtDriveSource::Drives() const {
    const QString home = QDir::homePath();
    const QString homeMount = QStorageInfo(home).rootPath();
    std::vector<MountedVolume> volumes;
    for (const QStorageInfo& info : QStorageInfo::mountedVolumes()) {
        if (!info.isValid()) continue;
        MountedVolume volume;
        volume.mountPoint = info.rootPath().toStdString();
        volume.fsType = QString::fromUtf8(info.fileSystemType()).toStdString();
        volume.device = QString::fromUtf8(info.device()).toStdString();
        volume.label = info.name().toStdString();
        volume.writable = info.isReady() && !info.isReadOnly() &&
                          ::access(info.rootPath().toLocal8Bit().constData(), W_OK) == 0;
        volume.isFolder = QFileInfo(info.rootPath()).isDir();
        volumes.push_back(volume);
    }
    return BuildDriveList(home.toStdString(), homeMount.toStdString(), volumes,
                          [](const std::string& device) { return SysfsRemovable(device); });
}

bool QtDriveSource::IsPresent(const DriveEntry& drive) const {
    if (drive.Letter() == 'c') return true;
    const QString root = QString::fromStdString(drive.rootPath);
    if (!QFileInfo(root).isDir()) return false;
    const QStorageInfo volume(root);
    return volume.isValid() && volume.isReady() &&
           QDir::cleanPath(volume.rootPath()) == QDir::cleanPath(root);
}

std::string QtDriveSource::VolumesMark() const {
    std::string table;
    if (!ReadWholeFile("/proc/self/mountinfo", table)) return {};
    return table;
}

}  // namespace kuv::platform
