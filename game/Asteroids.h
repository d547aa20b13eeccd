#pragma once

// parentSize 64: a fresh wave of large rocks along the side edges (x, y
// ignored); 32 or 16: the two pieces of a broken rock at (x, y).
void spawnAsteroids(int count, int parentSize, int x, int y);
// Destroys rock index, plays its bang, credits its points to the player
// and leaves its pieces: whatever hit it (player's or saucer's shot, ship).
void breakAsteroid(int index);
