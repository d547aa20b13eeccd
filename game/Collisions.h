#pragma once

float distance(int x1, int y1, int x2, int y2);
// Index of the first body hit, walking from the head, or -1.
int asteroidAt(int x, int y);
int saucerAt(int x, int y);
// True only when a ship was lost and none is left.
bool shipHitsAsteroid(int x, int y);
bool shipHitsSaucerBullet(int x, int y);
bool shipHitsSaucer(int x, int y);
void loseShip(bool clearSaucerBullets);
void awardExtraShip();
// The reward of a saucer shot by the player: points and bang.
void scoreSaucerKill(bool smallSaucer);
