// kuvzip-cli create: builds an archive with the list method (FileAdd then
// WriteZip) or, with --stream, in one streaming pass (CreateZip, ybFileAdd,
// WriteEndZip).
#include <cstdio>

#include "CliCommon.h"
#include "zip/clsZip.h"

namespace kuvcli {

namespace {

constexpr const char* kCreateUsage =
    "create [--stream] [--path-mode N] [--recurse] [--no-crc] [--level N] [--comment TEXT] [--overwrite] "
    "ARCHIVE PATH...";

struct CreateOptions {
    bool stream = false;
    long pathMode = 0;
    bool recurse = false;
    bool noCrc = false;
    long level = -1;
    bool hasComment = false;
    std::string comment;
    bool overwrite = false;
    std::vector<std::string> operands;  // ARCHIVE PATH...
};

// Parses the arguments; returns -1 when they are fine, else the exit status.
int ParseCreate(const std::vector<std::string>& args, CreateOptions& o) {
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.size() < 2 || a.compare(0, 2, "--") != 0) {
            o.operands.push_back(a);
            continue;
        }
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        std::string v;
        if (a == "--") {
            optionsEnded = true;
        } else if (a == "--stream") {
            o.stream = true;
        } else if (a == "--recurse") {
            o.recurse = true;
        } else if (a == "--no-crc") {
            o.noCrc = true;
        } else if (a == "--overwrite") {
            o.overwrite = true;
        } else if (a == "--path-mode") {
            if (!value(v) || !ParseInt(v, o.pathMode) || o.pathMode < -32768 || o.pathMode > 32767)
                return UsageError("create", "--path-mode needs a whole number");
        } else if (a == "--level") {
            if (!value(v) || !ParseInt(v, o.level) || o.level < -1 || o.level > 9)
                return UsageError("create", "--level needs a number from -1 to 9");
        } else if (a == "--comment") {
            if (!value(o.comment)) return UsageError("create", "--comment needs a text");
            o.hasComment = true;
        } else {
            return UsageError("create", "unknown option " + a);
        }
    }
    if (o.operands.size() < 2) return UsageError("create", std::string("usage: kuvzip-cli ") + kCreateUsage);
    return -1;
}

int RunCreate(const std::vector<std::string>& args) {
    CreateOptions o;
    if (int status = ParseCreate(args, o); status >= 0) return status;
    clsZip zip;
    EventPrinter printer(zip);
    zip.SetLevelCompression(static_cast<std::int32_t>(o.level));
    const std::string& archive = o.operands.front();
    const auto pathMode = static_cast<std::int16_t>(o.pathMode);
    bool ok = false;
    if (!o.stream) {
        for (size_t i = 1; i < o.operands.size(); ++i) zip.FileAdd(o.operands[i], pathMode, o.recurse, o.noCrc);
        if (o.hasComment) zip.SetComment(o.comment);
        ok = zip.WriteZip(archive, o.overwrite);
    } else {
        std::int32_t handle = zip.CreateZip(archive, o.overwrite);
        if (handle != 0) {
            for (size_t i = 1; i < o.operands.size(); ++i)
                zip.ybFileAdd(o.operands[i], pathMode, handle, o.recurse, o.noCrc);
            if (o.hasComment) zip.SetComment(o.comment);
            ok = zip.WriteEndZip(handle);
        }
    }
    return printer.ExitStatus(ok);
}

}  // namespace

std::vector<Command> CreateCommands() { return {Command {"create", kCreateUsage, RunCreate}}; }

}  // namespace kuvcli
