#include "platform/sdl/SdlSound.h"

#include <SDL.h>
#include <SDL_mixer.h>

namespace {
constexpr int kVoice = 0;  // the one channel every sound plays on
}

std::string soundPath(const char* name) {
    std::string path = name ? name : "";
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

SdlSound::SdlSound() {
    // No audio device is not an error: the game is then silent.
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return;
    if (Mix_OpenAudio(44100, MIX_DEFAULT_FORMAT, 2, 1024) != 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return;
    }
    Mix_AllocateChannels(1);
    open = true;
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
    if (!open || !name) return;
    const std::string path = soundPath(name);
    auto found = chunks.find(path);
    if (found == chunks.end())
        // A file that cannot be loaded is remembered as silence, not retried
        // every tick.
        found = chunks.emplace(path, Mix_LoadWAV(path.c_str())).first;
    Mix_HaltChannel(kVoice);
    if (found->second) Mix_PlayChannel(kVoice, found->second, 0);
}

void SdlSound::stop() {
    if (open) Mix_HaltChannel(kVoice);
}
