#pragma once
// Window positions and sizes are designed in twips: 1440 to the inch, that is
// 15 twips to a pixel at 96 dpi. Every conversion of the windows goes through
// these two functions, scaled by the screen's logical dpi.

namespace kuv {

inline constexpr double kTwipsPerInch = 1440.0;
inline constexpr double kReferenceDpi = 96.0;  // 15 twips per pixel

inline constexpr double TwipsToPixels(double twips, double logicalDpi = kReferenceDpi) {
    return twips * logicalDpi / kTwipsPerInch;
}

inline constexpr double PixelsToTwips(double pixels, double logicalDpi = kReferenceDpi) {
    return pixels * kTwipsPerInch / logicalDpi;
}

}  // namespace kuv
