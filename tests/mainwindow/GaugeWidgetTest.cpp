// The gauge's widget: pictures, the sliding bar clipped by its frame, the
// label in front.
#include <QApplication>
#include <QAccessible>
#include <QLabel>

#include <gtest/gtest.h>

#include "mainwindow/Gauge.h"
#include "mainwindow/Gauge_qt.h"

namespace kuv::backup {
namespace {

void EnsureGaugeApp() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "test_backup";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

TEST(GaugeWidget, BarSlidesInFromTheLeftBehindTheLabel) {
    EnsureGaugeApp();
    QWidget window;
    GaugeWidget gauge(&window, 200);
    Gauge state;
    state.Init(gauge, 4);
    EXPECT_FALSE(gauge.Background()->pixmap().isNull());
    EXPECT_FALSE(gauge.Bar()->pixmap().isNull());
    EXPECT_EQ(gauge.height(), gauge.Background()->height());
    EXPECT_EQ(gauge.Bar()->x(), -200);
    EXPECT_EQ(gauge.Label()->text(), "0 %");
    // The label is the front-most child, the bar just behind it.
    const QObjectList& order = gauge.children();
    EXPECT_EQ(order.indexOf(gauge.Label()), order.size() - 1);
    EXPECT_EQ(order.indexOf(gauge.Bar()), order.size() - 2);

    state.Step(gauge);
    EXPECT_EQ(gauge.Bar()->x(), -150);
    EXPECT_EQ(gauge.Label()->text(), "25 %");
    for (int i = 0; i < 3; ++i) state.Step(gauge);
    EXPECT_EQ(gauge.Bar()->x(), 0);
    EXPECT_EQ(gauge.Label()->text(), "100 %");
    EXPECT_EQ(gauge.objectName(), "kuvbbf");
    EXPECT_EQ(gauge.Label()->objectName(), "kuvbbl");
}

}  // namespace
}  // namespace kuv::backup

namespace kuv::backup {
namespace {

// Assistive technology sees one progress bar: its role, its range, its value
// following the shown percent, the label's text, no separate pictures.
TEST(GaugeWidget, ReadsAsAProgressBarToAssistiveTechnology) {
    EnsureGaugeApp();
    QWidget window;
    GaugeWidget gauge(&window, 200);
    Gauge state;
    state.Init(gauge, 4);
    state.Step(gauge);

    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&gauge);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->role(), QAccessible::ProgressBar);
    EXPECT_EQ(accessible->text(QAccessible::Name), "Progression");
    EXPECT_EQ(accessible->text(QAccessible::Value), "25 %");
    EXPECT_EQ(accessible->childCount(), 0);
    QAccessibleValueInterface* value = accessible->valueInterface();
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->minimumValue().toInt(), 0);
    EXPECT_EQ(value->maximumValue().toInt(), 100);
    EXPECT_EQ(value->currentValue().toInt(), 25);
    value->setCurrentValue(80);  // read-only: the user cannot move it
    EXPECT_EQ(value->currentValue().toInt(), 25);

    for (int i = 0; i < 3; ++i) state.Step(gauge);
    EXPECT_EQ(value->currentValue().toInt(), 100);
    EXPECT_EQ(accessible->text(QAccessible::Value), "100 %");
    // A new run starts again from 0.
    state.Init(gauge, 2);
    EXPECT_EQ(value->currentValue().toInt(), 0);
}

}  // namespace
}  // namespace kuv::backup
