#pragma once

// The game's sounds, listed in Sounds.def: soundFile::fire is "snd\fire.wav",
// the wave file below the working directory as the sound service gets it (and
// as the traces print it).
namespace soundFile {
#define VR_SOUND(name) inline constexpr char name[] = "snd\\" #name ".wav";
#include "present/Sounds.def"
#undef VR_SOUND
}  // namespace soundFile

// One voice: a start stops whatever plays.
void playSound(const char* name);
void stopSound();
