#pragma once
// A data backup job wired to fakes of its window, gauge, dialog, clock, pump,
// timers, special folders and drives, with the real engine and real folders
// under a fresh temporary folder:
//   <root>/home        drive c: (the data folder C:\Appli\Donnees is home/Appli/Donnees)
//   <root>/medium      drive e:
//   <root>/work        the working directory (rapport.txt, dernkuvp.txt, W_intlog.wdo)
//   <root>/home/Bureau the desktop (not created: copy mode creates it)

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "backup/DataBackupJob.h"
#include "ui/MainSettings.h"
#include "platform/Drives.h"
#include "platform/Files.h"
#include "ui/DialogPort.h"
#include "zip/clsZip.h"

namespace kuv::backup::testing {

class FakeView : public BackupJobView {
public:
    int selectedIndex = 2;
    std::string selectedText = "E: Clé / Carte   [CLE]  ";
    std::vector<int> background;  // last colour set, empty when never
    std::vector<std::string> saved, ignored;
    std::string counter = "unset";
    std::vector<std::string> counterHistory;
    std::string status = "unset";
    std::vector<std::string> statusHistory;
    int lamps[4] = {-1, -1, -1, -1};
    std::string fileFolder;
    std::vector<std::string> files;
    int fileListings = 0;

    int SelectedDestinationIndex() const override { return selectedIndex; }
    std::string SelectedDestinationText() const override { return selectedText; }
    void SetDestinationBackground(int r, int g, int b) override { background = {r, g, b}; }
    void ClearSavedList() override { saved.clear(); }
    void AddSavedFile(const std::string& name) override { saved.push_back(name); }
    void ClearIgnoredList() override { ignored.clear(); }
    void AddIgnoredFile(const std::string& name) override { ignored.push_back(name); }
    void SetAddedCounter(const std::string& text) override {
        counter = text;
        counterHistory.push_back(text);
    }
    void SetStatus(const std::string& text) override {
        status = text;
        statusHistory.push_back(text);
    }
    void SetLamp(int lamp, int picture) override { lamps[lamp] = picture; }
    void ShowDataFolderFiles(const std::string& folderText, const std::vector<std::string>& names) override {
        fileFolder = folderText;
        files = names;
        ++fileListings;
    }
};

class FakeGauge : public BackupGauge {
public:
    std::vector<int> inits;
    int steps = 0;
    std::string text;
    void InitGauge(int n) override { inits.push_back(n); }
    void StepGauge() override { ++steps; }
    void SetGaugeText(const std::string& t) override { text = t; }
};

// Records every message; answers by leaving the texts as they are.
class FakeDialog : public kuv::DialogPort {
public:
    std::vector<std::string> texts;
    std::vector<int> modes;
    std::string typed;  // what the user types in an input dialog
    void ShowDialog() override {
        texts.push_back(kuv::DialogText);
        modes.push_back(kuv::DialogMode);
        if (kuv::DialogMode != kuv::kDialogMessage) kuv::DialogText = typed;
        kuv::DialogMode = 1;
    }
};

class FakeClock : public Clock {
public:
    // Seconds added after each reading (kept below a minute by the tests).
    mutable DateTime now;
    int tickSeconds = 0;
    mutable int readings = 0;
    DateTime Now() const override {
        ++readings;
        const DateTime t = now;
        now.second += tickSeconds;
        return t;
    }
};

class FakePump : public EventPump {
public:
    int doEvents = 0;
    std::vector<int> waits;
    std::function<void()> onDoEvents;  // a window event arriving while the job pumps
    void DoEvents() override {
        ++doEvents;
        if (onDoEvents) onDoEvents();
    }
    void Wait(int ms) override {
        waits.push_back(ms);
        if (onDoEvents) onDoEvents();
    }
};

class FakeTimers : public TimerPort {
public:
    std::vector<std::pair<TimerId, int>> armed;
    void Arm(TimerId timer, int ms) override { armed.emplace_back(timer, ms); }
};

class FakeFolders : public SpecialFolders {
public:
    std::string desktop, profile;
    std::string SpecialFolderPath(int id) const override { return id == 0 ? desktop : id == 40 ? profile : ""; }
};

class FakeDrives : public kuv::platform::DriveSource {
public:
    std::vector<kuv::platform::DriveEntry> list;
    std::set<char> absent;  // letters of drives no longer mounted
    std::string mark;       // the volumes' mark; empty: the source cannot tell
    mutable int listings = 0;
    std::vector<kuv::platform::DriveEntry> Drives() const override {
        ++listings;
        return list;
    }
    std::string VolumesMark() const override { return mark; }
    bool IsPresent(const kuv::platform::DriveEntry& drive) const override { return !absent.count(drive.Letter()); }
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

inline std::string ReadFile(const std::string& path) {
    std::string bytes;
    kuv::platform::ReadWholeFile(path, bytes);
    return bytes;
}

// The medium spoils what was written: every byte of the first member's data
// of the archive at path is flipped.
inline void SpoilFirstMember(const std::string& path) {
    std::string bytes = ReadFile(path);
    if (bytes.size() < 30) return;
    const auto u16 = [&](size_t at) {
        return static_cast<size_t>(static_cast<unsigned char>(bytes[at])) |
               static_cast<size_t>(static_cast<unsigned char>(bytes[at + 1])) << 8;
    };
    const size_t start = 30 + u16(26) + u16(28);
    const size_t size = u16(18) | u16(20) << 16;
    if (start + size > bytes.size()) return;
    for (size_t i = start; i < start + size; ++i) bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
    WriteFile(path, bytes);
}

// A fresh temporary machine:
//   <root>/home     drive c:, holding the data folder home/Appli/Donnees
//   <root>/medium   drive e: (a USB key labelled CLE)
//   <root>/work     the working directory (Kuv-Zip.ini, W_intlog.wdo, ...)
//   <root>/home/Bureau  the desktop (not created)
class ScratchMachine {
public:
    explicit ScratchMachine(const char* prefix) {
        std::string pattern = std::string("/tmp/") + prefix + "-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        root = pattern;
        home = root + "/home";
        medium = root + "/medium";
        work = root + "/work";
        data = home + "/Appli/Donnees";
        kuv::platform::CreateFolderPath(data);
        kuv::platform::CreateFolderPath(medium);
        kuv::platform::CreateFolderPath(work);
        folders.desktop = home + "/Bureau";
        folders.profile = home;
        drives.list = {{"c: [" + home + "]", home, kuv::platform::kDriveFixed, ""},
                       {"e: [CLE]", medium, kuv::platform::kDriveRemovable, "/dev/sdb1"}};
    }
    ~ScratchMachine() { std::system(("rm -rf '" + root + "'").c_str()); }
    ScratchMachine(const ScratchMachine&) = delete;
    ScratchMachine& operator=(const ScratchMachine&) = delete;

    std::string root, home, medium, work, data;
    FakeFolders folders;
    FakeDrives drives;
};

class JobFixture : public ScratchMachine {
public:
    JobFixture() : ScratchMachine("kuv-job") {
        settings.dataFolder = "C:\\Appli\\Donnees";
        settings.destinationRoot = "E:";
        settings.backupFolderName = "S_c_appli_donnees";
        settings.desktopArchiveName = "kuvchier";
        clock.now.year = 2027;
        clock.now.month = 1;
        clock.now.day = 3;
        clock.now.hour = 9;
        clock.now.minute = 5;
        clock.now.second = 12;
        job = std::make_unique<DataBackupJob>(DataBackupJobContext{
            settings, engine, dialog, view, gauge, clock, pump, timers, folders, drives, work});
    }
    std::string Data(const std::string& name) const { return data + "/" + name; }
    std::string MediumArchive(const std::string& name = "KuvSav-2701030905.zip") const {
        return medium + "/S_c_appli_donnees/" + name;
    }
    std::string Report() const { return ReadFile(work + "/rapport.txt"); }

    MainSettings settings;
    clsZip engine;
    FakeDialog dialog;
    FakeView view;
    FakeGauge gauge;
    FakeClock clock;
    FakePump pump;
    FakeTimers timers;
    std::unique_ptr<DataBackupJob> job;
};

}  // namespace kuv::backup::testing
