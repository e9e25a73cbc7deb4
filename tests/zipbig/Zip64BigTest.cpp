// Archives past 4 GiB, end to end: a sparse data file of 4.5 GiB with marked
// bytes (at its start, across the 4 GiB boundary and at its end) is backed up
// deflated (list method) and stored (streaming method, level 0: the archive
// passes 4 GiB and the next member's offset too), updated in place, read
// back byte for byte and checked by unzip, 7z and Python's zipfile; on a FAT
// medium the streaming pass and the update fail at 4 GiB - 1 and leave
// nothing behind. Needs 16 GiB free; skipped otherwise.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "ReaderTestSupport.h"
#include "platform/Files.h"

using namespace readertest;

namespace {

constexpr std::int64_t kBigSize = (9ll << 30) / 2;  // 4.5 GiB

std::string Out(const std::string& command) {
    std::string out;
    if (FILE* p = popen((command + " 2>&1").c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        const int status = pclose(p);
        if (status != 0) out += "\n[status " + std::to_string(status) + "]";
    }
    return out;
}

long FatType(const std::string&) { return 0x4d44; }

// The marks: the bytes that are not zero in the sparse file.
const std::vector<std::pair<std::int64_t, std::string>>& Marks() {
    static const std::vector<std::pair<std::int64_t, std::string>> marks = {
        {0, "DEBUT de la grande base"},
        {0xFFFFFFF0ll, "a cheval sur la limite des 4 Go"},
        {kBigSize - 24, "FIN de la grande base !!"}};
    return marks;
}

void MakeBigFile(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT, 0644);  // grows a shorter one in place
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, kBigSize), 0);
    for (const auto& [at, text] : Marks())
        ASSERT_EQ(pwrite(fd, text.data(), text.size(), at), static_cast<ssize_t>(text.size()));
    close(fd);
}

// The file has the big file's size and its marks.
void ExpectMarks(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    struct stat st {};
    EXPECT_EQ(fstat(fd, &st), 0);
    EXPECT_EQ(st.st_size, kBigSize);
    for (const auto& [at, text] : Marks()) {
        // The mark, with the zero bytes around it.
        const std::int64_t from = at > 0 ? at - 1 : 0;
        const std::int64_t to = std::min<std::int64_t>(kBigSize, at + static_cast<std::int64_t>(text.size()) + 1);
        std::string got(static_cast<size_t>(to - from), '\0');
        EXPECT_EQ(pread(fd, got.data(), got.size(), from), static_cast<ssize_t>(got.size()));
        std::string expected(got.size(), '\0');
        expected.replace(static_cast<size_t>(at - from), text.size(), text);
        EXPECT_EQ(got, expected) << "mark at " << at;
    }
    close(fd);
}

std::int64_t SizeOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

// The archive is accepted by every tool at hand.
void ExpectToolsAccept(const std::string& archive) {
    if (Have("unzip")) {
        EXPECT_EQ(Shell("unzip -tq '" + archive + "'"), 0) << "unzip -t " << archive;
    }
    if (Have("7z")) {
        EXPECT_EQ(Shell("7z t '" + archive + "'"), 0) << "7z t " << archive;
    }
    EXPECT_EQ(Out("python3 -c \"import zipfile,sys; print(zipfile.ZipFile(sys.argv[1]).testzip())\" '" + archive + "'"),
              "None\n")
        << "Python " << archive;
}

struct Timer {
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    void Say(const std::string& what) {
        const auto now = std::chrono::steady_clock::now();
        std::printf("[big] %-42s %6.1f s\n", what.c_str(), std::chrono::duration<double>(now - start).count());
        std::fflush(stdout);
        start = now;
    }
};

}  // namespace

TEST(Zip64Big, FileOf4Point5GiBBackedUpDeflatedAndStoredThenReadBack) {
    Scratch s;
    struct statvfs fs {};
    ASSERT_EQ(statvfs(s.path().c_str(), &fs), 0);
    const std::uint64_t freeBytes = std::uint64_t{fs.f_bavail} * fs.f_frsize;
    if (freeBytes < (16ull << 30))
        GTEST_SKIP() << "less than 16 GiB free in " << s.path() << " (" << (freeBytes >> 20) << " MiB): skipped";
    Timer timer;
    mkdir((s / "data").c_str(), 0755);
    const std::string big = s / "data/grande-base.dat";
    MakeBigFile(big);
    WriteFile(s / "data/petit.txt", "petit fichier après le grand");
    WriteFile(s / "ajout.txt", "ajouté par la mise à jour");

    clsZip zip;
    Recorder rec(zip);
    std::vector<std::string> failed;
    zip.Events.WriteFailed = [&](const std::string& t) { failed.push_back(t); };

    // Deflated, list method: the member's size needs Zip64, its data does
    // not. Level 1: the same records as any level, in a fraction of the time.
    const std::string deflated = s / "deflate.zip";
    zip.SetLevelCompression(1);
    ASSERT_EQ(zip.FileAdd(s / "data/*.*"), 2);
    EXPECT_EQ(zip.SizeUncompressed(1), kBigSize);
    ASSERT_TRUE(zip.WriteZip(deflated, false));
    EXPECT_LT(SizeOf(deflated), 64ll << 20);
    timer.Say("list method, deflated");

    // Stored, streaming method: the archive passes 4 GiB. The file is just
    // below the size from which its local header is written with the Zip64
    // field when the pass opens it, and grows to 4.5 GiB while it is read:
    // the member is written again with the field, so that its header holds.
    const std::string stored = s / "stored.zip";
    zip.SetLevelCompression(0);
    ASSERT_EQ(truncate(big.c_str(), 0xFF000000ll - 1), 0);
    bool grown = false;
    zip.Events.DoEvents = [&] {
        if (grown) return;
        grown = true;
        MakeBigFile(big);
    };
    std::int32_t h = zip.CreateZip(stored, false);
    ASSERT_NE(h, 0);
    // One file at a time: the first DoEvents comes after the first chunk read.
    ASSERT_EQ(zip.ybFileAdd(big, 0, h), 1);
    ASSERT_EQ(zip.ybFileAdd(s / "data/petit.txt", 0, h), 1);
    ASSERT_TRUE(zip.WriteEndZip(h));
    zip.Events.DoEvents = nullptr;
    EXPECT_TRUE(grown);
    EXPECT_GT(SizeOf(stored), kBigSize);
    {
        // Its local header: version 45, sizes marked, the Zip64 field with them.
        Bytes head(30 + 15 + 20, '\0');
        std::ifstream(stored, std::ios::binary).read(head.data(), static_cast<std::streamsize>(head.size()));
        const auto* p = reinterpret_cast<const std::uint8_t*>(head.data());
        EXPECT_EQ(kuv::zip::GetU16(p + 4), 45);
        EXPECT_EQ(kuv::zip::GetU32(p + 18), 0xFFFFFFFFu);
        EXPECT_EQ(kuv::zip::GetU32(p + 22), 0xFFFFFFFFu);
        EXPECT_EQ(kuv::zip::GetU16(p + 28), 20);
        EXPECT_EQ(kuv::zip::GetU16(p + 45), 0x0001);
        EXPECT_EQ(kuv::zip::GetU32(p + 49) | std::uint64_t{kuv::zip::GetU32(p + 53)} << 32,
                  static_cast<std::uint64_t>(kBigSize));
    }
    timer.Say("streaming method, level 0, file growing");

    // Both read back: sizes whole, every CRC right.
    for (const std::string& archive : {deflated, stored}) {
        SCOPED_TRACE(archive);
        ASSERT_TRUE(zip.ZipOpen(archive));
        ASSERT_EQ(zip.inFileCount(), 2);
        EXPECT_EQ(zip.inFileName(1), "grande-base.dat");
        EXPECT_EQ(zip.FileUncompressedSize(1), kBigSize);
        EXPECT_EQ(zip.FileUncompressedSize(2), 29);
        if (archive == stored) {
            EXPECT_GT(zip.FileCompressedSize(1), kBigSize);
        }
        EXPECT_TRUE(zip.TestAllFiles());
        zip.ZipClose();
    }
    timer.Say("engine TestAllFiles on both");
    // The command-line tool prints the sizes whole.
    const std::string listing = Out("'" KUVZIP_BIN_DIR "/kuvzip-cli' list '" + deflated + "'");
    EXPECT_NE(listing.find("\tgrande-base.dat\t"), std::string::npos) << listing;
    EXPECT_NE(listing.find("\t" + std::to_string(kBigSize) + "\t"), std::string::npos) << listing;

    // The update keeps the stored archive Zip64: the small member after
    // 4 GiB is moved with its Zip64 offset, the new one lands past it.
    std::int32_t mode = 0;
    ASSERT_TRUE(zip.FileAddIntoZip(stored, s / "ajout.txt", mode, false, false));
    timer.Say("in-place update of the stored archive");

    // Extraction, byte for byte.
    ASSERT_TRUE(zip.ZipOpen(deflated));
    ASSERT_TRUE(zip.ExtractAllFiles(s / "restore", false, false, false));
    // Its size and CRC were checked by the extraction; the marks are where they were.
    ExpectMarks(s / "restore/grande-base.dat");
    EXPECT_EQ(ReadFile(s / "restore/petit.txt"), "petit fichier après le grand");
    zip.ZipClose();
    ScratchFolder::Remove(s / "restore");
    timer.Say("extraction");
    ASSERT_TRUE(zip.ZipOpen(stored));
    ASSERT_EQ(zip.inFileCount(), 3);
    ASSERT_TRUE(zip.ExtractSingleFile(2, s / "restore", false, false, false));
    ASSERT_TRUE(zip.ExtractSingleFile(3, s / "restore", false, false, false));
    EXPECT_EQ(ReadFile(s / "restore/petit.txt"), "petit fichier après le grand");
    EXPECT_EQ(ReadFile(s / "restore/ajout.txt"), "ajouté par la mise à jour");
    zip.ZipClose();
    EXPECT_TRUE(rec.errors.empty()) << rec.errors.front().second;
    EXPECT_TRUE(failed.empty());

    // Every tool tests the stored archive (Zip64 sizes, offsets and end
    // record); the deflated one, whose data they would inflate again for
    // minutes, is listed: its member's Zip64 size is read right.
    ExpectToolsAccept(stored);
    EXPECT_EQ(Out("python3 -c \"import zipfile,sys; print([i.file_size for i in zipfile.ZipFile(sys.argv[1]).infolist()])\" '" +
                  deflated + "'"),
              "[" + std::to_string(kBigSize) + ", 29]\n");
    if (Have("unzip")) {
        EXPECT_NE(Out("unzip -l '" + deflated + "'").find(std::to_string(kBigSize) + " "), std::string::npos);
    }
    timer.Say("unzip -t, 7z t, Python zipfile");
    kuv::platform::RemoveFile(stored);

    // On a FAT medium the stored pass stops at 4 GiB - 1: nothing is left
    // but the earlier archive, and the host is told why.
    mkdir((s / "fat").c_str(), 0755);
    WriteFile(s / "fat/a.zip", "archive précédente");
    kuv::platform::SetFileSystemTypeForTesting(&FatType);
    h = zip.CreateZip(s / "fat/a.zip", true);
    ASSERT_NE(h, 0);
    zip.ybFileAdd(big, 0, h);
    EXPECT_FALSE(zip.WriteEndZip(h));
    EXPECT_EQ(failed, std::vector<std::string>{kuv::zip::kWriteFailedMediumLimitText});
    EXPECT_EQ(ReadFile(s / "fat/a.zip"), "archive précédente");
    timer.Say("streaming pass on FAT");

    // The in-place update as well.
    Shell("cp '" + deflated + "' '" + s / "fat/b.zip" + "'");
    const std::string before = ReadFile(s / "fat/b.zip");
    failed.clear();
    rec.errors.clear();
    EXPECT_FALSE(zip.FileAddIntoZip(s / "fat/b.zip", big, mode, false, true));
    kuv::platform::SetFileSystemTypeForTesting(nullptr);
    EXPECT_EQ(failed, std::vector<std::string>{kuv::zip::kWriteFailedMediumLimitText});
    EXPECT_EQ(rec.ErrorNumbers(), std::vector<int>{16});
    EXPECT_EQ(ReadFile(s / "fat/b.zip"), before);
    std::vector<std::string> names;
    for (const auto& e : kuv::platform::ListFolder(s / "fat")) names.push_back(e.name);
    EXPECT_EQ(names, (std::vector<std::string>{"a.zip", "b.zip"}));
    timer.Say("in-place update on FAT");
}
