#pragma once
// Helpers every window calls from its load step: centring on the screen and
// dressing with the decorative frame of the image store.

#include <QString>

class QWidget;
class QLabel;

namespace kuv {

// Twips to pixels for a widget, through the screen's logical dpi (see Twips.h).
double WidgetTwipsToPixels(const QWidget* widget, double twips);
double WidgetPixelsToTwips(const QWidget* widget, double pixels);

// left = (screen width - window width) / 2, top = (screen height - window
// height) / 2, on the window's screen; then brings the window to the front.
void CentreWindow(QWidget* window);

// The frame's corner size and the edges' thickness, in twips.
inline constexpr double kFrameCornerTwips = 480.0;

// Name of frame piece i (0 to 7) of a window's ccb array.
QString CcbPieceName(int index);

// Places the 8 pieces of the window's ccb array (child labels named
// "ccb_0" to "ccb_7"; the missing ones are created) around the window's
// current outer size: corners 480 twips square, edges filling the space
// between two corners. Each piece takes its picture from icc::ccb and goes
// behind the window's other controls. Pieces are decoration: they take no
// mouse clicks and no focus.
void DressWindowFrame(QWidget* window);

}  // namespace kuv

namespace kuv {

// Opens kMakerPageAddress in the user's browser. False when no browser could
// be started; nothing else changes.
bool OpenMakerPage();

}  // namespace kuv
