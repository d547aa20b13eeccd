#pragma once

void spawnSaucer();
void steerSaucer(int index);
void saucerFire(int index);
