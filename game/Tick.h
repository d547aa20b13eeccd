#pragma once

#include "platform/Platform.h"

void tick();
void startUp(WindowHandle window);
void restartGame();
void scaleUp();
void scaleDown();
