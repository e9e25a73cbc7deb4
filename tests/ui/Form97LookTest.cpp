// What the dialog looks like: grabbed offscreen in the three modes the
// program uses. The pictures are written to $KUVZIP_SCREENSHOT_DIR when it is
// set, for a person to look at.
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QTimer>

#include <gtest/gtest.h>

#include "QtTestApp.h"
#include "ui/DialogPort.h"
#include "ui/ImageStore_qt.h"
#include "ui/form97_qt.h"

namespace kuv {
namespace {

QImage GrabDialog(int mode, const std::string& text, const char* fileName) {
    testing::EnsureApp();
    DialogMode = mode;
    DialogText = text;
    QImage image;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<form97*>(QApplication::activeModalWidget());
        if (!dialog) return;
        image = dialog->grab().toImage();
        const QString dir = qEnvironmentVariable("KUVZIP_SCREENSHOT_DIR");
        if (!dir.isEmpty()) image.save(QDir(dir).filePath(QString::fromLatin1(fileName)));
        dialog->Press(DialogButton::Annuler);
    });
    Form97Dialog port;
    port.ShowDialog();
    return image;
}

bool Near(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) < 24 && std::abs(qGreen(a) - qGreen(b)) < 24 &&
           std::abs(qBlue(a) - qBlue(b)) < 24;
}

TEST(Form97Look, FrameLogoAndButtonsAreDrawn) {
    testing::EnsureApp();
    icc::ResetLogo();
    struct Case { int mode; const char* text; const char* file; };
    const Case cases[] = {
        {0, "Sauvegarde terminée !", "form97-mode0.png"},
        {129, "Entrez le chemin du repertoire à sauvegarder ?|/home/jean/Données", "form97-mode129.png"},
        {1129, "Les données actuelles seront remplacées, tapez 'OUI' pour confirmer ?|NON",
         "form97-mode1129.png"},
        {0, "La sauvegarde a échoué : Support plein : 312,4 Mo nécessaires, 120,5 Mo disponibles.",
         "form97-support-plein.png"},
        {1129, "Support plein : 312,4 Mo nécessaires, 120,5 Mo disponibles.\n\r\n\rLes 2 plus anciennes "
               "sauvegardes, du 20/11/2026 10:00 au 01/12/2026 10:00, seront supprimées pour faire de la place."
               "\n\rTapez 'OUI' pour confirmer ?|NON",
         "form97-faire-de-la-place.png"},
    };
    for (const Case& c : cases) {
        const QImage image = GrabDialog(c.mode, c.text, c.file);
        ASSERT_FALSE(image.isNull()) << c.mode;
        const qreal r = image.devicePixelRatio();
        auto at = [&](int x, int y) { return image.pixel(qRound(x * r), qRound(y * r)); };
        // The frame's dark band along the left and bottom edges.
        EXPECT_TRUE(Near(at(4, 140), qRgb(0x1F, 0x4E, 0x79))) << c.mode;
        EXPECT_TRUE(Near(at(270, 276), qRgb(0x1F, 0x4E, 0x79))) << c.mode;
        // The logo's blue in its box.
        EXPECT_TRUE(Near(at(84, 40), qRgb(0x2B, 0x7B, 0xC0)) || Near(at(84, 40), qRgb(0x25, 0x6A, 0xA8)))
            << c.mode;
        // The background of the message panel is white.
        EXPECT_EQ(at(300, 185), qRgb(255, 255, 255)) << c.mode;
    }
}

TEST(Form97Look, LongMessageTakesSmallerTypeInsteadOfBeingCut) {
    testing::EnsureApp();
    std::string message;
    for (int i = 1; i <= 11; ++i) message += "Ligne " + std::to_string(i) + " du rapport de sauvegarde\n\r";
    DialogMode = 0;
    DialogText = message;
    bool checked = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<form97*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* text1 = dialog->findChild<QLabel*>(QStringLiteral("text1"));
        ASSERT_NE(text1, nullptr);
        EXPECT_LE(text1->heightForWidth(text1->width()), text1->height());
        EXPECT_LT(text1->font().pointSize(), 11);
        const QString dir = qEnvironmentVariable("KUVZIP_SCREENSHOT_DIR");
        if (!dir.isEmpty()) dialog->grab().save(QDir(dir).filePath(QStringLiteral("form97-long.png")));
        checked = true;
        dialog->Press(DialogButton::Valider);
    });
    Form97Dialog port;
    port.ShowDialog();
    EXPECT_TRUE(checked);
}

}  // namespace
}  // namespace kuv
