// The list method: which files FileAdd takes and under which names, the
// member list's accessors, WriteZip's refusals, and the per-file exclusions.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <stdexcept>

#include "WriterTestSupport.h"
#include "platform/Files.h"
#include "zip/ZlibBinding.h"
#include "zip/clsZip.h"

using namespace writertest;

namespace {

using NameList = std::vector<std::string>;

class WriterListTest : public ScratchTest {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        log.Attach(zip);
    }
    std::vector<std::string> Names() {
        std::vector<std::string> n;
        for (int i = 1; i <= zip.FileCount(); ++i) n.push_back(zip.FileName(i));
        return n;
    }
    clsZip zip;
    EventLog log;
};

}  // namespace

TEST_F(WriterListTest, WildcardWalkWithSubFoldersInCaseInsensitiveOrder) {
    Make("data/b.txt", "b");
    Make("data/A.txt", "a");
    Make("data/.hidden", "h");
    Make("data/noext", "n");
    Make("data/sub/c.txt", "c");
    Make("data/sub/deeper/d.doc", "d");
    Make("data/Other/e.txt", "e");
    EXPECT_EQ(zip.FileAdd(P("data/*.*"), 0, true, false), 7) << log.All();
    EXPECT_EQ(Names(), (NameList {".hidden", "A.txt", "b.txt", "noext", "e.txt", "c.txt", "d.doc"}));
    EXPECT_TRUE(log.lines.empty()) << log.All();
}

TEST_F(WriterListTest, WildcardWalkWithoutSubFolders) {
    Make("data/a.txt", "a");
    Make("data/sub/c.txt", "c");
    EXPECT_EQ(zip.FileAdd(P("data/*.*"), 0, false, false), 1);
    EXPECT_EQ(Names(), (NameList {"a.txt"}));
}

TEST_F(WriterListTest, FilterFindsSubFoldersThroughASecondListing) {
    Make("data/a.txt", "a");
    Make("data/a.doc", "x");
    Make("data/sub/b.TXT", "b");
    Make("data/sub/b.doc", "x");
    Make("data/sub2/nothing.doc", "x");
    ASSERT_EQ(chdir(P("data").c_str()), 0);
    EXPECT_EQ(zip.FileAdd("*.txt", 2, true, false), 2);
    EXPECT_EQ(Names(), (NameList {"a.txt", "sub\\b.TXT"}));
    EXPECT_TRUE(log.lines.empty()) << log.All();
    clsZip recursive, flat;
    EXPECT_EQ(recursive.FileAdd(P("data/?.txt"), 0, true, false), 2);
    EXPECT_EQ(flat.FileAdd(P("data/?.txt"), 0, false, false), 1);
}

TEST_F(WriterListTest, WalkSkipsFifosAndNeverEntersLinkedFolders) {
    Make("data/a.txt", "a");
    Make("elsewhere/secret.txt", "s");
    ASSERT_EQ(mkfifo(P("data/pipe").c_str(), 0600), 0);
    ASSERT_EQ(symlink(P("elsewhere").c_str(), P("data/linked").c_str()), 0);
    ASSERT_EQ(symlink(P("data/a.txt").c_str(), P("data/z-link.txt").c_str()), 0);
    EXPECT_EQ(zip.FileAdd(P("data/*.*"), 0, true, false), 2);
    EXPECT_EQ(Names(), (NameList {"a.txt", "z-link.txt"}));  // a linked file is read through its link
}

TEST_F(WriterListTest, UnlistableFolderReportsStatus) {
    EXPECT_EQ(zip.FileAdd(P("missing/*.*"), 0, true, false), 0);
    EXPECT_TRUE(log.Has("Status: Association Chemin, filtre inaccessible")) << log.All();
    log.lines.clear();
    std::filesystem::create_directories(P("empty"));
    EXPECT_EQ(zip.FileAdd(P("empty/*.*"), 0, true, false), 0);  // an empty folder is not an error
    EXPECT_TRUE(log.lines.empty()) << log.All();
    EXPECT_EQ(zip.FileAdd(P("empty/*.txt"), 0, true, false), 0);
    EXPECT_TRUE(log.lines.empty()) << log.All();
}

TEST_F(WriterListTest, PathNamingAnExistingFileIsThatFileEvenWithWildcards) {
    Make("data/what*.txt", "star");
    Make("data/whatever.txt", "other");
    EXPECT_EQ(zip.FileAdd(P("data/what*.txt"), 0, false, false), 1);
    EXPECT_EQ(Names(), (NameList {"what*.txt"}));
    EXPECT_EQ(zip.SizeUncompressed(1), 4);
}

TEST_F(WriterListTest, MissingFileAndFolderPaths) {
    EXPECT_EQ(zip.FileAdd(P("nope.txt"), 0, false, false), 0);
    EXPECT_TRUE(log.Has("FileZipErr 10: Ce fichier n'existe pas (n° erreur zip) [" + P("nope.txt") + "]"))
        << log.All();
    std::filesystem::create_directories(P("folder"));
    EXPECT_EQ(zip.FileAdd(P("folder"), 0, false, false), 0);
    EXPECT_EQ(zip.FileCount(), 0);
}

TEST_F(WriterListTest, PathChoiceDecidesTheStoredName) {
    Make("app/sub/a.txt", "a");
    Make("other/x.txt", "x");
    ASSERT_EQ(chdir(P("app").c_str()), 0);
    EXPECT_EQ(zip.FileAdd("sub/a.txt", 0), 1);
    EXPECT_EQ(zip.FileAdd("sub/a.txt", 1), 1);
    EXPECT_EQ(zip.FileAdd("sub/a.txt", 2), 1);
    EXPECT_EQ(zip.FileAdd("../other/x.txt", 2), 1);
    std::string full = P("app/sub/a.txt");
    for (char& c : full)
        if (c == '/') c = '\\';
    std::string other = P("other/x.txt");
    for (char& c : other)
        if (c == '/') c = '\\';
    EXPECT_EQ(Names(), (NameList {"a.txt", full, "sub\\a.txt", other}));
    clsZip fresh;
    EXPECT_EQ(fresh.FileAdd("sub/a.txt", 7), 1);  // any other value: the name alone
    EXPECT_EQ(fresh.FileName(1), "a.txt");
}

TEST_F(WriterListTest, RelativeModeComparesTheCurrentFolderWithoutRegardToCase) {
    Make("App/sub/a.txt", "a");
    ASSERT_EQ(chdir(P("App").c_str()), 0);
    // The same folder spelled in another case (what a Windows path would give).
    std::string upper = P("APP/sub/a.txt");
    // The file exists only under "App"; link the other spelling to it.
    ASSERT_EQ(symlink(P("App").c_str(), P("APP").c_str()), 0);
    EXPECT_EQ(zip.FileAdd(upper, 2), 1) << log.All();
    EXPECT_EQ(zip.FileName(1), "sub\\a.txt");
}

TEST_F(WriterListTest, AccessorsAndFileDelBounds) {
    Make("a.txt", std::string(1000, 'a'));
    Make("b.txt", "bb");
    Make("c.txt", "ccc");
    ASSERT_EQ(zip.FileAdd(P("*.txt")), 3);
    EXPECT_EQ(zip.SizeUncompressed(1), 1000);
    EXPECT_GT(zip.SizeCompressed(1), 0);
    EXPECT_LT(zip.SizeCompressed(1), 100);
    EXPECT_EQ(zip.FileName(4), "");
    EXPECT_EQ(zip.SizeCompressed(4), 0);
    EXPECT_EQ(zip.SizeUncompressed(4), 0);
    EXPECT_THROW(zip.FileName(0), std::out_of_range);
    EXPECT_THROW(zip.SizeCompressed(-1), std::out_of_range);
    EXPECT_THROW(zip.SizeUncompressed(0), std::out_of_range);
    EXPECT_FALSE(zip.FileDel(0));
    EXPECT_FALSE(zip.FileDel(4));
    EXPECT_EQ(zip.FileCount(), 3);
    EXPECT_TRUE(zip.FileDel(2));
    EXPECT_EQ(Names(), (NameList {"a.txt", "c.txt"}));
    // The remaining members keep their own data.
    ASSERT_TRUE(zip.WriteZip(P("out.zip"), false));
    EXPECT_EQ(zip.FileCount(), 0);
    const CommandResult r = RunShell("unzip -p " + Quote(P("out.zip")) + " c.txt");
    EXPECT_EQ(r.out, "ccc");
}

TEST_F(WriterListTest, WriteZipRefusesToOverwriteAndEmptiesTheList) {
    Make("a.txt", "a");
    Make("old.zip", "the previous archive");
    ASSERT_EQ(zip.FileAdd(P("a.txt")), 1);
    EXPECT_FALSE(zip.WriteZip(P("old.zip"), false));
    EXPECT_TRUE(log.Has("FileZipErr 11: Création -No Overwrite- du Zip abandonnée car le fichier existe déjà [" +
                        P("old.zip") + "]"))
        << log.All();
    EXPECT_EQ(zip.FileCount(), 0);
    EXPECT_EQ(Slurp(P("old.zip")), "the previous archive");
    // With OverWrite the old file is replaced by a complete archive.
    ASSERT_EQ(zip.FileAdd(P("a.txt")), 1);
    EXPECT_TRUE(zip.WriteZip(P("old.zip"), true));
    EXPECT_EQ(Slurp(P("old.zip")).substr(0, 4), "PK\x03\x04");
    EXPECT_EQ(RunShell("ls -A " + Quote(dir)).out, "a.txt\nold.zip\n");  // no temporary file left
}

TEST_F(WriterListTest, ArchivePathThroughALinkReplacesTheFileItLeadsTo) {
    Make("a.txt", "a");
    Make("media/save.zip", "previous");
    ASSERT_EQ(symlink(P("media/save.zip").c_str(), P("link.zip").c_str()), 0);
    ASSERT_EQ(zip.FileAdd(P("a.txt")), 1);
    ASSERT_TRUE(zip.WriteZip(P("link.zip"), true)) << log.All();
    EXPECT_TRUE(kuv::platform::IsSymlink(P("link.zip")));
    EXPECT_EQ(Slurp(P("media/save.zip")).substr(0, 4), "PK\x03\x04");
    EXPECT_EQ(RunShell("ls -A " + Quote(P("media"))).out, "save.zip\n");
}

TEST_F(WriterListTest, FileNameWithBackslashIsExcluded) {
    Make("data/a\\b.txt", "x");
    Make("data/ok.txt", "y");
    EXPECT_EQ(zip.FileAdd(P("data/*.*")), 1);
    EXPECT_TRUE(log.Has("FileZipErr 22: Nom de fichier avec une barre oblique inverse, le fichier a été exclus du "
                        "traitement [" +
                        P("data/a\\b.txt") + "]"))
        << log.All();
    EXPECT_EQ(Names(), (NameList {"ok.txt"}));
}

TEST_F(WriterListTest, ArchivePastTheLimitIsNotWrittenAndTheOldOneStays) {
    Make("a.txt", "a");
    Make("b.bin", "b");
    Make("target.zip", "previous");
    zip.SetSizeLimit(120);  // each member is fine, both together are not
    ASSERT_EQ(zip.FileAdd(P("*.txt")), 1);
    ASSERT_EQ(zip.FileAdd(P("b.bin")), 1);
    EXPECT_FALSE(zip.WriteZip(P("target.zip"), true));
    EXPECT_TRUE(log.Has("WriteFailed: Clé pleine ou absente !")) << log.All();
    EXPECT_EQ(Slurp(P("target.zip")), "previous");
    EXPECT_EQ(zip.FileCount(), 2);  // kept after a write failure
    EXPECT_FALSE(zip.WriteZip(P("new.zip"), false));
    EXPECT_EQ(RunShell("ls -A " + Quote(dir)).out, "a.txt\nb.bin\ntarget.zip\n");
    // Within the limit the same list is written.
    zip.SetSizeLimit(0x7FFFFFFF);
    EXPECT_TRUE(zip.WriteZip(P("new.zip"), false));
}

TEST_F(WriterListTest, UnwritableTargetFolderFailsAndKeepsTheList) {
    Make("a.txt", "a");
    ASSERT_EQ(zip.FileAdd(P("a.txt")), 1);
    EXPECT_FALSE(zip.WriteZip(P("no/such/folder/x.zip"), true));
    EXPECT_TRUE(log.Has("WriteFailed: Clé pleine ou absente !"));
    EXPECT_EQ(zip.FileCount(), 1);
}

TEST_F(WriterListTest, A65535thMemberBringsTheZip64EndRecord) {
    // 65535 empty files of different names (one name is one member): the
    // count no longer fits the end record (0xFFFF is its marker).
    Make("many/e0", "");
    for (int i = 1; i < 65535; ++i) {
        const int fd = open(P("many/e" + std::to_string(i)).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        ASSERT_GE(fd, 0);
        close(fd);
    }
    ASSERT_EQ(zip.FileAdd(P("many/*.*")), 65535);
    ASSERT_TRUE(zip.FileDel(1));
    ASSERT_TRUE(zip.WriteZip(P("classic.zip"), false));
    const std::string classic = Slurp(P("classic.zip"));
    EXPECT_EQ(classic.find("PK\x06\x06"), std::string::npos);  // no Zip64 end record
    EXPECT_EQ(ParseArchive(classic).entries, 65534);

    ASSERT_EQ(zip.FileAdd(P("many/*.*")), 65535);
    ASSERT_TRUE(zip.WriteZip(P("zip64.zip"), false));
    const std::string wide = Slurp(P("zip64.zip"));
    // Zip64 end record (56 bytes), its locator (20), then the end record with the count's marker.
    ASSERT_GT(wide.size(), 98u);
    const size_t end = wide.size() - 22;
    EXPECT_EQ(wide.substr(end, 4), "PK\x05\x06");
    EXPECT_EQ(U16(wide, end + 8), 0xFFFF);
    EXPECT_EQ(U16(wide, end + 10), 0xFFFF);
    EXPECT_EQ(wide.substr(end - 20, 4), "PK\x06\x07");
    EXPECT_EQ(U32(wide, end - 12), end - 76);  // the locator's offset (low half)
    EXPECT_EQ(wide.substr(end - 76, 4), "PK\x06\x06");
    EXPECT_EQ(U32(wide, end - 76 + 32), 65535u);  // entries in total
    clsZip reader;
    ASSERT_TRUE(reader.ZipOpen(P("zip64.zip")));
    EXPECT_EQ(reader.inFileCount(), 65535);
    EXPECT_EQ(reader.inFileName(65535), "e9999");  // names in listing order, without regard to case
    EXPECT_EQ(RunShell("python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); "
                       "print(len(z.infolist()), z.testzip())\" " + Quote(P("zip64.zip"))).out,
              "65535 None\n");
}

TEST_F(WriterListTest, MissingZlibIsReported) {
    Make("a.txt", "a");
    zip.SetZlibApi(nullptr);
    EXPECT_EQ(zip.ZLibVersion(), "");
    EXPECT_TRUE(log.Has("ZipError 1: La librairie Zlib n'est pas installée")) << log.All();
    log.lines.clear();
    EXPECT_EQ(zip.FileAdd(P("a.txt")), 0);
    EXPECT_TRUE(log.Has("ZipError 1: La librairie Zlib n'est pas installée")) << log.All();
    zip.SetZlibApi(kuv::zip::LinkedZlib());
    EXPECT_EQ(zip.ZLibVersion(), zlibVersion());
}

TEST_F(WriterListTest, CompressDeflate) {
    std::vector<std::uint8_t> data(10000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>("abcabd"[i % 6]);
    std::int32_t code = -5;
    EXPECT_EQ(zip.CompressDeflate(data, 0, false, code), data);  // nothing to compress: unchanged
    EXPECT_EQ(code, 0);
    const std::vector<std::uint8_t> packed = zip.CompressDeflate(data, 6000, false, code);
    EXPECT_EQ(code, 0);
    std::vector<std::uint8_t> back(6000);
    z_stream zs {};
    ASSERT_EQ(inflateInit2(&zs, -15), Z_OK);
    zs.next_in = const_cast<Bytef*>(packed.data());
    zs.avail_in = static_cast<uInt>(packed.size());
    zs.next_out = back.data();
    zs.avail_out = 6000;
    EXPECT_EQ(inflate(&zs, Z_FINISH), Z_STREAM_END);
    inflateEnd(&zs);
    EXPECT_TRUE(std::equal(back.begin(), back.end(), data.begin()));
    zip.CompressDeflate(data, 100, true, code);
    EXPECT_EQ(code, Z_STREAM_END);
    EXPECT_TRUE(zip.CompressDeflate(data, 20000, false, code).empty());  // past the array
    EXPECT_EQ(code, 17);
}
