// The descriptor owner: closes what it holds exactly once, moves ownership,
// and reports a failed close through Close().
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/UniqueFd.h"

using kuv::platform::UniqueFd;

namespace {

bool IsOpen(int fd) { return fcntl(fd, F_GETFD) != -1; }

}  // namespace

TEST(UniqueFdTest, ClosesOnceAndMovesOwnership) {
    int raw = open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(raw, 0);
    {
        UniqueFd a(raw);
        UniqueFd b(std::move(a));
        EXPECT_FALSE(a);
        EXPECT_EQ(b.get(), raw);
        UniqueFd c;
        c = std::move(b);
        EXPECT_TRUE(IsOpen(raw));
        EXPECT_EQ(c.get(), raw);
    }
    EXPECT_FALSE(IsOpen(raw));

    raw = open("/dev/null", O_RDONLY | O_CLOEXEC);
    UniqueFd d(raw);
    const int second = open("/dev/null", O_RDONLY | O_CLOEXEC);
    d.Reset(second);
    EXPECT_FALSE(IsOpen(raw));
    EXPECT_TRUE(IsOpen(second));
    EXPECT_EQ(d.Release(), second);
    EXPECT_FALSE(d);
    EXPECT_TRUE(IsOpen(second));
    close(second);
}

TEST(UniqueFdTest, CloseReportsItsError) {
    UniqueFd none;
    EXPECT_TRUE(none.Close());
    UniqueFd fine(open("/dev/null", O_RDONLY | O_CLOEXEC));
    EXPECT_TRUE(fine.Close());
    EXPECT_FALSE(fine);
    // A number that is no open descriptor: the close fails and says so.
    int unused = open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(unused, 0);
    close(unused);
    UniqueFd stale(unused);
    errno = 0;
    EXPECT_FALSE(stale.Close());
    EXPECT_EQ(errno, EBADF);
    EXPECT_FALSE(stale);
}
