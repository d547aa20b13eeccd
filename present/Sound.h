#pragma once

// One voice: a start stops whatever plays.
void playSound(const char* name);
void stopSound();
