// The walk over a raw deflate stream's blocks: it finds the final block of
// every kind of stream zlib and libdeflate write, the stream it ends with a
// sync flush is continued by another one exactly, and a damaged stream is
// refused without reading past its end.
#include <gtest/gtest.h>
#include <libdeflate.h>
#include <zlib.h>

#include "SliceTestSupport.h"
#include "zip/DeflateWalk.h"

using namespace slicetest;
using kuv::zip::StreamEnd;
using kuv::zip::WalkDeflateStream;

namespace {

// zlib's stream of data, sync-flushed, then ended by an empty final block:
// the final block starts exactly at the flushed part's end.
struct ZlibCase {
    const char* name;
    Bytes (*data)();
    int level;
    int strategy;
};

Bytes NoBytes() { return {}; }
Bytes Text() { return TextBytes(300000, 1); }
Bytes Random() { return RandomBytes(100000, 2); }
Bytes Runs() { return RepeatedBlock(200000, 3, 3); }

Bytes ZlibWithKnownEnd(const Bytes& data, int level, int strategy, std::size_t& flushed) {
    z_stream zs {};
    EXPECT_EQ(deflateInit2(&zs, level, Z_DEFLATED, -15, 8, strategy), Z_OK);
    Bytes out(data.size() * 2 + 1024);
    zs.next_in = const_cast<Bytef*>(data.data());
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&zs, Z_SYNC_FLUSH), Z_OK);
    flushed = zs.total_out;
    EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

class ZlibStreamWalk : public ::testing::TestWithParam<ZlibCase> {};

}  // namespace

TEST_P(ZlibStreamWalk, FindsTheFinalBlockWhereZlibPutIt) {
    std::size_t flushed = 0;
    const Bytes stream = ZlibWithKnownEnd(GetParam().data(), GetParam().level, GetParam().strategy, flushed);
    StreamEnd end;
    ASSERT_TRUE(WalkDeflateStream(stream.data(), stream.size(), end));
    EXPECT_EQ(end.finalHeaderBit, flushed * 8);
    EXPECT_LE(end.endBit, stream.size() * 8);
    EXPECT_GT(end.endBit + 8, stream.size() * 8) << "only the padding after the end";
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ZlibStreamWalk,
    ::testing::Values(ZlibCase {"DynamicText", &Text, 6, Z_DEFAULT_STRATEGY},
                      ZlibCase {"FixedText", &Text, 6, Z_FIXED},
                      ZlibCase {"StoredText", &Text, 0, Z_DEFAULT_STRATEGY},
                      ZlibCase {"HuffmanOnly", &Text, 6, Z_HUFFMAN_ONLY},
                      ZlibCase {"RunLengths", &Runs, 6, Z_RLE},
                      ZlibCase {"RandomBytes", &Random, 9, Z_DEFAULT_STRATEGY},
                      ZlibCase {"LongestMatches", &Runs, 9, Z_DEFAULT_STRATEGY},
                      ZlibCase {"Nothing", &NoBytes, 6, Z_DEFAULT_STRATEGY}),
    [](const ::testing::TestParamInfo<ZlibCase>& info) { return std::string(info.param.name); });

TEST(DeflateWalk, LibdeflateStreamsJoinThroughASyncFlush) {
    // Every level, text and random bytes: the first stream made non-final
    // and sync-flushed, the second one after it, read as one by zlib.
    for (int level = 1; level <= 12; ++level) {
        libdeflate_compressor* c = libdeflate_alloc_compressor(level);
        ASSERT_NE(c, nullptr);
        for (unsigned seed = 1; seed <= 3; ++seed) {
            const Bytes a = seed == 2 ? RandomBytes(70000, seed) : TextBytes(400000 + seed, seed);
            const Bytes b = TextBytes(5000, seed + 10);
            Bytes joined(libdeflate_deflate_compress_bound(c, a.size()) + 16);
            std::size_t n = libdeflate_deflate_compress(c, a.data(), a.size(), joined.data(), joined.size());
            ASSERT_GT(n, 0u);
            StreamEnd end;
            ASSERT_TRUE(WalkDeflateStream(joined.data(), n, end)) << "level " << level << " seed " << seed;
            ASSERT_LE(kuv::zip::SyncFlushedSize(end), joined.size());
            n = kuv::zip::EndWithSyncFlush(joined.data(), end);
            joined.resize(n);
            EXPECT_TRUE(std::equal(joined.end() - 4, joined.end(), Bytes {0x00, 0x00, 0xFF, 0xFF}.begin()));
            Bytes second(libdeflate_deflate_compress_bound(c, b.size()));
            second.resize(libdeflate_deflate_compress(c, b.data(), b.size(), second.data(), second.size()));
            joined.insert(joined.end(), second.begin(), second.end());
            Bytes back;
            ASSERT_TRUE(Inflate(joined, back)) << "level " << level << " seed " << seed;
            Bytes expected = a;
            expected.insert(expected.end(), b.begin(), b.end());
            EXPECT_TRUE(back == expected) << "level " << level << " seed " << seed;
        }
        libdeflate_free_compressor(c);
    }
}

namespace {

// A sound stream (several dynamic blocks, then a stored and a fixed one)
// damaged by a change.
struct DamageCase {
    const char* name;
    void (*damage)(Bytes&);
};

Bytes SoundStream() {
    z_stream zs {};
    deflateInit2(&zs, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    const Bytes text = TextBytes(200000, 20);
    const Bytes random = RandomBytes(3000, 21);
    Bytes out(400000);
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    zs.next_in = const_cast<Bytef*>(text.data());
    zs.avail_in = static_cast<uInt>(text.size());
    deflate(&zs, Z_SYNC_FLUSH);
    deflateParams(&zs, 0, Z_DEFAULT_STRATEGY);
    zs.next_in = const_cast<Bytef*>(random.data());
    zs.avail_in = static_cast<uInt>(random.size());
    deflate(&zs, Z_SYNC_FLUSH);
    deflateParams(&zs, 6, Z_FIXED);
    zs.next_in = const_cast<Bytef*>(text.data());
    zs.avail_in = 2000;
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

class DamagedStreamWalk : public ::testing::TestWithParam<DamageCase> {};

}  // namespace

TEST_P(DamagedStreamWalk, IsRefused) {
    Bytes stream = SoundStream();
    StreamEnd end;
    ASSERT_TRUE(WalkDeflateStream(stream.data(), stream.size(), end)) << "sound before the damage";
    GetParam().damage(stream);
    // Read from a buffer of exactly its size: ASan reports any read past it.
    std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[stream.size() ? stream.size() : 1]);
    std::copy(stream.begin(), stream.end(), exact.get());
    EXPECT_FALSE(WalkDeflateStream(exact.get(), stream.size(), end));
}

INSTANTIATE_TEST_SUITE_P(
    Damages, DamagedStreamWalk,
    ::testing::Values(
        DamageCase {"Empty", [](Bytes& s) { s.clear(); }},
        DamageCase {"CutInTheFirstBlock", [](Bytes& s) { s.resize(s.size() / 7); }},
        DamageCase {"CutInTheStoredBlock", [](Bytes& s) { s.resize(s.size() - 2500); }},
        DamageCase {"CutBeforeTheLastByte", [](Bytes& s) { s.pop_back(); }},
        DamageCase {"ReservedBlockType", [](Bytes& s) { s[0] = static_cast<std::uint8_t>(s[0] | 0x06); }},
        DamageCase {"TooManyLiteralCodes", [](Bytes& s) { s[0] = static_cast<std::uint8_t>(s[0] | 0xF8); }},
        DamageCase {"StoredLengthNotItsComplement",
                    [](Bytes& s) {
                        // The stored block: its header follows the first sync flush's 00 00 FF FF.
                        for (std::size_t i = 4; i + 8 < s.size(); ++i)
                            if (s[i - 4] == 0 && s[i - 3] == 0 && s[i - 2] == 0xFF && s[i - 1] == 0xFF) {
                                s[i + 3] ^= 0x01;  // NLEN's first byte
                                return;
                            }
                    }},
        DamageCase {"OnlyAFirstBlockThatIsNotFinal",
                    [](Bytes& s) {
                        for (std::size_t i = 4; i < s.size(); ++i)
                            if (s[i - 4] == 0 && s[i - 3] == 0 && s[i - 2] == 0xFF && s[i - 1] == 0xFF) {
                                s.resize(i);
                                return;
                            }
                    }}),
    [](const ::testing::TestParamInfo<DamageCase>& info) { return std::string(info.param.name); });
