// The game's one voice as the audio device's callback mixes it.
#pragma once

#include <SDL_stdinc.h>

#include <cstddef>
#include <vector>

// A new sound starts at once on the next of a few channels taken in turn,
// while the one it replaces fades out over a few milliseconds: a cut would
// leave a step in the output, heard as a click, and thrust restarts every
// tick. Several starts can fall into one device period (thrust, then a bang
// in the same tick): with four channels the one taken again has long faded.
// Samples are 16-bit in the machine's order, interleaved as the device has
// them. Not thread-safe: the owner holds the device's lock around each call.
class SoundVoices {
public:
    static constexpr int kChannels = 4;
    static constexpr int kFadeMilliseconds = 8;

    // The device's frames a second, its channels and its period in bytes.
    SoundVoices(int rate, int channels, std::size_t periodBytes = 0);
    // Plays `bytes` of `samples` (kept by the caller until they have played
    // or the next start), fading out what played. No samples: silence.
    void start(const Uint8* samples, std::size_t bytes);
    // Fades out what plays.
    void stop();
    // 0 (silent) to 10 (as recorded), for what plays now too.
    void setVolume(int tenths);
    // Fills one period of the device's output.
    void mix(Uint8* stream, int bytes);

private:
    struct Channel {
        const Uint8* samples = nullptr;
        int left = 0;         // bytes still to play
        bool fading = false;  // asked to fade out
        int framesLeft = -1;  // of the fade; -1 before it starts
    };
    void fadeOut(Channel& channel, Uint8* samples, int bytes) const;

    Channel channels_[kChannels];
    int current_ = 0;
    int volume_;
    int fadeFrames_;
    int outputChannels_;
    std::vector<Uint8> scratch_;
};
