// The back buffer of the SDL backend.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Platform.h"

struct SDL_Point;
struct SDL_Rect;
struct SDL_Surface;
struct SDL_Renderer;
struct SDL_Texture;

// A software surface of the playfield's size, drawn through SDL's software
// renderer. Rendered texts are kept as textures: the HUD repeats them every
// frame and rendering glyphs each time would dominate the frame's cost.
class SdlSurface final : public DrawSurface {
public:
    // pixelFormat: an SDL_PIXELFORMAT_* value (that of the window, for a
    // straight copy).
    SdlSurface(int width, int height, uint32_t pixelFormat);
    ~SdlSurface() override;
    SdlSurface(const SdlSurface&) = delete;
    SdlSurface& operator=(const SdlSurface&) = delete;

    bool valid() const { return renderer != nullptr; }
    // The pixels as drawn so far (pending drawing is flushed first).
    SDL_Surface* pixels();
    // The parts of the surface that may differ from what it held at the
    // last markShown (all of it before the first), within width x height.
    const std::vector<SDL_Rect>& changedSinceShown(int width, int height);
    void markShown();

    void setTransparentText() override {}
    void fillRect(int left, int top, int right, int bottom, Rgb colour) override;
    void setTextColor(Rgb colour) override { textColour = colour; }
    void selectPen(Rgb colour) override;
    void releasePen() override;
    void moveTo(int x, int y) override;
    void lineTo(int x, int y) override;
    void setPixel(int x, int y, Rgb colour) override;
    void ellipse(int left, int top, int right, int bottom) override;
    void drawText(const char* text, int left, int top, int right, int bottom,
                  TextAlign align) override;

private:
    struct CachedText {
        SDL_Texture* texture = nullptr;
        int width = 0, height = 0;
    };
    CachedText& renderedText(const char* text, Rgb colour);
    void setColour(Rgb colour);
    void clearTextCache();

    SDL_Surface* surface = nullptr;
    SDL_Renderer* renderer = nullptr;
    Rgb pen{255, 255, 255};
    Rgb previousPen{255, 255, 255};
    Rgb textColour{};
    int curX = 0, curY = 0;
    std::unordered_map<std::string, CachedText> texts;
    // Reused every frame, so drawing allocates nothing once texts are cached.
    std::string lookupKey;
    std::vector<SDL_Point> ellipsePoints;

    // Every frame starts by filling the whole surface black, but a frame
    // draws on a small part of it. The surface notes which tiles were drawn
    // on since it was last all black, and that fill blackens only those:
    // the same pixels for a fraction of the memory traffic.
    void markDrawn(int left, int top, int right, int bottom);
    bool clearToBlack();
    static constexpr int kTile = 64;
    int width = 0, height = 0, tilesX = 0, tilesY = 0;
    bool allBlack = false;  // black but for the tiles marked drawn
    std::vector<unsigned char> drawnTiles;
    std::vector<SDL_Rect> blackRuns;
    // The same for the copy to the window: tiles drawn on or blackened
    // since the window last got the surface, or all of them.
    bool allChanged = true;
    std::vector<unsigned char> changedTiles;
    std::vector<SDL_Rect> changedRuns;
};
