// The sliced raw deflate of one member: the slices join into one stream that
// zlib and Python read back exactly, the joined CRC is the whole input's,
// matches reach across the cuts, and the level maps as LevelCompression says.
#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>

#include "ScratchFolder.h"
#include "SliceTestSupport.h"
#include "WriterTestSupport.h"
#include "zip/MemberCompressor.h"
#include "zip/SliceDeflate.h"
#include "zip/ZlibBinding.h"

using namespace slicetest;
using kuv::zip::kSliceBytes;

namespace {

struct InputCase {
    const char* name;
    Bytes (*make)();
    int level;
};

Bytes Empty() { return {}; }
Bytes OneByte() { return {'x'}; }
Bytes ExactlyOneSlice() { return TextBytes(kSliceBytes, 1); }
Bytes OneSliceAndOne() { return TextBytes(kSliceBytes + 1, 2); }
Bytes ThreeAndAHalf() { return TextBytes(kSliceBytes * 7 / 2, 3); }
Bytes Incompressible() { return RandomBytes(kSliceBytes * 5 / 2 + 17, 4); }
Bytes Repetitive() { return RepeatedBlock(kSliceBytes * 3 + 5, 20000, 5); }

class SliceJoinTest : public ::testing::TestWithParam<InputCase> {};

}  // namespace

TEST_P(SliceJoinTest, SlicesJoinIntoOneStreamThatReadsBackExactly) {
    const Bytes input = GetParam().make();
    Bytes out;
    std::uint32_t crc = 1;
    ASSERT_EQ(kuv::zip::DeflateMember(*kuv::zip::LinkedZlib(), GetParam().level, input.data(), input.size(), out, crc),
              kuv::zip::kCompressOk);
    EXPECT_EQ(crc, Crc(input)) << "the slices' CRC joined is the whole input's";
    if (input.empty()) {
        EXPECT_TRUE(out.empty()) << "an empty member has no data";
        return;
    }
    Bytes back;
    ASSERT_TRUE(Inflate(out, back)) << "one complete stream, nothing after its end";
    EXPECT_TRUE(back == input);

    // Python's zlib, a reader independent of the engine's.
    kuvtest::ScratchFolder dir("kuvzip-slice");
    const std::string deflated = dir / "member.deflate";
    {
        std::ofstream f(deflated, std::ios::binary);
        f.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    }
    const writertest::CommandResult py = writertest::RunShell(
        "python3 -c 'import sys, zlib; d = zlib.decompress(open(sys.argv[1], \"rb\").read(), -15); "
        "print(len(d), zlib.crc32(d))' " + writertest::Quote(deflated));
    ASSERT_EQ(py.status, 0) << py.err;
    EXPECT_EQ(py.out, std::to_string(input.size()) + " " + std::to_string(Crc(input)) + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, SliceJoinTest,
    ::testing::Values(InputCase {"Empty", &Empty, -1}, InputCase {"OneByte", &OneByte, -1},
                      InputCase {"ExactlyOneSlice", &ExactlyOneSlice, -1},
                      InputCase {"OneSliceAndOneByte", &OneSliceAndOne, -1},
                      InputCase {"ThreeAndAHalfSlices", &ThreeAndAHalf, -1},
                      InputCase {"Incompressible", &Incompressible, -1},
                      InputCase {"RepetitiveAcrossCuts", &Repetitive, -1},
                      InputCase {"ThreeAndAHalfSlicesLevel1", &ThreeAndAHalf, 1},
                      InputCase {"ThreeAndAHalfSlicesLevel9", &ThreeAndAHalf, 9},
                      InputCase {"StoredBlocksLevel0", &OneSliceAndOne, 0},
                      InputCase {"OneByteLevel0", &OneByte, 0}),
    [](const ::testing::TestParamInfo<InputCase>& info) { return std::string(info.param.name); });

TEST(SliceDeflateTest, MatchesReachBackAcrossTheCuts) {
    // A 20,000-byte random block repeated over three slices: primed with the
    // previous 32 KiB, a slice after the first is only matches; unprimed,
    // each slice spells the block out again (20 KB more per slice).
    const auto& zlib = *kuv::zip::LinkedZlib();
    const Bytes input = RepeatedBlock(kSliceBytes * 3, 20000, 6);
    Bytes out;
    std::uint32_t crc = 0;
    ASSERT_EQ(kuv::zip::DeflateMember(zlib, -1, input.data(), input.size(), out, crc), 0);
    std::size_t unprimed = 0;
    for (std::size_t at = 0; at < input.size(); at += kSliceBytes) {
        std::int32_t code = 0;
        unprimed += kuv::zip::DeflateBuffer(zlib, -1, input.data() + at, kSliceBytes, false, code).size();
    }
    EXPECT_LT(out.size() + 2 * 19000, unprimed);
}

TEST(SliceDeflateTest, SizeWithinATenthOfAPercentOfOneStream) {
    // zlib over the whole input in one stream against the slices: the cuts
    // cost little (the corpus comparison with zip -6 is the benchmark's).
    const Bytes input = TextBytes(kSliceBytes * 6, 7);
    Bytes sliced;
    std::uint32_t crc = 0;
    ASSERT_EQ(kuv::zip::DeflateMember(*kuv::zip::LinkedZlib(), -1, input.data(), input.size(), sliced, crc), 0);
    std::int32_t code = 0;
    const std::vector<std::uint8_t> whole =
        kuv::zip::DeflateBuffer(*kuv::zip::LinkedZlib(), -1, input.data(), input.size(), false, code);
    ASSERT_EQ(code, 0);
    EXPECT_LE(static_cast<double>(sliced.size()), static_cast<double>(whole.size()) * 1.001);
}

TEST(SliceDeflateTest, CombinedCrcOfUnevenPartsIsTheWholeCrc) {
    const auto& zlib = *kuv::zip::LinkedZlib();
    const Bytes input = RandomBytes(3 * kSliceBytes + 123, 8);
    std::uint32_t joined = 0;
    const std::size_t cuts[] = {0, 1, 7000, kSliceBytes, 2 * kSliceBytes + 5, input.size()};
    for (std::size_t i = 0; i + 1 < std::size(cuts); ++i) {
        const std::size_t n = cuts[i + 1] - cuts[i];
        joined = kuv::zip::CombineCrc(zlib, joined, kuv::zip::CrcOf(zlib, 0, input.data() + cuts[i], n), n);
    }
    EXPECT_EQ(joined, Crc(input));
}

namespace {

struct LevelCase {
    int level;
    std::uint64_t size;
    bool oneCall;
};

class OneCallChoiceTest : public ::testing::TestWithParam<LevelCase> {};

}  // namespace

TEST_P(OneCallChoiceTest, ChosenBySizeAndLevelOnly) {
    EXPECT_EQ(kuv::zip::CompressedInOneCall(GetParam().size, GetParam().level), GetParam().oneCall);
}

INSTANTIATE_TEST_SUITE_P(Levels, OneCallChoiceTest,
                         ::testing::Values(LevelCase {-1, 1, true}, LevelCase {-1, kSliceBytes, true},
                                           LevelCase {-1, kSliceBytes + 1, false}, LevelCase {-1, 0, false},
                                           LevelCase {1, 100, true}, LevelCase {9, 100, true},
                                           LevelCase {0, 100, false}, LevelCase {10, 100, false},
                                           LevelCase {-2, 100, false}));

TEST(SliceDeflateTest, DefaultLevelIsLevelSix) {
    EXPECT_EQ(kuv::zip::ZlibLevelOf(-1), 6);
    EXPECT_EQ(kuv::zip::ZlibLevelOf(9), 9);
    // The same bytes for -1 and 6, in one call and in slices.
    for (std::size_t size : {std::size_t {5000}, kSliceBytes * 2 + 3}) {
        const Bytes input = TextBytes(size, 9);
        Bytes a, b;
        std::uint32_t crc = 0;
        ASSERT_EQ(kuv::zip::DeflateMember(*kuv::zip::LinkedZlib(), -1, input.data(), input.size(), a, crc), 0);
        ASSERT_EQ(kuv::zip::DeflateMember(*kuv::zip::LinkedZlib(), 6, input.data(), input.size(), b, crc), 0);
        EXPECT_TRUE(a == b) << size;
    }
}

TEST(SliceDeflateTest, LevelsZlibRefusesAreAFailureOfTheLibrary) {
    const Bytes input = TextBytes(kSliceBytes + 10, 10);
    Bytes out;
    std::uint32_t crc = 0;
    EXPECT_EQ(kuv::zip::DeflateMember(*kuv::zip::LinkedZlib(), 12, input.data(), input.size(), out, crc),
              kuv::zip::kCompressZlibFailed);
    EXPECT_EQ(kuv::zip::DeflateMember(*kuv::zip::LinkedZlib(), 12, input.data(), 100, out, crc),
              kuv::zip::kCompressZlibFailed);
}
