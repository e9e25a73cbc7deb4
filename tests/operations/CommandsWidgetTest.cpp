// The main window's other commands driven as a user drives them: the copy
// buttons against scratch ~/Dropbox, ~/OneDrive and exchange folders (first,
// second and third copy), the request "Attribuer repertoire" writes and the
// next start that serves it, Timer3, the failures, the program files and
// "Zip Mail" followed by "Sauvegarder les DONNEES".
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <map>
#include <memory>
#include <string>

#include "OperationsFakes.h"
#include "operations/CopyCommands.h"
#include "operations/ProgramFiles.h"
#include "platform/Text.h"
#include "restore/BackupListing.h"
#include "tests/ui/QtTestApp.h"
#include "tests/mainwindow/MainWindowEnvironmentFake.h"
#include "zip/clsZip.h"

namespace kuv::operations {
namespace {

using backup::testing::ReadFile;
using backup::testing::WindowFixture;
using backup::testing::WriteFile;
using testing::FolderContents;

using kuv::testing::EnsureApp;

// The size of one member of an archive, -1 when it does not read back.
long MemberSize(const std::string& archive, const std::string& member) {
    clsZip zip;
    if (!zip.ZipOpen(archive) || !zip.TestAllFiles()) return -1;
    long size = -1;
    for (int i = 1; i <= zip.inFileCount(); ++i)
        if (zip.inFileName(i) == member) size = zip.FileUncompressedSize(i);
    zip.ZipClose();
    return size;
}

class CommandsWidgetTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApp();
        WriteFile(f.data + "/compta.dat", std::string(1000, 'c'));
        WriteFile(f.data + "/Clients.csv", "Dupont;Lyon\r\n");
        f.WriteIni("C:\\Appli\\Donnees\r\nE:\r\n\r\n\r\n");
        exchange = f.root + "/echange";
        platform::CreateFolder(exchange);
        f.drives.list.push_back({"s: [ECHANGE]", exchange, platform::kDriveRemote, "//serveur/echange"});
    }

    kuvzipf1& Window() {
        if (!window) {
            window = std::make_unique<kuvzipf1>(backup::testing::FakeEnvironment(f));
            window->Load();
            window->show();
        }
        return *window;
    }
    void Restart() {
        window.reset();
        f.dialog.shown.clear();
    }
    template <typename T>
    T* Find(const char* name) {
        T* w = Window().findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void Click(const char* button) { Find<QPushButton>(button)->click(); }
    // The timer fires now (its handler runs to its end before this returns).
    static void Fire(QTimer* timer) {
        timer->start(0);
        EXPECT_TRUE(QTest::qWaitFor([timer] { return !timer->isActive(); }, 10000));
    }
    std::string LastMessage() const { return f.dialog.shown.empty() ? "" : f.dialog.shown.back().text; }
    std::string Desktop() const { return f.home + "/Bureau/kuvchier.zip"; }

    WindowFixture f;
    std::string exchange;
    std::unique_ptr<kuvzipf1> window;
};

TEST_F(CommandsWidgetTest, EveryCommandIsShownWithItsCaptionTooltipAndPicture) {
    Window();
    struct Button {
        const char* name;
        const char* caption;
        const char* tip;
    };
    const Button buttons[] = {
        {"Command8", "Drop-Box", kDropboxTip},
        {"Command9", "OneDrive", kOneDriveTip},
        {"Command11", "Dossier", kFolderTip},
        {"Command10", "Attribuer repertoire", ""},
        {"Command4", "Zip Mail", kZipMailTip},
        {"Command6", "Sauvegarder les PROGRAMMES", kProgramButtonTip},
        {"Command7", "Restaurer l'ancienne Version", kProgramButtonTip},
    };
    for (const Button& b : buttons) {
        QPushButton* button = Find<QPushButton>(b.name);
        EXPECT_TRUE(button->isVisible()) << b.name;
        EXPECT_EQ(button->text(), QString::fromUtf8(b.caption)) << b.name;
        EXPECT_EQ(button->toolTip(), QString::fromUtf8(b.tip)) << b.name;
        EXPECT_FALSE(button->icon().isNull()) << b.name;
        EXPECT_EQ(button->accessibleName(), QString::fromUtf8(b.caption)) << b.name;
    }
    EXPECT_FALSE(Find<QPushButton>("Command11")->isEnabled());  // no exchange folder requested
    EXPECT_TRUE(Find<QListWidget>("File2")->isVisible());
    EXPECT_TRUE(Find<QListWidget>("File3")->isVisible());
    EXPECT_TRUE(Find<QLabel>("Label17")->text().isEmpty());
    EXPECT_FALSE(Find<QWidget>("Frame1")->isVisible());
}

TEST_F(CommandsWidgetTest, DropBoxFirstSecondAndThirdCopy) {
    const std::string dropbox = f.home + "/Dropbox";
    platform::CreateFolder(dropbox);
    std::string archives[3];
    for (int i = 0; i < 3; ++i) {
        WriteFile(f.data + "/compta.dat", std::string(1000 * (i + 1), 'c'));
        Click("Command8");
        EXPECT_EQ(LastMessage(), kCopiedDropbox) << i;
        EXPECT_EQ(f.end.ends, i + 1);  // quit after each copy
        archives[i] = ReadFile(Desktop());
    }
    const auto files = FolderContents(dropbox);
    EXPECT_EQ(files.size(), 4u);
    EXPECT_EQ(files.at("kuvchier.zip"), archives[2]);
    EXPECT_EQ(files.at("kuvchier.zip.sv1"), archives[1]);
    EXPECT_EQ(files.at("kuvchier.zip.sv2"), archives[0]);
    EXPECT_EQ(MemberSize(dropbox + "/kuvchier.zip.sv2", "compta.dat"), 1000);
    EXPECT_EQ(files.at("Info_sv_appli.txt"), "Sauvegarde du : 03/01/2027 \xE0 09:05 - Dossier : kuvchier\r\n");
    // The restore window's cloud mode finds the copy through that line.
    const std::string line = platform::SplitLines(platform::DecodeTextFile(files.at("Info_sv_appli.txt"))).at(0);
    EXPECT_EQ(restore::ArchiveNameOfList2Entry(restore::List2Entry(line, "Info_sv_appli.txt")), "kuvchier.zip");
    EXPECT_EQ(Find<QLabel>("Label17")->text(), "Nom : kuvchier.zip");
    // The copy ran the job in copy and silent mode: no medium archive, no
    // "Sauvegarde terminée !", no last-backup record.
    EXPECT_FALSE(platform::PathExists(f.medium + "/S_c_appli_donnees/KuvSav-2701030905.zip"));
    for (const auto& shown : f.dialog.shown) EXPECT_NE(shown.text, "Sauvegarde terminée !");
    EXPECT_FALSE(platform::PathExists(f.work + "/dernkuvp.txt"));
}

TEST_F(CommandsWidgetTest, OneDriveWithoutExchangeFolder) {
    platform::CreateFolder(f.home + "/OneDrive");
    Click("Command9");
    EXPECT_EQ(LastMessage(), kCopiedOneDrive);
    EXPECT_EQ(ReadFile(f.home + "/OneDrive/kuvchier.zip"), ReadFile(Desktop()));
    EXPECT_TRUE(platform::IsRegularFile(f.home + "/OneDrive/Info_sv_appli.txt"));
    EXPECT_EQ(f.end.ends, 1);
}

// "Attribuer repertoire" writes the request; the next start shows
// "Transfert", the exchange folder with its four trailing blanks, and serves
// the request by itself through Timer3; "Transfert" pressed by hand copies
// there too and clears the request.
TEST_F(CommandsWidgetTest, AttribuerRepertoireThenTheNextStartServesIt) {
    Click("Command10");
    EXPECT_EQ(f.Link("RES2Z4IU4"), "s:\\ex_pc\\  {AUTO}  {NOAT}");
    EXPECT_EQ(LastMessage(), std::string(kExchangeRecorded) + "s:\\ex_pc\\ !");
    f.dialog.shown.clear();
    EXPECT_EQ(f.end.ends, 0);

    Restart();
    platform::CreateFolder(exchange + "/ex_pc");
    Window();
    EXPECT_EQ(Find<QPushButton>("Command9")->text(), "Transfert");
    EXPECT_EQ(Find<QPushButton>("Command9")->toolTip(), "Transfert avec Korrin");
    EXPECT_EQ(Find<QLabel>("Label18")->text(), "s:\\ex_pc\\    ");
    EXPECT_TRUE(Find<QPushButton>("Command11")->isEnabled());
    EXPECT_TRUE(Find<QWidget>("Frame1")->isVisible());
    QTimer* timer3 = Find<QTimer>("Timer3");
    ASSERT_TRUE(timer3->isActive());
    Fire(timer3);
    // {NOAT}: no message; no {CLOS}: ended through "Quitter".
    EXPECT_TRUE(f.dialog.shown.empty());
    EXPECT_EQ(f.end.ends, 1);
    EXPECT_FALSE(f.Ini().empty());
    EXPECT_EQ(f.Link("RES2Z4IU4"), "");
    EXPECT_EQ(ReadFile(exchange + "/ex_pc/kuvchier.zip"), ReadFile(Desktop()));
    EXPECT_TRUE(platform::IsRegularFile(exchange + "/ex_pc/Info_sv_appli.txt"));

    // The same request again, and "Transfert" by hand: a second generation.
    f.SetLink("RES2Z4IU4", "s:\\ex_pc\\  {AUTO}  {NOAT}");
    Restart();
    Window();
    Find<QTimer>("Timer3")->stop();
    WriteFile(f.data + "/compta.dat", "autre contenu");
    Click("Command9");
    EXPECT_EQ(LastMessage(), kCopiedExchange);  // shown even with {NOAT}
    EXPECT_EQ(f.Link("RES2Z4IU4"), "");
    EXPECT_EQ(FolderContents(exchange + "/ex_pc").size(), 3u);
    EXPECT_EQ(MemberSize(exchange + "/ex_pc/kuvchier.zip", "compta.dat"), 13);
    EXPECT_EQ(MemberSize(exchange + "/ex_pc/kuvchier.zip.sv1", "compta.dat"), 1000);
    EXPECT_FALSE(platform::PathExists(f.home + "/OneDrive"));
}

TEST_F(CommandsWidgetTest, DossierCopiesToThePreProgrammedFolder) {
    f.SetLink("RES2Z4IU4", "s:\\dossier");
    platform::CreateFolder(exchange + "/dossier");
    Window();
    EXPECT_FALSE(Find<QTimer>("Timer3")->isActive());  // no {AUTO}
    Click("Command11");
    EXPECT_EQ(LastMessage(), std::string(kCopiedFolder) + "s:\\dossier");
    EXPECT_EQ(f.Link("RES2Z4IU4"), "");
    EXPECT_TRUE(platform::IsRegularFile(exchange + "/dossier/kuvchier.zip"));
    EXPECT_EQ(f.end.ends, 1);
}

// A failed copy is said and leaves the exchange folder as it was and the
// request in place; a copy by hand keeps the program open, the automatic
// copy ends it once its message has closed by itself.
TEST_F(CommandsWidgetTest, FailedCopiesAreSaidAndKeepTheProgramOpen) {
    Window();
    Click("Command8");  // no ~/Dropbox
    EXPECT_EQ(LastMessage(), std::string(kCopyFailed) + f.home + "/Dropbox : dossier introuvable");
    Click("Command9");  // no ~/OneDrive
    EXPECT_EQ(LastMessage(), std::string(kCopyFailed) + f.home + "/OneDrive : dossier introuvable");
    EXPECT_EQ(f.end.ends, 0);

    f.SetLink("RES2Z4IU4", "s:\\absent\\{AUTO}{NOAT}{CLOS}");
    Restart();
    Window();
    QTimer* timer3 = Find<QTimer>("Timer3");
    Fire(timer3);
    EXPECT_EQ(LastMessage(), std::string(kCopyFailed) + "s:\\absent\\ : dossier introuvable");  // even with {NOAT}
    EXPECT_EQ(f.Link("RES2Z4IU4"), "s:\\absent\\{AUTO}{NOAT}{CLOS}");
    EXPECT_EQ(f.end.ends, 1);
    EXPECT_FALSE(Find<QWidget>("Frame1")->isVisible());  // the panel gives way to the failure
}

// Only this run's backup is copied: with the data folder gone the job fails,
// and last week's desktop archive is not sent.
TEST_F(CommandsWidgetTest, FailedBackupSendsNothing) {
    f.SetLink("RES2Z4IU4", "s:\\ex\\{AUTO}{NOAT}{CLOS}");
    platform::CreateFolder(exchange + "/ex");
    platform::CreateFolder(f.home + "/Bureau");
    WriteFile(Desktop(), "last week's archive");
    WriteFile(exchange + "/ex/kuvchier.zip", "the copy already there");
    Window();
    Find<QTimer>("Timer3")->stop();
    ASSERT_EQ(std::system(("rm -rf '" + f.data + "'").c_str()), 0);
    Fire(Find<QTimer>("Timer3"));
    EXPECT_EQ(LastMessage(), kNoBackupNoCopy);
    EXPECT_EQ(FolderContents(exchange + "/ex"),
              (std::map<std::string, std::string>{{"kuvchier.zip", "the copy already there"}}));
    EXPECT_EQ(f.Link("RES2Z4IU4"), "s:\\ex\\{AUTO}{NOAT}{CLOS}");
    EXPECT_EQ(f.end.ends, 1);
}

TEST_F(CommandsWidgetTest, ZipMailThenBackupBothGoToTheDesktop) {
    Window();
    Click("Command4");
    EXPECT_EQ(LastMessage(), kZipMailReady + Desktop());
    EXPECT_EQ(MemberSize(Desktop(), "compta.dat"), 1000);
    WriteFile(f.data + "/compta.dat", std::string(2000, 'd'));
    Click("Command1");
    EXPECT_EQ(LastMessage(), "Sauvegarde terminée !");
    EXPECT_EQ(MemberSize(Desktop(), "compta.dat"), 2000);
    EXPECT_FALSE(platform::PathExists(f.medium + "/S_c_appli_donnees/KuvSav-2701030905.zip"));
    EXPECT_EQ(f.end.ends, 0);
}

// The program files of the current folder: backup, then restore after a
// typed "OUI"; "NON" leaves everything.
class ProgramFilesWidgetTest : public CommandsWidgetTest {
protected:
    void SetUp() override {
        CommandsWidgetTest::SetUp();
        install = f.root + "/installation";
        platform::CreateFolder(install);
        Put("autre.exe", "MZ autre");
        Put("KuvZip.EXE", "the Windows program");
        Put("kuvzip.exe.bak", "old");
        Put("a.dll.txt", "a library, by its name");
        Put("lancer.sh", "#!/bin/sh\n", 0755);
        Put("lisez-moi.txt", "texte");
        char* cwd = getcwd(nullptr, 0);
        previous = cwd;
        free(cwd);
        ASSERT_EQ(chdir(install.c_str()), 0);
    }
    void TearDown() override { ASSERT_EQ(chdir(previous.c_str()), 0); }
    void Put(const std::string& name, const std::string& bytes, mode_t mode = 0644) {
        WriteFile(install + "/" + name, bytes);
        chmod((install + "/" + name).c_str(), mode);
    }
    QStringList Items(const char* list) {
        QStringList items;
        QListWidget* w = Find<QListWidget>(list);
        for (int i = 0; i < w->count(); ++i) items << w->item(i)->text();
        return items;
    }
    std::string install, previous;
};

TEST_F(ProgramFilesWidgetTest, BackupThenRestoreAfterOui) {
    Window();
    EXPECT_EQ(Items("File2").size(), 6);
    Click("Command7");  // nothing saved yet: only the message
    EXPECT_EQ(LastMessage(), kNoOldVersion);
    EXPECT_TRUE(platform::IsFolder(install + "/Sauve_prog"));

    Click("Command6");
    EXPECT_EQ(LastMessage(), "3 programmes sauvegardés !");
    EXPECT_FALSE(Window().BusyPointerShown());
    EXPECT_EQ(FolderContents(install + "/Sauve_prog").size(), 4u);  // 3 programs + temoin.txt
    EXPECT_EQ(ReadFile(install + "/Sauve_prog/temoin.txt"), "03/01/2027 \xE0 09:05\r\n");

    Put("autre.exe", "MZ mise à jour ratée");
    f.dialog.answers = {{"NON", 6}};
    Click("Command7");
    EXPECT_TRUE(LastMessage().rfind(kConfirmRestoreStart, 0) == 0);
    EXPECT_EQ(ReadFile(install + "/autre.exe"), "MZ mise à jour ratée");
    EXPECT_EQ(Items("File3"), (QStringList{"a.dll.txt", "autre.exe", "lancer.sh", "temoin.txt"}));

    f.dialog.answers = {{" oui ", 6}};
    Click("Command7");
    EXPECT_EQ(f.dialog.shown[f.dialog.shown.size() - 2].text,
              "Confirmez la restauration des programmes sauvegardés le 03/01/2027 à 09:05, tapez 'OUI' pour "
              "confirmer ?|NON");
    EXPECT_EQ(f.dialog.shown[f.dialog.shown.size() - 2].mode, 1129);
    EXPECT_EQ(LastMessage(), "3 programmes restaurés !");
    EXPECT_EQ(ReadFile(install + "/autre.exe"), "MZ autre");
    EXPECT_EQ(ReadFile(install + "/KuvZip.EXE"), "the Windows program");
    EXPECT_FALSE(Window().BusyPointerShown());
}

}  // namespace
}  // namespace kuv::operations
