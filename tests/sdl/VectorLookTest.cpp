// The vector look draws the renderer's own operations again at the
// window's scale: at scale 1 it lights the exact frame's pixels, give or
// take a pixel where anti-aliasing and round line ends differ; scaled, every
// line, dot and text of the frame is there at its scaled place; and a frame
// drawn over the last one only where it changed is the frame drawn whole
// (give or take a shade of anti-aliasing).
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "app/GameWindow.h"
#include "game/Asteroids.h"
#include "game/GameState.h"
#include "platform/DrawList.h"
#include "platform/sdl/SdlSurface.h"
#include "platform/sdl/VectorCanvas.h"
#include "present/Renderer.h"
#include "space/AdditiveFeedbackRandom.h"

namespace {

constexpr int kWidth = 320, kHeight = 240;

SpaceObject shot(float x, float y) {
    SpaceObject o;
    o.setX(x);
    o.setY(y);
    o.setVX(3);
    o.setSize(1);
    o.setLife(35);
    return o;
}

// A play frame of the real game: rocks of three sizes, the thrusting
// ship, shots, the HUD; its operations noted, its exact pixels drawn.
class VectorLook : public ::testing::Test {
protected:
    void SetUp() override {
        resetToProgramStart();
        rng::srand(7);
        gameState.fieldWidth = kWidth;
        gameState.fieldHeight = kHeight;
        playerShip.setup(kWidth / 2.0f, kHeight / 2.0f, 0, 0, 8, 0.4f, 1);
        playerShip.setThrusting(true);
        startNewGame();
        spawnAsteroids(3, 64, 80, 60);
        spawnAsteroids(2, 32, 250, 170);
        spawnAsteroids(2, 16, 60, 200);
        playerBullets.append(shot(100.0f, 120.0f));
        playerBullets.append(shot(200.0f, 40.0f));
    }
    void TearDown() override { resetToProgramStart(); }

    // The current state as the renderer draws it; with a box over it, as
    // a pause draws, when `paused`.
    DrawList frame(SdlSurface* exact = nullptr, bool paused = false) {
        DrawListSurface noted;
        noted.exact = exact;
        drawFrame(noted);
        if (paused) {
            noted.fillRect(100, 80, 220, 160, {0, 0, 0});
            noted.setTextColor({255, 255, 255});
            noted.drawText("Paused", 100, 80, 220, 160, TextAlign::Center);
        }
        return noted.list;
    }
};

uint32_t pixelAt(SDL_Surface* s, int x, int y) {
    return static_cast<const uint32_t*>(s->pixels)[y * (s->pitch / 4) + x];
}

// Lit: its brightest channel at least 3/8 of the way up (or `least`): a
// grey line that anti-aliasing shares out evenly between two pixels still
// lights both.
bool lit(SDL_Surface* s, int x, int y, uint32_t least = 96) {
    if (x < 0 || y < 0 || x >= s->w || y >= s->h) return false;
    const uint32_t p = pixelAt(s, x, y);
    return std::max({(p >> 16) & 255u, (p >> 8) & 255u, p & 255u}) >= least;
}

bool litNear(SDL_Surface* s, int x, int y, int reach) {
    for (int dy = -reach; dy <= reach; ++dy)
        for (int dx = -reach; dx <= reach; ++dx)
            if (lit(s, x + dx, y + dy)) return true;
    return false;
}

struct Comparison {
    int lit = 0, same = 0, far = 0;  // lit in `a`; lit in both; none within a pixel in `b`
};

Comparison compare(SDL_Surface* a, SDL_Surface* b) {
    Comparison c;
    for (int y = 0; y < a->h; ++y)
        for (int x = 0; x < a->w; ++x) {
            if (!lit(a, x, y)) continue;
            ++c.lit;
            if (lit(b, x, y)) ++c.same;
            if (!litNear(b, x, y, 1)) ++c.far;
        }
    return c;
}

TEST_F(VectorLook, AtScaleOneItLightsTheExactFramesPixels) {
    SdlSurface exact(kWidth, kHeight, SDL_PIXELFORMAT_RGB888);
    ASSERT_TRUE(exact.valid());
    const DrawList ops = frame(&exact);
    VectorCanvas canvas;
    canvas.draw(ops, kWidth, kHeight, Rect{0, 0, kWidth, kHeight}, kWidth, kHeight);
    ASSERT_NE(canvas.pixels(), nullptr);

    const Comparison exactInVector = compare(exact.pixels(), canvas.pixels());
    const Comparison vectorInExact = compare(canvas.pixels(), exact.pixels());
    ASSERT_GT(exactInVector.lit, 500);  // rocks, ship, HUD
    // Nothing lit in one is more than a pixel from something lit in the
    // other, and most lit pixels are the same ones.
    EXPECT_EQ(exactInVector.far, 0);
    EXPECT_EQ(vectorInExact.far, 0);
    EXPECT_GT(exactInVector.same, exactInVector.lit * 85 / 100);
    EXPECT_GT(vectorInExact.same, vectorInExact.lit * 85 / 100);
}

TEST_F(VectorLook, ScaledEveryLineDotAndTextIsThereAtItsScaledPlace) {
    const DrawList ops = frame();
    for (const double scale : {1.5, 3.0}) {
        SCOPED_TRACE(scale);
        // Centred in a larger window, with room for the border.
        const int w = static_cast<int>(kWidth * scale), h = static_cast<int>(kHeight * scale);
        const Rect place{20, 10, 20 + w, 10 + h};
        VectorCanvas canvas;
        canvas.draw(ops, kWidth, kHeight, place, w + 40, h + 20);
        SDL_Surface* shown = canvas.pixels();
        ASSERT_NE(shown, nullptr);
        const FieldView view(place, kWidth, kHeight);
        int lines = 0, dots = 0, texts = 0;
        forEachDrawItem(ops, [&](const DrawItem& item) {
            if (item.op == DrawList::line) {
                ++lines;
                // Along the scaled line, every window pixel is lit.
                const double x0 = view.x(item.a + 0.5), y0 = view.y(item.b + 0.5);
                const double x1 = view.x(item.c + 0.5), y1 = view.y(item.d + 0.5);
                const int steps = static_cast<int>(std::hypot(x1 - x0, y1 - y0)) + 1;
                for (int i = 0; i <= steps; ++i) {
                    const double t = static_cast<double>(i) / steps;
                    const int x = static_cast<int>(std::floor(x0 + t * (x1 - x0)));
                    const int y = static_cast<int>(std::floor(y0 + t * (y1 - y0)));
                    // Rocks reach past the field's edge, which cuts them.
                    if (x < place.left || y < place.top || x >= place.right || y >= place.bottom)
                        continue;
                    // Where the line only grazes a pixel it is dimmer.
                    ASSERT_TRUE(lit(shown, x, y, 64))
                        << "line " << item.a << "," << item.b << " to " << item.c << "," << item.d
                        << " at " << x << "," << y;
                }
            } else if (item.op == DrawList::pixel) {
                ++dots;
                EXPECT_TRUE(lit(shown, static_cast<int>(view.x(item.a + 0.5)),
                                static_cast<int>(view.y(item.b + 0.5))));
            } else if (item.op == DrawList::text) {
                ++texts;
                int inBox = 0;
                for (int y = static_cast<int>(view.y(item.b)); y < view.y(item.d); ++y)
                    for (int x = static_cast<int>(view.x(item.a)); x < view.x(item.c); ++x)
                        inBox += lit(shown, x, y) ? 1 : 0;
                // A line of text some 13 pixels high, scaled.
                EXPECT_GT(inBox, 40 * scale * scale) << item.text;
            }
        });
        EXPECT_GT(lines, 60);
        EXPECT_EQ(dots, 2);
        EXPECT_EQ(texts, 3);
        // Outside the field only the border is drawn: a thin line round it.
        EXPECT_FALSE(lit(shown, 5, 5));
        EXPECT_FALSE(lit(shown, w + 35, h + 15));
        bool border = false;
        for (int x = place.left - 5; x < place.left; ++x)
            border = border || lit(shown, x, place.top + h / 2, 64);
        EXPECT_TRUE(border);
    }
}

int litCount(SDL_Surface* s, uint32_t least) {
    int n = 0;
    for (int y = 0; y < s->h; ++y)
        for (int x = 0; x < s->w; ++x) n += lit(s, x, y, least) ? 1 : 0;
    return n;
}

// With and without the glow, which reaches further from each line.
TEST_F(VectorLook, AFrameDrawnWhereItChangedIsTheFrameDrawnWhole) {
    for (const bool glow : {false, true}) {
        SCOPED_TRACE(glow);
        const Rect place{13, 7, 13 + kWidth * 2, 7 + kHeight * 2};
        const int w = kWidth * 2 + 26, h = kHeight * 2 + 14;
        VectorCanvas kept;
        kept.setGlow(glow);
        int glowing = 0;
        for (int n = 0; n < 12; ++n) {
            // The game goes on: rocks and shots move, the score changes, the
            // ship turns; then a box over it, as a pause draws.
            for (int i = 0; i < asteroids.count; ++i) {
                SpaceObject rock;
                asteroids.getAt(i, rock);
                rock.setup(rock.getX() + 7.0f * static_cast<float>(i % 3), rock.getY() + 3.0f, 0, 0,
                           rock.getSize(), 0, 1);
                asteroids.putAt(i, rock);
            }
            playerShip.setAngle(playerShip.getAngle() + 0.3f);
            playerShip.updateShipPoints();
            gameState.score += 20;
            const DrawList ops = frame(nullptr, n == 8);
            const std::vector<SDL_Rect> changed = kept.draw(ops, kWidth, kHeight, place, w, h);
            if (n > 0) {
                EXPECT_LT(changed.size() * 64 * 64, static_cast<size_t>(w * h)) << n;
            }
            VectorCanvas whole, plain;
            whole.setGlow(glow);
            whole.draw(ops, kWidth, kHeight, place, w, h);
            if (n == 0) {
                // The glow lights a faint halo round every line.
                plain.draw(ops, kWidth, kHeight, place, w, h);
                glowing = litCount(whole.pixels(), 8) - litCount(plain.pixels(), 8);
            }
            // Where a line's path is cut the anti-aliasing may round a shade
            // differently; anything missed or left over is far more.
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const uint32_t a = pixelAt(kept.pixels(), x, y),
                                   b = pixelAt(whole.pixels(), x, y);
                    for (int shift : {0, 8, 16})
                        ASSERT_LE(std::abs(static_cast<int>((a >> shift) & 255u) -
                                           static_cast<int>((b >> shift) & 255u)),
                                  24)
                            << "frame " << n << " at " << x << "," << y;
                }
        }
        if (glow) {
            EXPECT_GT(glowing, 2000);
        } else {
            EXPECT_EQ(glowing, 0);
        }
    }
}

}  // namespace
