// The compression pipeline: the same bytes on 1, 2 and 16 threads and on
// every run, members handed back in order with their failures in place,
// bounded memory whatever the data's size, and real files as the source.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <fstream>
#include <map>

#include "ScratchFolder.h"
#include "SliceTestSupport.h"
#include "platform/Files.h"
#include "zip/CompressionPipeline.h"
#include "zip/ZlibBinding.h"

using namespace slicetest;
using kuv::zip::CompressedMember;
using kuv::zip::kSliceBytes;

namespace {

// Members held in memory; a member may fail to open, or fail to read at a position.
class MemorySource : public kuv::zip::MemberSource {
public:
    struct Member {
        Bytes bytes;
        int openError = 0;
        std::uint64_t failReadAt = UINT64_MAX;  // a read reaching past this fails
        int readError = 0;
    };
    std::vector<Member> members;

    int Open(std::size_t index, std::uint64_t& size) override {
        if (members[index].openError) return members[index].openError;
        open_ = &members[index];
        at_ = 0;
        size = open_->bytes.size();
        return 0;
    }
    long long Read(std::uint8_t* buffer, std::size_t size, int& number) override {
        if (at_ + size > open_->failReadAt && at_ < open_->bytes.size()) {
            number = open_->readError;
            return -1;
        }
        const std::size_t n = std::min<std::size_t>(size, open_->bytes.size() - at_);
        if (n > 0) std::memcpy(buffer, open_->bytes.data() + at_, n);
        at_ += n;
        return static_cast<long long>(n);
    }
    void Close() override { open_ = nullptr; }

private:
    Member* open_ = nullptr;
    std::size_t at_ = 0;
};

// What the consumer saw, in order.
class Collector : public kuv::zip::MemberConsumer {
public:
    struct Got {
        Bytes data;
        int code = -99;
        CompressedMember result;
        int ends = 0;
    };
    std::map<std::size_t, Got> got;
    std::vector<std::string> log;  // "data i" / "end i code", in the order received
    std::size_t refuseMember = SIZE_MAX;
    std::size_t stopAtEndOf = SIZE_MAX;
    kuv::zip::CompressionPipeline* pipeline = nullptr;

    bool Data(std::size_t index, const std::uint8_t* data, std::size_t size) override {
        if (log.empty() || log.back() != "data " + std::to_string(index)) log.push_back("data " + std::to_string(index));
        if (index == refuseMember) return false;
        got[index].data.insert(got[index].data.end(), data, data + size);
        return true;
    }
    void End(std::size_t index, int code, const CompressedMember& result) override {
        log.push_back("end " + std::to_string(index) + " " + std::to_string(code));
        Got& g = got[index];
        g.code = code;
        g.result = result;
        ++g.ends;
        if (index == stopAtEndOf && pipeline) pipeline->Stop();
    }
};

kuv::zip::PipelineOptions Options(unsigned threads) {
    kuv::zip::PipelineOptions o;
    o.zlib = kuv::zip::LinkedZlib();
    o.threads = threads;
    return o;
}

std::vector<Bytes> MixedMembers() {
    std::vector<Bytes> m;
    m.push_back({});                                    // empty
    m.push_back({'a'});                                 // one byte
    m.push_back(TextBytes(kSliceBytes, 11));            // exactly one slice
    m.push_back(TextBytes(kSliceBytes + 1, 12));        // one slice and a byte
    m.push_back(TextBytes(kSliceBytes * 7 / 2, 13));    // three and a half
    m.push_back(RandomBytes(kSliceBytes * 2 + 99, 14)); // incompressible
    m.push_back(RepeatedBlock(kSliceBytes * 2 + 7, 30000, 15));
    for (unsigned i = 0; i < 40; ++i) m.push_back(TextBytes(500 + i * 397, 100 + i));  // many small files
    return m;
}

class PipelineThreadsTest : public ::testing::TestWithParam<unsigned> {};

}  // namespace

TEST_P(PipelineThreadsTest, SameBytesAsOneThreadInMemberOrder) {
    const std::vector<Bytes> inputs = MixedMembers();
    MemorySource source;
    for (const Bytes& b : inputs) source.members.push_back({b});
    kuv::zip::CompressionPipeline pipeline(Options(GetParam()));
    for (int run = 0; run < 2; ++run) {
        Collector c;
        EXPECT_TRUE(pipeline.Run(inputs.size(), source, c));
        ASSERT_EQ(c.got.size(), inputs.size());
        // Ends come in member order, each after its own data and before the next member's.
        std::size_t expectEnd = 0;
        for (const std::string& line : c.log) {
            if (line.rfind("end ", 0) == 0) {
                EXPECT_EQ(line, "end " + std::to_string(expectEnd) + " 0");
                ++expectEnd;
            } else {
                EXPECT_EQ(line, "data " + std::to_string(expectEnd));
            }
        }
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            const Collector::Got& g = c.got[i];
            Bytes reference;
            std::uint32_t crc = 0;
            ASSERT_EQ(kuv::zip::DeflateMember(*kuv::zip::LinkedZlib(), -1, inputs[i].data(), inputs[i].size(),
                                              reference, crc),
                      0);
            EXPECT_EQ(g.ends, 1) << i;
            EXPECT_TRUE(g.data == reference) << "member " << i << " differs from the one-thread bytes";
            EXPECT_EQ(g.result.crc32, Crc(inputs[i])) << i;
            EXPECT_EQ(g.result.uncompressedSize, inputs[i].size()) << i;
            EXPECT_EQ(g.result.compressedSize, reference.size()) << i;
            EXPECT_EQ(g.result.method, inputs[i].empty() ? 0 : 8) << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Threads, PipelineThreadsTest, ::testing::Values(1u, 2u, 16u));

namespace {

struct FailureCase {
    const char* name;
    int openError;           // of member 1
    std::uint64_t failAt;    // read failure of member 3 past this position
    int readError;
    std::size_t refuse;      // member whose data the consumer refuses
    std::vector<int> codes;  // End codes of members 0 to 4
    std::size_t size = kSliceBytes * 3 / 2;  // of each member (small ones go to the workers in runs)
};

class PipelineFailureTest : public ::testing::TestWithParam<FailureCase> {};

}  // namespace

TEST_P(PipelineFailureTest, FailuresComeInTheirPlace) {
    const FailureCase& fc = GetParam();
    MemorySource source;
    for (unsigned i = 0; i < 5; ++i) source.members.push_back({TextBytes(fc.size + i, 20 + i)});
    source.members[1].openError = fc.openError;
    source.members[3].failReadAt = fc.failAt;
    source.members[3].readError = fc.readError;
    for (unsigned threads : {1u, 2u}) {
        kuv::zip::PipelineOptions o = Options(threads);
        kuv::zip::CompressionPipeline pipeline(o);
        Collector c;
        c.refuseMember = fc.refuse;
        pipeline.Run(5, source, c);
        std::vector<int> codes;
        std::vector<std::string> ends;
        for (const std::string& line : c.log)
            if (line.rfind("end ", 0) == 0) ends.push_back(line);
        for (std::size_t i = 0; i < 5; ++i) {
            codes.push_back(c.got[i].code);
            EXPECT_EQ(c.got[i].ends, 1) << i;
            ASSERT_LT(i, ends.size());
            EXPECT_EQ(ends[i].substr(0, 6), "end " + std::to_string(i) + " ") << "ends in member order";
        }
        EXPECT_EQ(codes, fc.codes) << threads << " threads";
        // The members that succeed are unharmed by their neighbours' failures.
        for (std::size_t i = 0; i < 5; ++i) {
            if (c.got[i].code != 0) continue;
            Bytes back;
            ASSERT_TRUE(Inflate(c.got[i].data, back)) << i;
            EXPECT_TRUE(back == source.members[i].bytes) << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PipelineFailureTest,
    ::testing::Values(
        FailureCase {"LockedAndVanished", 70, kSliceBytes + 10, 53, SIZE_MAX, {0, 70, 0, 53, 0}},
        FailureCase {"ReadErrorInTheFirstSlice", 0, 5, 75, SIZE_MAX, {0, 0, 0, 75, 0}},
        FailureCase {"ConsumerRefusesOneMember", 0, UINT64_MAX, 0, 2, {0, 0, kuv::zip::kCompressSinkFailed, 0, 0}},
        FailureCase {"SmallMembersLockedAndUnreadable", 70, 100, 75, SIZE_MAX, {0, 70, 0, 75, 0}, 3000},
        FailureCase {"ConsumerRefusesOneSmallMember", 0, UINT64_MAX, 0, 2, {0, 0, kuv::zip::kCompressSinkFailed, 0, 0},
                     3000}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

namespace {

// A long member made on the fly, never held whole: text-like bytes.
class GeneratedSource : public kuv::zip::MemberSource {
public:
    explicit GeneratedSource(std::uint64_t size) : size_(size), pattern_(TextBytes(3 * kSliceBytes + 4099, 30)) {}
    int Open(std::size_t, std::uint64_t& size) override {
        at_ = 0;
        size = size_;
        return 0;
    }
    long long Read(std::uint8_t* buffer, std::size_t size, int&) override {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, size_ - at_));
        for (std::size_t i = 0; i < n; ++i) buffer[i] = pattern_[(at_ + i) % pattern_.size()];
        at_ += n;
        return static_cast<long long>(n);
    }
    void Close() override {}

private:
    std::uint64_t size_;
    std::uint64_t at_ = 0;
    Bytes pattern_;
};

// Keeps only the running CRC of the compressed bytes and their count.
class Counter : public kuv::zip::MemberConsumer {
public:
    std::uint64_t bytes = 0;
    int code = -99;
    CompressedMember result;
    bool Data(std::size_t, const std::uint8_t*, std::size_t size) override {
        bytes += size;
        return true;
    }
    void End(std::size_t, int c, const CompressedMember& r) override {
        code = c;
        result = r;
    }
};

}  // namespace

TEST(CompressionPipelineTest, MemoryStaysBoundedWhateverTheSize) {
    const std::uint64_t size = 64ull * 1024 * 1024;
    GeneratedSource source(size);
    kuv::zip::CompressionPipeline pipeline(Options(2));
    Counter counter;
    pipeline.Run(1, source, counter);
    EXPECT_EQ(counter.code, 0);
    EXPECT_EQ(counter.result.uncompressedSize, size);
    EXPECT_EQ(counter.result.compressedSize, counter.bytes);
    EXPECT_GT(pipeline.PeakBufferedBytes(), kSliceBytes) << "the meter counts the slices";
    EXPECT_LE(pipeline.PeakBufferedBytes(), kuv::zip::CompressionPipeline::kMemoryBound);
    EXPECT_LT(kuv::zip::CompressionPipeline::kMemoryBound, 8ull * 1024 * 1024);
}

TEST(CompressionPipelineTest, ManySmallMembersHoldSmallBuffers) {
    // Many members in flight at once: each holds what its size needs, not a
    // whole slice, and all of them together stay within the bound.
    MemorySource source;
    for (unsigned i = 0; i < 3000; ++i) source.members.push_back({TextBytes(2000 + i % 7, 200 + i % 5)});
    kuv::zip::CompressionPipeline pipeline(Options(2));
    Collector c;
    pipeline.Run(source.members.size(), source, c);
    ASSERT_EQ(c.got.size(), source.members.size());
    EXPECT_EQ(c.got[2999].code, 0);
    EXPECT_LE(pipeline.PeakBufferedBytes(), kuv::zip::CompressionPipeline::kMemoryBound);
    // Runs of small members are few in flight: not the whole budget's worth
    // of them, at most 64 members of about 2,000 bytes (input and output room).
    EXPECT_LE(pipeline.PeakBufferedBytes(), 64u * 4200u);
}

TEST(CompressionPipelineTest, StopEndsTheRunAfterTheCurrentMember) {
    MemorySource source;
    for (unsigned i = 0; i < 6; ++i) source.members.push_back({TextBytes(kSliceBytes + 1000 * i, 40 + i)});
    kuv::zip::CompressionPipeline pipeline(Options(2));
    Collector c;
    c.pipeline = &pipeline;
    c.stopAtEndOf = 1;
    EXPECT_FALSE(pipeline.Run(6, source, c)) << "a stopped run says so";
    EXPECT_EQ(c.log.back(), "end 1 0") << "nothing is handed over after the stop";
    EXPECT_EQ(c.got.count(3), 0u);
}

TEST(CompressionPipelineTest, FilesAsTheSource) {
    kuvtest::ScratchFolder dir("kuvzip-pipeline");
    const Bytes big = TextBytes(kSliceBytes * 2 + 5, 50);
    {
        std::ofstream(dir / "big.txt", std::ios::binary)
            .write(reinterpret_cast<const char*>(big.data()), static_cast<std::streamsize>(big.size()));
        std::ofstream(dir / "empty.txt", std::ios::binary);
    }
    kuv::zip::FileListSource source({dir / "big.txt", dir / "missing.txt", dir.path(), dir / "empty.txt"});
    kuv::zip::CompressionPipeline pipeline(Options(2));
    Collector c;
    pipeline.Run(4, source, c);
    EXPECT_EQ(c.got[0].code, 0);
    Bytes reference;
    std::uint32_t crc = 0;
    ASSERT_EQ(kuv::zip::DeflateMember(*kuv::zip::LinkedZlib(), -1, big.data(), big.size(), reference, crc), 0);
    EXPECT_TRUE(c.got[0].data == reference);
    EXPECT_EQ(c.got[1].code, kuv::platform::kErrorFileNotFound) << "a vanished file";
    EXPECT_EQ(c.got[2].code, kuv::platform::kErrorPathAccess) << "a folder is not a file";
    EXPECT_EQ(c.got[3].code, 0);
    EXPECT_EQ(c.got[3].result.method, 0) << "an empty file is stored, no data";
    EXPECT_TRUE(c.got[3].data.empty());
}

namespace {

int DeflateInitNoMemory(z_streamp, int, int, int, int, int, const char*, int) { return Z_MEM_ERROR; }
int DeflateBroken(z_streamp, int) { return Z_STREAM_ERROR; }

}  // namespace

TEST(CompressionPipelineTest, ZlibWithoutMemoryOrBrokenFailsTheMember) {
    // zlib's stream is made for every member in slices, whoever compresses
    // them: without memory the member fails. A broken deflate fails it
    // where zlib does the work (level 0); at the other levels libdeflate
    // compresses the slices, and zlib's deflate is not called.
    MemorySource source;
    source.members.push_back({TextBytes(kSliceBytes * 2, 60)});
    source.members.push_back({TextBytes(1000, 61)});  // one call: does not need zlib's deflate
    kuv::zip::ZlibApi noMemory = *kuv::zip::LinkedZlib();
    noMemory.deflateInit2_ = &DeflateInitNoMemory;
    kuv::zip::ZlibApi broken = *kuv::zip::LinkedZlib();
    broken.deflate = &DeflateBroken;
    const struct {
        const kuv::zip::ZlibApi* api;
        int level;
        int large;  // the large member's code
        int small;  // the one-call member's
    } cases[] = {{&noMemory, -1, kuv::zip::kCompressNoMemory, 0},
                 {&broken, 0, kuv::zip::kCompressZlibFailed, kuv::zip::kCompressZlibFailed},
                 {&broken, -1, 0, 0}};
    for (const auto& k : cases) {
        kuv::zip::PipelineOptions o = Options(2);
        o.zlib = k.api;
        o.level = k.level;
        kuv::zip::CompressionPipeline pipeline(o);
        Collector c;
        pipeline.Run(2, source, c);
        EXPECT_EQ(c.got[0].code, k.large) << "level " << k.level;
        EXPECT_EQ(c.got[1].code, k.small) << "level " << k.level;
    }
}
