// Draws one frame of the game into the back buffer and shows it.
#pragma once

#include "platform/Platform.h"

void createBackBuffer(WindowHandle window);
void presentFrame(WindowHandle window);
void drawFrame(DrawSurface& surface);
// alignment: 0 left, 1 centre, anything else right.
void drawTextBox(DrawSurface& surface, const char* text, int x, int y, int width, int height,
                 int alignment);
void destroyBackBuffer();
// The back buffer as the last frame left it (nullptr before start-up), and
// showing it again as it is: the host draws its pause and help over it.
DrawSurface* backBufferSurface();
void showBackBuffer(WindowHandle window);
