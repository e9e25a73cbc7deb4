// kuvzip's command line. --help and --version answer on standard output
// without a display: the program is started with a platform that cannot
// open (xcb, no DISPLAY), which would abort any start that made a window.
// Anything else is a run: an argument not understood is logged and the
// program serves the linked application's request as it always did.
#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <ostream>

#include "ProgramRun.h"

namespace {

using kuv::apptest::UnattendedRun;

struct Answer {
    int status = -1;  // -1: did not end normally
    QByteArray out, err;
};

Answer RunWithoutDisplay(const QStringList& arguments) {
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("QT_QPA_PLATFORM", "xcb");
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(QDir::tempPath());
    program.start(QString::fromUtf8(KUVZIP_BIN_DIR) + "/kuvzip", arguments);
    Answer answer;
    if (!program.waitForFinished(20000)) {
        program.kill();
        program.waitForFinished();
        return answer;
    }
    answer.out = program.readAllStandardOutput();
    answer.err = program.readAllStandardError();
    if (program.exitStatus() == QProcess::NormalExit) answer.status = program.exitCode();
    return answer;
}

// A row with no output is not an option to answer but a run: one that needs
// a window, on a platform that cannot give one, so it fails and prints
// nothing on standard output.
struct AnswerCase {
    const char* name;
    QStringList arguments;
    const char* out;     // standard output holds it; nullptr: a run
    bool whole = false;  // standard output is exactly out
};

void PrintTo(const AnswerCase& c, std::ostream* os) { *os << c.name; }

class WithoutDisplay : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(WithoutDisplay, AnswersOnStandardOutputOrStartsTheWindow) {
    const AnswerCase& c = GetParam();
    const Answer answer = RunWithoutDisplay(c.arguments);
    if (!c.out) {
        EXPECT_NE(answer.status, 0);
        EXPECT_EQ(answer.out, "");
        EXPECT_TRUE(answer.err.contains("platform plugin")) << answer.err.constData();
        return;
    }
    EXPECT_EQ(answer.status, 0) << answer.err.constData();
    if (c.whole)
        EXPECT_EQ(answer.out, c.out);
    else
        EXPECT_TRUE(answer.out.contains(c.out)) << answer.out.constData();
    EXPECT_EQ(answer.err, "");
}

const char* const kHelp = "Utilisation : kuvzip [OPTION]\n";

INSTANTIATE_TEST_SUITE_P(
    Options, WithoutDisplay,
    ::testing::Values(AnswerCase {"Help", {"--help"}, kHelp}, AnswerCase {"ShortHelp", {"-h"}, kHelp},
                      AnswerCase {"HelpWithOneDash", {"-help"}, kHelp},
                      AnswerCase {"HelpListsVersion", {"--help"}, "\n  --version         affiche la version et termine\n"},
                      AnswerCase {"HelpNamesTheManual", {"--help"}, "man kuvzip"},
                      AnswerCase {"HelpAmongUnknownArguments", {"--bogus", "dossier", "--help"}, kHelp},
                      AnswerCase {"HelpBeforeVersion", {"--version", "--help"}, kHelp},
                      AnswerCase {"Version", {"--version"}, "kuvzip (Kuv-Zip) " KUVZIP_VERSION "\n", true},
                      AnswerCase {"NoArgument", {}, nullptr}, AnswerCase {"HelpAfterDoubleDash", {"--", "--help"}, nullptr},
                      AnswerCase {"VersionWithAValue", {"--version=2"}, nullptr},
                      AnswerCase {"LongerName", {"--helpme"}, nullptr}, AnswerCase {"Word", {"version"}, nullptr}),
    [](const ::testing::TestParamInfo<AnswerCase>& info) { return std::string(info.param.name); });

// Arguments not understood, in a run that serves a desktop-backup request:
// each is logged once, the ones Qt takes for itself are not, and the backup
// is made as without them.
struct RunCase {
    const char* name;
    QStringList arguments;
    QStringList logged;
    QStringList notLogged;
};

void PrintTo(const RunCase& c, std::ostream* os) { *os << c.name; }

class IgnoredArguments : public UnattendedRun, public ::testing::WithParamInterface<RunCase> {};

TEST_P(IgnoredArguments, AreLoggedAndTheRequestIsServed) {
    const RunCase& c = GetParam();
    arguments = c.arguments;
    SetLink("SAVAUT56", "NOSIG");
    SetLink("NOMFICATO", "Compta");
    ASSERT_EQ(Run(), 0);
    const QString errorText = QString::fromUtf8(errors);
    for (const QString& argument : c.logged)
        EXPECT_EQ(errorText.count("kuvzip.startup: argument inconnu ignoré : " + argument + "\n"), 1)
            << argument.toStdString() << "\n" << errors.constData();
    for (const QString& argument : c.notLogged)
        EXPECT_FALSE(errorText.contains("ignoré : " + argument + "\n")) << errors.constData();
    EXPECT_EQ(QDir(home + "/Bureau").entryList({"*.zip"}, QDir::Files).size(), 1);
    EXPECT_EQ(Link("SAVAUT56"), "");
    EXPECT_EQ(kuv::apptest::Read(work + "/Kuv-Zip.ini"), ini);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, IgnoredArguments,
    ::testing::Values(RunCase {"UnknownOption", {"--bogus"}, {"--bogus"}, {}},
                      RunCase {"Words", {"Compta", "-x", "--niveau=3"}, {"Compta", "-x", "--niveau=3"}, {}},
                      RunCase {"QtsOwnOptions", {"-platform", "offscreen", "--version=2"}, {"--version=2"},
                               {"-platform", "offscreen"}},
                      RunCase {"HelpAfterDoubleDash", {"--", "--help"}, {"--help"}, {"--"}}),
    [](const ::testing::TestParamInfo<RunCase>& info) { return std::string(info.param.name); });

}  // namespace
