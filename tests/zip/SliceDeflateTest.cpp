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
        joined = kuv::zip::CombineCrc(zlib, joined, kuv::zip::CrcOf(0, input.data() + cuts[i], n), n);
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

namespace {

// The bytes of one slice and of the 32 KiB before it.
struct StoreCase {
    const char* name;
    Bytes (*slice)();
    Bytes (*dictionary)();
    bool stored;  // written as stored blocks without zlib
};

Bytes NoDictionary() { return {}; }
Bytes RandomDictionary() { return RandomBytes(kuv::zip::kDictionaryBytes, 30); }
Bytes RandomSlice() { return RandomBytes(kSliceBytes, 31); }
Bytes TextSlice() { return TextBytes(kSliceBytes, 32); }
// Every byte below 128, evenly: no repeats, but seven bits of information
// per byte, which deflate's codes for literals save.
Bytes SevenBitSlice() {
    Bytes b = RandomBytes(kSliceBytes, 33);
    for (auto& c : b) c &= 0x7F;
    return b;
}
// Random but for its last 64 KiB, which are text.
Bytes TextAtTheEnd() {
    Bytes b = RandomBytes(kSliceBytes, 34);
    const Bytes text = TextBytes(64 * 1024, 35);
    std::copy(text.begin(), text.end(), b.end() - static_cast<std::ptrdiff_t>(text.size()));
    return b;
}
Bytes BlockWithinReach() { return RepeatedBlock(kSliceBytes, 20000, 36); }
// Repeated every 40,000 bytes: beyond deflate's 32 KiB, nothing to gain.
Bytes BlockOutOfReach() { return RepeatedBlock(kSliceBytes, 40000, 37); }
// A few 8-byte repeats, one in every 1,024 bytes: deflate gains about 0.5 %.
Bytes FewShortRepeats() {
    Bytes b = RandomBytes(kSliceBytes, 38);
    for (std::size_t at = 2048; at + 8 <= b.size(); at += 1024) std::copy_n(b.begin() + at - 300, 8, b.begin() + at);
    return b;
}
// Opens with the last 16 KiB of the dictionary: one match 16 KiB back.
Bytes RepeatsTheDictionary() {
    Bytes b = RandomBytes(kSliceBytes, 39);
    const Bytes d = RandomDictionary();
    std::copy(d.begin() + 16 * 1024, d.end(), b.begin());
    return b;
}
Bytes ShortRandomSlice() { return RandomBytes(10000, 40); }

// zlib's own output for the slice, primed and ended by a sync flush.
std::size_t ZlibSliceSize(const Bytes& dictionary, const Bytes& data) {
    z_stream zs {};
    EXPECT_EQ(deflateInit2(&zs, 6, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY), Z_OK);
    if (!dictionary.empty()) deflateSetDictionary(&zs, dictionary.data(), static_cast<uInt>(dictionary.size()));
    Bytes out(kuv::zip::SliceOutputBound(data.size()));
    zs.next_in = const_cast<Bytef*>(data.data());
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&zs, Z_SYNC_FLUSH), Z_OK);
    const std::size_t size = zs.total_out;
    deflateEnd(&zs);
    return size;
}

// Inflates a slice primed with its dictionary. Returns: false when damaged.
bool InflateSlice(const Bytes& dictionary, Bytes slice, bool last, Bytes& out) {
    if (!last) slice.insert(slice.end(), {0x01, 0x00, 0x00, 0xFF, 0xFF});  // ends the stream
    z_stream zs {};
    if (inflateInit2(&zs, -15) != Z_OK) return false;
    if (!dictionary.empty() && inflateSetDictionary(&zs, dictionary.data(), static_cast<uInt>(dictionary.size())) != Z_OK)
        return false;
    out.assign(kSliceBytes + 1, 0);
    zs.next_in = slice.data();
    zs.avail_in = static_cast<uInt>(slice.size());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    const bool ended = rc == Z_STREAM_END && zs.avail_in == 0;
    inflateEnd(&zs);
    return ended;
}

class StoredSliceTest : public ::testing::TestWithParam<StoreCase> {};

}  // namespace

TEST_P(StoredSliceTest, StoredOnlyWhereDeflateWouldGainNothing) {
    const Bytes data = GetParam().slice();
    const Bytes dictionary = GetParam().dictionary();
    EXPECT_EQ(kuv::zip::LooksIncompressible(dictionary.data(), dictionary.size(), data.data(), data.size()),
              GetParam().stored);
    const std::size_t blocks = (data.size() + 65534) / 65535;
    for (bool last : {false, true}) {
        kuv::zip::SliceDeflater deflater(*kuv::zip::LinkedZlib(), -1);
        Bytes out(kuv::zip::SliceOutputBound(data.size()));
        std::size_t produced = 0;
        ASSERT_EQ(deflater.Slice(dictionary.data(), dictionary.size(), data.data(), data.size(), last, out.data(),
                                 out.size(), produced),
                  kuv::zip::kCompressOk);
        out.resize(produced);
        Bytes back;
        ASSERT_TRUE(InflateSlice(dictionary, out, last, back)) << "last " << last;
        EXPECT_TRUE(back == data) << "last " << last;
        const std::size_t storedSize = data.size() + 5 * blocks + (last ? 0 : 5);
        if (GetParam().stored) {
            EXPECT_EQ(produced, storedSize) << "last " << last;
            if (!last) {
                const Bytes syncFlush {0x00, 0x00, 0x00, 0xFF, 0xFF};
                EXPECT_TRUE(std::equal(syncFlush.begin(), syncFlush.end(), out.end() - 5)) << "ends as zlib's slices do";
            }
        } else if (!last) {
            // Compressed alone (libdeflate takes no dictionary), within 2 %
            // of zlib's slice primed with the 32 KiB before it.
            EXPECT_LE(static_cast<double>(produced), static_cast<double>(ZlibSliceSize(dictionary, data)) * 1.02 + 16);
        }
    }
    if (GetParam().stored) {
        // Storing costs almost nothing against what zlib would have written.
        EXPECT_LE(static_cast<double>(data.size() + 5 * blocks + 5),
                  static_cast<double>(ZlibSliceSize(dictionary, data)) * 1.003);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Slices, StoredSliceTest,
    ::testing::Values(StoreCase {"Random", &RandomSlice, &NoDictionary, true},
                      StoreCase {"RandomAfterRandom", &RandomSlice, &RandomDictionary, true},
                      StoreCase {"Text", &TextSlice, &NoDictionary, false},
                      StoreCase {"SevenBitBytes", &SevenBitSlice, &NoDictionary, false},
                      StoreCase {"TextInItsLastPiece", &TextAtTheEnd, &NoDictionary, false},
                      StoreCase {"BlockRepeatedWithinReach", &BlockWithinReach, &NoDictionary, false},
                      StoreCase {"BlockRepeatedOutOfReach", &BlockOutOfReach, &NoDictionary, true},
                      StoreCase {"FewShortRepeats", &FewShortRepeats, &NoDictionary, false},
                      StoreCase {"RepeatsTheSliceBefore", &RepeatsTheDictionary, &RandomDictionary, false},
                      StoreCase {"TooShortToJudge", &ShortRandomSlice, &NoDictionary, false}),
    [](const ::testing::TestParamInfo<StoreCase>& info) { return std::string(info.param.name); });

TEST(SliceDeflateTest, StoredSlicesAreTheBlocksZlibStoresAtLevelZero) {
    // Level 0 still goes through zlib, which writes the same blocks.
    const Bytes input = RandomBytes(kSliceBytes * 2 + 70000, 41);
    Bytes level0, level6;
    std::uint32_t crc = 0;
    ASSERT_EQ(kuv::zip::DeflateMember(*kuv::zip::LinkedZlib(), 0, input.data(), input.size(), level0, crc), 0);
    ASSERT_EQ(kuv::zip::DeflateMember(*kuv::zip::LinkedZlib(), -1, input.data(), input.size(), level6, crc), 0);
    EXPECT_EQ(level6.size(), input.size() + 5 * (17 + 17 + 2) + 5 + 5);
    EXPECT_TRUE(level0 == level6);
}
