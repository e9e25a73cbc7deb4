#pragma once
// What every kuvzip-cli command shares: the command table, the event
// printer that keeps the tool's output contract, and option parsing helpers.

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class clsZip;

namespace kuvcli {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct Command {
    const char* name;
    const char* usage;  // one line: "create [--stream] ... ARCHIVE PATH..."
    const char* summary;  // what it does, one line
    const char* options;  // one "  --name  what it does" line per option, or ""
    std::function<int(const std::vector<std::string>& args)> run;
};

// Every command, in the order of the usage text.
const std::vector<Command>& Commands();
// The command named `name`; nullptr when there is none.
const Command* FindCommand(const std::string& name);
// The tool's help: its commands, the general options and the exit statuses.
void PrintHelp();
// One command's usage, summary and options on standard output.
void PrintCommandHelp(const Command& command);

// Subscribes to the engine's events and prints each one on standard error as
// the contract says; remembers whether a ZipError or FileZipErr was raised.
class EventPrinter {
public:
    explicit EventPrinter(clsZip& zip);
    // Unsubscribes the handlers that refer to this printer, so that the
    // engine's own termination never reaches a printer that is gone.
    ~EventPrinter();
    EventPrinter(const EventPrinter&) = delete;
    EventPrinter& operator=(const EventPrinter&) = delete;
    bool ErrorRaised() const { return errorRaised_; }
    // 0 when ok and no error event was raised, 1 otherwise.
    int ExitStatus(bool ok) const { return ok && !errorRaised_ ? kExitOk : kExitFailed; }

private:
    clsZip& zip_;
    bool errorRaised_ = false;
};

// A message on one line: every CR or LF (or CR LF pair) becomes one blank.
std::string OneLine(const std::string& text);

// Options and operands of one command line.
struct Parsed {
    std::vector<std::string> flags;                            // options without a value
    std::vector<std::pair<std::string, std::string>> values;   // options with their value
    std::vector<std::string> operands;
    bool Has(const std::string& flag) const;
    const std::string* Value(const std::string& name) const;   // nullptr when not given
};

// Parses args: options named in `flags` take no value, those in `valued`
// take the next argument, "--" ends the options, and between minOperands and
// maxOperands operands must remain. Returns -1 when the line is fine; for
// -h or --help before "--", prints the command's help and returns kExitOk;
// otherwise reports the usage error and returns kExitUsage.
int Parse(const std::string& command, const char* usage, const std::vector<std::string>& args,
          const std::vector<std::string>& flags, const std::vector<std::string>& valued, size_t minOperands,
          size_t maxOperands, Parsed& out);

// Parses a whole number option value; false when it is not one.
bool ParseInt(const std::string& text, long& value);

// Reports a usage error for command (empty: the tool itself) on standard
// error, with the help to read, and returns kExitUsage.
int UsageError(const std::string& command, const std::string& message);

}  // namespace kuvcli
