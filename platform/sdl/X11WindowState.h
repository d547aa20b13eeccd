// What the window manager says of a window, where SDL's own flags fall
// behind: a maximised window that comes back from the task bar is no longer
// flagged maximised by SDL, though it still is.
#pragma once

struct SDL_Window;

// 1 when the window manager has the window maximised both ways, 0 when
// not, -1 when it cannot be told (no X11).
int x11Maximised(SDL_Window* window);

// Waits until the X server has something for the window's connection, or
// for `ms` milliseconds. False when the window is not an X11 one (nothing
// waited for).
bool x11AwaitEvents(SDL_Window* window, int ms);
