#pragma once
// The gauge's widget: the frame kuvbbf holding the background kuvbbim1, the
// sliding bar kuvbbim2 and the label kuvbbl. A window embeds it and hands it
// to InitGauge/StepGauge as the gauge's view. Assistive technology reads it
// as a progress bar (role, value 0 to 100, the label's text), not as three
// pictures and a label.

#include <QFrame>

#include "mainwindow/Gauge.h"

class QLabel;

namespace kuv::backup {

class GaugeWidget : public QFrame, public GaugeView {
    Q_OBJECT

public:
    // widthPx: the full scale (the background's width) in pixels.
    explicit GaugeWidget(QWidget* parent = nullptr, int widthPx = 200);

    void LoadGaugeBackground() override;
    void LoadGaugeBar() override;
    double GaugeBackgroundWidth() const override;
    double GaugeBarWidth() const override;
    void MoveGaugeBar(double left) override;
    void SetGaugeLabel(const std::string& text) override;
    void SetGaugeValue(int percent) override;
    void ShowGauge() override;
    void RefreshGauge() override;

    QLabel* Background() const { return kuvbbim1_; }
    QLabel* Bar() const { return kuvbbim2_; }
    QLabel* Label() const { return kuvbbl_; }
    // The whole percent shown, 0 to 100.
    int Value() const { return value_; }

private:
    int widthPx_;
    int value_ = 0;
    QLabel* kuvbbim1_;
    QLabel* kuvbbim2_;
    QLabel* kuvbbl_;
};

}  // namespace kuv::backup
