// Adding files with the compression workers: the archive's bytes do not
// depend on the number of workers nor on the method (list or streaming),
// every reader accepts them, and the engine's events still come in file
// order, between the additions of the members around them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "WriterTestSupport.h"
#include "zip/clsZip.h"

using namespace writertest;

namespace {

class WriterParallelTest : public ScratchTest {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        // Sizes around the one-call limit (1 MiB) and the slice borders.
        std::string text;
        for (unsigned i = 0; text.size() < 2400000; ++i)
            text += "ligne " + std::to_string(i * 2654435761u % 100003u) + " du fichier de sauvegarde\n";
        std::string noisy;
        std::uint32_t x = 12345;
        for (unsigned i = 0; i < 2300000; ++i) {
            x = x * 1103515245u + 12345u;
            noisy += static_cast<char>((x >> 16) % 7 == 0 ? (x >> 8) & 0xFF : 'a' + (x >> 20) % 4);
        }
        Make("data/empty", "");
        Make("data/one", "z");
        Make("data/small.txt", text.substr(0, 40000));
        Make("data/mib.txt", text.substr(0, 1 << 20));
        Make("data/mib1.txt", text.substr(0, (1 << 20) + 1));
        Make("data/sub/twomib.bin", noisy.substr(0, 2 << 20));
        Make("data/sub/long.txt", text);
        Make("data/sub/noisy.bin", noisy);
    }

    std::string Build(unsigned workers, bool stream, bool excludeCRC32, const std::string& name) {
        clsZip zip;
        EventLog l;
        l.Attach(zip);
        zip.SetWorkerCount(workers);
        if (stream) {
            std::int32_t h = zip.CreateZip(P(name), false);
            EXPECT_NE(h, 0);
            EXPECT_EQ(zip.ybFileAdd(P("data/*.*"), 2, h, true, excludeCRC32), 8) << l.All();
            EXPECT_TRUE(zip.WriteEndZip(h)) << l.All();
        } else {
            EXPECT_EQ(zip.FileAdd(P("data/*.*"), 2, true, excludeCRC32), 8) << l.All();
            EXPECT_TRUE(zip.WriteZip(P(name), false)) << l.All();
        }
        EXPECT_TRUE(l.lines.empty()) << l.All();
        return Slurp(P(name));
    }
};

}  // namespace

TEST_F(WriterParallelTest, TheSameFilesGiveTheSameBytesOnAnyNumberOfWorkersAndEitherMethod) {
    ASSERT_EQ(chdir(dir.c_str()), 0);
    for (const bool excludeCRC32 : {false, true}) {
        const std::string suffix = excludeCRC32 ? "-nocrc.zip" : ".zip";
        const std::string reference = Build(1, false, excludeCRC32, "reference" + suffix);
        const ReadArchive a = ParseArchive(reference);
        ASSERT_TRUE(a.ok);
        ASSERT_EQ(a.members.size(), 8u);
        for (const ReadMember& m : a.members) {
            EXPECT_EQ(m.method, m.uncompressedSize == 0 ? 0 : 8) << m.name;
            if (excludeCRC32) {
                EXPECT_EQ(m.crc, 0u) << m.name;
            }
        }
        for (const unsigned workers : {1u, 2u, 16u}) {
            for (const bool stream : {false, true}) {
                const std::string name = (stream ? "s" : "l") + std::to_string(workers) + suffix;
                EXPECT_EQ(Build(workers, stream, excludeCRC32, name), reference) << name;
            }
        }
    }
    // Every reader finds the data as it was (with its CRC).
    EXPECT_EQ(RunShell("unzip -tq reference.zip").status, 0);
    if (HaveProgram("7z")) {
        EXPECT_EQ(RunShell("7z t reference.zip >/dev/null").status, 0);
    }
    if (HaveProgram("python3")) {
        EXPECT_EQ(RunShell("python3 -c 'import sys,zipfile\n"
                           "z=zipfile.ZipFile(\"reference.zip\")\n"
                           "assert z.testzip() is None\n"
                           "for n in z.namelist():\n"
                           "    assert z.read(n)==open(n.replace(\"\\\\\",\"/\"),\"rb\").read(),n\n'")
                      .status,
                  0);
    }
    clsZip reader;
    EventLog rl;
    rl.Attach(reader);
    ASSERT_TRUE(reader.ZipOpen(P("reference.zip"))) << rl.All();
    EXPECT_TRUE(reader.TestAllFiles()) << rl.All();
    EXPECT_EQ(reader.inFileCount(), 8);
    reader.ZipClose();
}

TEST_F(WriterParallelTest, EventsComeInFileOrderAndRefusalsKeepTheirNumbers) {
    Make("set/a.txt", "premier");
    Make("set/b\\c.txt", "barre oblique inverse");
    Make("set/c.txt", "disparu");
    Make("set/d.txt", std::string(1500000, 'd'));
    Make("set/sub/a.txt", "même nom");
    for (const bool stream : {false, true}) {
        clsZip zip;
        EventLog l;
        l.Attach(zip);
        zip.SetWorkerCount(2);
        // Each event notes how many members were there when it came: the
        // files before it in the walk, no more, no less.
        std::vector<std::int32_t> countAt;
        zip.Events.FileZipErr = [&](const std::string& p, std::int32_t n, const std::string& d) {
            l.lines.push_back("FileZipErr " + std::to_string(n) + ": " + d + " [" + p + "]");
            countAt.push_back(zip.FileCount());
        };
        // c.txt goes away while the add runs (after the walk has seen it, or
        // before: the engine reports it alike).
        int calls = 0;
        zip.Events.DoEvents = [&] {
            if (++calls == 3) std::remove(P("set/c.txt").c_str());
        };
        const std::string name = P(stream ? "s.zip" : "l.zip");
        std::int32_t h = stream ? zip.CreateZip(name, false) : 0;
        const std::int32_t added = stream ? zip.ybFileAdd(P("set/*.*"), 0, h, true, false)
                                          : zip.FileAdd(P("set/*.*"), 0, true, false);
        EXPECT_EQ(added, 2) << l.All();
        ASSERT_EQ(l.lines.size(), 3u) << l.All();
        EXPECT_EQ(l.lines[0], "FileZipErr 22: Nom de fichier avec une barre oblique inverse, le fichier a été exclus du traitement [" +
                                P("set/b\\c.txt") + "]")
            << l.All();
        EXPECT_NE(l.lines[1].find("[" + P("set/c.txt") + "]"), std::string::npos) << l.All();
        EXPECT_EQ(l.lines[1].rfind("FileZipErr 53:", 0), 0u) << l.All();
        EXPECT_EQ(l.lines[2], "FileZipErr 11: Nom en double dans l'archive, le fichier a été exclu du traitement [" +
                                P("set/sub/a.txt") + "]")
            << l.All();
        EXPECT_EQ(countAt, (std::vector<std::int32_t> {1, 1, 2})) << l.All();
        EXPECT_TRUE(stream ? zip.WriteEndZip(h) : zip.WriteZip(name, false));
        EXPECT_EQ(RunShell("unzip -tq " + Quote(name)).status, 0);
        const ReadArchive a = ParseArchive(Slurp(name));
        ASSERT_TRUE(a.ok);
        ASSERT_EQ(a.members.size(), 2u);
        EXPECT_EQ(a.members[0].name, "a.txt");
        EXPECT_EQ(a.members[1].name, "d.txt");
        Make("set/c.txt", "disparu");
    }
}
