#pragma once
// How the drive list is made from the mounted volumes of the machine, kept
// apart from the query of the volumes so that the rules can be checked with
// made-up volumes:
//  - "c:" is the home folder, kind fixed disk;
//  - then every other writable volume that is a block device or a network
//    file system, sorted by mount point and lettered d:, e:, ... up to z:;
//  - RAM file systems only below /media, /run/media or /mnt;
//  - nothing below /dev, /proc, /sys, /run (but /run/media), /boot, /snap,
//    /var/lib; never "/" nor the volume holding the home folder; never a
//    pseudo file system.

#include <functional>
#include <string>
#include <vector>

#include "platform/Drives.h"

namespace kuv::platform {

// One mounted volume as the system reports it.
struct MountedVolume {
    std::string mountPoint;  // "/media/jean/CLE"
    std::string fsType;      // "vfat", "ext4", "cifs", "tmpfs" ...
    std::string device;      // "/dev/sdb1", "//nas/sauve", "tmpfs"
    std::string label;       // the file system's volume label, may be empty
    bool writable = false;   // the user can write to it (not read-only, write access granted)
    bool isFolder = true;    // the mount point is a folder (a file bind-mounted, as a
                             // container's /etc/hosts, is not a medium)
};

// Tells whether a block device ("/dev/sdb1") is removable: its disk has
// /sys/block/DEV/removable = 1, or it sits on the USB bus.
using RemovableProbe = std::function<bool(const std::string& device)>;

// The drive-type code of a volume (removable decided through probe).
int DriveKindOf(const MountedVolume& volume, const RemovableProbe& probe);

// True when the volume belongs in the drive list (before the exclusion of
// "/" and of the home folder's volume, which BuildDriveList does).
bool IsListedVolume(const MountedVolume& volume);

// The drive list: "c: [home]" then the listed volumes lettered from d:.
// homeMount is the mount point of the volume that holds home.
std::vector<DriveEntry> BuildDriveList(const std::string& home, const std::string& homeMount,
                                       std::vector<MountedVolume> volumes,
                                       const RemovableProbe& probe);

// The sysfs answer for a block device: reads /sys/class/block/NAME (after
// following the device's links), its parent disk's "removable" flag, and
// whether its sysfs path passes through a USB device. sysRoot is "/sys" on
// the machine.
bool SysfsRemovable(const std::string& device, const std::string& sysRoot = "/sys");

}  // namespace kuv::platform
