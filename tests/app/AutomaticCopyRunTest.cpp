// The real program serving the linked application's automatic copy to its
// exchange folder ("RES2Z4IU4" = folder + {AUTO}{NOAT}{CLOS}): it backs up,
// copies into the folder keeping three generations, clears the request and
// ends by itself; on a full medium it leaves the generations as they were,
// keeps the request and stays open.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QThread>

#include <map>
#include <string>

#include "ProgramRun.h"
#include "operations/ProgramRestoreJournal.h"
#include "zip/clsZip.h"

namespace {

using kuv::apptest::Read;
using kuv::apptest::UnattendedRun;
using kuv::apptest::Write;

// The request as the linked application writes it: the exchange folder on
// drive c: (the home folder), within the link file's 40 characters.
constexpr const char* kRequest = "c:\\ex\\{AUTO}{NOAT}{CLOS}";

class AutomaticCopyRun : public UnattendedRun {
protected:
    void SetUp() override {
        UnattendedRun::SetUp();
        exchange = home + "/ex";
        ASSERT_TRUE(QDir().mkpath(exchange));
    }
    void TearDown() override {
        if (mounted) umount2(exchange.toStdString().c_str(), MNT_DETACH);
    }
    std::map<QString, QByteArray> Exchange() const {
        std::map<QString, QByteArray> files;
        for (const QString& name : QDir(exchange).entryList(QDir::Files | QDir::Hidden | QDir::System))
            files[name] = Read(exchange + "/" + name);
        return files;
    }
    // The size the archive holds for grand-livre.dat.
    static qint64 LedgerSize(const QString& archive) {
        clsZip zip;
        if (!zip.ZipOpen(archive.toStdString()) || !zip.TestAllFiles()) return -1;
        qint64 size = -1;
        for (int i = 1; i <= zip.inFileCount(); ++i)
            if (zip.inFileName(i) == "grand-livre.dat") size = zip.FileUncompressedSize(i);
        zip.ZipClose();
        return size;
    }

    QString exchange;
    bool mounted = false;
};

TEST_F(AutomaticCopyRun, ThreeRequestsGiveThreeGenerationsAndEndByThemselves) {
    const qint64 sizes[3] = {50000, 60000, 70000};
    for (int run = 0; run < 3; ++run) {
        Write(data + "/grand-livre.dat", QByteArray(static_cast<int>(sizes[run]), 'g'));
        SetLink("RES2Z4IU4", kRequest);
        ASSERT_EQ(Run(), 0) << "run " << run;
        EXPECT_EQ(Link("RES2Z4IU4"), "") << "run " << run;
        // {CLOS}: ended at once, Kuv-Zip.ini not rewritten.
        EXPECT_EQ(Read(work + "/Kuv-Zip.ini"), ini);
    }
    const auto files = Exchange();
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(LedgerSize(exchange + "/kuvchier.zip"), sizes[2]);
    EXPECT_EQ(LedgerSize(exchange + "/kuvchier.zip.sv1"), sizes[1]);
    EXPECT_EQ(LedgerSize(exchange + "/kuvchier.zip.sv2"), sizes[0]);
    // The newest copy is the desktop archive the last run wrote.
    EXPECT_EQ(files.at("kuvchier.zip"), Read(home + "/Bureau/kuvchier.zip"));
    const QByteArray info = files.at("Info_sv_compta.txt");
    EXPECT_TRUE(info.startsWith("Sauvegarde du : ")) << info.toStdString();
    EXPECT_TRUE(info.endsWith(" - Dossier : kuvchier\r\n")) << info.toStdString();
    EXPECT_EQ(info.size(), 47 + 8 + 2);
    EXPECT_EQ(info.mid(27, 1), QByteArray("\xE0"));  // "à" in Windows-1252
}

// A restore of the program files a crash stopped, found in the working
// folder (the installation folder) as an automatic copy starts: it is rolled
// back and told by the desktop's notification and the log, never by a dialog
// that nobody would close; the copy goes on and the run ends by itself.
TEST_F(AutomaticCopyRun, AStoppedProgramRestoreIsToldWithoutADialog) {
    const std::string install = work.toStdString();
    Write(work + "/outil.exe", "restored");
    Write(work + "/.kuvzip-copie-Ab12Cd", "old");
    kuv::operations::JournalPair pair{"outil.exe", ".kuvzip-copie-Ab12Cd", true};
    ASSERT_TRUE(kuv::operations::Fingerprint(install + "/outil.exe", pair));
    ASSERT_TRUE(kuv::operations::RestoreJournal().Write(install, {pair}));
    SetLink("RES2Z4IU4", kRequest);
    ASSERT_EQ(Run(30000), 0);
    EXPECT_EQ(Read(work + "/outil.exe"), "old");
    EXPECT_FALSE(QFile::exists(work + "/.kuvzip-copie-Ab12Cd"));
    EXPECT_FALSE(kuv::operations::RestoreJournalPresent(install));
    EXPECT_TRUE(errors.contains("Restauration des programmes interrompue")) << errors.constData();
    EXPECT_EQ(Link("RES2Z4IU4"), "");
    EXPECT_TRUE(QFile::exists(exchange + "/kuvchier.zip"));
}

// Without {CLOS} the copy ends through "Quitter": Kuv-Zip.ini is rewritten
// and the linked program started.
TEST_F(AutomaticCopyRun, WithoutClosTheCopyQuits) {
    SetLink("RES2Z4IU4", "c:\\ex\\{AUTO}{NOAT}");
    ASSERT_EQ(Run(), 0);
    EXPECT_EQ(Link("RES2Z4IU4"), "");
    EXPECT_TRUE(QFile::exists(exchange + "/kuvchier.zip"));
    EXPECT_TRUE(QFile::exists(exchange + "/Info_sv_compta.txt"));
    EXPECT_TRUE(QFile::exists(work + "/Kuv-Zip.ini"));
}

// A full exchange medium: the copy fails; the generations already there and
// the information file are left byte for byte, no temporary file remains,
// the request stays; the failure shown closes by itself and the program ends
// ({CLOS}: at once).
TEST_F(AutomaticCopyRun, FullMediumLeavesTheGenerationsAndTheRequest) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
    if (mount("tmpfs", exchange.toStdString().c_str(), "tmpfs", 0, "size=256k") != 0) {
        GTEST_SKIP() << "mounting a tmpfs is refused here";
    }
    mounted = true;
    Write(exchange + "/kuvchier.zip", "generation 1");
    Write(exchange + "/kuvchier.zip.sv1", "generation 2");
    Write(exchange + "/kuvchier.zip.sv2", "generation 3");
    Write(exchange + "/Info_sv_compta.txt", "Sauvegarde du : 01/12/2026 \xE0 08:00 - Dossier : kuvchier\r\n");
    {
        // The rest of the medium filled up.
        QFile filler(exchange + "/remplissage.bin");
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
    }
    // Data that does not compress, so that the archive needs room.
    QByteArray noise(200000, '\0');
    for (char& c : noise) c = static_cast<char>(QRandomGenerator::global()->generate());
    Write(data + "/scan.bin", noise);
    const auto before = Exchange();
    SetLink("RES2Z4IU4", kRequest);
    adjustEnvironment = [](QProcessEnvironment& env) { env.insert("KUVZIP_UNATTENDED_DIALOG_MS", "300"); };

    EXPECT_EQ(Run(20000), 0);
    EXPECT_EQ(Read(work + "/Kuv-Zip.ini"), ini);

    EXPECT_EQ(Exchange(), before);
    EXPECT_EQ(Link("RES2Z4IU4"), kRequest);
    // The backup itself was made on the desktop; only its copy failed.
    EXPECT_GT(LedgerSize(home + "/Bureau/kuvchier.zip"), 0);
}

// An automatic copy whose folder is missing or whose backup fails: the
// failure closes by itself, the request stays, and the program ends as after
// a good copy: at once with {CLOS}, else through "Quitter" (Kuv-Zip.ini
// written back, the linked program started).
struct FailedCopyCase {
    const char* name;
    const char* request;
    bool dataMissing;  // else the exchange folder is missing
    bool quits;        // through "Quitter"
};

class FailedCopyRun : public AutomaticCopyRun, public ::testing::WithParamInterface<FailedCopyCase> {};

TEST_P(FailedCopyRun, EndsByItselfAndKeepsTheRequest) {
    const FailedCopyCase& c = GetParam();
    if (c.dataMissing) {
        ASSERT_TRUE(QDir(data).removeRecursively());
    } else {
        ASSERT_TRUE(QDir(exchange).removeRecursively());
    }
    SetLink("RES2Z4IU4", c.request);
    // The linked program leaves a mark when "Quitter" starts it.
    const QString mark = work + "/lance.txt";
    ini = QByteArray("C:\\Compta\\Donn\xE9" "es\r\nE:\r\n#L#/bin/touch ") + mark.toUtf8() + "\r\n\r\n";
    Write(work + "/Kuv-Zip.ini", ini);
    adjustEnvironment = [](QProcessEnvironment& env) { env.insert("KUVZIP_UNATTENDED_DIALOG_MS", "300"); };

    ASSERT_EQ(Run(20000), 0);

    EXPECT_EQ(Link("RES2Z4IU4"), c.request);
    EXPECT_TRUE(errors.contains("closes by itself")) << errors.constData();
    for (int i = 0; i < 40 && c.quits && !QFile::exists(mark); ++i) QThread::msleep(50);
    EXPECT_EQ(QFile::exists(mark), c.quits);
    EXPECT_FALSE(QFile::exists(exchange + "/kuvchier.zip"));
}

INSTANTIATE_TEST_SUITE_P(
    Failures, FailedCopyRun,
    ::testing::Values(FailedCopyCase{"FolderMissingClos", "c:\\ex\\{AUTO}{NOAT}{CLOS}", false, false},
                      FailedCopyCase{"FolderMissingQuits", "c:\\ex\\{AUTO}{NOAT}", false, true},
                      FailedCopyCase{"BackupFailedClos", "c:\\ex\\{AUTO}{CLOS}", true, false},
                      FailedCopyCase{"BackupFailedQuits", "c:\\ex\\{AUTO}", true, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
