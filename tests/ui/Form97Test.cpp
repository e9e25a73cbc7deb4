// The real dialog form97, shown modally through its port and driven by key
// and mouse events while it waits for the answer.
#include <QAccessible>
#include <QApplication>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <functional>

#include <gtest/gtest.h>

#include "QtTestApp.h"
#include "ui/DialogPort.h"
#include "ui/MakerPage.h"
#include "ui/form97_qt.h"

namespace kuv {
namespace {

// Receives the addresses the logo asks the desktop to open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.append(url); }
};

class Form97Test : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::EnsureApp(); }

    void SetUp() override {
        beeps_ = 0;
        form97::SetBeep([this] { ++beeps_; });
    }
    void TearDown() override { form97::SetBeep(nullptr); }

    // Shows the dialog with mode and text through the port, runs drive on
    // the open window, and returns when the dialog is closed. A dialog
    // still open after a few seconds is closed so that a failing test ends.
    void Show(int mode, const std::string& text, const std::function<void(form97&)>& drive) {
        DialogMode = mode;
        DialogText = text;
        bool driven = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<form97*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            ASSERT_TRUE(dialog->isVisible());
            driven = true;
            drive(*dialog);
        });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] {
            if (QWidget* w = QApplication::activeModalWidget()) {
                ADD_FAILURE() << "the dialog did not close";
                static_cast<form97*>(w)->Press(DialogButton::Annuler);
            }
        });
        watchdog.start(5000);
        Form97Dialog port;
        port.ShowDialog();
        EXPECT_TRUE(driven);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        EXPECT_TRUE(qApp->findChildren<form97*>().isEmpty());
        for (QWidget* w : QApplication::topLevelWidgets()) EXPECT_EQ(qobject_cast<form97*>(w), nullptr);
    }

    template <class T = QWidget>
    static T* Child(form97& d, const char* name) {
        T* w = d.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    // Types text the test library has no key for (accented letters).
    static void TypeText(QWidget* w, const QString& text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
        QApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, text);
        QApplication::sendEvent(w, &release);
    }
    // Moves the mouse through the window system over the middle of w (or to
    // pos in the dialog), as a real pointer would.
    static void MoveOver(form97& d, QWidget* w) {
        QTest::mouseMove(d.windowHandle(), w->mapTo(&d, w->rect().center()));
    }
    static void MoveTo(form97& d, QPoint pos) { QTest::mouseMove(d.windowHandle(), pos); }
    static bool Shown(form97& d, const char* name) { return Child(d, name)->isVisible(); }

    int beeps_ = 0;
};

TEST_F(Form97Test, TypedOuiConfirmationComesBackInUpperCase) {
    Show(1129, "Restaurer les programmes, tapez 'OUI' pour confirmer ?|NON", [&](form97& d) {
        auto* field = Child<QLineEdit>(d, "Text2");
        EXPECT_TRUE(field->isVisible());
        EXPECT_EQ(field->text(), "NON");
        EXPECT_EQ(field->selectedText(), "NON");
        EXPECT_EQ(d.focusWidget(), field);
        EXPECT_EQ(Child<QLabel>(d, "text1")->text(), "Restaurer les programmes, tapez 'OUI' pour confirmer ?");
        EXPECT_TRUE(Shown(d, "command3D1"));
        EXPECT_TRUE(Shown(d, "Command3d3"));
        EXPECT_FALSE(Shown(d, "command3D0"));
        EXPECT_FALSE(Shown(d, "command3D2"));
        EXPECT_EQ(DialogMode, 1);  // the button set while open
        QTest::keyClicks(field, "oui");
        EXPECT_EQ(field->text(), "OUI");
        QTest::keyClick(field, Qt::Key_Return);  // Enter presses "Oui"
    });
    EXPECT_EQ(DialogText, "OUI");
    EXPECT_EQ(DialogMode, 6);
    EXPECT_EQ(beeps_, 0);
}

TEST_F(Form97Test, AnnulerAlwaysGivesEmptyText) {
    Show(129, "Entrez le chemin du repertoire à sauvegarder ?|/home/jean/data", [&](form97& d) {
        QTest::mouseClick(Child(d, "Command3d3"), Qt::LeftButton);
    });
    EXPECT_EQ(DialogText, "");
    EXPECT_EQ(DialogMode, 2);

    Show(129, "Chemin ?|/home/jean/data", [&](form97& d) {
        QTest::keyClick(Child(d, "Text2"), Qt::Key_Escape);
    });
    EXPECT_EQ(DialogText, "");
    EXPECT_EQ(DialogMode, 2);
}

TEST_F(Form97Test, OuiKeepsSpacesAndValiderTrimsThem) {
    Show(129, "Nom ?|", [&](form97& d) {
        QTest::keyClicks(Child(d, "Text2"), " abc ");
        QTest::mouseClick(Child(d, "command3D1"), Qt::LeftButton);
    });
    EXPECT_EQ(DialogText, " abc ");
    EXPECT_EQ(DialogMode, 6);

    // Input field without a button of set 0, 1 or 4: Enter in the field
    // presses "Valider".
    Show(130, "Nom ?|", [&](form97& d) {
        EXPECT_FALSE(Shown(d, "command3D0"));
        QTest::keyClicks(Child(d, "Text2"), "  abc  ");
        QTest::keyClick(Child(d, "Text2"), Qt::Key_Enter);
    });
    EXPECT_EQ(DialogText, "abc");
    EXPECT_EQ(DialogMode, 1);
}

TEST_F(Form97Test, SeveralBarsSplitAtTheFirstAndNoBarLeavesTheFieldEmpty) {
    Show(129, "Question ?|a|b|c", [&](form97& d) {
        EXPECT_EQ(Child<QLabel>(d, "text1")->text(), "Question ?");
        EXPECT_EQ(Child<QLineEdit>(d, "Text2")->text(), "a|b|c");
        QTest::keyClick(Child(d, "Text2"), Qt::Key_Return);
    });
    EXPECT_EQ(DialogText, "a|b|c");

    Show(129, "Question sans valeur ?", [&](form97& d) {
        EXPECT_EQ(Child<QLabel>(d, "text1")->text(), "Question sans valeur ?");
        EXPECT_EQ(Child<QLineEdit>(d, "Text2")->text(), "");
        QTest::mouseClick(Child(d, "command3D1"), Qt::LeftButton);
    });
    EXPECT_EQ(DialogText, "");
    EXPECT_EQ(DialogMode, 6);
}

TEST_F(Form97Test, DigitsOnlyBeepsAndUpperCaseWinsOverIt) {
    Show(10129, "Nombre ?|", [&](form97& d) {
        QTest::keyClicks(Child(d, "Text2"), "12a,5.x");
        QTest::keyClick(Child(d, "Text2"), Qt::Key_Backspace);
        QTest::keyClick(Child(d, "Text2"), Qt::Key_Return);
    });
    EXPECT_EQ(DialogText, "12,5");
    EXPECT_EQ(beeps_, 2);

    beeps_ = 0;
    Show(11129, "Code ?|", [&](form97& d) {
        QTest::keyClicks(Child(d, "Text2"), "ab1-");
        TypeText(Child(d, "Text2"), QStringLiteral("é"));
        QTest::keyClick(Child(d, "Text2"), Qt::Key_Return);
    });
    EXPECT_EQ(DialogText, "AB1-É");
    EXPECT_EQ(beeps_, 0);
}

TEST_F(Form97Test, PastedTextFollowsTheFieldsRule) {
    Show(10129, "Nombre ?|", [&](form97& d) {
        auto* field = Child<QLineEdit>(d, "Text2");
        field->insert(QStringLiteral("1a2,b3"));  // as a paste from the context menu
        emit field->textEdited(field->text());
        EXPECT_EQ(field->text(), "12,3");
        QTest::keyClick(field, Qt::Key_Return);
    });
    EXPECT_EQ(beeps_, 1);
    // Deleting from a default answer the rule would refuse does not beep.
    Show(10129, "Nombre ?|ab", [&](form97& d) {
        auto* field = Child<QLineEdit>(d, "Text2");
        field->setCursorPosition(2);
        QTest::keyClick(field, Qt::Key_Backspace);
        EXPECT_EQ(field->text(), "a");
        QTest::keyClick(field, Qt::Key_Return);
    });
    EXPECT_EQ(beeps_, 1);
    Show(1129, "Confirmer ?|", [&](form97& d) {
        auto* field = Child<QLineEdit>(d, "Text2");
        field->insert(QStringLiteral("oui"));
        emit field->textEdited(field->text());
        QTest::keyClick(field, Qt::Key_Return);
    });
    EXPECT_EQ(DialogText, "OUI");
}

TEST_F(Form97Test, MaskedInputShowsStarsAndAnswersInClear) {
    Show(100129, "Mot de passe ?|", [&](form97& d) {
        auto* field = Child<QLineEdit>(d, "Text2");
        QTest::keyClicks(field, "secret");
        EXPECT_EQ(field->echoMode(), QLineEdit::Password);
        EXPECT_EQ(field->displayText(), "******");
        QTest::keyClick(field, Qt::Key_Return);
    });
    EXPECT_EQ(DialogText, "secret");
}

TEST_F(Form97Test, ExactlyInputFlagShowsNoFieldAndNoButton) {
    for (int mode : {128, 1128}) {
        Show(mode, "Texte|défaut", [&](form97& d) {
            EXPECT_FALSE(Shown(d, "Text2"));
            for (const char* b : {"command3D0", "command3D1", "command3D2", "Command3d3"}) {
                EXPECT_FALSE(Shown(d, b)) << mode << " " << b;
            }
            EXPECT_EQ(Child<QLabel>(d, "text1")->text(), "Texte|défaut");
            QTest::keyClick(&d, Qt::Key_Return);  // nothing to press
            EXPECT_TRUE(d.isVisible());
            QTest::keyClick(&d, Qt::Key_Escape);  // the dialog can still be left
        });
        EXPECT_EQ(DialogText, "");
        EXPECT_EQ(DialogMode, 2);
    }
}

TEST_F(Form97Test, MessageAndYesNoSets) {
    Show(0, "Sauvegarde terminée !\n\rVérifiez le support.", [&](form97& d) {
        EXPECT_TRUE(Shown(d, "command3D0"));
        EXPECT_FALSE(Shown(d, "Text2"));
        EXPECT_EQ(Child<QLabel>(d, "text1")->text(), "Sauvegarde terminée !\nVérifiez le support.");
        QTest::keyClick(Child(d, "command3D0"), Qt::Key_Escape);  // Escape presses "Valider"
    });
    EXPECT_EQ(DialogMode, 1);
    EXPECT_EQ(DialogText, "");

    Show(132, "Continuer ?|valeur", [&](form97& d) {
        EXPECT_TRUE(Shown(d, "command3D1"));
        EXPECT_TRUE(Shown(d, "command3D2"));
        QTest::keyClick(Child(d, "Text2"), Qt::Key_Escape);  // Escape presses "Non"
    });
    EXPECT_EQ(DialogMode, 7);
    EXPECT_EQ(DialogText, "Continuer ?");

    Show(4, "Continuer ?", [&](form97& d) { QTest::keyClick(&d, Qt::Key_Enter); });
    EXPECT_EQ(DialogMode, 6);
}

TEST_F(Form97Test, TitleBarCloseAnswersAsEscape) {
    Show(129, "Chemin ?|x", [&](form97& d) { d.close(); });
    EXPECT_EQ(DialogMode, 2);
    EXPECT_EQ(DialogText, "");
    Show(4, "Continuer ?", [&](form97& d) { d.close(); });
    EXPECT_EQ(DialogMode, 7);
}

TEST_F(Form97Test, StatusLineFollowsTheMouse) {
    Show(129, "Chemin ?|x", [&](form97& d) {
        auto* status = Child<QLabel>(d, "Label1");
        EXPECT_EQ(status->text(), "Attente de réponse");
        MoveOver(d, Child(d, "command3D1"));
        EXPECT_EQ(status->text(), "OUI / Valider");
        MoveOver(d, Child(d, "Command3d3"));
        EXPECT_EQ(status->text(), "NON / Annuler");
        MoveTo(d, QPoint(d.width() / 2, 195));  // the background between panel and buttons
        EXPECT_EQ(status->text(), "Attente de réponse");
        QTest::mouseClick(Child(d, "Command3d3"), Qt::LeftButton);
    });
    Show(0, "Message", [&](form97& d) {
        MoveOver(d, Child(d, "command3D0"));
        EXPECT_EQ(Child<QLabel>(d, "Label1")->text(), "OK / VALIDER");
        QTest::mouseClick(Child(d, "command3D0"), Qt::LeftButton);
    });
    Show(4, "Message", [&](form97& d) {
        MoveOver(d, Child(d, "command3D2"));
        EXPECT_EQ(Child<QLabel>(d, "Label1")->text(), "NON / Annuler");
        QTest::mouseClick(Child(d, "command3D2"), Qt::LeftButton);
    });
    EXPECT_EQ(DialogMode, 7);
}

TEST_F(Form97Test, LogoOpensTheMakersPageAndTheDialogStaysOpen) {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
    Show(129, "Chemin ?|garde", [&](form97& d) {
        auto* logo = Child<QLabel>(d, "Image1");
        EXPECT_FALSE(logo->pixmap().isNull());
        QTest::mouseClick(logo, Qt::LeftButton);
        EXPECT_TRUE(d.isVisible());
        ASSERT_EQ(catcher.urls.size(), 1);
        EXPECT_EQ(catcher.urls.front(), QUrl(QString::fromLatin1(kMakerPageAddress)));
        EXPECT_EQ(Child<QLineEdit>(d, "Text2")->text(), "garde");
        // From the keyboard: Tab reaches the logo, Space opens the page.
        QTest::keyClick(logo, Qt::Key_Space);
        EXPECT_EQ(catcher.urls.size(), 2);
        QTest::keyClick(Child(d, "Text2"), Qt::Key_Return);
    });
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    EXPECT_EQ(DialogText, "garde");
    EXPECT_EQ(DialogMode, 6);
}

TEST_F(Form97Test, ControlsCarryAccessibleNames) {
    Show(129, "Entrez le chemin ?|x", [&](form97& d) {
        auto name = [](QWidget* w) {
            QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
            return iface ? iface->text(QAccessible::Name) : QStringLiteral("<none>");
        };
        EXPECT_EQ(name(Child(d, "command3D1")), "Oui");
        EXPECT_EQ(name(Child(d, "Command3d3")), "Annuler");
        EXPECT_EQ(name(Child(d, "command3D0")), "Valider");
        EXPECT_EQ(name(Child(d, "command3D2")), "Non");
        EXPECT_FALSE(Child<QPushButton>(d, "command3D1")->icon().isNull());  // picture beside the caption
        EXPECT_EQ(name(Child(d, "Text2")), "Entrez le chemin ?");
        EXPECT_FALSE(name(Child(d, "Image1")).isEmpty());
        EXPECT_FALSE(name(Child(d, "ccb_0")).isEmpty());
        EXPECT_TRUE(Child(d, "Image1")->focusPolicy() & Qt::TabFocus);
        QTest::keyClick(Child(d, "Text2"), Qt::Key_Escape);
    });
}

}  // namespace
}  // namespace kuv

#include "Form97Test.moc"
