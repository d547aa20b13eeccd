#include "present/Renderer.h"

#include <climits>
#include <cstdio>

#include "game/GameState.h"
#include "scores/HighScores.h"
#include "scores/Initials.h"

namespace {

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kGreen{0, 255, 0};
constexpr Rgb kGrey{200, 200, 200};

// The back buffer, and the display that made it: it is freed through the same
// display even if the installed services changed in between.
struct BackBuffer {
    DrawSurface* surface = nullptr;
    Display* owner = nullptr;
    int width = 0;
    int height = 0;
};

BackBuffer backBuffer;

// Float to pixel, truncating toward zero. The game keeps bodies inside the
// field, but a cast of NaN or of a value beyond int is undefined, so those
// are pinned: NaN to 0, the rest to the nearest end of the int range.
int pixel(float v) {
    const double d = v;
    if (d != d) return 0;
    if (d >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (d <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(d);
}

// Move to the first point, a line to every point in turn (the first one
// included), and optionally back to the first.
void outline(DrawSurface& s, const Vec2* points, int first, int last, bool closed) {
    const int x0 = pixel(points[first].x);
    const int y0 = pixel(points[first].y);
    s.moveTo(x0, y0);
    for (int i = first; i <= last; ++i) s.lineTo(pixel(points[i].x), pixel(points[i].y));
    if (closed) s.lineTo(x0, y0);
}

void drawPlayView(DrawSurface& s) {
    // One working copy for every list element: copying draws no random
    // numbers, default construction would.
    SpaceObject body = playerShip;

    s.selectPen(kWhite);
    outline(s, playerShip.shipPoints, 1, 4, true);
    s.releasePen();

    if (playerShip.isThrusting()) {
        const Vec2* p = playerShip.shipPoints;
        s.selectPen(kGreen);
        s.moveTo(pixel(p[7].x), pixel(p[7].y));
        s.lineTo(pixel(p[6].x), pixel(p[6].y));
        s.moveTo(pixel(p[5].x), pixel(p[5].y));
        s.lineTo(pixel(p[6].x), pixel(p[6].y));
        s.releasePen();
    }

    s.selectPen(kWhite);
    for (int i = 0; i < saucers.count; ++i) {
        saucers.getAt(i, body);
        outline(s, body.saucerPoints, 1, 16, false);
    }
    s.releasePen();

    for (int i = 0; i < saucerBullets.count; ++i) {
        saucerBullets.getAt(i, body);
        s.setPixel(pixel(body.getX()), pixel(body.getY()), kGreen);
    }

    s.selectPen(kGrey);
    for (int i = 0; i < asteroids.count; ++i) {
        asteroids.getAt(i, body);
        outline(s, body.rockPoints, 1, 19, true);
    }
    s.releasePen();

    for (int i = 0; i < playerBullets.count; ++i) {
        playerBullets.getAt(i, body);
        s.setPixel(pixel(body.getX()), pixel(body.getY()), kWhite);
    }

    // Icons beyond the list's end would repeat a stale copy: draw only those
    // that exist.
    const int icons = gameState.reserveShipCount < reserveShips.count ? gameState.reserveShipCount
                                                                      : reserveShips.count;
    s.selectPen(kGrey);
    for (int i = 0; i < icons; ++i) {
        reserveShips.getAt(i, body);
        outline(s, body.shipModel, 1, 4, true);
    }
    s.releasePen();
}

void drawGameOverView(DrawSurface& s, int W, int H) {
    const int cx = W / 2;
    const int y0 = static_cast<int>(H * 0.25);
    const int ym = static_cast<int>(H * 0.66);
    char buf[32];

    drawTextBox(s, "SCORE", cx - 310, y0, 300, 16, 2);
    drawTextBox(s, "LEVEL", cx + 10, y0, 50, 16, 1);
    drawTextBox(s, "NAME", cx + 70, y0, 50, 16, 1);

    for (int r = 0; r < 10; ++r) {
        const HighScoreEntry& row = highScoreTable.rows[r];
        const int yr = y0 + 20 * (r + 1);
        std::snprintf(buf, sizeof buf, "%d", row.score);
        drawTextBox(s, buf, cx - 310, yr, 300, 16, 2);
        std::snprintf(buf, sizeof buf, "%d", row.level);
        drawTextBox(s, buf, cx + 10, yr, 50, 16, 1);
        drawTextBox(s, row.initials.c_str(), cx + 70, yr, 50, 16, 1);
    }

    if (gameState.enteringInitials) {
        drawTextBox(s, "You Got a New High Score: Enter Your Initials", 0, ym, W, 16, 1);
        drawTextBox(s, typedInitials.c_str(), 0, ym + 40, W, 16, 1);
    } else {
        drawTextBox(s, "You've Destroyed Your Last Ship", 0, ym, W, 16, 1);
        drawTextBox(s, "Press Space Twice To Start Over", 0, ym + 20, W, 16, 1);
    }
}

void drawHud(DrawSurface& s, int W, int H) {
    char buf[48];
    s.setTextColor(kWhite);
    std::snprintf(buf, sizeof buf, "Score: %d", gameState.score);
    drawTextBox(s, buf, 0, 10, W, 20, 1);
    std::snprintf(buf, sizeof buf, "Level: %d", gameState.level);
    drawTextBox(s, buf, 0, 30, W, 20, 1);
    // Wide arithmetic: the display must not overflow whatever the state holds.
    std::snprintf(buf, sizeof buf, "Throttle: %lld %%",
                  static_cast<long long>(gameState.throttle) * 10);
    drawTextBox(s, buf, 0, H - 30, W, 20, 1);

    long long shots = static_cast<long long>(gameState.level) / 2 + gameState.baseBulletLimit -
                      playerBullets.count;
    // Beyond this the circle boxes would leave the int range.
    constexpr long long kMaxCircles = (INT_MAX - 20) / 15;
    if (shots > kMaxCircles) shots = kMaxCircles;
    s.selectPen(kWhite);
    for (int i = 0; i < shots; ++i) s.ellipse(10 + 15 * i, H - 15, 20 + 15 * i, H - 5);
    s.releasePen();
}

}  // namespace

void createBackBuffer(WindowHandle window) {
    destroyBackBuffer();
    Display* display = platform().display;
    backBuffer.width = gameState.fieldWidth;
    backBuffer.height = gameState.fieldHeight;
    backBuffer.surface = display->createBackBuffer(window, backBuffer.width, backBuffer.height);
    backBuffer.owner = backBuffer.surface ? display : nullptr;
}

void presentFrame(WindowHandle window) {
    if (!backBuffer.surface) return;
    drawFrame(*backBuffer.surface);
    backBuffer.owner->present(window, *backBuffer.surface, backBuffer.width, backBuffer.height);
}

void drawFrame(DrawSurface& surface) {
    const int W = gameState.fieldWidth;
    const int H = gameState.fieldHeight;
    surface.setTransparentText();
    surface.fillRect(0, 0, W, H, kBlack);
    surface.setTextColor(kGrey);
    if (!gameState.shipDestroyed)
        drawPlayView(surface);
    else
        drawGameOverView(surface, W, H);
    drawHud(surface, W, H);
}

void drawTextBox(DrawSurface& surface, const char* text, int x, int y, int width, int height,
                 int alignment) {
    if (!text || !*text) return;
    const TextAlign align = alignment == 0   ? TextAlign::Left
                            : alignment == 1 ? TextAlign::Center
                                             : TextAlign::Right;
    surface.drawText(text, x, y, x + width + 4, y + height, align);
}

void destroyBackBuffer() {
    if (backBuffer.surface) backBuffer.owner->destroyBackBuffer(backBuffer.surface);
    backBuffer = BackBuffer{};
}

DrawSurface* backBufferSurface() { return backBuffer.surface; }

void showBackBuffer(WindowHandle window) {
    if (!backBuffer.surface) return;
    backBuffer.owner->present(window, *backBuffer.surface, backBuffer.width, backBuffer.height);
}
