// Archives other tools write and read, made here byte by byte: data before
// the first member that the offsets leave out, a classic end record of
// Zip64 markers before a Zip64 end record, folders marked only by their
// MS-DOS attribute, a local name other than the central one, and
// modification times from the extra fields. Each is listed, tested and
// extracted as other readers do; the look-alikes they must not be taken for
// are still refused.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "ReaderTestSupport.h"
#include "platform/Files.h"

using namespace readertest;

namespace {

const Bytes kText = "le texte du fichier, " + std::string(4000, 't');

// A folder "docs" holding "a.txt", and "b.txt" at the root.
RawArchive Sample() {
    RawArchive a;
    a.members.push_back(Member("docs/", "", 0));
    a.members.push_back(Member("docs/a.txt", kText));
    a.members.push_back(Member("b.txt", "deux", 0));
    return a;
}

const std::map<std::string, std::string> kSampleTree = {
    {"docs", "<dir>"}, {"docs/a.txt", kText}, {"b.txt", "deux"}};

// A self-extractor's stub: bytes that look like a program, signatures of
// the format kept out of it.
Bytes Stub() { return "MZ" + std::string(6000, '\x90') + "stub"; }

// An extended timestamp field (flags: modification time present).
Bytes TimestampField(std::uint32_t modified) {
    Bytes f = std::string("\x55\x54\x05\x00\x01", 5);
    std::uint8_t t[4];
    kuv::zip::PutU32(t, modified);
    return f + Bytes(reinterpret_cast<char*>(t), 4);
}

// An Info-ZIP Unix field of the first form: access time, modification time.
Bytes UnixField(std::uint32_t accessed, std::uint32_t modified) {
    std::uint8_t t[12];
    kuv::zip::PutU16(t, 0x5855);
    kuv::zip::PutU16(t + 2, 8);
    kuv::zip::PutU32(t + 4, accessed);
    kuv::zip::PutU32(t + 8, modified);
    return Bytes(reinterpret_cast<char*>(t), 12);
}

constexpr std::uint32_t kStamp = 1600000000;  // 13 Sep 2020 12:26:40 UTC

struct ForeignCase {
    const char* what;
    std::function<Bytes()> make;
    bool opens;
    std::vector<std::string> names;                  // listed, in order
    std::map<std::string, std::string> tree;         // extracted
    std::map<std::string, std::int64_t> times;       // modification times of extracted files
    std::vector<int> openErrors;                     // when it does not open
};

std::ostream& operator<<(std::ostream& os, const ForeignCase& c) { return os << c.what; }

class ForeignArchiveTest : public ::testing::TestWithParam<ForeignCase> {};

TEST_P(ForeignArchiveTest, ReadAsOtherReadersDo) {
    const ForeignCase& c = GetParam();
    Scratch s;
    WriteFile(s / "a.zip", c.make());
    clsZip zip;
    Recorder rec(zip);
    ASSERT_EQ(zip.ZipOpen(s / "a.zip"), c.opens) << (rec.errors.empty() ? "" : rec.errors[0].second);
    if (!c.opens) {
        EXPECT_EQ(rec.ErrorNumbers(), c.openErrors);
        return;
    }
    std::vector<std::string> names;
    for (std::int32_t n = 1; n <= zip.inFileCount(); ++n) names.push_back(zip.inFileName(n));
    EXPECT_EQ(names, c.names);
    EXPECT_TRUE(zip.TestAllFiles()) << (rec.errors.empty() ? "" : rec.errors[0].second);
    Scratch out;
    EXPECT_TRUE(zip.ExtractAllFiles(out.path(), true, false, true));
    EXPECT_TRUE(rec.errors.empty()) << rec.errors[0].first << " " << rec.errors[0].second;
    EXPECT_EQ(Snapshot(out.path()), c.tree);
    for (const auto& [file, when] : c.times) {
        struct stat st {};
        ASSERT_EQ(stat((out / file).c_str(), &st), 0) << file;
        EXPECT_EQ(st.st_mtime, when) << file;
        // The listing shows the same time.
        for (std::int32_t n = 1; n <= zip.inFileCount(); ++n) {
            std::string name = zip.inFileName(n);
            std::replace(name.begin(), name.end(), '\\', '/');
            if (name == file) {
                EXPECT_EQ(kuv::platform::FromLocalDateTime(zip.FileDateAndTime(n)), when) << file;
            }
        }
    }
}

const std::vector<std::string> kSampleNames = {"docs\\", "docs\\a.txt", "b.txt"};

INSTANTIATE_TEST_SUITE_P(
    Classes, ForeignArchiveTest,
    ::testing::Values(
        ForeignCase{"stub before the members, offsets not adjusted", [] { return Stub() + Sample().Build(); }, true,
                    kSampleNames, kSampleTree, {}, {}},
        ForeignCase{"stub before a Zip64 archive, offsets not adjusted",
                    [] { return Stub() + WithZip64End(Sample().Build(), false); }, true, kSampleNames, kSampleTree,
                    {}, {}},
        ForeignCase{"stub with the offsets adjusted (as before)",
                    [] {
                        RawArchive a = Sample();
                        a.prefix = Stub();
                        return a.Build();
                    },
                    true, kSampleNames, kSampleTree, {}, {}},
        ForeignCase{"stub, but the shifted offsets lead to no local header",
                    [] {
                        Bytes b = Stub() + Sample().Build();
                        b[Stub().size()] = 'X';  // the first local header's signature
                        return b;
                    },
                    false, {}, {}, {}, {2}},
        ForeignCase{"classic end record of markers only, disks included, before a Zip64 end record",
                    [] { return WithZip64End(Sample().Build()); }, true, kSampleNames, kSampleTree, {}, {}},
        ForeignCase{"classic end record of markers with a Zip64 end record on another disk",
                    [] {
                        Bytes b = WithZip64End(Sample().Build());
                        b[b.size() - 22 - 20 - 56 + 16] = 1;  // the Zip64 record's disk number
                        return b;
                    },
                    false, {}, {}, {}, {20}},
        ForeignCase{"classic end record of markers without a Zip64 end record",
                    [] {
                        Bytes b = WithZip64End(Sample().Build());
                        return b.substr(0, b.size() - 22 - 20 - 56) + b.substr(b.size() - 22);
                    },
                    false, {}, {}, {}, {20}},
        ForeignCase{"folders marked only by the MS-DOS attribute",
                    [] {
                        RawArchive a = Sample();
                        a.members[0].name = "docs";
                        a.members[0].externalAttributes = 0x10;
                        a.members.push_back(Member("vide", "", 0));
                        a.members.back().externalAttributes = 0x30;
                        return a.Build();
                    },
                    true, {"docs\\", "docs\\a.txt", "b.txt", "vide\\"},
                    {{"docs", "<dir>"}, {"docs/a.txt", kText}, {"b.txt", "deux"}, {"vide", "<dir>"}}, {}, {}},
        ForeignCase{"an empty file of a Unix host stays a file whatever its MS-DOS byte",
                    [] {
                        RawArchive a = Sample();
                        a.members[0].name = "docs";  // "docs/a.txt" then cannot be made
                        a.members.erase(a.members.begin() + 1);
                        a.members[0].versionMadeBy = 0x0314;
                        a.members[0].externalAttributes = (0100644u << 16) | 0x10;
                        return a.Build();
                    },
                    true, {"docs", "b.txt"}, {{"docs", ""}, {"b.txt", "deux"}}, {}, {}},
        ForeignCase{"local names placeholders, the central names the real ones",
                    [] {
                        RawArchive a = Sample();
                        for (RawMember& m : a.members) m.localName = "-";
                        return a.Build();
                    },
                    true, kSampleNames, kSampleTree, {}, {}},
        ForeignCase{"modification time from the extended timestamp",
                    [] {
                        RawArchive a = Sample();
                        a.members[1].extra = TimestampField(kStamp);
                        a.members[2].extra = UnixField(5, kStamp + 7) + TimestampField(kStamp + 3);
                        return a.Build();
                    },
                    true, kSampleNames, kSampleTree, {{"docs/a.txt", kStamp}, {"b.txt", kStamp + 3}}, {}},
        ForeignCase{"modification time from the Info-ZIP Unix field",
                    [] {
                        RawArchive a = Sample();
                        a.members[1].extra = UnixField(5, kStamp + 11);
                        return a.Build();
                    },
                    true, kSampleNames, kSampleTree, {{"docs/a.txt", kStamp + 11}}, {}},
        ForeignCase{"a timestamp field without its modification time leaves the DOS time",
                    [] {
                        RawArchive a = Sample();
                        a.members[1].extra = std::string("\x55\x54\x05\x00\x02\x01\x02\x03\x04", 9);
                        return a.Build();
                    },
                    true, kSampleNames, kSampleTree,
                    {{"docs/a.txt", kuv::platform::FromLocalDateTime(kuv::zip::DateFromDosWords(0x5798, 0x7260))}},
                    {}}));

// Info-ZIP zip stores the exact time in an extended timestamp: the file
// gets it back to the second, not the DOS time's two seconds in local time.
TEST(ForeignArchive, InfoZipTimeRestoredToTheSecond) {
    if (!Have("zip")) GTEST_SKIP() << "zip missing";
    Scratch s;
    mkdir((s / "t").c_str(), 0777);
    WriteFile(s / "t/impair.txt", kText);
    ASSERT_EQ(Shell("touch -d @1500000001 '" + s / "t/impair.txt" + "'"), 0);
    ASSERT_EQ(Shell("cd '" + s / "t" + "' && zip -q6 '" + s / "a.zip" + "' impair.txt"), 0);
    clsZip zip;
    ASSERT_TRUE(zip.ZipOpen(s / "a.zip"));
    EXPECT_EQ(kuv::platform::FromLocalDateTime(zip.FileDateAndTime(1)), 1500000001);
    Scratch out;
    ASSERT_TRUE(zip.ExtractAllFiles(out.path(), true, false, true));
    struct stat st {};
    ASSERT_EQ(stat((out / "impair.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1500000001);
}

// An update of an archive behind a stub keeps the stub, and writes offsets
// that count it: other readers then read the result without shifting.
TEST(ForeignArchive, UpdateBehindAStubKeepsItAndAdjustsTheOffsets) {
    Scratch s;
    WriteFile(s / "a.zip", Stub() + Sample().Build());
    WriteFile(s / "nouveau.txt", "ajouté");
    clsZip zip;
    Recorder rec(zip);
    std::int32_t choice = 0;
    ASSERT_TRUE(zip.FileAddIntoZip(s / "a.zip", s / "nouveau.txt", choice, false, false))
        << (rec.errors.empty() ? "" : rec.errors[0].second);
    ASSERT_TRUE(zip.FileRemoveFromZip(s / "a.zip", "b.txt")) << (rec.errors.empty() ? "" : rec.errors[0].second);
    const Bytes bytes = ReadFile(s / "a.zip");
    EXPECT_TRUE(bytes.compare(0, Stub().size(), Stub()) == 0) << "the stub is lost";
    ASSERT_TRUE(zip.ZipOpen(s / "a.zip"));
    std::vector<std::string> names;
    for (std::int32_t n = 1; n <= zip.inFileCount(); ++n) names.push_back(zip.inFileName(n));
    EXPECT_EQ(names, (std::vector<std::string>{"docs\\", "docs\\a.txt", "nouveau.txt"}));
    EXPECT_TRUE(zip.TestAllFiles());
    // The first member's offset counts the stub.
    const std::size_t directory = bytes.find("PK\x01\x02");
    ASSERT_NE(directory, std::string::npos);
    EXPECT_EQ(kuv::zip::GetU32(reinterpret_cast<const std::uint8_t*>(bytes.data() + directory + 42)), Stub().size());
    if (Have("unzip")) {
        EXPECT_EQ(Shell("unzip -tq '" + s / "a.zip" + "'"), 0);
    }
}

}  // namespace
