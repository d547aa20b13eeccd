// The held keys, from SDL's keyboard state.
#pragma once

#include "platform/Platform.h"

// The arrow keys and the space bar, as of the last event taken.
class SdlKeyState final : public KeyState {
public:
    bool isHeld(Key key) override;
};
