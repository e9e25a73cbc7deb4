// The streaming method and the handles the in-place update writes through:
// byte-identical output with the list method, failures that leave no file,
// and the stored-from-disk fallback.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "WriterTestSupport.h"
#include "zip/ArchiveWriter.h"
#include "zip/WriterState.h"
#include "zip/ZlibBinding.h"
#include "zip/clsZip.h"

using namespace writertest;

namespace {

class WriterStreamTest : public ScratchTest {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        Make("data/alpha.txt", std::string(70000, 'x') + "tail");
        std::string mixed;
        for (unsigned i = 0; i < 300000; ++i) mixed += static_cast<char>((i * 7919u) % 251u);
        Make("data/big/mixed.bin", mixed);  // more than one compression chunk
        Make("data/big/é.txt", "accent");
        Make("data/empty", "");
        Make("data/Ñ.txt", "utf8");
    }
    std::string BuildList(const std::string& name) {
        clsZip zip;
        EventLog l;
        l.Attach(zip);
        zip.SetComment("commentaire");
        zip.FileAdd(P("data/*.*"), 2, true, false);
        EXPECT_TRUE(zip.WriteZip(P(name), false)) << l.All();
        return Slurp(P(name));
    }
    std::string BuildStream(const std::string& name) {
        clsZip zip;
        EventLog l;
        l.Attach(zip);
        std::int32_t h = zip.CreateZip(P(name), false);
        EXPECT_NE(h, 0);
        EXPECT_EQ(zip.ybFileAdd(P("data/*.*"), 2, h, true, false), 5) << l.All();
        EXPECT_EQ(zip.FileCount(), 5);  // the records wait for WriteEndZip
        zip.SetComment("commentaire");
        EXPECT_TRUE(zip.WriteEndZip(h)) << l.All();
        EXPECT_EQ(zip.FileCount(), 0);
        return Slurp(P(name));
    }
};

}  // namespace

TEST_F(WriterStreamTest, BothMethodsGiveTheSameBytes) {
    ASSERT_EQ(chdir(dir.c_str()), 0);
    const std::string list = BuildList("list.zip");
    const std::string stream = BuildStream("stream.zip");
    EXPECT_EQ(list, stream);
    const ReadArchive a = ParseArchive(list);
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(a.entries, 5);
    EXPECT_EQ(a.comment, "commentaire");
    EXPECT_EQ(a.members[0].name, "data\\alpha.txt");
    EXPECT_EQ(RunShell("unzip -tq " + Quote(P("stream.zip"))).status, 0);
}

TEST_F(WriterStreamTest, CreateZipRefusesAnExistingArchiveAndWritesUnderATemporaryName) {
    Make("old.zip", "previous");
    clsZip zip;
    EventLog l;
    l.Attach(zip);
    EXPECT_EQ(zip.CreateZip(P("old.zip"), false), 0);
    EXPECT_TRUE(l.Has("FileZipErr 11: Création -No Overwrite- du Zip abandonnée car le fichier existe déjà [" +
                      P("old.zip") + "]"));
    std::int32_t h = zip.CreateZip(P("old.zip"), true);
    ASSERT_NE(h, 0);
    EXPECT_EQ(zip.ybFileAdd(P("data/alpha.txt"), 0, h), 1);
    EXPECT_EQ(Slurp(P("old.zip")), "previous");  // untouched until the archive is complete
    EXPECT_TRUE(zip.WriteEndZip(h));
    EXPECT_EQ(h, 0);
    EXPECT_EQ(RunShell("unzip -tq " + Quote(P("old.zip"))).status, 0);
    EXPECT_EQ(RunShell("ls -A " + Quote(dir)).out, "data\nold.zip\n");
}

TEST_F(WriterStreamTest, ArchiveWrittenInsideTheWalkedFolderIsNotItsOwnMember) {
    clsZip zip;
    EventLog l;
    l.Attach(zip);
    std::int32_t h = zip.CreateZip(P("data/self.zip"), false);
    ASSERT_NE(h, 0);
    EXPECT_EQ(zip.ybFileAdd(P("data/*.*"), 0, h, false, false), 3) << l.All();
    ASSERT_TRUE(zip.WriteEndZip(h));
    const ReadArchive a = ParseArchive(Slurp(P("data/self.zip")));
    ASSERT_TRUE(a.ok);
    ASSERT_EQ(a.members.size(), 3u);
    EXPECT_EQ(a.members[2].name, "Ñ.txt");
    EXPECT_EQ(zip.CreateZip(P("no/such/folder/x.zip"), true), 0);
    EXPECT_TRUE(l.Has("WriteFailed: Clé pleine ou absente !")) << l.All();
}

TEST_F(WriterStreamTest, UnfinishedStreamLeavesNothingWhenTheInstanceEnds) {
    {
        clsZip zip;
        std::int32_t h = zip.CreateZip(P("never.zip"), false);
        ASSERT_NE(h, 0);
        EXPECT_EQ(zip.ybFileAdd(P("data/alpha.txt"), 0, h), 1);
    }
    EXPECT_EQ(RunShell("ls -A " + Quote(dir)).out, "data\n");
}

TEST_F(WriterStreamTest, StreamPastTheLimitFailsAndLeavesNoFile) {
    Make("old.zip", "previous");
    clsZip zip;
    EventLog l;
    l.Attach(zip);
    RunShell("mkdir -p " + Quote(P("random")) + " && head -c 60000 /dev/urandom > " + Quote(P("random/1")) +
             " && head -c 60000 /dev/urandom > " + Quote(P("random/2")));
    zip.SetSizeLimit(100000);  // each file fits, the archive does not
    std::int32_t h = zip.CreateZip(P("old.zip"), true);
    ASSERT_NE(h, 0);
    EXPECT_EQ(zip.ybFileAdd(P("random/*.*"), 0, h, true, false), 1);
    EXPECT_FALSE(zip.WriteEndZip(h));
    EXPECT_TRUE(l.Has("WriteFailed: Clé pleine ou absente !")) << l.All();
    EXPECT_EQ(Slurp(P("old.zip")), "previous");
    EXPECT_EQ(RunShell("ls -A " + Quote(dir)).out, "data\nold.zip\nrandom\n");
    std::int32_t stale = 12345;
    EXPECT_EQ(zip.ybFileAdd(P("data/alpha.txt"), 0, stale), 0);  // an unknown handle adds nothing
    EXPECT_FALSE(zip.WriteEndZip(stale));
}

TEST_F(WriterStreamTest, UnreadableMemberInTheStreamIsLeftOut) {
    ASSERT_EQ(symlink(P("nowhere").c_str(), P("data/dangling").c_str()), 0);
    clsZip zip;
    EventLog l;
    l.Attach(zip);
    std::int32_t h = zip.CreateZip(P("s.zip"), false);
    EXPECT_EQ(zip.ybFileAdd(P("data/alpha.txt"), 0, h), 1);
    EXPECT_EQ(zip.ybFileAdd(P("data/nope.txt"), 0, h), 0);
    EXPECT_EQ(zip.ybFileAdd(P("data/empty"), 0, h), 1);
    ASSERT_TRUE(zip.WriteEndZip(h));
    const ReadArchive a = ParseArchive(Slurp(P("s.zip")));
    ASSERT_TRUE(a.ok);
    ASSERT_EQ(a.entries, 2);
    EXPECT_EQ(RunShell("unzip -tq " + Quote(P("s.zip"))).status, 0);
}

TEST_F(WriterStreamTest, ListMembersAddedDuringAStreamAreWrittenByWriteEndZip) {
    clsZip zip;
    std::int32_t h = zip.CreateZip(P("mix.zip"), false);
    EXPECT_EQ(zip.ybFileAdd(P("data/alpha.txt"), 0, h), 1);
    EXPECT_EQ(zip.FileAdd(P("data/Ñ.txt")), 1);
    ASSERT_TRUE(zip.WriteEndZip(h));
    const CommandResult r = RunShell("python3 -c 'import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); "
                                "print(z.testzip(), z.namelist())' " + Quote(P("mix.zip")));
    EXPECT_EQ(r.out, "None ['alpha.txt', 'Ñ.txt']\n") << r.err;
}

TEST_F(WriterStreamTest, StoredFromDiskWhenTheSpoolCannotBeMade) {
    const char* saved = std::getenv("TMPDIR");
    const std::string keep = saved ? saved : "";
    setenv("TMPDIR", P("no-such-temp").c_str(), 1);
    clsZip zip;
    EventLog l;
    l.Attach(zip);
    EXPECT_EQ(zip.FileAdd(P("data/alpha.txt")), 1);
    EXPECT_EQ(zip.FileAdd(P("data/Ñ.txt")), 1);
    if (saved) setenv("TMPDIR", keep.c_str(), 1);
    else unsetenv("TMPDIR");
    EXPECT_TRUE(l.Has("FileZipErr 7: Fichier trop important pour être compressé, le fichier a été empacté dans le "
                      "fichier final mais sans compression ! [" +
                      P("data/alpha.txt") + "]"))
        << l.All();
    EXPECT_EQ(zip.SizeCompressed(1), 70004);
    // The second source vanishes before the archive is written: it is left out.
    ASSERT_EQ(unlink(P("data/Ñ.txt").c_str()), 0);
    ASSERT_TRUE(zip.WriteZip(P("stored.zip"), false));
    EXPECT_TRUE(l.Has("ZipError 16: Le fichier " + P("data/Ñ.txt") + " n'est pas ou plus accessible !")) << l.All();
    const ReadArchive a = ParseArchive(Slurp(P("stored.zip")));
    ASSERT_TRUE(a.ok);
    ASSERT_EQ(a.entries, 1);
    EXPECT_EQ(a.members[0].method, 0);
    EXPECT_EQ(a.members[0].compressedSize, 70004u);
    EXPECT_EQ(RunShell("unzip -tq " + Quote(P("stored.zip"))).status, 0);
}

TEST_F(WriterStreamTest, HandleOnTheInPlaceUpdatesCursor) {
    // A work file that already holds 1000 bytes; the caller's cursor stands
    // at 600: new local entries go there, the caller's own bytes after them,
    // then the new central entries, all through the one cursor.
    const std::string work = P("work.bin");
    WriteFile(work, std::string(1000, '#'));
    const int fd = open(work.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    clsZip zip;
    kuv::zip::WriterState& writer = kuv::zip::WriterState::Of(zip);
    {
        kuv::zip::ArchiveOutput out(fd, 600, 0x7FFFFFFF, false);
        const std::int32_t h = writer.OpenStreamOnOutput(out);
        ASSERT_NE(h, 0);
        std::int32_t handle = h;
        EXPECT_EQ(zip.ybFileAdd(P("data/big/*.*"), 0, handle), 2);
        const std::uint64_t end = out.Position();
        EXPECT_FALSE(writer.StreamFailed(h));
        ASSERT_TRUE(out.Write(std::string("OLD-DIRECTORY")));
        std::uint64_t bytes = 0;
        std::int32_t count = 0;
        ASSERT_TRUE(writer.WriteStreamCentral(h, out.Position(), bytes, count));
        EXPECT_EQ(count, 2);
        // "é.txt" through the OEM table (5 bytes) with its Unicode Path field
        // (9 bytes and the 6 of the UTF-8 name).
        EXPECT_EQ(bytes, 2 * 46u + std::string("mixed.bin").size() + 5u + 9u + 6u);
        writer.ReleaseStream(h);
        EXPECT_EQ(zip.FileCount(), 0);
        ASSERT_TRUE(out.Flush());
        const std::string b = Slurp(work);
        EXPECT_EQ(b.substr(0, 600), std::string(600, '#'));
        EXPECT_EQ(U32(b, 600), 0x04034b50u);
        EXPECT_EQ(b.substr(end, 13), "OLD-DIRECTORY");
        const size_t c = end + 13;
        EXPECT_EQ(U32(b, c), 0x02014b50u);
        EXPECT_EQ(U32(b, c + 42), 600u);  // absolute offset of the first local header
        EXPECT_EQ(b.substr(c + 46, 9), "mixed.bin");
    }
    EXPECT_NE(fcntl(fd, F_GETFD), -1) << "the writer never closes the caller's file";
    close(fd);
}

namespace {

// zlib as a machine short of memory, or with a broken library, would be.
int DeflateInitNoMemory(z_streamp, int, int, int, int, int, const char*, int) { return Z_MEM_ERROR; }
int DeflateBroken(z_streamp, int) { return Z_STREAM_ERROR; }

}  // namespace

TEST_F(WriterStreamTest, ZlibWithoutMemoryStoresAndABrokenZlibExcludes) {
    kuv::zip::ZlibApi noMemory = *kuv::zip::LinkedZlib();
    noMemory.deflateInit2_ = &DeflateInitNoMemory;
    // Over one slice: a member this large goes through zlib (a smaller one
    // is compressed in one call of the faster library).
    const std::string large = std::string(1500000, 'x') + "tail";
    Make("data/large.txt", large);
    const std::string stored7 =
        "FileZipErr 7: Fichier trop important pour être compressé, le fichier a été empacté dans le fichier final "
        "mais sans compression ! [" + P("data/large.txt") + "]";
    clsZip list;
    EventLog ll;
    ll.Attach(list);
    list.SetZlibApi(&noMemory);
    EXPECT_EQ(list.FileAdd(P("data/large.txt"), 0, false, true), 1);
    EXPECT_TRUE(ll.Has(stored7)) << ll.All();
    ASSERT_TRUE(list.WriteZip(P("l.zip"), false));
    clsZip stream;
    EventLog sl;
    sl.Attach(stream);
    stream.SetZlibApi(&noMemory);
    std::int32_t h = stream.CreateZip(P("s.zip"), false);
    EXPECT_EQ(stream.ybFileAdd(P("data/large.txt"), 0, h, false, true), 1);
    EXPECT_TRUE(sl.Has(stored7)) << sl.All();
    ASSERT_TRUE(stream.WriteEndZip(h));
    const std::string bytes = Slurp(P("l.zip"));
    EXPECT_EQ(bytes, Slurp(P("s.zip")));
    const ReadArchive a = ParseArchive(bytes);
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(a.members[0].method, 0);
    EXPECT_EQ(a.members[0].compressedSize, large.size());
    EXPECT_EQ(RunShell("unzip -tq " + Quote(P("l.zip"))).status, 0);

    // A broken deflate, at level 0 where zlib itself writes the slices (at
    // the other levels libdeflate compresses them).
    kuv::zip::ZlibApi broken = *kuv::zip::LinkedZlib();
    broken.deflate = &DeflateBroken;
    for (int method = 0; method < 2; ++method) {
        clsZip zip;
        EventLog l;
        l.Attach(zip);
        zip.SetZlibApi(&broken);
        zip.SetLevelCompression(0);
        const std::string name = P(method ? "bs.zip" : "bl.zip");
        std::int32_t hb = method ? zip.CreateZip(name, false) : 0;
        const std::int32_t added = method ? zip.ybFileAdd(P("data/large.txt"), 0, hb) : zip.FileAdd(P("data/large.txt"));
        EXPECT_EQ(added, 0);
        EXPECT_TRUE(l.Has("FileZipErr 17: Erreur non testée, le fichier a été exclus du traitement [" +
                          P("data/large.txt") + "]"))
            << l.All();
        EXPECT_TRUE(method ? zip.WriteEndZip(hb) : zip.WriteZip(name, false));
        EXPECT_EQ(Slurp(name).size(), 22u);  // an empty archive
    }
}
