// The SDL back buffer blackens only the tiles drawn on since its last clear.
// A surface reused frame after frame must hold exactly the pixels of a fresh
// surface given the same frame.
#include <SDL.h>
#include <SDL_ttf.h>
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "platform/sdl/SdlPlatform.h"

namespace {

constexpr int kWidth = 333, kHeight = 201;  // not whole tiles

struct Frame {
    unsigned seed;
    Rgb fill{0, 0, 0};
};

// Lines, pixels and ellipses, some reaching past the edges.
void draw(DrawSurface& s, const Frame& f) {
    std::mt19937 rng(f.seed);
    auto coord = [&](int size) { return static_cast<int>(rng() % (size + 80)) - 40; };
    s.fillRect(0, 0, kWidth, kHeight, f.fill);
    s.selectPen({200, 200, 200});
    s.moveTo(coord(kWidth), coord(kHeight));
    for (int i = 0; i < 20; ++i) s.lineTo(coord(kWidth), coord(kHeight));
    s.releasePen();
    for (int i = 0; i < 30; ++i) s.setPixel(coord(kWidth), coord(kHeight), {0, 255, 0});
    s.fillRect(coord(kWidth), coord(kHeight), coord(kWidth), coord(kHeight), {255, 0, 0});
    const int x = coord(kWidth), y = coord(kHeight);
    s.ellipse(x, y, x + 10, y + 10);
    s.setTextColor({255, 255, 255});
    s.drawText("Score: 1230", x, y, x + 90, y + 20, TextAlign::Center);
}

bool samePixels(SdlSurface& a, SdlSurface& b) {
    SDL_Surface* pa = a.pixels();
    SDL_Surface* pb = b.pixels();
    for (int y = 0; y < kHeight; ++y)
        if (std::memcmp(static_cast<char*>(pa->pixels) + y * pa->pitch,
                        static_cast<char*>(pb->pixels) + y * pb->pitch, kWidth * 4) != 0)
            return false;
    return true;
}

TEST(SdlSurfaceClear, ReusedSurfaceMatchesAFreshOneEveryFrame) {
    SdlSurface reused(kWidth, kHeight, SDL_PIXELFORMAT_RGB888);
    ASSERT_TRUE(reused.valid());
    for (unsigned n = 0; n < 60; ++n) {
        Frame frame{n};
        // A frame filled with a colour leaves no tile known to be black.
        if (n == 20) frame.fill = {0, 0, 255};
        draw(reused, frame);
        SdlSurface fresh(kWidth, kHeight, SDL_PIXELFORMAT_RGB888);
        draw(fresh, frame);
        ASSERT_TRUE(samePixels(reused, fresh)) << "frame " << n;
    }
}

// The font and fontconfig's cache, released so the leak checker sees none.
class ReleaseFont : public ::testing::Environment {
    void TearDown() override {
        TextFont::instance().close();
        if (TTF_WasInit()) TTF_Quit();
        FcFini();
    }
};
const auto* const releaseFont = ::testing::AddGlobalTestEnvironment(new ReleaseFont);

}  // namespace
