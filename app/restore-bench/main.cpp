// kuvzip-restore-bench: restores a backup archive over a data folder through
// the restore window's logic, without widgets, as a user of the window does
// (the archive chosen in the list, "OUI" typed twice), for timing:
//
//   kuvzip-restore-bench ARCHIVE DATA_FOLDER
//   kuvzip-restore-bench --recover DATA_FOLDER   (the window's load only:
//                                                  an interrupted restore finished)
//
// Prints the final message; exit status 0 when the restore completed (or,
// with --recover, when nothing is left to finish).

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "bench-common/SystemClock.h"
#include "bench-common/TypingUser.h"
#include "ui/Environment.h"
#include "ui/MainSettings.h"
#include "platform/Files.h"
#include "platform/WorkNames.h"
#include "restore/BackupListing.h"
#include "restore/RestoreWindowLogic.h"
#include "ui/DialogPort.h"

namespace {

using namespace kuv;

// A window that shows nothing.
class NoView : public restore::RestoreWindowView {
public:
    void PlaceList2(int, int) override {}
    void DressWindow() override {}
    void SetButtonPictures() override {}
    void ShowDrives(const std::vector<std::string>&, int) override {}
    void ShowFolders(const std::vector<restore::FolderItem>&, int) override {}
    void ShowFiles(const std::vector<std::string>&) override {}
    void ShowInfoFiles(const std::vector<std::string>&) override {}
    void ShowList1(const std::vector<std::string>&, int) override {}
    void ShowList2(const std::vector<std::string>&, int) override {}
    void ShowCloudMode(bool) override {}
    void SetModeMarker(const std::string&) override {}
    void SetChoice(const std::string&) override {}
    void SetStatus(const std::string&) override {}
    void SetMemberCount(const std::string&) override {}
    void ShowStatusLine(bool) override {}
    void SetBusy(bool) override {}
    void ShowEngineError(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    void ShowComment(const std::string&) override {}
    bool AskNumber(const std::string&, const std::string&, std::string&) override { return false; }
    void Beep() override {}
    void WriteDiagnostic(const std::string&) override {}
    void CloseWindow() override {}
};

class NoFolders : public backup::SpecialFolders {
public:
    std::string SpecialFolderPath(int) const override { return {}; }
};

class End : public backup::ProgramEnd {
public:
    bool ended = false;
    void EndProgram() override { ended = true; }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: kuvzip-restore-bench ARCHIVE DATA_FOLDER\n");
        return 2;
    }
    const bool recoverOnly = std::string(argv[1]) == "--recover";
    const std::string archive = platform::FullPath(recoverOnly ? argv[2] + std::string("/x.zip") : argv[1]);
    const std::string folder = platform::FolderOf(archive);
    backup::MainSettings settings;
    settings.dataFolder = platform::FullPath(argv[2]);
    settings.destinationRoot = "C:";  // the archive's folder stands for c: here
    NoView view;
    bench::TypingUser user;
    bench::SystemClock clock;
    bench::NoPump pump;
    NoFolders folders;
    End end;
    std::vector<platform::DriveEntry> drives = {{"c: [" + folder + "]", folder, platform::kDriveFixed, ""}};
    restore::RestoreWindowLogic logic(restore::RestoreWindowContext{
        view, user, clock, pump, folders, drives, end, settings, platform::CurrentFolder()});
    logic.Load();
    if (recoverOnly) return platform::RestorePending(settings.dataFolder) ? 1 : 0;
    const std::string name = platform::FileNameOf(archive);
    for (size_t i = 0; i < logic.List1().size(); ++i)
        if (restore::ArchiveNameOfList1Entry(logic.List1()[i]) == name) logic.List1Click(static_cast<int>(i));
    if (logic.List1Selected() < 0 || restore::ArchiveNameOfList1Entry(logic.List1()[static_cast<size_t>(
                                         logic.List1Selected())]) != name) {
        std::fprintf(stderr, "%s is not listed as a backup\n", name.c_str());
        return 2;
    }
    logic.Restore();
    return end.ended ? 0 : 1;
}
