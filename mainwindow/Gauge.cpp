#include "mainwindow/Gauge.h"

#include <cmath>

namespace kuv::backup {

std::string GaugeLabel(int percent) { return std::to_string(percent) + " %"; }

void Gauge::Init(GaugeView& view, long steps) {
    view.LoadGaugeBackground();
    view.SetGaugeLabel(GaugeLabel(0));
    view.SetGaugeValue(0);
    view.LoadGaugeBar();
    startPosition_ = -static_cast<float>(view.GaugeBarWidth());
    view.MoveGaugeBar(startPosition_);  // the bar wholly outside, on the left
    unitsPerPercent_ = static_cast<float>(view.GaugeBackgroundWidth()) / 100.0f;
    shown_ = 0;
    accumulated_ = 0.0f;
    barPosition_ = 0.0f;
    if (steps > 0) stepSize_ = 100.0f / static_cast<float>(steps);
    view.ShowGauge();
}

void Gauge::Step(GaugeView& view) {
    accumulated_ += stepSize_;
    // The whole part, kept between 0 and 100. Comparing the kept value means
    // that steps beyond the announced number redraw nothing.
    float whole = std::floor(accumulated_);
    if (whole > 100.0f) whole = 100.0f;
    if (whole < 0.0f) whole = 0.0f;
    const auto percent = static_cast<int16_t>(whole);
    if (percent == shown_) return;
    shown_ = percent;
    barPosition_ = static_cast<float>(shown_) * unitsPerPercent_ + startPosition_;
    if (barPosition_ > 0.0f) barPosition_ = 0.0f;
    view.MoveGaugeBar(barPosition_);
    view.SetGaugeLabel(GaugeLabel(shown_));
    view.SetGaugeValue(shown_);
    view.RefreshGauge();
}

Gauge& Module8() {
    static Gauge gauge;
    return gauge;
}

void InitGauge(GaugeView& view, long steps) { Module8().Init(view, steps); }

void StepGauge(GaugeView& view) { Module8().Step(view); }

}  // namespace kuv::backup
