// One-voice sound on SDL2's own audio device.
#pragma once

#include <SDL_audio.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Platform.h"

class SoundVoices;

// A new sound stops the one that plays, fading it out over a few
// milliseconds instead of cutting it (SoundVoices). Loaded sounds are kept,
// so the hum and thrust that restart every tick are read from disk once.
class SdlSound final : public Sound {
public:
    SdlSound();
    ~SdlSound() override;
    void play(const char* name) override;
    void stop() override;
    void setVolume(int tenths) override;
    bool available() { return ready(); }

private:
    bool ready();
    static void SDLCALL fill(void* self, Uint8* stream, int bytes);
    bool tried = false;
    SDL_AudioDeviceID device = 0;
    SDL_AudioSpec spec{};
    std::unique_ptr<SoundVoices> voices;
    // In the device's format; empty: a file that could not be loaded,
    // remembered as silence rather than retried every tick.
    std::unordered_map<std::string, std::vector<Uint8>> sounds;
};

// "snd\fire.wav" -> "snd/fire.wav".
std::string soundPath(const char* name);

// The wave file at `path` in the format of `device` (16-bit samples, its
// channels and rate), converted as SDL converts; empty when it cannot be read.
std::vector<Uint8> loadSound(const std::string& path, const SDL_AudioSpec& device);
