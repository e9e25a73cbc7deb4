// The main window on the machine's real drive list: a medium mounted under
// /media while the window is open shows up in the destination list within
// two seconds, and goes away as fast when it is unmounted. The test runs
// again inside a private mount namespace, where it mounts a small tmpfs.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <cstdlib>
#include <functional>
#include <string>

#include "MainWindowEnvironmentFake.h"
#include "MainWindowFakes.h"
#include "mainwindow/DestinationList.h"
#include "mainwindow/kuvzipf1_qt.h"
#include "platform/QtDrives.h"
#include "tests/ui/QtTestApp.h"

namespace kuv::backup::testing {
namespace {

constexpr const char* kInnerMedium = "KUVZIP_DRIVE_WATCH_MEDIUM";

// Lets the window live until done() holds or limitMs passed; the time taken.
qint64 WaitFor(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs) QTest::qWait(20);
    return clock.elapsed();
}

// Outside: a mount point under /media, and the test again in a private
// mount namespace (nothing mounted there is seen by the rest of the
// machine, and it all goes when the namespace ends).
void RunInPrivateNamespace(const std::string& scratch) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
    if (std::system("unshare -m true 2>/dev/null") != 0) GTEST_SKIP() << "no private mount namespace here";
    const bool madeMedia = ::mkdir("/media", 0755) == 0;
    std::string point = "/media/kuvzip-essai-XXXXXX";
    if (mkdtemp(point.data()) == nullptr) {
        if (madeMedia) ::rmdir("/media");
        GTEST_SKIP() << "no mount point can be made under /media";
    }
    const std::string self = std::string(KUVZIP_BIN_DIR) + "/test_mainwindow";
    WriteFile(scratch + "/run.sh",
              "mount -t tmpfs -o size=1m tmpfs '" + point + "' && umount '" + point + "' || exit 77\n" +
                  kInnerMedium + "='" + point + "' exec '" + self +
                  "' --gtest_filter=DriveWatchWindow.AMediumUnderMediaComesAndGoesWithinTwoSeconds\n");
    const int status = std::system(("unshare -m sh '" + scratch + "/run.sh' > '" + scratch + "/out.txt' 2>&1").c_str());
    ::rmdir(point.c_str());
    if (madeMedia) ::rmdir("/media");
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "mounting a tmpfs is refused here";
    const std::string out = ReadFile(scratch + "/out.txt");
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("[  PASSED  ] 1 test"), std::string::npos) << out;
}

TEST(DriveWatchWindow, AMediumUnderMediaComesAndGoesWithinTwoSeconds) {
    WindowFixture f;
    const char* inner = std::getenv(kInnerMedium);
    if (inner == nullptr) {
        RunInPrivateNamespace(f.root);
        return;
    }
    const std::string point = inner;
    kuv::testing::EnsureApp();
    f.WriteIni("\r\nC:\r\n\r\n\r\n");
    kuv::platform::QtDriveSource machine;
    MainWindowEnvironment env = FakeEnvironment(f);
    env.drives = &machine;
    kuvzipf1 window(env);
    window.Load();
    window.show();
    QComboBox* combo = window.findChild<QComboBox*>(QStringLiteral("Combo1"));
    QLabel* status = window.findChild<QLabel*>(QStringLiteral("Label5"));
    QLineEdit* text1 = window.findChild<QLineEdit*>(QStringLiteral("Text1"));
    ASSERT_TRUE(combo && status && text1);
    const QString label = "[" + QFileInfo(QString::fromStdString(point)).fileName() + "]";
    const auto entry = [&] {
        for (int i = 0; i < combo->count(); ++i)
            if (combo->itemText(i).contains(label)) return i;
        return -1;
    };
    ASSERT_EQ(entry(), -1);
    ASSERT_TRUE(combo->currentText().startsWith("C: "));
    window.SetStatus("Support plein ou absent !");

    // Plugged in.
    struct Unmount {
        std::string point;
        bool mounted = false;
        ~Unmount() {
            if (mounted) umount2(point.c_str(), MNT_DETACH);
        }
    } guard{point};
    ASSERT_EQ(mount("tmpfs", point.c_str(), "tmpfs", 0, "size=1m"), 0);
    guard.mounted = true;
    EXPECT_LE(WaitFor([&] { return entry() >= 0; }, 4000), 2000);
    const int index = entry();
    ASSERT_GT(index, 1);
    // Lettered as the machine's drive list letters it, a RAM disk.
    std::string expected;
    for (const kuv::platform::DriveEntry& drive : machine.Drives())
        if (drive.rootPath == point) expected = DestinationText(drive.text, "Disque Ram ");
    EXPECT_EQ(combo->itemText(index).toStdString(), expected);
    // The user's destination and the status line are as they were.
    EXPECT_TRUE(combo->currentText().startsWith("C: "));
    EXPECT_EQ(status->text(), "Support plein ou absent !");

    // The user chooses it; then it is pulled out.
    combo->setCurrentIndex(index);
    emit combo->activated(index);
    const std::string root = window.Logic().Settings().destinationRoot;
    ASSERT_EQ(root, expected.substr(0, 2));
    EXPECT_EQ(text1->text().toStdString(), point + "/S_");
    ASSERT_EQ(umount2(point.c_str(), 0), 0);
    guard.mounted = false;
    EXPECT_LE(WaitFor([&] { return entry() < 0; }, 4000), 2000);
    // No destination rather than another medium under its letter.
    EXPECT_EQ(combo->currentIndex(), 0);
    EXPECT_EQ(window.Logic().Settings().destinationRoot, root);
    EXPECT_EQ(text1->text(), "");
}

}  // namespace
}  // namespace kuv::backup::testing
