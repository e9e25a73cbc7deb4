// The engine's own reader takes back what its writer wrote: names (OEM table
// and UTF-8), empty files, stored-from-disk members, the comment.
#include <gtest/gtest.h>

#include "WriterTestSupport.h"
#include "zip/clsZip.h"

using namespace writertest;

namespace {

class WriterReadBackTest : public ScratchTest {};

}  // namespace

TEST_F(WriterReadBackTest, ReaderListsTestsAndExtractsWhatTheWriterWrote) {
    std::string big;
    for (unsigned i = 0; i < 600000; ++i) big += static_cast<char>('a' + (i * 31u) % 26u);
    Make("src/vide.txt", "");
    Make("src/été.txt", "accents");
    Make("src/Œuvre €.txt", "UTF-8");
    Make("src/grand.dat", big);
    SetLocalMTime(P("src/été.txt"), 2023, 7, 14, 9, 30, 58);
    clsZip writer;
    EventLog wl;
    wl.Attach(writer);
    ASSERT_EQ(writer.FileAdd(P("src/*.*")), 4) << wl.All();
    writer.SetComment("Sauvegarde à tester");
    ASSERT_TRUE(writer.WriteZip(P("back.zip"), false)) << wl.All();

    clsZip reader;
    EventLog rl;
    rl.Attach(reader);
    ASSERT_TRUE(reader.ZipOpen(P("back.zip"))) << rl.All();
    ASSERT_EQ(reader.inFileCount(), 4);
    EXPECT_EQ(reader.inFileName(1), "grand.dat");
    EXPECT_EQ(reader.inFileName(2), "vide.txt");
    EXPECT_EQ(reader.inFileName(3), "été.txt");
    EXPECT_EQ(reader.inFileName(4), "Œuvre €.txt");
    EXPECT_EQ(reader.FileUncompressedSize(1), 600000);
    EXPECT_EQ(reader.FileUncompressedSize(2), 0);
    EXPECT_EQ(reader.ZipComment(), "Sauvegarde à tester");
    const kuv::platform::LocalDateTime dt = reader.FileDateAndTime(3);
    EXPECT_EQ(dt.year, 2023);
    EXPECT_EQ(dt.minute, 30);
    EXPECT_EQ(dt.second, 58);
    EXPECT_TRUE(reader.TestAllFiles()) << rl.All();
    std::filesystem::create_directories(P("out"));
    EXPECT_TRUE(reader.ExtractAllFiles(P("out"), false, true, true)) << rl.All();
    reader.ZipClose();
    EXPECT_EQ(Slurp(P("out/vide.txt")), "");
    EXPECT_EQ(Slurp(P("out/été.txt")), "accents");
    EXPECT_EQ(Slurp(P("out/Œuvre €.txt")), "UTF-8");
    EXPECT_EQ(Slurp(P("out/grand.dat")), big);
    EXPECT_EQ(access(P("out/vide.txt").c_str(), F_OK), 0);
}

// A name may end with any bytes but NUL, so the last member's name (or its
// Unicode Path field) can end with a Zip64 locator's signature and sixteen
// bytes just before the end record. With no Zip64 end record behind it the
// end record stands by itself: the archive opens, here as with unzip, bsdtar
// and 7-Zip (Python's zipfile alone refuses it, taking the locator's disk).
TEST_F(WriterReadBackTest, ANameEndingLikeAZip64LocatorDoesNotHideTheArchive) {
    const std::string locatorLike = std::string("PK\x06\x07", 4) + std::string(16, '\x01');
    const std::vector<std::string> names = {"a" + locatorLike, "é" + locatorLike};
    for (const std::string& name : names) {
        for (const bool streaming : {false, true}) {
            SCOPED_TRACE(name.substr(0, 2) + (streaming ? " streaming" : " list"));
            std::filesystem::remove_all(P("src"));
            std::filesystem::remove_all(P("out"));
            Make("src/" + name, "contenu");
            const std::string archive = P(streaming ? "flux.zip" : "liste.zip");
            std::filesystem::remove(archive);
            clsZip writer;
            EventLog wl;
            wl.Attach(writer);
            if (streaming) {
                std::int32_t h = writer.CreateZip(archive, false);
                ASSERT_GT(h, 0) << wl.All();
                ASSERT_EQ(writer.ybFileAdd(P("src/" + name), 0, h), 1) << wl.All();
                ASSERT_TRUE(writer.WriteEndZip(h)) << wl.All();
            } else {
                ASSERT_EQ(writer.FileAdd(P("src/" + name)), 1) << wl.All();
                ASSERT_TRUE(writer.WriteZip(archive, false)) << wl.All();
            }
            const std::string bytes = Slurp(archive);
            ASSERT_EQ(bytes.substr(bytes.size() - 42, 20), locatorLike) << "the case this test is about";

            clsZip reader;
            EventLog rl;
            rl.Attach(reader);
            ASSERT_TRUE(reader.ZipOpen(archive)) << rl.All();
            ASSERT_EQ(reader.inFileCount(), 1);
            EXPECT_EQ(reader.inFileName(1), name);
            EXPECT_TRUE(reader.TestAllFiles()) << rl.All();
            std::filesystem::create_directories(P("out"));
            EXPECT_TRUE(reader.ExtractAllFiles(P("out"), false, true, true)) << rl.All();
            reader.ZipClose();
            EXPECT_EQ(Slurp(P("out/" + name)), "contenu");
            if (std::system("command -v unzip >/dev/null 2>&1") == 0) {
                EXPECT_EQ(std::system(("unzip -tqq '" + archive + "' >/dev/null 2>&1").c_str()), 0);
            }
        }
    }
}
