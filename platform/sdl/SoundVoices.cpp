#include "platform/sdl/SoundVoices.h"

#include <SDL_audio.h>

#include <algorithm>
#include <climits>
#include <cstring>

SoundVoices::SoundVoices(int rate, int channels, std::size_t periodBytes)
    : volume_(SDL_MIX_MAXVOLUME),
      fadeFrames_(std::max(rate * kFadeMilliseconds / 1000, 1)),
      outputChannels_(std::max(channels, 1)) {
    // The callback should not have to allocate.
    scratch_.reserve(periodBytes);
}

void SoundVoices::start(const Uint8* samples, std::size_t bytes) {
    // The next channel's sound has faded out by now (or never got heard).
    const int next = (current_ + 1) % kChannels;
    channels_[next] = Channel{};
    stop();
    // Whole frames only.
    const std::size_t frame = sizeof(Sint16) * static_cast<std::size_t>(outputChannels_);
    bytes = std::min<std::size_t>(bytes - bytes % frame, INT_MAX - INT_MAX % frame);
    if (samples && bytes > 0) {
        channels_[next].samples = samples;
        channels_[next].left = static_cast<int>(bytes);
    }
    current_ = next;
}

void SoundVoices::stop() { channels_[current_].fading = true; }

void SoundVoices::setVolume(int tenths) {
    volume_ = std::clamp(tenths, 0, 10) * SDL_MIX_MAXVOLUME / 10;
}

// Once asked for, a straight ramp down to silence.
void SoundVoices::fadeOut(Channel& channel, Uint8* bytes, int length) const {
    if (channel.framesLeft < 0) channel.framesLeft = fadeFrames_;
    auto* samples = reinterpret_cast<Sint16*>(bytes);
    const int frames = length / static_cast<int>(sizeof(Sint16)) / outputChannels_;
    for (int i = 0; i < frames; ++i) {
        const float gain = static_cast<float>(channel.framesLeft) / static_cast<float>(fadeFrames_);
        for (int c = 0; c < outputChannels_; ++c) {
            Sint16& s = samples[i * outputChannels_ + c];
            s = static_cast<Sint16>(static_cast<float>(s) * gain);
        }
        if (channel.framesLeft > 0) --channel.framesLeft;
    }
}

void SoundVoices::mix(Uint8* stream, int bytes) {
    std::memset(stream, 0, static_cast<std::size_t>(std::max(bytes, 0)));
    // Each channel is added in turn, clipped at full scale.
    for (Channel& channel : channels_) {
        if (channel.left > 0 && bytes > 0) {
            const int part = std::min(channel.left, bytes);
            const Uint8* input = channel.samples;
            if (channel.fading) {
                scratch_.assign(channel.samples, channel.samples + part);
                fadeOut(channel, scratch_.data(), part);
                input = scratch_.data();
            }
            SDL_MixAudioFormat(stream, input, AUDIO_S16SYS, static_cast<Uint32>(part), volume_);
            channel.samples += part;
            channel.left -= part;
        }
    }
}
