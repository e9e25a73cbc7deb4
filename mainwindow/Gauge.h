#pragma once
// The percentage gauge of the main window (module Module8): a frame `kuvbbf`
// with a fixed background picture `kuvbbim1`, a bar picture `kuvbbim2` as
// wide as the background that slides in from the left as the work advances,
// and a label `kuvbbl` in front of the bar showing "42 %".
//
// InitGauge is called before a run with the number of steps, StepGauge after
// each step. The sums are kept in single precision, as the gauge always did:
// 3 steps show 33 %, 66 %, 100 %; 1000 steps end just below 100, on 99 %.
// The window is redrawn only when the whole percent shown changes, at most
// 101 times per run however many steps there are.

#include <cstdint>
#include <string>

namespace kuv::backup {

// What the gauge needs from the window that holds it. Lengths are in the
// window's units (pixels for the Qt window); only their ratios matter.
class GaugeView {
public:
    virtual ~GaugeView() = default;
    // kuvbbim1 takes the picture kuvbb1 of the image store; kuvbbf takes
    // kuvbbim1's height.
    virtual void LoadGaugeBackground() = 0;
    // kuvbbim2 takes the picture kuvbb2; kuvbbim2 goes to the front, then
    // kuvbbl in front of it.
    virtual void LoadGaugeBar() = 0;
    virtual double GaugeBackgroundWidth() const = 0;  // kuvbbim1's width: the full scale
    virtual double GaugeBarWidth() const = 0;         // kuvbbim2's width
    virtual void MoveGaugeBar(double left) = 0;       // kuvbbim2's left edge in kuvbbf
    virtual void SetGaugeLabel(const std::string& text) = 0;  // kuvbbl's text
    // The whole percent shown (0 to 100), for assistive technology, which
    // reads the gauge as a progress bar; set with each label change.
    virtual void SetGaugeValue(int percent) = 0;
    virtual void ShowGauge() = 0;     // kuvbbf made visible and repainted
    // kuvbbf repainted, then pending window events run.
    virtual void RefreshGauge() = 0;
};

// The label's text for a whole percent: "0 %" ... "100 %".
std::string GaugeLabel(int percent);

// The gauge's state. The program uses one, through InitGauge and StepGauge;
// tests may use their own.
class Gauge {
public:
    // Resets and shows the gauge for a run of the given number of steps.
    // With 0 (or fewer) steps the step size keeps its previous value.
    void Init(GaugeView& view, long steps);
    // Adds one step; redraws when the whole percent changed.
    void Step(GaugeView& view);

    float StepSize() const { return stepSize_; }
    float AccumulatedPercent() const { return accumulated_; }
    int ShownPercent() const { return shown_; }
    float BarPosition() const { return barPosition_; }

private:
    float stepSize_ = 0.0f;         // percent per step: 100 / number of steps
    float accumulated_ = 0.0f;      // sum of the steps taken
    int16_t shown_ = 0;             // whole percent last displayed, 0 to 100
    float unitsPerPercent_ = 0.0f;  // background width / 100
    float startPosition_ = 0.0f;    // minus the bar's width: its left edge at 0 %
    float barPosition_ = 0.0f;      // bar's left edge for the shown percent, at most 0
};

// The program's gauge (module-wide state of Module8).
Gauge& Module8();
void InitGauge(GaugeView& view, long steps);
void StepGauge(GaugeView& view);

}  // namespace kuv::backup
