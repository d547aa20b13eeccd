#include "platform/sdl/SdlSound.h"

#include <SDL.h>

#include <climits>
#include <cstring>

#include "platform/sdl/SoundVoices.h"

std::string soundPath(const char* name) {
    std::string path = name ? name : "";
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

std::vector<Uint8> loadSound(const std::string& path, const SDL_AudioSpec& device) {
    SDL_AudioSpec file{};
    Uint8* data = nullptr;
    Uint32 length = 0;
    if (!SDL_LoadWAV(path.c_str(), &file, &data, &length)) return {};
    std::vector<Uint8> out;
    if (file.format == device.format && file.channels == device.channels &&
        file.freq == device.freq) {
        out.assign(data, data + length);
    } else {
        SDL_AudioCVT cvt;
        const int frame = SDL_AUDIO_BITSIZE(file.format) / 8 * file.channels;
        if (frame > 0 &&
            SDL_BuildAudioCVT(&cvt, file.format, file.channels, file.freq, device.format,
                              device.channels, device.freq) >= 0 &&
            length <= static_cast<Uint32>(INT_MAX / cvt.len_mult)) {
            cvt.len = static_cast<int>(length - length % static_cast<Uint32>(frame));
            out.resize(static_cast<std::size_t>(cvt.len) * static_cast<std::size_t>(cvt.len_mult));
            std::memcpy(out.data(), data, static_cast<std::size_t>(cvt.len));
            cvt.buf = out.data();
            if (SDL_ConvertAudio(&cvt) == 0)
                out.resize(static_cast<std::size_t>(cvt.len_cvt));
            else
                out.clear();
        }
    }
    SDL_FreeWAV(data);
    return out;
}

SdlSound::SdlSound() = default;

// Opened at the first call (the host sets the volume once the window is
// shown), not before the window: a sound server can take tens of
// milliseconds to answer.
bool SdlSound::ready() {
    if (tried) return device != 0;
    tried = true;
    // No audio device is not an error: the game is then silent.
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    SDL_AudioSpec want{};
    want.freq = 44100;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = &SdlSound::fill;
    want.userdata = this;
    // The device's own rate and channels: SDL converts each sound once, as
    // it is loaded, rather than the whole output all the time.
    device =
        SDL_OpenAudioDevice(nullptr, 0, &want, &spec,
                            SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
    if (device == 0 || spec.format != AUDIO_S16SYS) {
        if (device != 0) SDL_CloseAudioDevice(device);
        device = 0;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    voices = std::make_unique<SoundVoices>(spec.freq, spec.channels, spec.size);
    SDL_PauseAudioDevice(device, 0);
    return true;
}

void SDLCALL SdlSound::fill(void* self, Uint8* stream, int bytes) {
    static_cast<SdlSound*>(self)->voices->mix(stream, bytes);
}

SdlSound::~SdlSound() {
    if (device == 0) return;
    SDL_CloseAudioDevice(device);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void SdlSound::play(const char* name) {
    if (!name || !ready()) return;
    const std::string path = soundPath(name);
    auto found = sounds.find(path);
    if (found == sounds.end()) found = sounds.emplace(path, loadSound(path, spec)).first;
    // Each sound's samples stay where they are: the map's nodes never move.
    SDL_LockAudioDevice(device);
    voices->start(found->second.data(), found->second.size());
    SDL_UnlockAudioDevice(device);
}

void SdlSound::stop() {
    if (device == 0) return;
    SDL_LockAudioDevice(device);
    voices->stop();
    SDL_UnlockAudioDevice(device);
}

void SdlSound::setVolume(int tenths) {
    if (!ready()) return;
    SDL_LockAudioDevice(device);
    voices->setVolume(tenths);
    SDL_UnlockAudioDevice(device);
}
