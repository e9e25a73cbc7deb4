// kuvzip-cli: the engine's command-line tool, for scripts, tests and
// benchmarks. Each command lives in its own file and registers itself in the
// command table below.
//
// Contract kept by every command:
//  - standard error: one line per engine event ("ZipError N: MESSAGE",
//    "FileZipErr N: DESCRIPTION [PATH]", "Status: TEXT", other notices as
//    "NAME: TEXT"); line breaks inside a message printed as one blank;
//    progress events not printed;
//  - standard output: the command's result only, UTF-8, LF line ends;
//  - exit status: 0 on success with no ZipError or FileZipErr raised, 1
//    otherwise, 2 for a usage error (reported on standard error);
//  - -h or --help, before or after the command, prints help on standard
//    output with status 0; the manual page kuvzip-cli.1 beside this file
//    says the same at length.

#include <cstdio>
#include <string>
#include <vector>

#include "CliCommon.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return kuvcli::UsageError("", "no command given");
    const std::string name = args.front();
    args.erase(args.begin());
    if (name == "-h" || name == "--help") {
        kuvcli::PrintHelp();
        return kuvcli::kExitOk;
    }
    if (name == "--version") {
        std::printf("kuvzip-cli (Kuv-Zip) %s\n", KUVZIP_VERSION);
        return kuvcli::kExitOk;
    }
    // "help COMMAND" is "COMMAND --help"; "help" alone is "--help".
    if (name == "help") {
        if (args.empty()) {
            kuvcli::PrintHelp();
            return kuvcli::kExitOk;
        }
        if (const kuvcli::Command* command = kuvcli::FindCommand(args.front()); command && args.size() == 1) {
            kuvcli::PrintCommandHelp(*command);
            return kuvcli::kExitOk;
        }
        return kuvcli::UsageError("", "help: no command '" + args.front() + "'");
    }
    if (const kuvcli::Command* command = kuvcli::FindCommand(name)) return command->run(args);
    return kuvcli::UsageError("", (name.size() > 1 && name[0] == '-' ? "unknown option '" : "unknown command '") +
                                      name + "'");
}
