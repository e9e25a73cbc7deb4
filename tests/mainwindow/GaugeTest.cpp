// The gauge's arithmetic and redraws, without a window.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mainwindow/Gauge.h"

namespace kuv::backup {
namespace {

// Records what the gauge asks of its window.
class RecordingGaugeView : public GaugeView {
public:
    double backgroundWidth = 3000;  // twips, as designed
    double barWidth = 3000;
    std::vector<std::string> labels;  // every label set
    std::vector<double> barMoves;
    std::vector<int> values;  // every value given to assistive technology
    int refreshes = 0;
    int shows = 0;

    void LoadGaugeBackground() override {}
    void LoadGaugeBar() override {}
    double GaugeBackgroundWidth() const override { return backgroundWidth; }
    double GaugeBarWidth() const override { return barWidth; }
    void MoveGaugeBar(double left) override { barMoves.push_back(left); }
    void SetGaugeLabel(const std::string& text) override { labels.push_back(text); }
    void SetGaugeValue(int percent) override { values.push_back(percent); }
    void ShowGauge() override { ++shows; }
    void RefreshGauge() override { ++refreshes; }
};

std::vector<std::string> RunGauge(long announced, long taken, RecordingGaugeView& view) {
    Gauge gauge;
    gauge.Init(view, announced);
    view.labels.clear();
    for (long i = 0; i < taken; ++i) gauge.Step(view);
    return view.labels;
}

TEST(Gauge, InitResetsAndHidesTheBarOnTheLeft) {
    RecordingGaugeView view;
    Gauge gauge;
    gauge.Init(view, 100);
    EXPECT_EQ(view.labels, std::vector<std::string>{"0 %"});
    EXPECT_EQ(view.values, std::vector<int>{0});
    ASSERT_EQ(view.barMoves.size(), 1u);
    EXPECT_EQ(view.barMoves[0], -3000.0);
    EXPECT_EQ(view.shows, 1);
    EXPECT_FLOAT_EQ(gauge.StepSize(), 1.0f);
}

TEST(Gauge, ThreeAndSevenSteps) {
    RecordingGaugeView view;
    EXPECT_EQ(RunGauge(3, 3, view), (std::vector<std::string>{"33 %", "66 %", "100 %"}));
    EXPECT_EQ(view.barMoves.back(), 0.0);
    RecordingGaugeView seven;
    EXPECT_EQ(RunGauge(7, 7, seven),
              (std::vector<std::string>{"14 %", "28 %", "42 %", "57 %", "71 %", "85 %", "100 %"}));
    // Assistive technology reads the same percents as the label shows.
    EXPECT_EQ(seven.values, (std::vector<int>{0, 14, 28, 42, 57, 71, 85, 100}));
}

TEST(Gauge, ThousandStepsEndOn99InSinglePrecision) {
    RecordingGaugeView view;
    const auto labels = RunGauge(1000, 1000, view);
    ASSERT_FALSE(labels.empty());
    EXPECT_EQ(labels.back(), "99 %");
    EXPECT_EQ(labels.size(), 99u);  // one redraw per whole percent, 1 to 99
    EXPECT_EQ(view.refreshes, 99);
    // The bar: shown percent x (3000 / 100) - 3000.
    EXPECT_FLOAT_EQ(static_cast<float>(view.barMoves.back()), 99 * 30.0f - 3000.0f);
}

TEST(Gauge, MoreStepsThanAnnouncedStayAt100WithoutRedrawing) {
    RecordingGaugeView view;
    const auto labels = RunGauge(10, 25, view);
    EXPECT_EQ(labels.back(), "100 %");
    EXPECT_EQ(labels.size(), 10u);
    EXPECT_EQ(view.refreshes, 10);
    EXPECT_EQ(view.barMoves.back(), 0.0);
}

TEST(Gauge, ManyStepsRedrawAtMostOncePerPercent) {
    RecordingGaugeView view;
    RunGauge(100000, 100000, view);
    EXPECT_LE(view.refreshes, 101);
    EXPECT_GE(view.refreshes, 99);
}

TEST(Gauge, ZeroStepsKeepThePreviousStepSize) {
    RecordingGaugeView view;
    Gauge gauge;
    gauge.Init(view, 4);
    gauge.Init(view, 0);
    EXPECT_FLOAT_EQ(gauge.StepSize(), 25.0f);
    EXPECT_EQ(gauge.ShownPercent(), 0);
    EXPECT_FLOAT_EQ(gauge.AccumulatedPercent(), 0.0f);
}

TEST(Gauge, BarNarrowerThanTheScaleStopsAtZero) {
    RecordingGaugeView view;
    view.barWidth = 1500;  // half the background
    RunGauge(4, 4, view);
    EXPECT_EQ(view.barMoves.size(), 5u);         // the init, then 25, 50, 75, 100 %
    EXPECT_EQ(view.barMoves[1], -750.0);         // 25 % of 3000 - 1500
    EXPECT_EQ(view.barMoves[2], 0.0);            // 1500 - 1500
    EXPECT_EQ(view.barMoves[4], 0.0);            // never past 0
}

TEST(Gauge, ModuleGaugeIsShared) {
    RecordingGaugeView view;
    InitGauge(view, 2);
    StepGauge(view);
    EXPECT_EQ(Module8().ShownPercent(), 50);
    StepGauge(view);
    EXPECT_EQ(view.labels.back(), "100 %");
    InitGauge(view, 100);
    EXPECT_EQ(Module8().ShownPercent(), 0);
}

}  // namespace
}  // namespace kuv::backup
