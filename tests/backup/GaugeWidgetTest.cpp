// The gauge's widget: pictures, the sliding bar clipped by its frame, the
// label in front.
#include <QApplication>
#include <QLabel>

#include <gtest/gtest.h>

#include "backup/Gauge.h"
#include "backup/Gauge_qt.h"

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
