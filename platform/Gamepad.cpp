#include "platform/Gamepad.h"

namespace {
// A resting stick or trigger is never quite at zero; these are XInput's own
// suggestions (7849 of 32767 for the left stick, 30 of 255 for a trigger).
constexpr int kStickDeadZone = 7849;
constexpr int kTriggerThreshold = 30 * 32767 / 255;
}  // namespace

bool padHolds(const PadState& pad, Key key) {
    switch (key) {
    case Key::Left: return pad.dpadLeft || pad.stickX < -kStickDeadZone;
    case Key::Right: return pad.dpadRight || pad.stickX > kStickDeadZone;
    case Key::Up:
        return pad.east || pad.leftTrigger > kTriggerThreshold ||
               pad.rightTrigger > kTriggerThreshold;
    case Key::Space: return pad.south || pad.start;
    }
    return false;
}

bool anyPadHolds(PadSource& pads, Key key) {
    PadState pad;
    for (int slot = 0; slot < pads.slots(); ++slot)
        if (pads.read(slot, pad) && padHolds(pad, key)) return true;
    return false;
}

PadState padFromXInput(uint16_t buttons, uint8_t leftTrigger, uint8_t rightTrigger,
                       int16_t thumbLX) {
    // XINPUT_GAMEPAD_* button bits.
    constexpr uint16_t dpadLeft = 0x0004, dpadRight = 0x0008, start = 0x0010, a = 0x1000,
                       b = 0x2000;
    PadState pad;
    pad.stickX = thumbLX;
    pad.dpadLeft = (buttons & dpadLeft) != 0;
    pad.dpadRight = (buttons & dpadRight) != 0;
    pad.start = (buttons & start) != 0;
    pad.south = (buttons & a) != 0;
    pad.east = (buttons & b) != 0;
    pad.leftTrigger = leftTrigger * 32767 / 255;
    pad.rightTrigger = rightTrigger * 32767 / 255;
    return pad;
}
