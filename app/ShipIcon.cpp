#include "app/ShipIcon.h"

#include <algorithm>

#include "space/SpaceObject.h"

LineIcon shipIcon() {
    // Turned to fly up and to the right: the long hull fills the square
    // better on the diagonal.
    SpaceObject ship;
    ship.buildShipModel(0.0f, 0.0f);
    ship.setAngle(0.7853982f);
    ship.updateShipPoints();
    const Vec2* m = ship.shipPoints;
    // The bounding box of points 1 to 7, scaled into the square with room
    // around it, centred.
    constexpr double kMargin = 40.0;
    double minX = m[1].x, maxX = minX, minY = m[1].y, maxY = minY;
    for (int i = 2; i <= 7; ++i) {
        minX = std::min<double>(minX, m[i].x);
        maxX = std::max<double>(maxX, m[i].x);
        minY = std::min<double>(minY, m[i].y);
        maxY = std::max<double>(maxY, m[i].y);
    }
    const double scale = (LineIcon::kSide - 2 * kMargin) / std::max(maxX - minX, maxY - minY);
    const double dx = LineIcon::kSide / 2 - scale * (minX + maxX) / 2;
    const double dy = LineIcon::kSide / 2 - scale * (minY + maxY) / 2;
    const auto line = [&](Rgb colour, bool closed, std::initializer_list<int> order) {
        IconLine l{colour, closed, {}};
        for (int i : order) {
            l.xy.push_back(dx + scale * m[i].x);
            l.xy.push_back(dy + scale * m[i].y);
        }
        return l;
    };
    // The hull (points 1 to 4, closed) in white, the flame 5-6-7 in green,
    // as the game draws a thrusting ship.
    LineIcon icon;
    icon.lines.push_back(line({0, 255, 0}, false, {5, 6, 7}));
    icon.lines.push_back(line({255, 255, 255}, true, {1, 2, 3, 4}));
    return icon;
}
