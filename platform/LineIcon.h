// An icon drawn as lines on a black square with rounded corners: how the
// program's entry hands the ship's icon to a window that takes its icon as
// pixels (the Windows exe carries its own as a resource).
#pragma once

#include <vector>

#include "platform/Platform.h"

struct IconLine {
    Rgb colour;
    bool closed = false;
    std::vector<double> xy;  // x, y pairs in the icon's square
};

struct LineIcon {
    static constexpr double kSide = 256.0;   // the square's side
    static constexpr double kCorner = 40.0;  // its corners' radius
    static constexpr double kStroke = 14.0;  // thick enough to stay visible at 16 px
    std::vector<IconLine> lines;             // in drawing order
};
