// Damaged and hostile archives, generated from good ones: each gives an
// error and leaves the target folder and its existing files as they were.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>

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

// ---------------- Zip64 records ----------------

namespace {

Bytes U64(std::uint64_t v) {
    Bytes b(8, '\0');
    for (int i = 0; i < 8; ++i) b[static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
    return b;
}

// A Zip64 extra field holding the given 8-byte values in order.
Bytes Zip64Field(const std::vector<std::uint64_t>& values) {
    Bytes b(4, '\0');
    kuv::zip::PutU16(At(b, 0), 0x0001);
    kuv::zip::PutU16(At(b, 2), static_cast<std::uint16_t>(8 * values.size()));
    for (std::uint64_t v : values) b += U64(v);
    return b;
}

// The fields of a Zip64 end record and its locator, as a test writes them.
struct Zip64End {
    std::uint64_t recordSize = 44;
    std::uint32_t disk = 0;
    std::uint64_t entriesOnDisk = 0, entries = 0, directorySize = 0, directoryOffset = 0;
    std::uint32_t locatorDisk = 0, totalDisks = 1;
    std::uint64_t recordOffset = 0;  // where the locator says the record is
    // The end record's own fields: the marker unless changed.
    std::uint32_t classicEntries = 0xFFFF, classicSize = 0xFFFFFFFF, classicOffset = 0xFFFFFFFF;
};

// The archive a builds, with a Zip64 end record and its locator inserted
// before the end record; change may alter what they say.
Bytes WithZip64End(const RawArchive& a, const std::function<void(Zip64End&)>& change = {}) {
    const Bytes plain = a.Build();
    const size_t end = plain.size() - 22 - a.comment.size();
    const auto* e = reinterpret_cast<const std::uint8_t*>(plain.data()) + end;
    Zip64End z;
    z.entriesOnDisk = z.entries = kuv::zip::GetU16(e + 10);
    z.directorySize = kuv::zip::GetU32(e + 12);
    z.directoryOffset = kuv::zip::GetU32(e + 16);
    z.recordOffset = end;
    if (change) change(z);
    Bytes record(12, '\0');
    kuv::zip::PutU32(At(record, 0), 0x06064b50);
    record.replace(4, 8, U64(z.recordSize));
    Bytes rest(12, '\0');  // versions made by and needed, this disk, the directory's disk
    kuv::zip::PutU16(At(rest, 0), 45);
    kuv::zip::PutU16(At(rest, 2), 45);
    kuv::zip::PutU32(At(rest, 4), z.disk);
    record += rest + U64(z.entriesOnDisk) + U64(z.entries) + U64(z.directorySize) + U64(z.directoryOffset);
    Bytes locator(4, '\0');
    kuv::zip::PutU32(At(locator, 0), 0x07064b50);
    Bytes disk(4, '\0'), total(4, '\0');
    kuv::zip::PutU32(At(disk, 0), z.locatorDisk);
    kuv::zip::PutU32(At(total, 0), z.totalDisks);
    locator += disk + U64(z.recordOffset) + total;
    Bytes classic = plain.substr(end);
    kuv::zip::PutU16(At(classic, 8), static_cast<std::uint16_t>(z.classicEntries));
    kuv::zip::PutU16(At(classic, 10), static_cast<std::uint16_t>(z.classicEntries));
    kuv::zip::PutU32(At(classic, 12), z.classicSize);
    kuv::zip::PutU32(At(classic, 16), z.classicOffset);
    return plain.substr(0, end) + record + locator + classic;
}

// Opening bytes is refused with "... n'est pas un fichier Zip" (2) alone.
void ExpectNotAnArchive(const Bytes& bytes, const std::string& what) {
    Scratch s;
    WriteFile(s / "z.zip", bytes);
    clsZip zip;
    Recorder rec(zip);
    EXPECT_FALSE(zip.ZipOpen(s / "z.zip")) << what;
    EXPECT_EQ(rec.ErrorNumbers(), std::vector<int>{2}) << what;
    ExpectRefusedWithoutChange(bytes, what);
}

}  // namespace

TEST(Zip64Records, SoundZip64EndAndFieldsAreRead) {
    RawArchive a = Small();
    // The first member with both sizes and its offset in its Zip64 field.
    const Bytes data = RawDeflate(a.members[0].content);
    a.members[0].extra = Zip64Field({a.members[0].content.size(), data.size(), 0});
    a.members[0].centralCompressed = a.members[0].centralUncompressed = a.members[0].localOffset = 0xFFFFFFFF;
    Scratch s, t;
    WriteFile(s / "z.zip", WithZip64End(a));
    clsZip zip;
    Recorder rec(zip);
    ASSERT_TRUE(zip.ZipOpen(s / "z.zip"));
    ASSERT_EQ(zip.inFileCount(), 2);
    EXPECT_EQ(zip.FileUncompressedSize(1), static_cast<std::int64_t>(a.members[0].content.size()));
    EXPECT_EQ(zip.FileCompressedSize(1), static_cast<std::int64_t>(data.size()));
    EXPECT_TRUE(zip.TestAllFiles());
    EXPECT_TRUE(zip.ExtractAllFiles(t.path(), true, true, false));
    EXPECT_EQ(ReadFile(t / "un.txt"), "premier fichier, premier fichier");
    EXPECT_EQ(ReadFile(t / "deux.txt"), "second");
    EXPECT_TRUE(rec.errors.empty()) << rec.errors.front().second;
}

struct Zip64EndCase {
    const char* what;
    std::function<void(Zip64End&)> change;
};

std::ostream& operator<<(std::ostream& os, const Zip64EndCase& c) { return os << c.what; }

class HostileZip64End : public ::testing::TestWithParam<Zip64EndCase> {};

TEST_P(HostileZip64End, IsNotAnArchive) {
    ExpectNotAnArchive(WithZip64End(Small(), GetParam().change), GetParam().what);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, HostileZip64End,
    ::testing::Values(
        Zip64EndCase{"locator past the end", [](Zip64End& z) { z.recordOffset = 1ull << 40; }},
        Zip64EndCase{"locator at garbage", [](Zip64End& z) { z.recordOffset = 0; }},
        Zip64EndCase{"locator near 2^64", [](Zip64End& z) { z.recordOffset = ~0ull - 10; }},
        Zip64EndCase{"locator on another disk", [](Zip64End& z) { z.totalDisks = 2; }},
        Zip64EndCase{"record size wrong", [](Zip64End& z) { z.recordSize = 60; }},
        Zip64EndCase{"record size 2^63", [](Zip64End& z) { z.recordSize = 1ull << 63; }},
        Zip64EndCase{"counts disagree with the end record", [](Zip64End& z) { z.classicEntries = 1; }},
        Zip64EndCase{"count too high", [](Zip64End& z) { z.entries = z.entriesOnDisk = 3; }},
        Zip64EndCase{"count 2^63", [](Zip64End& z) { z.entries = z.entriesOnDisk = 1ull << 63; }},
        Zip64EndCase{"counts on the disk and in total differ", [](Zip64End& z) { z.entriesOnDisk = 1; }},
        Zip64EndCase{"directory offset past the end", [](Zip64End& z) { z.directoryOffset = 1ull << 33; }},
        Zip64EndCase{"directory size 2^63", [](Zip64End& z) { z.directorySize = 1ull << 63; }},
        Zip64EndCase{"directory offset disagrees with the end record",
                     [](Zip64End& z) { z.classicOffset = static_cast<std::uint32_t>(z.directoryOffset + 1); }},
        Zip64EndCase{"directory size disagrees with the end record",
                     [](Zip64End& z) { z.classicSize = static_cast<std::uint32_t>(z.directorySize - 1); }}));

struct Zip64FieldCase {
    const char* what;
    std::function<void(RawMember&)> change;
    int number;  // 2: the archive is refused; 14: the member is
};

std::ostream& operator<<(std::ostream& os, const Zip64FieldCase& c) { return os << c.what; }

class HostileZip64Field : public ::testing::TestWithParam<Zip64FieldCase> {};

TEST_P(HostileZip64Field, IsRefusedWithItsNumber) {
    const Zip64FieldCase& c = GetParam();
    RawArchive a = Small();
    c.change(a.members[0]);
    const Bytes bytes = a.Build();
    if (c.number == 2) {
        ExpectNotAnArchive(bytes, c.what);
        return;
    }
    Scratch s, t;
    WriteFile(s / "z.zip", bytes);
    clsZip zip;
    Recorder rec(zip);
    ASSERT_TRUE(zip.ZipOpen(s / "z.zip")) << c.what;
    zip.ExtractAllFiles(t.path(), true, true, false);
    EXPECT_EQ(rec.ErrorNumbers(), std::vector<int>{c.number}) << c.what;
    EXPECT_FALSE(Exists(t / "un.txt")) << c.what;
    EXPECT_EQ(ReadFile(t / "deux.txt"), "second") << c.what;
    ExpectMemberRefused(bytes, "un.txt", c.what);
}

INSTANTIATE_TEST_SUITE_P(
    Members, HostileZip64Field,
    ::testing::Values(
        Zip64FieldCase{"compressed size 2^63",
                       [](RawMember& m) {
                           m.centralCompressed = 0xFFFFFFFF;
                           m.extra = Zip64Field({1ull << 63});
                       },
                       2},
        Zip64FieldCase{"uncompressed size 2^63",
                       [](RawMember& m) {
                           m.centralUncompressed = 0xFFFFFFFF;
                           m.extra = Zip64Field({1ull << 63});
                       },
                       2},
        Zip64FieldCase{"marked size missing from the field",
                       [](RawMember& m) { m.centralUncompressed = 0xFFFFFFFF; }, 2},
        Zip64FieldCase{"field too short for the marked values",
                       [](RawMember& m) {
                           m.centralUncompressed = m.centralCompressed = 0xFFFFFFFF;
                           m.extra = Zip64Field({m.content.size()});
                       },
                       2},
        Zip64FieldCase{"compressed size past the end",
                       [](RawMember& m) {
                           m.centralCompressed = 0xFFFFFFFF;
                           m.extra = Zip64Field({1ull << 33});
                       },
                       2},
        Zip64FieldCase{"local header offset past the end",
                       [](RawMember& m) {
                           m.localOffset = 0xFFFFFFFF;
                           m.extra = Zip64Field({1ull << 40});
                       },
                       2},
        Zip64FieldCase{"local header offset inside the other member",
                       [](RawMember& m) {
                           m.localOffset = 0xFFFFFFFF;
                           m.extra = Zip64Field({80});
                       },
                       2},
        Zip64FieldCase{"local Zip64 size disagrees with the directory",
                       [](RawMember& m) {
                           m.hasLocalExtra = true;
                           m.localExtra = Zip64Field({m.content.size() + 1, RawDeflate(m.content).size()});
                           m.localUncompressed = m.localCompressed = 0xFFFFFFFF;
                       },
                       14},
        Zip64FieldCase{"local Zip64 field missing",
                       [](RawMember& m) { m.localUncompressed = m.localCompressed = 0xFFFFFFFF; }, 14}));
