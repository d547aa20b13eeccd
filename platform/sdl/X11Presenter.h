// Frames straight into an X11 window with XPutImage, each pixel converted to
// the window's visual. For screens whose depth SDL cannot give a window
// surface for (an 8-bit colour map, 30-bit colour), where nothing else shows
// a picture.
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
    // The frame's top-left width x height pixels (any SDL format) at (0, 0),
    // the rest of the window black.
    void present(SDL_Surface* frame, int width, int height);

private:
    struct State;
    std::unique_ptr<State> state;
};
