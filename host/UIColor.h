#pragma once

#include "HostExport.h"

// A colour. RGB colours and grey-scale (white level) colours are different
// kinds and stay apart: a grey made with colorWithWhite is not an RGB colour
// with three equal components. Components are handed on exactly as given.
struct HOST_API UIColor {
    enum class Space { RGB, White };

    Space space = Space::White;
    double red = 0, green = 0, blue = 0;  // RGB only
    double white = 0;                     // White only
    double alpha = 1;

    static UIColor colorWithRed(double red, double green, double blue, double alpha) {
        return UIColor{Space::RGB, red, green, blue, 0, alpha};
    }
    static UIColor colorWithWhite(double white, double alpha) {
        return UIColor{Space::White, 0, 0, 0, white, alpha};
    }

    bool operator==(const UIColor&) const = default;
};
