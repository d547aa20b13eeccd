#include "platform/win32/Win32Platform.h"

#include <mmsystem.h>

#include <ctime>

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
    return (static_cast<unsigned short>(GetAsyncKeyState(vk)) & 0x8000u) != 0;
}

// The name is a file path ("snd\fire.wav"); a new start cuts off the sound
// that plays. SND_NODEFAULT: a missing file stays silent; without it Windows
// plays its alert instead, up to 16 times a second while thrusting.
void Win32Sound::play(const char* name) {
    PlaySoundA(name, nullptr, SND_FILENAME | SND_ASYNC | SND_NODEFAULT);
}

void Win32Sound::stop() { PlaySoundA(nullptr, nullptr, 0); }

uint32_t Win32Clock::tickCount() { return GetTickCount(); }

void Win32Clock::sleep(uint32_t milliseconds) { Sleep(milliseconds); }

unsigned Win32Clock::randomSeed() { return static_cast<unsigned>(std::time(nullptr)); }

PlatformServices win32Services() {
    static Win32WindowSystem windows;
    static Win32KeyState keys;
    static Win32Display display;
    static Win32Sound sound;
    static Win32Clock clock;
    return PlatformServices{&windows, &keys, &display, &sound, &clock};
}
