#pragma once

// The key step: reads the four keys and applies the first matching row.
int pollKeys();
void applyThrust();
void firePlayerBullet();
