#include "platform/sdl/X11WindowState.h"

#ifdef VR_X11
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>

int x11Maximised(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
        return -1;
    Display* display = info.info.x11.display;
    const Atom state = XInternAtom(display, "_NET_WM_STATE", True);
    const Atom vertical = XInternAtom(display, "_NET_WM_STATE_MAXIMIZED_VERT", True);
    const Atom horizontal = XInternAtom(display, "_NET_WM_STATE_MAXIMIZED_HORZ", True);
    if (state == None || vertical == None || horizontal == None) return 0;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, info.info.x11.window, state, 0, 64, False, XA_ATOM, &type,
                           &format, &count, &left, &data) != Success)
        return -1;
    int found = 0;
    if (data && type == XA_ATOM && format == 32) {
        const auto* atoms = reinterpret_cast<const Atom*>(data);
        for (unsigned long i = 0; i < count; ++i)
            found |= atoms[i] == vertical ? 1 : atoms[i] == horizontal ? 2 : 0;
    }
    if (data) XFree(data);
    return found == 3 ? 1 : 0;
}

bool x11AwaitEvents(SDL_Window* window, int ms) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
        return false;
    Display* display = info.info.x11.display;
    XFlush(display);
    if (XEventsQueued(display, QueuedAlready) > 0) return true;
    pollfd fd{ConnectionNumber(display), POLLIN, 0};
    poll(&fd, 1, ms);
    return true;
}

#else

int x11Maximised(SDL_Window*) { return -1; }
bool x11AwaitEvents(SDL_Window*, int) { return false; }

#endif
