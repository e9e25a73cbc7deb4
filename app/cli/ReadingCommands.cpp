// kuvzip-cli list, comment, extract, test, add, remove: the reading side of
// the engine and its in-place update (ZipOpen and the directory table,
// ExtractAllFiles / ExtractSingleFile, TestAllFiles, FileAddIntoZip,
// FileRemoveFromZip).
#include <cstdio>

#include "CliCommon.h"
#include "zip/clsZip.h"

namespace kuvcli {

namespace {

constexpr const char* kListUsage = "list ARCHIVE";
constexpr const char* kCommentUsage = "comment ARCHIVE";
constexpr const char* kExtractUsage =
    "extract [--member N] [--preserve-path] [--overwrite] [--keep-date] ARCHIVE FOLDER";
constexpr const char* kTestUsage = "test ARCHIVE";
constexpr const char* kAddUsage = "add [--path-mode N] [--no-crc] [--overwrite] ARCHIVE FILE";
constexpr const char* kRemoveUsage = "remove ARCHIVE NAME";

// Standard output takes LF line ends.
std::string WithLfLineEnds(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

int RunList(const std::vector<std::string>& args) {
    Parsed p;
    if (int s = Parse("list", kListUsage, args, {}, {}, 1, 1, p); s >= 0) return s;
    clsZip zip;
    EventPrinter printer(zip);
    const bool ok = zip.ZipOpen(p.operands[0]);
    if (ok) {
        for (std::int32_t n = 1; n <= zip.inFileCount(); ++n) {
            char date[32] = "0000-00-00 00:00:00";
            if (zip.FileDateAndTimeValid(n)) {
                const auto d = zip.FileDateAndTime(n);
                std::snprintf(date, sizeof date, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day, d.hour,
                              d.minute, d.second);
            }
            // Sizes are 64-bit: members past 4 GiB are printed whole.
            std::printf("%d\t%s\t%lld\t%lld\t%s\n", n, OneLine(zip.inFileName(n)).c_str(),
                        static_cast<long long>(zip.FileCompressedSize(n)),
                        static_cast<long long>(zip.FileUncompressedSize(n)), date);
        }
    }
    return printer.ExitStatus(ok);
}

int RunComment(const std::vector<std::string>& args) {
    Parsed p;
    if (int s = Parse("comment", kCommentUsage, args, {}, {}, 1, 1, p); s >= 0) return s;
    clsZip zip;
    EventPrinter printer(zip);
    const bool ok = zip.ZipOpen(p.operands[0]);
    if (ok && !zip.ZipComment().empty()) {
        std::string text = WithLfLineEnds(zip.ZipComment());
        if (text.back() != '\n') text += '\n';
        std::fputs(text.c_str(), stdout);
    }
    return printer.ExitStatus(ok);
}

int RunExtract(const std::vector<std::string>& args) {
    Parsed p;
    if (int s = Parse("extract", kExtractUsage, args, {"--preserve-path", "--overwrite", "--keep-date"},
                      {"--member"}, 2, 2, p);
        s >= 0)
        return s;
    long member = 0;
    const std::string* memberText = p.Value("--member");
    if (memberText && (!ParseInt(*memberText, member) || member < -2147483647L || member > 2147483647L))
        return UsageError("extract", "--member needs a whole number");
    clsZip zip;
    EventPrinter printer(zip);
    bool ok = zip.ZipOpen(p.operands[0]);
    if (ok) {
        const bool preserve = p.Has("--preserve-path"), overwrite = p.Has("--overwrite"), keep = p.Has("--keep-date");
        ok = memberText ? zip.ExtractSingleFile(static_cast<std::int32_t>(member), p.operands[1], preserve, overwrite,
                                                keep)
                        : zip.ExtractAllFiles(p.operands[1], preserve, overwrite, keep);
    }
    return printer.ExitStatus(ok);
}

int RunTest(const std::vector<std::string>& args) {
    Parsed p;
    if (int s = Parse("test", kTestUsage, args, {}, {}, 1, 1, p); s >= 0) return s;
    clsZip zip;
    EventPrinter printer(zip);
    const bool ok = zip.ZipOpen(p.operands[0]) && zip.TestAllFiles();
    return printer.ExitStatus(ok);
}

int RunAdd(const std::vector<std::string>& args) {
    Parsed p;
    if (int s = Parse("add", kAddUsage, args, {"--no-crc", "--overwrite"}, {"--path-mode"}, 2, 2, p); s >= 0) return s;
    long mode = 0;
    if (const std::string* v = p.Value("--path-mode"); v && (!ParseInt(*v, mode) || mode < -32768 || mode > 32767))
        return UsageError("add", "--path-mode needs a whole number");
    clsZip zip;
    EventPrinter printer(zip);
    std::int32_t pathChoice = static_cast<std::int32_t>(mode);
    const bool ok = zip.FileAddIntoZip(p.operands[0], p.operands[1], pathChoice, p.Has("--no-crc"), p.Has("--overwrite"));
    return printer.ExitStatus(ok);
}

int RunRemove(const std::vector<std::string>& args) {
    Parsed p;
    if (int s = Parse("remove", kRemoveUsage, args, {}, {}, 2, 2, p); s >= 0) return s;
    clsZip zip;
    EventPrinter printer(zip);
    const bool ok = zip.FileRemoveFromZip(p.operands[0], p.operands[1]);
    return printer.ExitStatus(ok);
}

constexpr const char* kPathModeOption =
    "  --path-mode N  stored name: 0 file name only (default), 1 full path, 2 path relative\n"
    "                 to the current folder\n";
constexpr const char* kNoCrcOption = "  --no-crc       store no CRC-32 (0) for the member\n";
const std::string kAddOptions = std::string(kPathModeOption) + kNoCrcOption +
                                "  --overwrite    replace a member of the same name\n";

}  // namespace

std::vector<Command> ReadingCommands() {
    return {
        {"list", kListUsage,
         "Lists the members: number, name, compressed size, size, date (tab-separated, one per line).", "",
         RunList},
        {"comment", kCommentUsage, "Prints the archive comment.", "", RunComment},
        {"extract", kExtractUsage, "Extracts every member, or one, into FOLDER.",
         "  --member N       only member N (its number in 'list')\n"
         "  --preserve-path  recreate the members' folders under FOLDER\n"
         "  --overwrite      replace files that exist (otherwise the member fails)\n"
         "  --keep-date      give the files the members' dates\n",
         RunExtract},
        {"test", kTestUsage, "Decompresses every member without writing and checks its CRC-32.", "", RunTest},
        {"add", kAddUsage, "Adds FILE to the existing ARCHIVE, rewriting it.", kAddOptions.c_str(), RunAdd},
        {"remove", kRemoveUsage, "Removes the member stored as NAME from ARCHIVE, rewriting it.", "", RunRemove},
    };
}

}  // namespace kuvcli
