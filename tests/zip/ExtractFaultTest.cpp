// What extraction tells when the file layer fails under it: a full disk (or a
// quota reached) while a member's file is written or closed, a read error of
// the archive's medium, and a damaged member are three different causes, each
// with its own number and text.
#include <gtest/gtest.h>

#include <cerrno>

#include "ReaderTestSupport.h"
#include "platform/FaultInjection.h"
#include "zip/ZipErrors.h"

using namespace readertest;
using kuv::platform::FaultPoint;
using kuv::zip::ZipMessage;

namespace {

// One call; large (deflated: streamed through igzip on a worker); large and stored
// (copied past the page cache).
enum class Size { Small, Streamed, Direct, DirectStored };

struct FaultCase {
    const char* label;
    FaultPoint point;
    int error;              // 0: no fault, the member is damaged instead
    Size size;
    bool overExisting;      // the target exists already (written under a temporary name, then closed)
    ZipMessage expected;
};

std::string Content(Size size) {
    const std::size_t n = size == Size::Small ? 5000 : size == Size::Streamed ? 5u << 20 : 9u << 20;
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7 + i / 13) % 26);
    return s;
}

class ExtractFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(ExtractFault, TellsTheCause) {
    const FaultCase& c = GetParam();
    Scratch s, out;
    RawArchive a;
    a.members.push_back(Member("base.dat", Content(c.size), c.size == Size::DirectStored ? 0 : 8));
    std::string bytes = a.Build();
    // Damaged: the first block of the deflate data (after the 30-byte local
    // header and the name) made one of the reserved type.
    if (c.error == 0) bytes[30 + 8] = '\x07';
    const std::string archive = s / "a.zip";
    WriteFile(archive, bytes);
    if (c.overExisting) WriteFile(out / "base.dat", "ancien");

    clsZip zip;
    Recorder rec(zip);
    ASSERT_TRUE(zip.ZipOpen(archive));
    kuv::platform::FaultScope faults;
    if (c.error != 0) kuv::platform::ArmFault(c.point, 1, c.error);
    zip.ExtractAllFiles(out.path(), true, true, false);
    kuv::platform::DisarmFaults();

    ASSERT_FALSE(rec.errors.empty()) << c.label;
    const std::string target = out / "base.dat";
    const std::string shown = c.expected == ZipMessage::ArchiveReadError ? archive
                              : c.expected == ZipMessage::Unidentified   ? std::string("base.dat")
                                                                          : target;
    EXPECT_EQ(rec.errors.front(),
              std::make_pair(static_cast<int>(kuv::zip::NumberOf(c.expected)), kuv::zip::MessageText(c.expected, shown)))
        << c.label;
    // Nothing half written stands under the member's name.
    std::string left;
    if (c.overExisting) {
        ASSERT_TRUE(kuv::platform::ReadWholeFile(target, left));
        EXPECT_EQ(left, "ancien") << c.label;
    } else {
        EXPECT_FALSE(kuv::platform::PathExists(target)) << c.label;
    }
}

const FaultCase kCases[] = {
    {"full-small", FaultPoint::Write, ENOSPC, Size::Small, false, ZipMessage::DiskFull},
    {"quota-small", FaultPoint::Write, EDQUOT, Size::Small, false, ZipMessage::DiskFull},
    {"full-streamed", FaultPoint::Write, ENOSPC, Size::Streamed, false, ZipMessage::DiskFull},
    {"full-direct", FaultPoint::Write, ENOSPC, Size::Direct, false, ZipMessage::DiskFull},
    {"full-over-existing", FaultPoint::Write, ENOSPC, Size::Small, true, ZipMessage::DiskFull},
    {"full-at-close", FaultPoint::Close, ENOSPC, Size::Small, true, ZipMessage::DiskFull},
    {"io-write-new", FaultPoint::Write, EIO, Size::Small, false, ZipMessage::Unidentified},
    {"io-write-existing", FaultPoint::Write, EIO, Size::Small, true, ZipMessage::Unidentified},
    {"read-small", FaultPoint::Read, EIO, Size::Small, false, ZipMessage::ArchiveReadError},
    {"read-streamed", FaultPoint::Read, EIO, Size::Streamed, false, ZipMessage::ArchiveReadError},
    {"read-direct", FaultPoint::Read, EIO, Size::Direct, false, ZipMessage::ArchiveReadError},
    {"full-direct-stored", FaultPoint::Write, ENOSPC, Size::DirectStored, false, ZipMessage::DiskFull},
    {"read-direct-stored", FaultPoint::Read, EIO, Size::DirectStored, false, ZipMessage::ArchiveReadError},
    {"damaged", FaultPoint::Read, 0, Size::Small, false, ZipMessage::Unidentified},
};

INSTANTIATE_TEST_SUITE_P(Causes, ExtractFault, ::testing::ValuesIn(kCases),
                         [](const auto& info) {
                             std::string n = info.param.label;
                             for (char& ch : n)
                                 if (ch == '-') ch = '_';
                             return n;
                         });

// A medium that cannot be read is not said to hold "no archive".
TEST(ExtractFaultOpen, ReadErrorAtOpenIsNotNotAnArchive) {
    Scratch s;
    RawArchive a;
    a.members.push_back(Member("base.dat", "contenu"));
    const std::string archive = s / "a.zip";
    WriteFile(archive, a.Build());
    clsZip zip;
    Recorder rec(zip);
    {
        kuv::platform::FaultScope faults;
        kuv::platform::ArmFault(FaultPoint::Read, 1, EIO);
        EXPECT_FALSE(zip.ZipOpen(archive));
    }
    ASSERT_FALSE(rec.errors.empty());
    EXPECT_EQ(rec.errors.back().first, 57);
    EXPECT_EQ(rec.errors.back().second, kuv::zip::MessageText(ZipMessage::ArchiveReadError, archive));
    // The same file read without a fault opens.
    rec.errors.clear();
    EXPECT_TRUE(zip.ZipOpen(archive));
    EXPECT_TRUE(rec.errors.empty());
}

}  // namespace
