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
    // c: (the home folder) always; another drive while a volume is mounted
    // exactly at its root path.
    bool IsPresent(const DriveEntry& drive) const override;
    // The kernel's mount table of this process (/proc/self/mountinfo): a
    // read of a few kilobytes, where the list asks every volume for its
    // state (a hung network share could block that).
    std::string VolumesMark() const override;
};

}  // namespace kuv::platform
