// kuvzip-programs-bench: "Sauvegarder les PROGRAMMES" and "Restaurer
// l'ancienne Version" on an installation folder through the commands' logic,
// without widgets ("OUI" typed at the question), as the fault sweeps run
// them (tools/program-files-fault-sweep.sh):
//
//   kuvzip-programs-bench backup FOLDER
//   kuvzip-programs-bench restore FOLDER
//   kuvzip-programs-bench recover FOLDER   (the program's start: a restore a
//                                           crash stopped is undone or finished)
//
// Prints the messages; exit status 0 when the command did its work (recover:
// when no restore is left unfinished), 1 otherwise, 2 on a usage error.

#include <cstdio>
#include <string>
#include <vector>

#include "bench-common/SystemClock.h"
#include "bench-common/TypingUser.h"
#include "operations/ProgramFiles.h"
#include "operations/ProgramRestoreJournal.h"
#include "platform/Files.h"

namespace {

using namespace kuv;

class NoView : public operations::OperationsView {
public:
    void ShowProgramFiles(const std::vector<std::string>&) override {}
    void ShowSavedProgramFiles(const std::string&, const std::vector<std::string>&) override {}
    void SetBusyPointer(bool) override {}
    void SetCopyNameText(const std::string&) override {}
    void ShowAutomaticCopyPanel(bool) override {}
};

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc == 3 ? argv[1] : "";
    if (command != "backup" && command != "restore" && command != "recover") {
        std::fprintf(stderr, "usage: kuvzip-programs-bench backup|restore|recover FOLDER\n");
        return 2;
    }
    const std::string folder = platform::FullPath(argv[2]);
    bench::TypingUser user;
    NoView view;
    bench::SystemClock clock;
    bench::NoPump pump;
    operations::ProgramFileCommands commands(
        operations::ProgramFilesContext{user, view, clock, pump, [&folder] { return folder; }});
    if (command == "backup") return commands.Backup() > 0 ? 0 : 1;
    if (command == "restore") return commands.Restore() > 0 ? 0 : 1;
    const std::string told = commands.RecoverAtStart();
    if (!told.empty()) std::printf("%s\n", told.c_str());
    return operations::RestoreJournalPresent(folder) ? 1 : 0;
}
