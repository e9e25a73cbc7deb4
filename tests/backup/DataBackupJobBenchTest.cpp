// Speed of the data backup job against kuvzip-cli create on the same files.
// Runs only when KUVZIP_BENCH_DATA names a data folder, for example:
//   KUVZIP_BENCH_DATA=/tmp/bench-data build/bin/test_backup --gtest_filter='DataBackupJobBench*'
// The job's adding and writing phase (first FileAdd to the end of WriteZip)
// must take at most 1.1 times what the command line takes. During each run a
// 10 ms QTimer on the thread's event loop measures the window thread's
// longest stall: the longest time between two of its ticks, that is while
// the thread could not run window events. The goal is at most 100 ms.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "DataBackupJobFakes.h"
#include "backup/ExclusionRules.h"
#include "platform/Text.h"

using namespace kuv::backup;
using namespace kuv::backup::testing;

namespace {

// The window's pump: pending Qt events run after each file.
class QtPump : public FakePump {
public:
    void DoEvents() override {
        ++doEvents;
        QCoreApplication::processEvents();
    }
};

// Ticks every 10 ms on the thread's event loop while it is alive and keeps
// the longest time between two ticks (from its start to the first one, and
// from the last one to the tick that Finish lets run).
class StallProbe {
public:
    using Clock = std::chrono::steady_clock;
    StallProbe() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    }
    void Start() {
        last_ = Clock::now();
        longest_ = Clock::duration::zero();
        ticks_ = 0;
        timer_.start();
    }
    // Lets the overdue tick run, so that a stall at the end of the work is
    // counted too, then stops.
    void Finish() {
        const int before = ticks_;
        while (ticks_ == before) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        timer_.stop();
    }
    double LongestMs() const { return std::chrono::duration<double, std::milli>(longest_).count(); }
    int Ticks() const { return ticks_; }

private:
    void Tick() {
        const Clock::time_point now = Clock::now();
        longest_ = std::max(longest_, now - last_);
        last_ = now;
        ++ticks_;
    }
    QTimer timer_;
    Clock::time_point last_{};
    Clock::duration longest_{};
    int ticks_ = 0;
};

std::string Quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    return out + "'";
}

}  // namespace

TEST(DataBackupJobBenchTest, AddingAndWritingKeepsUpWithTheCommandLine) {
    const char* dataEnv = std::getenv("KUVZIP_BENCH_DATA");
    if (dataEnv == nullptr || *dataEnv == '\0') GTEST_SKIP() << "KUVZIP_BENCH_DATA not set";
    const std::string data = dataEnv;
    ASSERT_TRUE(kuv::platform::IsFolder(data)) << data;
    int argc = 1;
    char name[] = "bench";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    // The files the job keeps, for the command line.
    std::string files;
    const ExclusionRules rules("");
    int kept = 0;
    for (const auto& entry : kuv::platform::ListFolder(data)) {
        if (entry.kind != kuv::platform::EntryKind::Regular) continue;
        const std::string path = kuv::platform::JoinPath(data, entry.name);
        if (rules.Classify(kuv::platform::ToLower(entry.name), path) != Exclusion::Kept) continue;
        files += " " + Quote(path);
        ++kept;
    }
    ASSERT_GT(kept, 0);
    const std::string cli = std::string(KUVZIP_BIN_DIR) + "/kuvzip-cli";
    ASSERT_TRUE(kuv::platform::IsRegularFile(cli)) << cli;

    JobFixture f;
    QtPump pump;
    DataBackupJob job(DataBackupJobContext{f.settings, f.engine, f.dialog, f.view, f.gauge, f.clock, pump,
                                           f.timers, f.folders, f.drives, f.work});
    f.settings.dataFolder = data;
    f.settings.autoQuit = true;
    const std::string cliArchive = f.root + "/cli.zip";
    const std::string command = Quote(cli) + " create --overwrite " + Quote(cliArchive) + files + " > /dev/null";

    using Seconds = std::chrono::duration<double>;
    std::vector<double> jobTimes, cliTimes, stalls;
    StallProbe probe;
    for (int round = 0; round < 3; ++round) {
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(std::system(command.c_str()), 0);
        cliTimes.push_back(Seconds(std::chrono::steady_clock::now() - start).count());

        f.clock.now.minute = round;  // a new archive each round
        probe.Start();
        const BackupRunResult result = job.Run();
        probe.Finish();
        stalls.push_back(probe.LongestMs());
        ASSERT_EQ(result.outcome, BackupOutcome::Completed);
        ASSERT_EQ(result.savedCount, kept);
        jobTimes.push_back(Seconds(result.addAndWriteTime).count());
        kuv::platform::RemoveFile(result.archivePath);
    }
    const double jobBest = *std::min_element(jobTimes.begin(), jobTimes.end());
    const double cliBest = *std::min_element(cliTimes.begin(), cliTimes.end());
    std::printf("files kept: %d\njob add+write: best %.3f s (%.3f %.3f %.3f)\n"
                "kuvzip-cli create: best %.3f s (%.3f %.3f %.3f)\nratio: %.3f\n",
                kept, jobBest, jobTimes[0], jobTimes[1], jobTimes[2], cliBest, cliTimes[0], cliTimes[1],
                cliTimes[2], jobBest / cliBest);
    const double stall = *std::max_element(stalls.begin(), stalls.end());
    std::printf("longest window stall: %.0f ms (%.0f %.0f %.0f)\n", stall, stalls[0], stalls[1], stalls[2]);
    EXPECT_LE(jobBest, 1.1 * cliBest);
    EXPECT_LE(stall, 100.0) << "the window thread stalled longer than 100 ms during a backup";
}
