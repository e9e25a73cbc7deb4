// The bytes of the archives the engine writes: every header field at its
// offset, the name character sets, the DOS date and time words, the forms of
// empty files and of an empty list.
#include <gtest/gtest.h>
#include <zlib.h>

#include "WriterTestSupport.h"
#include "zip/ZipNames.h"
#include "zip/ZipRecords.h"
#include "zip/clsZip.h"

using namespace writertest;
using namespace kuv::zip;

namespace {

class RecordsLayoutTest : public ScratchTest {
protected:
    // Builds an archive of the given files (PathChoice 0) and returns its bytes.
    std::string Build(const std::vector<std::string>& files, bool excludeCRC32 = false, int level = -1) {
        clsZip zip;
        log.Attach(zip);
        zip.SetLevelCompression(level);
        for (const auto& f : files) EXPECT_EQ(zip.FileAdd(P(f), 0, false, excludeCRC32), 1) << log.All();
        EXPECT_TRUE(zip.WriteZip(P("out.zip"), true)) << log.All();
        return Slurp(P("out.zip"));
    }
    EventLog log;
};

std::string Inflate(const std::string& raw, size_t size) {
    std::string out(size, '\0');
    z_stream zs {};
    EXPECT_EQ(inflateInit2(&zs, -15), Z_OK);
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data()));
    zs.avail_in = static_cast<uInt>(raw.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(size);
    EXPECT_EQ(inflate(&zs, Z_FINISH), Z_STREAM_END);
    EXPECT_EQ(zs.total_out, size);
    inflateEnd(&zs);
    return out;
}

}  // namespace

TEST(RecordsTest, GroupsEncodeFieldByFieldAndDecodeBack) {
    ZipHeaderCommon c;
    c.flags = 0x0800;
    c.method = 8;
    c.dosTime = 0x1234;
    c.dosDate = 0x5678;
    c.crc32 = 0xA1B2C3D4;
    c.compressedSize = 0x01020304;
    c.uncompressedSize = 0x05060708;
    c.nameLength = 0x0A0B;
    c.extraLength = 0;
    std::uint8_t b[24];
    c.Encode(b);
    EXPECT_EQ(b[0], 0x00);
    EXPECT_EQ(b[1], 0x08);
    EXPECT_EQ(GetU32(b + 8), 0xA1B2C3D4u);
    EXPECT_EQ(b[12], 0x04);  // little-endian
    EXPECT_EQ(GetU16(b + 20), 0x0A0B);
    const ZipHeaderCommon d = ZipHeaderCommon::Decode(b);
    EXPECT_EQ(d.crc32, c.crc32);
    EXPECT_EQ(d.uncompressedSize, c.uncompressedSize);
    EXPECT_EQ(d.dosDate, c.dosDate);

    ZipCentralTail t;  // the class template
    std::uint8_t tb[14];
    t.LocalHeaderOffset = 0x11223344;
    t.Encode(tb);
    EXPECT_EQ(GetU16(tb + 4), 0x0020);
    EXPECT_EQ(GetU32(tb + 6), 0u);
    EXPECT_EQ(GetU32(tb + 10), 0x11223344u);
    EXPECT_EQ(ZipCentralTail::Decode(tb).LocalHeaderOffset, 0x11223344u);
}

TEST_F(RecordsLayoutTest, LocalAndCentralHeadersHoldEveryFieldAtItsOffset) {
    Make("ten.txt", "0123456789");
    SetLocalMTime(P("ten.txt"), 2021, 3, 15, 14, 37, 59);
    const std::string b = Build({"ten.txt"});
    // Local header.
    EXPECT_EQ(U32(b, 0), 0x04034b50u);
    EXPECT_EQ(U16(b, 4), 20);        // version needed
    EXPECT_EQ(U16(b, 6), 0);         // flags
    EXPECT_EQ(U16(b, 8), 8);         // deflate
    const std::uint16_t time = U16(b, 10);
    EXPECT_EQ(time & 0x1F, 29);      // 59 seconds / 2
    EXPECT_EQ((time >> 5) & 0x3F, 37);
    EXPECT_EQ(time >> 11, 14);
    const std::uint16_t date = U16(b, 12);
    EXPECT_EQ(date & 0x1F, 15);
    EXPECT_EQ((date >> 5) & 0x0F, 3);
    EXPECT_EQ(date >> 9, 2021 - 1980);
    const std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>("0123456789"), 10));
    EXPECT_EQ(U32(b, 14), crc);
    const std::uint32_t compressed = U32(b, 18);
    EXPECT_EQ(U32(b, 22), 10u);
    EXPECT_EQ(U16(b, 26), 7);        // "ten.txt"
    EXPECT_EQ(U16(b, 28), 0);
    EXPECT_EQ(b.substr(30, 7), "ten.txt");
    EXPECT_EQ(Inflate(b.substr(37, compressed), 10), "0123456789");

    // Central header right after the data, then the end record.
    const size_t c = 37 + compressed;
    EXPECT_EQ(U32(b, c), 0x02014b50u);
    EXPECT_EQ(U16(b, c + 4), 20);    // made by: 2.0, MS-DOS
    EXPECT_EQ(U16(b, c + 6), 20);
    EXPECT_EQ(b.substr(c + 8, 24), b.substr(6, 24));  // the same 24 bytes as the local header
    EXPECT_EQ(U16(b, c + 32), 0);    // file comment length
    EXPECT_EQ(U16(b, c + 34), 0);    // disk number start
    EXPECT_EQ(U16(b, c + 36), 0x0020);
    EXPECT_EQ(U32(b, c + 38), 0u);
    EXPECT_EQ(U32(b, c + 42), 0u);   // local header offset
    EXPECT_EQ(b.substr(c + 46, 7), "ten.txt");
    const size_t e = c + 46 + 7;
    EXPECT_EQ(U32(b, e), 0x06054b50u);
    EXPECT_EQ(U16(b, e + 4), 0);
    EXPECT_EQ(U16(b, e + 6), 0);
    EXPECT_EQ(U16(b, e + 8), 1);
    EXPECT_EQ(U16(b, e + 10), 1);
    EXPECT_EQ(U32(b, e + 12), 46u + 7u);
    EXPECT_EQ(U32(b, e + 16), c);
    EXPECT_EQ(U16(b, e + 20), 0);
    EXPECT_EQ(b.size(), e + 22);
}

TEST_F(RecordsLayoutTest, SecondMemberOffsetsAndAttributesInEveryCentralHeader) {
    Make("a.txt", std::string(5000, 'a'));
    Make("b.txt", "bbb");
    const std::string b = Build({"a.txt", "b.txt"});
    const ReadArchive a = ParseArchive(b);
    ASSERT_TRUE(a.ok);
    ASSERT_EQ(a.members.size(), 2u);
    EXPECT_EQ(a.members[0].localAt, 0u);
    EXPECT_EQ(a.members[1].localAt, 30u + 5 + a.members[0].compressedSize);
    EXPECT_EQ(U32(b, a.members[1].localAt), 0x04034b50u);
    for (const ReadMember& m : a.members) {
        EXPECT_EQ(m.internalAttributes, 0x0020);
        EXPECT_EQ(m.externalAttributes, 0u);
    }
    EXPECT_EQ(a.directoryOffset, a.members[0].centralAt);
}

TEST_F(RecordsLayoutTest, DateBefore1980KeepsTheLowSevenBitsOfTheYear) {
    Make("old.txt", "x");
    SetLocalMTime(P("old.txt"), 1979, 6, 1, 12, 0, 0);
    const std::string b = Build({"old.txt"});
    EXPECT_EQ(U16(b, 12) >> 9, 127);  // (1979 - 1980) & 0x7F
    kuv::platform::LocalDateTime dt;
    dt.year = 1979;
    EXPECT_EQ(DosDateFromDate(dt) >> 9, 127);
}

TEST_F(RecordsLayoutTest, OemTableNamesAndUtf8Names) {
    Make("é.txt", "1");
    Make("öß÷.txt", "2");
    Make("Àñ€.txt", "3");
    const std::string b = Build({"é.txt", "öß÷.txt", "Àñ€.txt"});
    const ReadArchive a = ParseArchive(b);
    ASSERT_TRUE(a.ok);
    ASSERT_EQ(a.members.size(), 3u);
    // OEM table: é is byte 130, in both headers, flag bit 11 clear.
    EXPECT_EQ(a.members[0].name, "\x82.txt");
    EXPECT_EQ(b.substr(a.members[0].localAt + 30, 5), "\x82.txt");
    EXPECT_EQ(a.members[0].flags & 0x0800, 0);
    EXPECT_EQ(a.members[1].name, "\x94\xE1\xF6.txt");
    // Outside the table: UTF-8 bytes, bit 11 set, the length counting bytes.
    EXPECT_EQ(a.members[2].name, "Àñ€.txt");
    EXPECT_EQ(a.members[2].flags & 0x0800, 0x0800);
    EXPECT_EQ(U16(b, a.members[2].localAt + 6) & 0x0800, 0x0800);
    EXPECT_EQ(U16(b, a.members[2].localAt + 26), std::string("Àñ€.txt").size());
    // Made by a Unix host, a regular rw-r--r-- file: standard tools then take
    // the name as it is; the MS-DOS members keep made-by 20 and attributes 0.
    EXPECT_EQ(U16(b, a.members[2].centralAt + 4), 0x0314);
    EXPECT_EQ(U32(b, a.members[2].centralAt + 38), 0100644u << 16);
    EXPECT_EQ(U16(b, a.members[0].centralAt + 4), 20);
    EXPECT_EQ(U32(b, a.members[0].centralAt + 38), 0u);
    // Read back as written.
    EXPECT_EQ(DecodeMemberName(a.members[0].name, false), "é.txt");
    EXPECT_EQ(DecodeMemberName(a.members[1].name, false), "öß÷.txt");
    EXPECT_EQ(DecodeMemberName(a.members[2].name, true), "Àñ€.txt");
}

TEST_F(RecordsLayoutTest, ExcludeCrcWritesZeroInBothHeaders) {
    Make("c.txt", "some text to check");
    const std::string b = Build({"c.txt"}, true);
    const ReadArchive a = ParseArchive(b);
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(U32(b, 14), 0u);
    EXPECT_EQ(a.members[0].crc, 0u);
}

TEST_F(RecordsLayoutTest, LevelReachesZlib) {
    std::string text;
    for (int i = 0; i < 4000; ++i) text += "line " + std::to_string(i % 97) + " of a text file\n";
    Make("t.txt", text);
    const ReadArchive l0 = ParseArchive(Build({"t.txt"}, false, 0));
    const ReadArchive l1 = ParseArchive(Build({"t.txt"}, false, 1));
    const ReadArchive l9 = ParseArchive(Build({"t.txt"}, false, 9));
    // Level 0: deflate's stored blocks, a little larger than the file.
    EXPECT_EQ(l0.members[0].method, 8);
    EXPECT_GT(l0.members[0].compressedSize, text.size());
    EXPECT_LT(l9.members[0].compressedSize, l1.members[0].compressedSize);
    const std::string b9 = Build({"t.txt"}, false, 9);
    EXPECT_EQ(Inflate(b9.substr(35, l9.members[0].compressedSize), text.size()), text);
}

TEST_F(RecordsLayoutTest, EmptyFileIsStoredWithNoDataAndCrcZero) {
    Make("empty.txt", "");
    Make("after.txt", "after");
    const std::string b = Build({"empty.txt", "after.txt"});
    const ReadArchive a = ParseArchive(b);
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(a.members[0].method, 0);
    EXPECT_EQ(a.members[0].crc, 0u);
    EXPECT_EQ(a.members[0].compressedSize, 0u);
    EXPECT_EQ(a.members[0].uncompressedSize, 0u);
    EXPECT_EQ(a.members[1].localAt, 30u + 9u);  // nothing between the name and the next header
}

TEST_F(RecordsLayoutTest, EmptyListGivesTheEndRecordAndCommentOnly) {
    clsZip zip;
    zip.SetComment("Sauvegarde du 01/02/2024 à 10:30");
    ASSERT_TRUE(zip.WriteZip(P("none.zip"), false));
    const std::string b = Slurp(P("none.zip"));
    const std::string comment = "Sauvegarde du 01/02/2024 \xE0 10:30";  // Windows-1252
    ASSERT_EQ(b.size(), 22 + comment.size());
    EXPECT_EQ(U32(b, 0), 0x06054b50u);
    EXPECT_EQ(U16(b, 8), 0);
    EXPECT_EQ(U16(b, 20), comment.size());
    EXPECT_EQ(b.substr(22), comment);
}

TEST(NameTableTest, EachCharacterConvertedOnce) {
    // ö (246) goes to 148 and ÷ (247) to 246: 246 produced by the first must
    // not be converted again.
    EXPECT_EQ(ConvertNameCharset("\xF6\xF7", CharsetDirection::AnsiToOem), "\x94\xF6");
    EXPECT_EQ(ConvertNameCharset("\x94\xF6", CharsetDirection::OemToAnsi), "\xF6\xF7");
    // Every byte, in a name of all 256: a byte the table names becomes its
    // pair, any other stays itself, in both directions.
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    const std::string oem = ConvertNameCharset(all, CharsetDirection::AnsiToOem);
    const std::string ansi = ConvertNameCharset(all, CharsetDirection::OemToAnsi);
    ASSERT_EQ(oem.size(), 256u);
    ASSERT_EQ(ansi.size(), 256u);
    for (int b = 0; b < 256; ++b) {
        int expectedOem = b, expectedAnsi = b;
        for (const AnsiOemPair& pair : AnsiOemTable()) {
            if (pair.ansi == b) expectedOem = pair.oem;
            if (pair.oem == b) expectedAnsi = pair.ansi;
        }
        EXPECT_EQ(static_cast<std::uint8_t>(oem[b]), expectedOem) << "byte " << b;
        EXPECT_EQ(static_cast<std::uint8_t>(ansi[b]), expectedAnsi) << "byte " << b;
    }
    // The check value of the ZIP CRC-32, and a CRC continued over two pieces.
    EXPECT_EQ(CrcUpdate(0, "123456789", 9), 0xCBF43926u);
    EXPECT_EQ(CrcUpdate(CrcUpdate(0, "1234", 4), "56789", 5), 0xCBF43926u);
}
