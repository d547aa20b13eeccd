#pragma once

// The game's eight sounds: wave files below the working directory, named as
// the sound service gets them (and as the traces print them). The build
// reads its list of sound files from these lines.
namespace soundFile {
inline constexpr char fire[] = "snd\\fire.wav";
inline constexpr char thrust[] = "snd\\thrust.wav";
inline constexpr char bangSmall[] = "snd\\bangSmall.wav";
inline constexpr char bangMedium[] = "snd\\bangMedium.wav";
inline constexpr char bangLarge[] = "snd\\bangLarge.wav";
inline constexpr char extraShip[] = "snd\\extraShip.wav";
inline constexpr char saucerBig[] = "snd\\saucerBig.wav";
inline constexpr char saucerSmall[] = "snd\\saucerSmall.wav";
}  // namespace soundFile

// One voice: a start stops whatever plays.
void playSound(const char* name);
void stopSound();
