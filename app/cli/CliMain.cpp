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
//    otherwise, 2 for a usage error.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "CliCommon.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        kuvcli::PrintUsage();
        return kuvcli::kExitUsage;
    }
    const std::string name = args.front();
    args.erase(args.begin());
    for (const kuvcli::Command& command : kuvcli::Commands()) {
        if (name == command.name) return command.run(args);
    }
    std::fprintf(stderr, "kuvzip-cli: unknown command '%s'\n", name.c_str());
    kuvcli::PrintUsage();
    return kuvcli::kExitUsage;
}
