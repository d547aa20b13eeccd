#include "present/Sound.h"

#include "platform/Platform.h"

void playSound(const char* name) { platform().sound->play(name); }

void stopSound() { platform().sound->stop(); }
