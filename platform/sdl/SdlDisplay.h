// The SDL backend's back buffers and their copy to the window.
#pragma once

#include <SDL_rect.h>

#include <vector>

#include "platform/Platform.h"
#include "platform/sdl/VectorCanvas.h"
#include "platform/sdl/X11Presenter.h"

struct SDL_Surface;
struct SDL_Window;
class SdlSurface;

// Back buffers for the window and their copy to it. Remembers the last
// presented frame so that an exposed window is repainted from it.
class SdlDisplay final : public Display {
public:
    ~SdlDisplay() override;
    DrawSurface* createBackBuffer(WindowHandle window, int width, int height) override;
    void present(WindowHandle window, DrawSurface& surface, int width, int height) override;
    void destroyBackBuffer(DrawSurface* surface) override;
    // Centred and scaled by the host; until then at the top left, as is.
    void placeFrame(WindowHandle window, const Rect& place) override;
    bool drawsVectors() override { return true; }
    void setGlow(bool on) override { vectors.setGlow(on); }
    void presentVectors(WindowHandle window, const DrawList& frame, int width, int height) override;

    // Called by the window system.
    void repaint(SDL_Window* window);
    void windowDestroyed(SDL_Window* window);

private:
    // partial: copy only what changed since the window last got this frame,
    // when the window surface is still the one it went to.
    void copyToWindow(SDL_Window* window, SdlSurface* frame, int width, int height, bool partial);
    SDL_Surface* surfaceForX11(SDL_Window* window);
    // The vector look's picture to the window: only `changed`, when the
    // window surface still holds the rest of it.
    void copyVectors(SDL_Window* window, const std::vector<SDL_Rect>& changed, bool partial);
    SDL_Window* lastWindow = nullptr;
    SdlSurface* lastFrame = nullptr;
    int lastWidth = 0, lastHeight = 0;
    // What the window surface holds: the frame last copied there, whole.
    SdlSurface* shownFrame = nullptr;
    SDL_Surface* shownTarget = nullptr;
    int shownTargetWidth = 0, shownTargetHeight = 0, shownWidth = 0, shownHeight = 0;
    // For screens SDL has no window surface for.
    X11Presenter x11;
    SDL_Surface* x11Target = nullptr;  // the window's picture, in memory
    bool toldNoSurface = false;
    bool placed = false;
    Rect place;
    std::vector<SDL_Rect> updated;  // the changed tiles at their place in the window
    // The vector look: its picture of the window, and whether the window
    // (which surface, of what size) holds it.
    VectorCanvas vectors;
    bool vectorsShown = false;
    SDL_Surface* vectorTarget = nullptr;
    int vectorTargetWidth = 0, vectorTargetHeight = 0;
};
