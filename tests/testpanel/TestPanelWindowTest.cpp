// The test panel's window over the real main window, driven as a developer
// drives it: Ctrl+Shift+T, every button clicked, every box answered with the
// keyboard and the mouse, the outcome read in the main window's Label5 and on
// disk.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <set>

#include "BoxAnswerer.h"
#include "MainWindowEnvironmentFake.h"
#include "QtTestApp.h"
#include "WriterTestSupport.h"
#include "mainwindow/kuvzipf1_qt.h"
#include "restore/kuvzipf2_qt.h"
#include "platform/Files.h"
#include "testpanel/testpanel_qt.h"
#include "zip/clsZip.h"

namespace kuv::testpanel::testing {
namespace {

using kuv::backup::testing::ReadFile;
using kuv::backup::testing::WindowFixture;
using kuv::backup::testing::WriteFile;

std::string Slashless(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

class RecordingRestore : public RestoreWindowPort {
public:
    int opened = 0;
    void OpenModal() override { ++opened; }
};

class TestPanelWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        kuv::testing::EnsureApp();
        program = f.root + "/prog/bin";
        platform::CreateFolderPath(program);
        f.WriteIni("C:\\Appli\\Donnees\r\nE:\r\n\r\n\r\n");
        WriteFile(f.data + "/compta.txt", std::string(3000, 'c'));
        WriteFile(f.data + "/Clients.csv", "Dupont;Lyon\r\n");
    }
    void Open(RestoreWindowPort* restore = nullptr) {
        MainWindowEnvironment env = kuv::backup::testing::FakeEnvironment(f);
        if (realRestoreWindow) {
            // "Restaurer" as the program wires it: the real kuvzipf2.
            restoreEnvironment = {&f.dialog, &f.clock, &f.pump, &f.folders, &f.end, program};
            env.openRestoreWindow = [this](QWidget* parent, const backup::MainSettings& settings,
                                           const std::vector<platform::DriveEntry>& drives) {
                OpenRestoreWindow(parent, restoreEnvironment, settings, drives);
            };
        }
        window = std::make_unique<kuvzipf1>(env);
        window->Load();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        if (realRestoreWindow) {
            restorePort = std::make_unique<MainWindowRestorePort>(*window, env.openRestoreWindow);
            restore = restorePort.get();
        }
        panel = new TestPanelWindow(*window, restore, TestPanelFolders{f.work, program, program});
    }
    void TogglePanel() {
        QWidget* target = panel->isVisible() ? static_cast<QWidget*>(panel) : window.get();
        target->activateWindow();
        QApplication::setActiveWindow(target);
        QTest::keyClick(target, Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
    }
    void ShowPanel() {
        if (!panel->isVisible()) TogglePanel();
        ASSERT_TRUE(panel->isVisible());
    }
    QPushButton* Button(const char* name) {
        auto* b = panel->findChild<QPushButton*>(QString::fromUtf8(name));
        EXPECT_NE(b, nullptr) << name;
        return b;
    }
    void Click(const char* name) {
        QPushButton* b = Button(name);
        if (b) QTest::mouseClick(b, Qt::LeftButton);
    }
    std::string Label5() { return window->findChild<QLabel*>(QStringLiteral("Label5"))->text().toStdString(); }
    std::string Archive() const { return program + "/TestVersGrosZip.zip"; }

    WindowFixture f;
    std::string program;
    std::unique_ptr<kuvzipf1> window;
    bool realRestoreWindow = false;
    RestoreWindowEnvironment restoreEnvironment;
    std::unique_ptr<MainWindowRestorePort> restorePort;
    TestPanelWindow* panel = nullptr;  // owned by the main window
    BoxAnswerer boxes;
};

TEST_F(TestPanelWindowTest, HiddenUntilCtrlShiftTThenToggledByTheSameKeys) {
    Open();
    const QSize mainSize = window->size();
    EXPECT_FALSE(panel->isVisible());
    EXPECT_TRUE(panel->windowFlags().testFlag(Qt::Tool));
    EXPECT_EQ(panel->parentWidget(), window.get());
    TogglePanel();
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(window->size(), mainSize);  // the main window keeps its fixed size
    // Beside the main window, or over it but never over Label5, where the
    // buttons' outcome is shown.
    const QLabel* label5 = window->findChild<QLabel*>(QStringLiteral("Label5"));
    ASSERT_NE(label5, nullptr);
    const QRect label5Area(label5->mapToGlobal(QPoint(0, 0)), label5->size());
    EXPECT_FALSE(panel->frameGeometry().intersects(label5Area));
    TogglePanel();  // from the panel itself
    EXPECT_FALSE(panel->isVisible());
    TogglePanel();
    EXPECT_TRUE(panel->isVisible());
}

TEST_F(TestPanelWindowTest, EveryButtonHasItsNameAndCaption) {
    Open();
    const std::pair<const char*, const char*> buttons[] = {
        {"cdeAjouterSansRépertoire", "&Ajouter fichiers *.TXT (pas de chemin)"},
        {"cdeAjouterAvecRépertoires", "Ajouter &fichiers *.CLS (avec chemin complet)"},
        {"cdeAjouterAvecRépertoiresRelatifs", "Ajouter &fichiers *.TXT (avec chemin relatif)"},
        {"cdeCombien", "Renvoie le &nombre de fichiers déjà ajoutés"},
        {"cdeListeFichiers", "&Liste des fichiers insérés"},
        {"CdeSupp", "&Supprimer un Fichier de la sélection avant Zippage"},
        {"CmdConceptYB",
         "Autre &méthode Créer 1 fichier Zip    (fichiers *.* avec chemin complet, pour l'exemple)    Méthode "
         "compatible gros Zip final"},
        {"CmdAjZip", "A&jouter 1 fichier au fichier zippé TestVersGrosZip.Zip"},
        {"cmdSu", "Su&pprimer un Fichier du fichier zippé  TestVersGros..."},
        {"CdeUZip", "Affichage et Dézippage d'1 fichier Zip"},
    };
    for (const auto& [name, caption] : buttons) {
        QPushButton* b = Button(name);
        if (b) {
            EXPECT_EQ(b->text().toStdString(), caption) << name;
        }
    }
    EXPECT_EQ(panel->findChildren<QPushButton*>().size(), 10);
}

TEST_F(TestPanelWindowTest, AddCountListRemoveThenCreateAddAndRemoveInTheTestArchive) {
    Open();
    ShowPanel();
    Click("cdeListeFichiers");  // the empty list: an empty box
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].kind, "information");
    EXPECT_EQ(boxes.seen[0].text, "");
    EXPECT_EQ(boxes.seen[0].buttons, (std::vector<std::string>{"OK"}));

    Click("cdeAjouterSansRépertoire");
    Click("cdeCombien");
    EXPECT_EQ(Label5(), "2 fichiers à Sauvegarder");

    Click("cdeListeFichiers");
    ASSERT_EQ(boxes.seen.size(), 2u);
    const QStringList lines = QString::fromStdString(boxes.seen[1].text).split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 3);  // two lines and the empty rest after the last line break
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("1 - Clients.csv - compression à : "))) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral(" - taille orig. : 13")));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("2 - compta.txt - compression à : "))) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral(" - taille orig. : 3000")));
    EXPECT_EQ(lines[2], QString());

    // CdeSupp: the hint, the list, the number typed.
    boxes.Ok();
    boxes.Ok();
    boxes.Type("1");
    Click("CdeSupp");
    ASSERT_EQ(boxes.seen.size(), 5u);
    EXPECT_EQ(boxes.seen[2].text, "Regarder dans la liste des fichiers sélectionnés à zipper, le n° de celui à supprimer");
    EXPECT_EQ(boxes.seen[3].text, boxes.seen[1].text);
    EXPECT_EQ(boxes.seen[4].kind, "input");
    EXPECT_EQ(boxes.seen[4].title, "Entrer le paramètre");
    EXPECT_EQ(boxes.seen[4].text, "Indiquer le N° du fichier à effacer de la liste à zipper");
    EXPECT_EQ(boxes.seen[4].buttons, (std::vector<std::string>{"OK", "Annuler"}));
    EXPECT_EQ(Label5(), "Fichier supprimé des éléments à zipper");
    Click("cdeCombien");
    EXPECT_EQ(Label5(), "1 fichiers à Sauvegarder");

    // The streaming creation, read back by the engine and by unzip.
    Click("CmdConceptYB");
    EXPECT_EQ(Label5(), "fichier zip créé avec 2 fichiers");
    {
        clsZip reader;
        ASSERT_TRUE(reader.ZipOpen(Archive()));
        ASSERT_EQ(reader.inFileCount(), 2);
        EXPECT_EQ(reader.inFileName(1), Slashless(f.data + "/Clients.csv"));
        EXPECT_EQ(reader.inFileName(2), Slashless(f.data + "/compta.txt"));
    }
    EXPECT_EQ(writertest::RunShell("unzip -t " + writertest::Quote(Archive())).status, 0);

    WriteFile(f.work + "/ajout.txt", "un fichier de plus");
    boxes.Type(f.work + "/ajout.txt");
    Click("CmdAjZip");
    EXPECT_EQ(boxes.seen.back().title, "Ajout d'1 fichier à 1 zip existant");
    EXPECT_EQ(Label5(), "fichier saisi ajouté au fichier Zip existant");

    boxes.Type(f.data + "/Clients.csv");
    Click("cmdSu");
    EXPECT_EQ(Label5(), "fichier saisi supprimé du fichier Zip existant");
    const writertest::CommandResult listing = writertest::RunShell("unzip -Z1 " + writertest::Quote(Archive()));
    EXPECT_EQ(listing.status, 0);
    EXPECT_EQ(listing.out, Slashless(f.data + "/compta.txt") + "\n" + Slashless(f.work + "/ajout.txt") + "\n");
    EXPECT_EQ(writertest::RunShell("unzip -t " + writertest::Quote(Archive())).status, 0);

    // A member that is not there: the archive stays as it is.
    const std::string before = ReadFile(Archive());
    boxes.Type("absent.txt");
    Click("cmdSu");
    EXPECT_EQ(Label5(), "Echec de suppression du zip, Zip existant inchangé");
    EXPECT_EQ(ReadFile(Archive()), before);
    // The journal shows what the engine said along the way.
    auto* journal = panel->findChild<QListWidget*>(QStringLiteral("lstJournal"));
    ASSERT_NE(journal, nullptr);
    EXPECT_GT(journal->count(), 0);
    EXPECT_EQ(boxes.unscripted, 2);  // the two list boxes above, closed with OK
}

// The panel drives the main window's engine: a button clicked during a
// backup runs once the backup has ended, so that the archive holds the data
// folder's files once each and the panel's list starts empty.
TEST_F(TestPanelWindowTest, ButtonsClickedDuringABackupRunAfterIt) {
    Open();
    ShowPanel();
    bool clicked = false;
    f.pump.onDoEvents = [&] {
        if (clicked || !window->Logic().BackupInProgress()) return;
        clicked = true;
        Click("cdeAjouterSansRépertoire");
        Click("cdeCombien");
        EXPECT_EQ(window->Logic().WaitingCommands(),
                  (std::vector<std::string>{"cdeAjouterSansRépertoire", "cdeCombien"}));
        EXPECT_EQ(window->Logic().Engine()->FileCount(), 0);
    };
    window->findChild<QPushButton*>(QStringLiteral("Command1"))->click();
    ASSERT_TRUE(clicked);
    clsZip reader;
    ASSERT_TRUE(reader.ZipOpen(f.medium + "/S_c_appli_donnees/KuvSav-2701030905.zip"));
    EXPECT_EQ(reader.inFileCount(), 2);
    reader.ZipClose();
    EXPECT_EQ(window->Logic().Engine()->FileCount(), 2);
    EXPECT_EQ(Label5(), "2 fichiers à Sauvegarder");
    EXPECT_TRUE(window->Logic().WaitingCommands().empty());
}

TEST_F(TestPanelWindowTest, CdeSuppWithoutANumberWarnsAndChangesNothing) {
    Open();
    ShowPanel();
    Click("cdeAjouterSansRépertoire");
    for (const char* typed : {"abc", "", "<Annuler>"}) {
        boxes.Ok();
        boxes.Ok();
        if (std::string(typed) == "<Annuler>") boxes.Cancel();
        else boxes.Type(typed);
        boxes.Ok();
        const size_t before = boxes.seen.size();
        Click("CdeSupp");
        ASSERT_EQ(boxes.seen.size(), before + 4) << typed;
        EXPECT_EQ(boxes.seen.back().kind, "warning") << typed;
        EXPECT_EQ(boxes.seen.back().title, "Echec dans la saisie");
        EXPECT_EQ(boxes.seen.back().text, "C'est un n° qui est demandé !");
        EXPECT_EQ(boxes.seen.back().buttons, (std::vector<std::string>{"OK"}));
    }
    Click("cdeCombien");
    EXPECT_EQ(Label5(), "2 fichiers à Sauvegarder");
    // A number naming no entry says the removal failed.
    boxes.Ok();
    boxes.Ok();
    boxes.Type("-1");
    Click("CdeSupp");
    EXPECT_EQ(Label5(), "Erreur suppression ! Les éléments à zipper sont inchangés.");
    Click("cdeCombien");
    EXPECT_EQ(Label5(), "2 fichiers à Sauvegarder");
    EXPECT_EQ(boxes.unscripted, 0);
}

TEST_F(TestPanelWindowTest, FullAndRelativePathButtonsAddToTheSameList) {
    WriteFile(f.work + "/clsZip.cls", "VERSION 1.0 CLASS");
    WriteFile(f.root + "/prog/lisezmoi.txt", "lisez-moi");
    Open();
    ShowPanel();
    Click("cdeAjouterAvecRépertoires");
    Click("cdeAjouterAvecRépertoiresRelatifs");
    Click("cdeCombien");
    EXPECT_EQ(Label5(), "2 fichiers à Sauvegarder");
    EXPECT_EQ(window->Logic().Engine()->FileName(1), Slashless(f.work + "/clsZip.cls"));
    // The relative mode keeps the full path of a file outside the current folder.
    EXPECT_EQ(window->Logic().Engine()->FileName(2), Slashless(f.root + "/prog/lisezmoi.txt"));
}

TEST_F(TestPanelWindowTest, CdeUZipOpensTheRestoreWindowOrSaysItIsNotAvailable) {
    Open();
    ShowPanel();
    Click("CdeUZip");
    EXPECT_EQ(Label5(), "Affichage et Dézippage indisponible : la fenêtre de restauration n'est pas installée");
    EXPECT_TRUE(window->isVisible());  // the main window is not closed
}

TEST_F(TestPanelWindowTest, CdeUZipWithARestoreWindowOpensIt) {
    RecordingRestore restore;
    Open(&restore);
    ShowPanel();
    Click("CdeUZip");
    EXPECT_EQ(restore.opened, 1);
    EXPECT_TRUE(window->isVisible());
}

// CdeUZip opens the same restore window as "Restaurer", modally over the
// main window; closing it brings the user back to the main window.
TEST_F(TestPanelWindowTest, CdeUZipOpensTheRealRestoreWindowOverTheMainWindow) {
    realRestoreWindow = true;
    Open();
    ShowPanel();
    Click("CdeUZip");
    const auto opened = std::find_if(boxes.seen.begin(), boxes.seen.end(),
                                     [](const BoxAnswerer::Seen& s) { return s.objectName == "kuvzipf2"; });
    ASSERT_NE(opened, boxes.seen.end());
    EXPECT_EQ(opened->title, restore::kWindowCaption);
    EXPECT_EQ(opened->parent, window.get());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);  // closed again
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(f.end.ends, 0);
    EXPECT_NE(Label5(), kRestoreUnavailable);
    // The same window opens again.
    Click("CdeUZip");
    EXPECT_EQ(std::count_if(boxes.seen.begin(), boxes.seen.end(),
                            [](const BoxAnswerer::Seen& s) { return s.objectName == "kuvzipf2"; }),
              2);
}

// The panel shown beside the main window; with KUVZIP_SCREENSHOT set (a PNG
// path) the screen is saved there, for a look under a real X server.
TEST_F(TestPanelWindowTest, PanelShownBesideTheMainWindowPaintsItsButtons) {
    Open();
    ShowPanel();
    Click("cdeAjouterSansRépertoire");
    Click("cdeCombien");
    QTest::qWait(100);
    const QImage image = panel->grab().toImage();
    ASSERT_FALSE(image.isNull());
    // Buttons and captions are painted: far more than one colour.
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width(); x += 3) colours.insert(image.pixel(x, y));
    EXPECT_GT(colours.size(), 10u);
    if (const char* path = std::getenv("KUVZIP_SCREENSHOT")) {
        QTest::qWait(500);
        QScreen* screen = QGuiApplication::primaryScreen();
        ASSERT_NE(screen, nullptr);
        EXPECT_TRUE(screen->grabWindow(0).save(QString::fromLocal8Bit(path)));
    }
}

}  // namespace
}  // namespace kuv::testpanel::testing
