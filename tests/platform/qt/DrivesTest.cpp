// The drive list of the machine and drive-letter resolution.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <QDir>
#include <QRegularExpression>

#include "ScratchFolder.h"
#include "platform/DriveDetection.h"
#include "platform/Drives.h"
#include "platform/Files.h"
#include "platform/QtDrives.h"

using kuv::platform::BuildDriveList;
using kuv::platform::DriveEntry;
using kuv::platform::MountedVolume;
using kuv::platform::ResolveDrivePath;

namespace {

std::vector<DriveEntry> SampleDrives() {
    return {{"c: [/home/jean]", "/home/jean", 3, ""},
            {"d: [DATA]", "/mnt/data", 3, "/dev/sda3"},
            {"e: [CLE USB]", "/media/jean/CLE USB", 2, "/dev/sdb1"},
            {"f: [sauve]", "/mnt/nas", 4, "//nas/sauve"}};
}

TEST(ResolveDrivePath, LettersSharesAndLinuxPaths) {
    const auto drives = SampleDrives();
    EXPECT_EQ(ResolveDrivePath("E:", drives), "/media/jean/CLE USB");
    EXPECT_EQ(ResolveDrivePath("e:\\S_c_appli\\KuvSav-2701030905.zip", drives),
              "/media/jean/CLE USB/S_c_appli/KuvSav-2701030905.zip");
    EXPECT_EQ(ResolveDrivePath("C:/Appli/Données", drives), "/home/jean/Appli/Données");
    EXPECT_EQ(ResolveDrivePath("C:\\", drives), "/home/jean");
    // A letter without a drive resolves to nothing: the caller fails as on a missing drive.
    EXPECT_EQ(ResolveDrivePath("G:\\x", drives), "");
    EXPECT_EQ(ResolveDrivePath("", drives), "");
    // Linux paths are used as they are.
    EXPECT_EQ(ResolveDrivePath("/home/x/Données", drives), "/home/x/Données");
    // Network shares go through the drive mounted from them, whatever the case.
    EXPECT_EQ(ResolveDrivePath("\\\\nas\\sauve\\S_x", drives), "/mnt/nas/S_x");
    EXPECT_EQ(ResolveDrivePath("\\\\NAS\\Sauve", drives), "/mnt/nas");
    EXPECT_EQ(ResolveDrivePath("\\\\autre\\partage\\x", drives), "");
    EXPECT_EQ(ResolveDrivePath("\\\\nas", drives), "");
}

MountedVolume Volume(const std::string& mount, const std::string& type, const std::string& device,
                     const std::string& label = "", bool writable = true) {
    return MountedVolume{mount, type, device, label, writable};
}

TEST(DriveList, HomeIsCThenWritableVolumesLetteredByMountPoint) {
    std::vector<MountedVolume> volumes = {
        Volume("/", "ext4", "/dev/sda1"),
        Volume("/home", "ext4", "/dev/sda2"),  // holds the home folder
        Volume("/proc", "proc", "proc"),
        Volume("/sys", "sysfs", "sysfs"),
        Volume("/run", "tmpfs", "tmpfs"),
        Volume("/dev/shm", "tmpfs", "tmpfs"),
        Volume("/tmp", "tmpfs", "tmpfs"),             // RAM outside /media, /run/media, /mnt
        Volume("/boot/efi", "vfat", "/dev/sda4"),
        Volume("/snap/core/1", "squashfs", "/dev/loop0"),
        Volume("/var/lib/docker", "ext4", "/dev/sda5"),
        Volume("/media/jean/CLE USB", "vfat", "/dev/sdb1", "CLE USB"),
        Volume("/run/media/jean/CARTE", "exfat", "/dev/mmcblk0p1", "CARTE"),
        Volume("/mnt/nas", "cifs", "//nas/sauve"),
        Volume("/mnt/ram", "tmpfs", "tmpfs"),
        Volume("/mnt/cdrom", "iso9660", "/dev/sr0", "", false),  // read-only: not listed
        Volume("/data", "ext4", "/dev/sdc1", ""),
        Volume("/merged", "overlay", "overlay"),
        Volume("/run/user/1000/doc", "fuse.portal", "portal"),
        MountedVolume{"/etc/hosts", "ext4", "/dev/sda1", "", true, false},  // a file bind-mounted
    };
    auto removable = [](const std::string& device) {
        return device == "/dev/sdb1" || device == "/dev/mmcblk0p1";
    };
    const auto drives = BuildDriveList("/home/jean", "/home", volumes, removable);
    std::vector<std::string> texts;
    for (const auto& d : drives) texts.push_back(d.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"c: [/home/jean]", "d: [data]", "e: [CLE USB]", "f: [nas]",
                                               "g: [ram]", "h: [CARTE]"}));
    ASSERT_EQ(drives.size(), 6u);
    EXPECT_EQ(drives[0].rootPath, "/home/jean");
    EXPECT_EQ(drives[0].kind, 3);
    EXPECT_EQ(drives[1].kind, 3);  // another fixed disk
    EXPECT_EQ(drives[2].kind, 2);  // USB key
    EXPECT_EQ(drives[3].kind, 4);  // network
    EXPECT_EQ(drives[3].source, "//nas/sauve");
    EXPECT_EQ(drives[4].kind, 6);  // RAM disk under /mnt
    EXPECT_EQ(drives[5].kind, 2);  // memory card under /run/media
    EXPECT_EQ(drives[5].rootPath, "/run/media/jean/CARTE");
}

TEST(DriveList, KindsOfCdRomsUnknownDevicesAndTheLastLetter) {
    auto none = [](const std::string&) { return false; };
    EXPECT_EQ(kuv::platform::DriveKindOf(Volume("/media/cd", "udf", "/dev/sr0"), none), 5);
    EXPECT_EQ(kuv::platform::DriveKindOf(Volume("/media/cd", "vfat", "/dev/sr1"), none), 5);
    EXPECT_EQ(kuv::platform::DriveKindOf(Volume("/mnt/x", "sshfs", "jean@srv:/"), none), 4);
    EXPECT_EQ(kuv::platform::DriveKindOf(Volume("/mnt/x", "weird", "something"), none), 0);
    // Letters stop at z: (23 volumes after c:).
    std::vector<MountedVolume> many;
    for (int i = 0; i < 30; ++i) many.push_back(Volume("/mnt/v" + std::to_string(100 + i), "ext4", "/dev/sdx"));
    const auto drives = BuildDriveList("/root", "/", many, none);
    ASSERT_EQ(drives.size(), 24u);
    EXPECT_EQ(drives.back().text, "z: [v122]");
}

// A made-up sysfs: sdb (removable flag), sdc (on the USB bus), sda (fixed).
TEST(DriveList, SysfsTellsRemovableAndUsbDisks) {
    const kuvtest::ScratchFolder scratch("kuv-sysfs");
    ASSERT_FALSE(scratch.path().empty());
    const std::string sys = scratch.path();
    auto disk = [&](const std::string& devicePath, const std::string& name, const std::string& removable) {
        const std::string folder = sys + devicePath + "/block/" + name;
        kuv::platform::CreateFolderPath(folder + "/" + name + "1");
        std::ofstream(folder + "/removable") << removable << "\n";
        std::ofstream(folder + "/" + name + "1/partition") << "1\n";
        kuv::platform::CreateFolderPath(sys + "/class/block");
        ASSERT_EQ(symlink((folder + "/" + name + "1").c_str(), (sys + "/class/block/" + name + "1").c_str()), 0);
        ASSERT_EQ(symlink(folder.c_str(), (sys + "/class/block/" + name).c_str()), 0);
    };
    disk("/devices/pci0000:00/0000:00:17.0/ata1/host0", "sda", "0");
    disk("/devices/pci0000:00/0000:00:14.0/host5", "sdb", "1");
    disk("/devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6", "sdc", "0");
    EXPECT_FALSE(kuv::platform::SysfsRemovable("/dev/sda1", sys));
    EXPECT_TRUE(kuv::platform::SysfsRemovable("/dev/sdb1", sys));
    EXPECT_TRUE(kuv::platform::SysfsRemovable("/dev/sdc1", sys));
    EXPECT_TRUE(kuv::platform::SysfsRemovable("/dev/sdb", sys));  // a whole disk
    EXPECT_FALSE(kuv::platform::SysfsRemovable("/dev/nvme9n1", sys));
}

// The real machine: c: is the home folder, every entry has the entry form.
TEST(DriveList, MachineListStartsWithHome) {
    const auto drives = kuv::platform::QtDriveSource().Drives();
    ASSERT_FALSE(drives.empty());
    EXPECT_EQ(drives[0].rootPath, QDir::homePath().toStdString());
    EXPECT_EQ(drives[0].text, "c: [" + QDir::homePath().toStdString() + "]");
    EXPECT_EQ(drives[0].kind, 3);
    const QRegularExpression form(QStringLiteral("^[c-z]: \\[.*\\]$"));
    for (size_t i = 0; i < drives.size(); ++i) {
        EXPECT_TRUE(form.match(QString::fromStdString(drives[i].text)).hasMatch()) << drives[i].text;
        EXPECT_EQ(drives[i].text[0], static_cast<char>('c' + i));
        EXPECT_NE(drives[i].rootPath, i == 0 ? "" : "/");
    }
}

// A drive is present while a volume is mounted at its root path: the home
// folder always; a folder left behind by an unmounted medium is not.
TEST(DriveList, PresentOnlyWhileMountedAtItsRoot) {
    const kuv::platform::QtDriveSource machine;
    const auto drives = machine.Drives();
    ASSERT_FALSE(drives.empty());
    EXPECT_TRUE(machine.IsPresent(drives[0]));
    for (const DriveEntry& drive : drives) EXPECT_TRUE(machine.IsPresent(drive)) << drive.text;
    EXPECT_TRUE(machine.IsPresent(DriveEntry{"d: [racine]", "/", 3, "/dev/sda1"}));

    const kuvtest::ScratchFolder scratch("kuv-mount");
    ASSERT_FALSE(scratch.path().empty());
    const std::string leftBehind = scratch.path();
    EXPECT_FALSE(machine.IsPresent(DriveEntry{"e: [CLE]", leftBehind, 2, "/dev/sdb1"}));
    EXPECT_FALSE(machine.IsPresent(DriveEntry{"e: [CLE]", leftBehind + "/gone", 2, "/dev/sdb1"}));
}

}  // namespace
