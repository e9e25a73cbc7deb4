#include "mainwindow/Gauge_qt.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QLabel>
#include <cmath>
#include <mutex>

#include "ui/ImageStore_qt.h"

namespace kuv::backup {

namespace {

constexpr int kGaugeHeightPx = 20;

// The gauge as assistive technology sees it: one progress bar whose value is
// the percent shown, read-only; its pictures and label are not separate
// objects.
class GaugeAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit GaugeAccessible(GaugeWidget* gauge) : QAccessibleWidget(gauge, QAccessible::ProgressBar) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Value) return Gauge()->Label()->text();
        return QAccessibleWidget::text(kind);
    }
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }

    QVariant currentValue() const override { return Gauge()->Value(); }
    void setCurrentValue(const QVariant&) override {}  // the user cannot move it
    QVariant maximumValue() const override { return 100; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

private:
    GaugeWidget* Gauge() const { return static_cast<GaugeWidget*>(widget()); }
};

QAccessibleInterface* GaugeAccessibleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String(GaugeWidget::staticMetaObject.className()) && object->isWidgetType())
        return new GaugeAccessible(static_cast<GaugeWidget*>(object));
    return nullptr;
}

}  // namespace

GaugeWidget::GaugeWidget(QWidget* parent, int widthPx)
    : QFrame(parent),
      widthPx_(widthPx > 0 ? widthPx : 200),
      kuvbbim1_(new QLabel(this)),
      kuvbbim2_(new QLabel(this)),
      kuvbbl_(new QLabel(this)) {
    setObjectName(QStringLiteral("kuvbbf"));
    kuvbbim1_->setObjectName(QStringLiteral("kuvbbim1"));
    kuvbbim2_->setObjectName(QStringLiteral("kuvbbim2"));
    kuvbbl_->setObjectName(QStringLiteral("kuvbbl"));
    setFrameShape(QFrame::NoFrame);
    setFixedSize(widthPx_, kGaugeHeightPx);
    for (QLabel* picture : {kuvbbim1_, kuvbbim2_}) {
        picture->setGeometry(0, 0, widthPx_, kGaugeHeightPx);
        picture->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    kuvbbim2_->move(-widthPx_, 0);
    kuvbbl_->setGeometry(0, 0, widthPx_, kGaugeHeightPx);
    kuvbbl_->setAlignment(Qt::AlignCenter);
    kuvbbl_->setStyleSheet(QStringLiteral("color: #1B2733; font-weight: bold; background: transparent;"));
    kuvbbl_->setText(QStringLiteral("0 %"));
    static std::once_flag factoryInstalled;
    std::call_once(factoryInstalled, [] { QAccessible::installFactory(GaugeAccessibleFactory); });
    setAccessibleName(QStringLiteral("Progression"));
}

void GaugeWidget::LoadGaugeBackground() {
    const QPixmap background = icc::kuvbb1(widthPx_, kGaugeHeightPx);
    if (background.isNull()) return;
    kuvbbim1_->setPixmap(background);
    kuvbbim1_->resize(widthPx_, kGaugeHeightPx);
    setFixedHeight(kuvbbim1_->height());
}

void GaugeWidget::LoadGaugeBar() {
    const QPixmap bar = icc::kuvbb2(widthPx_, kGaugeHeightPx);
    if (!bar.isNull()) {
        kuvbbim2_->setPixmap(bar);
        kuvbbim2_->resize(widthPx_, kGaugeHeightPx);
    }
    kuvbbim2_->raise();
    kuvbbl_->raise();
}

double GaugeWidget::GaugeBackgroundWidth() const { return kuvbbim1_->width(); }

double GaugeWidget::GaugeBarWidth() const { return kuvbbim2_->width(); }

void GaugeWidget::MoveGaugeBar(double left) {
    kuvbbim2_->move(static_cast<int>(std::lround(left)), kuvbbim2_->y());
}

void GaugeWidget::SetGaugeLabel(const std::string& text) {
    const QString shown = QString::fromStdString(text);
    if (shown == kuvbbl_->text()) return;
    kuvbbl_->setText(shown);
    // Assistive technology reads the label as the progress bar's value text.
    QAccessibleEvent changed(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
}

void GaugeWidget::SetGaugeValue(int percent) {
    if (percent == value_) return;
    value_ = percent;
    QAccessibleValueChangeEvent changed(this, value_);
    QAccessible::updateAccessibility(&changed);
}

void GaugeWidget::ShowGauge() {
    show();
    repaint();
}

void GaugeWidget::RefreshGauge() {
    repaint();
    QCoreApplication::processEvents();
}

}  // namespace kuv::backup
