#pragma once
// The browse window's logic wired to recording fakes: its view, the folder
// and file dialogs, the program launcher, and the desktop's file types played
// by a script first on PATH.

#include <cstdlib>
#include <string>
#include <vector>

#include "RestoreFakes.h"
#include "restore/BrowseLogic.h"

namespace kuv::restore::testing {

struct RecordingBrowseView : BrowseView {
    void SetTitle(const std::string& t) override { title = t; }
    void ShowRows(const std::vector<const ComparedFile*>& rows) override {
        ++shows;
        shown.clear();
        for (const ComparedFile* r : rows) shown.push_back(r->path + " " + StateText(r->state));
    }
    void ShowCounts(const std::string& c) override { counts = c; }
    void ShowComparedWithFolder(bool c) override { compared = c; }
    std::string title, counts;
    std::vector<std::string> shown;
    bool compared = true;
    int shows = 0;
};

struct RecordingFolderPicker : FolderPicker {
    std::string PickFolder(const std::string& start) override {
        offered = start;
        return answer;
    }
    std::string offered, answer;
};

struct RecordingArchivePicker : ArchivePicker {
    std::string PickArchive(const std::string& start, const std::string& f) override {
        offered = start;
        filter = f;
        return answer;
    }
    std::string offered, filter, answer;
};

// The launcher's record of what it started, and the bytes of the file it was
// handed at that moment.
struct RecordingLauncher : backup::testing::FakeLauncher {
    bool StartProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& folder) override {
        programs.push_back(program);
        files.push_back(args.empty() ? std::string() : args[0]);
        bytes.push_back(args.empty() ? std::string() : ReadFile(args[0]));
        return FakeLauncher::StartProgram(program, args, folder);
    }
    std::vector<std::string> programs, files, bytes;
};

// While it lives: the desktop knows a program for every file type (the
// xdg-mime of root/bin first on PATH), the temporary folder is root/tmp, and
// the engine's deletion of opened files is scheduled under root, not in the
// real user's session.
class DesktopWithPrograms {
public:
    explicit DesktopWithPrograms(const std::string& root) {
        const std::string bin = root + "/bin";
        kuv::platform::CreateFolderPath(bin);
        WriteFile(bin + "/xdg-mime", "#!/bin/sh\n[ \"$2\" = filetype ] && echo text/plain || echo editeur.desktop\n");
        std::system(("chmod +x '" + bin + "/xdg-mime'").c_str());
        Set("PATH", bin + ":" + (std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin"));
        Set("XDG_CONFIG_HOME", root + "/config");
        Set("XDG_CACHE_HOME", root + "/cache");
        kuv::platform::CreateFolderPath(root + "/tmp");
        Set("TMPDIR", root + "/tmp");
    }
    ~DesktopWithPrograms() {
        for (const auto& [name, value] : saved_) {
            if (value.second) setenv(name.c_str(), value.first.c_str(), 1);
            else unsetenv(name.c_str());
        }
    }
    DesktopWithPrograms(const DesktopWithPrograms&) = delete;
    DesktopWithPrograms& operator=(const DesktopWithPrograms&) = delete;

private:
    void Set(const std::string& name, const std::string& value) {
        const char* old = std::getenv(name.c_str());
        saved_.push_back({name, {old ? old : "", old != nullptr}});
        setenv(name.c_str(), value.c_str(), 1);
    }
    std::vector<std::pair<std::string, std::pair<std::string, bool>>> saved_;
};

// KuvSav-2612071015.zip in folder: compta.dat, then zz.dat (20 KB,
// deflated), its data damaged when asked. Returns its path.
inline std::string WriteComptaAndZz(const std::string& folder, bool damaged) {
    readertest::RawArchive a;
    a.members = {Dated("compta.dat", "compta restaurée", kDate, kTime),
                 Dated("zz.dat", std::string(20000, 'z') + "fin", kDate, kTime)};
    const std::string path = folder + "/KuvSav-2612071015.zip";
    WriteFile(path, damaged ? DamageLastMember(a.Build()) : a.Build());
    return path;
}

class BrowseLogicTest : public RestoreFixture, public ::testing::Test {
public:
    BrowseLogicTest() {
        WriteFile(data + "/compta.dat", "compta ancienne");
        WriteFile(data + "/extra.txt", "reste");
    }
    RecordingBrowseView browseView;
    RecordingFolderPicker picker;
    RecordingArchivePicker archives;
    RecordingLauncher launcher;
    BrowseLogic browse{
        BrowseContext{browseView, dialog, clock, data, "C:\\Appli\\Donnees", &picker, program, &archives, &launcher}};
};

}  // namespace kuv::restore::testing
