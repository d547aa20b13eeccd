#include "platform/sdl/SdlDisplay.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/sdl/PresentLog.h"
#include "platform/sdl/SdlSurface.h"
#include "platform/sdl/TextFont.h"

SdlDisplay::~SdlDisplay() { SDL_FreeSurface(x11Target); }

DrawSurface* SdlDisplay::createBackBuffer(WindowHandle window, int width, int height) {
    uint32_t format = SDL_PIXELFORMAT_RGB888;
    // The window's own format makes the copy to it a plain memory copy.
    if (SDL_Surface* target = window ? SDL_GetWindowSurface(static_cast<SDL_Window*>(window))
                                     : nullptr)
        format = target->format->format;
    auto* surface = new SdlSurface(width, height, format);
    if (!surface->valid()) {
        delete surface;
        return nullptr;
    }
    // Finding and opening the font takes tens of milliseconds: here, in the
    // start-up tick that draws nothing, it neither delays the first frame
    // nor shortens the wait for the second.
    TextFont::instance().font();
    return surface;
}

void SdlDisplay::present(WindowHandle window, DrawSurface& surface, int width, int height) {
    auto* frame = dynamic_cast<SdlSurface*>(&surface);
    auto* target = static_cast<SDL_Window*>(window);
    if (!frame || !target) return;
    lastWindow = target;
    lastFrame = frame;
    lastWidth = width;
    lastHeight = height;
    vectorsShown = false;
    copyToWindow(target, frame, width, height, true);
    logPresentedFrame();
}

void SdlDisplay::presentVectors(WindowHandle window, const DrawList& frame, int width, int height) {
    auto* target = static_cast<SDL_Window*>(window);
    if (!target) return;
    int w = 0, h = 0;
    SDL_GetWindowSizeInPixels(target, &w, &h);
    const Rect where = placed ? place : Rect{0, 0, width, height};
    const std::vector<SDL_Rect>& changed = vectors.draw(frame, width, height, where, w, h);
    const bool partial = vectorsShown && target == lastWindow;
    lastWindow = target;
    lastFrame = nullptr;
    shownFrame = nullptr;  // the exact frame's next copy is whole
    vectorsShown = true;
    copyVectors(target, changed, partial);
    logPresentedFrame();
}

void SdlDisplay::copyVectors(SDL_Window* window, const std::vector<SDL_Rect>& changed,
                             bool partial) {
    SDL_Surface* picture = vectors.pixels();
    if (!picture) return;
    SDL_Surface* target = SDL_GetWindowSurface(window);
    if (!target) {
        // Sent through X11 itself: the picture is the window's size.
        if (!x11.attach(window)) return;
        if (partial)
            x11.present(picture, changed.data(), static_cast<int>(changed.size()));
        else
            x11.present(picture, picture->w, picture->h);
        return;
    }
    if (!partial || target != vectorTarget || target->w != vectorTargetWidth ||
        target->h != vectorTargetHeight) {
        vectorTarget = target;
        vectorTargetWidth = target->w;
        vectorTargetHeight = target->h;
        SDL_BlitSurface(picture, nullptr, target, nullptr);
        SDL_UpdateWindowSurface(window);
        return;
    }
    if (changed.empty()) return;
    for (SDL_Rect r : changed) {
        SDL_Rect to = r;
        SDL_BlitSurface(picture, &r, target, &to);
    }
    SDL_UpdateWindowSurfaceRects(window, changed.data(), static_cast<int>(changed.size()));
}

void SdlDisplay::placeFrame(WindowHandle, const Rect& where) {
    placed = true;
    place = where;
    shownFrame = nullptr;  // the next copy is whole
    // Lines are drawn anew for a new place, even while no frame comes.
    if (vectorsShown && lastWindow) repaint(lastWindow);
}

void SdlDisplay::copyToWindow(SDL_Window* window, SdlSurface* frame, int width, int height,
                              bool partial) {
    SDL_Surface* target = SDL_GetWindowSurface(window);
    const bool throughX11 = !target;
    if (throughX11 && !(target = surfaceForX11(window))) return;
    // The frame's place in the window: the top left corner until the host
    // gives it one.
    SDL_Rect at{0, 0, width, height};
    if (placed)
        at = SDL_Rect{place.left, place.top, place.right - place.left, place.bottom - place.top};
    const bool scaled = at.w != width || at.h != height;
    // Most of a frame is the black it was a tick ago: then only the tiles
    // drawn on in either frame are copied and sent to the window.
    if (partial && !scaled && frame && frame == shownFrame && target == shownTarget &&
        target->w == shownTargetWidth && target->h == shownTargetHeight && width == shownWidth &&
        height == shownHeight) {
        SDL_Surface* pixels = frame->pixels();
        // Only what lies inside the window: it may be smaller than the field.
        const std::vector<SDL_Rect>& changed = frame->changedSinceShown(
            std::min(width, target->w - at.x), std::min(height, target->h - at.y));
        updated.clear();
        for (SDL_Rect r : changed) {
            SDL_Rect to{r.x + at.x, r.y + at.y, r.w, r.h};
            updated.push_back(to);
            SDL_BlitSurface(pixels, &r, target, &to);
        }
        frame->markShown();
        if (throughX11)
            x11.present(target, updated.data(), static_cast<int>(updated.size()));
        else if (!updated.empty())
            SDL_UpdateWindowSurfaceRects(window, updated.data(), static_cast<int>(updated.size()));
        return;
    }
    shownFrame = scaled ? nullptr : frame;
    shownTarget = target;
    shownTargetWidth = target->w;
    shownTargetHeight = target->h;
    shownWidth = width;
    shownHeight = height;
    if (frame) {
        SDL_Rect from{0, 0, width, height};
        SDL_Rect to = at;
        SDL_Surface* pixels = frame->pixels();
        if (!scaled) {
            SDL_BlitSurface(pixels, &from, target, &to);
        } else if (at.w >= width ||
                   // Shrinking blends neighbouring pixels, so that one-pixel
                   // lines fade rather than vanish.
                   SDL_SoftStretchLinear(pixels, &from, target, &to) != 0) {
            // Enlarging by whole steps repeats pixels.
            to = at;
            SDL_BlitScaled(pixels, &from, target, &to);
        }
        frame->markShown();
    } else {
        at = SDL_Rect{0, 0, 0, 0};
    }
    // Whatever of the window lies outside the frame stays black.
    const uint32_t black = SDL_MapRGB(target->format, 0, 0, 0);
    const SDL_Rect sides[] = {
        {0, 0, target->w, at.y},
        {0, at.y + at.h, target->w, target->h - at.y - at.h},
        {0, at.y, at.x, at.h},
        {at.x + at.w, at.y, target->w - at.x - at.w, at.h},
    };
    for (const SDL_Rect& side : sides)
        if (side.w > 0 && side.h > 0) SDL_FillRect(target, &side, black);
    if (throughX11) {
        // A repaint resends all; a new or scaled frame only what changed.
        const SDL_Rect all{0, 0, target->w, target->h};
        x11.present(target, &all, 1, !partial);
    } else {
        SDL_UpdateWindowSurface(window);
    }
}

// SDL gives no window surface at some X depths (an 8-bit colour map, 30-bit
// colour: "Unknown window pixel format"): frames are then placed in a
// surface of the window's size, as they would be in the window's own, and
// that goes to the window through X11 itself, converted to its visual.
SDL_Surface* SdlDisplay::surfaceForX11(SDL_Window* window) {
    const bool attached = x11.attach(window);
    if (!toldNoSurface) {
        toldNoSurface = true;
        std::fprintf(stderr,
                     attached ? "voidrunner: no window surface at this screen's depth (%s); the "
                                "game draws through X11 instead\n"
                              : "voidrunner: no window surface at this screen's depth (%s) and no "
                                "other way to draw: the window stays black\n",
                     SDL_GetError());
    }
    if (!attached) return nullptr;
    int w = 0, h = 0;
    SDL_GetWindowSize(window, &w, &h);
    if (w <= 0 || h <= 0) return nullptr;
    if (!x11Target || x11Target->w != w || x11Target->h != h) {
        SDL_FreeSurface(x11Target);
        x11Target = SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_RGB888);
    }
    return x11Target;
}

void SdlDisplay::repaint(SDL_Window* window) {
    if (vectorsShown && window == lastWindow && placed) {
        // Maybe at a new size: the last frame drawn again at its place now.
        int w = 0, h = 0;
        SDL_GetWindowSizeInPixels(window, &w, &h);
        vectors.redraw(place, w, h);
        copyVectors(window, {}, false);
    } else if (window == lastWindow) {
        copyToWindow(window, lastFrame, lastWidth, lastHeight, false);
    } else {
        // The field, black, from the moment the window is shown until the
        // game's first frame (the start-up countdown's five ticks).
        copyToWindow(window, nullptr, 0, 0, false);
        logPresentedFrame("field");
    }
}

void SdlDisplay::windowDestroyed(SDL_Window* window) {
    if (window == lastWindow) lastWindow = nullptr;
    x11.detach();
    SDL_FreeSurface(x11Target);
    x11Target = nullptr;
    shownFrame = nullptr;
    shownTarget = nullptr;
    vectorsShown = false;
    vectorTarget = nullptr;
}

void SdlDisplay::destroyBackBuffer(DrawSurface* surface) {
    if (surface == lastFrame) {
        lastFrame = nullptr;
        lastWindow = nullptr;
    }
    if (surface == shownFrame) {
        shownFrame = nullptr;
        shownTarget = nullptr;
    }
    delete surface;
}
