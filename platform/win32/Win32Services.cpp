#include "platform/win32/Win32Platform.h"

#include <mmsystem.h>
#include <xinput.h>

#include <algorithm>

bool Win32KeyState::isHeld(Key key) {
    int vk = VK_SPACE;
    switch (key) {
    case Key::Left: vk = VK_LEFT; break;
    case Key::Up: vk = VK_UP; break;
    case Key::Right: vk = VK_RIGHT; break;
    case Key::Space: vk = VK_SPACE; break;
    }
    // The most significant bit: held now. The low bit (pressed since the
    // last query) is not what the game asks.
    if ((static_cast<unsigned short>(GetAsyncKeyState(vk)) & 0x8000u) != 0) return true;
    return pads_ && anyPadHolds(*pads_, key);
}

bool Win32KeyState::isLetterHeld(char wasd) {
    // The keys' places (scan codes) on the keyboard, whatever the layout.
    UINT scan = 0;
    switch (wasd) {
    case 'W': scan = 0x11; break;
    case 'A': scan = 0x1E; break;
    case 'S': scan = 0x1F; break;
    case 'D': scan = 0x20; break;
    default: return false;
    }
    const UINT vk = MapVirtualKeyA(scan, MAPVK_VSC_TO_VK);
    return vk != 0 &&
           (static_cast<unsigned short>(GetAsyncKeyState(static_cast<int>(vk))) & 0x8000u);
}

XInputPads::XInputPads() {
    // Loaded, not linked: a system without XInput still runs the game.
    for (const char* dll : {"xinput1_4.dll", "xinput1_3.dll", "xinput9_1_0.dll"}) {
        HMODULE module = LoadLibraryA(dll);
        if (!module) continue;
        if (FARPROC proc = GetProcAddress(module, "XInputGetState")) {
            getState_ = reinterpret_cast<GetState>(reinterpret_cast<void (*)()>(proc));
            return;
        }
        FreeLibrary(module);
    }
}

int XInputPads::slots() { return getState_ ? XUSER_MAX_COUNT : 0; }

bool XInputPads::read(int slot, PadState& out) {
    if (!getState_ || slot < 0 || slot >= XUSER_MAX_COUNT) return false;
    // Asking an empty slot is slow: ask again only every two seconds, so a
    // pad plugged in later is still found.
    const DWORD now = GetTickCount();
    if (!connected_[slot] && static_cast<int32_t>(now - retryAt_[slot]) < 0) return false;
    XINPUT_STATE state{};
    if (getState_(static_cast<DWORD>(slot), &state) != ERROR_SUCCESS) {
        connected_[slot] = false;
        retryAt_[slot] = now + 2000;
        return false;
    }
    connected_[slot] = true;
    out = padFromXInput(state.Gamepad.wButtons, state.Gamepad.bLeftTrigger,
                        state.Gamepad.bRightTrigger, state.Gamepad.sThumbLX);
    return true;
}

// The name is a file path ("snd\fire.wav"); a new start cuts off the sound
// that plays. SND_NODEFAULT: a missing file stays silent; without it Windows
// plays its alert instead, up to 16 times a second while thrusting.
void Win32Sound::play(const char* name) {
    PlaySoundA(name, nullptr, SND_FILENAME | SND_ASYNC | SND_NODEFAULT);
}

void Win32Sound::stop() { PlaySoundA(nullptr, nullptr, 0); }

void Win32Sound::setVolume(int tenths) {
    const DWORD level = static_cast<DWORD>(std::clamp(tenths, 0, 10)) * 0xFFFFu / 10;
    waveOutSetVolume(nullptr, level | (level << 16));  // left and right
}

uint32_t Win32Clock::tickCount() { return GetTickCount(); }

void Win32Clock::sleep(uint32_t milliseconds) { Sleep(milliseconds); }

PlatformServices win32Services() {
    static Win32WindowSystem windows;
    static XInputPads pads;
    static Win32KeyState keys(&pads);
    static Win32Display display;
    static Win32Sound sound;
    static Win32Clock clock;
    return {
        .windows = &windows, .keys = &keys, .display = &display, .sound = &sound, .clock = &clock};
}
