#include "backup/Gauge_qt.h"

#include <QCoreApplication>
#include <QLabel>
#include <cmath>

#include "ui/ImageStore_qt.h"

namespace kuv::backup {

namespace {
constexpr int kGaugeHeightPx = 20;
}

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
    // The gauge reads as one progress indicator to assistive technology.
    setAccessibleName(QStringLiteral("Progression"));
    kuvbbim1_->setAccessibleName(QStringLiteral("Fond de la jauge"));
    kuvbbim2_->setAccessibleName(QStringLiteral("Barre de progression"));
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
    kuvbbl_->setText(QString::fromStdString(text));
    setAccessibleDescription(kuvbbl_->text());
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
