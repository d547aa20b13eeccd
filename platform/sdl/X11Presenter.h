// Frames straight into an X11 window, each pixel packed in the window's
// visual, through shared memory (MIT-SHM) where the server offers it, and
// only the 64-pixel tiles that changed. For screens whose depth SDL cannot
// give a window surface for (an 8-bit colour map, 30-bit colour), where
// nothing else shows a picture.
#pragma once

#include <SDL.h>

#include <memory>

class X11Presenter {
public:
    X11Presenter();
    ~X11Presenter();
    X11Presenter(const X11Presenter&) = delete;
    X11Presenter& operator=(const X11Presenter&) = delete;

    // Whether frames can go to this window this way (an X11 window).
    bool attach(SDL_Window* window);
    void detach();
    // The frame (32 bits a pixel, 0x??RRGGBB, the window's size) at (0, 0);
    // what lies outside it black. Only `changed` (count rectangles) may
    // differ from the frame before, and only the tiles that do are sent;
    // with `resend` (the window lost its contents) all of it is.
    void present(SDL_Surface* frame, const SDL_Rect* changed, int count, bool resend = false);
    // The whole frame, all of it sent.
    void present(SDL_Surface* frame, int width, int height);

private:
    struct State;
    std::unique_ptr<State> state;
};
