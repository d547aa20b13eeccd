// VOIDRUNNER_PRESENT_LOG=FILE: one line per presented frame, the wall-clock
// time in microseconds since 1970, for measuring the first frame and the
// tick's cadence from outside (scripts/measure-game.sh).
#pragma once

// Notes a frame just presented; nothing when the variable is not set.
void logPresentedFrame();
