// Game pads as held keys, and XInput's fields read the same way.
#include <gtest/gtest.h>

#include <vector>

#include "platform/Gamepad.h"

namespace {
class FakePads final : public PadSource {
public:
    std::vector<bool> connected;
    std::vector<PadState> states;
    int slots() override { return static_cast<int>(states.size()); }
    bool read(int slot, PadState& out) override {
        if (!connected[static_cast<size_t>(slot)]) {
            out = PadState{};
            out.south = true;  // whatever an empty slot leaves behind must not count
            return false;
        }
        out = states[static_cast<size_t>(slot)];
        return true;
    }
};

// Which of Left, Up, Right, Space a pad holds, as letters "LURS".
std::string held(const PadState& pad) {
    std::string s;
    if (padHolds(pad, Key::Left)) s += 'L';
    if (padHolds(pad, Key::Up)) s += 'U';
    if (padHolds(pad, Key::Right)) s += 'R';
    if (padHolds(pad, Key::Space)) s += 'S';
    return s;
}
}  // namespace

TEST(Gamepad, StickPadButtonsAndTriggersHoldTheGamesKeys) {
    PadState pad;
    EXPECT_EQ(held(pad), "");
    pad.stickX = -7000;  // a stick at rest is not quite centred
    EXPECT_EQ(held(pad), "");
    pad.stickX = -20000;
    EXPECT_EQ(held(pad), "L");
    pad.stickX = 32767;
    EXPECT_EQ(held(pad), "R");
    pad = PadState{};
    pad.dpadLeft = pad.south = true;
    EXPECT_EQ(held(pad), "LS");
    pad = PadState{};
    pad.rightTrigger = 2000;  // resting trigger
    EXPECT_EQ(held(pad), "");
    pad.rightTrigger = 20000;
    EXPECT_EQ(held(pad), "U");
    pad = PadState{};
    pad.east = pad.start = pad.dpadRight = true;
    EXPECT_EQ(held(pad), "URS");

    // XInput: A fires, B thrusts, Start, the d-pad bits, triggers 0-255.
    EXPECT_EQ(held(padFromXInput(0x1000, 0, 0, 0)), "S");
    EXPECT_EQ(held(padFromXInput(0x2000 | 0x0004, 0, 0, 0)), "LU");
    EXPECT_EQ(held(padFromXInput(0x0010 | 0x0008, 0, 0, 0)), "RS");
    EXPECT_EQ(held(padFromXInput(0, 0, 29, 0)), "");
    EXPECT_EQ(held(padFromXInput(0, 255, 0, -32768)), "LU");

    // Any connected pad counts; empty slots never do.
    FakePads pads;
    pads.connected = {false, true, false, false};
    pads.states.resize(4);
    EXPECT_FALSE(anyPadHolds(pads, Key::Space));
    pads.states[1].stickX = 30000;
    EXPECT_TRUE(anyPadHolds(pads, Key::Right));
    EXPECT_FALSE(anyPadHolds(pads, Key::Left));
    pads.connected[1] = false;  // unplugged
    EXPECT_FALSE(anyPadHolds(pads, Key::Right));
}
