// The end-record search: bounded work on any file, offset 0 examined like
// any other, one verdict at opening for a spanned archive, and nothing of a
// previous archive left after a failed opening.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "ReaderTestSupport.h"
#include "zip/EndRecordScan.h"

using namespace readertest;

namespace {

Bytes EndRecord(std::uint16_t entries, std::uint32_t size, std::uint32_t offset) {
    kuv::zip::ZipEndRecord e;
    e.entriesOnThisDisk = e.entriesTotal = entries;
    e.centralDirectorySize = size;
    e.centralDirectoryOffset = offset;
    Bytes b(22, '\0');
    e.Encode(reinterpret_cast<std::uint8_t*>(b.data()));
    return b;
}

Bytes EmptyCentralHeaders(int n) {
    Bytes h(46, '\0');
    kuv::zip::PutU32(reinterpret_cast<std::uint8_t*>(h.data()), kuv::zip::kCentralHeaderSignature);
    Bytes out;
    out.reserve(46u * static_cast<unsigned>(n));
    for (int i = 0; i < n; ++i) out += h;
    return out;
}

// Runs the search over a file: its result and the bytes it parsed.
std::pair<std::int64_t, std::uint64_t> Search(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY);
    EXPECT_GE(fd, 0);
    const std::uint64_t size = static_cast<std::uint64_t>(lseek(fd, 0, SEEK_END));
    kuv::zip::EndRecordSearch search(fd, size);
    const std::int64_t found = search.Find();
    const std::uint64_t parsed = search.BytesParsed();
    close(fd);
    return {found, parsed};
}

}  // namespace

TEST(EndRecordSearch, CrowdOfEndRecordsOverAFullDirectoryIsBounded) {
    // 65,535 empty central headers, then 60,000 end records that each declare
    // them with a different directory size (one of them the exact size).
    const std::uint32_t directory = 65535u * 46u;
    Bytes b = EmptyCentralHeaders(65535);
    for (std::uint32_t i = 0; i < 60000; ++i) b += EndRecord(65535, directory - 30000 + i, 0);
    Scratch s;
    WriteFile(s / "crowd.zip", b);
    ASSERT_GT(b.size(), 4'300'000u);

    const auto [found, parsed] = Search(s / "crowd.zip");
    EXPECT_EQ(found, -1);
    EXPECT_LE(parsed, 4 * b.size());
    std::printf("[ figures  ] %zu bytes: %llu bytes parsed (%.2f x the size)\n", b.size(),
                static_cast<unsigned long long>(parsed), static_cast<double>(parsed) / static_cast<double>(b.size()));

    clsZip zip;
    Recorder rec(zip);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(zip.ZipOpen(s / "crowd.zip"));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("[ figures  ] ZipOpen of the crowd file: %.3f s\n", seconds);
    EXPECT_EQ(rec.ErrorNumbers(), std::vector<int>{2});
    EXPECT_LT(seconds, 3.0);
}

TEST(EndRecordSearch, EndRecordsAtEveryDirectoryOffsetSpendTheBudget) {
    // 20,000 central headers, then 20,000 end records each starting its
    // directory at another header (and counting one entry too few): parsing
    // each from its own offset would read the directory 10,000 times over.
    Bytes b = EmptyCentralHeaders(20000);
    for (std::uint32_t i = 0; i < 20000; ++i)
        b += EndRecord(static_cast<std::uint16_t>(20000 - i - 1), (20000 - i) * 46, i * 46);
    Scratch s;
    WriteFile(s / "offsets.zip", b);
    const auto start = std::chrono::steady_clock::now();
    const auto [found, parsed] = Search(s / "offsets.zip");
    EXPECT_EQ(found, -1);
    EXPECT_LE(parsed, kuv::zip::EndRecordSearch::kBudgetFactor * b.size() + kuv::zip::EndRecordSearch::kBudgetFloor +
                          64 * 1024);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 3.0);
}

TEST(EndRecordSearch, ASoundArchiveCostsLittleMoreThanItsSize) {
    RawArchive a;
    for (int i = 0; i < 300; ++i) a.members.push_back(Member("f" + std::to_string(i) + ".txt", "contenu " + std::to_string(i)));
    a.comment = "commentaire";
    Scratch s;
    const Bytes b = a.Build();
    WriteFile(s / "a.zip", b);
    const auto [found, parsed] = Search(s / "a.zip");
    EXPECT_EQ(found, static_cast<std::int64_t>(b.size() - 22 - a.comment.size()));
    EXPECT_LE(parsed, 3 * b.size());
}

TEST(EndRecordSearch, AnArchiveWithoutMembersIsAnArchive) {
    Scratch s;
    // Written by the engine itself: an empty list, then the last member removed.
    {
        clsZip zip;
        zip.SetComment("vide");
        ASSERT_TRUE(zip.WriteZip(s / "empty.zip", false));
    }
    EXPECT_EQ(ReadFile(s / "empty.zip").size(), 22u + 4u);
    clsZip zip;
    Recorder rec(zip);
    ASSERT_TRUE(zip.ZipOpen(s / "empty.zip"));
    EXPECT_EQ(zip.inFileCount(), 0);
    EXPECT_EQ(zip.ZipComment(), "vide");
    EXPECT_TRUE(zip.TestAllFiles());
    Scratch t;
    EXPECT_TRUE(zip.ExtractAllFiles(t.path(), true, false, false));

    // It can be added to, and emptied again, and stays readable.
    WriteFile(s / "note.txt", "une note");
    std::int32_t mode = 0;
    ASSERT_TRUE(zip.FileAddIntoZip(s / "empty.zip", s / "note.txt", mode, false, false));
    ASSERT_TRUE(zip.ZipOpen(s / "empty.zip"));
    ASSERT_EQ(zip.inFileCount(), 1);
    EXPECT_EQ(zip.inFileName(1), "note.txt");
    ASSERT_TRUE(zip.FileRemoveFromZip(s / "empty.zip", "note.txt"));
    EXPECT_EQ(ReadFile(s / "empty.zip").size(), 22u + 4u);
    ASSERT_TRUE(zip.ZipOpen(s / "empty.zip"));
    EXPECT_EQ(zip.inFileCount(), 0);
    EXPECT_EQ(zip.ZipComment(), "vide");
    EXPECT_TRUE(rec.errors.empty()) << rec.errors[0].second;
}

struct DiskCase {
    std::uint16_t thisDisk, directoryDisk, onThisDisk;
};

class SpannedArchiveTest : public ::testing::TestWithParam<DiskCase> {};

TEST_P(SpannedArchiveTest, RefusedAtOpeningWithOneVerdict) {
    const DiskCase& c = GetParam();
    RawArchive a;
    a.members.push_back(Member("un.txt", "un"));
    a.members.push_back(Member("deux.txt", "deux"));
    Bytes b = a.Build();
    auto* end = reinterpret_cast<std::uint8_t*>(b.data()) + b.size() - 22;
    kuv::zip::PutU16(end + 4, c.thisDisk);
    kuv::zip::PutU16(end + 6, c.directoryDisk);
    kuv::zip::PutU16(end + 8, c.onThisDisk);
    Scratch s;
    WriteFile(s / "span.zip", b);
    clsZip zip;
    Recorder rec(zip);
    EXPECT_FALSE(zip.ZipOpen(s / "span.zip"));
    EXPECT_FALSE(zip.ZipIsOpen());
    ASSERT_EQ(rec.ErrorNumbers(), std::vector<int>{20});
    EXPECT_EQ(rec.errors[0].second, "Le fichier " + s / "span.zip" + " utilise une fonction Zip non prise en charge");
    // The in-place update gives the same verdict and leaves the file alone.
    rec.errors.clear();
    WriteFile(s / "n.txt", "n");
    std::int32_t mode = 0;
    EXPECT_FALSE(zip.FileAddIntoZip(s / "span.zip", s / "n.txt", mode, false, false));
    EXPECT_FALSE(zip.FileRemoveFromZip(s / "span.zip", "un.txt"));
    EXPECT_EQ(rec.ErrorNumbers(), (std::vector<int>{20, 20}));
    EXPECT_EQ(ReadFile(s / "span.zip"), b);
}

INSTANTIATE_TEST_SUITE_P(Disks, SpannedArchiveTest,
                         ::testing::Values(DiskCase{1, 0, 2}, DiskCase{0, 1, 2}, DiskCase{1, 1, 2}, DiskCase{3, 3, 2},
                                           DiskCase{0, 0, 1}));

TEST(EndRecordSearch, ASpannedRecordInsideACommentIsNotTheArchivesOwn) {
    RawArchive a;
    a.members.push_back(Member("un.txt", "un"));
    Bytes fake = EndRecord(1, 46, 0);
    kuv::zip::PutU16(reinterpret_cast<std::uint8_t*>(fake.data()) + 4, 2);
    a.comment = "avant " + fake + " après";
    Scratch s;
    WriteFile(s / "c.zip", a.Build());
    clsZip zip;
    Recorder rec(zip);
    ASSERT_TRUE(zip.ZipOpen(s / "c.zip"));
    EXPECT_EQ(zip.inFileCount(), 1);
    EXPECT_TRUE(rec.errors.empty());
}

TEST(EndRecordSearch, AFailedOpeningForgetsThePreviousArchive) {
    RawArchive a;
    a.members.push_back(Member("un.txt", "un"));
    a.comment = "ancien commentaire";
    Scratch s;
    WriteFile(s / "a.zip", a.Build());
    WriteFile(s / "texte.txt", "pas une archive, mais un texte assez long pour être lu");
    for (const std::string& bad : {s / "texte.txt", s / "absent.zip"}) {
        clsZip zip;
        ASSERT_TRUE(zip.ZipOpen(s / "a.zip"));
        ASSERT_EQ(zip.inFileCount(), 1);
        EXPECT_FALSE(zip.ZipOpen(bad));
        EXPECT_EQ(zip.inFileCount(), 0) << bad;
        EXPECT_EQ(zip.ZipComment(), "") << bad;
        EXPECT_THROW(zip.inFileName(1), std::out_of_range) << bad;
    }
}
