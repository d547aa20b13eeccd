#include "benchmarks/Load.h"

#include <cmath>
#include <cstdlib>

#include "app/GameWindow.h"
#include "game/GameState.h"
#include "scores/HighScores.h"
#include "space/AdditiveFeedbackRandom.h"

namespace {

constexpr int kLevel = 10;
constexpr int kPlayerShots = 4 + kLevel / 2;
constexpr int kSaucerShots = 6;
constexpr unsigned kSeed = 1;

ObjectList* const kLists[5] = {&reserveShips, &asteroids, &saucers, &playerBullets, &saucerBullets};

SpaceObject body(float x, float y, float vx, float vy, int size, int scale) {
    SpaceObject o;
    o.setup(x, y, vx, vy, size, 0.0f, scale);
    return o;
}

void startGame(int width, int height) {
    resetToProgramStart();
    resetPlatform();
    new GameWindow(nullptr, "Voidrunner", "Voidrunner", 0, 0, 0, 3);
    gameWindow->startCountdown = -1;
    gameState.fieldWidth = width;
    gameState.fieldHeight = height;
    rng::srand(kSeed);
    playerShip.setup(static_cast<float>(width / 2), static_cast<float>(height / 2), 0, 0, 8, 0, 1);
    startNewGame();
    gameState.level = kLevel;
    gameState.score = 123450;
}

}  // namespace

void buildWorstLoad(int width, int height, int rocks) {
    startGame(width, height);
    const float cx = static_cast<float>(width / 2), cy = static_cast<float>(height / 2);
    playerShip.setThrusting(true);
    playerShip.setAngle(0.3f);
    playerShip.updateShipPoints();

    // Rocks at least 250 pixels from the centre, slow enough to stay there.
    for (int i = 0; i < rocks; ++i) {
        const int size = i % 3 == 0 ? 32 : (i % 3 == 1 ? 16 : 8);
        float x = 0, y = 0;
        do {
            x = static_cast<float>(rng::rand() % width);
            y = static_cast<float>(rng::rand() % height);
        } while (std::hypot(x - cx, y - cy) < 250.0f);
        const float a = static_cast<float>(i);
        SpaceObject rock = body(x, y, std::sin(a), -std::cos(a), size, 1);
        rock.updateRockPoints();
        asteroids.prepend(rock);
    }

    for (int i = 0; i < 2; ++i) {
        SpaceObject saucer =
            body(30.0f + 40.0f * static_cast<float>(i), cy - 60.0f, 4.0f, 0.0f, 8, 2 - i);
        saucer.setSmallSaucer(i == 1);
        saucer.updateSaucerPoints();
        saucers.append(saucer);
    }

    // Shots fly outward from near the centre, far from rocks and ship.
    for (int i = 0; i < kPlayerShots; ++i) {
        const float a = 0.7f * static_cast<float>(i);
        SpaceObject shot = body(cx + 40.0f * std::sin(a), cy - 40.0f * std::cos(a),
                                6.0f * std::sin(a), -6.0f * std::cos(a), 1, 1);
        shot.setLife(30);
        playerBullets.append(shot);
    }
    for (int i = 0; i < kSaucerShots; ++i) {
        SpaceObject shot =
            body(cx - 120.0f, cy - 100.0f + 30.0f * static_cast<float>(i), 1.0f, 0.5f, 1, 1);
        shot.setLife(20);
        saucerBullets.append(shot);
    }
}

void buildGameOver(int width, int height) {
    buildWorstLoad(width, height, 200);
    // Losing the last ship cleared the player's shots: the HUD draws all
    // nine shot circles.
    playerBullets.clear();
    gameState.shipDestroyed = 1;
    gameState.enteringInitials = 0;
    for (int r = 0; r < 10; ++r) {
        highScoreTable.rows[r].score = 100000 - 7919 * r;
        highScoreTable.rows[r].level = 12 - r;
        highScoreTable.rows[r].initials = "VRX";
    }
}

bool loadIntact(int rocks) {
    return asteroids.count == rocks && saucers.count == 2 && playerBullets.count == kPlayerShots &&
           saucerBullets.count == kSaucerShots && !gameState.shipDestroyed;
}

// The seed too: the step steers saucers with the game's generator.
Snapshot::Snapshot() : state(gameState), ship(playerShip), seed(kSeed) {
    for (int l = 0; l < 5; ++l)
        for (const ObjectNode* n = kLists[l]->first(); n; n = n->next) lists[l].push_back(n->value);
}

void Snapshot::restore() const {
    gameState = state;
    playerShip = ship;
    for (int l = 0; l < 5; ++l) {
        kLists[l]->clear();
        for (const SpaceObject& o : lists[l]) kLists[l]->append(o);
    }
    rng::srand(seed);
}
