// The SDL back buffer blackens only the tiles drawn on since its last clear,
// and the display copies only the tiles that changed to the window. A
// surface reused frame after frame must hold exactly the pixels of a fresh
// surface given the same frame, and the window exactly the surface's.
#include <SDL.h>
#include <SDL_ttf.h>
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

#include "platform/sdl/SdlDisplay.h"
#include "platform/sdl/SdlSurface.h"
#include "platform/sdl/TextFont.h"

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

bool samePixels(SDL_Surface* pa, SDL_Surface* pb) {
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
        ASSERT_TRUE(samePixels(reused.pixels(), fresh.pixels())) << "frame " << n;
    }
}

// A window smaller than the field gets the part of each frame that fits.
bool sameTopLeft(SDL_Surface* window, SDL_Surface* frame) {
    const int w = std::min(window->w, frame->w), h = std::min(window->h, frame->h);
    for (int y = 0; y < h; ++y)
        if (std::memcmp(static_cast<char*>(window->pixels) + y * window->pitch,
                        static_cast<char*>(frame->pixels) + y * frame->pitch,
                        static_cast<size_t>(w) * 4) != 0)
            return false;
    return true;
}

TEST(SdlSurfaceClear, WindowShowsEveryPresentedFrameWhole) {
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
    SDL_Window* window = SDL_CreateWindow("test", 0, 0, kWidth + 20, kHeight + 10, 0);
    ASSERT_NE(window, nullptr) << SDL_GetError();
    {
        SdlDisplay display;
        DrawSurface* back = display.createBackBuffer(window, kWidth, kHeight);
        ASSERT_NE(back, nullptr);
        for (unsigned n = 0; n < 60; ++n) {
            Frame frame{100 + n};
            if (n == 30) frame.fill = {0, 0, 255};
            // The player shrinks the window, then gives it back its size.
            if (n == 45) SDL_SetWindowSize(window, 100, 80);
            if (n == 52) SDL_SetWindowSize(window, kWidth + 20, kHeight + 10);
            draw(*back, frame);
            display.present(window, *back, kWidth, kHeight);
            if (n == 40) display.repaint(window);
            ASSERT_TRUE(
                sameTopLeft(SDL_GetWindowSurface(window), static_cast<SdlSurface*>(back)->pixels()))
                << "frame " << n;
        }
        display.destroyBackBuffer(back);
        display.windowDestroyed(window);
    }
    SDL_DestroyWindow(window);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
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
