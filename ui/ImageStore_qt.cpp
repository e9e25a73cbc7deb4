#include "ui/ImageStore_qt.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>
#include <optional>

// The artwork is built into a static library: its resources are registered
// by name before the first use.
static void InitIccResources() { Q_INIT_RESOURCE(icc); }

namespace kuv {

namespace {

struct LogoState {
    bool fileTried = false;
    std::optional<QPixmap> fromFile;  // empty: the program's own logo
};

LogoState& Logo() {
    static LogoState state;
    return state;
}

QHash<QString, QPixmap>& Cache() {
    static QHash<QString, QPixmap> cache;
    return cache;
}

// Pixmaps are released with the application, not after it.
void ReleaseWithApplication() {
    static bool connected = false;
    if (connected || !QCoreApplication::instance()) return;
    connected = true;
    QObject::connect(QCoreApplication::instance(), &QObject::destroyed, [] {
        Cache().clear();
        Logo().fromFile.reset();
        Logo().fileTried = false;
    });
}

bool IsP11Number(int number) {
    switch (number) {
        case icc::kDropbox: case icc::kOneDrive: case icc::kLampOff: case icc::kQuit:
        case icc::kLampOn: case icc::kLampFailed: case icc::kRestore: case icc::kTransfer:
        case icc::kZipMail: case icc::kSavePrograms: case icc::kRestorePrograms: case icc::kFolder:
        case icc::kAssignFolder:
            return true;
        default:
            return false;
    }
}

}  // namespace

QPixmap icc::Render(const QString& resource, int widthPx, int heightPx) {
    static bool registered = false;
    if (!registered) {
        InitIccResources();
        registered = true;
    }
    ReleaseWithApplication();
    if (widthPx <= 0 || heightPx <= 0) return {};
    const qreal ratio = qApp ? qApp->devicePixelRatio() : 1.0;
    const QString cacheKey = QStringLiteral("%1@%2x%3x%4").arg(resource).arg(widthPx).arg(heightPx).arg(ratio);
    QHash<QString, QPixmap>& cache = Cache();
    if (auto it = cache.constFind(cacheKey); it != cache.constEnd()) return *it;

    QSvgRenderer renderer(resource);
    if (!renderer.isValid()) return {};
    QPixmap pixmap(qRound(widthPx * ratio), qRound(heightPx * ratio));
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, pixmap.width(), pixmap.height()));
    }
    pixmap.setDevicePixelRatio(ratio);
    cache.insert(cacheKey, pixmap);
    return pixmap;
}

QPixmap icc::p11(int number, int sidePx) {
    if (!IsP11Number(number)) return {};
    return Render(QStringLiteral(":/icc/p11_%1.svg").arg(number), sidePx, sidePx);
}

QIcon icc::p11Icon(int number) {
    QIcon icon;
    for (int side : {16, 22, 24, 32, 48}) {
        const QPixmap pixmap = p11(number, side);
        if (pixmap.isNull()) return {};
        icon.addPixmap(pixmap);
    }
    return icon;
}

QPixmap icc::Image1(int number, int sidePx) {
    if (number < 0 || number > 4) return {};
    return Render(QStringLiteral(":/icc/Image1_%1.svg").arg(number), sidePx, sidePx);
}

QPixmap icc::ccb(int index, int sidePx) {
    if (index < 0 || index > 7) return {};
    return Render(QStringLiteral(":/icc/ccb%1.svg").arg(index), sidePx, sidePx);
}

QPixmap icc::kuvbb1(int widthPx, int heightPx) {
    return Render(QStringLiteral(":/icc/kuvbb1.svg"), widthPx, heightPx);
}

QPixmap icc::kuvbb2(int widthPx, int heightPx) {
    return Render(QStringLiteral(":/icc/kuvbb2.svg"), widthPx, heightPx);
}

bool icc::LoadLogo(const QString& file) {
    LogoState& logo = Logo();
    logo.fileTried = true;
    if (!QFileInfo(file).isFile()) return false;
    QImageReader reader(file);
    const QImage image = reader.read();
    if (image.isNull()) return false;
    ReleaseWithApplication();
    logo.fromFile = QPixmap::fromImage(image);
    return true;
}

void icc::ResetLogo() {
    Logo().fromFile.reset();
    Logo().fileTried = true;
}

QPixmap icc::logoc() {
    LogoState& logo = Logo();
    if (!logo.fileTried) LoadLogo();
    if (logo.fromFile) return *logo.fromFile;
    return Render(QStringLiteral(":/icc/logoc.svg"), 96, 96);
}

QPixmap icc::logoc(const QSize& box) {
    if (box.isEmpty()) return {};
    LogoState& logo = Logo();
    if (!logo.fileTried) LoadLogo();
    if (logo.fromFile) {
        const qreal ratio = qApp ? qApp->devicePixelRatio() : 1.0;
        QPixmap picture = *logo.fromFile;
        picture.setDevicePixelRatio(1.0);
        QPixmap fitted = picture.scaled(box * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        fitted.setDevicePixelRatio(ratio);
        return fitted;
    }
    const QSize side = QSize(96, 96).scaled(box, Qt::KeepAspectRatio);  // the logo is square
    return Render(QStringLiteral(":/icc/logoc.svg"), side.width(), side.height());
}

QString icc::p11Name(int number) {
    switch (number) {
        case kDropbox: return QStringLiteral("Dossier Dropbox");
        case kOneDrive: return QStringLiteral("Dossier OneDrive");
        case kLampOff: return QStringLiteral("Voyant éteint");
        case kQuit: return QStringLiteral("Quitter");
        case kLampOn: return QStringLiteral("Voyant allumé");
        case kLampFailed: return QStringLiteral("Voyant en échec");
        case kRestore: return QStringLiteral("Restaurer");
        case kTransfer: return QStringLiteral("Transfert");
        case kZipMail: return QStringLiteral("Zip pour la maintenance");
        case kSavePrograms: return QStringLiteral("Sauvegarde des programmes");
        case kRestorePrograms: return QStringLiteral("Restauration des programmes");
        case kFolder: return QStringLiteral("Dossier pré-programmé");
        case kAssignFolder: return QStringLiteral("Attribuer le dossier d'échange");
        default: return {};
    }
}

QString icc::Image1Name(int number) {
    switch (number) {
        case 0: return QStringLiteral("Disque système");
        case 1: return QStringLiteral("Disque fixe");
        case 2: return QStringLiteral("Cd-Rom");
        case 3: return QStringLiteral("Clé / Carte");
        case 4: return QStringLiteral("Lecteur réseau ou inconnu");
        default: return {};
    }
}

}  // namespace kuv
