// The archive test and the extraction read members on every core: their
// events still come on the caller's thread, in directory order, with the
// numbers they always had; memory stays bounded whatever sizes the members
// declare; cancelling stops them.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cmath>
#include <regex>
#include <thread>

#include "ReaderTestSupport.h"
#include "zip/FastInflate.h"

using namespace readertest;

namespace {

// Forty members; some of them fail, each in its own way.
struct Case {
    RawArchive archive;
    std::vector<std::string> expected;  // the events a sequential test raises, in order
};

// Under ThreadSanitizer every byte the program touches has its shadow: the
// resident size no longer says what the engine holds, and is not checked.
#if defined(__SANITIZE_THREAD__)
constexpr bool kResidentSizeIsTheEngines = false;
#else
constexpr bool kResidentSizeIsTheEngines = true;
#endif

long PeakKib() {
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

Case Mixed() {
    Case c;
    const int total = 40;
    for (int i = 1; i <= total; ++i) {
        std::string content;
        for (int k = 0; k < 50 * i; ++k) content += "ligne " + std::to_string(i * k) + "\n";
        RawMember m = Member("f" + std::to_string(i) + ".txt", content, i % 7 == 0 ? 0 : 8);
        std::string error;
        if (i == 5) {  // wrong CRC in both headers
            m.centralCrc = m.localCrc = Crc(content) ^ 1;
            error = "E5:f5.txt";
        } else if (i == 9) {  // a method the engine does not read
            m.method = 12;
            error = "E4:f9.txt";
        } else if (i == 13) {  // declares 4 GiB, holds a few bytes
            m.centralUncompressed = m.localUncompressed = 0xFFFFFFF0;
            error = "E16:f13.txt";
        } else if (i == 30) {  // one byte short
            m.centralUncompressed = m.localUncompressed = content.size() + 1;
            error = "E16:f30.txt";
        }
        c.archive.members.push_back(m);
        if (!error.empty()) c.expected.push_back(error);
        c.expected.push_back("P" + std::to_string(static_cast<int>(std::nearbyint(100.0 * i / total))));
    }
    return c;
}

// Thirty sound members named prefix0 .. prefix29, member i holding size + i letters.
RawArchive ThirtyMembers(const std::string& prefix, std::size_t size) {
    RawArchive a;
    for (int i = 0; i < 30; ++i)
        a.members.push_back(Member(prefix + std::to_string(i), std::string(size + i, static_cast<char>('a' + i % 26))));
    return a;
}

struct Log {
    std::vector<std::string> events;
    std::thread::id thread = std::this_thread::get_id();
    bool otherThread = false;
    int cancelAt = -1;
    bool withStatus = false;
    clsZip* zip_;
    ~Log() { zip_->Events = clsZipEvents {}; }
    explicit Log(clsZip& zip) : zip_(&zip) {
        zip.Events.ZipError = [this](std::int32_t n, const std::string& d, bool&) {
            Note();
            // The number and the member the message names.
            std::smatch named;
            const bool found = std::regex_search(d, named, std::regex("f[0-9]+\\.txt"));
            events.push_back("E" + std::to_string(n) + ":" + (found ? named.str() : d));
        };
        zip.Events.ProgressExtract = [this](std::int32_t p, bool& cancel) {
            Note();
            events.push_back("P" + std::to_string(p));
            if (cancelAt >= 0 && p >= cancelAt) cancel = true;
        };
        zip.Events.DoEvents = [this] { Note(); };
        zip.Events.Status = [this](const std::string& t) {
            Note();
            if (withStatus) events.push_back("S" + t);
        };
    }
    void Note() {
        if (std::this_thread::get_id() != thread) otherThread = true;
    }
};

TEST(ParallelTestAll, EventsInDirectoryOrderAndMemoryBounded) {
    const Case c = Mixed();
    Scratch s;
    WriteFile(s / "m.zip", c.archive.Build());
    for (int round = 0; round < 3; ++round) {  // the workers finish in another order each time
        clsZip zip;
        Log log(zip);
        ASSERT_TRUE(zip.ZipOpen(s / "m.zip"));
        log.events.clear();
        const long before = PeakKib();
        EXPECT_FALSE(zip.TestAllFiles());
        if (kResidentSizeIsTheEngines) {
            EXPECT_LT(PeakKib() - before, 16 * 1024);
        }
        EXPECT_EQ(log.events, c.expected);
        EXPECT_FALSE(log.otherThread);
    }
}

TEST(ParallelTestAll, SoundArchiveIsSoundAndCancelStopsIt) {
    const RawArchive a = ThirtyMembers("g", 3000);
    Scratch s;
    WriteFile(s / "g.zip", a.Build());
    {
        clsZip zip;
        Log log(zip);
        ASSERT_TRUE(zip.ZipOpen(s / "g.zip"));
        log.events.clear();
        EXPECT_TRUE(zip.TestAllFiles());
        ASSERT_EQ(log.events.size(), 30u);
        EXPECT_EQ(log.events.back(), "P100");
    }
    {
        clsZip zip;
        Log log(zip);
        log.cancelAt = 50;
        ASSERT_TRUE(zip.ZipOpen(s / "g.zip"));
        log.events.clear();
        EXPECT_FALSE(zip.TestAllFiles());
        ASSERT_FALSE(log.events.empty());
        EXPECT_EQ(log.events.back(), "P50");  // nothing after the cancel
    }
}

// As Mixed, with one member too large for one call (streamed on the
// caller's thread between the others).
TEST(ParallelExtract, WritesInDirectoryOrderAndOnlySoundFiles) {
    Case c = Mixed();
    std::string large;
    for (long long k = 0; large.size() < 5 * 1024 * 1024 + 17; ++k) large += "grand " + std::to_string(k * 7919 % 100003) + "\n";
    c.archive.members[20].content = large;  // f21.txt
    Scratch s;
    WriteFile(s / "m.zip", c.archive.Build());
    std::vector<std::string> expected = {"SDébut d'extraction"};
    int member = 1;
    for (const std::string& ev : c.expected) {
        if (ev[0] == 'P' || ev.rfind("E", 0) == 0) {
            if (expected.back()[0] == 'P' || expected.size() == 1)
                expected.push_back("SExtraction ...\\f" + std::to_string(member) + ".txt");
        }
        expected.push_back(ev);
        if (ev[0] == 'P') ++member;
    }
    expected.push_back("SExtraction terminée");
    for (int round = 0; round < 2; ++round) {
        Scratch t;
        clsZip zip;
        Log log(zip);
        log.withStatus = true;
        ASSERT_TRUE(zip.ZipOpen(s / "m.zip"));
        log.events.clear();
        const long before = PeakKib();
        EXPECT_TRUE(zip.ExtractAllFiles(t.path(), false, true, false));
        if (kResidentSizeIsTheEngines) {
            EXPECT_LT(PeakKib() - before, 16 * 1024);
        }
        EXPECT_EQ(log.events, expected);
        EXPECT_FALSE(log.otherThread);
        for (int i = 1; i <= 40; ++i) {
            const std::string name = "f" + std::to_string(i) + ".txt";
            const bool bad = i == 5 || i == 9 || i == 13 || i == 30;
            ASSERT_EQ(Exists(t / name), !bad) << name;
            if (!bad) {
                EXPECT_EQ(ReadFile(t / name), c.archive.members[i - 1].content) << name;
            }
        }
        // Only the files themselves: no pending file left beside them.
        EXPECT_EQ(Snapshot(t.path()).size(), 36u);
    }
}

TEST(ParallelExtract, CancelStopsWritingAndLeavesNoPendingFile) {
    const RawArchive a = ThirtyMembers("g", 3000);
    Scratch s, t;
    WriteFile(s / "g.zip", a.Build());
    clsZip zip;
    Log log(zip);
    log.cancelAt = 50;
    ASSERT_TRUE(zip.ZipOpen(s / "g.zip"));
    log.events.clear();
    EXPECT_FALSE(zip.ExtractAllFiles(t.path(), false, true, false));
    EXPECT_EQ(log.events.back(), "P50");
    EXPECT_EQ(Snapshot(t.path()).size(), 15u);  // g0 .. g14, each whole
    for (const auto& [name, content] : Snapshot(t.path())) {
        EXPECT_EQ(content.size(), 3000u + std::stoi(name.substr(1))) << name;
    }
}

// The error events, the target folder's path in them replaced by "<cible>".
std::vector<std::string> ErrorsUnder(const std::vector<std::string>& events, const std::string& folder) {
    std::vector<std::string> out;
    for (std::string e : events) {
        if (e[0] != 'E') continue;
        for (std::size_t at; (at = e.find(folder)) != std::string::npos;) e.replace(at, folder.size(), "<cible>");
        out.push_back(e);
    }
    return out;
}

// Members that meet in the target folder (the same name twice, a file
// where a later member needs a folder, a folder where a later member is a
// file) while the members around them are written on the workers: the
// result, files and errors, is that of extracting the members one by one
// in directory order.
TEST(ParallelExtract, MembersThatMeetInTheTargetFolderEndAsInDirectoryOrder) {
    RawArchive a;
    // Each meeting member after a few small ones that the workers write meanwhile.
    const struct {
        int fillersBefore;
        const char* name;
        const char* content;
    } meetings[] = {
        {3, "double.txt", "premier"},     {2, "double.txt", "second"},         {0, "un\\meme.txt", "dans un"},
        {1, "deux\\meme.txt", "dans deux"}, {0, "c", "un fichier nommé c"},  {2, "c\\d.txt", "sous c"},
        {0, "e\\f.txt", "sous e"},         {1, "e", "un fichier nommé e"},  {0, "g\\", ""},
        {0, "g", "un fichier nommé g"},    {4, "double.txt", "troisième"},
    };
    for (const auto& m : meetings) {
        for (int k = 0; k < m.fillersBefore + 1; ++k) {
            const std::string name = "remplissage" + std::to_string(a.members.size()) + ".txt";
            a.members.push_back(Member(name, std::string(500 + 37 * k, static_cast<char>('a' + k % 26))));
        }
        a.members.push_back(Member(m.name, m.content));
    }
    Scratch s;
    WriteFile(s / "meet.zip", a.Build());
    const auto count = static_cast<std::int32_t>(a.members.size());
    for (const bool preservePath : {true, false}) {
        for (const bool overWrite : {true, false}) {
            // One by one, in order: the sequential steps.
            Scratch one;
            std::vector<std::string> expected;
            {
                clsZip zip;
                Log log(zip);
                ASSERT_TRUE(zip.ZipOpen(s / "meet.zip"));
                log.events.clear();
                for (std::int32_t i = 1; i <= count; ++i) zip.ExtractSingleFile(i, one.path(), preservePath, overWrite, false);
                expected = ErrorsUnder(log.events, one.path());
            }
            for (int round = 0; round < 3; ++round) {  // the workers finish in another order each time
                Scratch all;
                clsZip zip;
                Log log(zip);
                ASSERT_TRUE(zip.ZipOpen(s / "meet.zip"));
                log.events.clear();
                zip.ExtractAllFiles(all.path(), preservePath, overWrite, false);
                EXPECT_EQ(ErrorsUnder(log.events, all.path()), expected) << preservePath << overWrite;
                EXPECT_EQ(Snapshot(all.path()), Snapshot(one.path())) << preservePath << overWrite;
                EXPECT_FALSE(log.otherThread);
            }
        }
    }
}

}  // namespace

// Memory running out while members are queued ends the test or the
// extraction as failed, never as sound and never by an exception out of the
// engine; nothing half-written is left, and the next run is whole again.
TEST(ParallelReadBack, NoMemoryToQueueAMemberEndsTheRunAsFailed) {
    const RawArchive a = ThirtyMembers("h", 2000);
    Scratch s;
    WriteFile(s / "h.zip", a.Build());
    clsZip zip;
    ASSERT_TRUE(zip.ZipOpen(s / "h.zip"));
    struct HookOff {
        ~HookOff() { kuv::zip::ParallelInflater::FailSubmissionForTesting(0); }
    } off;

    kuv::zip::ParallelInflater::FailSubmissionForTesting(3);
    bool tested = true;
    EXPECT_NO_THROW(tested = zip.TestAllFiles());
    EXPECT_FALSE(tested);

    Scratch t;
    kuv::zip::ParallelInflater::FailSubmissionForTesting(10);
    bool extracted = true;
    EXPECT_NO_THROW(extracted = zip.ExtractAllFiles(t.path(), false, true, false));
    EXPECT_FALSE(extracted);
    const auto files = Snapshot(t.path());
    EXPECT_LT(files.size(), 30u);
    for (const auto& [name, content] : files) {
        ASSERT_EQ(name[0], 'h') << "a file left under another name: " << name;
        EXPECT_EQ(content.size(), 2000u + std::stoi(name.substr(1))) << name;
    }

    kuv::zip::ParallelInflater::FailSubmissionForTesting(0);
    EXPECT_TRUE(zip.TestAllFiles());
    Scratch u;
    EXPECT_TRUE(zip.ExtractAllFiles(u.path(), false, true, false));
    EXPECT_EQ(Snapshot(u.path()).size(), 30u);
}
