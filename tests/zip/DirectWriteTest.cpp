// Large files written past the page cache: the bytes on the disk are the
// bytes given, whatever the cut of the writes, a start again, a file system
// that refuses direct writes part-way, or a medium that fills up.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "FileSizeLimit.h"
#include "ScratchFolder.h"
#include "WriterTestSupport.h"
#include "platform/UniqueFd.h"
#include "zip/DirectWrite.h"
#include "zip/SafeMemberPath.h"

using kuv::zip::DirectWriter;
using kuv::zip::PendingFile;
using kuv::zip::SafeFolder;

namespace {

constexpr std::size_t kMiB = 1024 * 1024;

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint32_t seed) {
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<std::uint8_t>(x);
    }
    return bytes;
}

std::vector<std::uint8_t> Read(const std::string& path) {
    const std::string s = writertest::Slurp(path);
    return {s.begin(), s.end()};
}

// Whether the scratch folder's file system takes direct writes at all.
bool DirectWritesHere(const std::string& folder) {
    const std::string probe = folder + "/probe";
    const int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_DIRECT | O_CLOEXEC, 0600);
    if (fd >= 0) close(fd);
    unlink(probe.c_str());
    return fd >= 0;
}

// Gives bytes to write in pieces of chunk.
template <typename WriteFn>
bool WriteInChunks(const std::vector<std::uint8_t>& bytes, std::size_t chunk, WriteFn write) {
    for (std::size_t at = 0; at < bytes.size(); at += chunk)
        if (!write(bytes.data() + at, std::min(chunk, bytes.size() - at))) return false;
    return true;
}

struct WriteCase {
    const char* name;
    std::size_t size;
    std::size_t chunk;
    std::size_t restartAfter;  // 0: none; else that many other bytes first, then Restart
    int refusals;              // direct writes refused with EINVAL from the first one
};

const WriteCase kWriteCases[] = {
    {"Empty", 0, 1, 0, 0},
    {"OneByte", 1, 1, 0, 0},
    {"UnderABlockInOddPieces", 4095, 7, 0, 0},
    {"ExactlyOneBlock", kMiB, 65539, 0, 0},
    {"OneBlockAndOneByte", kMiB + 1, kMiB, 0, 0},
    {"SeveralBlocksInPiecesLargerThanABlock", 5 * kMiB + 4097, 5 * kMiB / 2, 0, 0},
    {"StartedAgainAfterTwoBlocks", 3 * kMiB + 5, 300001, 2 * kMiB + 17, 0},
    {"RefusedAtTheFirstBlock", 3 * kMiB + 5, 65536, 0, 1},
    {"RefusedTwiceAfterAStartAgain", 4 * kMiB, 1000003, 2 * kMiB, 3},
};

class DirectWriteTest : public testing::TestWithParam<WriteCase> {
protected:
    void TearDown() override { DirectWriter::RefuseDirectWritesForTesting(0); }
    kuvtest::ScratchFolder scratch;
};

}  // namespace

TEST_P(DirectWriteTest, TheFileHoldsExactlyTheBytesGiven) {
    const WriteCase& c = GetParam();
    const std::string path = scratch.path() + "/out.bin";
    kuv::platform::UniqueFd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    ASSERT_TRUE(fd);
    std::unique_ptr<DirectWriter> w = DirectWriter::Open(fd.get());
    ASSERT_EQ(static_cast<bool>(w), DirectWritesHere(scratch.path()));
    if (!w) GTEST_SKIP() << "this file system takes no direct writes";
    DirectWriter::RefuseDirectWritesForTesting(c.refusals);

    if (c.restartAfter > 0) {
        const auto first = Pattern(c.restartAfter, 99);
        ASSERT_TRUE(WriteInChunks(first, c.chunk, [&](const std::uint8_t* p, std::size_t n) { return w->Write(p, n); }));
        w->Restart();
        ASSERT_EQ(ftruncate(fd.get(), 0), 0);
        EXPECT_EQ(w->Size(), 0u);
    }
    const auto bytes = Pattern(c.size, 7);
    ASSERT_TRUE(WriteInChunks(bytes, c.chunk, [&](const std::uint8_t* p, std::size_t n) { return w->Write(p, n); }));
    EXPECT_EQ(w->Size(), c.size);
    ASSERT_TRUE(w->Finish());
    // A refused direct write turns them off for the rest of the file; the
    // tail always goes through the cache, so after Finish none is direct.
    EXPECT_FALSE(w->Direct());
    w.reset();
    ASSERT_TRUE(fd.Close());
    EXPECT_TRUE(Read(path) == bytes) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, DirectWriteTest, testing::ValuesIn(kWriteCases),
                         [](const testing::TestParamInfo<WriteCase>& info) { return info.param.name; });

// A medium that fills up: the failure is reported, by a write or at the
// latest by Finish, with the system's reason; never a success.
TEST(DirectWriteFull, AFullMediumIsReportedNeverPassedOver) {
    kuvtest::ScratchFolder scratch;
    if (!DirectWritesHere(scratch.path())) GTEST_SKIP() << "this file system takes no direct writes";
    for (const std::size_t limit : {std::size_t {0}, kMiB / 2, 5 * kMiB / 2, 4 * kMiB}) {
        const std::string path = scratch.path() + "/full" + std::to_string(limit);
        kuv::platform::UniqueFd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        ASSERT_TRUE(fd);
        std::unique_ptr<DirectWriter> w = DirectWriter::Open(fd.get());
        ASSERT_TRUE(w);
        const auto bytes = Pattern(4 * kMiB + 10, 3);  // the tail goes past every limit
        bool written = false;
        int error = 0;
        {
            kuvtest::FileSizeLimit full(limit);
            written = WriteInChunks(bytes, 100000, [&](const std::uint8_t* p, std::size_t n) { return w->Write(p, n); });
            if (!written) error = errno;
            if (written) {
                written = w->Finish();
                if (!written) error = errno;
            }
            w.reset();
        }
        EXPECT_FALSE(written) << "limit " << limit;
        EXPECT_EQ(error, EFBIG) << "limit " << limit;
        // What reached the file is the start of the bytes, nothing else.
        const auto got = Read(path);
        EXPECT_LE(got.size(), limit);
        EXPECT_TRUE(std::equal(got.begin(), got.end(), bytes.begin())) << "limit " << limit;
    }
}

// A pending file of a large member goes past the cache and still gets its
// time after its last byte, its name only when complete, and nothing of it
// stays when it fails.
TEST(PendingFileDirect, LargeFilesWholeTimedAndNeverLeftHalfWritten) {
    kuvtest::ScratchFolder scratch;
    const bool direct = DirectWritesHere(scratch.path());
    SafeFolder folder;
    ASSERT_TRUE(folder.OpenBase(scratch.path()));
    const auto write = [](PendingFile& f, const std::vector<std::uint8_t>& bytes, std::size_t chunk) {
        return WriteInChunks(bytes, chunk, [&](const std::uint8_t* p, std::size_t n) { return f.Write(p, n); });
    };
    const auto big = Pattern(PendingFile::kDirectFrom + 12345, 11);
    const std::int64_t when = 1000000000;  // 9 September 2001

    for (const bool targetMissing : {true, false}) {
        const std::string name = targetMissing ? "neuf.db" : "ancien.db";
        if (!targetMissing) writertest::WriteFile(scratch.path() + "/" + name, "ancien contenu");
        PendingFile f(folder);
        ASSERT_TRUE(f.Create(targetMissing, big.size()));
        EXPECT_EQ(f.WritesDirect(), direct);
        ASSERT_TRUE(write(f, Pattern(3 * kMiB + 1, 5), 250000));
        ASSERT_TRUE(f.Rewind());  // as when the fast inflater gives up on a member
        ASSERT_TRUE(write(f, big, 1048583));
        f.SetTimes(when);
        ASSERT_TRUE(f.Commit(name, targetMissing));
        const std::string path = scratch.path() + "/" + name;
        EXPECT_TRUE(Read(path) == big) << name;
        struct stat st {};
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mtime, when) << name;
    }
    {
        // Small files keep the cache.
        PendingFile f(folder);
        ASSERT_TRUE(f.Create(true, PendingFile::kDirectFrom - 1));
        EXPECT_FALSE(f.WritesDirect());
    }
    {
        // A full medium: the commit fails, the old file stays, no temporary file is left.
        writertest::WriteFile(scratch.path() + "/plein.db", "à garder");
        PendingFile f(folder);
        ASSERT_TRUE(f.Create(false, big.size()));
        bool written = false;
        {
            kuvtest::FileSizeLimit full(2 * kMiB + 100);
            written = write(f, big, 65536) && f.Commit("plein.db", false);
        }
        EXPECT_FALSE(written);
        EXPECT_EQ(writertest::Slurp(scratch.path() + "/plein.db"), "à garder");
    }
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(scratch.path())) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string> {"ancien.db", "neuf.db", "plein.db"}));
}
