#pragma once
// Background colours of the main window's controls, as red, green, blue.

namespace kuv::backup {

struct Rgb {
    int r = 0, g = 0, b = 0;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator!=(const Rgb& o) const { return !(*this == o); }
};

// Destination list Combo1: no destination chosen / a destination chosen.
inline constexpr Rgb kComboNoDestination{255, 192, 192};
inline constexpr Rgb kComboDestination{192, 255, 192};

// Label15, age of the last backup: below 2 days, below 5 days, 5 days or more.
inline constexpr Rgb kAgeRecent{128, 255, 128};
inline constexpr Rgb kAgeAging{255, 192, 128};
inline constexpr Rgb kAgeOld{255, 128, 128};

}  // namespace kuv::backup
