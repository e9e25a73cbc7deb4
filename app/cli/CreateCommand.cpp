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

int RunCreate(const std::vector<std::string>& args) {
    Parsed p;
    if (int s = Parse("create", kCreateUsage, args, {"--stream", "--recurse", "--no-crc", "--overwrite"},
                      {"--path-mode", "--level", "--comment"}, 2, static_cast<size_t>(-1), p);
        s >= 0)
        return s;
    long pathMode = 0, level = -1;
    const std::string* v = p.Value("--path-mode");
    if (v && (!ParseInt(*v, pathMode) || pathMode < -32768 || pathMode > 32767))
        return UsageError("create", "--path-mode needs a whole number");
    v = p.Value("--level");
    if (v && (!ParseInt(*v, level) || level < -1 || level > 9))
        return UsageError("create", "--level needs a number from -1 to 9");
    const std::string* comment = p.Value("--comment");
    const bool recurse = p.Has("--recurse"), noCrc = p.Has("--no-crc"), overwrite = p.Has("--overwrite");

    clsZip zip;
    EventPrinter printer(zip);
    zip.SetLevelCompression(static_cast<std::int32_t>(level));
    const std::string& archive = p.operands.front();
    const auto mode = static_cast<std::int16_t>(pathMode);
    bool ok = false;
    if (!p.Has("--stream")) {
        for (size_t i = 1; i < p.operands.size(); ++i) zip.FileAdd(p.operands[i], mode, recurse, noCrc);
        if (comment) zip.SetComment(*comment);
        ok = zip.WriteZip(archive, overwrite);
    } else {
        std::int32_t handle = zip.CreateZip(archive, overwrite);
        if (handle != 0) {
            for (size_t i = 1; i < p.operands.size(); ++i) zip.ybFileAdd(p.operands[i], mode, handle, recurse, noCrc);
            if (comment) zip.SetComment(*comment);
            ok = zip.WriteEndZip(handle);
        }
    }
    return printer.ExitStatus(ok);
}
}  // namespace

constexpr const char* kCreateSummary = "Creates ARCHIVE from the files PATH... (a PATH may end in a * or ? pattern).";
constexpr const char* kCreateOptions =
    "  --stream       write the archive in one streaming pass instead of from a member list\n"
    "  --path-mode N  stored names: 0 file name only (default), 1 full path, 2 path relative\n"
    "                 to the current folder\n"
    "  --recurse      take the files of sub-folders too\n"
    "  --no-crc       store no CRC-32 (0) for the members\n"
    "  --level N      compression level, -1 (zlib's default) or 0 (stored) to 9\n"
    "  --comment TEXT the archive comment\n"
    "  --overwrite    replace an existing ARCHIVE (otherwise it is an error)\n";

std::vector<Command> CreateCommands() {
    return {Command {"create", kCreateUsage, kCreateSummary, kCreateOptions, RunCreate}};
}

}  // namespace kuvcli
