// "Sauvegarder les PROGRAMMES" and "Restaurer l'ancienne Version" on a
// scratch installation folder.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <map>

#include <string>

#include "FaultCallsInChild.h"
#include "OperationsFakes.h"
#include "PausedChild.h"
#include "operations/ProgramFiles.h"
#include "operations/ProgramRestoreJournal.h"
#include "operations/SafeCopy.h"
#include "platform/FaultInjection.h"
#include "platform/FolderTree.h"
#include "platform/Files.h"

namespace kuv::operations {
namespace {

using testing::AnsweringDialog;
using testing::Bytes;
using testing::FakeOperationsView;
using testing::FileSizeLimit;
using testing::FolderContents;
using testing::ReadFile;
using testing::WriteFile;

struct NameCase {
    const char* name;
    bool executable;
    bool program;
};

class ProgramFileRuleTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(ProgramFileRuleTest, ByNameOrExecuteBit) {
    EXPECT_EQ(IsProgramFile(GetParam().name, GetParam().executable), GetParam().program) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Names, ProgramFileRuleTest,
                         ::testing::Values(NameCase{"autre.exe", false, true}, NameCase{"AUTRE.EXE", false, true},
                                           NameCase{"a.dll.txt", false, true}, NameCase{"ctl.OCX", false, true},
                                           NameCase{"libz.so.1", false, true}, NameCase{"outil", true, true},
                                           NameCase{"notes.txt", false, false}, NameCase{"exe", false, false},
                                           NameCase{"KuvZip.EXE", false, false},
                                           NameCase{"kuvzip.exe.bak", false, false},
                                           NameCase{"kuvzip.exe.bak", true, false},
                                           NameCase{"vieux-KUVZIP.EXE", true, false},
                                           NameCase{".kuvzip-copie-Ab12Cd", true, false},
                                           NameCase{".kuvzip-copie-Ab12Cd.exe", false, false}));

TEST(CountMessageTest, SecondLineOnlyWhenSomeFailed) {
    EXPECT_EQ(CountMessage(12, kProgramsSaved, 0), "12 programmes sauvegardés !");
    EXPECT_EQ(CountMessage(3, kProgramsRestored, 2), "3 programmes restaurés !\n\r2 fichiers n'ont pas pu être copiés");
}

class ProgramFilesTest : public ::testing::Test {
protected:
    ProgramFilesTest()
        : machine("kuv-prog"),
          install(machine.root + "/Appli"),
          saved(install + "/Sauve_prog"),
          commands(ProgramFilesContext{dialog, view, clock, pump, [this] { return install; }, install + "/kuvzip"}) {
        clock.now = backup::DateTime{2026, 12, 7, 9, 53, 20, 0};
        PutInstallation();
    }
    void PutInstallation() {
        platform::CreateFolder(install);
        Put("KuvZip.EXE", "running program, Windows name");
        Put("kuvzip.exe.bak", "old running program");
        Put("autre.exe", "MZ autre");
        Put("a.dll.txt", "not quite a library");
        Put("libcalc.so", Bytes(70000, 1));
        Put("lancer.sh", "#!/bin/sh\n", 0755);
        Put("kuvzip", "the running program", 0755);
        Put("notes.txt", "notes");
        Put("Kuv-Zip.ini", "C:\\Appli\\Donnees\r\n");
    }
    void Put(const std::string& name, const std::string& bytes, mode_t mode = 0644) {
        WriteFile(install + "/" + name, bytes);
        chmod((install + "/" + name).c_str(), mode);
    }
    std::string LastMessage() const { return dialog.shown.empty() ? "" : dialog.shown.back().first; }

    backup::testing::ScratchMachine machine;
    std::string install, saved;
    AnsweringDialog dialog;
    FakeOperationsView view;
    backup::testing::FakeClock clock;
    backup::testing::FakePump pump;
    ProgramFileCommands commands;
};

TEST_F(ProgramFilesTest, BackupCopiesTheProgramFilesAndDatesTheMarker) {
    EXPECT_EQ(commands.Backup(), 4);
    EXPECT_EQ(FolderContents(saved), (std::map<std::string, std::string>{
                                         {"a.dll.txt", "not quite a library"},
                                         {"autre.exe", "MZ autre"},
                                         {"lancer.sh", "#!/bin/sh\n"},
                                         {"libcalc.so", Bytes(70000, 1)},
                                         {"temoin.txt", "07/12/2026 \xE0 09:53\r\n"},
                                     }));
    struct stat st {};
    ASSERT_EQ(stat((saved + "/lancer.sh").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);  // a script stays executable
    const mode_t mask = umask(022);
    umask(mask);
    ASSERT_EQ(stat(saved.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0777u & ~mask);  // as any new folder of the user
    ASSERT_EQ(dialog.shown.size(), 1u);
    EXPECT_EQ(dialog.shown[0].first, "4 programmes sauvegardés !");
    EXPECT_EQ(dialog.shown[0].second, kDialogMessage);
    EXPECT_EQ(view.busy, (std::vector<bool>{true, false}));
    ASSERT_EQ(view.programFiles.size(), 9u);  // File2 lists every file of the folder

    // A second backup replaces the copies and the marker: one generation.
    Put("autre.exe", "MZ autre v2");
    clock.now = backup::DateTime{2026, 12, 8, 17, 4, 0, 0};
    EXPECT_EQ(commands.Backup(), 4);
    EXPECT_EQ(ReadFile(saved + "/autre.exe"), "MZ autre v2");
    EXPECT_EQ(ReadFile(saved + "/temoin.txt"), "08/12/2026 \xE0 17:04\r\n");
}

// A backup that cannot copy every program file keeps the previous set whole,
// under its own date, and says so; no work file or folder is left.
TEST_F(ProgramFilesTest, FailedBackupKeepsTheOldSetWhole) {
    ASSERT_EQ(commands.Backup(), 4);
    const auto before = FolderContents(saved);
    Put("libcalc.so", Bytes(400000, 2));
    Put("autre.exe", "MZ autre v2");
    clock.now = backup::DateTime{2026, 12, 8, 17, 4, 0, 0};
    {
        FileSizeLimit full(200000);
        EXPECT_EQ(commands.Backup(), 0);
    }
    EXPECT_EQ(LastMessage(), "0 programmes sauvegardés !\n\r1 fichiers n'ont pas pu être copiés\n\r" +
                                 std::string(kOldSetKept));
    EXPECT_EQ(FolderContents(saved), before);
    for (const auto& entry : FolderContents(install)) EXPECT_NE(entry.first.rfind(".kuvzip", 0), 0u) << entry.first;
}

// A file of an older backup that is no longer a program file of the folder
// does not stay in the set, and so is never restored.
TEST_F(ProgramFilesTest, TheSetHoldsOnlyThisBackupsFiles) {
    ASSERT_EQ(commands.Backup(), 4);
    ASSERT_TRUE(platform::RemoveFile(install + "/autre.exe"));
    WriteFile(saved + "/.kuvzip-copie-Ab12Cd", "half a copy");
    chmod((saved + "/.kuvzip-copie-Ab12Cd").c_str(), 0755);
    EXPECT_EQ(commands.Backup(), 3);
    EXPECT_FALSE(platform::PathExists(saved + "/autre.exe"));
    EXPECT_FALSE(platform::PathExists(saved + "/.kuvzip-copie-Ab12Cd"));
}

// Libraries that are symbolic links are saved and restored as links.
TEST_F(ProgramFilesTest, LinksStayLinks) {
    ASSERT_EQ(symlink("libcalc.so", (install + "/libcalc.so.1").c_str()), 0);
    ASSERT_EQ(commands.Backup(), 5);
    EXPECT_TRUE(platform::IsSymlink(saved + "/libcalc.so.1"));
    ASSERT_TRUE(platform::RemoveFile(install + "/libcalc.so.1"));
    Put("libcalc.so.1", "a plain file over the link");
    dialog.answers = {"OUI"};
    EXPECT_EQ(commands.Restore(), 5);
    ASSERT_TRUE(platform::IsSymlink(install + "/libcalc.so.1"));
    char target[64] = {};
    ASSERT_GT(readlink((install + "/libcalc.so.1").c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "libcalc.so");
}

// A restore that cannot stage every file replaces none.
TEST_F(ProgramFilesTest, FailedRestoreReplacesNothing) {
    ASSERT_EQ(commands.Backup(), 4);
    Put("autre.exe", "MZ broken update");
    Put("libcalc.so", "broken");
    const auto before = FolderContents(install);
    dialog.answers = {"OUI"};
    {
        FileSizeLimit full(50000);  // libcalc.so cannot be staged
        EXPECT_EQ(commands.Restore(), 0);
    }
    EXPECT_EQ(LastMessage(), "0 programmes restaurés !\n\r1 fichiers n'ont pas pu être copiés\n\r" +
                                 std::string(kNothingRestored));
    EXPECT_EQ(FolderContents(install), before);
}

TEST_F(ProgramFilesTest, RestoreAfterOuiPutsTheSavedVersionBack) {
    ASSERT_EQ(commands.Backup(), 4);
    Put("autre.exe", "MZ broken update");
    Put("lancer.sh", "#!/bin/sh\nbroken\n", 0644);
    Put("kuvzip", "the running program, new");
    WriteFile(saved + "/kuvzip", "a saved running program");  // never restored over the running one
    chmod((saved + "/kuvzip").c_str(), 0755);
    dialog.answers = {"  oui "};
    EXPECT_EQ(commands.Restore(), 4);
    ASSERT_EQ(dialog.shown.size(), 3u);
    EXPECT_EQ(dialog.shown[1].first,
              "Confirmez la restauration des programmes sauvegardés le 07/12/2026 à 09:53, tapez 'OUI' pour "
              "confirmer ?|NON");
    EXPECT_EQ(dialog.shown[1].second, kDialogConfirmUpper);
    EXPECT_EQ(dialog.shown[2].first, "4 programmes restaurés !");
    EXPECT_EQ(ReadFile(install + "/autre.exe"), "MZ autre");
    EXPECT_EQ(ReadFile(install + "/lancer.sh"), "#!/bin/sh\n");
    struct stat st {};
    ASSERT_EQ(stat((install + "/lancer.sh").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
    EXPECT_EQ(ReadFile(install + "/kuvzip"), "the running program, new");
    EXPECT_EQ(ReadFile(install + "/KuvZip.EXE"), "running program, Windows name");
    EXPECT_EQ(view.savedFolder, saved);
    EXPECT_EQ(view.savedProgramFiles.size(), 6u);  // File3: everything the side folder holds
}

TEST_F(ProgramFilesTest, AnythingButOuiAbandonsWithoutAMessage) {
    ASSERT_EQ(commands.Backup(), 4);
    Put("autre.exe", "MZ update");
    for (const char* answer : {"NON", "", "ouii", "O U I"}) {
        dialog.shown.clear();
        dialog.answers = {answer};
        EXPECT_EQ(commands.Restore(), 0) << answer;
        EXPECT_EQ(dialog.shown.size(), 1u) << answer;  // only the question
        EXPECT_EQ(ReadFile(install + "/autre.exe"), "MZ update");
    }
}

TEST_F(ProgramFilesTest, RestoreWithoutMarkerStillAsks) {
    ASSERT_EQ(commands.Backup(), 4);
    ASSERT_TRUE(platform::RemoveFile(saved + "/temoin.txt"));
    dialog.answers = {"OUI"};
    EXPECT_EQ(commands.Restore(), 4);
    EXPECT_EQ(dialog.shown[1].first,
              "Confirmez la restauration des programmes sauvegardés le , tapez 'OUI' pour confirmer ?|NON");
}

}  // namespace
}  // namespace kuv::operations

namespace kuv::operations {
namespace {

// A program that is running cannot be opened for writing (ETXTBSY); the
// restore replaces it through a rename, and the running process keeps its
// own copy.
TEST(ProgramInUseTest, RunningProgramIsReplacedWhole) {
    backup::testing::ScratchMachine machine("kuv-inuse");
    const std::string install = machine.root + "/Appli";
    platform::CreateFolder(install);
    platform::CreateFolder(install + "/Sauve_prog");
    std::string sleeper;
    ASSERT_TRUE(platform::ReadWholeFile("/bin/sleep", sleeper));
    WriteFile(install + "/outil", sleeper);
    chmod((install + "/outil").c_str(), 0755);
    WriteFile(install + "/Sauve_prog/outil", "#!/bin/sh\necho ancienne version\n");
    chmod((install + "/Sauve_prog/outil").c_str(), 0755);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        execl((install + "/outil").c_str(), "outil", "30", static_cast<char*>(nullptr));
        _exit(127);
    }
    usleep(200000);  // the program runs
    AnsweringDialog dialog;
    dialog.answers = {"OUI"};
    FakeOperationsView view;
    backup::testing::FakeClock clock;
    backup::testing::FakePump pump;
    ProgramFileCommands commands(ProgramFilesContext{dialog, view, clock, pump, [&] { return install; }, ""});
    const int restored = commands.Restore();
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_EQ(restored, 1);
    EXPECT_EQ(dialog.shown.back().first, "1 programmes restaurés !");
    EXPECT_EQ(ReadFile(install + "/outil"), "#!/bin/sh\necho ancienne version\n");
}

}  // namespace
}  // namespace kuv::operations

namespace kuv::operations {
namespace {

// A program-file backup stopped dead after each of its steps (a child process
// that ends there without any cleanup): "Sauve_prog" holds either the whole
// old set or the whole new one, and the next backup finishes cleanly.
TEST(ProgramSetCrashTest, EveryStepLeavesOneWholeSet) {
    int cases = 0;
    for (int stopAt = 1;; ++stopAt) {
        backup::testing::ScratchMachine machine("kuv-crash");
        const std::string install = machine.root + "/Appli";
        const std::string saved = install + "/Sauve_prog";
        platform::CreateFolder(install);
        AnsweringDialog dialog;
        FakeOperationsView view;
        backup::testing::FakeClock clock;
        backup::testing::FakePump pump;
        ProgramFileCommands commands(ProgramFilesContext{dialog, view, clock, pump, [&] { return install; }, ""});
        for (const char* name : {"a.exe", "b.dll", "c.so"}) WriteFile(install + "/" + name, std::string("old ") + name);
        clock.now = backup::DateTime{2026, 12, 7, 9, 53, 0, 0};
        ASSERT_EQ(commands.Backup(), 3);
        const auto oldSet = FolderContents(saved);
        for (const char* name : {"a.exe", "b.dll", "c.so"}) WriteFile(install + "/" + name, std::string("new ") + name);
        clock.now = backup::DateTime{2026, 12, 8, 10, 0, 0, 0};

        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            int step = 0;
            commands.SetAfterStep([&] {
                if (++step == stopAt) _exit(42);
            });
            commands.Backup();
            _exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        const bool stopped = WEXITSTATUS(status) == 42;
        const auto now = FolderContents(saved);
        const bool whole = now == oldSet || (now.size() == 4 && now.at("a.exe") == "new a.exe" &&
                                             now.at("c.so") == "new c.so" &&
                                             now.at("temoin.txt") == "08/12/2026 \xE0 10:00\r\n");
        EXPECT_TRUE(whole) << "stopped after step " << stopAt;
        // The next command finishes: no work folder or file stays.
        EXPECT_EQ(commands.Backup(), 3);
        for (const auto& entry : FolderContents(install)) {
            EXPECT_NE(entry.first.rfind(".kuvzip", 0), 0u) << entry.first << " after step " << stopAt;
        }
        if (!stopped) break;
        ++cases;
    }
    EXPECT_EQ(cases, 6);  // the set made, three files, the marker, the exchange
}

}  // namespace
}  // namespace kuv::operations

namespace kuv::operations {
namespace {

using platform::FaultPoint;

// A restore of the program files stopped or failing at each rename and at the
// journal's flush: the installation folder then holds, file for file, the
// whole old set or the whole restored one, no work name, and the user is told
// what was undone.
struct RestoreFault {
    const char* label;
    FaultPoint point;  // Count_: after each step of the restore instead
    int error;         // platform::kFaultKill: the restore is killed there
};

// An installation whose saved set differs from its files, and the judge of
// what a restore left there.
class ProgramRestoreSetTest : public ProgramFilesTest {
protected:
    using Set = std::map<std::string, std::string>;

    // A fresh installation whose saved set differs from its files: two
    // replaced, one link turned into a file, one missing (placed new).
    void Prepare() {
        platform::RemoveTree(install);
        PutInstallation();
        ASSERT_EQ(commands.Backup(), 4);
        Put("autre.exe", "MZ broken update");
        Put("libcalc.so", Bytes(90000, 7));
        Put("lancer.sh", "#!/bin/sh\nbroken\n", 0755);
        ASSERT_TRUE(platform::RemoveFile(install + "/a.dll.txt"));
        oldSet = FolderContents(install);
        newSet = oldSet;
        for (const char* name : {"autre.exe", "libcalc.so", "lancer.sh", "a.dll.txt"}) {
            newSet[name] = ReadFile(saved + "/" + name);
        }
        dialog.shown.clear();
    }

    // Whole old set, whole new set, or neither (a mix, or work names left).
    enum class Whole { Old, New, Mixed };
    Whole Judge() const {
        const Set now = FolderContents(install);
        for (const auto& entry : now) {
            if (entry.first.rfind(".kuvzip", 0) == 0) return Whole::Mixed;
        }
        return now == oldSet ? Whole::Old : now == newSet ? Whole::New : Whole::Mixed;
    }

    // The next program-file command (a backup) recovers and sweeps.
    // Returns: what it told before its own message.
    std::string NextCommand() {
        dialog.shown.clear();
        commands.Backup();
        return dialog.shown.size() > 1 ? dialog.shown.front().first : std::string();
    }

    Set oldSet, newSet;
};

class ProgramRestoreFaultTest : public ProgramRestoreSetTest, public ::testing::WithParamInterface<RestoreFault> {
protected:
    // The calls of point a whole restore makes, counted in a child.
    int CallsOfARestore(FaultPoint point) {
        Prepare();
        if (point == FaultPoint::Count_) {
            int steps = 0;
            commands.SetAfterStep([&steps] { ++steps; });
            dialog.answers = {"OUI"};
            commands.Restore();
            commands.SetAfterStep(nullptr);
            Prepare();
            return steps;
        }
        return kuv::testing::FaultCallsInChild(point, [this] {
            dialog.answers = {"OUI"};
            commands.Restore();
        });
    }
};

class ProgramRestoreKillTest : public ProgramRestoreFaultTest {};

TEST_P(ProgramRestoreKillTest, EveryPointLeavesOneWholeSet) {
    const RestoreFault fault = GetParam();
    const int calls = CallsOfARestore(fault.point);
    ASSERT_GT(calls, 0);
    int killed = 0, rolledBack = 0, finished = 0;
    for (int k = 1; k <= calls; ++k) {
        Prepare();
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int step = 0;
            if (fault.point == FaultPoint::Count_) {
                commands.SetAfterStep([&step, k] {
                    if (++step == k) raise(SIGKILL);
                });
            } else {
                platform::ArmFault(fault.point, k, platform::kFaultKill);
            }
            dialog.answers = {"OUI"};
            commands.Restore();
            _exit(0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        const bool wasKilled = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
        killed += wasKilled;
        const bool journal = RestoreJournalPresent(install);
        const std::string told = NextCommand();
        const Whole after = Judge();
        EXPECT_NE(after, Whole::Mixed) << fault.label << " at " << k;
        EXPECT_FALSE(RestoreJournalPresent(install)) << fault.label << " at " << k;
        if (journal) {
            // Something was under way: the user hears which set is in place.
            EXPECT_EQ(told, after == Whole::Old ? kRestoreRolledBack : kRestoreRolledForward)
                << fault.label << " at " << k;
            rolledBack += after == Whole::Old;
            finished += after == Whole::New;
        } else {
            EXPECT_EQ(told, "") << fault.label << " at " << k;
        }
    }
    EXPECT_GT(killed, 0);
    std::printf("%s: %d points, %d killed, %d rolled back, %d finished\n", fault.label, calls, killed, rolledBack,
                finished);
}

INSTANTIATE_TEST_SUITE_P(Points, ProgramRestoreKillTest,
                         ::testing::Values(RestoreFault{"each_rename", FaultPoint::Rename, platform::kFaultKill},
                                           RestoreFault{"after_each_step", FaultPoint::Count_, platform::kFaultKill},
                                           RestoreFault{"journal_flush", FaultPoint::Sync, platform::kFaultKill}));

class ProgramRestoreFailureTest : public ProgramRestoreFaultTest {};

TEST_P(ProgramRestoreFailureTest, TheMessageIsTrueAndTheFolderWhole) {
    const RestoreFault fault = GetParam();
    const int calls = CallsOfARestore(fault.point);
    ASSERT_GT(calls, 0);
    int kept = 0;
    for (int k = 1; k <= calls; ++k) {
        Prepare();
        dialog.answers = {"OUI"};
        int restored;
        {
            platform::FaultScope scope;
            platform::ArmFault(fault.point, k, fault.error);
            restored = commands.Restore();
        }
        const std::string told = LastMessage();
        if (RestoreJournalPresent(install)) {
            ++kept;
            EXPECT_EQ(restored, 0);
            EXPECT_NE(told.find(RestoreUnfinishedMessage(install)), std::string::npos) << fault.label << " at " << k;
            EXPECT_EQ(NextCommand(), kRestoreRolledBack) << fault.label << " at " << k;
            EXPECT_EQ(Judge(), Whole::Old) << fault.label << " at " << k;
        } else if (restored > 0) {
            EXPECT_EQ(told, "4 programmes restaurés !");
            EXPECT_EQ(Judge(), Whole::New) << fault.label << " at " << k;
        } else {
            EXPECT_NE(told.find(kNothingRestored), std::string::npos) << fault.label << " at " << k;
            EXPECT_EQ(Judge(), Whole::Old) << fault.label << " at " << k;
        }
    }
    std::printf("%s: %d points, journal kept %d times\n", fault.label, calls, kept);
}

INSTANTIATE_TEST_SUITE_P(Errors, ProgramRestoreFailureTest,
                         ::testing::Values(RestoreFault{"rename_eio", FaultPoint::Rename, EIO},
                                           RestoreFault{"rename_erofs", FaultPoint::Rename, EROFS},
                                           RestoreFault{"flush_eio", FaultPoint::Sync, EIO}));

}  // namespace
}  // namespace kuv::operations

namespace kuv::operations {
namespace {

// A restore of the program files under way in another process: a child
// stopped after one of its steps, holding the folder (and, once written, the
// journal) locked. Meanwhile this process's commands refuse before asking
// anything, its start-up recovery and the copies' sweep leave the folder
// alone, and nothing there changes; once the child goes on, its restore ends
// with the whole restored set.
struct PausePoint {
    const char* label;
    int step;  // of 13: 4 files staged, the journal, 4 exchanges, 4 removals
    bool journal;
};

class ProgramRestoreInProgressTest : public ProgramRestoreSetTest,
                                     public ::testing::WithParamInterface<PausePoint> {};

TEST_P(ProgramRestoreInProgressTest, AnotherProcessTouchesNothing) {
    Prepare();
    kuv::testing::PausedChild child([this](const std::function<void()>& pause) {
        int step = 0;
        commands.SetAfterStep([&step, &pause] {
            if (++step == GetParam().step) pause();
        });
        dialog.answers = {"OUI"};
        return commands.Restore();
    });
    ASSERT_TRUE(child.Paused(30000)) << "the restore did not reach step " << GetParam().step;
    const Set during = FolderContents(install), savedDuring = FolderContents(saved);
    ASSERT_EQ(RestoreJournalPresent(install), GetParam().journal);

    AnsweringDialog otherDialog;
    FakeOperationsView otherView;
    ProgramFileCommands other(
        ProgramFilesContext{otherDialog, otherView, clock, pump, [this] { return install; }, install + "/kuvzip"});
    otherDialog.answers = {"OUI"};
    EXPECT_EQ(other.Backup(), 0);
    EXPECT_EQ(other.Restore(), 0);
    EXPECT_EQ(otherDialog.Texts(), (std::vector<std::string>{ProgramsBusyMessage(install), ProgramsBusyMessage(install)}));
    EXPECT_EQ(other.RecoverAtStart(), "");
    // The journal's own lock, without the folder's: a recovery leaves it.
    EXPECT_EQ(RecoverProgramRestore(install).outcome,
              GetParam().journal ? ProgramRecovery::Busy : ProgramRecovery::Nothing);
    EXPECT_EQ(RemoveLeftoverWorkFiles(install), 0);
    EXPECT_EQ(FolderContents(install), during);
    EXPECT_EQ(FolderContents(saved), savedDuring);

    const int status = child.Finish();
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 4);
    EXPECT_EQ(Judge(), Whole::New);
    EXPECT_EQ(other.Backup(), 4);
}

INSTANTIATE_TEST_SUITE_P(Steps, ProgramRestoreInProgressTest,
                         ::testing::Values(PausePoint{"Staging", 2, false}, PausePoint{"JournalWritten", 5, true},
                                           PausePoint{"MidExchange", 7, true}, PausePoint{"AllExchanged", 9, true},
                                           PausePoint{"RemovingReplaced", 11, true}),
                         [](const auto& info) { return std::string(info.param.label); });

// A journal of a restore stopped by a crash keeps the copies' sweep off the
// work files it names: they hold the replaced programs.
TEST_F(ProgramFilesTest, TheCopiesSweepLeavesAStoppedRestoresWorkFiles) {
    WriteFile(install + "/a.exe", "restored");
    WriteFile(install + "/.kuvzip-copie-Ab12Cd", "old");
    JournalPair pair{"a.exe", ".kuvzip-copie-Ab12Cd", true};
    ASSERT_TRUE(Fingerprint(install + "/a.exe", pair));
    ASSERT_TRUE(RestoreJournal().Write(install, {pair}));
    EXPECT_EQ(RemoveLeftoverWorkFiles(install), 0);
    EXPECT_EQ(ReadFile(install + "/.kuvzip-copie-Ab12Cd"), "old");
}

// A restore stopped before its first exchange, over a file that differs from
// the saved one only in its execute bit: the recovery tells the two apart
// and leaves the old file as it was.
TEST_F(ProgramFilesTest, TheRecoveryTellsAnExecuteBitApart) {
    Put("lancer.sh", "#!/bin/sh\n", 0644);
    Put(".kuvzip-copie-Ab12Cd", "#!/bin/sh\n", 0755);
    JournalPair pair{"lancer.sh", ".kuvzip-copie-Ab12Cd", true};
    ASSERT_TRUE(Fingerprint(install + "/.kuvzip-copie-Ab12Cd", pair));
    ASSERT_TRUE(RestoreJournal().Write(install, {pair}));
    EXPECT_EQ(RecoverProgramRestore(install).outcome, ProgramRecovery::RolledBack);
    struct stat st {};
    ASSERT_EQ(stat((install + "/lancer.sh").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    EXPECT_FALSE(platform::PathExists(install + "/.kuvzip-copie-Ab12Cd"));
}

// What a stopped or failing restore may leave under work names goes with
// the next command: the temporary file of a journal whose writing a crash
// stopped, a staged copy, a replaced file under a link's work name and a
// replaced link under a copy's.
TEST_F(ProgramFilesTest, ARestoresLeftoversGoWithTheNextCommand) {
    Put(".kuvzip-Ab12Cd", "a.exe\t.kuvzip-copie-");
    Put(".kuvzip-copie-Cd34Ef", "a staged copy");
    Put(".kuvzip-lien-123456", "a file the link replaced");
    ASSERT_EQ(symlink("libcalc.so", (install + "/.kuvzip-copie-Gh56Ij").c_str()), 0);
    EXPECT_EQ(commands.Backup(), 4);
    for (const auto& entry : FolderContents(install)) EXPECT_NE(entry.first.rfind(".kuvzip", 0), 0u) << entry.first;
}

// A restore whose recovery cannot be finished now (a name it cannot judge):
// the next command says so and changes nothing, the saved set included.
TEST_F(ProgramFilesTest, AnUnfinishedRestoreStopsTheNextCommand) {
    ASSERT_EQ(commands.Backup(), 4);
    JournalPair pair{"absent.exe", ".kuvzip-copie-Ab12Cd", true, false, 3, 0};
    ASSERT_TRUE(RestoreJournal().Write(install, {pair}));
    const auto before = FolderContents(install), savedBefore = FolderContents(saved);
    dialog.shown.clear();
    dialog.answers = {"OUI"};
    EXPECT_EQ(commands.Backup(), 0);
    EXPECT_EQ(commands.Restore(), 0);
    EXPECT_EQ(dialog.Texts(), (std::vector<std::string>{RestoreUnfinishedMessage(install), RestoreUnfinishedMessage(install)}));
    EXPECT_EQ(FolderContents(install), before);
    EXPECT_EQ(FolderContents(saved), savedBefore);
}

}  // namespace
}  // namespace kuv::operations
