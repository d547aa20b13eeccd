#include "app/host/HostControls.h"

#include <algorithm>

#include "game/GameState.h"
#include "present/Renderer.h"

namespace {

bool fullscreenAtStart = false;

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};

const char* const kPausedLines[] = {"Paused", "Any key plays on"};
const char* const kHelpLines[] = {
    "Controls",
    "Left, Right: turn",
    "Up: thrust",
    "Space: fire",
    "Space twice after a game: new game",
    "1 to 9, 0: throttle 10 to 100 %",
    "Mouse buttons: outline size",
    "P or Pause: pause    M: sound",
    "F11 or Alt+Enter: fullscreen",
    "Gamepad: stick or pad turns, A fires,",
    "B or a trigger thrusts, Start: Space",
    "Any key plays on",
};

// A black box with a white border and centred white lines, in the middle
// of the field.
template <size_t N>
void drawBox(DrawSurface& s, const char* const (&lines)[N]) {
    constexpr int kLine = 18;
    const int fieldWidth = gameState.fieldWidth;
    const int fieldHeight = gameState.fieldHeight;
    const int width = std::min(fieldWidth - 8, 300);
    const int height = static_cast<int>(N) * kLine + 16;
    const int left = (fieldWidth - width) / 2;
    const int top = std::max((fieldHeight - height) / 2, 0);
    s.fillRect(left, top, left + width, top + height, kBlack);
    s.selectPen(kWhite);
    s.moveTo(left, top);
    s.lineTo(left + width - 1, top);
    s.lineTo(left + width - 1, top + height - 1);
    s.lineTo(left, top + height - 1);
    s.lineTo(left, top);
    s.releasePen();
    s.setTextColor(kWhite);
    for (size_t i = 0; i < N; ++i) {
        const int y = top + 8 + static_cast<int>(i) * kLine;
        s.drawText(lines[i], left, y, left + width, y + kLine, TextAlign::Center);
    }
}

bool isArrow(uintptr_t key) { return key >= vk::left && key <= vk::down; }

}  // namespace

void setStartFullscreen(bool on) { fullscreenAtStart = on; }
bool startFullscreen() { return fullscreenAtStart; }

HostControls::~HostControls() { detach(); }

void HostControls::attach() {
    if (gate.inner) return;
    settings = loadSettings();
    gate.inner = platform().sound;
    platform().sound = &gate;
}

void HostControls::detach() {
    if (!gate.inner) return;
    if (platform().sound == &gate) platform().sound = gate.inner;
    gate.inner = nullptr;
}

void HostControls::Gate::play(const char* name) {
    if (inner && !owner.muted() && !owner.paused()) inner->play(name);
}

void HostControls::Gate::stop() {
    if (inner) inner->stop();
}

bool HostControls::takes(const Message& msg, bool typingInitials) {
    const uintptr_t code = msg.wParam;
    switch (msg.message) {
    case wm::keyDown:
        if (code == vk::f11) {
            toggleFullscreen(msg.window);
        } else if (code == vk::pause) {
            if (paused())
                resume();
            else
                pause(msg.window, Overlay::Paused);
        } else if (code == vk::f1) {
            if (overlay == Overlay::Help)
                resume();
            else
                pause(msg.window, Overlay::Help);
        } else if (paused() && isArrow(code)) {
            resume();
        } else {
            // Keys that type a character resume with that character.
            return false;
        }
        return true;
    case wm::sysKeyDown:
        // Still the window procedure's: Windows tracks Alt through it, and
        // would otherwise take Alt+Enter for Alt alone and open the menu.
        if (code == vk::returnKey) toggleFullscreen(msg.window);
        return false;
    case wm::sysCharacter:
        // Alt+Enter's character: the system would only beep at it.
        return code == '\r';
    case wm::character:
        if (paused()) {
            resume();
            return true;
        }
        if (typingInitials) return false;
        if (code == 'p' || code == 'P') {
            pause(msg.window, Overlay::Paused);
            return true;
        }
        if (code == 'm' || code == 'M') {
            toggleMute();
            return true;
        }
        return false;
    case wm::leftButtonDown:
    case wm::leftButtonUp:
    case wm::rightButtonDown:
    case wm::rightButtonUp:
    case wm::mouseWheel:
        // Nothing reaches the game while it waits.
        return paused();
    default: return false;
    }
}

void HostControls::windowLeft(WindowHandle window) {
    // Before the first frame there is nothing to stop and nothing to show.
    if (!paused() && backBufferSurface()) pause(window, Overlay::Paused);
}

void HostControls::refresh(WindowHandle window) {
    DrawSurface* surface = backBufferSurface();
    if (!paused() || !surface) return;
    // The state has not moved since the last tick: this is its frame again.
    drawFrame(*surface);
    if (overlay == Overlay::Help)
        drawBox(*surface, kHelpLines);
    else
        drawBox(*surface, kPausedLines);
    showBackBuffer(window);
}

void HostControls::pause(WindowHandle window, Overlay what) {
    overlay = what;
    if (gate.inner)
        gate.inner->stop();
    else
        platform().sound->stop();
    refresh(window);
}

void HostControls::resume() { overlay = Overlay::None; }

void HostControls::toggleMute() {
    settings.muted = !settings.muted;
    if (settings.muted) platform().sound->stop();
    saveSettings(settings);
}

void HostControls::toggleFullscreen(WindowHandle window) {
    WindowSystem& ws = *platform().windows;
    ws.setFullscreen(window, !ws.isFullscreen(window));
}
