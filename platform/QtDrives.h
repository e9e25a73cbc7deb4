#pragma once
// The drive list of the real machine: the mounted volumes reported by
// QStorageInfo, their kinds told by sysfs (removable flag, USB bus), made into
// drive entries by BuildDriveList (platform/DriveDetection.h).

#include <vector>

#include "platform/Drives.h"

namespace kuv::platform {

class QtDriveSource : public DriveSource {
public:
    std::vector<DriveEntry> Drives() const override;
};

}  // namespace kuv::platform
