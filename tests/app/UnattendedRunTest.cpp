// The real program kuvzip, started headless as the linked application starts
// it: a scratch working folder with its own HOME and XDG_CONFIG_HOME, a
// Kuv-Zip.ini and a link file W_intlog.wdo holding a request. The program
// must do the backup and end by itself.

#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <string>

#include "link/LinkFile.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "zip/clsZip.h"

namespace {

void Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray Read(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

class UnattendedRun : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(scratch.isValid());
        const QString root = scratch.path();
        home = root + "/home";
        work = root + "/work";
        config = root + "/config";
        data = home + "/Compta/Données";
        for (const QString& dir : {home, work, config, data, root + "/run"}) ASSERT_TRUE(QDir().mkpath(dir));
        QFile::setPermissions(root + "/run", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        // The desktop of a French account, not created yet.
        Write(config + "/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/Bureau\"\n");
        Write(data + "/grand-livre.dat", QByteArray(50000, 'g'));
        Write(data + "/clients.csv", "Dupont;Lyon\r\n");
        Write(data + "/vide.dat", "");
        // Line 1 through drive c: (the home folder), in the linked application's vocabulary.
        ini = QByteArray("C:\\Compta\\Donn\xE9" "es\r\nE:\r\n#L#/bin/false\r\n\r\n");
        Write(work + "/Kuv-Zip.ini", ini);
    }

    std::string LinkPath() const { return (work + "/W_intlog.wdo").toStdString(); }
    void SetLink(const std::string& key, const std::string& value) {
        ASSERT_TRUE(kuv::WriteLinkValue(key, value, LinkPath()));
    }
    std::string Link(const std::string& key) const { return kuv::platform::Trim(kuv::ReadLinkValue(key, LinkPath())); }

    // The program set up to start in the scratch working folder, headless.
    void Prepare(QProcess& program) {
        program.setProgram(QString::fromUtf8(KUVZIP_BIN_DIR) + "/kuvzip");
        program.setWorkingDirectory(work);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home);
        env.insert("XDG_CONFIG_HOME", config);
        env.insert("XDG_RUNTIME_DIR", scratch.path() + "/run");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    }

    // Runs the program to its end (or the time limit); the exit code, -1
    // when it did not end by itself. Its error output is kept in errors.
    int Run(int limitMs = 60000) {
        QProcess program;
        Prepare(program);
        QElapsedTimer clock;
        clock.start();
        program.start();
        if (!program.waitForStarted(10000)) return -2;
        const bool ended = program.waitForFinished(limitMs);
        if (!ended) {
            program.kill();
            program.waitForFinished();
        }
        errors = program.readAllStandardError();
        std::fputs(errors.constData(), stderr);
        if (!ended) return -1;
        seconds = clock.elapsed() / 1000.0;
        return program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -3;
    }

    QTemporaryDir scratch;
    QString home, work, config, data;
    QByteArray ini;
    QByteArray errors;
    double seconds = 0;
};

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

// A request that fails stays open with the failure shown, and is not
// marked as served: the linked application can ask again.
TEST_F(UnattendedRun, FailedRequestStaysOpenAndIsNotCleared) {
    ASSERT_TRUE(QDir(data).removeRecursively());
    SetLink("SAVAUT56", "NOSIG");
    SetLink("NOMFICATO", "Compta{D}X");

    EXPECT_EQ(Run(12000), -1);  // still open after 12 seconds

    EXPECT_FALSE(QDir(home + "/Bureau").exists() &&
                 !QDir(home + "/Bureau").entryList({"*.zip"}, QDir::Files).isEmpty());
    EXPECT_EQ(Link("SAVAUT56"), "NOSIG");
    EXPECT_EQ(Read(work + "/Kuv-Zip.ini"), ini);
}

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
