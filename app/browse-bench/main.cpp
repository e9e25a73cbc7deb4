// kuvzip-browse-bench: what the browse window does before its first display,
// without widgets, for timing: the backup's members listed, the data folder
// listed, and the size/date state of every file (the CRCs of the rows "à
// vérifier" come later, on idle time, and are not part of it).
//
//   kuvzip-browse-bench ARCHIVE DATA_FOLDER
//
// Prints the time of each step and of the whole window opening, and the
// counts line; exit status 0 when the backup could be read.

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "bench-common/SystemClock.h"
#include "restore/BackupComparison.h"
#include "restore/BrowseLogic.h"
#include "ui/DialogPort.h"
#include "zip/clsZip.h"

namespace {

using namespace kuv;
using Steady = std::chrono::steady_clock;

double Seconds(Steady::time_point since) { return std::chrono::duration<double>(Steady::now() - since).count(); }

class NoBrowseView : public restore::BrowseView {
public:
    void SetTitle(const std::string&) override {}
    void ShowRows(const std::vector<const restore::ComparedFile*>& rows) override { shown = rows.size(); }
    void ShowCounts(const std::string& text) override { counts = text; }
    void ShowComparedWithFolder(bool) override {}
    size_t shown = 0;
    std::string counts;
};

class PrintingDialog : public DialogPort {
public:
    void ShowDialog() override {
        std::printf("%s\n", DialogText.c_str());
        DialogMode = 1;
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: kuvzip-browse-bench ARCHIVE DATA_FOLDER\n");
        return 2;
    }
    const std::string archive = argv[1], data = argv[2];

    // Each step alone, then the window's opening as a whole.
    auto t = Steady::now();
    clsZip engine;
    if (!engine.ZipOpen(archive)) return 1;
    const std::vector<restore::BackupMember> members = restore::ListMembers(engine);
    const double listed = Seconds(t);
    t = Steady::now();
    const std::vector<restore::FolderFile> files = restore::ListDataFolder(data);
    const double folder = Seconds(t);
    t = Steady::now();
    const std::vector<restore::ComparedFile> rows = restore::Compare(members, files);
    const double compared = Seconds(t);
    engine.ZipClose();

    NoBrowseView view;
    PrintingDialog dialog;
    bench::SystemClock clock;
    restore::BrowseLogic browse{restore::BrowseContext{view, dialog, clock, data, data, nullptr, {}}};
    t = Steady::now();
    if (!browse.Open(archive, "bench")) return 1;
    const double opened = Seconds(t);

    std::printf("members %zu, folder files %zu, rows %zu\n", members.size(), files.size(), rows.size());
    std::printf("list members %.3f s, list folder %.3f s, states %.3f s, window opening %.3f s\n", listed, folder,
                compared, opened);
    std::printf("%s\n", view.counts.c_str());
    return 0;
}
