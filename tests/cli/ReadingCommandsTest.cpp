// kuvzip-cli list, comment, extract, test, add, remove: output contract and
// exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <ctime>

#include "tests/zip/ReaderTestSupport.h"

using namespace readertest;

namespace {

struct Result {
    int status = -1;
    std::string out, err;
};

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

Result Cli(const Scratch& s, const std::vector<std::string>& args) {
    std::string command = Quote(std::string(KUVZIP_BIN_DIR) + "/kuvzip-cli");
    for (const auto& a : args) command += " " + Quote(a);
    command += " > " + Quote(s / "stdout") + " 2> " + Quote(s / "stderr");
    const int raw = std::system(command.c_str());
    Result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = ReadFile(s / "stdout");
    r.err = ReadFile(s / "stderr");
    return r;
}

RawArchive Sample() {
    RawArchive a;
    a.members.push_back(Member("docs\\note.txt", "une note"));
    a.members.push_back(Member("caf\x82.txt", "stocké", 0));
    a.members.back().dosDate = 0;  // not a calendar date
    a.comment = "ligne 1\r\nligne 2";
    return a;
}

}  // namespace

TEST(ReadingCommands, ListAndComment) {
    Scratch s;
    WriteFile(s / "a.zip", Sample().Build());
    const Bytes stored = RawDeflate("une note");
    Result r = Cli(s, {"list", s / "a.zip"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "1\tdocs\\note.txt\t" + std::to_string(stored.size()) + "\t8\t2023-12-24 14:19:00\n"
                     "2\tcafé.txt\t7\t7\t0000-00-00 00:00:00\n");
    EXPECT_EQ(r.err, "Status: Ouverture du Zip\nStatus: Zip ouvert\nStatus: Zip fermé\n");

    r = Cli(s, {"comment", s / "a.zip"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "ligne 1\nligne 2\n");

    r = Cli(s, {"list", s / "absent.zip"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("ZipError 10: Le fichier " + s / "absent.zip" + " n'existe pas\n"), std::string::npos);
    EXPECT_EQ(Cli(s, {"list"}).status, 2);
    EXPECT_EQ(Cli(s, {"list", "--bogus", s / "a.zip"}).status, 2);
}

TEST(ReadingCommands, ExtractAndTest) {
    Scratch s;
    WriteFile(s / "a.zip", Sample().Build());
    Result r = Cli(s, {"extract", "--preserve-path", s / "a.zip", s / "out"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(s / "out/docs/note.txt"), "une note");
    EXPECT_EQ(ReadFile(s / "out/café.txt"), "stocké");
    EXPECT_NE(r.err.find("Status: Extraction terminée\n"), std::string::npos);

    r = Cli(s, {"extract", "--member", "1", s / "a.zip", s / "out"});
    EXPECT_EQ(r.status, 0) << r.err;
    r = Cli(s, {"extract", "--member", "1", s / "a.zip", s / "out"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ZipError 11: Le fichier " + s / "out/note.txt"), std::string::npos) << r.err;
    WriteFile(s / "out/note.txt", "ancienne");
    r = Cli(s, {"extract", "--member", "1", "--overwrite", "--keep-date", s / "a.zip", s / "out"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(s / "out/note.txt"), "une note");
    EXPECT_EQ(Cli(s, {"extract", "--member", "x", s / "a.zip", s / "out"}).status, 2);

    r = Cli(s, {"test", s / "a.zip"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    // The first member's CRC, damaged alike in both its headers.
    RawArchive d = Sample();
    d.members[0].centralCrc = Crc(d.members[0].content) ^ 1;
    Bytes damaged = d.Build();
    damaged[14] ^= 1;
    WriteFile(s / "d.zip", damaged);
    r = Cli(s, {"test", s / "d.zip"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ZipError 5: Erreur de checksum (CRC) dans docs\\note.txt\n"), std::string::npos) << r.err;
}

TEST(ReadingCommands, AddAndRemove) {
    Scratch s;
    WriteFile(s / "a.zip", Sample().Build());
    WriteFile(s / "ajout.txt", "ajouté");
    Result r = Cli(s, {"add", s / "a.zip", s / "ajout.txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    r = Cli(s, {"add", s / "a.zip", s / "ajout.txt"});
    EXPECT_EQ(r.status, 1);  // already there, no --overwrite
    r = Cli(s, {"add", "--overwrite", "--no-crc", "--path-mode", "0", s / "a.zip", s / "ajout.txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    r = Cli(s, {"remove", s / "a.zip", "DOCS/NOTE.TXT"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Status: Suppression élément interne à fichier comprimé terminée.\n"), std::string::npos);
    r = Cli(s, {"list", s / "a.zip"});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out.substr(0, r.out.find('\t', 2)), "1\tcafé.txt");
    EXPECT_NE(r.out.find("2\tajout.txt\t"), std::string::npos) << r.out;
    EXPECT_EQ(Cli(s, {"comment", s / "a.zip"}).out, "ligne 1\nligne 2\n");
    r = Cli(s, {"remove", s / "a.zip", "absent"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Cli(s, {"remove", s / "a.zip"}).status, 2);
}

TEST(ReadingCommands, SizesOfTwoGibibytesAndMoreAreNotNegative) {
    // The directory declares 3 GiB for a member (listing reads nothing more).
    RawArchive a;
    a.members.push_back(Member("grand.bin", "petit", 0));
    a.members.back().centralUncompressed = 0xC0000000;
    Scratch s;
    WriteFile(s / "g.zip", a.Build());
    const Result r = Cli(s, {"list", s / "g.zip"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\t5\t3221225472\t"), std::string::npos) << r.out;
}

// An archive written by zip -6 with a stub put in front afterwards (its
// offsets leave the stub out): listed with the exact time zip stored in its
// extended timestamp, extracted with that time, tested clean.
TEST(ReadingCommands, AZip6ArchiveBehindAStub) {
    if (std::system("command -v zip >/dev/null 2>&1") != 0) GTEST_SKIP() << "zip missing";
    Scratch s;
    mkdir((s / "t").c_str(), 0777);
    const Bytes text = "une ligne de texte\n" + std::string(20000, 'x');
    WriteFile(s / "t/a.txt", text);
    ASSERT_EQ(std::system(("touch -d @1500000001 " + Quote(s / "t/a.txt") + " && cd " + Quote(s / "t") +
                           " && zip -q6 ../z.zip a.txt")
                              .c_str()),
              0);
    WriteFile(s / "b.zip", "MZ" + std::string(3000, '\x90') + ReadFile(s / "z.zip"));
    Result r = Cli(s, {"list", s / "b.zip"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::time_t when = 1500000001;
    std::tm local {};
    localtime_r(&when, &local);
    char shown[32];
    std::strftime(shown, sizeof shown, "%Y-%m-%d %H:%M:%S", &local);
    EXPECT_NE(r.out.find(std::string("\ta.txt\t")), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(shown), std::string::npos) << r.out;
    r = Cli(s, {"extract", "--preserve-path", "--keep-date", s / "b.zip", s / "out"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(s / "out/a.txt"), text);
    struct stat st {};
    ASSERT_EQ(stat((s / "out/a.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, when);
    EXPECT_EQ(Cli(s, {"test", s / "b.zip"}).status, 0);
}
