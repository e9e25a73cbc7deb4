// The real restore window kuvzipf2 offscreen, driven by mouse clicks and key
// presses, with the real dialog form97, input box and message boxes answered
// as a user answers them.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTableWidget>
#include <QTimer>
#include <QUrl>
#include <deque>
#include <functional>

#include "../ui/QtTestApp.h"
#include "RestoreFakes.h"
#include "ui/QtEnvironment.h"
#include "mainwindow/kuvzipf1_qt.h"
#include "tests/mainwindow/MainWindowEnvironmentFake.h"
#include "platform/Text.h"
#include "restore/BrowseLogic.h"
#include "restore/kuvzipf2_qt.h"
#include "ui/MakerPage.h"
#include "ui/form97_qt.h"

namespace kuv::restore::testing {

// Receives the addresses the main window's logo asks the desktop to open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.append(url); }
};

namespace {

// Answers the modal windows as they open, one scripted action each: form97,
// the input box, the message boxes. A window that opens with no action left
// is recorded and closed, so that a failing test ends.
class ModalScript {
public:
    using Action = std::function<void(QWidget*)>;
    ModalScript() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start();
    }
    void Then(Action a) { actions_.push_back(std::move(a)); }
    // form97: types text into the field (when given) and presses Enter.
    void Type(const QString& text) {
        Then([this, text](QWidget* w) {
            auto* field = w->findChild<QLineEdit*>("Text2");
            Record(w);
            QTest::keyClicks(field, text);
            QTest::keyClick(field, Qt::Key_Return);
        });
    }
    // form97: clicks the button of that name.
    void Click(const char* button) {
        Then([this, button](QWidget* w) {
            Record(w);
            QTest::mouseClick(w->findChild<QPushButton*>(button), Qt::LeftButton);
        });
    }
    void Record(QWidget* w) {
        if (auto* label = w->findChild<QLabel*>("text1")) texts.push_back(label->text());
    }
    bool Done() const { return actions_.empty(); }

    std::vector<QString> texts;    // form97's messages, in order
    std::vector<QString> strays;   // windows nothing was scripted for

private:
    void Poll() {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || w == handled_ || w->objectName() == "kuvzipf2") return;
        handled_ = w;
        if (actions_.empty()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            strays.push_back(w->objectName() + ": " + (box ? box->text() : QString()));
            if (auto* d = qobject_cast<QDialog*>(w)) {
                if (auto* f = qobject_cast<form97*>(w)) f->Press(DialogButton::Valider);
                else d->reject();
            }
            return;
        }
        Action a = std::move(actions_.front());
        actions_.pop_front();
        a(w);
    }

    QTimer timer_;
    QPointer<QWidget> handled_;
    std::deque<Action> actions_;
};

class Kuvzipf2Test : public RestoreFixture, public ::testing::Test {
protected:
    static void SetUpTestSuite() { kuv::testing::EnsureApp(); }
    void SetUp() override {
        kuvzipf2::SetBeep([this] { ++beeps; });
        WriteFile(data + "/compta.dat", "compta du jour");
        WriteFile(data + "/extra.txt", "pas dans la sauvegarde");
    }
    void TearDown() override { kuvzipf2::SetBeep(nullptr); }

    kuvzipf2& Window() {
        if (!window) {
            RestoreWindowEnvironment env;
            env.dialog = &formDialog;
            env.clock = &clock;
            env.pump = &qtPump;
            env.specialFolders = &folders;
            env.end = &end;
            env.programFolder = program;
            window = std::make_unique<kuvzipf2>(env, settings, drives.list);
            window->Load();
            window->show();
            QApplication::processEvents();
        }
        return *window;
    }
    template <typename T = QWidget>
    T* Find(const char* name) {
        T* w = Window().findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void Click(const char* button) { QTest::mouseClick(Find<QPushButton>(button), Qt::LeftButton); }
    // Clicks a row; open: then presses Enter on it, which opens it as a
    // double click does.
    void ClickRow(const char* list, int row, bool open = false) {
        auto* l = Find<QListWidget>(list);
        const QPoint at = l->visualItemRect(l->item(row)).center();
        QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, at);
        if (open) QTest::keyClick(l, Qt::Key_Return);
    }
    // A text as form97 shows it: its CR LF line breaks as one line break.
    static QString Shown(const std::string& text) {
        return QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    }
    int RowOf(const char* list, const std::string& archive) {
        auto* l = Find<QListWidget>(list);
        for (int i = 0; i < l->count(); ++i)
            if (l->item(i)->text().toStdString().find(archive) != std::string::npos) return i;
        return -1;
    }

    Form97Dialog formDialog;
    backup::QtEventPump qtPump;
    std::unique_ptr<kuvzipf2> window;
    int beeps = 0;
};

TEST_F(Kuvzipf2Test, ControlsCaptionsAndTheBackupsOfTheFolder) {
    for (const char* name : {"KuvSav-2612071015.zip", "kuvsav-2701030905.zip", "kuvchier.zip", "notes.zip",
                             "Kuv-Zip.ini"})
        WriteFile(backups + "/" + name, "x");
    Window();
    EXPECT_EQ(Window().windowTitle(), "Infos et Dézippage d'un fichier Zip avec zLib");
    const std::vector<std::pair<const char*, const char*>> captions = {
        {"Command5", "Restaurer la Sauvegarde Sélectionnée"},
        {"cdeExtraireTout", "Extrait &tous les fichiers"},
        {"cdeExtraireUnFichier", "&Extraire un seul fichier"},
        {"cmdLoadFileZ", "&Ouvrir fichier zippé sans le décompresser"},
        {"cdeVoirComment", "&Voir le commentaire du Zip"},
        {"cdeVoirContenuZip", "Voir le contenu du Zip (fenêtre de debug)"},
        {"Command2", "Quitter"},
        {"Command1", "OneDrive"},
        {"Command8", "Drop-Box"}};
    for (const auto& [name, text] : captions) EXPECT_EQ(Find<QPushButton>(name)->text(), QString::fromUtf8(text));
    const std::vector<std::pair<const char*, const char*>> labels = {
        {"Label5", "Attention, une restauration des données remplace les fichiers présents sur votre disque dur, par "
                   "les données enregistrées sur la sauvegarde."},
        {"Label7", "1) Recherchez votre repertoire de sauvegarde avec les fenêtres de gauche. (si vous utilisez le "
                   "même ordinateur le repertoire est automatiquement sélectionné)"},
        {"Label8", "2) Cliquez sur la sauvegarde choisie identifiée par la date et l'heure de sauvegarde."},
        {"Label9", "3) Confirmez la restauration en tapant 'OUI' et attendez le message qui vous signale la fin de la "
                   "restauration de vos données."},
        {"Label4", "Par sécurité vous pouvez effectuer une sauvegarde des données actuelles sur une autre clé USB."},
        {"Label6", "Restaurer les DONNEES"},
        {"Label1", "Tous les fichiers extraits seront placés dans le sous-répertoire \"Fichiers extraits\""},
        {"Label10", ""},
        {"lblNbFichiers", "0"}};
    for (const auto& [name, text] : labels) EXPECT_EQ(Find<QLabel>(name)->text(), QString::fromUtf8(text)) << name;
    Find<QLabel>("Label2");
    EXPECT_FALSE(Find<QWidget>("List2")->isVisible());
    EXPECT_FALSE(Find<QWidget>("File2")->isVisible());
    EXPECT_EQ(Find<QComboBox>("Drive1")->currentText(), "e: [CLE]");
    auto* file1 = Find<QListWidget>("File1");
    ASSERT_EQ(file1->count(), 3);
    EXPECT_EQ(file1->item(0)->text(), "kuvchier.zip");
    EXPECT_EQ(file1->item(2)->text(), "kuvsav-2701030905.zip");
    auto* list1 = Find<QListWidget>("List1");
    ASSERT_EQ(list1->count(), 3);
    EXPECT_EQ(list1->item(1)->text().left(38), "Sauvegarde du 07 Décembre 2026 à 10H15");
    EXPECT_EQ(list1->item(1)->text().size(), 150 + 21);
    EXPECT_EQ(list1->currentRow(), 2);
    EXPECT_EQ(Find<QLabel>("Label3")->text(), "Restaurer la Sauvegarde du 03 Janvier 2027 à 09H05");
    ClickRow("List1", 0);
    EXPECT_EQ(Find<QLabel>("Label3")->text(), "Restaurer la kuvchier.zip");
    // Dir1: a double click on the drive's root goes up, File1 follows.
    ClickRow("Dir1", 0, true);
    EXPECT_EQ(Window().Logic().FilesPath(), medium);
    EXPECT_EQ(list1->count(), 0);
}

TEST_F(Kuvzipf2Test, ASelectionThatDoesNotMoveTheCurrentRowIsTheOneRestored) {
    WriteBackup("KuvSav-2612071015.zip");
    WriteBackup("kuvsav-2701030905.zip", "la plus récente");
    Window();
    auto* list1 = Find<QListWidget>("List1");
    const int older = RowOf("List1", "KuvSav-2612071015.zip");
    ASSERT_NE(list1->currentRow(), older);
    // As an accessibility client does: the selection alone.
    list1->selectionModel()->select(list1->model()->index(older, 0), QItemSelectionModel::ClearAndSelect);
    ASSERT_NE(list1->currentRow(), older);
    EXPECT_EQ(Find<QLabel>("Label3")->text(), "Restaurer la Sauvegarde du 07 Décembre 2026 à 10H15");
    ModalScript script;
    script.Type("NON");
    Click("Command5");
    ASSERT_EQ(script.texts.size(), 1u);
    EXPECT_TRUE(script.texts[0].contains("Sauvegarde du 07 Décembre 2026 à 10H15")) << script.texts[0].toStdString();
}

TEST_F(Kuvzipf2Test, BrowseByDoubleClickAndButtonFilterChooseTwoRestore) {
    WriteBackup("KuvSav-2612071015.zip");
    Window();
    const int row = RowOf("List1", "KuvSav-2612071015.zip");
    ModalScript script;
    QString title;
    script.Then([&](QWidget* w) {
        title = w->windowTitle();
        qobject_cast<QDialog*>(w)->accept();
    });
    ClickRow("List1", row, true);  // opened as a double click opens it
    EXPECT_EQ(title, "Contenu de la sauvegarde du 07 Décembre 2026 à 10H15");

    int filtered = -1;
    script.Then([&](QWidget* w) {
        auto* table = w->findChild<QTableWidget*>("Contenu");
        QTest::keyClicks(w->findChild<QLineEdit*>("Filtre"), "NOTE");
        filtered = table->rowCount();
        w->findChild<QLineEdit*>("Filtre")->clear();
        table->sortItems(0);
        // compta.dat and docs/note.txt, by real clicks.
        for (int r = 0; r < table->rowCount(); ++r) {
            const QString name = table->item(r, 0)->text();
            if (name != "compta.dat" && name != "docs/note.txt") continue;
            const QPoint at = table->visualItemRect(table->item(r, 0)).center();
            QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::ControlModifier, at);
        }
        // Clicked once this action returns, so that the script answers the
        // confirmation and the message it opens.
        QTimer::singleShot(0, w, [w] { QTest::mouseClick(w->findChild<QPushButton*>("cdeRestaurerChoix"), Qt::LeftButton); });
    });
    script.Type("oui");
    script.Type("");
    script.Then([](QWidget* w) { qobject_cast<QDialog*>(w)->accept(); });
    Click("cdeParcourir");
    EXPECT_TRUE(script.Done());
    EXPECT_TRUE(script.strays.empty());
    EXPECT_EQ(filtered, 1);
    ASSERT_EQ(script.texts.size(), 2u);
    EXPECT_EQ(script.texts[0], Shown("Confirmez la récupération de 2 fichier(s)\r\n tapez 'OUI' pour confirmer ?"));
    EXPECT_TRUE(script.texts[1].startsWith(Shown(kChosenRestored))) << script.texts[1].toStdString();
    EXPECT_EQ(ReadFile(data + "/compta.dat"), "compta restaurée");
    EXPECT_EQ(ReadFile(data + "/docs/note.txt"), std::string(5000, 'n'));
    EXPECT_FALSE(kuv::platform::PathExists(data + "/clients.csv"));  // not chosen
    EXPECT_EQ(end.ends, 0);
}

TEST_F(Kuvzipf2Test, RestoreWithOuiTypedTwice) {
    WriteBackup("KuvSav-2612071015.zip");
    WriteBackup("kuvsav-2701030905.zip", "la plus récente");
    Window();
    ClickRow("List1", RowOf("List1", "KuvSav-2612071015.zip"));
    ModalScript script;
    script.Type("oui");
    script.Type("oui");
    script.Click("command3D0");
    Click("Command5");
    EXPECT_TRUE(script.Done());
    EXPECT_TRUE(script.strays.empty()) << script.strays.front().toStdString();
    ASSERT_EQ(script.texts.size(), 3u);
    EXPECT_EQ(script.texts[0], Shown("Confirmez la récupération de la \r\nSauvegarde du 07 Décembre 2026 à 10H15\r\n"
                                     "1 fichiers seront remplacés, 2 ajoutés, 0 identiques ; 1 fichiers du "
                                     "dossier ne sont pas dans la sauvegarde et resteront.\r\n "
                                     "tapez 'OUI' pour confirmer ?"));
    EXPECT_EQ(script.texts[2], Shown("Vos données ont été restaurées, Relancez votre logiciel !\r\nLes fichiers "
                                     "remplacés sont gardés dans : C:\\Appli\\Donnees\\Avant restauration 2701030905"));
    EXPECT_EQ(end.ends, 1);
    EXPECT_EQ(ReadFile(data + "/compta.dat"), "compta restaurée");
    EXPECT_EQ(ReadFile(data + "/clients.csv"), "Dupont;Lyon\r\nMartin;Brest\r\n");
    EXPECT_EQ(ReadFile(data + "/docs/note.txt"), std::string(5000, 'n'));
    EXPECT_EQ(ReadFile(data + "/extra.txt"), "pas dans la sauvegarde");
    EXPECT_EQ(ReadFile(data + "/Avant restauration 2701030905/compta.dat"), "compta du jour");
    std::time_t t = 0;
    kuv::platform::ModificationTime(data + "/compta.dat", t);
    EXPECT_EQ(t, kuv::platform::FromLocalDateTime({2026, 12, 7, 10, 15, 0}));
    EXPECT_EQ(Find<QLabel>("Label3")->text(), "Restauration terminée !");
}

struct Refusal {
    const char* name;
    bool atSecond;
    bool cancel;  // "Annuler" rather than Enter on "NON"
};

class Kuvzipf2RefusalTest : public Kuvzipf2Test, public ::testing::WithParamInterface<Refusal> {};

TEST_P(Kuvzipf2RefusalTest, NonOrAnnulerTouchesNothing) {
    WriteBackup("KuvSav-2612071015.zip");
    Window();
    const auto before = DataSnapshot();
    ModalScript script;
    if (GetParam().atSecond) script.Type("OUI");
    if (GetParam().cancel) script.Click("Command3d3");
    else script.Type("");  // Enter on the field holding "NON"
    Click("cdeExtraireTout");
    EXPECT_TRUE(script.Done());
    EXPECT_TRUE(script.strays.empty());
    EXPECT_EQ(script.texts.size(), GetParam().atSecond ? 2u : 1u);
    EXPECT_EQ(DataSnapshot(), before);
    EXPECT_EQ(end.ends, 0);
}

INSTANTIATE_TEST_SUITE_P(Answers, Kuvzipf2RefusalTest,
                         ::testing::Values(Refusal{"NonFirst", false, false}, Refusal{"AnnulerFirst", false, true},
                                           Refusal{"NonSecond", true, false}, Refusal{"AnnulerSecond", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Kuvzipf2Test, DamagedLastMemberAndMissingArchiveSayNothingWasRestored) {
    readertest::RawArchive a;
    a.members = {Dated("compta.dat", "compta restaurée", kDate, kTime),
                 Dated("zz.dat", std::string(30000, 'z'), kDate, kTime)};
    std::string bytes = a.Build();
    // The last member's data ends where the central directory begins.
    const size_t firstCentral = bytes.find(std::string("PK\x01\x02", 4));
    ASSERT_NE(firstCentral, std::string::npos);
    bytes[firstCentral - 4] = static_cast<char>(bytes[firstCentral - 4] ^ 0x5A);
    WriteFile(backups + "/KuvSav-2612071015.zip", bytes);
    Window();
    const auto before = DataSnapshot();
    {
        ModalScript script;
        script.Type("OUI");
        script.Type("OUI");
        script.Click("command3D0");
        Click("Command5");
        EXPECT_TRUE(script.Done());
        EXPECT_TRUE(script.strays.empty()) << script.strays.front().toStdString();  // no engine box
        ASSERT_EQ(script.texts.size(), 3u);
        EXPECT_TRUE(script.texts[2].startsWith(Shown(std::string(kDamaged) + "\r\nErreur ")))
            << script.texts[2].toStdString();
        EXPECT_TRUE(script.texts[2].contains("zz.dat"));
    }
    EXPECT_EQ(DataSnapshot(), before);
    EXPECT_EQ(end.ends, 0);
    EXPECT_TRUE(Find<QLabel>("Label3")->isVisible());
    EXPECT_FALSE(Find<QLabel>("Label2")->isVisible());

    kuv::platform::RemoveFile(backups + "/KuvSav-2612071015.zip");
    ModalScript again;
    again.Type("OUI");
    again.Type("OUI");
    again.Click("command3D0");
    Click("cdeExtraireTout");
    ASSERT_EQ(again.texts.size(), 3u);
    EXPECT_TRUE(again.texts[2].startsWith(Shown(std::string(kNotDone) + "\r\nErreur 10 - ")))
        << again.texts[2].toStdString();
    EXPECT_EQ(DataSnapshot(), before);
}

TEST_F(Kuvzipf2Test, DropboxModeShowsItsInformationLine) {
    WriteBackup("KuvSav-2612071015.zip");
    kuv::platform::CreateFolderPath(home + "/Dropbox");
    WriteFile(home + "/Dropbox/Info_sv_appli.txt", "Sauvegarde du : 07/12/2026 \xe0 09:53 - Dossier : kuvchier\r\n");
    Window();
    Click("Command8");
    auto* list2 = Find<QListWidget>("List2");
    EXPECT_TRUE(list2->isVisible());
    for (const char* hidden : {"Drive1", "Dir1", "List1"}) EXPECT_FALSE(Find<QWidget>(hidden)->isVisible()) << hidden;
    EXPECT_EQ(Find<QLabel>("Label10")->text(), "DROP");
    ASSERT_EQ(list2->count(), 1);
    EXPECT_EQ(list2->item(0)->text(), QString::fromUtf8("Sauvegarde du : 07/12/2026 à 09:53 - Dossier : kuvchier") +
                                          QString(100, QLatin1Char(' ')) + "Info_sv_appli.txt");
    EXPECT_EQ(list2->geometry().topLeft(), QPoint(Window().Logic().List1().empty() ? -1 : 28, 24));
    ClickRow("List2", 0);
    EXPECT_EQ(Find<QLabel>("Label3")->text(), "Restaurer la Sauvegarde du : 07/12/2026 à 09:53 - Dossier : kuvchier");
    Click("Command8");
    EXPECT_FALSE(list2->isVisible());
    EXPECT_TRUE(Find<QWidget>("List1")->isVisible());
    EXPECT_EQ(Find<QLabel>("Label10")->text(), "");
}

// Every control the user can reach lies wholly inside the window, and no two
// buttons cover each other, in both modes.
TEST_F(Kuvzipf2Test, ControlsLieInsideTheWindowAndButtonsDoNotOverlap) {
    kuv::platform::CreateFolderPath(home + "/Dropbox");
    for (int cloud = 0; cloud < 2; ++cloud) {
        if (cloud) Click("Command8");
        const QRect inside = Window().rect();
        std::vector<QWidget*> shown;
        for (QWidget* w : Window().findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (!w->isVisible()) continue;
            EXPECT_TRUE(inside.contains(w->geometry())) << w->objectName().toStdString() << " cloud " << cloud;
            if (qobject_cast<QPushButton*>(w)) shown.push_back(w);
        }
        for (size_t i = 0; i < shown.size(); ++i)
            for (size_t j = i + 1; j < shown.size(); ++j)
                EXPECT_FALSE(shown[i]->geometry().intersects(shown[j]->geometry()))
                    << shown[i]->objectName().toStdString() << " / " << shown[j]->objectName().toStdString();
    }
}

TEST_F(Kuvzipf2Test, SingleFileExtractionCommentAndMemberList) {
    WriteBackup("KuvSav-2612071015.zip");
    const std::string extracted = program + "/Fichiers extraits";
    kuv::platform::CreateFolderPath(extracted);
    WriteFile(extracted + "/clients.csv", "ancien");
    Window();
    ClickRow("File1", 0, true);
    EXPECT_EQ(Find<QLabel>("lblNbFichiers")->text(), "3");
    ModalScript script;
    std::vector<QString> prompts;
    auto typeNumber = [&](const char* text) {
        script.Then([&prompts, text](QWidget* w) {
            auto* box = qobject_cast<QInputDialog*>(w);
            ASSERT_NE(box, nullptr);
            prompts.push_back(box->labelText());
            auto* buttons = box->findChild<QDialogButtonBox*>();
            EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(), "Annuler");
            auto* field = box->findChild<QLineEdit*>();
            EXPECT_EQ(field->text(), "1");
            field->selectAll();
            QTest::keyClicks(field, text);
            QTest::keyClick(field, Qt::Key_Return);
        });
    };
    typeNumber("abc");
    typeNumber("0");
    typeNumber("2");
    for (int i = 0; i < 3; ++i) Click("cdeExtraireUnFichier");
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(beeps, 2);
    ASSERT_EQ(prompts.size(), 3u);
    EXPECT_TRUE(prompts[0].contains("Numéro compris entre 1 et 3")) << prompts[0].toStdString();
    EXPECT_EQ(ReadFile(extracted + "/clients.csv"), "Dupont;Lyon\r\nMartin;Brest\r\n");

    QString comment;
    script.Then([&comment](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        comment = box->text();
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    Click("cdeVoirComment");
    EXPECT_EQ(comment, "Sauvegarde C:\\Appli\\Donnees du 12-07-2026 - 10:15:00");

    static std::vector<QString> logged;
    logged.clear();
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext& c, const QString& m) {
        if (QString::fromLatin1(c.category) == "kuvzip.restore") logged.push_back(m);
    });
    Click("cdeVoirContenuZip");
    qInstallMessageHandler(previous);
    ASSERT_EQ(logged.size(), 3u);
    EXPECT_TRUE(logged[1].startsWith("2 : clients.csv - 07/12/2026 10:15:00 - ")) << logged[1].toStdString();
    EXPECT_TRUE(logged[2].contains(" octets (compressé) - 5000 octets (décompressé) - Taux = "));
    EXPECT_TRUE(script.strays.empty());
}

TEST_F(Kuvzipf2Test, FullSmallDiskLeavesTheDataFolderAsItWas) {
    const char* inner = std::getenv("KUVZIP_RESTORE_FULL_DISK");
    if (inner == nullptr) {
        if (std::system("unshare -m true 2>/dev/null") != 0) GTEST_SKIP() << "no private mount namespace here";
        // The test again, inside a private mount namespace where a 512 KiB
        // tmpfs holds the data folder.
        const std::string disk = root + "/disk";
        kuv::platform::CreateFolderPath(disk);
        const std::string self = std::string(KUVZIP_BIN_DIR) + "/test_restore";
        const std::string script = "mount -t tmpfs -o size=512k tmpfs '" + disk + "' || exit 77\n"
                                   "KUVZIP_RESTORE_FULL_DISK='" + disk + "' exec '" + self +
                                   "' --gtest_filter=Kuvzipf2Test.FullSmallDiskLeavesTheDataFolderAsItWas";
        WriteFile(root + "/run.sh", script);
        const int status = std::system(("unshare -m sh '" + root + "/run.sh' > '" + root + "/out.txt' 2>&1").c_str());
        if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "mounting a tmpfs is refused here";
        EXPECT_EQ(status, 0) << ReadFile(root + "/out.txt");
        EXPECT_NE(ReadFile(root + "/out.txt").find("[  PASSED  ] 1 test"), std::string::npos)
            << ReadFile(root + "/out.txt");
        return;
    }
    // Inside: the data folder on the small disk, 300 KB of it in use; the
    // backup needs 400 KB more.
    settings.dataFolder = std::string(inner) + "/Donnees";
    const std::string d = settings.dataFolder;
    kuv::platform::CreateFolderPath(d);
    std::string noise;
    for (int i = 0; i < 300000; ++i) noise += static_cast<char>((i * 7919 + i / 13) & 0xff);
    WriteFile(d + "/compta.dat", noise);
    WriteFile(d + "/petit.txt", "petit");
    readertest::RawArchive a;
    std::string big;
    unsigned x = 12345;
    for (int i = 0; i < 400000; ++i) big += static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
    a.members = {Dated("compta.dat", "nouvelle compta", kDate, kTime), Dated("gros.bin", big, kDate, kTime)};
    WriteArchive("KuvSav-2612071015.zip", a);
    Window();
    const auto before = readertest::Snapshot(d);
    ModalScript script;
    script.Type("OUI");
    script.Type("OUI");
    script.Click("command3D0");
    Click("Command5");
    ASSERT_EQ(script.texts.size(), 3u);
    // A full disk is told as such, with the engine's number and message.
    EXPECT_TRUE(script.texts[2].startsWith(QString::fromUtf8(kDiskFull))) << script.texts[2].toStdString();
    EXPECT_TRUE(script.texts[2].contains(QString::fromUtf8("Erreur 61 - Disque plein"))) << script.texts[2].toStdString();
    EXPECT_EQ(readertest::Snapshot(d), before);
    EXPECT_EQ(end.ends, 0);
}

// Pictures of the window for a person to look at: runs only when
// KUVZIP_SCREENSHOT_DIR names a folder and a real display is used, e.g.
//   KUVZIP_SCREENSHOT_DIR=/tmp/shots QT_QPA_PLATFORM=xcb xvfb-run -a build/bin/test_restore
//   --gtest_filter='*Screenshots*'
TEST_F(Kuvzipf2Test, Screenshots) {
    const char* dir = std::getenv("KUVZIP_SCREENSHOT_DIR");
    if (dir == nullptr || QGuiApplication::platformName() == "offscreen") GTEST_SKIP() << "no screenshot asked";
    WriteBackup("KuvSav-2612071015.zip");
    WriteBackup("kuvsav-2701030905.zip");
    WriteBackup("KuvSav-2608151200.zip");
    WriteFile(backups + "/notes.zip", "x");
    kuv::platform::CreateFolderPath(home + "/Dropbox");
    WriteFile(home + "/Dropbox/Info_sv_appli.txt", "Sauvegarde du : 07/12/2026 \xe0 09:53 - Dossier : kuvchier\r\n");
    WriteFile(home + "/Dropbox/Info_sv_compta.txt", "Sauvegarde du : 02/01/2027 \xe0 18:30 - Dossier : compta\r\n");
    // The older generations, dated by their files.
    for (const auto& [generation, day] : {std::pair<const char*, int>{"kuvchier.zip", 7}, {"kuvchier.zip.sv1", 5},
                                         {"kuvchier.zip.sv2", 1}}) {
        WriteFile(home + "/Dropbox/" + generation, "x");
        const std::time_t t = kuv::platform::FromLocalDateTime({2026, 12, day, 9, 53, 0});
        kuv::platform::SetFileTimes(home + "/Dropbox/" + generation, t, t);
    }
    Window();
    auto shoot = [&](const std::string& name) {
        for (int i = 0; i < 20; ++i) {
            QApplication::processEvents();
            QTest::qWait(25);
        }
        const std::string file = std::string(dir) + "/" + name;
        EXPECT_EQ(std::system(("import -window root '" + file + "'").c_str()), 0);
    };
    shoot("kuvzipf2-local.png");
    // The browse window with its filter in use.
    WriteFile(data + "/compta.dat", "compta ancienne");
    WriteFile(data + "/Compta 2025.xls", "tableau");
    ClickRow("List1", RowOf("List1", "KuvSav-2612071015.zip"));
    ModalScript script;
    script.Then([&](QWidget* w) {
        QTest::keyClicks(w->findChild<QLineEdit*>("Filtre"), "compta");
        shoot("kuvzipbrowse-filter.png");
        qobject_cast<QDialog*>(w)->accept();
    });
    Click("cdeParcourir");
    EXPECT_TRUE(script.Done());
    Click("Command8");
    ClickRow("List2", 1);
    shoot("kuvzipf2-dropbox.png");
}

TEST(MainWindowRestoreTest, RestaurerOpensTheRestoreWindowModallyAndTheLogoThePage) {
    kuv::testing::EnsureApp();
    backup::testing::WindowFixture f;
    f.WriteIni("C:\\Appli\\Donnees\r\nE:\r\n\r\n\r\n");
    kuv::platform::CreateFolderPath(f.medium + "/S_c_appli_donnees");
    WriteFile(f.medium + "/S_c_appli_donnees/KuvSav-2612071015.zip", "x");
    MainWindowEnvironment env = backup::testing::FakeEnvironment(f);
    RestoreWindowEnvironment restoreEnv{&f.dialog, &f.clock, &f.pump, &f.folders, &f.end, f.root};
    QString seenTitle;
    int seenEntries = -1;
    bool modal = false;
    env.openRestoreWindow = [&](QWidget* parent, const backup::MainSettings& s,
                                const std::vector<platform::DriveEntry>& d) {
        QTimer::singleShot(0, [&] {
            auto* w = qobject_cast<kuvzipf2*>(QApplication::activeModalWidget());
            ASSERT_NE(w, nullptr);
            modal = w->isModal() && w->parentWidget() != nullptr;
            seenTitle = w->windowTitle();
            seenEntries = w->findChild<QListWidget*>("List1")->count();
            QTest::mouseClick(w->findChild<QPushButton*>("Command2"), Qt::LeftButton);
        });
        OpenRestoreWindow(parent, restoreEnv, s, d);
    };
    kuvzipf1 window(env);
    window.Load();
    window.show();
    auto* command5 = window.findChild<QPushButton*>("Command5");
    ASSERT_NE(command5, nullptr);
    EXPECT_EQ(command5->text(), "Restaurer");
    EXPECT_EQ(command5->toolTip(), "Restauration des Fichiers");
    QTest::mouseClick(command5, Qt::LeftButton);
    EXPECT_TRUE(modal);
    EXPECT_EQ(seenTitle, "Infos et Dézippage d'un fichier Zip avec zLib");
    EXPECT_EQ(seenEntries, 1);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
    QTest::mouseClick(window.findChild<QLabel*>("logoc"), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls[0].toString(), QString::fromLatin1(kMakerPageAddress));
}

}  // namespace
}  // namespace kuv::restore::testing

#include "Kuvzipf2Test.moc"
