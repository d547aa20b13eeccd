// One-voice sound through SDL2_mixer.
#pragma once

#include <string>
#include <unordered_map>

#include "platform/Platform.h"

struct Mix_Chunk;

// One voice: a new sound stops the one that plays, fading it out over a few
// milliseconds instead of cutting it. Loaded sounds are kept,
// so the hum and thrust that restart every tick are read from disk once.
class SdlSound final : public Sound {
public:
    SdlSound() = default;
    ~SdlSound() override;
    void play(const char* name) override;
    void stop() override;
    void setVolume(int tenths) override;
    bool available() { return ready(); }

private:
    bool ready();
    bool tried = false;
    bool open = false;
    int current = 0;  // the mixer channel of the sound that plays
    std::unordered_map<std::string, Mix_Chunk*> chunks;
};

// "snd\fire.wav" -> "snd/fire.wav".
std::string soundPath(const char* name);
