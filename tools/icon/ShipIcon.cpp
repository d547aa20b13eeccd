// voidrunner-icon: writes the program's icon as SVG, drawn from the ship's
// own outline so the icon always matches the ship on the playfield.
//   voidrunner-icon FILE.svg
#include <algorithm>
#include <cstdio>

#include "space/SpaceObject.h"

namespace {

constexpr double kSide = 256.0;   // the SVG's user units
constexpr double kMargin = 40.0;  // room around the ship
constexpr double kStroke = 14.0;  // thick enough to stay visible at 16 px

struct Fit {
    double scale = 1.0, dx = 0.0, dy = 0.0;
    double x(const Vec2& p) const { return dx + scale * p.x; }
    double y(const Vec2& p) const { return dy + scale * p.y; }
};

// Scales the model's bounding box into the square, centred.
Fit fit(const Vec2* points, int n) {
    double minX = points[0].x, maxX = minX, minY = points[0].y, maxY = minY;
    for (int i = 1; i < n; ++i) {
        minX = std::min<double>(minX, points[i].x);
        maxX = std::max<double>(maxX, points[i].x);
        minY = std::min<double>(minY, points[i].y);
        maxY = std::max<double>(maxY, points[i].y);
    }
    Fit f;
    const double room = kSide - 2 * kMargin;
    f.scale = room / std::max(maxX - minX, maxY - minY);
    f.dx = kSide / 2 - f.scale * (minX + maxX) / 2;
    f.dy = kSide / 2 - f.scale * (minY + maxY) / 2;
    return f;
}

void polyline(std::FILE* out, const Fit& f, const Vec2* p, const int* order, int n,
              const char* colour, bool closed) {
    std::fprintf(out,
                 "  <%s fill=\"none\" stroke=\"%s\" stroke-width=\"%g\" "
                 "stroke-linejoin=\"round\" stroke-linecap=\"round\" points=\"",
                 closed ? "polygon" : "polyline", colour, kStroke);
    for (int i = 0; i < n; ++i)
        std::fprintf(out, "%s%.2f,%.2f", i ? " " : "", f.x(p[order[i]]), f.y(p[order[i]]));
    std::fputs("\"/>\n", out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: voidrunner-icon FILE.svg\n", stderr);
        return 2;
    }
    // Turned to fly up and to the right: the long hull fills the square
    // better on the diagonal.
    SpaceObject ship;
    ship.buildShipModel(0.0f, 0.0f);
    ship.setAngle(0.7853982f);
    ship.updateShipPoints();
    const Vec2* m = ship.shipPoints;
    // Hull: points 1 to 4, closed, in white; the flame 5-6-7 in green, as
    // the game draws a thrusting ship.
    const int hull[] = {1, 2, 3, 4};
    const int flame[] = {5, 6, 7};
    const Fit f = fit(m + 1, 7);

    std::FILE* out = std::fopen(argv[1], "w");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    std::fprintf(out,
                 "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                 "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%g\" height=\"%g\" "
                 "viewBox=\"0 0 %g %g\">\n"
                 "  <rect width=\"%g\" height=\"%g\" rx=\"40\" fill=\"#000000\"/>\n",
                 kSide, kSide, kSide, kSide, kSide, kSide);
    polyline(out, f, m, flame, 3, "#00ff00", false);
    polyline(out, f, m, hull, 4, "#ffffff", true);
    std::fputs("</svg>\n", out);
    const bool ok = std::fclose(out) == 0;
    if (!ok) std::perror(argv[1]);
    return ok ? 0 : 1;
}
