// Large members written in slices inflate slice by slice through libdeflate;
// anything else, damaged or foreign, ends exactly as zlib's streaming
// inflate says, with the sink started again when bytes had reached it.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>

#include "ScratchFolder.h"
#include "SliceTestSupport.h"
#include "WriterTestSupport.h"
#include "zip/MemberInflater.h"
#include "zip/SafeMemberPath.h"
#include "zip/SliceDeflate.h"
#include "zip/SliceInflate.h"
#include "zip/ZlibBinding.h"
#include "zip/clsZip.h"

using namespace slicetest;
using kuv::zip::InflateResult;
using kuv::zip::kSliceBytes;
using kuv::zip::MemberData;

namespace {

constexpr std::size_t kPrefix = 123;  // the member's data does not start the file

Bytes EngineDeflate(const Bytes& input) {
    Bytes out;
    std::uint32_t crc = 0;
    EXPECT_EQ(kuv::zip::DeflateMember(*kuv::zip::LinkedZlib(), -1, input.data(), input.size(), out, crc), 0);
    EXPECT_EQ(crc, Crc(input));
    return out;
}

// One zlib stream, with a sync flush after each of the input sizes of `cuts`
// in turn, the last repeated to the end (empty: no flush).
Bytes ZlibDeflateCut(const Bytes& input, const std::vector<std::size_t>& cuts) {
    z_stream zs {};
    EXPECT_EQ(deflateInit2(&zs, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    Bytes out(deflateBound(&zs, input.size()) + 1024 * (input.size() / 65536 + 1));
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    for (std::size_t at = 0, k = 0; at < input.size(); ++k) {
        const std::size_t step = cuts.empty() ? input.size() : cuts[std::min(k, cuts.size() - 1)];
        const std::size_t n = std::min(step, input.size() - at);
        zs.next_in = const_cast<Bytef*>(input.data() + at);
        zs.avail_in = static_cast<uInt>(n);
        const bool last = at + n == input.size();
        EXPECT_EQ(deflate(&zs, last ? Z_FINISH : Z_SYNC_FLUSH), last ? Z_STREAM_END : Z_OK);
        at += n;
    }
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

Bytes ZlibDeflate(const Bytes& input, std::size_t flushEvery) {
    return ZlibDeflateCut(input, flushEvery ? std::vector<std::size_t> {flushEvery} : std::vector<std::size_t> {});
}

// Random bytes with 00 00 FF FF planted `perSlice` times in every slice:
// stored blocks then hold the four bytes of a sync flush in their payload.
Bytes RandomWithMarkers(std::size_t size, std::size_t perSlice, unsigned seed) {
    Bytes b = RandomBytes(size, seed);
    const std::size_t every = kSliceBytes / perSlice;
    for (std::size_t at = every / 3; at + 4 <= size; at += every) {
        b[at] = 0x00;
        b[at + 1] = 0x00;
        b[at + 2] = 0xFF;
        b[at + 3] = 0xFF;
    }
    return b;
}

// A member's compressed bytes in a file, behind a few bytes of something else.
struct MemberFile {
    kuvtest::ScratchFolder scratch;
    int fd = -1;
    MemberData member;
    MemberFile(const Bytes& compressed, const Bytes& input) {
        const std::string path = scratch.path() + "/member.bin";
        const Bytes prefix(kPrefix, 0x5A);
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(prefix.data()), static_cast<std::streamsize>(prefix.size()));
        out.write(reinterpret_cast<const char*>(compressed.data()), static_cast<std::streamsize>(compressed.size()));
        out.close();
        fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        member.dataOffset = kPrefix;
        member.compressedSize = compressed.size();
        member.uncompressedSize = input.size();
        member.crc32 = Crc(input);
        member.method = 8;
    }
    ~MemberFile() {
        if (fd >= 0) close(fd);
    }
};

// A sink into memory that can be started again, counting its rewinds.
struct Collected {
    Bytes bytes;
    int rewinds = 0;
    bool canRewind = true;
    std::size_t refuseAfter = SIZE_MAX;  // bytes accepted before the sink refuses
    kuv::zip::MemberSink Sink() {
        return [this](const std::uint8_t* p, std::size_t n) {
            if (bytes.size() + n > refuseAfter) return false;
            bytes.insert(bytes.end(), p, p + n);
            return true;
        };
    }
    kuv::zip::MemberRewind Rewind() {
        return [this] {
            ++rewinds;
            if (!canRewind) return false;
            bytes.clear();
            return true;
        };
    }
};

// Inflates through DecompressMemberData. fast: the member was done slice by slice.
InflateResult Decompress(const MemberData& m, int fd, Collected& into, bool withRewind, bool& fast) {
    kuv::zip::InflateBuffers buffers;
    const InflateResult r = kuv::zip::DecompressMemberData(*kuv::zip::LinkedZlib(), fd, m, into.Sink(), buffers,
                                                           withRewind ? into.Rewind() : kuv::zip::MemberRewind {});
    fast = buffers.slices && buffers.slices->MembersDone() == 1;
    return r;
}

// ---- sound members ----

struct SoundCase {
    const char* name;
    Bytes (*make)();
    bool engineWritten;      // DeflateMember (else zlib, see flushEvery)
    std::size_t flushEvery;  // zlib: sync flush every so many bytes (0: one stream)
    bool fast;               // expected to go slice by slice
};

class SoundMemberTest : public ::testing::TestWithParam<SoundCase> {};

}  // namespace

TEST_P(SoundMemberTest, GivesTheExactBytes) {
    const SoundCase& c = GetParam();
    const Bytes input = c.make();
    const Bytes compressed = c.engineWritten ? EngineDeflate(input) : ZlibDeflate(input, c.flushEvery);
    MemberFile f(compressed, input);
    Collected got;
    bool fast = false;
    EXPECT_EQ(Decompress(f.member, f.fd, got, true, fast), InflateResult::Ok);
    EXPECT_EQ(fast, c.fast);
    // The extraction sends a large member that cannot be ours to a worker's
    // igzip stream: one of ours is never taken for such a member.
    if (c.fast) {
        EXPECT_TRUE(kuv::zip::SliceInflater::MayBeSliced(f.fd, f.member));
    }
    EXPECT_EQ(got.rewinds, 0) << "a member not done slice by slice is refused before its first byte";
    ASSERT_EQ(got.bytes.size(), input.size());
    EXPECT_TRUE(got.bytes == input);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SoundMemberTest,
    ::testing::Values(
        SoundCase {"OneSlicePlusOneByte", [] { return TextBytes(kSliceBytes + 1, 1); }, true, 0, true},
        SoundCase {"SeveralSlices", [] { return TextBytes(5 * kSliceBytes + 12345, 2); }, true, 0, true},
        SoundCase {"LastSliceFull", [] { return TextBytes(3 * kSliceBytes, 3); }, true, 0, true},
        SoundCase {"Incompressible", [] { return RandomBytes(3 * kSliceBytes + 777, 4); }, true, 0, true},
        SoundCase {"RepeatedAcrossCuts", [] { return RepeatedBlock(4 * kSliceBytes + 5, 40000, 5); }, true, 0, true},
        SoundCase {"FewMarkersInStoredData", [] { return RandomWithMarkers(3 * kSliceBytes + 9, 3, 6); }, true, 0,
                   true},
        SoundCase {"ManyMarkersInStoredData", [] { return RandomWithMarkers(3 * kSliceBytes + 9, 400, 7); }, true,
                   0, false},
        SoundCase {"ZlibOneStream", [] { return TextBytes(3 * kSliceBytes + 100, 8); }, false, 0, false},
        SoundCase {"ZlibFlushEvery700KiB", [] { return TextBytes(3 * kSliceBytes + 100, 9); }, false, 700 * 1024,
                   false},
        SoundCase {"ZlibOneStreamIncompressible", [] { return RandomBytes(2 * kSliceBytes + 3, 10); },
                   false, 0, false}),
    [](const ::testing::TestParamInfo<SoundCase>& info) { return std::string(info.param.name); });

// A stream of text in one piece, as other tools write it, is told apart
// from ours before a byte is inflated (it then goes to a worker).
TEST(SliceInflate, OneStreamOfTextIsNotTakenForSlices) {
    for (unsigned seed : {8u, 11u, 12u}) {
        const Bytes input = TextBytes(3 * kSliceBytes + 100, seed);
        MemberFile f(ZlibDeflate(input, 0), input);
        EXPECT_FALSE(kuv::zip::SliceInflater::MayBeSliced(f.fd, f.member)) << seed;
    }
}

// ---- damaged members, wrong declarations, refusing sinks ----

namespace {

struct DamageCase {
    const char* name;
    double flipAtSlice;      // a byte inverted in the middle of this slice (<0: none)
    std::int64_t sizeDelta;  // declared size minus the real one
    std::uint32_t crcXor;
    bool canRewind;
    InflateResult expected;  // InflateResult::Ok: whatever zlib alone says
};

class DamagedMemberTest : public ::testing::TestWithParam<DamageCase> {};

constexpr std::size_t kSlices = 5;

}  // namespace

TEST_P(DamagedMemberTest, EndsAsZlibAloneSays) {
    const DamageCase& c = GetParam();
    const Bytes input = TextBytes(kSlices * kSliceBytes - 1000, 20);
    Bytes compressed = EngineDeflate(input);
    if (c.flipAtSlice >= 0)
        compressed.at(static_cast<std::size_t>(compressed.size() * (c.flipAtSlice + 0.5) / kSlices)) ^= 0xFF;
    MemberFile f(compressed, input);
    f.member.uncompressedSize = static_cast<std::uint64_t>(static_cast<std::int64_t>(input.size()) + c.sizeDelta);
    f.member.crc32 ^= c.crcXor;

    Collected plain;
    bool fast = false;
    const InflateResult zlibSays = Decompress(f.member, f.fd, plain, false, fast);
    EXPECT_FALSE(fast);
    EXPECT_NE(zlibSays, InflateResult::Ok);

    Collected got;
    got.canRewind = c.canRewind;
    const InflateResult r = Decompress(f.member, f.fd, got, true, fast);
    EXPECT_FALSE(fast);
    if (c.expected != InflateResult::Ok) {
        EXPECT_EQ(zlibSays, c.expected);
    }
    // Past the first slice the fast path has given bytes: they are taken back.
    if (c.flipAtSlice != 0) {
        EXPECT_EQ(got.rewinds, 1);
    }
    if (!c.canRewind) {
        EXPECT_EQ(r, InflateResult::SinkError) << "bytes already given cannot be taken back";
        return;
    }
    EXPECT_EQ(r, zlibSays);
    EXPECT_TRUE(got.bytes == plain.bytes) << "the sink holds what zlib alone gives";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedMemberTest,
    ::testing::Values(DamageCase {"FlipInFirstSlice", 0, 0, 0, true, InflateResult::Ok},
                      DamageCase {"FlipInThirdSlice", 2, 0, 0, true, InflateResult::Ok},
                      DamageCase {"FlipInLastSlice", 4, 0, 0, true, InflateResult::Ok},
                      DamageCase {"OtherCrc", -1, 0, 0x100, true, InflateResult::CrcMismatch},
                      DamageCase {"DeclaresOneByteMore", -1, 1, 0, true, InflateResult::DataError},
                      DamageCase {"DeclaresOneByteLess", -1, -1, 0, true, InflateResult::DataError},
                      DamageCase {"ThirdSliceDamagedSinkCannotStartAgain", 2, 0, 0, false, InflateResult::Ok},
                      DamageCase {"OtherCrcSinkCannotStartAgain", -1, 0, 0x100, false, InflateResult::CrcMismatch}),
    [](const ::testing::TestParamInfo<DamageCase>& info) { return std::string(info.param.name); });

TEST(SliceInflate, SinkRefusalStopsAtOnce) {
    const Bytes input = TextBytes(3 * kSliceBytes + 10, 30);
    MemberFile f(EngineDeflate(input), input);
    Collected got;
    got.refuseAfter = kSliceBytes + 10;
    bool fast = false;
    EXPECT_EQ(Decompress(f.member, f.fd, got, true, fast), InflateResult::SinkError);
    EXPECT_EQ(got.rewinds, 0);
    EXPECT_EQ(got.bytes.size(), kSliceBytes);
}

// Two slices look like ours, the third does not: the bytes already given
// are taken back and zlib gives the whole member.
TEST(SliceInflate, FailureAfterSomeSlicesStartsTheSinkAgain) {
    const Bytes input = TextBytes(4 * kSliceBytes + 77, 35);
    MemberFile f(ZlibDeflateCut(input, {kSliceBytes, kSliceBytes, 700 * 1024}), input);
    Collected got;
    bool fast = true;
    EXPECT_EQ(Decompress(f.member, f.fd, got, true, fast), InflateResult::Ok);
    EXPECT_FALSE(fast);
    EXPECT_EQ(got.rewinds, 1);
    EXPECT_TRUE(got.bytes == input);
}

TEST(SliceInflate, BuffersServeMemberAfterMember) {
    kuv::zip::InflateBuffers buffers;
    for (unsigned seed = 40; seed < 43; ++seed) {
        const Bytes input = seed == 41 ? RandomBytes(2 * kSliceBytes + seed, seed) : TextBytes(2 * kSliceBytes + seed, seed);
        MemberFile f(EngineDeflate(input), input);
        Collected got;
        EXPECT_EQ(kuv::zip::DecompressMemberData(*kuv::zip::LinkedZlib(), f.fd, f.member, got.Sink(), buffers,
                                                 got.Rewind()),
                  InflateResult::Ok);
        EXPECT_TRUE(got.bytes == input);
    }
    ASSERT_TRUE(buffers.slices);
    EXPECT_EQ(buffers.slices->MembersDone(), 3u);
}

TEST(SliceInflate, PendingFileStartsAgainFromNothing) {
    kuvtest::ScratchFolder scratch;
    kuv::zip::SafeFolder folder;
    ASSERT_TRUE(folder.OpenBase(scratch.path()));
    kuv::zip::PendingFile file(folder);
    ASSERT_TRUE(file.Create());
    const std::string first = "premier essai, plus long";
    const std::string second = "second";
    ASSERT_TRUE(file.Write(reinterpret_cast<const std::uint8_t*>(first.data()), first.size()));
    ASSERT_TRUE(file.Rewind());
    ASSERT_TRUE(file.Write(reinterpret_cast<const std::uint8_t*>(second.data()), second.size()));
    ASSERT_TRUE(file.Commit("f.txt"));
    EXPECT_EQ(writertest::Slurp(scratch.path() + "/f.txt"), second);
}

// ---- through the engine: extraction of an archive it wrote ----

namespace {

class SliceExtractTest : public writertest::ScratchTest {};

// Members of 5 slices, and of 9: a file that large is written past the
// page cache (DirectWrite.h).
class LargeSliceExtractTest : public SliceExtractTest, public testing::WithParamInterface<std::size_t> {};

// The member's data offset in an archive whose first member it is.
std::size_t FirstDataOffset(const std::string& archive) {
    return 30 + writertest::U16(archive, 26) + writertest::U16(archive, 28);
}

}  // namespace

TEST_P(LargeSliceExtractTest, LargeMemberSoundAndDamagedInAMiddleSlice) {
    const Bytes content = TextBytes(GetParam() * kSliceBytes + 77, 50);
    Make("src/base.dat", std::string(content.begin(), content.end()));
    writertest::EventLog wl;  // before the engine: its end still raises events
    clsZip writer;
    wl.Attach(writer);
    ASSERT_EQ(writer.FileAdd(P("src/base.dat")), 1) << wl.All();
    ASSERT_TRUE(writer.WriteZip(P("sound.zip"), false)) << wl.All();

    std::string archive = writertest::Slurp(P("sound.zip"));
    const std::size_t data = FirstDataOffset(archive);
    {
        writertest::EventLog rl;  // before the engine: its closing raises "Zip fermé"
        clsZip reader;
        rl.Attach(reader);
        ASSERT_TRUE(reader.ZipOpen(P("sound.zip"))) << rl.All();
        const auto compressed = static_cast<std::size_t>(reader.FileCompressedSize(1));
        std::filesystem::create_directories(P("out"));
        writertest::WriteFile(P("out/base.dat"), "ancien contenu");
        EXPECT_TRUE(reader.ExtractAllFiles(P("out"), false, true, false)) << rl.All();
        EXPECT_TRUE(writertest::Slurp(P("out/base.dat")) == std::string(content.begin(), content.end()));
        // A slice in the middle damaged.
        archive[data + compressed * 5 / 10] ^= 0x55;
        writertest::WriteFile(P("damaged.zip"), archive);
    }

    // What zlib alone says of the damaged member.
    std::vector<int> errors;
    clsZip reader;
    reader.Events.ZipError = [&](std::int32_t n, const std::string&, bool&) { errors.push_back(n); };
    ASSERT_TRUE(reader.ZipOpen(P("damaged.zip")));
    MemberData m;
    m.dataOffset = data;
    m.compressedSize = static_cast<std::uint64_t>(reader.FileCompressedSize(1));
    m.uncompressedSize = content.size();
    m.crc32 = Crc(content);
    m.method = 8;
    const int fd = open(P("damaged.zip").c_str(), O_RDONLY | O_CLOEXEC);
    Collected plain;
    bool fast = false;
    const InflateResult zlibSays = Decompress(m, fd, plain, false, fast);
    close(fd);
    ASSERT_NE(zlibSays, InflateResult::Ok);
    const int expected = zlibSays == InflateResult::CrcMismatch ? 5 : 16;

    writertest::WriteFile(P("out/base.dat"), "ancien contenu");
    reader.ExtractAllFiles(P("out"), false, true, false);
    EXPECT_EQ(errors, std::vector<int> {expected});
    EXPECT_EQ(writertest::Slurp(P("out/base.dat")), "ancien contenu");
    errors.clear();
    EXPECT_FALSE(reader.TestAllFiles());
    EXPECT_EQ(errors, std::vector<int> {expected});
    reader.Events = clsZipEvents {};
}

INSTANTIATE_TEST_SUITE_P(Slices, LargeSliceExtractTest, testing::Values(5, 9));
