// A leftover work file is removed only when it is this user's own regular
// file and no writer holds its lock; a link, a folder or a locked file stays.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ScratchFolder.h"
#include "platform/Files.h"
#include "platform/WorkNames.h"

using kuv::platform::WorkFileRemoval;

namespace {

enum class Leftover { Unused, Locked, Link, Folder, Missing, Refused };

struct RemovalRow {
    const char* label;
    Leftover leftover;
    WorkFileRemoval expected;
    bool stays;  // something is still under the name afterwards
};

class WorkFileRemovalTest : public ::testing::TestWithParam<RemovalRow> {};

TEST_P(WorkFileRemovalTest, OnlyAnUnusedFileOfOurOwnGoes) {
    const RemovalRow& row = GetParam();
    kuvtest::ScratchFolder scratch("kuvzip-workremoval");
    const std::string name = ".kuvzip-abc123";
    const std::string path = scratch / name;
    ASSERT_TRUE(kuv::platform::WriteWholeFile(scratch / "target", "PK\x03\x04"));
    int holder = -1;
    switch (row.leftover) {
    case Leftover::Unused:
    case Leftover::Refused:
        ASSERT_TRUE(kuv::platform::WriteWholeFile(path, "data"));
        break;
    case Leftover::Locked:
        ASSERT_TRUE(kuv::platform::WriteWholeFile(path, "data"));
        holder = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_EQ(flock(holder, LOCK_EX), 0);
        break;
    case Leftover::Link:
        ASSERT_EQ(symlink((scratch / "target").c_str(), path.c_str()), 0);
        break;
    case Leftover::Folder:
        ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
        break;
    case Leftover::Missing:
        break;
    }
    const auto refuse = [](int) { return false; };
    const WorkFileRemoval got =
        kuv::platform::RemoveUnusedWorkFile(scratch.path(), name, row.leftover == Leftover::Refused ? +refuse : nullptr);
    EXPECT_EQ(got, row.expected);
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st) == 0, row.stays);
    EXPECT_TRUE(kuv::platform::PathExists(scratch / "target")) << "a link's target is never touched";
    if (holder >= 0) close(holder);
}

const RemovalRow kRows[] = {
    {"Unused", Leftover::Unused, WorkFileRemoval::Removed, false},
    {"LockedByItsWriter", Leftover::Locked, WorkFileRemoval::InUse, true},
    {"SymbolicLink", Leftover::Link, WorkFileRemoval::NotOurs, true},
    {"Folder", Leftover::Folder, WorkFileRemoval::NotOurs, true},
    {"Missing", Leftover::Missing, WorkFileRemoval::Gone, false},
    {"RefusedByTheSweepsOwnTest", Leftover::Refused, WorkFileRemoval::NotOurs, true},
};

INSTANTIATE_TEST_SUITE_P(Leftovers, WorkFileRemovalTest, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
