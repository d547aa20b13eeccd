#include "game/GameState.h"

#include "game/Rules.h"
#include "present/Sound.h"
#include "space/AdditiveFeedbackRandom.h"

GameState gameState;

SpaceObject playerShip;
ObjectList reserveShips;
ObjectList asteroids;
ObjectList saucers;
ObjectList playerBullets;
ObjectList saucerBullets;

void appendReserveIcon(int slot) {
    SpaceObject icon;
    const auto ix = static_cast<float>(gameState.fieldWidth - 20 - 20 * slot);
    const auto iy = static_cast<float>(gameState.fieldHeight - 20);
    icon.buildShipModel(ix, iy);
    icon.setX(ix);
    icon.setY(iy);
    reserveShips.append(icon);
}

void returnShipToCentre() {
    playerShip.setX(static_cast<float>(gameState.fieldWidth / 2));
    playerShip.setY(static_cast<float>(gameState.fieldHeight / 2));
    playerShip.setAngle(0.0f);
    playerShip.setVX(0.0f);
    playerShip.setVY(0.0f);
    playerShip.updateShipPoints();
}

void startNewGame() {
    for (int slot = 0; slot < rules::kReserveShips; ++slot) appendReserveIcon(slot);
    gameState.level = 1;
    gameState.score = 0;
    gameState.bonusPoints = 0;
    gameState.reserveShipCount = reserveShips.count;
}

void scorePoints(const char* sound, int points) {
    playSound(sound);
    gameState.score += points;
    gameState.bonusPoints += points;
}

void resetGame() {
    reserveShips.clear();
    asteroids.clear();
    saucers.clear();
    playerBullets.clear();
    saucerBullets.clear();
    gameState = GameState{};
    // The generator as main() finds it: unseeded, after the global ship's
    // constructor drew its rock outline.
    rng::srand(1);
    playerShip = SpaceObject{};
}
