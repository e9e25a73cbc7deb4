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
#include <array>
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
// from the last one to the tick that Finish lets run), overall and by phase
// of the job.
class StallProbe {
public:
    using Clock = std::chrono::steady_clock;
    // The phases, as the job's lamps light up.
    static constexpr int kPhases = 6;
    static constexpr const char* kPhaseNames[kPhases] = {"preparing", "adding",  "writing",
                                                         "settling",  "ending", "reading back"};
    static constexpr int kReadingBack = 5;
    StallProbe() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    }
    void Start() {
        last_ = Clock::now();
        changed_ = last_;
        overall_ = Clock::duration::zero();
        longest_.fill(Clock::duration::zero());
        phase_ = 0;
        timer_.start();
    }
    // A gap across a change of phase counts for each phase with its part.
    void Phase(int phase) {
        const Clock::time_point now = Clock::now();
        longest_[phase_] = std::max(longest_[phase_], now - std::max(last_, changed_));
        changed_ = now;
        phase_ = phase;
    }
    // Lets the overdue tick run, so that a stall at the end of the work is
    // counted too, then stops.
    void Finish() {
        bool ticked = false;
        QMetaObject::Connection once = QObject::connect(&timer_, &QTimer::timeout, [&ticked] { ticked = true; });
        while (!ticked) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QObject::disconnect(once);
        timer_.stop();
    }
    // Returns: the longest gap between two ticks; with a phase, the longest
    // part of a gap spent in it.
    double LongestMs(int phase = -1) const {
        return std::chrono::duration<double, std::milli>(phase >= 0 ? longest_[phase] : overall_).count();
    }

private:
    void Tick() {
        const Clock::time_point now = Clock::now();
        overall_ = std::max(overall_, now - last_);
        longest_[phase_] = std::max(longest_[phase_], now - std::max(last_, changed_));
        last_ = now;
    }
    QTimer timer_;
    Clock::time_point last_{}, changed_{};
    Clock::duration overall_{};
    std::array<Clock::duration, kPhases> longest_{};
    int phase_ = 0;
};

// The job's window, telling the probe which phase the job is in.
class PhaseView : public FakeView {
public:
    explicit PhaseView(StallProbe& probe) : probe_(probe) {}
    void SetLamp(int lamp, int picture) override {
        FakeView::SetLamp(lamp, picture);
        if (picture == kLampOn) probe_.Phase(lamp + 1);
    }

private:
    StallProbe& probe_;
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
    StallProbe probe;
    PhaseView view(probe);
    view.selectedIndex = f.view.selectedIndex;
    view.selectedText = f.view.selectedText;
    // The read-back begins by opening the written archive.
    f.engine.Events.Status = [&probe](const std::string& text) {
        if (text == "Ouverture du Zip") probe.Phase(StallProbe::kReadingBack);
    };
    DataBackupJob job(DataBackupJobContext{f.settings, f.engine, f.dialog, view, f.gauge, f.clock, pump,
                                           f.timers, f.folders, f.drives, f.work});
    f.settings.dataFolder = data;
    f.settings.autoQuit = true;
    const std::string cliArchive = f.root + "/cli.zip";
    const std::string command = Quote(cli) + " create --overwrite " + Quote(cliArchive) + files + " > /dev/null";

    using Seconds = std::chrono::duration<double>;
    std::vector<double> jobTimes, cliTimes, stalls;
    std::array<double, StallProbe::kPhases> phaseStalls{};
    for (int round = 0; round < 3; ++round) {
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(std::system(command.c_str()), 0);
        cliTimes.push_back(Seconds(std::chrono::steady_clock::now() - start).count());

        f.clock.now.minute = round;  // a new archive each round
        probe.Start();
        const BackupRunResult result = job.Run();
        probe.Finish();
        stalls.push_back(probe.LongestMs());
        for (int phase = 0; phase < StallProbe::kPhases; ++phase) {
            phaseStalls[phase] = std::max(phaseStalls[phase], probe.LongestMs(phase));
        }
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
    for (int phase : {0, 1, 2, StallProbe::kReadingBack, 3, 4}) {
        std::printf("  while %s: %.0f ms\n", StallProbe::kPhaseNames[phase], phaseStalls[phase]);
    }
    EXPECT_LE(jobBest, 1.1 * cliBest);
    EXPECT_LE(stall, 100.0) << "the window thread stalled longer than 100 ms during a backup";
}
