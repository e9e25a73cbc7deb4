// New files with unique names: created exclusively, their mode given at
// creation, the process's umask left alone.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ScratchFolder.h"
#include "platform/Files.h"

TEST(UniqueFileTest, ExclusiveNamesWithTheModeGivenAtCreation) {
    kuvtest::ScratchFolder scratch("kuvzip-unique");
    const mode_t old = umask(022);
    std::string first, second;
    const int a = kuv::platform::CreateUniqueFile(scratch / ".x.zip.", 0640, first);
    const int b = kuv::platform::CreateUniqueFile(scratch / ".x.zip.", 0666, second);
    EXPECT_EQ(umask(old), 022) << "the umask is never changed";
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_NE(first, second);
    EXPECT_EQ(first.size(), (scratch / ".x.zip.").size() + 6);
    struct stat st {};
    ASSERT_EQ(fstat(a, &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    ASSERT_EQ(fstat(b, &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);  // 0666 less the umask
    close(a);
    close(b);
    // A folder that cannot hold it: -1 and errno.
    std::string none;
    EXPECT_EQ(kuv::platform::CreateUniqueFile(scratch / "absent/.x.", 0600, none), -1);
    EXPECT_EQ(errno, ENOENT);
}
