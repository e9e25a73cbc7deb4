// The main window and form97 as the user sees them after the runs that must
// not pass for a success: a file the engine refuses, a write that fails, a
// requested backup that fails. Each message is checked and the whole screen
// is saved as a PNG beside the build (screens/), to be looked at; run under
// Xvfb (QT_QPA_PLATFORM=xcb) the pictures are those of a real X display.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include "MainWindowFakes.h"
#include "tests/ui/QtTestApp.h"
#include "mainwindow/kuvzipf1_qt.h"
#include "ui/form97_qt.h"

namespace kuv::backup::testing {
namespace {

using kuv::testing::EnsureApp;

QString ScreensFolder() {
    const QString folder = QDir(QString::fromUtf8(KUVZIP_BIN_DIR)).filePath("../screens");
    QDir().mkpath(folder);
    return folder;
}

bool SaveScreen(const QString& name) {
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen && screen->grabWindow(0).save(QDir(ScreensFolder()).filePath(name));
}

class MainWindowScreens : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApp();
        WriteFile(f.data + "/compta.dat", "écritures de janvier");
        WriteFile(f.data + "/Clients.csv", "Dupont;Lyon\r\n");
        WriteFile(f.data + "/vide.dat", "");
        kuv::platform::CreateFolderPath(f.data + "/Archives");
    }
    void TearDown() override { user.stop(); }

    kuvzipf1& Window() {
        if (!window) {
            MainWindowEnvironment env;
            env.dialog = &dialog;
            env.clock = &f.clock;
            env.pump = &f.pump;
            env.specialFolders = &f.folders;
            env.drives = &f.drives;
            env.launcher = &f.launcher;
            env.end = &f.end;
            env.workingFolder = f.work;
            window = std::make_unique<kuvzipf1>(env);
            window->Load();
            window->show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        }
        return *window;
    }

    // Each form97 that opens is read, saved on screen as shot (the first
    // one only) once painted, then answered "Valider".
    void AnswerDialogs(const QString& shot) {
        messages.clear();
        int seen = 0;
        QObject::disconnect(&user, nullptr, nullptr, nullptr);
        QObject::connect(&user, &QTimer::timeout, [this, shot, seen]() mutable {
            auto* shown = qobject_cast<kuv::form97*>(QApplication::activeModalWidget());
            if (!shown || shown->Answered()) return;
            if (++seen < 10) return;  // let it paint
            seen = 0;
            auto* text = shown->findChild<QLabel*>("text1");
            messages.push_back(text ? text->text() : QString());
            if (messages.size() == 1) {
                if (window) window->repaint();
                shown->repaint();
                saved = SaveScreen(shot);
            }
            shown->Press(kuv::DialogButton::Valider);
        });
        user.start(20);
    }

    WindowFixture f;
    kuv::Form97Dialog dialog;
    std::unique_ptr<kuvzipf1> window;
    QTimer user;
    std::vector<QString> messages;
    bool saved = false;
};

TEST_F(MainWindowScreens, ARefusedFile) {
    f.WriteIni("C:\\Appli\\Donnees\r\nE:\r\n\r\n\r\n");
    WriteFile(f.data + "/devis\\2027.txt", "un nom qu'une archive ne peut pas rendre");
    Window();
    AnswerDialogs("refused-file.png");
    Window().findChild<QPushButton*>("Command1")->click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Sauvegarde terminée, mais 1 fichiers n'ont pas pu être sauvegardés : voir rapport.txt !");
    EXPECT_EQ(Window().LampPicture(3), kLampFailed);
    EXPECT_TRUE(saved);
    EXPECT_TRUE(Window().grab().save(QDir(ScreensFolder()).filePath("refused-file-window.png")));
}

TEST_F(MainWindowScreens, AFailedWrite) {
    f.WriteIni("C:\\Appli\\Donnees\r\nE:\r\n\r\n\r\n");
    WriteFile(f.medium + "/S_c_appli_donnees", "bloque");
    Window();
    AnswerDialogs("failed-write.png");
    Window().findChild<QPushButton*>("Command1")->click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "La sauvegarde a échoué : Support plein ou absent !");
    EXPECT_EQ(Window().findChild<QLabel*>("Label5")->text(), "Support plein ou absent !");
    EXPECT_TRUE(saved);
}

TEST_F(MainWindowScreens, AFailedRequestedBackup) {
    f.WriteIni("C:\\Appli\\Donnees\r\nE:\r\n\r\n\r\n");
    f.SetLink("SAVAUT55", "1");
    WriteFile(f.home + "/S_c_appli_donnees", "bloque");
    Window();
    AnswerDialogs("failed-request-message.png");
    Window().Timer(TimerId::Timer1)->stop();
    Window().Logic().OnTimer(TimerId::Timer1);
    ASSERT_EQ(messages.size(), 2u);  // the C: warning, then the failure
    EXPECT_EQ(messages[1], "La sauvegarde a échoué : Support plein ou absent !");
    QTest::qWait(200);
    EXPECT_FALSE(Window().findChild<QWidget*>("Picture1")->isVisible());
    EXPECT_TRUE(Window().findChild<QPushButton*>("Command2")->isVisible());
    EXPECT_TRUE(SaveScreen("failed-request.png"));
}

}  // namespace
}  // namespace kuv::backup::testing
