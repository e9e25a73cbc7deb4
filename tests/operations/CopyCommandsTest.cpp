// The copy commands over a job that wrote (or did not write) its archive:
// {NOAT} with {CLOS}, the failures of each target that keep the request and
// the program open, the report of a failed automatic copy, the resolution of
// a folder text. The window's tests drive the buttons end to end.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "OperationsFakes.h"
#include "link/LinkFile.h"
#include "operations/CopyCommands.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace kuv::operations {
namespace {

using testing::AnsweringDialog;
using testing::FakeOperationsView;
using testing::FolderContents;
using testing::ReadFile;
using testing::WriteFile;

class CopyCommandsTest : public ::testing::Test {
protected:
    CopyCommandsTest()
        : machine("kuv-copycmd"),
          commands(CopyContext{settings, dialog, view, clock, pump, machine.folders,
                               [this] { return machine.drives.list; }, machine.work + "/W_intlog.wdo",
                               [this] { return RunJob(); }, [this] { ++quits; }, end,
                               [this](AutomaticCopyNews news, const std::string& text) {
                                   notified.push_back((news == AutomaticCopyNews::Failed ? "failed: " : "incomplete: ") +
                                                      text);
                               }}) {
        settings.dataFolder = "C:\\Appli\\Donnees";
        settings.backupName = "kuvchier";
        clock.now = backup::DateTime{2026, 12, 7, 9, 53, 10, 0};
        desktop = machine.home + "/Bureau";
        platform::CreateFolder(desktop);
        exchange = machine.root + "/echange";
        platform::CreateFolder(exchange);
        // The exchange folder through a drive letter, as the linked application writes it.
        machine.drives.list.push_back({"s: [ECHANGE]", exchange, platform::kDriveRemote, "//serveur/echange"});
    }

    // The data backup job: writes a new archive on the desktop, unless told to fail.
    JobArchive RunJob() {
        ++jobs;
        jobFlags.emplace_back(settings.copyMode, settings.silentMode);
        JobArchive job;
        if (jobFails) return job;
        job.path = desktop + "/kuvchier.zip";
        WriteFile(job.path, "archive " + std::to_string(jobs));
        job.written = true;
        job.warning = jobWarning;
        job.nothingSaved = nothingSaved;
        return job;
    }
    void Request(const std::string& value) {
        WriteLinkValue(kExchangeKey, value, machine.work + "/W_intlog.wdo");
    }
    std::string RequestValue() const {
        return platform::Trim(ReadLinkValue(kExchangeKey, machine.work + "/W_intlog.wdo"));
    }
    std::string LastMessage() const { return dialog.shown.empty() ? "" : dialog.shown.back().first; }

    backup::testing::ScratchMachine machine;
    backup::MainSettings settings;
    AnsweringDialog dialog;
    FakeOperationsView view;
    backup::testing::FakeClock clock;
    backup::testing::FakePump pump;
    testing::FakeEnd end;
    int quits = 0, jobs = 0;
    bool jobFails = false, nothingSaved = false;
    std::string jobWarning;
    std::vector<std::pair<bool, bool>> jobFlags;
    std::vector<std::string> notified;
    std::string desktop, exchange;
    CopyCommands commands;
};

TEST_F(CopyCommandsTest, AutomaticCopyWithNoatAndClosEndsAtOnceSilently) {
    Request("s:\\ex\\{AUTO}{NOAT}{CLOS}");
    platform::CreateFolder(exchange + "/ex");
    settings.exchangeFolder = "s:\\ex\\";
    settings.noFinalMessage = true;
    settings.endAtOnce = true;
    EXPECT_EQ(commands.AutomaticCopy(), CopyResult::Copied);
    EXPECT_TRUE(dialog.shown.empty());
    EXPECT_EQ(end.ends, 1);
    EXPECT_EQ(quits, 0);  // ended at once, not through "Quitter"
    EXPECT_EQ(RequestValue(), "");
    EXPECT_TRUE(settings.copyMode);
    EXPECT_EQ(jobFlags, (std::vector<std::pair<bool, bool>>{{true, true}}));  // copy and silent mode
    EXPECT_TRUE(notified.empty());
    EXPECT_EQ(ReadFile(exchange + "/ex/kuvchier.zip"), "archive 1");
}

// Only this run's backup is copied: a failed job sends nothing, says so even
// with {NOAT}, keeps the request, and (unattended) ends at once for {CLOS}.
TEST_F(CopyCommandsTest, FailedBackupCopiesNothing) {
    Request("s:\\ex\\{AUTO}{NOAT}{CLOS}");
    platform::CreateFolder(exchange + "/ex");
    WriteFile(exchange + "/ex/kuvchier.zip", "last week");
    WriteFile(desktop + "/kuvchier.zip", "an old desktop archive");
    settings.exchangeFolder = "s:\\ex\\";
    settings.noFinalMessage = true;
    settings.endAtOnce = true;
    jobFails = true;
    EXPECT_EQ(commands.AutomaticCopy(), CopyResult::NoBackup);
    ASSERT_EQ(dialog.shown.size(), 1u);
    EXPECT_EQ(dialog.shown[0].first, kNoBackupNoCopy);
    EXPECT_EQ(notified, (std::vector<std::string>{std::string("failed: ") + kNoBackupNoCopy}));
    EXPECT_EQ(view.panel, (std::vector<bool>{false}));
    EXPECT_EQ(FolderContents(exchange + "/ex"), (std::map<std::string, std::string>{{"kuvchier.zip", "last week"}}));
    EXPECT_EQ(RequestValue(), "s:\\ex\\{AUTO}{NOAT}{CLOS}");
    EXPECT_EQ(end.ends, 1);
    EXPECT_EQ(quits, 0);
}

struct FailedTarget {
    const char* name;
    CopyTarget target;
    const char* exchangeFolder;
    const char* shownFolder;  // nullptr: the Dropbox folder
    const char* reason;
};

class CopyFailureTest : public CopyCommandsTest, public ::testing::WithParamInterface<FailedTarget> {};

TEST_P(CopyFailureTest, SaysWhichFolderAndKeepsEverything) {
    Request("s:\\absent\\  {NOAT}");
    settings.exchangeFolder = GetParam().exchangeFolder;
    settings.noFinalMessage = true;
    EXPECT_EQ(commands.Copy(GetParam().target), CopyResult::CopyFailed);
    const std::string shown = GetParam().shownFolder ? GetParam().shownFolder : machine.home + "/Dropbox";
    EXPECT_EQ(LastMessage(), kCopyFailed + platform::Trim(shown) + " : " + GetParam().reason);
    EXPECT_EQ(RequestValue(), "s:\\absent\\  {NOAT}");
    EXPECT_EQ(quits + end.ends, 0);
    EXPECT_TRUE(notified.empty());  // the user pressed the button: told on the window
}

INSTANTIATE_TEST_SUITE_P(
    Targets, CopyFailureTest,
    ::testing::Values(FailedTarget{"NoDropboxFolder", CopyTarget::Dropbox, "", nullptr, "dossier introuvable"},
                      FailedTarget{"MissingExchangeFolder", CopyTarget::Folder, "s:\\absent\\    ", "s:\\absent\\",
                                   "dossier introuvable"},
                      FailedTarget{"UnknownDrive", CopyTarget::OneDrive, "q:\\ex_pc\\", "q:\\ex_pc", "dossier introuvable"},
                      FailedTarget{"EmptyAutomaticFolder", CopyTarget::Folder, "", "", "dossier introuvable"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CopyCommandsTest, AutomaticCopyFailureIsReportedBeyondTheWindow) {
    settings.exchangeFolder = "s:\\absent";
    settings.noFinalMessage = true;
    EXPECT_EQ(commands.AutomaticCopy(), CopyResult::CopyFailed);
    const std::string text = std::string(kCopyFailed) + "s:\\absent : dossier introuvable";
    EXPECT_EQ(notified, (std::vector<std::string>{"failed: " + text}));
    EXPECT_EQ(LastMessage(), text);
}

// A backup that lacks files is still copied, and the lack is told: after the
// final message, instead of it where {NOAT} drops it, and beyond the window
// for an automatic copy, which then ends as usual.
TEST_F(CopyCommandsTest, IncompleteBackupIsCopiedAndSaidSo) {
    const std::string warning = "Sauvegarde terminée, mais 2 fichiers n'ont pas pu être sauvegardés : voir rapport.txt !";
    jobWarning = warning;
    platform::CreateFolder(machine.home + "/Dropbox");
    EXPECT_EQ(commands.Copy(CopyTarget::Dropbox), CopyResult::Copied);
    EXPECT_EQ(LastMessage(), std::string(kCopiedDropbox) + "\n\r" + warning);

    platform::CreateFolder(exchange + "/ex");
    settings.exchangeFolder = "s:\\ex";
    settings.noFinalMessage = true;
    dialog.shown.clear();
    EXPECT_EQ(commands.Copy(CopyTarget::Folder), CopyResult::Copied);
    EXPECT_EQ(LastMessage(), warning);
    EXPECT_TRUE(notified.empty());

    settings.endAtOnce = true;
    dialog.shown.clear();
    EXPECT_EQ(commands.AutomaticCopy(), CopyResult::Copied);
    EXPECT_TRUE(dialog.shown.empty());
    EXPECT_EQ(notified, (std::vector<std::string>{"incomplete: " + warning}));
    EXPECT_EQ(end.ends, 1);
    EXPECT_EQ(ReadFile(exchange + "/ex/kuvchier.zip.sv1"), "archive 2");
}

// A copy that fails leaves copy mode and silent mode as they were before it,
// so that the next data backup goes to the chosen medium with its message;
// after "Zip Mail" copy mode stays, as it does after a good copy.
struct ModesCase {
    const char* name;
    bool zipMailBefore;
    bool jobFails;     // else the target folder is missing
    bool copyMode;     // after the failed copy
};

class FailedCopyModesTest : public CopyCommandsTest, public ::testing::WithParamInterface<ModesCase> {};

TEST_P(FailedCopyModesTest, ModesAreAsBeforeTheCopy) {
    const ModesCase& c = GetParam();
    if (c.zipMailBefore) commands.ZipMail();
    jobFails = c.jobFails;
    settings.exchangeFolder = "s:\\absent";
    for (CopyTarget target : {CopyTarget::Dropbox, CopyTarget::OneDrive, CopyTarget::Folder}) {
        const CopyResult result = commands.Copy(target);
        EXPECT_EQ(result, c.jobFails ? CopyResult::NoBackup : CopyResult::CopyFailed);
        EXPECT_EQ(settings.copyMode, c.copyMode);
        EXPECT_FALSE(settings.silentMode);
    }
    // A good copy keeps both modes for the rest of the run.
    jobFails = false;
    platform::CreateFolder(machine.home + "/Dropbox");
    EXPECT_EQ(commands.Copy(CopyTarget::Dropbox), CopyResult::Copied);
    EXPECT_TRUE(settings.copyMode);
    EXPECT_TRUE(settings.silentMode);
}

INSTANTIATE_TEST_SUITE_P(Failures, FailedCopyModesTest,
                         ::testing::Values(ModesCase{"FolderMissing", false, false, false},
                                           ModesCase{"BackupFailed", false, true, false},
                                           ModesCase{"FolderMissingAfterZipMail", true, false, true},
                                           ModesCase{"BackupFailedAfterZipMail", true, true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// A backup name holding folders writes its copy inside the target folder all
// the same, and the rotation touches nothing outside it.
TEST_F(CopyCommandsTest, BackupNameNeverLeavesTheTargetFolder) {
    platform::CreateFolder(exchange + "/ex");
    WriteFile(exchange + "/notes.zip", "a user's file");
    WriteFile(exchange + "/notes.zip.sv1", "another");
    WriteFile(exchange + "/notes.zip.sv2", "a third");
    settings.exchangeFolder = "s:\\ex";
    settings.backupName = "../notes";
    for (int run = 0; run < 3; ++run) ASSERT_EQ(commands.Copy(CopyTarget::Folder), CopyResult::Copied);
    EXPECT_EQ(ReadFile(exchange + "/notes.zip"), "a user's file");
    EXPECT_EQ(ReadFile(exchange + "/notes.zip.sv1"), "another");
    EXPECT_EQ(ReadFile(exchange + "/notes.zip.sv2"), "a third");
    EXPECT_EQ(ReadFile(exchange + "/ex/.._notes.zip"), "archive 3");
    EXPECT_EQ(ReadFile(exchange + "/ex/.._notes.zip.sv2"), "archive 1");
    EXPECT_EQ(view.copyName, "Nom : .._notes.zip");
}

// Each failure of a copy gives its reason.
TEST(CopyFailureReasonTest, EachFailureSaysWhy) {
    const std::vector<std::pair<CopyOutcome, std::string>> cases{
        {{CopyFailure::FolderMissing, ENOENT}, "dossier introuvable"},
        {{CopyFailure::NotWritable, EACCES}, "écriture refusée dans ce dossier"},
        {{CopyFailure::NotWritable, EROFS}, "support en lecture seule"},
        {{CopyFailure::WriteFailed, ENOSPC}, "support plein"},
        {{CopyFailure::WriteFailed, EDQUOT}, "support plein"},
        {{CopyFailure::WriteFailed, EIO}, "erreur d'écriture sur le support"},
        {{CopyFailure::ReadBackMismatch, EIO}, "la copie ne se relit pas à l'identique"},
        {{CopyFailure::RenameFailed, EXDEV}, "la copie n'a pas pu être mise en place"},
        {{CopyFailure::SourceUnreadable, ENOENT}, "la sauvegarde du bureau ne peut pas être lue"},
    };
    for (const auto& [outcome, reason] : cases) EXPECT_EQ(CopyFailureReason(outcome), reason) << reason;
}

// A backup that kept no file says there was nothing to copy, not that the
// backup failed; "Zip Mail" names its file; "Attribuer repertoire" says what
// it recorded.
TEST_F(CopyCommandsTest, MessagesSayWhatHappened) {
    platform::CreateFolder(machine.home + "/Dropbox");
    nothingSaved = true;
    EXPECT_EQ(commands.Copy(CopyTarget::Dropbox), CopyResult::NoBackup);
    EXPECT_EQ(LastMessage(), kNothingToCopy);
    EXPECT_TRUE(FolderContents(machine.home + "/Dropbox").empty());

    nothingSaved = false;
    commands.ZipMail();
    EXPECT_EQ(LastMessage(), kZipMailReady + desktop + "/kuvchier.zip");

    commands.RequestExchangeFolder();
    EXPECT_EQ(LastMessage(), std::string(kExchangeRecorded) + "s:\\ex_pc\\ !");
    EXPECT_EQ(RequestValue(), kExchangeRequest);
}

TEST_F(CopyCommandsTest, TrailingBlanksAreDroppedWhenResolving) {
    EXPECT_EQ(ResolveFolderText("s:\\ex_pc\\    ", machine.drives.list), exchange + "/ex_pc/");
    EXPECT_EQ(ResolveFolderText("/srv/echange  ", machine.drives.list), "/srv/echange");
    EXPECT_EQ(ResolveFolderText("q:\\x", machine.drives.list), "");
    EXPECT_EQ(ResolveFolderText("   ", machine.drives.list), "");
}

}  // namespace
}  // namespace kuv::operations
