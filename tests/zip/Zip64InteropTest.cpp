// Zip64 records written by other tools (Python's zipfile, Info-ZIP zip) are
// read, tested, extracted and kept by the in-place update; an archive that
// needs no Zip64 keeps the classic layout byte for byte; the FAT medium's
// 4 GiB limit.
#include <gtest/gtest.h>
#include <libdeflate.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "ReaderTestSupport.h"
#include "platform/Files.h"
#include "zip/ZlibBinding.h"

using namespace readertest;

namespace {

std::string Out(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    return out;
}

std::string PythonCount(const std::string& archive) {
    return Out("python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); print(len(z.infolist()), "
               "z.testzip())\" '" + archive + "' 2>&1");
}

}  // namespace

TEST(Zip64Interop, PythonArchiveOf70000Members) {
    Scratch s, t;
    const std::string archive = s / "many.zip";
    ASSERT_EQ(Shell("python3 -c \"import zipfile,sys\nwith zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                    "    for i in range(70000): z.writestr('m%05d.txt' % i, 'membre %d' % i)\" '" + archive + "'"),
              0);
    ASSERT_NE(ReadFile(archive).find("PK\x06\x06"), std::string::npos);  // Python wrote a Zip64 end record
    clsZip zip;
    Recorder rec(zip);
    ASSERT_TRUE(zip.ZipOpen(archive));
    ASSERT_EQ(zip.inFileCount(), 70000);
    EXPECT_EQ(zip.inFileName(70000), "m69999.txt");
    EXPECT_TRUE(zip.TestAllFiles());
    EXPECT_TRUE(zip.ExtractSingleFile(70000, t.path(), false, true, false));
    EXPECT_EQ(ReadFile(t / "m69999.txt"), "membre 69999");
    EXPECT_TRUE(rec.errors.empty());
    zip.ZipClose();

    // The update keeps it a Zip64 archive, readable by Python.
    WriteFile(s / "nouveau.txt", "ajouté");
    std::int32_t mode = 0;
    ASSERT_TRUE(zip.FileAddIntoZip(archive, s / "nouveau.txt", mode, false, false));
    EXPECT_EQ(PythonCount(archive), "70001 None\n");
    ASSERT_TRUE(zip.FileRemoveFromZip(archive, "m00000.txt"));
    EXPECT_EQ(PythonCount(archive), "70000 None\n");
    ASSERT_TRUE(zip.ZipOpen(archive));
    EXPECT_EQ(zip.inFileName(70000), "nouveau.txt");
    EXPECT_TRUE(zip.TestAllFiles());
    EXPECT_TRUE(rec.errors.empty());
}

TEST(Zip64Interop, InfoZipStreamedForcedZip64Member) {
    if (!Have("zip") || !Have("unzip")) GTEST_SKIP() << "zip or unzip missing";
    Scratch s, t;
    const std::string archive = s / "flux.zip";
    // From standard input: sizes unknown in advance, so a data descriptor
    // with 8-byte sizes follows the data; -fz forces the Zip64 fields.
    ASSERT_EQ(Shell("printf 'données du flux\\n' | zip -q -fz - - > '" + archive + "'"), 0);
    clsZip zip;
    Recorder rec(zip);
    ASSERT_TRUE(zip.ZipOpen(archive));
    ASSERT_EQ(zip.inFileCount(), 1);
    EXPECT_EQ(zip.FileUncompressedSize(1), 17);
    EXPECT_TRUE(zip.TestAllFiles());
    EXPECT_TRUE(zip.ExtractAllFiles(t.path(), false, true, false));
    EXPECT_EQ(ReadFile(t / "-"), "données du flux\n");
    EXPECT_TRUE(rec.errors.empty()) << rec.errors.front().second;
    zip.ZipClose();

    // Updated in place, the member keeps its records; every tool still reads it.
    WriteFile(s / "b.txt", "deuxième");
    std::int32_t mode = 0;
    ASSERT_TRUE(zip.FileAddIntoZip(archive, s / "b.txt", mode, false, false));
    EXPECT_EQ(Shell("unzip -tq '" + archive + "'"), 0);
    EXPECT_EQ(PythonCount(archive), "2 None\n");
    ASSERT_TRUE(zip.ZipOpen(archive));
    EXPECT_TRUE(zip.TestAllFiles());
    EXPECT_TRUE(rec.errors.empty());
}

TEST(Zip64Interop, PythonForcedZip64MemberInTheLocalHeader) {
    Scratch s, t;
    const std::string archive = s / "force.zip";
    ASSERT_EQ(Shell("python3 -c \"import zipfile,sys\nwith zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
                    "    with z.open('grand.txt', 'w', force_zip64=True) as f: f.write(b'abc' * 1000)\n"
                    "    z.writestr('petit.txt', 'p')\" '" + archive + "'"),
              0);
    clsZip zip;
    Recorder rec(zip);
    ASSERT_TRUE(zip.ZipOpen(archive));
    ASSERT_EQ(zip.inFileCount(), 2);
    EXPECT_TRUE(zip.ExtractAllFiles(t.path(), false, true, false));
    std::string abc;
    for (int i = 0; i < 1000; ++i) abc += "abc";
    EXPECT_EQ(ReadFile(t / "grand.txt"), abc);
    EXPECT_EQ(ReadFile(t / "petit.txt"), "p");
    EXPECT_TRUE(rec.errors.empty()) << rec.errors.front().second;
}

namespace {

// A member of at most 1 MiB is deflated in one call of libdeflate at the
// default level (6).
Bytes OneCallDeflate(const Bytes& content) {
    libdeflate_compressor* c = libdeflate_alloc_compressor(6);
    Bytes out(libdeflate_deflate_compress_bound(c, content.size()), '\0');
    out.resize(libdeflate_deflate_compress(c, content.data(), content.size(), out.data(), out.size()));
    libdeflate_free_compressor(c);
    return out;
}

// The classic layout, built here field by field: what the engine wrote
// before it knew Zip64, for members with ASCII names.
Bytes ClassicArchive(const std::vector<std::pair<Bytes, Bytes>>& files, std::uint16_t date, std::uint16_t time,
                     const Bytes& comment) {
    auto u16 = [](std::uint16_t v) { return Bytes{static_cast<char>(v), static_cast<char>(v >> 8)}; };
    auto u32 = [&](std::uint32_t v) { return u16(static_cast<std::uint16_t>(v)) + u16(static_cast<std::uint16_t>(v >> 16)); };
    Bytes out, central;
    for (const auto& [name, content] : files) {
        const Bytes data = OneCallDeflate(content);
        const Bytes common = u16(0) + u16(8) + u16(time) + u16(date) + u32(Crc(content)) +
                             u32(static_cast<std::uint32_t>(data.size())) +
                             u32(static_cast<std::uint32_t>(content.size())) +
                             u16(static_cast<std::uint16_t>(name.size())) + u16(0);
        central += u32(0x02014b50) + u16(20) + u16(20) + common + u16(0) + u16(0) + u16(0x20) + u32(0) +
                   u32(static_cast<std::uint32_t>(out.size())) + name;
        out += u32(0x04034b50) + u16(20) + common + name + data;
    }
    const std::uint32_t at = static_cast<std::uint32_t>(out.size());
    const std::uint16_t n = static_cast<std::uint16_t>(files.size());
    return out + central + u32(0x06054b50) + u16(0) + u16(0) + u16(n) + u16(n) +
           u32(static_cast<std::uint32_t>(central.size())) + u32(at) + u16(static_cast<std::uint16_t>(comment.size())) +
           comment;
}

}  // namespace

TEST(Zip64Interop, ArchiveThatNeedsNoZip64IsTheClassicLayoutByteForByte) {
    Scratch s;
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "ligne " + std::to_string(i) + "\n";
    const std::vector<std::pair<Bytes, Bytes>> files = {{"a.txt", text}, {"b.bin", "petit"}};
    // 24 Dec 2023, 14:19:00 local time.
    std::tm when{};
    when.tm_year = 123;
    when.tm_mon = 11;
    when.tm_mday = 24;
    when.tm_hour = 14;
    when.tm_min = 19;
    when.tm_isdst = -1;
    const std::time_t stamp = std::mktime(&when);
    for (const auto& f : files) {
        WriteFile(s / f.first, f.second);
        ASSERT_TRUE(kuv::platform::SetFileTimes(s / f.first, stamp, stamp));
    }
    const Bytes expected = ClassicArchive(files, 0x5798, 0x7260, "commentaire");
    clsZip zip;
    for (const auto& f : files) ASSERT_EQ(zip.FileAdd(s / f.first), 1);
    zip.SetComment("commentaire");
    ASSERT_TRUE(zip.WriteZip(s / "liste.zip", false));
    EXPECT_EQ(ReadFile(s / "liste.zip"), expected);
    std::int32_t h = zip.CreateZip(s / "flux.zip", false);
    ASSERT_NE(h, 0);
    for (const auto& f : files) ASSERT_EQ(zip.ybFileAdd(s / f.first, 0, h), 1);
    zip.SetComment("commentaire");
    ASSERT_TRUE(zip.WriteEndZip(h));
    EXPECT_EQ(ReadFile(s / "flux.zip"), expected);
}

// ---------------- the FAT medium's limit ----------------

namespace {

long FatType(const std::string&) { return 0x4d44; }

// A zlib whose deflate never gets its memory: members are kept to be stored
// from disk, so that a list of a few sparse files plans an archive of any
// size without compressing anything.
int NoMemoryDeflateInit(z_streamp, int, int, int, int, int, const char*, int) { return Z_MEM_ERROR; }

const kuv::zip::ZlibApi* ZlibWithoutDeflateMemory() {
    static kuv::zip::ZlibApi api = [] {
        kuv::zip::ZlibApi a = *kuv::zip::LinkedZlib();
        a.deflateInit2_ = &NoMemoryDeflateInit;
        return a;
    }();
    return &api;
}

// Adds a sparse file of 4.5 GiB that will be stored as it is (nothing of it is written).
void AddHugeStoredMember(clsZip& zip, const std::string& folder) {
    const std::string path = folder + "/enorme.bin";
    WriteFile(path, "");
    ASSERT_EQ(truncate(path.c_str(), (9ll << 30) / 2), 0);
    zip.SetZlibApi(ZlibWithoutDeflateMemory());
    ASSERT_EQ(zip.FileAdd(path), 1);
    zip.SetZlibApi(kuv::zip::LinkedZlib());
    EXPECT_EQ(zip.SizeUncompressed(1), (9ll << 30) / 2);
}

// Writes the list to folder/a.zip on a FAT medium: refused before anything
// is created, with the medium's own text; a small list is written.
void ExpectFatRefusal(const std::string& folder, const std::string& sources) {
    WriteFile(folder + "/a.zip", "archive précédente");
    clsZip zip;
    std::vector<std::string> failed;
    zip.Events.WriteFailed = [&](const std::string& t) { failed.push_back(t); };
    AddHugeStoredMember(zip, sources);
    EXPECT_FALSE(zip.WriteZip(folder + "/a.zip", true));
    EXPECT_EQ(failed, std::vector<std::string>{kuv::zip::kWriteFailedMediumLimitText});
    EXPECT_EQ(ReadFile(folder + "/a.zip"), "archive précédente");
    std::vector<std::string> names;
    for (const auto& e : kuv::platform::ListFolder(folder)) names.push_back(e.name);
    EXPECT_EQ(names, std::vector<std::string>{"a.zip"});  // no work file either
    // Without the huge member, the archive is written on the same medium.
    ASSERT_TRUE(zip.FileDel(1));
    WriteFile(sources + "/petit.txt", "petit");
    ASSERT_EQ(zip.FileAdd(sources + "/petit.txt"), 1);
    EXPECT_TRUE(zip.WriteZip(folder + "/a.zip", true));
    EXPECT_EQ(failed.size(), 1u);
}

}  // namespace

TEST(Zip64Medium, InjectedFatTypeRefusesAListArchiveOf4GiBBeforeCreatingIt) {
    Scratch medium, sources;
    kuv::platform::SetFileSystemTypeForTesting(&FatType);
    EXPECT_EQ(kuv::platform::LargestFileOn(medium.path()), 0xFFFFFFFFull);
    ExpectFatRefusal(medium.path(), sources.path());
    kuv::platform::SetFileSystemTypeForTesting(nullptr);
    EXPECT_EQ(kuv::platform::LargestFileOn(medium.path()), UINT64_MAX);  // not FAT here
}

TEST(Zip64Medium, RealVfatImageRefusesAListArchiveOf4GiB) {
    if (geteuid() != 0 || !Have("mkfs.vfat")) GTEST_SKIP() << "needs root and mkfs.vfat (dosfstools)";
    Scratch s, sources;
    const std::string image = s / "cle.img", mount = s / "cle";
    mkdir(mount.c_str(), 0755);
    ASSERT_EQ(Shell("truncate -s 33M '" + image + "' && mkfs.vfat '" + image + "'"), 0);
    if (Shell("mount -o loop '" + image + "' '" + mount + "'") != 0)
        GTEST_SKIP() << "mounting a vfat image is not allowed here (no loop device or no vfat in the kernel)";
    EXPECT_EQ(kuv::platform::LargestFileOn(mount), 0xFFFFFFFFull);
    ExpectFatRefusal(mount, sources.path());
    Shell("umount '" + mount + "'");
}
