// The tick: one pass of the game, counting down to start-up first.
#pragma once

#include <cstdint>

#include "platform/Platform.h"

// Ticks that only count down before the one that runs start-up.
constexpr int kStartCountdown = 4;

// What the tick reads of the window: the window, its start countdown and
// the mouse as the window procedure last recorded it. The window fills
// it and names it in tickInput; the tick counts the countdown down and
// consumes a wheel notch.
struct TickInput {
    WindowHandle window = nullptr;
    int startCountdown = kStartCountdown;
    int wheelDelta = 0;  // +120 or -120 for a pending notch, 0 for none
    uint8_t leftButton = 0;
    uint8_t buttonDown = 0;
};
// The window's; none: a tick does nothing.
extern TickInput* tickInput;

void tick();
void startUp(WindowHandle window);
void restartGame();
void scaleUp();
void scaleDown();
