#pragma once

// parentSize 64: a fresh wave of large rocks along the side edges (x, y
// ignored); 32 or 16: the two pieces of a broken rock at (x, y).
void spawnAsteroids(int count, int parentSize, int x, int y);
// Destroys rock index, credits its points to the player, leaves its pieces.
void breakAsteroid(int index);
