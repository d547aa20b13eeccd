// The global values and bodies of the running game.
#pragma once

#include <cstdint>

#include "space/ObjectList.h"
#include "space/SpaceObject.h"

struct GameState {
    int score = 0;
    int bonusPoints = 0;
    int level = 1;
    int reserveShipCount = 3;
    uint8_t shipDestroyed = 0;
    uint8_t enteringInitials = 0;
    uint8_t restartArmed = 1;
    int saucerTimer = 0;
    int saucerHumKind = -1;
    int buttonHoldTicks = 0;
    int keyHoldTicks = 0;
    int throttle = 10;
    int asteroidSpeedFactor = 1;
    int fieldWidth = 0;
    int fieldHeight = 0;
    int baseBulletLimit = 4;
    float turnStep = 0.2f;
};

extern GameState gameState;

extern SpaceObject playerShip;
extern ObjectList reserveShips;
extern ObjectList asteroids;
extern ObjectList saucers;
extern ObjectList playerBullets;
extern ObjectList saucerBullets;

// Three more reserve icons, level 1, no points.
void startNewGame();
// Appends a fresh reserve icon built at slot i of the row at the bottom
// right (slot 0 is the rightmost).
void appendReserveIcon(int slot);
// The ship back at the centre of the field, at rest and pointing up.
void returnShipToCentre();
// Plays the sound, then credits the points to score and bonus alike.
void scorePoints(const char* sound, int points);

// Brings every piece of global game state back to how the program starts:
// game values, bodies, lists, high-score table, typed initials, back buffer
// and the game window. For tests and tools that run many games in one process.
void resetToProgramStart();
