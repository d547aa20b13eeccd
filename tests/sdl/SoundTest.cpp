// The one voice as the audio device hears it: a new sound starts at once
// and the one it replaces fades out in a straight line over 8 ms, whatever
// the volume step; sounds added clip at full scale; and the wave files come
// in the device's own format, or as silence when they cannot be read.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "platform/sdl/SdlSound.h"
#include "platform/sdl/SoundVoices.h"
#include "tests/WorkFolder.h"

namespace {

// At 1000 frames a second the fade is 8 frames long.
constexpr int kRate = 1000, kFade = 8;

// `frames` stereo frames at one level.
std::vector<Uint8> level(Sint16 value, int frames) {
    std::vector<Sint16> samples(static_cast<std::size_t>(frames) * 2, value);
    const auto* bytes = reinterpret_cast<const Uint8*>(samples.data());
    return {bytes, bytes + samples.size() * sizeof(Sint16)};
}

// The next `frames` frames' left samples (the right ones must match).
std::vector<int> heard(SoundVoices& voices, int frames) {
    std::vector<Sint16> out(static_cast<std::size_t>(frames) * 2, -1);
    voices.mix(reinterpret_cast<Uint8*>(out.data()), frames * 4);
    std::vector<int> left;
    for (int i = 0; i < frames; ++i) {
        EXPECT_EQ(out[2 * i], out[2 * i + 1]) << "frame " << i;
        left.push_back(out[2 * i]);
    }
    return left;
}

void start(SoundVoices& voices, const std::vector<Uint8>& sound) {
    voices.start(sound.data(), sound.size());
}

TEST(SoundVoices, ANewSoundStartsAtOnceAndTheOneItReplacesFadesOut) {
    SoundVoices voices(kRate, 2);
    const auto loud = level(10000, 100), quiet = level(100, 100);
    start(voices, loud);
    EXPECT_EQ(heard(voices, 3), (std::vector<int>{10000, 10000, 10000}));
    start(voices, quiet);
    const std::vector<int> out = heard(voices, kFade + 3);
    for (int i = 0; i <= kFade + 2; ++i) {
        const int faded = i < kFade ? 10000 * (kFade - i) / kFade : 0;
        EXPECT_EQ(out[i], 100 + faded) << "frame " << i;
    }
    // Stopped, or replaced by a sound that cannot play: faded the same way.
    voices.stop();
    EXPECT_EQ(heard(voices, kFade + 1).back(), 0);
    start(voices, loud);
    voices.start(nullptr, 0);
    const std::vector<int> cut = heard(voices, kFade + 1);
    EXPECT_EQ(cut[0], 10000);
    EXPECT_EQ(cut[kFade / 2], 5000);
    EXPECT_EQ(cut[kFade], 0);
}

TEST(SoundVoices, VolumeStepsScaleWhatPlaysAndFullScaleClips) {
    SoundVoices voices(kRate, 2);
    const auto loud = level(30000, 100);
    start(voices, loud);
    voices.setVolume(5);
    EXPECT_EQ(heard(voices, 1)[0], 15000);
    voices.setVolume(0);
    EXPECT_EQ(heard(voices, 1)[0], 0);
    voices.setVolume(99);  // as recorded
    EXPECT_EQ(heard(voices, 1)[0], 30000);
    // The new sound at full level over the old one's first fading frame.
    start(voices, loud);
    EXPECT_EQ(heard(voices, 1)[0], 32767);
    // Five starts in one period: four channels sound, the fifth start took
    // the first one's again.
    const auto mid = level(1000, 100);
    for (int i = 0; i < 5; ++i) start(voices, mid);
    EXPECT_EQ(heard(voices, 1)[0], 4000);
    // A sound ends with its samples; an odd byte is no frame.
    const auto shortOne = level(700, 2);
    voices.start(shortOne.data(), shortOne.size() + 1);
    EXPECT_EQ(heard(voices, 3 + kFade).back(), 0);
}

// A 16-bit wave file of `channels` at `rate` holding `samples`.
void writeWave(const std::string& path, int channels, int rate, std::vector<int16_t> samples) {
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    const auto bytes = static_cast<uint32_t>(samples.size() * 2);
    out << "RIFF";
    u32(36 + bytes);
    out << "WAVEfmt ";
    u32(16);
    u16(1);
    u16(static_cast<uint16_t>(channels));
    u32(static_cast<uint32_t>(rate));
    u32(static_cast<uint32_t>(rate * channels * 2));
    u16(static_cast<uint16_t>(channels * 2));
    u16(16);
    out << "data";
    u32(bytes);
    out.write(reinterpret_cast<const char*>(samples.data()), bytes);
}

TEST(SdlSound, WaveFilesComeInTheDevicesFormatOrAsSilence) {
    WorkFolder work;
    std::vector<int16_t> tenth(441, 0);  // a hundredth of a second
    tenth[1] = 16384;
    writeWave("mono.wav", 1, 44100, tenth);
    SDL_AudioSpec device{};
    device.format = AUDIO_S16SYS;
    device.freq = 44100;
    device.channels = 1;
    const std::vector<Uint8> same = loadSound("mono.wav", device);
    ASSERT_EQ(same.size(), 882u);
    EXPECT_EQ(reinterpret_cast<const Sint16*>(same.data())[1], 16384);
    device.channels = 2;
    const std::vector<Uint8> stereo = loadSound("mono.wav", device);
    ASSERT_EQ(stereo.size(), 1764u);
    const auto* s = reinterpret_cast<const Sint16*>(stereo.data());
    EXPECT_EQ(s[2], s[3]);
    EXPECT_NEAR(s[2], 16384, 1);
    device.freq = 48000;
    EXPECT_NEAR(static_cast<double>(loadSound("mono.wav", device).size()) / 4, 480, 2);

    std::ofstream("text.wav") << "not a sound";
    EXPECT_TRUE(loadSound("text.wav", device).empty());
    EXPECT_TRUE(loadSound("missing.wav", device).empty());
    EXPECT_EQ(soundPath("snd\\fire.wav"), "snd/fire.wav");
}

}  // namespace
