// The program as a user installs it: `cmake --install` into a staging
// folder (DESTDIR) and the Debian package that `cpack -G DEB` makes, checked
// with the desktop's own validators; then the menu entry itself started by
// GLib's launcher, headless, in a scratch home.

#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <ostream>

namespace {

const QString kAppId = QStringLiteral("fr.kuvzip.KuvZip");

struct Outcome {
    int exitCode = -1;  // -1: did not start or did not end in time
    QString output;     // standard output and error, merged
};

Outcome RunTool(const QString& program, const QStringList& arguments,
                const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(), int limitMs = 120000) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    Outcome outcome;
    if (!process.waitForStarted(10000)) {
        outcome.output = program + ": " + process.errorString();
        return outcome;
    }
    if (!process.waitForFinished(limitMs)) {
        process.kill();
        process.waitForFinished();
        outcome.output = program + " did not end";
        return outcome;
    }
    outcome.output = QString::fromUtf8(process.readAll());
    if (process.exitStatus() == QProcess::NormalExit) outcome.exitCode = process.exitCode();
    return outcome;
}

// One staging install shared by the tests that only read it.
class InstalledTree : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        staging = new QTemporaryDir();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DESTDIR", staging->path());
        install = new Outcome(RunTool(QStringLiteral(KUVZIP_CMAKE),
                                      {"--install", KUVZIP_BUILD_DIR, "--prefix", "/usr"}, env));
    }
    static void TearDownTestSuite() {
        delete install;
        delete staging;
    }
    void SetUp() override { ASSERT_EQ(install->exitCode, 0) << install->output.toStdString(); }

    static QString Installed(const QString& relative) { return staging->path() + "/usr/" + relative; }
    static QString DesktopFile() { return Installed("share/applications/" + kAppId + ".desktop"); }

    static QTemporaryDir* staging;
    static Outcome* install;
};
QTemporaryDir* InstalledTree::staging = nullptr;
Outcome* InstalledTree::install = nullptr;

TEST_F(InstalledTree, PlacesEveryFileWhereTheDesktopLooksForIt) {
    for (const QString& file : {QString("bin/kuvzip"), QString("bin/kuvzip-cli"),
                                "share/applications/" + kAppId + ".desktop",
                                "share/metainfo/" + kAppId + ".metainfo.xml",
                                "share/icons/hicolor/scalable/apps/" + kAppId + ".svg"}) {
        EXPECT_TRUE(QFileInfo(Installed(file)).isFile()) << file.toStdString();
    }
    for (const char* file : {"share/man/man1/kuvzip.1.gz", "share/man/man1/kuvzip-cli.1.gz",
                                "share/doc/kuvzip/copyright", "share/doc/kuvzip/changelog.gz"})
        EXPECT_TRUE(QFileInfo(Installed(file)).isFile()) << file;
    for (const QString& program : {QString("bin/kuvzip"), QString("bin/kuvzip-cli")})
        EXPECT_TRUE(QFileInfo(Installed(program)).isExecutable()) << program.toStdString();
    // Nothing but the program's own files: no test program, no build tool.
    QStringList bin = QDir(Installed("bin")).entryList(QDir::Files);
    bin.sort();
    EXPECT_EQ(bin, QStringList({"kuvzip", "kuvzip-cli"}));
}

TEST_F(InstalledTree, DesktopEntryValidates) {
    const Outcome check = RunTool("desktop-file-validate", {DesktopFile()});
    EXPECT_EQ(check.exitCode, 0) << check.output.toStdString();
    EXPECT_TRUE(check.output.trimmed().isEmpty()) << check.output.toStdString();
}

TEST_F(InstalledTree, MetainfoValidatesWithoutTheNetwork) {
    const Outcome check = RunTool("appstreamcli", {"validate", "--no-net", "--strict", "--no-color",
                                                   Installed("share/metainfo/" + kAppId + ".metainfo.xml")});
    EXPECT_EQ(check.exitCode, 0) << check.output.toStdString();
}

TEST_F(InstalledTree, DesktopEntryNamesTheProgramAndItsIcon) {
    QFile file(DesktopFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    const QStringList lines = text.split('\n');
    auto value = [&](const QString& key) {
        for (const QString& line : lines)
            if (line.startsWith(key + "=")) return line.mid(key.size() + 1);
        return QString();
    };
    EXPECT_EQ(value("Type"), "Application");
    EXPECT_EQ(value("Name"), "Kuv-Zip");
    EXPECT_EQ(value("Name[fr]"), "Kuv-Zip");
    EXPECT_FALSE(value("GenericName[fr]").isEmpty());
    EXPECT_EQ(value("Categories"), "Utility;Archiving;");
    EXPECT_EQ(value("Icon"), kAppId);
    EXPECT_EQ(value("Terminal"), "false");
    // The icon it names is there, scalable and in the three rendered sizes.
    EXPECT_TRUE(QFile::exists(Installed("share/icons/hicolor/scalable/apps/" + value("Icon") + ".svg")));
    for (int size : {48, 128, 256}) {
        const QString png = Installed(QString("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(value("Icon")));
        EXPECT_TRUE(QFile::exists(png)) << png.toStdString();
    }
}

TEST_F(InstalledTree, MetainfoDescribesTheSameApplication) {
    QFile file(Installed("share/metainfo/" + kAppId + ".metainfo.xml"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.contains("<id>" + kAppId + "</id>"));
    EXPECT_TRUE(text.contains("<launchable type=\"desktop-id\">" + kAppId + ".desktop</launchable>"));
    EXPECT_TRUE(text.contains("<content_rating type=\"oars-1.1\""));
    EXPECT_TRUE(text.contains("<summary xml:lang=\"fr\">"));
    // The release is the project's version, not a placeholder left behind.
    EXPECT_FALSE(text.contains('@'));
    const QRegularExpression release(R"re(<release version="(\d+\.\d+\.\d+)" date="\d{4}-\d\d-\d\d")re");
    EXPECT_TRUE(release.match(text).hasMatch());
    EXPECT_TRUE(text.contains("<url type=\"homepage\">https://"));
}

// The icons are renderings of the logo: the right size, transparent corners
// (the logo has rounded corners), the logo's blue in the middle.
TEST_F(InstalledTree, IconsAreRenderingsOfTheLogoAtTheirSize) {
    for (int size : {48, 128, 256}) {
        SCOPED_TRACE(size);
        QImage icon(Installed(QString("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(kAppId)));
        ASSERT_FALSE(icon.isNull());
        EXPECT_EQ(icon.size(), QSize(size, size));
        EXPECT_TRUE(icon.hasAlphaChannel());
        EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(icon.pixel(size - 1, size - 1)), 0);
        // Left of the zip, inside the frame: the sheet's white-blue; the
        // lower border band: the background's dark blue.
        const QColor sheet = icon.pixelColor(size * 30 / 96, size * 45 / 96);
        EXPECT_GT(sheet.lightness(), 200);
        const QColor band = icon.pixelColor(size * 10 / 96, size * 88 / 96);
        EXPECT_EQ(band.alpha(), 255);
        EXPECT_GT(band.blue(), band.red() + 40);
    }
}

// The installed manual pages: man renders them without a warning, and each
// describes every option its program's --help lists, the program's files
// and its exit statuses.
struct ManualCase {
    const char* program;
    QStringList mustSay;  // in the rendered page
    QStringList commands;  // each one's "COMMAND --help" is read too
};

void PrintTo(const ManualCase& c, std::ostream* os) { *os << c.program; }

class ManualPage : public InstalledTree, public ::testing::WithParamInterface<ManualCase> {};

TEST_P(ManualPage, RendersWithoutWarningsAndDescribesTheProgram) {
    const ManualCase& c = GetParam();
    const QString page = Installed(QString("share/man/man1/%1.1.gz").arg(c.program));
    ASSERT_TRUE(QFile::exists(page)) << page.toStdString();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "C.UTF-8");
    env.insert("MANWIDTH", "80");
    env.remove("MANROFFOPT");
    // As Debian's checker renders them: every groff warning on.
    const Outcome check = RunTool("man", {"--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", page}, env);
    EXPECT_EQ(check.exitCode, 0) << check.output.toStdString();
    EXPECT_FALSE(check.output.contains("warning")) << check.output.toStdString();
    QProcess render;
    render.setProcessEnvironment(env);
    render.start("man", {"--nh", "--nj", "-l", page});
    ASSERT_TRUE(render.waitForFinished(60000));
    const QString text = QString::fromUtf8(render.readAllStandardOutput());
    ASSERT_FALSE(text.isEmpty()) << render.readAllStandardError().toStdString();
    for (const QString& said : c.mustSay) EXPECT_TRUE(text.contains(said)) << said.toStdString();

    const QRegularExpression option(R"((?<![\w-])--?[a-z][a-z-]*)");
    QStringList options;
    QList<QStringList> helps = {{"--help"}};
    for (const QString& command : c.commands) helps.append({command, "--help"});
    for (const QStringList& arguments : helps) {
        const Outcome help = RunTool(Installed(QString("bin/%1").arg(c.program)), arguments, env);
        ASSERT_EQ(help.exitCode, 0) << help.output.toStdString();
        for (auto it = option.globalMatch(help.output); it.hasNext();) options << it.next().captured(0);
    }
    options.removeDuplicates();
    EXPECT_GE(options.size(), 3) << options.join(' ').toStdString();
    for (const QString& name : options) EXPECT_TRUE(text.contains(name)) << name.toStdString() << " not in the page";
}

INSTANTIATE_TEST_SUITE_P(
    Programs, ManualPage,
    ::testing::Values(ManualCase {"kuvzip",
                                  {"NOM", "SYNOPSIS", "OPTIONS", "FICHIERS", "CODE DE RETOUR", "Kuv-Zip.ini",
                                   "W_intlog.wdo", "rapport.txt", "autostart/DelFile_clsZip.desktop",
                                   "argument inconnu"},
                                  {}},
                      ManualCase {"kuvzip-cli",
                                  {"NAME", "SYNOPSIS", "COMMANDS", "OPTIONS", "EXIT STATUS", "FILES", "Kuv-Zip.ini",
                                   "W_intlog.wdo", "rapport.txt", "autostart", "Usage error"},
                                  {"create", "list", "comment", "extract", "test", "add", "remove"}}),
    [](const ::testing::TestParamInfo<ManualCase>& info) {
        return QString(info.param.program).remove('-').toStdString();
    });

// The menu entry, started by GLib's own launcher as a desktop does, in a
// home that has no Kuv-Zip folder yet: the program runs in
// $XDG_DATA_HOME/Kuv-Zip, else ~/.local/share/Kuv-Zip, the folder created,
// and writes its link file there, not in the launcher's folder.
class MenuStart : public InstalledTree, public ::testing::WithParamInterface<bool> {};

TEST_P(MenuStart, RunsInTheUsersOwnFolder) {
    const bool dataHomeSet = GetParam();
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    QString userFolder = home.path() + "/.local/share/Kuv-Zip";
    if (dataHomeSet) {
        env.insert("XDG_DATA_HOME", home.path() + "/données");
        userFolder = home.path() + "/données/Kuv-Zip";
    } else {
        env.remove("XDG_DATA_HOME");
    }
    env.insert("XDG_CONFIG_HOME", home.path() + "/.config");
    env.insert("PATH", Installed("bin") + ":" + env.value("PATH"));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    // No session bus either: the program must start without one.
    env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home.path() + "/no-bus");
    QProcess launcher;
    launcher.setProcessEnvironment(env);
    launcher.setWorkingDirectory(home.path());
    // The program outlives the launcher: its output goes to a file, not to a
    // pipe that closes with the launcher.
    const QString output = home.path() + "/output.txt";
    launcher.setStandardOutputFile(output);
    launcher.setStandardErrorFile(output, QIODevice::Append);
    launcher.start("gio", {"launch", DesktopFile()});
    ASSERT_TRUE(launcher.waitForFinished(30000));
    ASSERT_EQ(launcher.exitCode(), 0);

    // The program is detached from the launcher: found by its executable.
    const QString program = QFileInfo(Installed("bin/kuvzip")).canonicalFilePath();
    qint64 pid = 0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 20000 && (pid == 0 || !QFile::exists(userFolder + "/W_intlog.wdo"))) {
        for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
            if (QFileInfo("/proc/" + entry + "/exe").symLinkTarget() == program) pid = entry.toLongLong();
        }
        QThread::msleep(100);
    }
    ASSERT_NE(pid, 0) << "the program did not start";
    const QString cwd = QFileInfo(QString("/proc/%1/cwd").arg(pid)).symLinkTarget();
    ::kill(static_cast<pid_t>(pid), SIGTERM);
    QFile said(output);
    said.open(QIODevice::ReadOnly);
    EXPECT_EQ(cwd, QFileInfo(userFolder).canonicalFilePath()) << said.readAll().toStdString();
    EXPECT_TRUE(QFile::exists(userFolder + "/W_intlog.wdo"));
    EXPECT_FALSE(QFile::exists(home.path() + "/W_intlog.wdo"));
    for (int i = 0; i < 50 && QFile::exists(QString("/proc/%1").arg(pid)); ++i) QThread::msleep(100);
}

INSTANTIATE_TEST_SUITE_P(DataHome, MenuStart, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "XdgDataHomeSet" : "XdgDataHomeUnset";
                         });

// The Debian package, made once by cpack for the tests below.
class DebianPackage : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        out = new QTemporaryDir();
        pack = new Outcome(RunTool(QStringLiteral(KUVZIP_CPACK),
                                   {"-G", "DEB", "--config", QString(KUVZIP_BUILD_DIR) + "/CPackConfig.cmake", "-B",
                                    out->path()}));
    }
    static void TearDownTestSuite() {
        delete pack;
        delete out;
    }
    void SetUp() override {
        ASSERT_EQ(pack->exitCode, 0) << pack->output.toStdString();
        debs = QDir(out->path()).entryList({"*.deb"}, QDir::Files);
        ASSERT_EQ(debs.size(), 1) << debs.join(' ').toStdString();
        deb = out->path() + "/" + debs.first();
    }

    static QTemporaryDir* out;
    static Outcome* pack;
    QStringList debs;
    QString deb;
};
QTemporaryDir* DebianPackage::out = nullptr;
Outcome* DebianPackage::pack = nullptr;

// One .deb, named as Debian names it, with the program, its desktop files,
// its manual pages and the libraries dpkg-shlibdeps found.
TEST_F(DebianPackage, HoldsTheProgramAndDependsOnWhatItLinks) {
    EXPECT_TRUE(QRegularExpression(R"(^kuvzip_\d+\.\d+\.\d+_[a-z0-9]+\.deb$)").match(debs.first()).hasMatch());

    const Outcome info = RunTool("dpkg-deb", {"-I", deb});
    ASSERT_EQ(info.exitCode, 0) << info.output.toStdString();
    auto field = [&](const QString& name) {
        const QRegularExpression line("^ " + name + ": (.*)$", QRegularExpression::MultilineOption);
        return line.match(info.output).captured(1).trimmed();
    };
    EXPECT_EQ(field("Package"), "kuvzip");
    EXPECT_FALSE(field("Maintainer").isEmpty());
    EXPECT_FALSE(field("Description").isEmpty());
    const QString depends = field("Depends");
    for (const char* library : {"libqt6widgets6", "libqt6core6", "libqt6dbus6", "zlib1g", "libc6", "qt6-qpa-plugins"})
        EXPECT_TRUE(depends.contains(library)) << depends.toStdString() << " lacks " << library;

    const Outcome contents = RunTool("dpkg-deb", {"-c", deb});
    ASSERT_EQ(contents.exitCode, 0) << contents.output.toStdString();
    for (const QString& path : {QString("./usr/bin/kuvzip"), QString("./usr/bin/kuvzip-cli"),
                                "./usr/share/applications/" + kAppId + ".desktop",
                                "./usr/share/metainfo/" + kAppId + ".metainfo.xml",
                                "./usr/share/icons/hicolor/scalable/apps/" + kAppId + ".svg",
                                "./usr/share/icons/hicolor/48x48/apps/" + kAppId + ".png",
                                "./usr/share/icons/hicolor/128x128/apps/" + kAppId + ".png",
                                "./usr/share/icons/hicolor/256x256/apps/" + kAppId + ".png",
                                QString("./usr/share/man/man1/kuvzip.1.gz"), QString("./usr/share/man/man1/kuvzip-cli.1.gz"),
                                QString("./usr/share/doc/kuvzip/copyright"), QString("./usr/share/doc/kuvzip/changelog.gz")}) {
        EXPECT_TRUE(contents.output.contains(' ' + path + '\n')) << path.toStdString();
    }
    // The executables are stripped: no debugging sections in the package.
    const Outcome extract = RunTool("dpkg-deb", {"-x", deb, out->path() + "/root"});
    ASSERT_EQ(extract.exitCode, 0) << extract.output.toStdString();
    const Outcome kind = RunTool("file", {"-b", out->path() + "/root/usr/bin/kuvzip"});
    EXPECT_TRUE(kind.output.contains("stripped") && !kind.output.contains("not stripped")) << kind.output.toStdString();
}

// Debian's own checker finds nothing to say: no error, no warning (the tags
// the package overrides carry their reason in its overrides file).
TEST_F(DebianPackage, PassesLintian) {
    const Outcome check = RunTool("lintian", {"--fail-on", "error,warning", "--tag-display-limit", "0", deb},
                                  QProcessEnvironment::systemEnvironment(), 600000);
    EXPECT_EQ(check.exitCode, 0) << check.output.toStdString();
    const QRegularExpression tag(R"(^[EW]: )", QRegularExpression::MultilineOption);
    EXPECT_FALSE(tag.match(check.output).hasMatch()) << check.output.toStdString();
}

}  // namespace
