#include "ui/WindowHelpers_qt.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QWidget>
#include <cmath>

#include "ui/ImageStore_qt.h"
#include "ui/Twips.h"

namespace kuv {

namespace {

double LogicalDpi(const QWidget* widget) {
    if (widget) return widget->logicalDpiX();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) return screen->logicalDotsPerInchX();
    return kReferenceDpi;
}

int Px(double value) { return static_cast<int>(std::lround(value)); }

}  // namespace

double WidgetTwipsToPixels(const QWidget* widget, double twips) {
    return TwipsToPixels(twips, LogicalDpi(widget));
}

double WidgetPixelsToTwips(const QWidget* widget, double pixels) {
    return PixelsToTwips(pixels, LogicalDpi(widget));
}

void CentreWindow(QWidget* window) {
    if (!window) return;
    const QScreen* screen = window->screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->geometry();
    const QSize outer = window->frameGeometry().size();
    const double left = area.x() + (area.width() - outer.width()) / 2.0;
    const double top = area.y() + (area.height() - outer.height()) / 2.0;
    window->move(Px(left), Px(top));
    window->raise();
}

QString CcbPieceName(int index) { return QStringLiteral("ccb_%1").arg(index); }

void DressWindowFrame(QWidget* window) {
    if (!window) return;
    // Computed in twips from the window's size, as designed, then converted.
    const double w = WidgetPixelsToTwips(window, window->width());
    const double h = WidgetPixelsToTwips(window, window->height());
    const double c = kFrameCornerTwips;
    struct Place { double left, top, width, height; };
    const Place places[8] = {
        {0, 0, c, c},                  // 0 top-left corner
        {w - c, 0, c, c},              // 1 top-right corner
        {w - c, h - c, c, c},          // 2 bottom-right corner
        {0, h - c, c, c},              // 3 bottom-left corner
        {0, c, c, h - 2 * c},          // 4 left edge
        {c, 0, w - 2 * c, c},          // 5 top edge
        {w - c, c, c, h - 2 * c},      // 6 right edge
        {c, h - c, w - 2 * c, c},      // 7 bottom edge
    };
    const int side = Px(WidgetTwipsToPixels(window, c));
    for (int i = 0; i < 8; ++i) {
        QLabel* piece = window->findChild<QLabel*>(CcbPieceName(i), Qt::FindDirectChildrenOnly);
        if (!piece) {
            piece = new QLabel(window);
            piece->setObjectName(CcbPieceName(i));
            piece->show();
        }
        const Place& p = places[i];
        const int left = Px(WidgetTwipsToPixels(window, p.left));
        const int top = Px(WidgetTwipsToPixels(window, p.top));
        const int width = std::max(0, Px(WidgetTwipsToPixels(window, p.width)));
        const int height = std::max(0, Px(WidgetTwipsToPixels(window, p.height)));
        piece->setGeometry(left, top, width, height);
        piece->setScaledContents(true);
        piece->setAttribute(Qt::WA_TransparentForMouseEvents);
        piece->setFocusPolicy(Qt::NoFocus);
        piece->setAccessibleName(QStringLiteral("Cadre de la fenêtre"));
        piece->setPixmap(icc::ccb(i, side));
        piece->lower();
    }
}

}  // namespace kuv

#include <QDesktopServices>
#include <QUrl>

#include "ui/MakerPage.h"

namespace kuv {

bool OpenMakerPage() {
    return QDesktopServices::openUrl(QUrl(QString::fromLatin1(kMakerPageAddress)));
}

}  // namespace kuv
