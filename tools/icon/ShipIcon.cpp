// voidrunner-icon: writes the program's icon as SVG, drawn from the ship's
// own outline so the icon always matches the ship on the playfield.
//   voidrunner-icon FILE.svg
#include "app/ShipIcon.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: voidrunner-icon FILE.svg\n", stderr);
        return 2;
    }
    const LineIcon icon = shipIcon();
    std::FILE* out = std::fopen(argv[1], "w");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    constexpr double side = LineIcon::kSide;
    std::fprintf(out,
                 "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                 "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%g\" height=\"%g\" "
                 "viewBox=\"0 0 %g %g\">\n"
                 "  <rect width=\"%g\" height=\"%g\" rx=\"%g\" fill=\"#000000\"/>\n",
                 side, side, side, side, side, side, LineIcon::kCorner);
    for (const IconLine& line : icon.lines) {
        std::fprintf(out,
                     "  <%s fill=\"none\" stroke=\"#%02x%02x%02x\" stroke-width=\"%g\" "
                     "stroke-linejoin=\"round\" stroke-linecap=\"round\" points=\"",
                     line.closed ? "polygon" : "polyline", line.colour.r, line.colour.g,
                     line.colour.b, LineIcon::kStroke);
        for (std::size_t i = 0; i + 1 < line.xy.size(); i += 2)
            std::fprintf(out, "%s%.2f,%.2f", i ? " " : "", line.xy[i], line.xy[i + 1]);
        std::fputs("\"/>\n", out);
    }
    std::fputs("</svg>\n", out);
    const bool ok = std::fclose(out) == 0;
    if (!ok) std::perror(argv[1]);
    return ok ? 0 : 1;
}
