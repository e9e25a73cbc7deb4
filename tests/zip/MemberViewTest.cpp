// One view of each member: the central entry's values rule, a local header
// or a data descriptor that contradicts them is refused (ZipError 14),
// members whose bytes overlap are refused at opening, and no more than the
// declared size is ever inflated.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>

#include "ReaderTestSupport.h"
#include "zip/MemberInflater.h"
#include "zip/ZlibBinding.h"

using namespace readertest;

namespace {

RawArchive Pair() {
    RawArchive a;
    a.members.push_back(Member("un.txt", std::string(3000, 'u') + "fin de un"));
    a.members.push_back(Member("deux.txt", "le second membre", 0));
    return a;
}

struct ViewCase {
    const char* what;
    std::function<void(RawArchive&)> damage;
    bool opens;                 // ZipOpen succeeds
    std::vector<int> errors;    // ZipError numbers of TestAllFiles (opening's when it fails)
};

std::ostream& operator<<(std::ostream& os, const ViewCase& c) { return os << c.what; }

class MemberViewTest : public ::testing::TestWithParam<ViewCase> {};

TEST_P(MemberViewTest, LocalHeaderAgainstTheDirectory) {
    const ViewCase& c = GetParam();
    RawArchive a = Pair();
    c.damage(a);
    Scratch s, t;
    WriteFile(s / "a.zip", a.Build());
    WriteFile(t / "un.txt", "ancien un");
    clsZip zip;
    Recorder rec(zip);
    ASSERT_EQ(zip.ZipOpen(s / "a.zip"), c.opens);
    if (!c.opens) {
        EXPECT_EQ(rec.ErrorNumbers(), c.errors);
        EXPECT_EQ(rec.errors[0].second, "Le fichier " + s / "a.zip" + " n'est pas un fichier Zip");
        return;
    }
    EXPECT_EQ(zip.TestAllFiles(), c.errors.empty());
    EXPECT_EQ(rec.ErrorNumbers(), c.errors);
    rec.errors.clear();
    zip.ExtractAllFiles(t.path(), false, true, false);
    EXPECT_EQ(rec.ErrorNumbers(), c.errors);
    // A refused member never replaces the file it would have replaced.
    if (!c.errors.empty()) EXPECT_EQ(ReadFile(t / "un.txt"), "ancien un");
    else EXPECT_EQ(ReadFile(t / "un.txt"), std::string(3000, 'u') + "fin de un");
}

const std::uint32_t kUnCrc = Crc(std::string(3000, 'u') + "fin de un");

INSTANTIATE_TEST_SUITE_P(
    Cases, MemberViewTest,
    ::testing::Values(
        ViewCase{"sound", [](RawArchive&) {}, true, {}},
        // The local name is never used: a placeholder, or the name in another
        // encoding, is read under the central name when all else agrees.
        ViewCase{"local name a placeholder", [](RawArchive& a) { a.members[0].localName = "-"; }, true, {}},
        ViewCase{"local name in another encoding (bit 11 differs)",
                 [](RawArchive& a) {
                     a.members[0].localName = "UN.txt";
                     a.members[0].localFlags = 0x0800;
                 },
                 true, {}},
        ViewCase{"local name and flags differ",
                 [](RawArchive& a) {
                     a.members[0].localName = "UN.txt";
                     a.members[0].localFlags = 0x0002;
                 },
                 true, {14}},
        ViewCase{"local name and CRC differ",
                 [](RawArchive& a) {
                     a.members[0].localName = "UN.txt";
                     a.members[0].localCrc = kUnCrc ^ 1;
                 },
                 true, {14}},
        ViewCase{"local name and method differ",
                 [](RawArchive& a) {
                     a.members[0].localName = "UN.txt";
                     a.members[0].localMethod = 0;
                 },
                 true, {14}},
        ViewCase{"local method differs", [](RawArchive& a) { a.members[0].localMethod = 0; }, true, {14}},
        ViewCase{"local CRC differs", [](RawArchive& a) { a.members[0].localCrc = kUnCrc ^ 1; }, true, {14}},
        ViewCase{"local compressed size differs", [](RawArchive& a) { a.members[0].localCompressed = 5; }, true,
                 {14}},
        ViewCase{"local size inflates far more (the bomb of empty members)",
                 [](RawArchive& a) { a.members[0].localUncompressed = 0x7FFFFFF0; }, true, {14}},
        ViewCase{"central size far above the local one (a 4 GiB member that tested clean)",
                 [](RawArchive& a) { a.members[0].centralUncompressed = 0xFFFFFFF0; }, true, {14}},
        ViewCase{"both headers declare more than the stream gives",
                 [](RawArchive& a) {
                     a.members[0].centralUncompressed = 0xFFFFFFF0;
                     a.members[0].localUncompressed = 0xFFFFFFF0;
                 },
                 true, {16}},
        ViewCase{"data descriptor agrees", [](RawArchive& a) { a.members[0].dataDescriptor = true; }, true, {}},
        ViewCase{"data descriptor without its signature agrees",
                 [](RawArchive& a) {
                     a.members[0].dataDescriptor = true;
                     a.members[0].descriptorSignature = false;
                 },
                 true, {}},
        ViewCase{"data descriptor contradicts the directory",
                 [](RawArchive& a) {
                     a.members[0].dataDescriptor = true;
                     a.members[0].descriptorCrc = kUnCrc ^ 0x100;
                 },
                 true, {14}},
        ViewCase{"local extra field longer than the directory's (sound)",
                 [](RawArchive& a) {
                     a.members[0].hasLocalExtra = true;
                     a.members[0].localExtra = std::string("\x99\x99\x04\x00" "abcd", 8);
                 },
                 true, {}},
        ViewCase{"local extra length pushes the data into the next member",
                 [](RawArchive& a) { a.members[0].localExtraLength = 40; }, false, {2}},
        ViewCase{"central compressed size runs into the next member",
                 [](RawArchive& a) { a.members[0].centralCompressed = 4000; }, false, {2}}));

// Fifield's overlapping construction: the first member's deflate stream
// quotes the second member's local header in a stored block, then goes on
// with the second member's own data, so the two share bytes.
Bytes QuotedOverlap() {
    const std::string content = std::string(5000, 'k') + "noyau";
    const Bytes kernel = RawDeflate(content);  // one final block
    auto localHeader = [](const Bytes& name, std::uint16_t method, std::uint32_t crc, std::uint32_t csize,
                          std::uint32_t usize) {
        kuv::zip::ZipLocalStart ls;
        kuv::zip::ZipHeaderCommon c;
        c.method = method;
        c.crc32 = crc;
        c.compressedSize = csize;
        c.uncompressedSize = usize;
        c.nameLength = static_cast<std::uint16_t>(name.size());
        std::uint8_t h[30];
        ls.Encode(h);
        c.Encode(h + 6);
        return Bytes(reinterpret_cast<char*>(h), 30) + name;
    };
    const Bytes second = localHeader("b.txt", 8, Crc(content), static_cast<std::uint32_t>(kernel.size()),
                                     static_cast<std::uint32_t>(content.size()));
    // A non-final stored block quoting the second local header.
    Bytes quote(5, '\0');
    quote[0] = 0x00;
    kuv::zip::PutU16(reinterpret_cast<std::uint8_t*>(quote.data()) + 1, static_cast<std::uint16_t>(second.size()));
    kuv::zip::PutU16(reinterpret_cast<std::uint8_t*>(quote.data()) + 3,
                     static_cast<std::uint16_t>(~second.size()));
    const Bytes firstData = quote + second + kernel;
    const std::string firstContent = second + content;
    const Bytes first = localHeader("a.txt", 8, Crc(firstContent), static_cast<std::uint32_t>(firstData.size()),
                                    static_cast<std::uint32_t>(firstContent.size()));
    Bytes out = first + quote + second + kernel;
    const std::uint32_t secondAt = static_cast<std::uint32_t>(first.size() + quote.size());
    const std::uint32_t cd = static_cast<std::uint32_t>(out.size());
    auto central = [](const Bytes& local, std::uint32_t offset) {
        kuv::zip::ZipCentralStart cs;
        const kuv::zip::ZipHeaderCommon c =
            kuv::zip::ZipHeaderCommon::Decode(reinterpret_cast<const std::uint8_t*>(local.data()) + 6);
        kuv::zip::ZipCentralTail t;
        t.LocalHeaderOffset = offset;
        std::uint8_t h[46];
        cs.Encode(h);
        c.Encode(h + 8);
        t.Encode(h + 32);
        return Bytes(reinterpret_cast<char*>(h), 46) + local.substr(30);
    };
    out += central(first, 0) + central(second, secondAt);
    kuv::zip::ZipEndRecord e;
    e.entriesOnThisDisk = e.entriesTotal = 2;
    e.centralDirectorySize = static_cast<std::uint32_t>(out.size()) - cd;
    e.centralDirectoryOffset = cd;
    std::uint8_t h[22];
    e.Encode(h);
    return out + Bytes(reinterpret_cast<char*>(h), 22);
}

}  // namespace

TEST(MemberView, QuotedOverlapIsRefusedAndNeverUpdated) {
    const Bytes bytes = QuotedOverlap();
    // The construction is a real one: each member inflates alone.
    Scratch s;
    WriteFile(s / "q.zip", bytes);
    clsZip zip;
    Recorder rec(zip);
    EXPECT_FALSE(zip.ZipOpen(s / "q.zip"));
    EXPECT_EQ(rec.ErrorNumbers(), std::vector<int>{2});
    // Removing one member of an archive whose members share bytes would
    // destroy the other: refused, the file untouched.
    EXPECT_FALSE(zip.FileRemoveFromZip(s / "q.zip", "b.txt"));
    EXPECT_FALSE(zip.FileRemoveFromZip(s / "q.zip", "a.txt"));
    EXPECT_EQ(ReadFile(s / "q.zip"), bytes);
}

TEST(MemberView, EmptyMembersOverOneBombInflateNothing) {
    // 50 members of 0 bytes in the directory; every local header claims the
    // same deflate stream of 20 MB placed after them.
    const Bytes bomb = RawDeflate(std::string(20 << 20, '\0'));
    RawArchive a;
    const std::uint32_t headers = 50 * (30 + 7);
    for (int i = 0; i < 50; ++i) {
        RawMember m = Member("z" + std::to_string(100 + i).substr(1) + ".bin", "", 0);
        m.localMethod = 8;
        m.localCompressed = headers - static_cast<std::uint32_t>(i) * 37 - 37 + bomb.size();
        m.localUncompressed = 20 << 20;
        m.localCrc = Crc(std::string(20 << 20, '\0'));
        a.members.push_back(m);
    }
    Bytes b = a.Build();
    // The bomb goes between the last local header and the directory.
    const std::size_t cd = headers;
    Bytes withBomb = b.substr(0, cd) + bomb + b.substr(cd);
    const std::size_t end = withBomb.size() - 22;
    kuv::zip::PutU32(reinterpret_cast<std::uint8_t*>(withBomb.data()) + end + 16,
                     static_cast<std::uint32_t>(cd + bomb.size()));
    Scratch s, t;
    WriteFile(s / "bomb.zip", withBomb);
    clsZip zip;
    Recorder rec(zip);
    ASSERT_TRUE(zip.ZipOpen(s / "bomb.zip"));
    EXPECT_EQ(zip.inFileCount(), 50);
    EXPECT_FALSE(zip.TestAllFiles());
    EXPECT_EQ(rec.ErrorNumbers(), std::vector<int>(50, 14));
    rec.errors.clear();
    zip.ExtractAllFiles(t.path(), false, false, false);
    EXPECT_EQ(rec.ErrorNumbers(), std::vector<int>(50, 14));
    EXPECT_TRUE(Snapshot(t.path()).empty());
}

TEST(MemberView, NeverMoreThanTheDeclaredSizeReachesTheOutput) {
    const std::string content(700000, 'x');
    const Bytes data = RawDeflate(content);
    Scratch s;
    WriteFile(s / "d.bin", data);
    const int fd = open((s / "d.bin").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    kuv::zip::MemberData m;
    m.compressedSize = static_cast<std::uint32_t>(data.size());
    m.uncompressedSize = 300000;  // less than the stream gives
    m.crc32 = Crc(content.substr(0, 300000));
    m.method = 8;
    kuv::zip::InflateBuffers buffers;
    std::size_t received = 0;
    const auto result = kuv::zip::DecompressMemberData(
        *kuv::zip::LinkedZlib(), fd, m,
        [&](const std::uint8_t*, std::size_t n) {
            received += n;
            return true;
        },
        buffers);
    close(fd);
    EXPECT_EQ(result, kuv::zip::InflateResult::DataError);
    EXPECT_EQ(received, 300000u);
}

TEST(MemberView, UpdateCopiesEachMemberAsItsCheckedSpan) {
    // A member whose local header carries its own extra field, junk between
    // members, and a member with a data descriptor: removing one keeps the
    // others whole, the junk is not carried.
    RawArchive a;
    a.members.push_back(Member("extra.txt", "avec un champ local"));
    a.members.back().hasLocalExtra = true;
    a.members.back().localExtra = std::string("\x99\x99\x02\x00" "zz", 6);
    a.members.push_back(Member("milieu.txt", "au milieu", 0));
    a.members.push_back(Member("desc.txt", std::string(2000, 'd')));
    a.members.back().dataDescriptor = true;
    Scratch s;
    WriteFile(s / "a.zip", a.Build());
    clsZip zip;
    Recorder rec(zip);
    ASSERT_TRUE(zip.FileRemoveFromZip(s / "a.zip", "milieu.txt"));
    Scratch t;
    ASSERT_TRUE(zip.ZipOpen(s / "a.zip"));
    EXPECT_TRUE(zip.TestAllFiles());
    ASSERT_TRUE(zip.ExtractAllFiles(t.path(), false, false, false));
    EXPECT_TRUE(rec.errors.empty());
    EXPECT_EQ(Snapshot(t.path()), (std::map<std::string, std::string>{{"extra.txt", "avec un champ local"},
                                                                       {"desc.txt", std::string(2000, 'd')}}));
    EXPECT_EQ(ReadFile(s / "a.zip").find(std::string("\x99\x99\x02\x00" "zz", 6)) != std::string::npos, true);
}
