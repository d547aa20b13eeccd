// The SDL backend's vector look: a frame's drawing operations drawn again
// at the window's own pixels and any scale, lines, dots and circles by
// cairo (anti-aliased but at one to one), texts by SDL_ttf at the scaled
// size.
#pragma once

#include <SDL_rect.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "platform/DrawList.h"

struct SDL_Surface;
typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

class VectorCanvas {
public:
    VectorCanvas() = default;
    ~VectorCanvas();
    VectorCanvas(const VectorCanvas&) = delete;
    VectorCanvas& operator=(const VectorCanvas&) = delete;

    // Draws the frame (a field of fieldWidth x fieldHeight) into the
    // picture of a window of windowWidth x windowHeight, the field at
    // `place`, on black, with a border round the place where it does not
    // fill the window. Only the tiles that changed since the last frame
    // are drawn; they are returned, in window pixels (all of the window
    // when it was drawn whole).
    const std::vector<SDL_Rect>& draw(const DrawList& frame, int fieldWidth, int fieldHeight,
                                      const Rect& place, int windowWidth, int windowHeight);
    // A soft glow round lines and dots from the next frame on.
    void setGlow(bool on) { glow = on; }
    // The last frame again, at a new place or in a window of a new size.
    const std::vector<SDL_Rect>& redraw(const Rect& place, int windowWidth, int windowHeight);
    // The window's picture (32 bits a pixel, 0x00RRGGBB); nullptr before
    // the first frame or when it could not be made.
    SDL_Surface* pixels() const { return canvas; }

private:
    bool resize(int width, int height);
    void drawItems(const DrawList& frame, bool whole);
    void drawBorder();
    void drawText(const DrawItem& item);
    SDL_Surface* renderedText(const DrawItem& item, double scale);
    void clearTextCache();

    SDL_Surface* canvas = nullptr;
    cairo_surface_t* surface = nullptr;
    cairo_t* cr = nullptr;
    DrawList last;
    bool lastValid = false;
    int lastFieldWidth = 0, lastFieldHeight = 0;
    FieldView view, lastView;
    Rect place{}, lastPlace{};
    ChangedTiles tiles;
    std::vector<SDL_Rect> changed;
    std::vector<Rect> drawn;  // the window areas drawn this frame
    std::unordered_map<std::string, SDL_Surface*> texts;
    std::string lookupKey;
    double textScale = 0;
    bool glow = false;
};
