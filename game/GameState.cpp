#include "game/GameState.h"

#include <cstdlib>

#include "app/GameWindow.h"
#include "present/Renderer.h"
#include "present/Sound.h"
#include "scores/HighScores.h"
#include "scores/Initials.h"

GameState gameState;

SpaceObject playerShip;
ObjectList reserveShips;
ObjectList asteroids;
ObjectList saucers;
ObjectList playerBullets;
ObjectList saucerBullets;

void startNewGame() {
    for (int off = 0; off <= 40; off += 20) {
        SpaceObject icon;
        const auto ix = static_cast<float>(gameState.fieldWidth - 20 - off);
        const auto iy = static_cast<float>(gameState.fieldHeight - 20);
        icon.buildShipModel(ix, iy);
        icon.setX(ix);
        icon.setY(iy);
        reserveShips.append(icon);
    }
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

void resetToProgramStart() {
    destroyBackBuffer();
    delete gameWindow;
    gameWindow = nullptr;
    nextTickTime = 0;
    gameState = GameState{};
    // The generator as main() finds it: unseeded, after the global ship's
    // constructor drew its rock outline.
    std::srand(1);
    playerShip = SpaceObject{};
    reserveShips.clear();
    asteroids.clear();
    saucers.clear();
    playerBullets.clear();
    saucerBullets.clear();
    highScoreTable = HighScoreTable{};
    typedInitials.clear();
}
