// A restore on a bad day: faults of the file layer at every step, a process
// killed in the middle, a second process meeting a restore in progress. No
// message may be false, and the next start leaves every file of the data
// folder all the backup's version or all the old one.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <tuple>
#include <thread>

#include "FaultCallsInChild.h"
#include "RestoreFakes.h"
#include "platform/FaultInjection.h"
#include "platform/Files.h"
#include "platform/FolderTree.h"
#include "platform/WorkNames.h"
#include "recovery/RestoreRecovery.h"
#include "restore/BrowseLogic.h"
#include "restore/StartRecovery.h"
#include "ui/Notifications.h"
#include "zip/clsZip.h"

namespace kuv::restore::testing {
namespace {

using platform::FaultPoint;
using recovery::RecoveryState;

enum class Whole { AllNew, AllOld, Mixed };

const char* Name(Whole w) { return w == Whole::AllNew ? "all new" : w == Whole::AllOld ? "all old" : "mixed"; }

// Who wrote the backup: the engine, or Info-ZIP's zip -6 (each member one
// deflate stream, the large one streamed through igzip on a worker).
enum class Writer { Engine, Zip6 };

// A data folder of `files` files, a third in sub-folders; the backup holds a
// new version of each, and the folder an old version of every other one.
// Written by zip -6, the backup's second file is large (6 MiB).
class BadDay : public RestoreFixture {
public:
    explicit BadDay(int files = 24, Writer writer = Writer::Engine) : files_(files), writer_(writer) {
        readertest::RawArchive a;
        const std::string source = kuv::platform::FolderOf(data) + "/zip6-source";
        for (int i = 0; i < files_; ++i) {
            a.members.push_back(Dated(Stored(i), New(i), kDate, kTime));
            if (writer_ == Writer::Zip6) {
                kuv::platform::CreateFolderPath(kuv::platform::FolderOf(source + "/" + Path(i)));
                WriteFile(source + "/" + Path(i), New(i));
            }
            if (i % 2 == 0) {
                kuv::platform::CreateFolderPath(kuv::platform::FolderOf(data + "/" + Path(i)));
                WriteFile(data + "/" + Path(i), Old(i));
            }
        }
        WriteFile(data + "/extra.txt", "pas dans la sauvegarde");
        archive = WriteArchive("KuvSav-2612071015.zip", a);
        if (writer_ == Writer::Zip6) {
            std::remove(archive.c_str());
            made = readertest::Shell("cd '" + source + "' && zip -q -6 -r -X '" + archive + "' .") == 0;
        }
    }
    static std::string Path(int i) { return i % 3 == 0 ? "sous/f" + std::to_string(i) + ".dat" : "f" + std::to_string(i) + ".dat"; }
    static std::string Stored(int i) { return i % 3 == 0 ? "sous\\f" + std::to_string(i) + ".dat" : Path(i); }
    std::string New(int i) const {
        std::string s = "nouveau " + std::to_string(i) + std::string(static_cast<size_t>(i * 37), 'n');
        if (writer_ == Writer::Zip6 && i == 1) {
            for (int line = 0; s.size() < (6u << 20); ++line)
                s += std::to_string(line * 7919 % 100003) + ";DUPONT;PARIS;Facture;" + std::to_string(line % 997) + "\n";
        }
        return s;
    }
    static std::string Old(int i) { return "ancien " + std::to_string(i); }

    // The data folder's files against both versions (the chosen ones, for
    // a restore of chosen files: every other one must be as it was); the
    // file the backup does not hold gone, or (clean) any work name left, is
    // Mixed.
    Whole Judge(bool clean = true) const {
        int fresh = 0, old = 0, judged = 0;
        for (int i = 0; i < files_; ++i) {
            std::string bytes;
            const bool there = kuv::platform::ReadWholeFile(data + "/" + Path(i), bytes);
            const bool isNew = there && bytes == New(i);
            const bool isOld = (i % 2 == 0 && there && bytes == Old(i)) || (i % 2 != 0 && !there);
            if (!chosen.empty() && std::find(chosen.begin(), chosen.end(), i) == chosen.end()) {
                if (!isOld) return Whole::Mixed;
                continue;
            }
            ++judged;
            fresh += isNew;
            old += isOld;
        }
        std::string extra;
        if (!kuv::platform::ReadWholeFile(data + "/extra.txt", extra) || extra != "pas dans la sauvegarde") return Whole::Mixed;
        for (const auto& e : kuv::platform::ListFolder(data))
            if (clean && kuv::platform::IsWorkName(e.name)) return Whole::Mixed;
        return fresh == judged ? Whole::AllNew : old == judged ? Whole::AllOld : Whole::Mixed;
    }

    // Restores through the window, as the user does: the whole backup from
    // the restore window, or the chosen files from its browse window.
    // beforeRestore runs once the backup is chosen (and, for chosen files,
    // browsed), just before the restore. Returns: the message.
    std::string RestoreByWindow(const std::function<void()>& beforeRestore = {}) {
        const size_t before = Messages().size();
        if (chosen.empty()) {
            Answer({"OUI", "OUI"});
            if (beforeRestore) beforeRestore();
            Logic().Restore();
        } else {
            BrowseLogic browse{BrowseContext{browseView_, dialog, clock, data, data, nullptr, program}};
            EXPECT_TRUE(browse.Open(archive, "07 Décembre 2026 à 10H15"));
            Answer({"OUI"});
            if (beforeRestore) beforeRestore();
            browse.RestoreChosen(ChosenPaths());
        }
        const auto messages = Messages();
        return messages.size() > before ? messages.back() : std::string();
    }
    // The next start of the restore window: its load recovers and tells.
    std::string NextStart() {
        logic.reset();
        const size_t before = Messages().size();
        Load();
        const auto messages = Messages();
        return messages.size() > before ? messages.back() : std::string();
    }

    std::vector<std::string> ChosenPaths() const {
        std::vector<std::string> paths;
        for (int i : chosen) paths.push_back(Path(i));
        return paths;
    }

    // The restore run in a child process stopped by the fault armed at
    // point's Kth call. Returns: whether the child was killed there.
    bool RestoreInChild(FaultPoint point, int k, int action = platform::kFaultKill, pid_t* child = nullptr) {
        const pid_t pid = fork();
        if (pid == 0) {
            platform::ArmFault(point, k, action);
            clsZip engine;
            const RestoreOutcome o = chosen.empty() ? RestoreArchive(engine, archive, data, clock.now)
                                                    : RestoreMembers(engine, archive, data, clock.now, ChosenPaths());
            _exit(o.result == RestoreResult::Restored ? 0 : 1);
        }
        if (child) {
            *child = pid;
            return true;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    }

    // The calls of point a whole restore makes, counted in a child.
    int CallsOfARestore(FaultPoint point) {
        return kuv::testing::FaultCallsInChild(point, [this] {
            clsZip engine;
            RestoreArchive(engine, archive, data, clock.now);
        });
    }

    std::string archive;
    bool made = true;  // false: zip is missing or failed
    std::vector<int> chosen;  // the files a restore of chosen files takes; empty: the whole backup

private:
    struct NoBrowseView : BrowseView {
        void SetTitle(const std::string&) override {}
        void ShowRows(const std::vector<const ComparedFile*>&) override {}
        void ShowCounts(const std::string&) override {}
        void ShowComparedWithFolder(bool) override {}
    };
    NoBrowseView browseView_;
    int files_;
    Writer writer_;
};

bool SaysNothingRestored(const std::string& m) { return m.find("aucun fichier n'a été restauré") != std::string::npos; }
bool SaysRestored(const std::string& m) { return m.rfind("Vos données ont été restaurées", 0) == 0; }

// ---- injected faults through the window ----

struct FaultRow {
    const char* label;
    FaultPoint point;
    int from;
    int error;
    int times;             // 0: every call from `from` on
    const char* message;   // the start of the restore's message
    Whole afterRestore;
    Whole afterNextStart;
    int partialFrom;       // `from` for a restore of two chosen files; 0: not run on one
};

// The whole backup, or two chosen files of it (one in a sub-folder), both
// with an old version in the data folder.
enum class Scope { Whole, TwoFiles };

class RestoreFault : public ::testing::TestWithParam<std::tuple<FaultRow, Writer, Scope>> {};

TEST_P(RestoreFault, MessageIsTrueAndTheNextStartMakesTheFolderWhole) {
    const auto& [row, writer, scope] = GetParam();
    BadDay day(24, writer);
    if (!day.made) GTEST_SKIP() << "zip missing";
    if (scope == Scope::TwoFiles) day.chosen = {0, 2};
    day.Load();
    std::string message;
    {
        platform::FaultScope faults;
        message = day.RestoreByWindow([&, row = row, scope = scope] {
            platform::ArmFault(row.point, scope == Scope::Whole ? row.from : row.partialFrom, row.error, row.times);
        });
    }
    EXPECT_EQ(message.rfind(row.message, 0), 0u) << message;
    const Whole after = day.Judge(false);
    EXPECT_EQ(after, row.afterRestore) << Name(after) << " / " << message;
    // No false message: "nothing restored" only over the old folder,
    // "restored" only over the new one.
    if (SaysNothingRestored(message)) {
        EXPECT_EQ(after, Whole::AllOld) << message;
    }
    if (SaysRestored(message)) {
        EXPECT_EQ(after, Whole::AllNew) << message;
    }
    const std::string told = day.NextStart();
    EXPECT_EQ(day.Judge(), row.afterNextStart) << Name(day.Judge()) << " / " << told;
    if (row.afterRestore == Whole::Mixed || row.afterRestore != row.afterNextStart) {
        EXPECT_NE(told.find("Relancez votre logiciel !"), std::string::npos) << told;
    }
    EXPECT_FALSE(kuv::platform::RestorePending(day.data));
    // The kept folder left (if any) counts as what the restore was.
    for (const auto& e : kuv::platform::ListFolder(day.data)) {
        const KeptKind kind = KeptFolderKind(day.data, e.name);
        if (kind != KeptKind::None) {
            EXPECT_EQ(kind, scope == Scope::Whole ? KeptKind::Whole : KeptKind::Partial) << e.name;
        }
    }
}

// Positions for two chosen files: the journal is the 1st rename, the
// placement's are the 2nd to 5th (each file kept, then put in place); the
// chosen members are read after the 29 or 30 reads of the opening.
const FaultRow kFaultRows[] = {
    {"listing_of_the_staging_folder", FaultPoint::List, 2, EIO, 0, kNotDone, Whole::AllOld, Whole::AllOld, 0},
    // The first confirmation's counts list the data folder first (two
    // listings: the folder and "sous").
    {"listing_of_a_sub_folder", FaultPoint::List, 5, EIO, 1, kNotDone, Whole::AllOld, Whole::AllOld, 0},
    {"listing_for_the_counts_line", FaultPoint::List, 2, EIO, 1, "Vos données ont été restaurées", Whole::AllNew, Whole::AllNew, 0},
    {"journal_not_written", FaultPoint::Rename, 1, EIO, 1, kNotDone, Whole::AllOld, Whole::AllOld, 1},
    {"rename_2nd_undone", FaultPoint::Rename, 3, EIO, 1, kNotDone, Whole::AllOld, Whole::AllOld, 3},
    {"rename_20th_undone", FaultPoint::Rename, 21, EIO, 1, kNotDone, Whole::AllOld, Whole::AllOld, 5},
    {"rename_6th_on_undo_fails", FaultPoint::Rename, 7, EROFS, 0, kIncomplete, Whole::Mixed, Whole::AllNew, 4},
    {"rename_30th_on_undo_fails", FaultPoint::Rename, 31, EIO, 0, kIncomplete, Whole::Mixed, Whole::AllNew, 5},
    {"staging_flush", FaultPoint::Sync, 1, EIO, 1, kNotDone, Whole::AllOld, Whole::AllOld, 1},
    {"final_flush", FaultPoint::Sync, 4, EIO, 1, kRestoredNotFlushed, Whole::AllNew, Whole::AllNew, 4},
    {"write_full", FaultPoint::Write, 1, ENOSPC, 0, kDiskFull, Whole::AllOld, Whole::AllOld, 1},
    {"write_quota_later", FaultPoint::Write, 5, EDQUOT, 0, kDiskFull, Whole::AllOld, Whole::AllOld, 2},
    {"write_io", FaultPoint::Write, 3, EIO, 0, kNotDone, Whole::AllOld, Whole::AllOld, 0},
    {"archive_read", FaultPoint::Read, 1, EIO, 0, kUnreadable, Whole::AllOld, Whole::AllOld, 1},
    // Opening the backup reads it about 30 times (the counts line opens it
    // too, before the restore); taking a member out reads it once more.
    {"archive_read_while_taking_out", FaultPoint::Read, 70, EIO, 0, kUnreadable, Whole::AllOld, Whole::AllOld, 31},
};

std::vector<FaultRow> PartialRows() {
    std::vector<FaultRow> rows;
    for (const FaultRow& r : kFaultRows)
        if (r.partialFrom > 0) rows.push_back(r);
    return rows;
}

std::string WriterSuffix(Writer w) { return w == Writer::Zip6 ? "_zip6" : ""; }

auto FaultName = [](const auto& info) {
    return std::string(std::get<0>(info.param).label) + WriterSuffix(std::get<1>(info.param)) +
           (std::get<2>(info.param) == Scope::TwoFiles ? "_two_chosen" : "");
};

INSTANTIATE_TEST_SUITE_P(Faults, RestoreFault,
                         ::testing::Combine(::testing::ValuesIn(kFaultRows), ::testing::Values(Writer::Engine, Writer::Zip6),
                                            ::testing::Values(Scope::Whole)),
                         FaultName);
INSTANTIATE_TEST_SUITE_P(ChosenFiles, RestoreFault,
                         ::testing::Combine(::testing::ValuesIn(PartialRows()),
                                            ::testing::Values(Writer::Engine, Writer::Zip6),
                                            ::testing::Values(Scope::TwoFiles)),
                         FaultName);

class RestoreFaultMessages : public ::testing::TestWithParam<Writer> {};

TEST_P(RestoreFaultMessages, FullDiskKeepsTheEngineLine) {
    BadDay day(24, GetParam());
    if (!day.made) GTEST_SKIP() << "zip missing";
    day.Load();
    platform::FaultScope faults;
    platform::ArmFault(FaultPoint::Write, 1, ENOSPC);
    const std::string message = day.RestoreByWindow();
    EXPECT_NE(message.find("\r\nErreur 61 - Disque plein : le fichier "), std::string::npos) << message;
}

INSTANTIATE_TEST_SUITE_P(Writers, RestoreFaultMessages, ::testing::Values(Writer::Engine, Writer::Zip6),
                         [](const auto& info) { return "by" + (WriterSuffix(info.param).empty() ? std::string("_engine") : WriterSuffix(info.param)); });

// ---- a process killed at every step, then the next start ----

struct KillPhase {
    const char* label;
    FaultPoint point;
    int first, last;  // positions; last 0: every call a restore makes
};

class KillSweep : public ::testing::TestWithParam<KillPhase> {};

TEST_P(KillSweep, NextStartLeavesTheFolderAllNewOrAllOld) {
    const KillPhase& phase = GetParam();
    const bool full = std::getenv("KUVZIP_FULL_KILL_SWEEP") != nullptr;
    int last = phase.last;
    if (last == 0) {
        BadDay counting;
        last = counting.CallsOfARestore(phase.point);
        ASSERT_GT(last, 0);
    }
    int killed = 0, cases = 0;
    for (int k = phase.first; k <= last; ++k) {
        // In CI a sample: the first three and last positions and every fifth.
        if (!full && k > phase.first + 2 && k != last && k % 5 != 0) continue;
        BadDay day;
        const bool wasKilled = day.RestoreInChild(phase.point, k);
        killed += wasKilled;
        ++cases;
        const recovery::RecoveryReport report = recovery::RecoverDataFolder(day.data);
        const Whole whole = day.Judge();
        EXPECT_NE(whole, Whole::Mixed) << phase.label << " at " << k;
        EXPECT_FALSE(kuv::platform::RestorePending(day.data)) << phase.label << " at " << k;
        // A kill once the journal is gone leaves nothing to tell: the
        // restore had ended.
        if (wasKilled && whole == Whole::AllNew && report.state != RecoveryState::Nothing) {
            EXPECT_TRUE(recovery::RecoveryToTell(report)) << phase.label << " at " << k;
            EXPECT_NE(recovery::RecoveryMessage(report).find("Relancez votre logiciel !"), std::string::npos);
        }
        if (wasKilled && report.state == RecoveryState::StagingRemoved) {
            EXPECT_EQ(whole, Whole::AllOld);
        }
    }
    EXPECT_GT(killed, 0) << phase.label;
    std::printf("%s: %d cases, %d killed\n", phase.label, cases, killed);
}

INSTANTIATE_TEST_SUITE_P(Steps, KillSweep,
                         ::testing::Values(KillPhase{"each_rename_of_the_placement", FaultPoint::Rename, 1, 0},
                                           KillPhase{"each_flush", FaultPoint::Sync, 1, 0},
                                           KillPhase{"taking_out", FaultPoint::Write, 1, 12}),
                         [](const auto& info) { return std::string(info.param.label); });

// ---- recovery that cannot finish ----

TEST(RestoreRecovery, ReadOnlyAtTheNextStartKeepsTheJournalAndBlocks) {
    BadDay day;
    ASSERT_TRUE(day.RestoreInChild(FaultPoint::Rename, 10));
    ASSERT_TRUE(kuv::platform::RestorePending(day.data));
    {
        // The medium refuses every change at the next start.
        platform::FaultScope faults;
        platform::ArmFault(FaultPoint::Rename, 1, EROFS);
        const recovery::RecoveryReport report = recovery::RecoverDataFolder(day.data);
        EXPECT_EQ(report.state, RecoveryState::CannotFinish);
        EXPECT_FALSE(report.failed.empty());
        const std::string text = recovery::RecoveryMessage(report);
        EXPECT_NE(text.find(day.data), std::string::npos) << text;
        EXPECT_NE(text.find("Avant restauration 2701030905"), std::string::npos) << text;
    }
    std::string reason;
    EXPECT_TRUE(kuv::platform::RestorePending(day.data, &reason));
    EXPECT_NE(reason.find("n'a pas pu être terminée"), std::string::npos) << reason;
    // No second restore over the mixed folder.
    clsZip engine;
    const RestoreOutcome o = RestoreArchive(engine, day.archive, day.data, day.clock.now);
    EXPECT_EQ(o.result, RestoreResult::Blocked);
    EXPECT_EQ(o.detail, reason);
    // Pruning never removes the kept folder the journal still needs.
    for (const char* name : {"Avant restauration 2701040000", "Avant restauration 2701050000",
                             "Avant restauration 2701060000"})
        kuv::platform::CreateFolderPath(day.data + "/" + name);
    PruneKeptFolders(day.data);
    EXPECT_TRUE(kuv::platform::IsFolder(day.data + "/Avant restauration 2701030905"));
    // Once the medium is writable again the next start finishes.
    EXPECT_EQ(recovery::RecoverDataFolder(day.data).state, RecoveryState::Finished);
    EXPECT_EQ(day.Judge(), Whole::AllNew);
    EXPECT_FALSE(kuv::platform::RestorePending(day.data));
}

// The same on a real read-only medium: the data folder bound read-only in a
// private mount namespace, the next start the real program's.
TEST(RestoreRecovery, ReadOnlyMountAtTheNextStartKeepsTheJournal) {
    if (getuid() != 0 || std::system("unshare -m true 2>/dev/null") != 0)
        GTEST_SKIP() << "needs root and unshare for a private read-only mount";
    BadDay day;
    ASSERT_TRUE(day.RestoreInChild(FaultPoint::Rename, 10));
    const auto mixed = day.DataSnapshot();
    const std::string out = day.root + "/next-start.txt";
    const std::string command = "unshare -m sh -c \"mount --bind '" + day.data + "' '" + day.data +
                                "' && mount -o remount,bind,ro '" + day.data + "' && exec '" KUVZIP_BIN_DIR
                                "/kuvzip-restore-bench' --recover '" + day.data + "'\" > '" + out + "' 2>&1";
    const int status = std::system(command.c_str());
    std::string told;
    kuv::platform::ReadWholeFile(out, told);
    if (told.find("mount:") != std::string::npos) GTEST_SKIP() << told;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << told;
    EXPECT_NE(told.find(day.data), std::string::npos) << told;
    EXPECT_NE(told.find("Avant restauration 2701030905"), std::string::npos) << told;
    EXPECT_EQ(day.DataSnapshot(), mixed);
    std::string reason;
    EXPECT_TRUE(kuv::platform::RestorePending(day.data, &reason));
    EXPECT_NE(reason.find("n'a pas pu être terminée"), std::string::npos) << reason;
    // Writable again (the namespace is gone): the next start finishes.
    EXPECT_EQ(recovery::RecoverDataFolder(day.data).state, RecoveryState::Finished);
    EXPECT_EQ(day.Judge(), Whole::AllNew);
}

TEST(RestoreRecovery, AJournalThatDoesNotMatchTheDiskIsNotActedOn) {
    BadDay day;
    ASSERT_TRUE(day.RestoreInChild(FaultPoint::Rename, 1 + 3));  // the journal written, two files moved
    // Its staging folder gone and its moves undone by hand: nothing of it is on the disk.
    std::string journal;
    ASSERT_TRUE(kuv::platform::ReadWholeFile(day.data + "/" + platform::kRestoreJournalName, journal));
    for (const auto& e : kuv::platform::ListFolder(day.data))
        if (e.name.rfind(platform::kRestoreStagingPrefix, 0) == 0) kuv::platform::RemoveTree(day.data + "/" + e.name);
    const auto before = day.DataSnapshot();
    for (const auto& [path, content] : before)
        if (content.rfind("nouveau", 0) == 0) kuv::platform::RemoveFile(day.data + "/" + path);
    const auto untouched = day.DataSnapshot();
    const recovery::RecoveryReport report = recovery::RecoverDataFolder(day.data);
    EXPECT_EQ(report.state, RecoveryState::Unusable);
    EXPECT_EQ(day.DataSnapshot(), untouched);
    EXPECT_TRUE(kuv::platform::RestorePending(day.data));
}

// A restore of chosen files killed at each move of its placement, its kept
// folder's marker lost with the crash: the next start finishes it and the
// kept folder still counts as a partial restore's.
TEST(RestoreRecovery, ChosenFilesKilledDuringThePlacementKeepTheirFolderPartial) {
    for (int k = 2; k <= 5; ++k) {
        BadDay day;
        day.chosen = {0, 2};
        ASSERT_TRUE(day.RestoreInChild(FaultPoint::Rename, k)) << k;
        const std::string kept = day.data + "/Avant restauration 2701030905";
        EXPECT_TRUE(kuv::platform::IsFolder(kept)) << k;
        kuv::platform::RemoveFile(kept + "/" + platform::kPartialRestoreMarker);
        const recovery::RecoveryReport report = recovery::RecoverDataFolder(day.data);
        EXPECT_EQ(report.state, RecoveryState::Finished) << k;
        EXPECT_EQ(day.Judge(), Whole::AllNew) << k;
        EXPECT_EQ(KeptFolderKind(day.data, "Avant restauration 2701030905"), KeptKind::Partial) << k;
        EXPECT_NE(recovery::RecoveryMessage(report).find(kept), std::string::npos) << k;
    }
}

// ---- two processes ----

TEST(RestoreRecovery, ARestoreInProgressIsLeftAloneByAnotherStart) {
    BadDay day;
    pid_t child = 0;
    day.RestoreInChild(FaultPoint::Rename, 6, platform::kFaultPause, &child);
    const std::string journal = day.data + "/" + platform::kRestoreJournalName;
    for (int i = 0; i < 400 && !kuv::platform::PathExists(journal); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the child stops at its 6th rename
    ASSERT_TRUE(kuv::platform::PathExists(journal));
    const auto during = day.DataSnapshot();
    const recovery::RecoveryReport report = recovery::RecoverDataFolder(day.data);
    EXPECT_EQ(report.state, RecoveryState::InUse);
    EXPECT_FALSE(recovery::RecoveryToTell(report));
    EXPECT_EQ(day.DataSnapshot(), during);  // staging, journal and files untouched
    std::string reason;
    EXPECT_TRUE(kuv::platform::RestorePending(day.data, &reason));
    EXPECT_NE(reason.find("est en cours"), std::string::npos) << reason;
    // The window of the second start neither recovers nor tells anything.
    const std::string told = day.NextStart();
    EXPECT_EQ(told, "");
    EXPECT_EQ(day.DataSnapshot(), during);

    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_EQ(recovery::RecoverDataFolder(day.data).state, RecoveryState::Finished);
    EXPECT_EQ(day.Judge(), Whole::AllNew);
}

}  // namespace
}  // namespace kuv::restore::testing

namespace kuv::restore::testing {
namespace {

class RecordingNotifier : public Notifier {
public:
    void Notify(const std::string& summary, const std::string& body) override { sent.emplace_back(summary, body); }
    std::vector<std::pair<std::string, std::string>> sent;
};

struct TellCase {
    const char* label;
    bool unattended;
};

class RecoveryIsTold : public ::testing::TestWithParam<TellCase> {};

// Interactive: form97 in mode 0. Unattended: the notification, never a dialog.
TEST_P(RecoveryIsTold, ByDialogOrNotification) {
    BadDay day;
    ASSERT_TRUE(day.RestoreInChild(FaultPoint::Rename, 12));
    RecordingNotifier notifier;
    const recovery::RecoveryReport report = RecoverAndTell(day.data, GetParam().unattended, &day.dialog, &notifier);
    EXPECT_EQ(report.state, RecoveryState::Finished);
    EXPECT_EQ(day.Judge(), Whole::AllNew);
    const std::string text = recovery::RecoveryMessage(report);
    EXPECT_NE(text.find("Relancez votre logiciel !"), std::string::npos) << text;
    EXPECT_NE(text.find(day.data + "/Avant restauration 2701030905"), std::string::npos) << text;
    if (GetParam().unattended) {
        EXPECT_TRUE(day.dialog.shown.empty());
        ASSERT_EQ(notifier.sent.size(), 1u);
        EXPECT_EQ(notifier.sent[0], std::make_pair(std::string(kNotifyRecovery), text));
    } else {
        EXPECT_TRUE(notifier.sent.empty());
        ASSERT_EQ(day.Messages(), std::vector<std::string>{text});
    }
}

INSTANTIATE_TEST_SUITE_P(Starts, RecoveryIsTold,
                         ::testing::Values(TellCase{"interactive", false}, TellCase{"unattended", true}),
                         [](const auto& info) { return std::string(info.param.label); });

// A crash while the backup was taken out: the staging folder goes, and the
// user reads that nothing changed.
TEST(RestoreRecovery, StagingWithoutJournalIsRemovedAndToldUnchanged) {
    BadDay day;
    ASSERT_TRUE(day.RestoreInChild(FaultPoint::Write, 3));
    const auto before = day.Judge(false);
    EXPECT_EQ(before, Whole::AllOld);
    const std::string told = day.NextStart();
    EXPECT_NE(told.find("n'a rien changé"), std::string::npos) << told;
    EXPECT_EQ(day.Judge(), Whole::AllOld);
}

// Only the program's own leftovers go, and only when nobody holds them.
TEST(RestoreRecovery, LeftoversOfTheProgramOnly) {
    BadDay day;
    const std::string deadPart = ".kuvzip-" + std::to_string(999999999) + "-1.part";
    const std::string livePart = ".kuvzip-" + std::to_string(getpid()) + "-1.part";
    for (const std::string& n : {deadPart, livePart, std::string(".kuvzip-abc"), std::string(".kuvzip-restauration-12"),
                                 std::string("kuvzip-a1b2c3"), std::string(".kuvzip-copie-a1b2c3")})
        WriteFile(day.data + "/" + n, "x");
    const recovery::RecoveryReport report = recovery::RecoverDataFolder(day.data);
    EXPECT_EQ(report.leftoversRemoved, 1);
    EXPECT_FALSE(kuv::platform::PathExists(day.data + "/" + deadPart));
    EXPECT_TRUE(kuv::platform::PathExists(day.data + "/" + livePart));
    EXPECT_TRUE(kuv::platform::PathExists(day.data + "/.kuvzip-abc"));
    EXPECT_TRUE(kuv::platform::PathExists(day.data + "/kuvzip-a1b2c3"));
}

}  // namespace
}  // namespace kuv::restore::testing
