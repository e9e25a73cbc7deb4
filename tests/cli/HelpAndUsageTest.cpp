// kuvzip-cli's command line itself: the help and the version on standard
// output with status 0, usage errors on standard error with status 2, a
// failed archive with status 1; and each command's help describing every
// option its usage line names.
#include <gtest/gtest.h>

#include <ostream>
#include <regex>

#include "WriterTestSupport.h"

using namespace writertest;

namespace {

const std::string kCli = std::string(KUVZIP_BIN_DIR) + "/kuvzip-cli";
const std::vector<std::string> kCommands = {"create", "list", "comment", "extract", "test", "add", "remove"};

CommandResult Cli(const std::string& args) { return RunShell("cd /tmp && " + Quote(kCli) + " " + args + " < /dev/null"); }

struct LineCase {
    const char* name;
    const char* args;     // shell words
    int status;
    const char* out;      // expected in standard output; "" means standard output stays empty
    const char* err;      // expected in standard error; "" means standard error stays empty
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

class CommandLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(CommandLine, AnswersOnTheRightStreamWithItsStatus) {
    const LineCase& c = GetParam();
    const CommandResult r = Cli(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    if (*c.out)
        EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
    else
        EXPECT_EQ(r.out, "");
    if (*c.err)
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    else
        EXPECT_EQ(r.err, "");
}

const LineCase kLines[] = {
    {"Help", "--help", 0, "usage: kuvzip-cli COMMAND [OPTIONS] ARGS...\n", ""},
    {"ShortHelp", "-h", 0, "\nExit status:\n  0  success", ""},
    {"HelpWord", "help", 0, "  2  usage error", ""},
    {"Version", "--version", 0, "kuvzip-cli (Kuv-Zip) " KUVZIP_VERSION "\n", ""},
    {"CommandHelp", "create --help", 0, "usage: kuvzip-cli create [--stream]", ""},
    {"CommandShortHelp", "list -h", 0, "usage: kuvzip-cli list ARCHIVE\n", ""},
    {"HelpWordForACommand", "help extract", 0, "  --preserve-path  ", ""},
    // Help wins over the rest of the line: nothing is extracted.
    {"HelpAmongOptions", "extract --overwrite --help absent.zip /nowhere", 0, "usage: kuvzip-cli extract", ""},
    // A value that looks like help is a value.
    {"HelpAsAValue", "create --comment --help /tmp/kuvzip-cli-absent/a.zip /kuvzip-absent", 1, "",
     "FileZipErr 10"},
    // After "--" it names a file.
    {"HelpAfterDoubleDash", "list -- --help", 1, "", "ZipError 10: Le fichier --help n'existe pas"},
    {"NoCommand", "", 2, "", "kuvzip-cli: no command given\nTry 'kuvzip-cli --help' for more information.\n"},
    {"UnknownCommand", "frob", 2, "", "kuvzip-cli: unknown command 'frob'\n"},
    {"UnknownOption", "--bogus", 2, "", "kuvzip-cli: unknown option '--bogus'\n"},
    {"HelpForNoCommand", "help frob", 2, "", "kuvzip-cli: help: no command 'frob'\n"},
    {"HelpForTwoCommands", "help list test", 2, "", "no command 'list'"},
    {"MissingOperand", "list", 2, "", "kuvzip-cli list: usage: kuvzip-cli list ARCHIVE\n"
                                      "Try 'kuvzip-cli list --help' for more information.\n"},
    {"ExtraOperand", "comment a.zip b.zip", 2, "", "kuvzip-cli comment: usage:"},
    {"UnknownCommandOption", "test --bogus a.zip", 2, "", "kuvzip-cli test: unknown option --bogus\n"},
    {"MissingValue", "extract a.zip out --member", 2, "", "--member needs a value"},
    {"BadValue", "create --level 12 a.zip b", 2, "", "--level needs a number from -1 to 9"},
    {"FailedArchive", "test /kuvzip-absent.zip", 1, "", "ZipError 10: "},
};

INSTANTIATE_TEST_SUITE_P(Cases, CommandLine, ::testing::ValuesIn(kLines),
                         [](const ::testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

// The help names every command, and each command's help describes every
// option of its usage line and the exit statuses.
TEST(CommandLineHelp, NamesEveryCommand) {
    const CommandResult r = Cli("--help");
    for (const std::string& command : kCommands)
        EXPECT_NE(r.out.find("\n  " + command + " "), std::string::npos) << command << " missing from\n" << r.out;
}

class CommandHelp : public ::testing::TestWithParam<std::string> {};

TEST_P(CommandHelp, DescribesEveryOptionOfItsUsage) {
    const CommandResult r = Cli(GetParam() + " --help");
    ASSERT_EQ(r.status, 0);
    const std::string usage = r.out.substr(0, r.out.find('\n'));
    ASSERT_EQ(usage.rfind("usage: kuvzip-cli " + GetParam(), 0), 0u) << usage;
    const std::regex option(R"(--[a-z-]+)");
    int options = 0;
    for (auto it = std::sregex_iterator(usage.begin(), usage.end(), option); it != std::sregex_iterator(); ++it, ++options)
        EXPECT_NE(r.out.find("\n  " + it->str() + " "), std::string::npos) << it->str() << " undescribed in\n" << r.out;
    EXPECT_EQ(options == 0, r.out.find("\nOptions:\n") == std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Exit status: 0 success, 1 an archive or member failed, 2 usage error."), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Commands, CommandHelp, ::testing::ValuesIn(kCommands));

}  // namespace
