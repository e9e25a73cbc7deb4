#include "CliCommon.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "zip/clsZip.h"

namespace kuvcli {

// The commands are declared by the files that implement them.
std::vector<Command> CreateCommands();
std::vector<Command> ReadingCommands();

const std::vector<Command>& Commands() {
    static const std::vector<Command> all = [] {
        std::vector<Command> list = CreateCommands();
        for (Command& c : ReadingCommands()) list.push_back(std::move(c));
        return list;
    }();
    return all;
}

const Command* FindCommand(const std::string& name) {
    for (const Command& c : Commands())
        if (name == c.name) return &c;
    return nullptr;
}

void PrintHelp() {
    std::printf("usage: kuvzip-cli COMMAND [OPTIONS] ARGS...\n"
                     "       kuvzip-cli COMMAND --help | --help | --version\n"
                     "Creates, lists, tests, extracts and updates ZIP archives with Kuv-Zip's engine.\n\n"
                     "Commands:\n");
    for (const Command& c : Commands()) std::printf("  %-8s %s\n", c.name, c.summary);
    std::printf("\nOptions:\n"
                     "  -h, --help  print this help and exit\n"
                     "  --version   print the version and exit\n\n"
                     "Exit status:\n"
                     "  0  success: no archive or member failed\n"
                     "  1  an archive or a member failed (the engine's events on standard error say which)\n"
                     "  2  usage error: unknown command or option, missing or extra argument\n\n"
                     "'kuvzip-cli COMMAND --help' describes a command; see also: man kuvzip-cli\n");
}

void PrintCommandHelp(const Command& command) {
    std::printf("usage: kuvzip-cli %s\n%s\n", command.usage, command.summary);
    if (*command.options) std::printf("\nOptions:\n%s", command.options);
    std::printf("\nExit status: 0 success, 1 an archive or member failed, 2 usage error.\n");
}

std::string OneLine(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            out += ' ';
            // A CR LF or LF CR pair is one line break.
            if (i + 1 < text.size() && (text[i + 1] == '\r' || text[i + 1] == '\n') && text[i + 1] != c) ++i;
        } else {
            out += c;
        }
    }
    return out;
}

EventPrinter::EventPrinter(clsZip& zip) : zip_(zip) {
    zip.Events.Status = [](const std::string& text) {
        std::fprintf(stderr, "Status: %s\n", OneLine(text).c_str());
    };
    zip.Events.ZipError = [this](std::int32_t number, const std::string& description, bool&) {
        errorRaised_ = true;
        std::fprintf(stderr, "ZipError %d: %s\n", number, OneLine(description).c_str());
    };
    zip.Events.FileZipErr = [this](std::string& path, std::int32_t& number, std::string& description) {
        errorRaised_ = true;
        std::fprintf(stderr, "FileZipErr %d: %s [%s]\n", number, OneLine(description).c_str(),
                     OneLine(path).c_str());
    };
    zip.Events.WriteFailed = [](const std::string& text) {
        std::fprintf(stderr, "WriteFailed: %s\n", OneLine(text).c_str());
    };
}

EventPrinter::~EventPrinter() {
    zip_.Events.ZipError = nullptr;
    zip_.Events.FileZipErr = nullptr;
}

bool Parsed::Has(const std::string& flag) const {
    return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

const std::string* Parsed::Value(const std::string& name) const {
    for (const auto& v : values)
        if (v.first == name) return &v.second;
    return nullptr;
}

int Parse(const std::string& command, const char* usage, const std::vector<std::string>& args,
          const std::vector<std::string>& flags, const std::vector<std::string>& valued, size_t minOperands,
          size_t maxOperands, Parsed& out) {
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!optionsEnded && (a == "-h" || a == "--help")) {
            if (const Command* c = FindCommand(command)) PrintCommandHelp(*c);
            return kExitOk;
        }
        if (optionsEnded || a.size() < 2 || a.compare(0, 2, "--") != 0) {
            out.operands.push_back(a);
        } else if (a == "--") {
            optionsEnded = true;
        } else if (std::find(flags.begin(), flags.end(), a) != flags.end()) {
            out.flags.push_back(a);
        } else if (std::find(valued.begin(), valued.end(), a) != valued.end()) {
            if (i + 1 >= args.size()) return UsageError(command, a + " needs a value");
            out.values.emplace_back(a, args[++i]);
        } else {
            return UsageError(command, "unknown option " + a);
        }
    }
    if (out.operands.size() < minOperands || out.operands.size() > maxOperands)
        return UsageError(command, std::string("usage: kuvzip-cli ") + usage);
    return -1;
}

bool ParseInt(const std::string& text, long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return end && *end == '\0';
}

int UsageError(const std::string& command, const std::string& message) {
    std::fprintf(stderr, "kuvzip-cli%s%s: %s\nTry 'kuvzip-cli %s--help' for more information.\n",
                 command.empty() ? "" : " ", command.c_str(), message.c_str(), command.empty() ? "" : (command + " ").c_str());
    return kExitUsage;
}

}  // namespace kuvcli
