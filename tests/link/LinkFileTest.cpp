// The link file shared with the linked application: layout, key rules,
// damaged files, foreign records and a concurrent writer.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "link/LinkFile.h"
#include "link/LinkRecord.h"
#include "link/LinkStore.h"

namespace kuv {
namespace {

class LinkFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kuvzip-link-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        path_ = dir_ + "/W_intlog.wdo";
    }
    void TearDown() override {
        std::remove(path_.c_str());
        rmdir(dir_.c_str());
    }

    std::string Bytes() const {
        std::ifstream in(path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void SetBytes(const std::string& bytes) const {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    // File record n (1-based), as bytes.
    std::string Record(int n) const { return Bytes().substr(static_cast<size_t>(n - 1) * 128, 128); }
    static int32_t CountOf(const std::string& record) {
        return LinkRecord::Decode(reinterpret_cast<const unsigned char*>(record.data())).Count();
    }
    // A record as the linked application might write it: its own bytes in
    // every field this program does not use.
    static std::string ForeignRecord(const std::string& key15, const std::string& value40, int32_t count) {
        std::string r(128, '\0');
        for (size_t i = 0; i < 128; ++i) r[i] = static_cast<char>('a' + i % 26);
        r.replace(0, 15, key15);
        r.replace(23, 40, value40);
        r[63] = '\x01';
        r.replace(124, 4, std::string(reinterpret_cast<const char*>(&count), 4));
        return r;
    }
    static std::string Pad(const std::string& s, size_t width) {
        std::string out = s.substr(0, width);
        out.resize(width, ' ');
        return out;
    }

    std::string dir_;
    std::string path_;
};

TEST_F(LinkFileTest, MissingFileIsCreatedWithHeaderAndOneBlankRecord) {
    EXPECT_EQ(ReadLinkValue("nom_zip_s", path_), "");
    const std::string bytes = Bytes();
    ASSERT_EQ(bytes.size(), 256u);
    EXPECT_EQ(bytes.substr(0, 15), "#INIT#         ");
    EXPECT_EQ(bytes.substr(15, 109), std::string(109, ' '));
    EXPECT_EQ(CountOf(Record(1)), 0);
    EXPECT_EQ(Record(2).substr(0, 124), std::string(124, ' '));
    EXPECT_EQ(CountOf(Record(2)), 0);
}

TEST_F(LinkFileTest, WriteThenReadUpdatesOneRecordAndCountsOnce) {
    ASSERT_TRUE(WriteLinkValue("RES2Z4IU4", "s:\\ex_pc\\{AUTO}", path_));
    EXPECT_EQ(CountOf(Record(1)), 1);
    // The first data record is the blank slot of the creation: the new key
    // takes it over (data record 1 = file record 2).
    EXPECT_EQ(Record(2).substr(0, 15), "RES2Z4IU4      ");
    EXPECT_EQ(ReadLinkValue("RES2Z4IU4", path_), Pad("s:\\ex_pc\\{AUTO}", 40));

    ASSERT_TRUE(WriteLinkValue("RES2Z4IU4", " ", path_));
    EXPECT_EQ(CountOf(Record(1)), 1);
    EXPECT_EQ(Bytes().size(), 256u);
    EXPECT_EQ(ReadLinkValue("RES2Z4IU4", path_), std::string(40, ' '));

    ASSERT_TRUE(WriteLinkValue("Dern:SAV:MAN", "25/12/2023 à 14:30", path_));
    EXPECT_EQ(CountOf(Record(1)), 2);
    EXPECT_EQ(Record(3).substr(0, 15), "DERN:SAV:MAN   ");
    // Stored in Windows-1252: "à" is one byte, so the value keeps 40 bytes.
    EXPECT_EQ(Record(3).substr(23, 40), Pad("25/12/2023 \xE0 14:30", 40));
    EXPECT_EQ(ReadLinkValue("dern:sav:man", path_), "25/12/2023 à 14:30" + std::string(22, ' '));
    EXPECT_EQ(ReadLinkValue("SAVAUT55", path_), "");
}

TEST_F(LinkFileTest, KeysAreTrimmedUpperCasedAndCutTo15) {
    EXPECT_EQ(NormaliseLinkKey("nom_zip_s"), "NOM_ZIP_S      ");
    EXPECT_EQ(NormaliseLinkKey("  nom_zip_s  "), "NOM_ZIP_S      ");
    ASSERT_TRUE(WriteLinkValue("nom_zip_s", "a", path_));
    ASSERT_TRUE(WriteLinkValue(" NOM_zip_S", "b", path_));
    EXPECT_EQ(CountOf(Record(1)), 1);
    EXPECT_EQ(ReadLinkValue("Nom_Zip_S", path_), Pad("b", 40));

    ASSERT_TRUE(WriteLinkValue("ABCDEFGHIJKLMNOP-one", "1", path_));
    ASSERT_TRUE(WriteLinkValue("abcdefghijklmnoQ-two", "2", path_));
    EXPECT_EQ(CountOf(Record(1)), 2);
    EXPECT_EQ(ReadLinkValue("ABCDEFGHIJKLMNO", path_), Pad("2", 40));
}

TEST_F(LinkFileTest, ValuesAreCutOrPaddedToFortyWindows1252Characters) {
    const std::string longValue = "éééééééééééééééééééééééééééééééééééééééééééé";  // 44 characters
    ASSERT_TRUE(WriteLinkValue("K", longValue, path_));
    EXPECT_EQ(Record(2).substr(23, 40), std::string(40, '\xE9'));
    EXPECT_EQ(ReadLinkValue("K", path_), std::string(longValue, 0, 80));  // 40 two-byte characters
    // Characters outside Windows-1252 become '?' in keys and values; the
    // neighbouring fields are not touched.
    ASSERT_TRUE(WriteLinkValue("clé→x", "Ω€ñ", path_));
    EXPECT_EQ(Record(3).substr(0, 15), Pad("CL\xC9?X", 15));
    EXPECT_EQ(Record(3).substr(23, 40), Pad("?\x80\xF1", 40));
    EXPECT_EQ(ReadLinkValue("CLÉ?X", path_), "?€ñ" + std::string(37, ' '));
    EXPECT_EQ(Record(3).substr(63, 61), std::string(61, ' '));
}

TEST_F(LinkFileTest, FirstExactMatchWinsAndRecordsPastTheCountAreIgnored) {
    const auto header = LinkRecord::Header(2).Encode();
    std::string file(reinterpret_cast<const char*>(header.data()), 128);
    file += ForeignRecord("DUP            ", Pad("first", 40), 0);
    file += ForeignRecord("DUP            ", Pad("second", 40), 0);
    file += ForeignRecord("HIDDEN         ", Pad("past the count", 40), 0);
    SetBytes(file);
    EXPECT_EQ(ReadLinkValue("dup", path_), Pad("first", 40));
    EXPECT_EQ(ReadLinkValue("hidden", path_), "");
    // Not found: the new record goes right after the counted ones, over
    // the uncounted record.
    ASSERT_TRUE(WriteLinkValue("new", "v", path_));
    EXPECT_EQ(CountOf(Record(1)), 3);
    EXPECT_EQ(Record(4).substr(0, 15), Pad("NEW", 15));
    EXPECT_EQ(Bytes().size(), 4u * 128);
}

TEST_F(LinkFileTest, ForeignFieldsAndRecordsStayByteForByte) {
    const auto header = LinkRecord::Header(3).Encode();
    std::string headerBytes(reinterpret_cast<const char*>(header.data()), 128);
    headerBytes.replace(30, 10, "APPLI v7.2");  // the application's own header bytes
    const std::string theirs1 = ForeignRecord("THEIR_KEY      ", Pad("their value", 40), 17);
    const std::string mine = ForeignRecord("SAVAUT55       ", Pad("1", 40), 0);
    const std::string theirs2 = ForeignRecord("OTHER          ", Pad("x", 40), -5);
    SetBytes(headerBytes + theirs1 + mine + theirs2);

    ASSERT_TRUE(WriteLinkValue("SAVAUT55", " ", path_));
    ASSERT_TRUE(WriteLinkValue("Dern:SAV:MAN", "now", path_));

    const std::string after = Bytes();
    ASSERT_EQ(after.size(), 5u * 128);
    // Header: only the count changed.
    std::string expectedHeader = headerBytes;
    expectedHeader.replace(124, 4, std::string("\x04\0\0\0", 4));
    EXPECT_EQ(after.substr(0, 128), expectedHeader);
    EXPECT_EQ(after.substr(128, 128), theirs1);
    EXPECT_EQ(after.substr(384, 128), theirs2);
    // The updated record: only its value field changed.
    std::string expectedMine = mine;
    expectedMine.replace(23, 40, std::string(40, ' '));
    EXPECT_EQ(after.substr(256, 128), expectedMine);
    // The new record: key, value, the rest blank, count 0.
    const std::string added = after.substr(512, 128);
    EXPECT_EQ(added.substr(0, 15), Pad("DERN:SAV:MAN", 15));
    EXPECT_EQ(added.substr(15, 8), std::string(8, ' '));
    EXPECT_EQ(added.substr(23, 40), Pad("now", 40));
    EXPECT_EQ(added.substr(63, 61), std::string(61, ' '));
    EXPECT_EQ(CountOf(added), 0);
}

TEST_F(LinkFileTest, NonHeaderFirstRecordReinitialisesWithoutTrustingItsCount) {
    // Record 1 is somebody else's data and its count bytes are four spaces
    // (0x20202020, over 538 million): it must not be taken as a record number.
    std::string first = ForeignRecord("NOT A HEADER   ", Pad("v", 40), 0);
    first.replace(124, 4, "    ");
    const std::string second = ForeignRecord("OLDKEY         ", Pad("old", 40), 0);
    const std::string third = ForeignRecord("THIRD          ", Pad("kept", 40), 0);
    SetBytes(first + second + third);

    EXPECT_EQ(ReadLinkValue("OLDKEY", path_), "");
    const std::string after = Bytes();
    ASSERT_EQ(after.size(), 3u * 128);
    EXPECT_EQ(after.substr(0, 15), Pad("#INIT#", 15));
    EXPECT_EQ(CountOf(after.substr(0, 128)), 0);
    EXPECT_EQ(after.substr(128, 124), std::string(124, ' '));
    EXPECT_EQ(after.substr(256, 128), third);

    ASSERT_TRUE(WriteLinkValue("OLDKEY", "new", path_));
    EXPECT_EQ(CountOf(Record(1)), 1);
    EXPECT_EQ(Bytes().size(), 3u * 128);
    EXPECT_EQ(ReadLinkValue("OLDKEY", path_), Pad("new", 40));
}

TEST_F(LinkFileTest, ShortOrEmptyFileIsReinitialised) {
    SetBytes("#INIT#");  // a header cut short
    EXPECT_EQ(ReadLinkValue("X", path_), "");
    EXPECT_EQ(Bytes().size(), 256u);
    EXPECT_EQ(Record(1).substr(0, 6), "#INIT#");
    SetBytes("");
    ASSERT_TRUE(WriteLinkValue("X", "y", path_));
    EXPECT_EQ(ReadLinkValue("X", path_), Pad("y", 40));
    EXPECT_EQ(Bytes().size(), 256u);
}

TEST_F(LinkFileTest, TruncatedLastRecordNeitherCountsNorDamagesTheOthers) {
    const auto header = LinkRecord::Header(3).Encode();
    const std::string a = ForeignRecord("A              ", Pad("1", 40), 0);
    const std::string b = ForeignRecord("B              ", Pad("2", 40), 0);
    const std::string torn = ForeignRecord("C              ", Pad("3", 40), 0).substr(0, 50);
    SetBytes(std::string(reinterpret_cast<const char*>(header.data()), 128) + a + b + torn);

    EXPECT_EQ(ReadLinkValue("B", path_), Pad("2", 40));
    EXPECT_EQ(ReadLinkValue("C", path_), "");  // the torn record is not searched
    ASSERT_TRUE(WriteLinkValue("D", "4", path_));
    const std::string after = Bytes();
    ASSERT_EQ(after.size(), 4u * 128);
    EXPECT_EQ(CountOf(after.substr(0, 128)), 3);
    EXPECT_EQ(after.substr(128, 128), a);
    EXPECT_EQ(after.substr(256, 128), b);
    EXPECT_EQ(after.substr(384, 15), Pad("D", 15));
    EXPECT_EQ(ReadLinkValue("D", path_), Pad("4", 40));

    // A negative count is taken as no records at all.
    auto negative = LinkRecord::Header(-1).Encode();
    std::string bytes = Bytes();
    bytes.replace(0, 128, reinterpret_cast<const char*>(negative.data()), 128);
    SetBytes(bytes);
    EXPECT_EQ(ReadLinkValue("A", path_), "");
}

TEST_F(LinkFileTest, UnusableFileGivesEmptyTextAndFalse) {
    const std::string missingDir = dir_ + "/no/such/folder/W_intlog.wdo";
    EXPECT_EQ(ReadLinkValue("X", missingDir), "");
    EXPECT_FALSE(WriteLinkValue("X", "y", missingDir));
    LinkStore store(missingDir);
    EXPECT_EQ(store.Open(), LinkError::Open);
}

TEST_F(LinkFileTest, FullFileRefusesAnotherRecord) {
    // 32767 data records; the count field cannot go further.
    const auto header = LinkRecord::Header(LinkStore::kMaxDataRecords).Encode();
    {
        std::ofstream out(path_, std::ios::binary);
        out.write(reinterpret_cast<const char*>(header.data()), 128);
        const auto blank = LinkRecord().Encode();
        for (int i = 0; i < LinkStore::kMaxDataRecords; ++i) {
            out.write(reinterpret_cast<const char*>(blank.data()), 128);
        }
    }
    EXPECT_FALSE(WriteLinkValue("ONE MORE", "x", path_));
    EXPECT_EQ(CountOf(Record(1)), LinkStore::kMaxDataRecords);
    // A blank key still finds the first blank record.
    EXPECT_TRUE(WriteLinkValue("", "x", path_));
    EXPECT_EQ(Record(2).substr(23, 1), "x");
}

// Writes, under the same advisory lock this program takes, a record of the
// linked application and a change to one of its unused fields, while the
// parent is waiting for the lock.
TEST_F(LinkFileTest, SecondProcessHoldingTheLockWritesBetweenTwoOperations) {
    ASSERT_TRUE(WriteLinkValue("ALPHA", "1", path_));

    int toParent[2];
    ASSERT_EQ(pipe(toParent), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(toParent[0]);
        const int fd = open(path_.c_str(), O_RDWR);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        if (fd < 0 || fcntl(fd, F_SETLKW, &lock) != 0) _exit(2);
        if (write(toParent[1], "L", 1) != 1) _exit(3);
        usleep(300 * 1000);
        // The linked application appends its own record and marks ALPHA.
        const std::string theirs = ForeignRecord("THEIRS         ", Pad("theirs", 40), 0);
        const int32_t two = 2;
        if (pwrite(fd, theirs.data(), 128, 2 * 128) != 128) _exit(4);
        if (pwrite(fd, &two, 4, 124) != 4) _exit(5);
        if (pwrite(fd, "MARK", 4, 128 + 64) != 4) _exit(6);
        close(fd);  // releases the lock
        _exit(0);
    }
    close(toParent[1]);
    char signal = 0;
    ASSERT_EQ(read(toParent[0], &signal, 1), 1);
    close(toParent[0]);

    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(WriteLinkValue("BETA", "2", path_));  // waits for the child's lock
    const auto waited = std::chrono::steady_clock::now() - start;
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_GE(waited, std::chrono::milliseconds(200));

    EXPECT_EQ(CountOf(Record(1)), 3);
    EXPECT_EQ(Record(3), ForeignRecord("THEIRS         ", Pad("theirs", 40), 0));
    EXPECT_EQ(Record(2).substr(64, 4), "MARK");
    EXPECT_EQ(Record(4).substr(0, 15), Pad("BETA", 15));
    EXPECT_EQ(ReadLinkValue("ALPHA", path_), Pad("1", 40));
    EXPECT_EQ(ReadLinkValue("BETA", path_), Pad("2", 40));
}

TEST_F(LinkFileTest, TwoProcessesAppendingAtOnceLoseNothing) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (int i = 0; i < 40; ++i) {
            if (!WriteLinkValue("CHILD" + std::to_string(i), std::to_string(i), path_)) _exit(1);
        }
        _exit(0);
    }
    for (int i = 0; i < 40; ++i) {
        ASSERT_TRUE(WriteLinkValue("PARENT" + std::to_string(i), std::to_string(i), path_));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(CountOf(Record(1)), 80);
    EXPECT_EQ(Bytes().size(), 81u * 128);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(ReadLinkValue("CHILD" + std::to_string(i), path_), Pad(std::to_string(i), 40));
        EXPECT_EQ(ReadLinkValue("PARENT" + std::to_string(i), path_), Pad(std::to_string(i), 40));
    }
}

}  // namespace
}  // namespace kuv
