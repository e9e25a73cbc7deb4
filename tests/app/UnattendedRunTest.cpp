// The real program kuvzip, started headless as the linked application starts
// it: a scratch working folder with its own HOME and XDG_CONFIG_HOME, a
// Kuv-Zip.ini and a link file W_intlog.wdo holding a request. The program
// must do the backup and end by itself.

#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <string>

#include "ProgramRun.h"
#include "platform/Files.h"
#include "zip/clsZip.h"

namespace {

using kuv::apptest::Read;
using kuv::apptest::UnattendedRun;

TEST_F(UnattendedRun, DesktopRequestBacksUpClearsTheRequestAndEnds) {
    SetLink("Dern:SAV:MAN", "01/01/2027 à 10:00:46388");
    SetLink("SAVAUT56", "NOSIG");
    SetLink("NOMFICATO", "Compta{D}X");
    SetLink("nom_zip_s", "Compta");
    const QDate day = QDate::currentDate();

    ASSERT_EQ(Run(), 0);
    EXPECT_LT(seconds, 30.0);

    QString archive = home + "/Bureau/Compta_" + day.toString("ddMMyy") + ".zip";
    if (!QFile::exists(archive)) archive = home + "/Bureau/Compta_" + QDate::currentDate().toString("ddMMyy") + ".zip";
    ASSERT_TRUE(QFile::exists(archive)) << archive.toStdString();
    clsZip zip;
    ASSERT_TRUE(zip.ZipOpen(archive.toStdString()));
    ASSERT_EQ(zip.inFileCount(), 2);
    EXPECT_EQ(zip.inFileName(1), "clients.csv");
    EXPECT_EQ(zip.inFileName(2), "grand-livre.dat");
    EXPECT_TRUE(zip.TestAllFiles());
    zip.ZipClose();

    // The request is served once; the record and the configuration are left alone.
    EXPECT_EQ(Link("SAVAUT55"), "");
    EXPECT_EQ(Link("SAVAUT56"), "");
    EXPECT_EQ(Link("nom_zip_s"), "");
    EXPECT_EQ(Link("NOMFICATO"), "Compta{D}X");
    EXPECT_EQ(Link("Dern:SAV:MAN"), "01/01/2027 à 10:00:46388");
    EXPECT_FALSE(QFile::exists(work + "/dernkuvp.txt"));
    EXPECT_EQ(Read(work + "/Kuv-Zip.ini"), ini);
    const QByteArray report = Read(work + "/rapport.txt");
    EXPECT_TRUE(report.contains("OK  > grand-livre.dat\r\n"));
    EXPECT_TRUE(report.contains("Non - vide.dat\r\n"));
    EXPECT_TRUE(report.contains("2 fichiers sauvegard\xE9s\r\n"));
}

// A request that fails shows its failure, which closes by itself (shortened
// here from its 30 seconds), then the program ends as a served request
// would: the request stays in the link file for the next start, and the
// linked application waiting for the program goes on.
struct FailedRequestCase {
    const char* name;
    const char* key;
    const char* value;
};

class FailedRequestRun : public UnattendedRun, public ::testing::WithParamInterface<FailedRequestCase> {};

TEST_P(FailedRequestRun, EndsByItselfAndKeepsTheRequest) {
    ASSERT_TRUE(QDir(data).removeRecursively());
    SetLink(GetParam().key, GetParam().value);
    SetLink("NOMFICATO", "Compta{D}X");
    adjustEnvironment = [](QProcessEnvironment& env) { env.insert("KUVZIP_UNATTENDED_DIALOG_MS", "300"); };

    ASSERT_EQ(Run(20000), 0);

    EXPECT_LT(seconds, 15.0);
    EXPECT_TRUE(errors.contains("closes by itself")) << errors.constData();
    EXPECT_FALSE(QDir(home + "/Bureau").exists() &&
                 !QDir(home + "/Bureau").entryList({"*.zip"}, QDir::Files).isEmpty());
    EXPECT_EQ(Link(GetParam().key), GetParam().value);
    EXPECT_EQ(Read(work + "/Kuv-Zip.ini"), ini);
}

INSTANTIATE_TEST_SUITE_P(Requests, FailedRequestRun,
                         ::testing::Values(FailedRequestCase{"Desktop", "SAVAUT56", "NOSIG"},
                                           FailedRequestCase{"DiskC", "SAVAUT55", "OUI"}),
                         [](const auto& info) { return std::string(info.param.name); });

// One program per working folder. A second start finds the first: for a
// request it ends at once with status 1 and touches nothing, so that the
// request stays; by hand it says so and opens no second window. Once the
// first is gone, even killed, the next start runs.
TEST_F(UnattendedRun, ASecondStartInTheSameFolderLeavesTheFirstAlone) {
    QProcess first;
    Prepare(first);
    first.start();
    ASSERT_TRUE(first.waitForStarted(10000));
    // The first is up once it has served the one-start name.
    SetLink("nom_zip_s", "Premier");
    for (int i = 0; i < 200 && Link("nom_zip_s") != ""; ++i) QThread::msleep(50);
    ASSERT_EQ(Link("nom_zip_s"), "");

    SetLink("SAVAUT56", "NOSIG");
    SetLink("nom_zip_s", "Compta");
    const QByteArray linkBefore = Read(work + "/W_intlog.wdo");
    EXPECT_EQ(Run(10000), 1);
    EXPECT_LT(seconds, 5.0);
    EXPECT_TRUE(errors.contains("d\xC3\xA9j\xC3\xA0 ouvert")) << errors.constData();
    EXPECT_EQ(Read(work + "/W_intlog.wdo"), linkBefore);  // the request stays, nom_zip_s too
    EXPECT_FALSE(QDir(home + "/Bureau").exists());
    EXPECT_EQ(Read(work + "/Kuv-Zip.ini"), ini);
    EXPECT_FALSE(QFile::exists(work + "/rapport.txt"));

    // By hand: the message, and no startup of a second window (which would
    // serve the one-start name).
    SetLink("SAVAUT56", " ");
    EXPECT_EQ(Run(4000), -1);  // waiting on "Kuv-Zip est déjà ouvert !"
    EXPECT_TRUE(errors.contains("d\xC3\xA9j\xC3\xA0 ouvert")) << errors.constData();
    EXPECT_EQ(Link("nom_zip_s"), "Compta");

    // The first crashes: its lock is taken over and the request is served.
    first.kill();
    first.waitForFinished();
    ASSERT_TRUE(QFile::exists(work + "/Kuv-Zip.lock"));
    SetLink("SAVAUT56", "NOSIG");
    SetLink("NOMFICATO", "Compta{D}X");
    ASSERT_EQ(Run(), 0);
    EXPECT_EQ(Link("SAVAUT56"), "");
    EXPECT_FALSE(QDir(home + "/Bureau").entryList({"Compta_*.zip"}, QDir::Files).isEmpty());
}

}  // namespace
