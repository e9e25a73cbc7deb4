// The main window kuvzipf1 itself, driven as a user drives it: its controls,
// their captions and accessible texts, the keyboard, a backup to a chosen
// drive, the missing destination, the C: warning, "Outils" and "Quitter".

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "LogCapture.h"
#include "MainWindowEnvironmentFake.h"
#include "MainWindowFakes.h"
#include "tests/ui/QtTestApp.h"
#include "ui/QtEnvironment.h"
#include "mainwindow/kuvzipf1_qt.h"
#include "ui/form97_qt.h"

namespace kuv::backup::testing {
namespace {

using kuv::testing::EnsureApp;

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApp();
        WriteFile(f.data + "/compta.dat", "écritures de janvier");
        WriteFile(f.data + "/Clients.csv", "Dupont;Lyon\r\n");
        WriteFile(f.data + "/vide.dat", "");
        WriteFile(f.data + "/outil.exe", "MZ");
    }

    kuvzipf1& Window() {
        if (!window) {
            window = std::make_unique<kuvzipf1>(FakeEnvironment(f));
            window->Load();
            window->show();
        }
        return *window;
    }
    template <typename T>
    T* Find(const char* name) {
        T* w = Window().findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QString AccessibleName(QObject* object) {
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
        return iface ? iface->text(QAccessible::Name) : QString();
    }
    // The user opens Combo1's list and chooses entry index with Enter.
    void Pick(int index) {
        QComboBox* box = Find<QComboBox>("Combo1");
        box->showPopup();
        QAbstractItemView* list = box->view();
        list->setCurrentIndex(list->model()->index(index, 0));
        QTest::keyClick(list, Qt::Key_Return);
        EXPECT_EQ(box->currentIndex(), index);
    }
    QColor Background(QWidget* w) {
        const QImage image = w->grab().toImage();
        return image.pixelColor(4, 4);
    }

    WindowFixture f;
    std::unique_ptr<kuvzipf1> window;
};

TEST_F(MainWindowTest, ControlsAreNamedAndCaptioned) {
    f.WriteIni("C:\\Appli\\Donnees\r\nE:\r\n\r\n\r\n");
    Window();
    EXPECT_EQ(Find<QPushButton>("Command1")->text(), "Sauvegarder les DONNEES");
    EXPECT_EQ(Find<QPushButton>("Command2")->text(), "Quitter");
    EXPECT_EQ(Find<QPushButton>("Command3")->text(), "Outils");
    EXPECT_EQ(Find<QLabel>("Label2")->text(), "Sauvegarde des DONNEES Zippée");
    EXPECT_EQ(Find<QLabel>("Label9")->text(), "Répertoire Sauvegardé");
    EXPECT_EQ(Find<QLabel>("Label10")->text(), "C:\\Appli\\Donnees");
    EXPECT_EQ(Find<QLabel>("Label14")->text(), "Dernière sauvegarde effectée le");
    EXPECT_EQ(Find<QLabel>("Label16")->text(), "Version 2022.02-03.as");
    EXPECT_EQ(Find<QLabel>("Label1")->text(),
              "Sélectionnez le support de destination de la sauvegarde dans la liste ");
    EXPECT_EQ(Find<QLabel>("Label11")->text(),
              "Veuillez patienter pendant la sauvegarde de sécurité de vos données, vous pourrez recupérer vos "
              "données sur votre disque C: si vous souhaitez revenir à cette sauvegarde.");
    EXPECT_EQ(Find<QLabel>("Label19")->text(), "Sauvegarde automatique en cours...");
    const char* lampCaptions[4][2] = {{"Label4", "Compression des fichiers"},
                                      {"Label6", "Copie sur le support"},
                                      {"Label7", "Attendez que le voyant arrête de clignoter"},
                                      {"Label8", "Sauvegarde terminée"}};
    for (auto& c : lampCaptions) EXPECT_EQ(Find<QLabel>(c[0])->text(), QString::fromUtf8(c[1]));
    for (const char* name : {"Image1_0", "Image1_1", "Image1_2", "Image1_3", "Image11", "Label3", "Label5",
                             "Label15", "Label18", "logoc"})
        Find<QLabel>(name);
    for (const char* name : {"File1", "List1", "List2"}) Find<QListWidget>(name);
    Find<QLineEdit>("Text1");
    EXPECT_NE(Window().findChild<QWidget*>("kuvbbf"), nullptr);
    EXPECT_TRUE(Find<QComboBox>("Combo1")->isVisible());
    EXPECT_FALSE(Find<QLabel>("Label18")->isVisible());
    // The copies are offered; "Dossier" only once an exchange folder is requested.
    EXPECT_TRUE(Find<QPushButton>("Command9")->isVisible());
    EXPECT_EQ(Find<QPushButton>("Command9")->text(), "OneDrive");
    EXPECT_TRUE(Find<QPushButton>("Command11")->isVisible());
    EXPECT_FALSE(Find<QPushButton>("Command11")->isEnabled());
    EXPECT_FALSE(Find<QWidget>("Picture1")->isVisible());
    EXPECT_FALSE(Find<QWidget>("Frame1")->isVisible());
    for (const char* name : {"Timer1", "Timer111", "Timer2", "Timer3"}) {
        QTimer* timer = Find<QTimer>(name);
        EXPECT_TRUE(timer->isSingleShot());
        EXPECT_FALSE(timer->isActive());  // interactive start: idle
    }
    // The data folder's files in File1, the key of E: chosen, its picture shown.
    EXPECT_EQ(Find<QListWidget>("File1")->count(), 4);
    EXPECT_EQ(Find<QComboBox>("Combo1")->currentText(), "E: Clé / Carte   [CLE]  ");
    EXPECT_EQ(Window().DrivePicture(), 3);
    EXPECT_EQ(Find<QLineEdit>("Text1")->text().toStdString(), f.medium + "/S_c_appli_donnees");
    for (int lamp = 0; lamp < 4; ++lamp) EXPECT_EQ(Window().LampPicture(lamp), 36);
}

TEST_F(MainWindowTest, EveryControlReachableByKeyboardAndNamedForAssistiveTechnology) {
    f.WriteIni("C:\\Appli\\Donnees\r\nE:\r\n\r\n\r\n");
    Window();
    // The tab order among the controls that take focus.
    std::vector<QString> order;
    QWidget* start = Find<QComboBox>("Combo1");
    QWidget* w = start;
    do {
        if (w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) && w->objectName() != "") {
            order.push_back(w->objectName());
        }
        w = w->nextInFocusChain();
    } while (w != start && order.size() < 40);
    std::vector<QString> expected = {"Combo1", "Command1", "Text1", "File1", "List1", "List2", "Command3", "Command2"};
    std::vector<QString> filtered;
    for (const QString& name : order)
        if (std::find(expected.begin(), expected.end(), name) != expected.end()) filtered.push_back(name);
    EXPECT_EQ(filtered, expected);

    EXPECT_EQ(AccessibleName(Find<QPushButton>("Command1")), "Sauvegarder les DONNEES");
    EXPECT_EQ(AccessibleName(Find<QPushButton>("Command2")), "Quitter");
    // The list reads out its chosen entry, and is labelled by its caption.
    QAccessibleInterface* comboIface = QAccessible::queryAccessibleInterface(Find<QComboBox>("Combo1"));
    ASSERT_NE(comboIface, nullptr);
    bool labelled = false;
    for (const auto& relation : comboIface->relations(QAccessible::Label)) {
        if (relation.first->object() == Find<QLabel>("Label1")) labelled = true;
    }
    EXPECT_TRUE(labelled);
    EXPECT_EQ(AccessibleName(Find<QListWidget>("List1")), "Fichiers sauvegardés");
    EXPECT_EQ(AccessibleName(Find<QListWidget>("List2")), "Fichiers ignorés");
    EXPECT_EQ(AccessibleName(Find<QListWidget>("File1")), "Fichiers du répertoire");
    EXPECT_EQ(AccessibleName(Find<QLineEdit>("Text1")), "Dossier de la sauvegarde");
    EXPECT_EQ(AccessibleName(Find<QLabel>("Label16")), "Version 2022.02-03.as");
    EXPECT_TRUE(AccessibleName(Find<QLabel>("Image1_0")).startsWith("Compression des fichiers"));
    EXPECT_FALSE(AccessibleName(Find<QLabel>("Image11")).isEmpty());
    // The combo's entries are read out too.
    QAccessibleInterface* combo = QAccessible::queryAccessibleInterface(Find<QComboBox>("Combo1"));
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->text(QAccessible::Value), "E: Clé / Carte   [CLE]  ");

    // The keyboard alone: choose C: in the list with the arrow key, press the
    // button with Space; the C: warning comes first.
    QComboBox* box = Find<QComboBox>("Combo1");
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Up);
    EXPECT_EQ(box->currentIndex(), 1);
    EXPECT_EQ(Window().Logic().Settings().destinationRoot, "C:");
    EXPECT_EQ(Window().focusWidget(), box);  // stepping on with the arrows stays possible
    QTest::keyClick(box, Qt::Key_Up);
    EXPECT_EQ(box->currentIndex(), 0);
    QTest::keyClick(box, Qt::Key_Down);
    EXPECT_EQ(box->currentIndex(), 1);
    QPushButton* backup = Find<QPushButton>("Command1");
    backup->setFocus();
    QTest::keyClick(backup, Qt::Key_Space);
    ASSERT_GE(f.dialog.shown.size(), 1u);
    EXPECT_EQ(f.dialog.shown[0].text,
              "ATTENTION !\n\r\n\rLa sauvegarde sera effectuée sur le disque C: en cas de défaillance de votre "
              "disque dur vous ne pourrez pas recupérer cette sauvegarde !");
    EXPECT_TRUE(kuv::platform::IsRegularFile(f.home + "/S_c_appli_donnees/KuvSav-2701030905.zip"));
}

TEST_F(MainWindowTest, BackupToAChosenKeyFillsTheWindowReportAndRecord) {
    f.WriteIni("C:\\Appli\\Donnees\r\n\r\n\r\n\r\n");
    f.SetLink("Dern:SAV:MAN", "20/12/2026 à 17:00:46376");
    Window();
    QLabel* age = Find<QLabel>("Label15");
    EXPECT_EQ(age->text(), "20/12/2026 à 17:00");
    EXPECT_EQ(Background(age), QColor(255, 128, 128));  // two weeks old
    QAccessibleInterface* ageIface = QAccessible::queryAccessibleInterface(age);
    ASSERT_NE(ageIface, nullptr);
    EXPECT_EQ(ageIface->text(QAccessible::Name), "20/12/2026 à 17:00");
    EXPECT_EQ(ageIface->text(QAccessible::Description), "Sauvegarde de 5 jours ou plus");
    EXPECT_EQ(Find<QLabel>("Label2")->text(), "Disque C: sélectionné par défaut !");

    Pick(2);  // the user picks the key
    EXPECT_EQ(Window().Logic().Settings().destinationRoot, "E:");
    EXPECT_EQ(Window().DrivePicture(), 3);
    QTest::mouseClick(Find<QPushButton>("Command1"), Qt::LeftButton);

    EXPECT_TRUE(kuv::platform::IsRegularFile(f.medium + "/S_c_appli_donnees/KuvSav-2701030905.zip"));
    QListWidget* saved = Find<QListWidget>("List1");
    QListWidget* ignored = Find<QListWidget>("List2");
    ASSERT_EQ(saved->count(), 2);
    EXPECT_EQ(saved->item(0)->text(), "clients.csv");
    EXPECT_EQ(saved->item(1)->text(), "compta.dat");
    ASSERT_EQ(ignored->count(), 2);
    EXPECT_EQ(Find<QLabel>("Label3")->text(), "2");
    for (int lamp = 0; lamp < 4; ++lamp) EXPECT_EQ(Window().LampPicture(lamp), 67) << lamp;
    EXPECT_TRUE(AccessibleName(Find<QLabel>("Image1_3")).startsWith("Sauvegarde terminée"));
    ASSERT_EQ(f.dialog.shown.size(), 1u);
    EXPECT_EQ(f.dialog.shown[0].text, "Sauvegarde terminée !");
    // The record, and Label15 following it at once, green.
    EXPECT_EQ(f.Link("Dern:SAV:MAN"), "03/01/2027 à 09:05:46390");
    EXPECT_EQ(age->text(), "03/01/2027 à 09:05");
    EXPECT_EQ(Background(age), QColor(128, 255, 128));
    EXPECT_EQ(ReadFile(f.work + "/dernkuvp.txt"),
              "E:\\S_c_appli_donnees\r\nE:\\S_c_appli_donnees\\KuvSav-2701030905.zip\r\n");
    const std::string report = ReadFile(f.work + "/rapport.txt");
    EXPECT_NE(report.find("OK  > compta.dat\r\n"), std::string::npos);
    EXPECT_NE(report.find("Non - vide.dat\r\n"), std::string::npos);
    EXPECT_NE(report.find("2 fichiers sauvegard\xE9s\r\n"), std::string::npos);

    // The window after a finished backup, for the eye.
    const QString shot = QDir(QString::fromUtf8(KUVZIP_BIN_DIR)).filePath("../kuvzipf1-after-backup.png");
    EXPECT_TRUE(Window().grab().save(shot));
}

TEST_F(MainWindowTest, KeyPulledOutShowsTheFailureOnTheWindow) {
    f.WriteIni("C:\\Appli\\Donnees\r\nE:\r\n\r\n\r\n");
    f.SetLink("Dern:SAV:MAN", "02/01/2027 à 18:00:46389");
    Window();
    std::system(("rm -rf '" + f.medium + "'").c_str());  // the key is gone
    Find<QPushButton>("Command1")->click();
    EXPECT_EQ(Find<QLabel>("Label5")->text(), "Support plein ou absent !");
    EXPECT_EQ(Find<QListWidget>("List1")->count(), 0);  // nothing was saved
    EXPECT_EQ(Window().LampPicture(0), 67);
    EXPECT_EQ(Window().LampPicture(1), 68);
    EXPECT_EQ(Window().LampPicture(2), 36);
    // No "Sauvegarde terminée !": the failure itself is told.
    ASSERT_EQ(f.dialog.shown.size(), 1u);
    EXPECT_EQ(f.dialog.shown[0].text, "La sauvegarde a échoué : Support plein ou absent !");
    EXPECT_EQ(f.dialog.shown[0].mode, 0);
    EXPECT_EQ(f.Link("Dern:SAV:MAN"), "02/01/2027 à 18:00:46389");
    EXPECT_EQ(Find<QLabel>("Label15")->text(), "02/01/2027 à 18:00");
    EXPECT_FALSE(kuv::platform::PathExists(f.work + "/dernkuvp.txt"));
}

// After a failure the user plugs the key back in and picks the same entry
// again: that choice counts, and Label5's failure text is cleared.
TEST_F(MainWindowTest, PickingTheSelectedDestinationAgainClearsTheStatus) {
    f.WriteIni("C:\\Appli\\Donnees\r\nE:\r\n\r\n\r\n");
    Window();
    WriteFile(f.medium + "/S_c_appli_donnees", "bloque");
    Find<QPushButton>("Command1")->click();
    ASSERT_EQ(Find<QLabel>("Label5")->text(), "Support plein ou absent !");
    ASSERT_EQ(Find<QComboBox>("Combo1")->currentIndex(), 2);
    Pick(2);
    EXPECT_EQ(Find<QLabel>("Label5")->text(), "");
    EXPECT_EQ(Find<QLineEdit>("Text1")->text().toStdString(), f.medium + "/S_c_appli_donnees");
}

// The layout is absolute: the window cannot be made smaller (or larger) than
// designed, which would cut off "Outils" and "Quitter"; the narrowed window
// of a request keeps its width too. The logo is drawn at the screen's device
// pixel ratio (this test also runs at QT_SCALE_FACTOR=2).
TEST_F(MainWindowTest, KeepsItsDesignedSizeAndASharpLogo) {
    f.WriteIni("C:\\Appli\\Donnees\r\nE:\r\n\r\n\r\n");
    const QSize designed = Window().size();
    EXPECT_EQ(Window().minimumSize(), designed);
    EXPECT_EQ(Window().maximumSize(), designed);
    Window().resize(designed.width() / 2, designed.height() / 2);
    EXPECT_EQ(Window().size(), designed);
    QPushButton* quit = Find<QPushButton>("Command2");
    EXPECT_TRUE(Window().rect().contains(quit->geometry()));

    QLabel* logo = Find<QLabel>("logoc");
    const QPixmap pixmap = logo->pixmap();
    const qreal ratio = logo->devicePixelRatioF();
    ASSERT_FALSE(pixmap.isNull());
    EXPECT_DOUBLE_EQ(pixmap.devicePixelRatio(), ratio);
    // Fitted into the label, as many device pixels as it covers on screen.
    const QSizeF shown = pixmap.deviceIndependentSize();
    EXPECT_LE(shown.width(), logo->width() + 0.5);
    EXPECT_LE(shown.height(), logo->height() + 0.5);
    EXPECT_NEAR(std::max(shown.width() / logo->width(), shown.height() / logo->height()), 1.0, 0.02);

    window.reset();
    f.SetLink("SAVAUT56", "NOSIG");
    const int narrowed = Window().width();
    EXPECT_LT(narrowed, designed.width());
    Window().resize(designed);
    EXPECT_EQ(Window().width(), narrowed);
}

// A logo file of the linked application that is not a picture: startup
// goes on with the program's own logo, and says so in the log.
TEST_F(MainWindowTest, ALogoFileThatCannotBeReadIsLogged) {
    f.WriteIni("C:\\Appli\\Donnees\r\nE:\r\n\r\n\r\n");
    WriteFile(f.work + "/fc_img_024.gif", "pas une image");
    LogCapture log;
    QLabel* logo = Find<QLabel>("logoc");
    EXPECT_FALSE(logo->pixmap().isNull());
    EXPECT_TRUE(log.Has("kuvzip.startup", QtWarningMsg, "cannot read the logo")) << log.All();
}

TEST_F(MainWindowTest, NoDestinationChosenIsRefused) {
    f.WriteIni("C:\\Appli\\Donnees\r\nE:\r\n\r\n\r\n");
    Window();
    QComboBox* box = Find<QComboBox>("Combo1");
    Pick(0);
    EXPECT_EQ(Window().Logic().Settings().destinationRoot, "E:");  // unchanged
    Find<QPushButton>("Command1")->click();
    ASSERT_EQ(f.dialog.shown.size(), 1u);
    EXPECT_EQ(f.dialog.shown[0].text, "Vous devez sélectionner un support de destination !");
    EXPECT_EQ(box->property("backgroundColour").value<QColor>(), QColor(255, 192, 192));
    EXPECT_FALSE(kuv::platform::PathExists(f.work + "/rapport.txt"));
    EXPECT_FALSE(kuv::platform::PathExists(f.medium + "/S_c_appli_donnees"));
    EXPECT_EQ(Find<QListWidget>("List1")->count(), 0);
}

TEST_F(MainWindowTest, OutilsAndQuitterRewriteKuvZipIni) {
    f.WriteIni("C:\\Appli\\Donnees\r\nE:\r\n#L#appli --base compta\r\n-txt\r\n");
    Window();
    f.dialog.answers = {{"C:\\Compta\\", 6}, {"d:\\sauve", 6}, {"appli --base compta", 6}};
    Find<QPushButton>("Command3")->click();
    ASSERT_EQ(f.dialog.shown.size(), 4u);
    EXPECT_EQ(f.dialog.shown[2].text, "Logiciel à lier ? (Cliquez sur OK sans mettre de nom)|appli --base compta");
    EXPECT_EQ(f.dialog.shown[3].text, "Votre sauvegarde est configurée, relancez votre logiciel de sauvegarde !");
    EXPECT_EQ(f.Ini(), "C:\\Compta\r\nd:\r\n#L#appli --base compta\r\n-txt\r\n");
    EXPECT_EQ(f.end.ends, 1);

    // Quitter: the destination chosen during the run is kept for the next start.
    window.reset();
    f.end.ends = 0;
    f.WriteIni("C:\\Appli\\Donnees\r\nE:\r\n#L#appli --base compta\r\n-txt\r\n");
    Window();
    Pick(1);
    Find<QPushButton>("Command2")->click();
    EXPECT_EQ(f.Ini(), "C:\\Appli\\Donnees\r\nC:\r\n#L#appli --base compta\r\n-txt\r\n");
    ASSERT_EQ(f.launcher.started.size(), 1u);
    EXPECT_EQ(f.launcher.started[0].first, "appli --base compta");
    EXPECT_EQ(f.end.ends, 1);
}

TEST_F(MainWindowTest, ExchangeFolderReplacesTheListAndArmsTheAutomaticCopy) {
    f.WriteIni("C:\\Appli\\Donnees\r\nE:\r\n\r\n\r\n");
    f.SetLink("RES2Z4IU4", "s:\\ex_pc\\  {AUTO}  {NOAT}");
    Window();
    EXPECT_FALSE(Find<QComboBox>("Combo1")->isVisible());
    EXPECT_TRUE(Find<QLabel>("Label18")->isVisible());
    EXPECT_EQ(Find<QLabel>("Label18")->text(), "s:\\ex_pc\\    ");
    EXPECT_EQ(Find<QPushButton>("Command9")->text(), "Transfert");
    EXPECT_EQ(Find<QPushButton>("Command9")->toolTip(), "Transfert avec Korrin");
    EXPECT_TRUE(Find<QPushButton>("Command11")->isEnabled());
    EXPECT_TRUE(Find<QWidget>("Frame1")->isVisible());
    EXPECT_TRUE(Find<QTimer>("Timer3")->isActive());
    EXPECT_EQ(Find<QTimer>("Timer3")->interval(), 1000);
    Find<QTimer>("Timer3")->stop();  // the copy itself is driven by the copy tests
    EXPECT_LT(Window().width(), 700);
}

TEST_F(MainWindowTest, DesktopRequestNarrowsTheWindowAndShowsItsPanel) {
    f.WriteIni("C:\\Appli\\Donnees\r\nE:\r\n\r\n\r\n");
    f.SetLink("SAVAUT56", "NOSIG");
    Window();
    EXPECT_TRUE(Find<QWidget>("Picture1")->isVisible());
    EXPECT_EQ(Find<QLabel>("Label2")->text(), "Sauvegarde des données sur le Bureau");
    EXPECT_TRUE(Find<QTimer>("Timer111")->isActive());
    EXPECT_EQ(Find<QTimer>("Timer111")->interval(), 1500);
    EXPECT_LT(Window().width(), 700);  // 10065 twips at 96 dpi: 671 pixels
    EXPECT_EQ(Find<QComboBox>("Combo1")->currentIndex(), 1);
}

// A security backup on C: requested, and the C: disk cannot take it. The
// failure must be seen (the request panel covered Label5) and the user must
// reach "Quitter" (the narrowed window cut it off). Once the user makes a
// backup that completes, Timer2 clears the request and ends the program; left
// alone, the program ends by itself through Timer2, the request kept.
TEST_F(MainWindowTest, FailedRequestGivesWayToTheFailureAndALaterSuccessEnds) {
    f.WriteIni("C:\\Appli\\Donnees\r\nE:\r\n\r\n\r\n");
    f.SetLink("SAVAUT55", "1");
    WriteFile(f.home + "/S_c_appli_donnees", "bloque");  // the backup folder cannot be made
    EXPECT_LT(Window().width(), 700);  // narrowed for the request
    Window().Timer(TimerId::Timer1)->stop();
    Window().Logic().OnTimer(TimerId::Timer1);

    QLabel* status = Find<QLabel>("Label5");
    EXPECT_EQ(status->text(), "Support plein ou absent !");
    EXPECT_FALSE(Find<QWidget>("Picture1")->isVisible());
    EXPECT_TRUE(status->isVisible());
    EXPECT_EQ(Window().width(), 860);  // the designed 12900 twips at 96 dpi
    for (const char* name : {"Command2", "Command3"}) {
        QPushButton* button = Find<QPushButton>(name);
        EXPECT_TRUE(button->isVisible()) << name;
        EXPECT_TRUE(Window().rect().contains(button->geometry())) << name;
    }
    ASSERT_TRUE(Window().Timer(TimerId::Timer2)->isActive());
    Window().Timer(TimerId::Timer2)->stop();
    EXPECT_EQ(f.Link("SAVAUT55"), "1");

    // The user clears the way and presses "Sauvegarder les DONNEES".
    kuv::platform::RemoveFile(f.home + "/S_c_appli_donnees");
    Find<QPushButton>("Command1")->click();
    EXPECT_TRUE(kuv::platform::IsRegularFile(f.home + "/S_c_appli_donnees/KuvSav-2701030905.zip"));
    ASSERT_TRUE(Window().Timer(TimerId::Timer2)->isActive());
    Window().Timer(TimerId::Timer2)->stop();
    Window().Logic().OnTimer(TimerId::Timer2);
    EXPECT_EQ(f.end.ends, 1);
    EXPECT_EQ(f.Link("SAVAUT55"), "");
}

// "Restaurer" reads the archives of the medium a backup may be writing, and
// the title bar's close would end the program in its middle: both, asked for
// during a backup, wait for its end.
TEST_F(MainWindowTest, RestaurerAndTheTitleBarsCloseWaitForTheBackupsEnd) {
    f.WriteIni("C:\\Appli\\Donnees\r\nE:\r\n\r\n\r\n");
    const std::string archive = f.medium + "/S_c_appli_donnees/KuvSav-2701030905.zip";
    MainWindowEnvironment env = FakeEnvironment(f);
    int opened = 0;
    bool archiveWhenOpened = false;
    env.openRestoreWindow = [&](QWidget*, const MainSettings&, const std::vector<platform::DriveEntry>&) {
        ++opened;
        archiveWhenOpened = kuv::platform::IsRegularFile(archive);
    };
    window = std::make_unique<kuvzipf1>(env);
    window->Load();
    window->show();
    bool clicked = false;
    f.pump.onDoEvents = [&] {
        if (clicked || !Window().Logic().BackupInProgress()) return;
        clicked = true;
        Find<QPushButton>("Command5")->click();
        EXPECT_FALSE(Window().close());
        EXPECT_TRUE(Window().isVisible());
        EXPECT_EQ(opened, 0);
        EXPECT_EQ(Window().Logic().WaitingCommands(),
                  (std::vector<std::string>{kCommandRestore, kCommandCloseWindow}));
    };
    QTest::mouseClick(Find<QPushButton>("Command1"), Qt::LeftButton);
    ASSERT_TRUE(clicked);
    EXPECT_EQ(opened, 1);
    EXPECT_TRUE(archiveWhenOpened);
    EXPECT_FALSE(Window().isVisible());
    EXPECT_TRUE(Window().Logic().WaitingCommands().empty());
}

}  // namespace
}  // namespace kuv::backup::testing

namespace kuv::backup::testing {
namespace {

// The linked program's command line is split as a shell splits it and
// started detached in the working folder.
TEST(QtProgramLauncher, SplitsQuotedArgumentsAndStartsInTheWorkingFolder) {
    EnsureApp();
    WindowFixture f;
    QtProgramLauncher launcher;
    EXPECT_TRUE(launcher.StartDetached("sh -c \"pwd > 'sortie du programme.txt'\"", f.work));
    const std::string out = f.work + "/sortie du programme.txt";
    for (int i = 0; i < 100 && ReadFile(out).empty(); ++i) QTest::qWait(50);
    EXPECT_EQ(ReadFile(out), f.work + "\n");
    EXPECT_FALSE(launcher.StartDetached("/nonexistent/appli.exe", f.work));
    EXPECT_FALSE(launcher.StartDetached("   ", f.work));
}

// "Quitter" with the linked program written as the linked application writes
// it, "C:\Appli\marque.sh" on drive c: (the home folder): the real program
// starts, in the working folder, with its arguments.
TEST(QtProgramLauncher, QuitStartsTheLinkedProgramThroughTheDriveList) {
    EnsureApp();
    WindowFixture f;
    kuv::platform::CreateFolderPath(f.home + "/Appli");
    const std::string script = f.home + "/Appli/marque.sh";
    WriteFile(script, "#!/bin/sh\n{ pwd; printf '%s|' \"$@\"; } > lance.txt\n");
    ASSERT_EQ(chmod(script.c_str(), 0755), 0);
    f.WriteIni("C:\\Appli\\Donnees\r\nE:\r\n#L#C:\\Appli\\marque.sh --base \"Compta 2027\"\r\n\r\n");
    QtProgramLauncher launcher;
    MainWindowLogic logic(MainWindowContext{f.view, f.gauge, f.dialog, f.clock, f.pump, f.timers, f.folders,
                                            f.drives, launcher, f.end, f.work, f.notifier});
    logic.Startup();
    logic.Quit();
    EXPECT_EQ(f.end.ends, 1);
    const std::string out = f.work + "/lance.txt";
    for (int i = 0; i < 100 && ReadFile(out).empty(); ++i) QTest::qWait(50);
    EXPECT_EQ(ReadFile(out), f.work + "\n--base|Compta 2027|");
}

}  // namespace
}  // namespace kuv::backup::testing

namespace kuv::backup::testing {
namespace {

// "Outils" through the real dialog form97: the user sees the linked program
// without its "#L#" prefix, keeps it as it is, and the file stores it once.
TEST(MainWindowWithForm97, OutilsUnchangedLinkedProgramIsStoredOnce) {
    EnsureApp();
    WindowFixture f;
    f.WriteIni("C:\\Appli\\Donnees\r\nE:\r\n#L#appli --base compta\r\n\r\n");
    kuv::Form97Dialog dialog;
    MainWindowEnvironment env = FakeEnvironment(f);
    env.dialog = &dialog;
    kuvzipf1 window(env);
    window.Load();
    window.show();

    // The user's answers, one per showing of form97: the field's default
    // answer is read, then "Oui" (questions) or "Valider" (the message).
    std::vector<QString> defaults, messages;
    QTimer user;
    user.setInterval(20);
    QObject::connect(&user, &QTimer::timeout, [&] {
        auto* shown = qobject_cast<kuv::form97*>(QApplication::activeModalWidget());
        if (!shown || shown->Answered()) return;
        auto* field = shown->findChild<QLineEdit*>("Text2");
        auto* text = shown->findChild<QLabel*>("text1");
        messages.push_back(text ? text->text() : QString());
        if (field && field->isVisible()) {
            defaults.push_back(field->text());
            shown->Press(kuv::DialogButton::Oui);
        } else {
            shown->Press(kuv::DialogButton::Valider);
        }
    });
    user.start();
    window.findChild<QPushButton*>("Command3")->click();
    user.stop();

    ASSERT_EQ(defaults.size(), 3u);
    EXPECT_EQ(defaults[0], "C:\\Appli\\Donnees");
    EXPECT_EQ(defaults[1], "E:");
    EXPECT_EQ(defaults[2], "appli --base compta");
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[3], "Votre sauvegarde est configurée, relancez votre logiciel de sauvegarde !");
    EXPECT_EQ(f.Ini(), "C:\\Appli\\Donnees\r\nE:\r\n#L#appli --base compta\r\n\r\n");
    EXPECT_EQ(f.end.ends, 1);
}

}  // namespace
}  // namespace kuv::backup::testing
