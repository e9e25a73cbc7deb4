#pragma once
// The drive list of the machine as the program's users see it: "c:" is the
// home folder, then every other volume the user can write to, lettered d:,
// e:, ... in the order of their mount points. Paths that begin with a drive
// letter ("E:\S_c_appli") or a network share ("\\nas\sauve\x") are resolved
// to Linux paths through that list before they touch the file system.

#include <string>
#include <vector>

namespace kuv::platform {

// Drive-type codes, as a Windows drive-type query returns them.
enum DriveKind : int {
    kDriveUnknown = 0,
    kDriveRemovable = 2,
    kDriveFixed = 3,
    kDriveRemote = 4,
    kDriveCdRom = 5,
    kDriveRam = 6,
};

struct DriveEntry {
    std::string text;      // "c: [/home/jean]", "e: [CLE USB]": lower-case letter, colon, blank, [name]
    std::string rootPath;  // the Linux folder the letter stands for ("/home/jean", "/media/jean/CLE USB")
    int kind = kDriveUnknown;
    std::string source;    // the mounted device or share ("//nas/sauve" for a network share), may be empty
    char Letter() const { return text.empty() ? '\0' : text[0]; }
};

// Where the logic gets the drive list from: the real machine, or a test's list.
class DriveSource {
public:
    virtual ~DriveSource() = default;
    virtual std::vector<DriveEntry> Drives() const = 0;
    // True while the drive is still there, asked before writing on it: the
    // list is made once, and a medium ejected since may have left its mount
    // point behind as an empty folder of the system disk. A source that
    // cannot tell answers true.
    virtual bool IsPresent(const DriveEntry& drive) const {
        (void)drive;
        return true;
    }
    // A cheap mark of the machine's mounted volumes, asked before the list
    // when the drives are watched: while it stays the same, the volumes have
    // not changed and the list is not made again. Empty when the source
    // cannot tell (the list is then made at each look).
    virtual std::string VolumesMark() const { return {}; }
};

// The drive a drive-letter or network path resolves through (see
// ResolveDrivePath); null for a Linux path or when no drive matches.
const DriveEntry* DriveOfPath(const std::string& path, const std::vector<DriveEntry>& drives);

// Resolves a path of the program's Windows-style vocabulary against drives:
//  - "X:" alone is the root path of that drive; "X:\rest" or "X:/rest" is the
//    root path + "/" + rest with every "\" turned into "/";
//  - an absolute Linux path ("/...") is used as it is;
//  - "\\server\share\rest" resolves through the drive whose source is that
//    share;
// Empty text when the letter or share has no drive (the caller then fails as
// on a missing drive).
std::string ResolveDrivePath(const std::string& path, const std::vector<DriveEntry>& drives);

}  // namespace kuv::platform
