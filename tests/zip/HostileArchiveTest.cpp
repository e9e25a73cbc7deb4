// Damaged and hostile archives, generated from good ones: each gives an
// error and leaves the target folder and its existing files as they were.
#include <gtest/gtest.h>

#include <chrono>

#include "ReaderTestSupport.h"

using namespace readertest;

namespace {

RawArchive Small() {
    RawArchive a;
    a.members.push_back(Member("un.txt", "premier fichier, premier fichier"));
    a.members.push_back(Member("deux.txt", "second", 0));
    a.comment = "commentaire";
    return a;
}

// Opens bytes, extracts everything over a folder holding one file of each
// member's name, and checks that an error was raised and that every file is
// either as it was or holds exactly its sound member's content (a damaged
// member never replaces anything; the sound one beside it may be restored).
void ExpectRefusedWithoutChange(const Bytes& bytes, const std::string& what) {
    static const std::map<std::string, std::string> sound = {{"un.txt", "premier fichier, premier fichier"},
                                                             {"deux.txt", "second"}};
    Scratch s, t;
    WriteFile(s / "h.zip", bytes);
    WriteFile(t / "un.txt", "ancien un");
    WriteFile(t / "deux.txt", "ancien deux");
    const auto before = Snapshot(t.path());
    clsZip zip;
    Recorder rec(zip);
    if (zip.ZipOpen(s / "h.zip")) {
        zip.ExtractAllFiles(t.path(), true, true, true);
        zip.TestAllFiles();
    }
    EXPECT_FALSE(rec.errors.empty()) << what;
    const auto after = Snapshot(t.path());
    ASSERT_EQ(after.size(), before.size()) << what;
    for (const auto& [name, content] : after) {
        const bool untouched = before.count(name) && before.at(name) == content;
        const bool restored = sound.count(name) && sound.at(name) == content;
        EXPECT_TRUE(untouched || restored) << what << ": " << name << " = " << content;
    }
}

// As above, and the named member's file must be untouched.
void ExpectMemberRefused(const Bytes& bytes, const std::string& member, const std::string& what) {
    Scratch s, t;
    WriteFile(s / "h.zip", bytes);
    WriteFile(t / member, "ancien");
    clsZip zip;
    Recorder rec(zip);
    if (zip.ZipOpen(s / "h.zip")) zip.ExtractAllFiles(t.path(), true, true, false);
    EXPECT_FALSE(rec.errors.empty()) << what;
    EXPECT_EQ(ReadFile(t / member), "ancien") << what;
    ExpectRefusedWithoutChange(bytes, what);
}

std::uint8_t* At(Bytes& b, size_t offset) { return reinterpret_cast<std::uint8_t*>(b.data()) + offset; }

}  // namespace

TEST(Hostile, EveryTruncationIsAnError) {
    const Bytes good = Small().Build();
    for (size_t length = 0; length < good.size(); ++length)
        ExpectRefusedWithoutChange(good.substr(0, length), "truncated to " + std::to_string(length));
}

// A change of the end record's fields (offset 0 = the end record).
struct EndFieldCase {
    const char* what;
    size_t field;          // offset inside the end record
    std::uint32_t value;   // written as 16 or 32 bits
    bool wide;             // 32-bit field
};

std::ostream& operator<<(std::ostream& os, const EndFieldCase& c) { return os << c.what; }

class HostileEndRecord : public ::testing::TestWithParam<EndFieldCase> {};

TEST_P(HostileEndRecord, IsAnError) {
    const EndFieldCase& c = GetParam();
    const RawArchive base = Small();
    Bytes b = base.Build();
    const size_t end = b.size() - 22 - base.comment.size();
    if (c.wide) kuv::zip::PutU32(At(b, end + c.field), c.value);
    else kuv::zip::PutU16(At(b, end + c.field), static_cast<std::uint16_t>(c.value));
    ExpectRefusedWithoutChange(b, c.what);
}

INSTANTIATE_TEST_SUITE_P(Fields, HostileEndRecord,
                         ::testing::Values(EndFieldCase{"directory offset past the end", 16, 100000, true},
                                           EndFieldCase{"directory offset near 4 GiB", 16, 0xFFFFFFF0u, true},
                                           EndFieldCase{"directory size huge", 12, 0x7FFFFFFFu, true},
                                           EndFieldCase{"count too high", 10, 3, false},
                                           EndFieldCase{"count too low", 10, 1, false},
                                           EndFieldCase{"count 65535", 10, 0xFFFF, false},
                                           EndFieldCase{"comment runs past the end", 20, 0xFFFF, false}));

TEST(Hostile, LengthsThatOverrunTheirRecord) {
    {
        RawArchive a = Small();
        a.members[0].centralNameLength = 4000;
        ExpectMemberRefused(a.Build(), "un.txt", "central name length overruns");
    }
    {
        RawArchive a = Small();
        a.members[1].centralExtraLength = 0xFFFF;
        ExpectRefusedWithoutChange(a.Build(), "central extra length overruns");
    }
    {
        // The local header's lengths run into the next member / the directory.
        Bytes b = Small().Build();
        kuv::zip::PutU16(At(b, 28), 0xFFF0);
        ExpectMemberRefused(b, "un.txt", "local extra length overruns");
        b = Small().Build();
        kuv::zip::PutU16(At(b, 26), 0xFFF0);
        ExpectMemberRefused(b, "un.txt", "local name length overruns");
    }
    {
        // A local header that is not where the central entry says.
        RawArchive a = Small();
        a.members[1].localOffset = 3;
        ExpectRefusedWithoutChange(a.Build(), "local offset inside another member");
        Bytes b = Small().Build();
        b[0] = 'X';
        ExpectMemberRefused(b, "un.txt", "local signature damaged");
    }
}

TEST(Hostile, HugeDeclaredSizesOverAFewBytes) {
    {
        RawArchive a = Small();
        a.members[0].centralCompressed = 0x7FFFFFF0;
        ExpectRefusedWithoutChange(a.Build(), "compressed size beyond the file");
    }
    {
        Bytes b = Small().Build();
        kuv::zip::PutU32(At(b, 22), 0x7FFFFFF0);  // uncompressed size of the first local header
        ExpectMemberRefused(b, "un.txt", "uncompressed size huge");
    }
}

TEST(Hostile, FakeEndRecordInsideTheComment) {
    // A comment that holds an end-record signature with nonsense after it:
    // the search passes over it and finds the real one.
    RawArchive a = Small();
    std::string fake(22, '\0');
    kuv::zip::ZipEndRecord e;
    e.entriesOnThisDisk = e.entriesTotal = 9;
    e.centralDirectoryOffset = 12345678;
    e.Encode(reinterpret_cast<std::uint8_t*>(fake.data()));
    a.comment = "avant " + fake + " après";
    Scratch s, t;
    WriteFile(s / "c.zip", a.Build());
    clsZip zip;
    Recorder rec(zip);
    ASSERT_TRUE(zip.ZipOpen(s / "c.zip"));
    EXPECT_EQ(zip.inFileCount(), 2);
    EXPECT_TRUE(zip.TestAllFiles());
    EXPECT_TRUE(rec.errors.empty());

    // With the real end record damaged, the fake one is not taken either.
    Bytes b = a.Build();
    const size_t real = b.size() - 22 - a.comment.size();
    b[real] = 'X';
    ExpectRefusedWithoutChange(b, "only a fake end record");
}

TEST(Hostile, DamagedData) {
    {
        Bytes b = Small().Build();
        b[30 + 6 + 3] ^= 0x40;  // deflated data of un.txt
        ExpectMemberRefused(b, "un.txt", "deflated data damaged");
    }
    {
        const RawArchive a = Small();
        Bytes b = a.Build();
        const size_t second = b.find("deux.txt");
        b[second + 8 + 2] ^= 0x01;  // stored data of deux.txt
        ExpectMemberRefused(b, "deux.txt", "stored data damaged");
    }
}

TEST(Hostile, SeveralCentralEntriesOnOneLocalHeader) {
    RawArchive a = Small();
    a.members[1].localOffset = 0;
    ExpectRefusedWithoutChange(a.Build(), "two entries, one local header");
    RawArchive b;
    b.members.push_back(Member("un.txt", "x"));
    b.members.push_back(Member("un.txt", "x"));
    b.members[1].localOffset = 0;
    ExpectRefusedWithoutChange(b.Build(), "same name, same local header");
}

class HostileName : public ::testing::TestWithParam<const char*> {};

TEST_P(HostileName, LeavesTheFolderAlone) {
    RawArchive a;
    a.members.push_back(Member(GetParam(), "pirate"));
    ExpectRefusedWithoutChange(a.Build(), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Names, HostileName,
                         ::testing::Values("../un.txt", "..\\..\\deux.txt", "a/../../un.txt", ".."));

TEST(Hostile, CrowdOfEndRecordsIsSearchedOnce) {
    // 1000 well-formed empty central headers, then 100000 end records that
    // all describe them with one entry too few: each candidate is
    // inconsistent, and the directory they share is read only once.
    Bytes b;
    for (int i = 0; i < 1000; ++i) {
        std::uint8_t h[46] = {};
        kuv::zip::PutU32(h, kuv::zip::kCentralHeaderSignature);
        b.append(reinterpret_cast<char*>(h), sizeof h);
    }
    for (int i = 0; i < 100000; ++i) {
        kuv::zip::ZipEndRecord e;
        e.entriesOnThisDisk = e.entriesTotal = 999;
        e.centralDirectorySize = 46000;
        e.centralDirectoryOffset = 0;
        std::uint8_t h[22];
        e.Encode(h);
        b.append(reinterpret_cast<char*>(h), sizeof h);
    }
    Scratch s;
    WriteFile(s / "crowd.zip", b);
    clsZip zip;
    Recorder rec(zip);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(zip.ZipOpen(s / "crowd.zip"));
    EXPECT_EQ(rec.ErrorNumbers(), std::vector<int>{2});
    EXPECT_LT(std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count(), 3);
}
