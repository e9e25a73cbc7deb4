// One-call inflation of small members: exactly the declared size or a
// damaged stream, the CRC checked, declared sizes never trusted for memory;
// and the parallel inflater's results in submission order.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>
#include <zlib.h>

#include <fcntl.h>

#include <atomic>
#include <fstream>

#include "ScratchFolder.h"
#include "SliceTestSupport.h"
#include "zip/FastInflate.h"
#include "zip/SliceDeflate.h"
#include "zip/ZlibBinding.h"

using namespace slicetest;
using kuv::zip::InflateResult;
using kuv::zip::MemberData;

namespace {

Bytes Deflated(const Bytes& input) {
    Bytes out;
    std::uint32_t crc = 0;
    EXPECT_EQ(kuv::zip::DeflateMember(*kuv::zip::LinkedZlib(), -1, input.data(), input.size(), out, crc), 0);
    return out;
}

struct OneCallCase {
    const char* name;
    std::int64_t sizeDelta;        // declared uncompressed size minus the real one
    std::uint32_t crcXor;          // applied to the real CRC
    std::size_t cutEnd;            // bytes taken off the stream's end
    std::size_t flipAt;            // a byte of the stream inverted (SIZE_MAX: none)
    bool emptyInput;
    InflateResult expected;
};

class OneCallInflateTest : public ::testing::TestWithParam<OneCallCase> {};

}  // namespace

TEST_P(OneCallInflateTest, ExactSizeAndCrcOrRefused) {
    const OneCallCase& c = GetParam();
    const Bytes input = c.emptyInput ? Bytes {} : TextBytes(300000, 70);
    Bytes stream = c.emptyInput ? Bytes {} : Deflated(input);
    ASSERT_GE(stream.size(), c.cutEnd);
    stream.resize(stream.size() - c.cutEnd);
    if (c.flipAt != SIZE_MAX) stream.at(c.flipAt) ^= 0xFF;
    MemberData m;
    m.method = 8;
    m.compressedSize = static_cast<std::uint32_t>(stream.size());
    m.uncompressedSize = static_cast<std::uint32_t>(static_cast<std::int64_t>(input.size()) + c.sizeDelta);
    m.crc32 = Crc(input) ^ c.crcXor;
    ASSERT_TRUE(kuv::zip::InflatesInOneCall(m));
    kuv::zip::OneCallInflater inflater;
    Bytes out;
    EXPECT_EQ(inflater.Inflate(stream.data(), m, out), c.expected);
    if (c.expected == InflateResult::Ok) {
        EXPECT_TRUE(out == input);
    }
    if (c.expected == InflateResult::DataError) {
        EXPECT_TRUE(out.empty()) << "nothing of a damaged stream is given";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OneCallInflateTest,
    ::testing::Values(OneCallCase {"Sound", 0, 0, 0, SIZE_MAX, false, InflateResult::Ok},
                      OneCallCase {"DeclaresOneByteMore", 1, 0, 0, SIZE_MAX, false, InflateResult::DataError},
                      OneCallCase {"DeclaresOneByteLess", -1, 0, 0, SIZE_MAX, false, InflateResult::DataError},
                      OneCallCase {"DeclaresHalf", -150000, 0, 0, SIZE_MAX, false, InflateResult::DataError},
                      OneCallCase {"OtherCrc", 0, 0x10, 0, SIZE_MAX, false, InflateResult::CrcMismatch},
                      OneCallCase {"StreamCutShort", 0, 0, 10, SIZE_MAX, false, InflateResult::DataError},
                      OneCallCase {"HeaderByteDamaged", 0, 0, 0, 0, false, InflateResult::DataError},
                      OneCallCase {"EmptyWithoutStream", 0, 0, 0, SIZE_MAX, true, InflateResult::Ok},
                      OneCallCase {"EmptyWithACrc", 0, 7, 0, SIZE_MAX, true, InflateResult::CrcMismatch}),
    [](const ::testing::TestParamInfo<OneCallCase>& info) { return std::string(info.param.name); });

namespace {

struct ChoiceCase {
    std::uint16_t method;
    std::uint32_t compressed;
    std::uint32_t uncompressed;
    bool oneCall;
};

class OneCallChoiceOfInflateTest : public ::testing::TestWithParam<ChoiceCase> {};

}  // namespace

TEST_P(OneCallChoiceOfInflateTest, ByDeclaredSizesWithinTheBound) {
    MemberData m;
    m.method = GetParam().method;
    m.compressedSize = GetParam().compressed;
    m.uncompressedSize = GetParam().uncompressed;
    EXPECT_EQ(kuv::zip::InflatesInOneCall(m), GetParam().oneCall);
}

constexpr std::uint32_t kBound = static_cast<std::uint32_t>(kuv::zip::kOneCallInflateBytes);

INSTANTIATE_TEST_SUITE_P(Sizes, OneCallChoiceOfInflateTest,
                         ::testing::Values(ChoiceCase {8, 1000, 5000, true}, ChoiceCase {8, kBound, kBound, true},
                                           ChoiceCase {8, 1000, kBound + 1, false},
                                           ChoiceCase {8, kBound + 1, 1000, false},
                                           ChoiceCase {8, 1000, 0xFFFFFFFFu, false},
                                           ChoiceCase {0, 1000, 1000, false}));

namespace {

// Members written one after the other into a file, as data of an archive.
struct MemberFile {
    kuvtest::ScratchFolder dir {"kuvzip-fastinflate"};
    std::string path = dir / "members.bin";
    std::vector<MemberData> members;
    std::vector<Bytes> contents;
    Bytes file;

    void Add(const Bytes& content, const Bytes& data, std::uint16_t method, std::uint32_t declared, std::uint32_t crc) {
        MemberData m;
        m.dataOffset = file.size() + 3;
        file.insert(file.end(), {'P', 'K', '!'});
        file.insert(file.end(), data.begin(), data.end());
        m.compressedSize = static_cast<std::uint32_t>(data.size());
        m.uncompressedSize = declared;
        m.crc32 = crc;
        m.method = method;
        members.push_back(m);
        contents.push_back(content);
    }
    void Write() {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    }
};

long PeakResidentKiB() {
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

class ParallelInflaterTest : public ::testing::TestWithParam<unsigned> {};

}  // namespace

TEST_P(ParallelInflaterTest, ResultsInOrderAndFourGibibytesNeverAllocated) {
    MemberFile f;
    const Bytes small = TextBytes(200000, 80);
    const Bytes large = TextBytes(kuv::zip::kOneCallInflateBytes + 100000, 81);
    const Bytes stored = RandomBytes(5000, 82);
    f.Add(small, Deflated(small), 8, static_cast<std::uint32_t>(small.size()), Crc(small));          // 0 sound
    f.Add(small, Deflated(small), 8, static_cast<std::uint32_t>(small.size()), Crc(small) ^ 1);      // 1 CRC
    f.Add(small, Deflated(small), 8, 0xFFFFFFFFu, Crc(small));                                       // 2 claims 4 GiB
    f.Add(large, Deflated(large), 8, static_cast<std::uint32_t>(large.size()), Crc(large));          // 3 streamed
    f.Add(stored, stored, 0, static_cast<std::uint32_t>(stored.size()), Crc(stored));                // 4 stored
    f.Add(stored, stored, 0, static_cast<std::uint32_t>(stored.size()), Crc(stored) ^ 1);            // 5 stored, CRC
    for (unsigned i = 0; i < 30; ++i) {
        const Bytes b = TextBytes(1000 + 5000 * i, 90 + i);
        f.Add(b, Deflated(b), 8, static_cast<std::uint32_t>(b.size()), Crc(b));
    }
    f.Write();
    const int fd = open(f.path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const long peakBefore = PeakResidentKiB();
    for (bool keep : {false, true}) {
        std::vector<kuv::zip::InflatedMember> got;
        {
            kuv::zip::ParallelInflater inflater(
                *kuv::zip::LinkedZlib(), fd, [&](kuv::zip::InflatedMember& m) { got.push_back(std::move(m)); },
                GetParam());
            for (std::size_t i = 0; i < f.members.size(); ++i) inflater.Submit(i, f.members[i], keep);
            inflater.Finish();
        }
        ASSERT_EQ(got.size(), f.members.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].index, i) << "in submission order";
            InflateResult expected = InflateResult::Ok;
            if (i == 1 || i == 5) expected = InflateResult::CrcMismatch;
            if (i == 2) expected = InflateResult::DataError;
            const bool streamedBack = keep && (i == 2 || i == 3);
            EXPECT_EQ(got[i].streamed, streamedBack) << i;
            if (streamedBack) {
                EXPECT_TRUE(got[i].data.empty()) << i;
                continue;
            }
            EXPECT_EQ(got[i].result, expected) << i << (keep ? " kept" : " checked");
            if (keep && expected == InflateResult::Ok) {
                EXPECT_TRUE(got[i].data == f.contents[i]) << i;
            }
            if (!keep) {
                EXPECT_TRUE(got[i].data.empty()) << i;
            }
        }
    }
    close(fd);
    EXPECT_LT(PeakResidentKiB() - peakBefore, 256L * 1024) << "a member declaring 4 GiB was given 4 GiB";
}

INSTANTIATE_TEST_SUITE_P(Threads, ParallelInflaterTest, ::testing::Values(1u, 2u, 16u));

// A member its finisher wrote comes back without its bytes (the caller reads
// it again should the completion fail), the others with them; runs cut at
// folder changes keep the order.
TEST_P(ParallelInflaterTest, FinishedMembersComeBackWithoutTheirBytes) {
    MemberFile f;
    for (unsigned i = 0; i < 60; ++i) {
        const Bytes b = TextBytes(500 + 700 * i, 300 + i);
        f.Add(b, Deflated(b), 8, static_cast<std::uint32_t>(b.size()), Crc(b) ^ (i % 9 == 4 ? 1u : 0u));
    }
    f.Write();
    const int fd = open(f.path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::vector<std::atomic<int>> seen(f.members.size());  // bytes the finisher saw were the content: 1, not: 2
    std::vector<kuv::zip::InflatedMember> got;
    {
        kuv::zip::ParallelInflater inflater(
            *kuv::zip::LinkedZlib(), fd, [&](kuv::zip::InflatedMember& m) { got.push_back(std::move(m)); }, GetParam());
        for (std::size_t i = 0; i < f.members.size(); ++i) {
            kuv::zip::WorkerFinisher finish = [&, i](unsigned, const Bytes& bytes) -> std::function<bool()> {
                seen[i] = bytes == f.contents[i] ? 1 : 2;
                if (i % 3 == 0) return {};  // left to the caller
                return [] { return true; };
            };
            // Folders of 1 to 13 members.
            inflater.Submit(i, f.members[i], true, finish, 1 + (i * i) / 40);
        }
        inflater.Finish();
    }
    close(fd);
    ASSERT_EQ(got.size(), f.members.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].index, i) << "in submission order";
        const bool sound = i % 9 != 4;
        EXPECT_EQ(got[i].result, sound ? InflateResult::Ok : InflateResult::CrcMismatch) << i;
        EXPECT_EQ(seen[i].load(), sound ? 1 : 0) << "the finisher runs on sound members only, with their bytes: " << i;
        const bool finished = sound && i % 3 != 0;
        EXPECT_EQ(static_cast<bool>(got[i].completion), finished) << i;
        EXPECT_EQ(got[i].streamed, finished) << i;
        if (finished) {
            EXPECT_TRUE(got[i].data.empty()) << i;
        } else if (sound) {
            EXPECT_TRUE(got[i].data == f.contents[i]) << i;
        }
    }
}
