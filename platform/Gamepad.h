// Game pads as the game's held keys: the stick or the d-pad turns, the
// south button fires, a trigger or the east button thrusts, Start is the
// space bar. Shared by the backends, each reading its own pads.
#pragma once

#include <cstdint>

#include "platform/Platform.h"

struct PadState {
    int stickX = 0;  // -32768 (left) to 32767 (right)
    bool dpadLeft = false;
    bool dpadRight = false;
    bool south = false;
    bool east = false;
    bool start = false;
    int leftTrigger = 0;  // 0 to 32767
    int rightTrigger = 0;
};

bool padHolds(const PadState& pad, Key key);

// Where a backend's pads come from: slot by slot, false for an empty slot.
// slots() is asked first on every look, so it may notice pads plugged in or
// out.
class PadSource {
public:
    virtual ~PadSource() = default;
    virtual int slots() = 0;
    virtual bool read(int slot, PadState& out) = 0;
};

bool anyPadHolds(PadSource& pads, Key key);

// XInput's XINPUT_GAMEPAD fields as a PadState.
PadState padFromXInput(uint16_t buttons, uint8_t leftTrigger, uint8_t rightTrigger,
                       int16_t thumbLX);
