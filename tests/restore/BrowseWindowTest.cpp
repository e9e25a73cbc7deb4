// The real browse window offscreen, driven by mouse clicks on its table and
// buttons, its dialogs and launcher replaced by recording fakes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "../ui/QtTestApp.h"
#include "BrowseFakes.h"
#include "restore/kuvzipbrowse_qt.h"

namespace kuv::restore::testing {
namespace {

class BrowseWindowTest : public RestoreFixture, public ::testing::Test {
protected:
    static void SetUpTestSuite() { kuv::testing::EnsureApp(); }
    BrowseWindowTest() {
        WriteFile(data + "/compta.dat", "compta ancienne");
        WriteFile(data + "/extra.txt", "reste");
    }
    kuvzipbrowse& Window(const std::string& archive) {
        window = std::make_unique<kuvzipbrowse>(dialog, clock, data, "C:\\Appli\\Donnees", program);
        window->UsePorts(&picker, &archives, &launcher);
        EXPECT_TRUE(window->Logic().Open(archive, "07 Décembre 2026 à 10H15"));
        window->show();
        QApplication::processEvents();
        return *window;
    }
    template <typename T = QWidget>
    T* Find(const char* name) {
        T* w = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void Click(const char* button) { QTest::mouseClick(Find<QPushButton>(button), Qt::LeftButton); }
    QTableWidget* Table() { return Find<QTableWidget>("Contenu"); }
    // Clicks the rows of these names, Ctrl held after the first.
    void ChooseRows(const std::vector<QString>& names, bool doubleClick = false) {
        QTableWidget* t = Table();
        bool first = true;
        for (const QString& name : names) {
            for (int r = 0; r < t->rowCount(); ++r) {
                if (t->item(r, 0)->text() != name) continue;
                const QPoint at = t->visualItemRect(t->item(r, 0)).center();
                if (doubleClick) {
                    // As the system sends it: a click, then the double click.
                    QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, at);
                    QTest::mouseDClick(t->viewport(), Qt::LeftButton, {}, at);
                } else QTest::mouseClick(t->viewport(), Qt::LeftButton, first ? Qt::NoModifier : Qt::ControlModifier, at);
                first = false;
            }
        }
    }

    RecordingFolderPicker picker;
    RecordingArchivePicker archives;
    RecordingLauncher launcher;
    std::unique_ptr<kuvzipbrowse> window;
};

struct ClickTestRow {
    const char* label;
    bool damaged;
    const char* said;
};

const ClickTestRow kClickTestRows[] = {
    {"sound", false, "La sauvegarde est intacte : ses 2 fichiers ont été relus sans erreur."},
    {"damaged_member", true,
     "La sauvegarde est endommagée, ces fichiers ne peuvent pas être relus :\r\nErreur 16 - Erreur non identifiée "
     "lors de la décompression du fichier zz.dat"},
};

class BrowseWindowTestButton : public BrowseWindowTest, public ::testing::WithParamInterface<ClickTestRow> {};

TEST_P(BrowseWindowTestButton, SaysSoundOrNamesTheDamagedMember) {
    WriteComptaAndZz(backups, GetParam().damaged);
    Window(backups + "/KuvSav-2612071015.zip");
    const auto before = DataSnapshot();
    Click("cdeTester");
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0], GetParam().said);
    EXPECT_EQ(DataSnapshot(), before);
}

INSTANTIATE_TEST_SUITE_P(Rows, BrowseWindowTestButton, ::testing::ValuesIn(kClickTestRows),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(BrowseWindowTest, ExtractToAskedFolderKeepsTheFileThereOnNon) {
    Window(WriteBackup("KuvSav-2612071015.zip"));
    picker.answer = root + "/Extraits ici";
    kuv::platform::CreateFolderPath(picker.answer);
    WriteFile(picker.answer + "/compta.dat", "ma version");
    Answer({"NON"});
    ChooseRows({"compta.dat", "docs/note.txt", "clients.csv"});
    Click("cdeExtraire");
    EXPECT_EQ(picker.offered, program + "/Fichiers extraits");
    EXPECT_EQ(ReadFile(picker.answer + "/compta.dat"), "ma version");
    EXPECT_EQ(ReadFile(picker.answer + "/docs/note.txt"), std::string(5000, 'n'));
    EXPECT_EQ(ReadFile(picker.answer + "/clients.csv"), "Dupont;Lyon\r\nMartin;Brest\r\n");
    ASSERT_EQ(dialog.shown.size(), 2u);
    EXPECT_EQ(dialog.shown[0].text,
              "Le fichier compta.dat existe déjà dans ce dossier, le remplacer ?\r\n tapez 'OUI' pour le remplacer ?|NON");
    EXPECT_EQ(dialog.shown[1].text, "2 fichier(s) extrait(s) dans : " + picker.answer +
                                        "\r\n1 fichier(s) déjà présent(s) gardé(s) tel(s) quel(s).");
}

TEST_F(BrowseWindowTest, OuvrirFollowsTheSelectionAndOpensTheOneMember) {
    DesktopWithPrograms desktop(root);
    Window(WriteBackup("KuvSav-2612071015.zip"));
    auto* open = Find<QPushButton>("cdeOuvrir");
    EXPECT_FALSE(open->isEnabled());  // nothing chosen
    ChooseRows({"compta.dat", "clients.csv"});
    EXPECT_FALSE(open->isEnabled());  // two
    ChooseRows({"extra.txt"});
    EXPECT_FALSE(open->isEnabled());  // only in the data folder
    ChooseRows({"clients.csv"});
    ASSERT_TRUE(open->isEnabled());
    Click("cdeOuvrir");
    ChooseRows({"docs/note.txt"}, true);  // a double click opens too
    ASSERT_EQ(launcher.bytes.size(), 2u);
    EXPECT_EQ(launcher.bytes[0], "Dupont;Lyon\r\nMartin;Brest\r\n");
    EXPECT_EQ(launcher.bytes[1], std::string(5000, 'n'));
    EXPECT_TRUE(dialog.shown.empty());
}

TEST_F(BrowseWindowTest, OuvrirUneArchiveShowsItWithoutStatesNorRestore) {
    Window(WriteBackup("KuvSav-2612071015.zip"));
    readertest::RawArchive a;
    a.members = {Dated("lettre.odt", "lettre", kDate, kTime)};
    WriteFile(root + "/autre.zip", a.Build());
    WriteFile(root + "/pas-une-archive.zip", "rien");
    archives.answer = root + "/pas-une-archive.zip";
    const QString title = window->windowTitle();
    Click("cdeOuvrirArchive");
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(window->windowTitle(), title);  // as it was
    EXPECT_EQ(Table()->rowCount(), 4);
    EXPECT_TRUE(Find<QPushButton>("cdeRestaurerChoix")->isEnabled());

    archives.answer = root + "/autre.zip";
    Click("cdeOuvrirArchive");
    EXPECT_EQ(window->windowTitle().toStdString(), "Contenu de l'archive " + root + "/autre.zip");
    EXPECT_EQ(Table()->rowCount(), 1);
    EXPECT_TRUE(Table()->isColumnHidden(3));
    EXPECT_FALSE(Find<QPushButton>("cdeRestaurerChoix")->isEnabled());
    EXPECT_EQ(Find<QLabel>("Comptes")->text(), "1 fichier");
    Click("cdeTester");
    EXPECT_EQ(Messages().back(), "L'archive est intacte : son fichier a été relu sans erreur.");
    QTest::keyClicks(Find<QLineEdit>("Filtre"), "LETTRE");
    EXPECT_EQ(Find<QLabel>("Comptes")->text(), "1 fichier (filtre : 1 affiché)");
}

// Pictures of the window for a person to look at: runs only when
// KUVZIP_SCREENSHOT_DIR names a folder and a real display is used, e.g.
//   KUVZIP_SCREENSHOT_DIR=/tmp/shots QT_QPA_PLATFORM=xcb xvfb-run -a build/bin/test_restore
//   --gtest_filter='*BrowseWindowTest.Screenshots*'
TEST_F(BrowseWindowTest, Screenshots) {
    const char* dir = std::getenv("KUVZIP_SCREENSHOT_DIR");
    if (dir == nullptr || QGuiApplication::platformName() == "offscreen") GTEST_SKIP() << "no screenshot asked";
    WriteFile(data + "/Compta 2025.xls", "tableau");
    WriteFile(data + "/clients.csv", "Dupont;Lyon\r\nMartin;Brest\r\n");
    Window(WriteBackup("KuvSav-2612071015.zip"));
    auto shoot = [&](const std::string& name) {
        for (int i = 0; i < 40; ++i) {
            QApplication::processEvents();
            QTest::qWait(25);
        }
        EXPECT_EQ(std::system(("import -window root '" + std::string(dir) + "/" + name + "'").c_str()), 0);
    };
    QTest::keyClicks(Find<QLineEdit>("Filtre"), "compta");
    ChooseRows({"compta.dat"});
    shoot("kuvzipbrowse-filter.png");
    readertest::RawArchive a;
    a.members = {Dated("Courrier\\lettre à Mme Durand.odt", "lettre", kDate, kTime),
                 Dated("Photos\\été 2026.jpg", std::string(90000, 'p'), kDate, kTime),
                 Dated("compta.dat", "autre", kDate, kTime)};
    for (auto& m : a.members) m.flags = 0x0800;  // UTF-8 names
    WriteFile(root + "/Clé USB - copie.zip", a.Build());
    archives.answer = root + "/Clé USB - copie.zip";
    Find<QLineEdit>("Filtre")->clear();
    Click("cdeOuvrirArchive");
    shoot("kuvzipbrowse-other.png");
}

}  // namespace
}  // namespace kuv::restore::testing
