// The held keys, from SDL's keyboard state and the game pads.
#pragma once

#include "platform/Gamepad.h"
#include "platform/Platform.h"

// The arrow keys and the space bar, as of the last event taken; a pad's
// stick, buttons and triggers hold the same keys.
class SdlKeyState final : public KeyState {
public:
    explicit SdlKeyState(PadSource* padSource = nullptr) : pads(padSource) {}
    bool isHeld(Key key) override;
    bool isLetterHeld(char wasd) override;

private:
    PadSource* pads;
};
