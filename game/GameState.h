// The global values and bodies of the running game.
#pragma once

#include <cstdint>

#include "game/Rules.h"
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
    int baseBulletLimit = rules::kShotsAtOnce;
    float turnStep = 0.2f;

    friend bool operator==(const GameState&, const GameState&) = default;
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

// The game's lists, values and bodies as the program starts: the five lists
// emptied in the order shut-down clears them, the values, and the ship with
// the random generator as main() finds them. One entry of shutDown's list.
void resetGame();
