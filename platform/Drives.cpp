// Drive-letter resolution and the making of the drive list from mounted
// volumes (Qt-free; the volumes themselves are queried in Drives_qt.cpp).

#include "platform/Drives.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <set>

#include "platform/DriveDetection.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace kuv::platform {

namespace {

std::string BackslashesToSlashes(std::string text) {
    std::replace(text.begin(), text.end(), '\\', '/');
    return text;
}

// root + "/" + rest, rest's separators turned into "/", no doubled separator.
std::string AppendRest(const std::string& root, std::string rest) {
    rest = BackslashesToSlashes(rest);
    size_t start = rest.find_first_not_of('/');
    if (start == std::string::npos) return root;
    return JoinPath(root, rest.substr(start));
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// "//server/share" of a network path or source, "" when it has no share part.
std::string ShareOf(const std::string& slashed, size_t* restStart) {
    if (slashed.size() < 3 || slashed[0] != '/' || slashed[1] != '/') return {};
    size_t serverEnd = slashed.find('/', 2);
    if (serverEnd == std::string::npos || serverEnd == 2) return {};
    size_t shareEnd = slashed.find('/', serverEnd + 1);
    if (shareEnd == std::string::npos) shareEnd = slashed.size();
    if (shareEnd == serverEnd + 1) return {};
    if (restStart) *restStart = shareEnd;
    return slashed.substr(0, shareEnd);
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// path is prefix itself or lies below it.
bool IsAtOrBelow(const std::string& path, const std::string& prefix) {
    if (path == prefix) return true;
    return StartsWith(path, prefix + "/");
}

}  // namespace

const DriveEntry* DriveOfPath(const std::string& path, const std::vector<DriveEntry>& drives) {
    if (path.size() < 2) return nullptr;
    if ((path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/')) {
        const std::string share = ShareOf(BackslashesToSlashes(path), nullptr);
        if (share.empty()) return nullptr;
        for (const DriveEntry& drive : drives) {
            std::string source = BackslashesToSlashes(drive.source);
            while (source.size() > 2 && source.back() == '/') source.pop_back();
            if (!source.empty() && EqualsNoCase(source, share)) return &drive;
        }
        return nullptr;
    }
    if (path[1] == ':' && IsAsciiLetter(path[0])) {
        for (const DriveEntry& drive : drives) {
            if (UpperAscii(drive.Letter()) == UpperAscii(path[0]) && !drive.rootPath.empty()) return &drive;
        }
    }
    return nullptr;
}

std::string ResolveDrivePath(const std::string& path, const std::vector<DriveEntry>& drives) {
    if (path.empty()) return {};
    if (path[0] == '/' && !(path.size() > 1 && path[1] == '/')) return path;

    if ((path[0] == '\\' || path[0] == '/') && path.size() > 1 && (path[1] == '\\' || path[1] == '/')) {
        const std::string slashed = BackslashesToSlashes(path);
        size_t restStart = 0;
        if (ShareOf(slashed, &restStart).empty()) return {};
        const DriveEntry* drive = DriveOfPath(path, drives);
        return drive ? AppendRest(drive->rootPath, slashed.substr(restStart)) : std::string();
    }

    if (path.size() >= 2 && path[1] == ':' && IsAsciiLetter(path[0])) {
        const DriveEntry* drive = DriveOfPath(path, drives);
        return drive ? AppendRest(drive->rootPath, path.substr(2)) : std::string();
    }

    // A relative name: taken from the working directory, as it is.
    return BackslashesToSlashes(path);
}

// ---- the drive list ----

namespace {

const std::set<std::string>& NetworkTypes() {
    static const std::set<std::string> types = {"nfs", "nfs4", "cifs", "smb3", "smbfs",
                                                "sshfs", "fuse.sshfs", "davfs", "fuse.davfs"};
    return types;
}

bool IsRamType(const std::string& fsType) { return fsType == "tmpfs" || fsType == "ramfs"; }

bool IsCdType(const std::string& fsType) { return fsType == "iso9660" || fsType == "udf"; }

std::string DeviceName(const std::string& device) {
    size_t slash = device.rfind('/');
    return slash == std::string::npos ? device : device.substr(slash + 1);
}

}  // namespace

int DriveKindOf(const MountedVolume& volume, const RemovableProbe& probe) {
    if (NetworkTypes().count(volume.fsType)) return kDriveRemote;
    if (IsRamType(volume.fsType)) return kDriveRam;
    if (IsCdType(volume.fsType) || StartsWith(DeviceName(volume.device), "sr")) return kDriveCdRom;
    if (StartsWith(volume.device, "/dev/")) {
        return (probe && probe(volume.device)) ? kDriveRemovable : kDriveFixed;
    }
    return kDriveUnknown;
}

bool IsListedVolume(const MountedVolume& volume) {
    if (!volume.writable || !volume.isFolder || volume.mountPoint.empty() || volume.mountPoint[0] != '/') {
        return false;
    }
    const std::string& mp = volume.mountPoint;
    if (IsRamType(volume.fsType)) {
        return IsAtOrBelow(mp, "/media") || IsAtOrBelow(mp, "/run/media") || IsAtOrBelow(mp, "/mnt");
    }
    bool network = NetworkTypes().count(volume.fsType) > 0;
    bool block = StartsWith(volume.device, "/dev/");
    if (!network && !block) return false;  // proc, sysfs, overlay, fuse.portal ...
    static const std::set<std::string> pseudo = {"proc", "sysfs", "cgroup", "cgroup2", "devtmpfs",
                                                 "overlay", "squashfs", "efivarfs", "fuse.portal",
                                                 "devpts", "debugfs", "tracefs", "securityfs",
                                                 "autofs", "mqueue", "hugetlbfs", "pstore", "bpf",
                                                 "configfs", "fusectl", "binfmt_misc", "nsfs"};
    if (pseudo.count(volume.fsType)) return false;
    if (IsAtOrBelow(mp, "/run/media")) return true;
    for (const char* excluded : {"/dev", "/proc", "/sys", "/run", "/boot", "/snap", "/var/lib"}) {
        if (IsAtOrBelow(mp, excluded)) return false;
    }
    return true;
}

std::vector<DriveEntry> BuildDriveList(const std::string& home, const std::string& homeMount,
                                       std::vector<MountedVolume> volumes,
                                       const RemovableProbe& probe) {
    std::vector<DriveEntry> drives;
    DriveEntry c;
    c.text = "c: [" + home + "]";
    c.rootPath = home;
    c.kind = kDriveFixed;
    drives.push_back(c);

    std::sort(volumes.begin(), volumes.end(),
              [](const MountedVolume& a, const MountedVolume& b) { return a.mountPoint < b.mountPoint; });
    std::set<std::string> seen;
    char letter = 'd';
    for (const MountedVolume& volume : volumes) {
        if (letter > 'z') break;
        if (volume.mountPoint == "/" || volume.mountPoint == homeMount) continue;
        if (!IsListedVolume(volume)) continue;
        if (!seen.insert(volume.mountPoint).second) continue;  // mounted twice on the same point
        std::string name = volume.label.empty() ? FileNameOf(volume.mountPoint) : volume.label;
        DriveEntry entry;
        entry.text = std::string(1, letter) + ": [" + name + "]";
        entry.rootPath = volume.mountPoint;
        entry.kind = DriveKindOf(volume, probe);
        entry.source = volume.device;
        drives.push_back(entry);
        ++letter;
    }
    return drives;
}

namespace {

std::string Canonical(const std::string& path) {
    char buffer[PATH_MAX];
    if (realpath(path.c_str(), buffer) == nullptr) return {};
    return buffer;
}

std::string ReadFirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return Trim(line);
}

}  // namespace

bool SysfsRemovable(const std::string& device, const std::string& sysRoot) {
    std::string real = Canonical(device);
    if (real.empty()) real = device;  // a device node missing from this view of /dev
    std::string name = DeviceName(real);
    if (name.empty()) return false;
    std::string node = Canonical(sysRoot + "/class/block/" + name);
    if (node.empty()) return false;
    // A partition's folder sits inside its disk's folder and holds a "partition" file.
    std::string disk = node;
    if (PathExists(node + "/partition")) disk = FolderOf(node);
    if (ReadFirstLine(disk + "/removable") == "1") return true;
    return disk.find("/usb") != std::string::npos;
}

}  // namespace kuv::platform
