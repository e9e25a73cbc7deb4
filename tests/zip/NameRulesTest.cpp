// Member names as every tool reads them: names from the disk that are not
// UTF-8, two sources that would make one member name, characters the OEM
// table would turn into control bytes, and accented OEM names with their
// Unicode Path field, read back by the engine, Python, unzip, 7z and bsdtar.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "ReaderTestSupport.h"
#include "WriterTestSupport.h"
#include "zip/ZipNames.h"

using namespace writertest;

namespace {

// The Unicode Path field (0x7075) of an extra field: its UTF-8 name, or
// "<none>"; "<bad crc>" when its CRC does not match the stored name.
std::string UnicodePathOf(const std::string& extra, const std::string& stored) {
    for (size_t p = 0; p + 4 <= extra.size();) {
        const std::uint16_t id = U16(extra, p), length = U16(extra, p + 2);
        if (id == 0x7075 && length >= 5) {
            if (U32(extra, p + 5) != kuv::zip::CrcUpdate(0, stored.data(), stored.size())) return "<bad crc>";
            return extra.substr(p + 9, length - 5);
        }
        p += 4 + length;
    }
    return "<none>";
}

struct NameCase {
    const char* file;        // the name on disk (bytes)
    const char* member;      // the member name the engine reports (UTF-8)
    const char* stored;      // the stored bytes
    bool utf8Flag;           // general purpose bit 11
    const char* unicodePath; // the Unicode Path field's name, or "<none>"
};

std::ostream& operator<<(std::ostream& os, const NameCase& c) { return os << c.member; }

class NameRules : public ScratchTest {};

class NameRuleTest : public ScratchTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(NameRuleTest, StoredAsEveryReaderReadsIt) {
    const NameCase& c = GetParam();
    Make(std::string("data/") + c.file, "contenu");
    clsZip zip;
    EventLog log;
    log.Attach(zip);
    ASSERT_EQ(zip.FileAdd(P(std::string("data/") + c.file)), 1) << log.All();
    EXPECT_EQ(zip.FileName(1), c.member);
    ASSERT_TRUE(zip.WriteZip(P("n.zip"), false));
    const ReadArchive a = ParseArchive(Slurp(P("n.zip")));
    ASSERT_TRUE(a.ok);
    ASSERT_EQ(a.members.size(), 1u);
    const ReadMember& m = a.members[0];
    EXPECT_EQ(m.name, c.stored);
    EXPECT_EQ((m.flags & 0x0800) != 0, c.utf8Flag);
    EXPECT_EQ(UnicodePathOf(m.extra, m.name), c.unicodePath);
    EXPECT_EQ(m.localExtra, m.extra);  // the same field in both headers

    // The engine and Python read the name back exactly.
    clsZip reader;
    ASSERT_TRUE(reader.ZipOpen(P("n.zip")));
    EXPECT_EQ(reader.inFileName(1), c.member);
    if (HaveProgram("python3")) {
        const CommandResult py = RunShell(
            "python3 -c 'import sys,zipfile; sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).namelist()[0]"
            ".encode(\"utf-8\", \"surrogateescape\"))' " + Quote(P("n.zip")));
        ASSERT_EQ(py.status, 0) << py.err;
        std::string expected = c.member;
        std::replace(expected.begin(), expected.end(), '\\', '/');
        if (!c.utf8Flag) std::replace(expected.begin(), expected.end(), '/', '\\');
        // Python reads names without bit 11 through code page 437: the same
        // characters for everything the table holds.
        EXPECT_EQ(py.out, expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, NameRuleTest,
    ::testing::Values(
        NameCase{"plain.txt", "plain.txt", "plain.txt", false, "<none>"},
        NameCase{"notes \xc3\xa9t\xc3\xa9.txt", "notes \xc3\xa9t\xc3\xa9.txt", "notes \x82t\x82.txt", false,
                 "notes \xc3\xa9t\xc3\xa9.txt"},
        // Not UTF-8 on disk: the invalid bytes are Windows-1252.
        NameCase{"caf\xe9.txt", "caf\xc3\xa9.txt", "caf\x82.txt", false, "caf\xc3\xa9.txt"},
        NameCase{"bad\xff.txt", "bad\xc3\xbf.txt", "bad\xc3\xbf.txt", true, "<none>"},
        NameCase{"euro\x80.txt", "euro\xe2\x82\xac.txt", "euro\xe2\x82\xac.txt", true, "<none>"},
        // Table characters whose OEM bytes are control characters, and a
        // real control character: UTF-8 with bit 11.
        NameCase{"para\xc2\xb6.txt", "para\xc2\xb6.txt", "para\xc2\xb6.txt", true, "<none>"},
        NameCase{"sect\xc2\xa7.txt", "sect\xc2\xa7.txt", "sect\xc2\xa7.txt", true, "<none>"},
        NameCase{"ctl\x14.txt", "ctl\x14.txt", "ctl\x14.txt", true, "<none>"},
        NameCase{"del\x7f.txt", "del\x7f.txt", "del\x7f.txt", true, "<none>"}));

TEST_F(NameRules, TwoSourcesOfOneMemberNameKeepTheFirst) {
    Make("data/caf\xe9.txt", "latin");
    Make("data/caf\xc3\xa9.txt", "utf8");
    Make("data/autre.txt", "autre");
    clsZip zip;
    EventLog log;
    log.Attach(zip);
    EXPECT_EQ(zip.FileAdd(P("data/*.*")), 2);
    ASSERT_EQ(zip.FileCount(), 2);
    std::set<std::string> names = {zip.FileName(1), zip.FileName(2)};
    EXPECT_EQ(names, (std::set<std::string>{"autre.txt", "caf\xc3\xa9.txt"}));
    int duplicates = 0;
    for (const std::string& line : log.lines)
        if (line.rfind("FileZipErr 11: Nom en double dans l'archive, le fichier a été exclu du traitement [" +
                           P("data/caf"), 0) == 0)
            ++duplicates;
    EXPECT_EQ(duplicates, 1) << log.All();
    // Adding the same file again is the same name again.
    EXPECT_EQ(zip.FileAdd(P("data/autre.txt")), 0);
    EXPECT_TRUE(log.Has("FileZipErr 11: Nom en double dans l'archive, le fichier a été exclu du traitement [" +
                        P("data/autre.txt") + "]"));
    // Once the first is taken out of the list, the name is free again.
    ASSERT_TRUE(zip.FileDel(zip.FileName(1) == "autre.txt" ? 1 : 2));
    EXPECT_EQ(zip.FileAdd(P("data/autre.txt")), 1);
    ASSERT_TRUE(zip.WriteZip(P("d.zip"), false));
    if (HaveProgram("python3")) {
        EXPECT_EQ(RunShell("python3 -c 'import sys,zipfile; z=zipfile.ZipFile(sys.argv[1]); "
                           "assert len(set(z.namelist()))==len(z.namelist())==2; assert z.testzip() is None' " +
                           Quote(P("d.zip")))
                      .status,
                  0);
    }
}

// Every file name extracted under a folder, "/" between parts.
std::set<std::string> ExtractedNames(const std::string& root) {
    std::set<std::string> out;
    const CommandResult r = RunShell("cd " + Quote(root) + " && find . -type f -print0");
    size_t start = 0;
    while (start < r.out.size()) {
        const size_t end = r.out.find('\0', start);
        std::string name = r.out.substr(start, end - start);
        if (name.rfind("./", 0) == 0) name = name.substr(2);
        out.insert(name);
        start = end == std::string::npos ? r.out.size() : end + 1;
    }
    return out;
}

}  // namespace

TEST_F(NameRules, AccentedNamesReadRightInEveryTool) {
    Make("data/notes \xc3\xa9t\xc3\xa9.txt", "été");
    Make("data/\xc3\xa0 la ma\xc3\xaetre.txt", "maître");
    Make("data/\xc3\x9c" "bung \xc3\xb6l.txt", "Übung");
    Make("data/ascii.txt", "ascii");
    Make("data/co\xc3\xbbt \xe2\x82\xac.txt", "euro");  // UTF-8 with bit 11
    clsZip zip;
    ASSERT_EQ(zip.FileAdd(P("data/*.*")), 5);
    ASSERT_TRUE(zip.WriteZip(P("a.zip"), false));
    const ReadArchive a = ParseArchive(Slurp(P("a.zip")));
    ASSERT_TRUE(a.ok);
    for (const ReadMember& m : a.members)
        if (m.name == "ascii.txt") {
            EXPECT_TRUE(m.extra.empty() && m.localExtra.empty()) << "ASCII names carry nothing";
        }
    const std::set<std::string> expected = {"notes \xc3\xa9t\xc3\xa9.txt", "\xc3\xa0 la ma\xc3\xaetre.txt",
                                            "\xc3\x9c" "bung \xc3\xb6l.txt", "ascii.txt",
                                            "co\xc3\xbbt \xe2\x82\xac.txt"};
    struct Tool {
        const char* program;
        std::string command;
    };
    const std::string archive = Quote(P("a.zip"));
    const std::vector<Tool> tools = {
        {"unzip", "unzip -q " + archive + " -d "},
        {"7z", "7z x -y -bd " + archive + " -o"},
        {"bsdtar", "bsdtar -xf " + archive + " -C "},
        {"python3", "python3 -c 'import sys,zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' " +
                        archive + " "},
    };
    for (const Tool& tool : tools) {
        if (!HaveProgram(tool.program)) {
            ADD_FAILURE() << tool.program << " is missing (scripts/install-deps.sh installs it)";
            continue;
        }
        const std::string out = P(std::string("out-") + tool.program);
        std::filesystem::create_directories(out);
        const CommandResult r = RunShell("LC_ALL=C.UTF-8 " + tool.command + Quote(out));
        EXPECT_EQ(r.status, 0) << tool.program << ": " << r.err;
        EXPECT_EQ(ExtractedNames(out), expected) << tool.program;
    }
}

TEST_F(NameRules, ANameTooLongOnceUtf8IsLeftOutAtBackupTime) {
    // 60 + 140 + 4 bytes on disk; 348 bytes once its Windows-1252 bytes are UTF-8.
    const std::string name = std::string(60, 'n') + std::string(140, '\xf0') + ".txt";
    const std::string fits = std::string(121, 'o') + std::string(65, '\xe9') + ".txt";  // 255 bytes once UTF-8
    Make("data/" + name, "trop long");
    Make("data/" + fits, "juste");
    clsZip zip;
    EventLog log;
    log.Attach(zip);
    EXPECT_EQ(zip.FileAdd(P("data/*.*")), 1);
    EXPECT_TRUE(log.Has("FileZipErr 23: Nom de fichier trop long pour être restauré, le fichier a été exclu du "
                        "traitement [" + P("data/" + name) + "]"))
        << log.All();
    ASSERT_TRUE(zip.WriteZip(P("l.zip"), false));
    clsZip reader;
    readertest::Recorder rec(reader);
    ASSERT_TRUE(reader.ZipOpen(P("l.zip")));
    std::filesystem::create_directories(P("out"));
    EXPECT_TRUE(reader.ExtractAllFiles(P("out"), false, false, false));
    EXPECT_TRUE(rec.errors.empty());
    EXPECT_EQ(Slurp(P("out/" + kuv::zip::SourceNameToUtf8(fits))), "juste");

    // A folder part too long once UTF-8, stored with its full path.
    const std::string folder = std::string(130, '\xff');
    Make("deep/" + folder + "/f.txt", "f");
    clsZip full;
    EventLog fullLog;
    fullLog.Attach(full);
    EXPECT_EQ(full.FileAdd(P("deep/" + folder + "/f.txt"), 1), 0);
    EXPECT_TRUE(fullLog.Has("FileZipErr 23: Nom de fichier trop long pour être restauré, le fichier a été exclu du "
                            "traitement [" + P("deep/" + folder + "/f.txt") + "]"))
        << fullLog.All();
}
