#pragma once
// The image store icc: every picture the windows show, addressed by the
// numbers and names the windows use. The artwork is drawn from SVG files
// built into the program (ui/icc/*.svg); pictures are rendered at the size
// they are shown, sharp on high-density screens. An unknown number gives a
// null pixmap, which a window treats as a missing picture and skips.
//
// Requires a QGuiApplication.

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace kuv {

class icc {
public:
    // Lamps (p11 numbers): off, on (also "Valider"/"Oui"), failed (also
    // "Non"/"Annuler").
    static constexpr int kLampOff = 36;
    static constexpr int kLampOn = 67;
    static constexpr int kLampFailed = 68;
    // Other button pictures of p11.
    static constexpr int kDropbox = 2;      // "Drop-Box" cloud mode
    static constexpr int kOneDrive = 3;     // "OneDrive" cloud mode
    static constexpr int kQuit = 60;        // "Quitter"
    static constexpr int kRestore = 94;     // "Restaurer la Sauvegarde Sélectionnée"
    static constexpr int kTransfer = 248;   // "Transfert" to the exchange folder
    static constexpr int kZipMail = 250;          // "Zip Mail"
    static constexpr int kSavePrograms = 251;     // "Sauvegarder les PROGRAMMES"
    static constexpr int kRestorePrograms = 252;  // "Restaurer l'ancienne Version"
    static constexpr int kFolder = 253;           // "Dossier", the pre-programmed folder
    static constexpr int kAssignFolder = 254;     // "Attribuer repertoire"

    // Button and lamp pictures: 2, 3, 36, 60, 67, 68, 94, 248, 250-254; sidePx is
    // the shown size in pixels (24 by default).
    static QPixmap p11(int number, int sidePx = 24);
    static QIcon p11Icon(int number);
    // Drive-kind pictures of the destination list: 0 the system disk (the
    // home folder, c:), 1 another fixed disk, 2 a CD-ROM, 3 a USB key or
    // memory card, 4 a network, RAM or unknown drive.
    static QPixmap Image1(int number, int sidePx = 32);
    // The 8 pieces of the window frame: 0-3 corners (top-left, top-right,
    // bottom-right, bottom-left), 4-7 edges (left, top, right, bottom).
    // Each is a square of sidePx; edges are stretched along their length.
    static QPixmap ccb(int index, int sidePx = 32);
    // The gauge: background and sliding bar, both of the same size.
    static QPixmap kuvbb1(int widthPx = 200, int heightPx = 20);
    static QPixmap kuvbb2(int widthPx = 200, int heightPx = 20);
    // The logo: the picture file loaded by LoadLogo, else the program's own.
    // The first call tries "fc_img_024.gif" in the working directory.
    static QPixmap logoc();
    // The logo fitted into box (logical pixels, aspect kept), drawn at the
    // application's device pixel ratio so that it stays sharp on a scaled
    // screen: the program's own logo is rendered at that size, a logo
    // picture file is scaled to it.
    static QPixmap logoc(const QSize& box);
    // Loads the logo from a picture file; false (logo unchanged) when the
    // file is missing or not a picture.
    static bool LoadLogo(const QString& file = QStringLiteral("fc_img_024.gif"));
    // Back to the program's own logo (tests).
    static void ResetLogo();

    // Text of each picture for assistive technology ("Voyant éteint", ...);
    // empty for an unknown number.
    static QString p11Name(int number);
    static QString Image1Name(int number);

private:
    static QPixmap Render(const QString& resource, int widthPx, int heightPx);
};

}  // namespace kuv
