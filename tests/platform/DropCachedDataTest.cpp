// Dropping a written file's pages from the system's cache, so that a check
// that follows reads the medium itself.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "ScratchFolder.h"
#include "platform/Files.h"

namespace {

// Pages of the file that sit in the cache; -1 when it cannot be told.
long ResidentPages(const std::string& path, size_t size) {
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return -1;
    void* map = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    close(fd);
    if (map == MAP_FAILED) return -1;
    const long page = sysconf(_SC_PAGESIZE);
    std::vector<unsigned char> pages((size + page - 1) / page);
    long resident = -1;
    if (mincore(map, size, pages.data()) == 0) {
        resident = 0;
        for (unsigned char p : pages) resident += p & 1;
    }
    munmap(map, size);
    return resident;
}

}  // namespace

TEST(DropCachedDataTest, WrittenPagesLeaveTheCache) {
    // Not the temporary folder: it is often a RAM file system.
    const kuvtest::ScratchFolder scratch("kuv-cache", "/var/tmp");
    if (scratch.path().empty()) GTEST_SKIP() << "no folder under /var/tmp";
    const std::string dir = scratch.path();
    const std::string path = dir + "/archive.zip";
    const std::string bytes(4 << 20, 'k');
    ASSERT_TRUE(kuv::platform::WriteWholeFile(path, bytes));
    std::string back;
    ASSERT_TRUE(kuv::platform::ReadWholeFile(path, back));
    const long before = ResidentPages(path, bytes.size());
    if (before <= 0) GTEST_SKIP() << "this file system does not show its cache";
    EXPECT_TRUE(kuv::platform::DropCachedData(path));
    const long after = ResidentPages(path, bytes.size());
    // A file system that keeps its pages in memory (tmpfs) cannot drop them.
    EXPECT_LT(after, before);
    EXPECT_FALSE(kuv::platform::DropCachedData(dir + "/absent.zip"));
}
