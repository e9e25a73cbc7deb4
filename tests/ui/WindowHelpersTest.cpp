// Window helpers, the image store, the special folders and Qt's French.
#include <QAccessible>
#include <QDialogButtonBox>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLibraryInfo>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>
#include <cstdlib>

#include <gtest/gtest.h>

#include "QtTestApp.h"
#include "ui/ImageStore_qt.h"
#include "ui/UserFolders.h"
#include "ui/Translation_qt.h"
#include "ui/Twips.h"
#include "ui/WindowHelpers_qt.h"

namespace kuv {
namespace {

class WindowHelpersTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::EnsureApp(); }
};

TEST(Twips, FifteenToAPixelAt96DpiScaledByDpi) {
    EXPECT_DOUBLE_EQ(TwipsToPixels(480), 32.0);
    EXPECT_DOUBLE_EQ(TwipsToPixels(15), 1.0);
    EXPECT_DOUBLE_EQ(TwipsToPixels(480, 144), 48.0);
    EXPECT_DOUBLE_EQ(PixelsToTwips(32), 480.0);
    EXPECT_DOUBLE_EQ(PixelsToTwips(TwipsToPixels(10065, 120), 120), 10065.0);
}

TEST_F(WindowHelpersTest, FramePiecesFollowTheTableAndStayBehind) {
    QWidget window;
    window.resize(600, 400);
    auto* button = new QPushButton(QStringLiteral("Quitter"), &window);
    button->setGeometry(0, 0, 100, 30);  // overlaps the top-left corner
    DressWindowFrame(&window);
    const double dpi = window.logicalDpiX();
    const int c = qRound(TwipsToPixels(480, dpi));
    const int w = 600, h = 400;
    const QRect expected[8] = {
        {0, 0, c, c}, {w - c, 0, c, c}, {w - c, h - c, c, c}, {0, h - c, c, c},
        {0, c, c, h - 2 * c}, {c, 0, w - 2 * c, c}, {w - c, c, c, h - 2 * c}, {c, h - c, w - 2 * c, c},
    };
    const QObjectList& order = window.children();
    for (int i = 0; i < 8; ++i) {
        auto* piece = window.findChild<QLabel*>(CcbPieceName(i));
        ASSERT_NE(piece, nullptr) << i;
        EXPECT_EQ(piece->geometry(), expected[i]) << i;
        EXPECT_FALSE(piece->pixmap().isNull()) << i;
        EXPECT_LT(order.indexOf(piece), order.indexOf(button)) << i;  // behind the button
    }
    // Dressing again (a second load) reuses the same 8 pieces.
    DressWindowFrame(&window);
    EXPECT_EQ(window.findChildren<QLabel*>().size(), 8);
    window.show();
    EXPECT_EQ(window.childAt(10, 10), button);
}

TEST_F(WindowHelpersTest, CentreWindowUsesTheScreensSize) {
    QWidget window;
    window.resize(200, 100);
    CentreWindow(&window);
    const QRect screen = window.screen()->geometry();
    EXPECT_EQ(window.x(), screen.x() + (screen.width() - 200) / 2);
    EXPECT_EQ(window.y(), screen.y() + (screen.height() - 100) / 2);
}

TEST_F(WindowHelpersTest, ImageStoreHasEveryNumberedPicture) {
    for (int n : {2, 3, 36, 60, 67, 68, 94, 248, 250, 251, 252, 253, 254}) {
        const QPixmap p = icc::p11(n);
        ASSERT_FALSE(p.isNull()) << n;
        EXPECT_EQ(p.deviceIndependentSize().toSize(), QSize(24, 24)) << n;
        EXPECT_FALSE(icc::p11Icon(n).isNull()) << n;
        EXPECT_FALSE(icc::p11Name(n).isEmpty()) << n;
        // Drawn, not blank: the middle of every picture is painted.
        const QImage image = p.toImage();
        int painted = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) painted += qAlpha(image.pixel(x, y)) > 0;
        EXPECT_GT(painted, image.width() * image.height() / 8) << n;
    }
    for (int n : {0, 1, 4, 59, 100, -1}) EXPECT_TRUE(icc::p11(n).isNull()) << n;
    for (int n = 0; n <= 4; ++n) {
        EXPECT_EQ(icc::Image1(n).deviceIndependentSize().toSize(), QSize(32, 32)) << n;
        EXPECT_FALSE(icc::Image1Name(n).isEmpty()) << n;
    }
    EXPECT_TRUE(icc::Image1(5).isNull());
    for (int i = 0; i < 8; ++i) EXPECT_FALSE(icc::ccb(i).isNull()) << i;
    EXPECT_TRUE(icc::ccb(8).isNull());
    EXPECT_EQ(icc::kuvbb1(240, 20).deviceIndependentSize().toSize(), QSize(240, 20));
    EXPECT_EQ(icc::kuvbb2(240, 20).deviceIndependentSize().toSize(), QSize(240, 20));
    // The lamps differ: off, on and failed are told apart at a glance.
    const QImage off = icc::p11(36).toImage(), on = icc::p11(67).toImage(), failed = icc::p11(68).toImage();
    EXPECT_NE(off, on);
    EXPECT_NE(on, failed);
}

TEST_F(WindowHelpersTest, LogoComesFromThePictureFileWhenThereIsOne) {
    icc::ResetLogo();
    EXPECT_EQ(icc::logoc().deviceIndependentSize().toSize(), QSize(96, 96));
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("fc_img_024.gif"));
    EXPECT_FALSE(icc::LoadLogo(file));  // missing: unchanged
    EXPECT_EQ(icc::logoc().deviceIndependentSize().toSize(), QSize(96, 96));
    {
        QFile junk(file);
        ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
        junk.write("not a picture");
    }
    EXPECT_FALSE(icc::LoadLogo(file));
    QImage picture(50, 40, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(file, "PNG"));  // the content decides, not the name
    EXPECT_TRUE(icc::LoadLogo(file));
    EXPECT_EQ(icc::logoc().size(), QSize(50, 40));
    icc::ResetLogo();
}

TEST(SpecialFolders, DesktopProfileAndUnknown) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QByteArray oldHome = qgetenv("HOME");
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());

    EXPECT_EQ(SpecialFolderPath(kFolderProfile), QDir::cleanPath(home.path()).toStdString());
    EXPECT_EQ(SpecialFolderPath(kFolderDesktop), "");  // no desktop folder yet
    ASSERT_TRUE(QDir(home.path()).mkdir(QStringLiteral("Desktop")));
    EXPECT_EQ(SpecialFolderPath(kFolderDesktop), QDir::cleanPath(home.path() + "/Desktop").toStdString());
    // A French desktop named in the user's folder settings.
    ASSERT_TRUE(QDir(home.path()).mkpath(QStringLiteral(".config")));
    ASSERT_TRUE(QDir(home.path()).mkdir(QStringLiteral("Bureau")));
    {
        QFile dirs(home.path() + "/.config/user-dirs.dirs");
        ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
        dirs.write("XDG_DESKTOP_DIR=\"$HOME/Bureau\"\n");
    }
    EXPECT_EQ(SpecialFolderPath(kFolderDesktop), QDir::cleanPath(home.path() + "/Bureau").toStdString());
    EXPECT_EQ(SystemSpecialFolders().SpecialFolderPath(kFolderProfile), SpecialFolderPath(kFolderProfile));
    for (int unknown : {1, 5, 26, 39, 41, -1}) EXPECT_EQ(SpecialFolderPath(unknown), "") << unknown;

    qputenv("HOME", oldHome);
    if (oldConfig.isEmpty()) qunsetenv("XDG_CONFIG_HOME"); else qputenv("XDG_CONFIG_HOME", oldConfig);
}

TEST_F(WindowHelpersTest, QtsOwnButtonsSpeakFrench) {
    const QString file = QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_fr.qm";
    ASSERT_TRUE(QFile::exists(file)) << file.toStdString() << ": package qt6-translations-l10n";
    ASSERT_TRUE(LoadQtFrenchTranslation(qApp));
    QDialogButtonBox box(QDialogButtonBox::Cancel | QDialogButtonBox::Yes | QDialogButtonBox::No);
    EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text().remove('&'), "Annuler");
    EXPECT_EQ(box.button(QDialogButtonBox::Yes)->text().remove('&'), "Oui");
    EXPECT_EQ(box.button(QDialogButtonBox::No)->text().remove('&'), "Non");
    EXPECT_FALSE(LoadQtFrenchTranslation(nullptr));
}

}  // namespace
}  // namespace kuv
