#include <emscripten/emscripten.h>
#include <emscripten/html5.h>

#include <algorithm>

#include "platform/web/WebPlatform.h"

namespace {
// Buttons and axes of the standard layout.
constexpr int kSouth = 0, kEast = 1, kLeftTrigger = 6, kRightTrigger = 7, kStart = 9,
              kDpadLeft = 14, kDpadRight = 15, kStickX = 0;
// Whether the page has seen a pad connected (page.js).
EM_JS(int, vr_pads_connected, (), { return Module.vr.padsConnected() ? 1 : 0; });
}  // namespace

int WebGamepads::slots() {
    // Reading the pads makes the browser poll them from then on, at a cost
    // that shows: not before one is connected.
    if (!vr_pads_connected()) return 0;
    // A fresh look at the pads each time, as the key state is asked.
    if (emscripten_sample_gamepad_data() != EMSCRIPTEN_RESULT_SUCCESS) return 0;
    return std::max(emscripten_get_num_gamepads(), 0);
}

bool WebGamepads::read(int slot, PadState& out) {
    EmscriptenGamepadEvent pad;
    if (emscripten_get_gamepad_status(slot, &pad) != EMSCRIPTEN_RESULT_SUCCESS || !pad.connected)
        return false;
    const auto button = [&](int i) { return i < pad.numButtons && pad.digitalButton[i]; };
    const auto analog = [&](int i) {
        return i < pad.numButtons
                   ? static_cast<int>(std::clamp(pad.analogButton[i], 0.0, 1.0) * 32767)
                   : 0;
    };
    out = PadState{};
    if (kStickX < pad.numAxes)
        out.stickX = static_cast<int>(std::clamp(pad.axis[kStickX], -1.0, 1.0) * 32767);
    out.dpadLeft = button(kDpadLeft);
    out.dpadRight = button(kDpadRight);
    out.south = button(kSouth);
    out.east = button(kEast);
    out.start = button(kStart);
    out.leftTrigger = analog(kLeftTrigger);
    out.rightTrigger = analog(kRightTrigger);
    return true;
}

bool WebKeyState::isHeld(Key key) {
    return keyboard[index(key)] || touch[index(key)] || (letters[index(key)] && lettersMove()) ||
           anyPadHolds(pads, key);
}
