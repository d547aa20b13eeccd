// VOIDRUNNER_PRESENT_LOG=FILE: one line per presented frame, the wall-clock
// time in microseconds since 1970, for measuring the first frame and the
// tick's cadence from outside (scripts/measure-game.sh,
// scripts/measure-launch.sh). The black field a window shows before the
// game's first frame is logged as "TIME field".
#pragma once

// Notes a frame just presented, or with `what` something else shown;
// nothing when the variable is not set.
void logPresentedFrame(const char* what = nullptr);
