#include "platform/sdl/SdlSound.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <algorithm>

#include <atomic>

namespace {

// One voice as the game hears it, on a few mixer channels taken in turn: a
// new sound starts on the next one while the one it replaces fades out over
// a few milliseconds. A cut would leave a step in the output, heard as a
// click, and thrust restarts every tick. Several starts can fall into one
// mixing period (thrust, then a bang in the same tick): with four channels
// the one taken again has long faded.
constexpr int kChannels = 4;
constexpr int kFadeMilliseconds = 8;

struct Fade {
    std::atomic<bool> requested{false};
    int framesLeft = -1;  // the mixer thread's own; -1 before the fade starts
};
Fade fades[kChannels];
int fadeFrames = 0;
int outputChannels = 2;

// A mixer effect: once a fade is asked for, a linear ramp down to silence.
void fadeOut(int, void* stream, int length, void* data) {
    Fade& fade = *static_cast<Fade*>(data);
    if (!fade.requested.load(std::memory_order_acquire)) return;
    if (fade.framesLeft < 0) fade.framesLeft = fadeFrames;
    auto* samples = static_cast<Sint16*>(stream);
    const int frames = length / static_cast<int>(sizeof(Sint16)) / outputChannels;
    for (int i = 0; i < frames; ++i) {
        const float gain = static_cast<float>(fade.framesLeft) / static_cast<float>(fadeFrames);
        for (int c = 0; c < outputChannels; ++c) {
            Sint16& s = samples[i * outputChannels + c];
            s = static_cast<Sint16>(static_cast<float>(s) * gain);
        }
        if (fade.framesLeft > 0) --fade.framesLeft;
    }
}

}  // namespace

std::string soundPath(const char* name) {
    std::string path = name ? name : "";
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

// Opened at the first call (the host sets the volume once the window is
// shown), not before the window: a sound server can take tens of
// milliseconds to answer.
bool SdlSound::ready() {
    if (tried) return open;
    tried = true;
    // No audio device is not an error: the game is then silent.
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    int frequency = 0, channels = 0;
    Uint16 format = 0;
    if (Mix_OpenAudio(44100, AUDIO_S16SYS, 2, 1024) != 0 ||
        Mix_QuerySpec(&frequency, &format, &channels) == 0 || format != AUDIO_S16SYS) {
        Mix_CloseAudio();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    outputChannels = channels;
    fadeFrames = frequency * kFadeMilliseconds / 1000;
    Mix_AllocateChannels(kChannels);
    open = true;
    return true;
}

SdlSound::~SdlSound() {
    if (!open) return;
    Mix_HaltChannel(-1);
    for (auto& [name, chunk] : chunks)
        if (chunk) Mix_FreeChunk(chunk);
    Mix_CloseAudio();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void SdlSound::play(const char* name) {
    if (!name || !ready()) return;
    const std::string path = soundPath(name);
    auto found = chunks.find(path);
    if (found == chunks.end())
        // A file that cannot be loaded is remembered as silence, not retried
        // every tick.
        found = chunks.emplace(path, Mix_LoadWAV(path.c_str())).first;
    // The next channel's sound has faded out by now (or never got heard).
    const int next = (current + 1) % kChannels;
    Mix_HaltChannel(next);
    fades[next].requested.store(false);
    fades[next].framesLeft = -1;
    stop();
    if (found->second && Mix_PlayChannel(next, found->second, 0) == next)
        // Effects go when a channel stops: registered with every start.
        Mix_RegisterEffect(next, fadeOut, nullptr, &fades[next]);
    current = next;
}

void SdlSound::stop() {
    if (open) fades[current].requested.store(true, std::memory_order_release);
}

void SdlSound::setVolume(int tenths) {
    if (ready()) Mix_Volume(-1, std::clamp(tenths, 0, 10) * MIX_MAX_VOLUME / 10);
}
