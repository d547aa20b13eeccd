#include "game/Tick.h"
#include "game/Rules.h"

#include <algorithm>

#include "game/Asteroids.h"
#include "game/Collisions.h"
#include "game/GameState.h"
#include "game/Saucers.h"
#include "present/Renderer.h"
#include "present/Sound.h"
#include "scores/HighScores.h"
#include "space/AdditiveFeedbackRandom.h"

TickInput* tickInput = nullptr;

namespace {

int truncated(float v) { return static_cast<int>(v); }

void saucerPass() {
    const bool anySaucer = saucers.count > 0;
    gameState.saucerHumKind = -1;
    for (int i = 0; i < saucers.count; ++i) {
        steerSaucer(i);
        SpaceObject saucer = *saucers.at(i);
        saucer.moveSaucer(gameState.fieldWidth, gameState.fieldHeight);
        gameState.saucerHumKind = saucer.isSmallSaucer() ? 1 : 0;
        saucers.putAt(i, saucer);
        if (saucer.getPhase() == 0) saucerFire(i);
    }
    if (!anySaucer) return;
    if (gameState.saucerHumKind == 0) {
        playSound(soundFile::saucerBig);
    } else if (gameState.saucerHumKind == 1) {
        playSound(soundFile::saucerSmall);
    }
}

void asteroidPass() {
    for (int i = 0; i < asteroids.count; ++i) {
        SpaceObject rock = *asteroids.at(i);
        rock.moveRock(gameState.fieldWidth, gameState.fieldHeight);
        asteroids.putAt(i, rock);
    }
}

// A shot that hit nothing dies near an edge or when its life runs out.
void ageShot(ObjectList& shots, int i, SpaceObject& shot) {
    const float x = shot.getX();
    const float y = shot.getY();
    constexpr auto edge = static_cast<float>(rules::kShotEdge);
    if (x <= edge || x >= static_cast<float>(gameState.fieldWidth - rules::kShotEdge) ||
        y <= edge || y >= static_cast<float>(gameState.fieldHeight - rules::kShotEdge)) {
        shot.setLife(0);
    }
    if (shot.getLife() > 0) shot.setLife(shot.getLife() - 1);
    if (shot.getLife() != 0) {
        shots.putAt(i, shot);
    } else {
        shots.removeAt(i);
    }
}

// A removal does not hold the index back: the element that moves into slot
// i waits for the next tick.
void playerShotPass() {
    for (int i = 0; i < playerBullets.count; ++i) {
        SpaceObject shot = *playerBullets.at(i);
        shot.moveBullet(gameState.fieldWidth, gameState.fieldHeight);
        const int x = truncated(shot.getX());
        const int y = truncated(shot.getY());

        const int n = saucerAt(x, y);
        if (n >= 0) {
            scoreSaucerKill(saucers.at(n)->isSmallSaucer());
            playerBullets.removeAt(i);
            saucers.removeAt(n);
            continue;
        }
        const int m = asteroidAt(x, y);
        if (m >= 0) {
            playerBullets.removeAt(i);
            breakAsteroid(m);
            continue;
        }
        ageShot(playerBullets, i, shot);
    }
}

void saucerShotPass() {
    for (int i = 0; i < saucerBullets.count; ++i) {
        SpaceObject shot = *saucerBullets.at(i);
        shot.moveBullet(gameState.fieldWidth, gameState.fieldHeight);
        const int m = asteroidAt(truncated(shot.getX()), truncated(shot.getY()));
        if (m >= 0) {
            saucerBullets.removeAt(i);
            breakAsteroid(m);
            continue;
        }
        ageShot(saucerBullets, i, shot);
    }
}

void fieldClearCheck() {
    if (asteroids.count != 0) return;
    gameState.score += rules::kFieldClearPointsPerLevel * gameState.level;
    gameState.bonusPoints += rules::kFieldClearPointsPerLevel * gameState.level;
    gameState.level += 1;
    gameState.saucerTimer = 0;
    spawnAsteroids(rules::kWaveRocksPerLevel * gameState.level, 64, 32, 32);
}

// Each test gets the ship where it is now: a loss in one test has already put
// it back at the centre for the next.
bool shipTests() {
    auto x = [] { return truncated(playerShip.getX()); };
    auto y = [] { return truncated(playerShip.getY()); };
    if (shipHitsAsteroid(x(), y())) return true;
    if (shipHitsSaucerBullet(x(), y())) return true;
    return shipHitsSaucer(x(), y());
}

void simulationStep() {
    playerShip.moveShip(gameState.fieldWidth, gameState.fieldHeight);
    saucerPass();
    asteroidPass();
    playerShotPass();
    saucerShotPass();
    fieldClearCheck();

    gameState.shipDestroyed = shipTests() ? 1 : 0;

    const int threshold = rules::kExtraShipPointsPerLevel * gameState.level;
    if (gameState.bonusPoints >= threshold) {
        gameState.bonusPoints -= threshold;
        awardExtraShip();
    }

    if (gameState.shipDestroyed) {
        if (gameState.restartArmed && qualifiesForTable(gameState.score)) {
            gameState.enteringInitials = 1;
        }
        gameState.restartArmed = 0;
    }

    const int limit = static_cast<int>(gameState.level * rules::kSaucerWaitPerLevel) *
                      rules::kSaucerWaitTicks;
    if (gameState.saucerTimer < limit) {
        gameState.saucerTimer += 1;
    } else {
        gameState.saucerTimer = 0;
        spawnSaucer();
    }
}

void mouseActions(TickInput& window) {
    if (window.wheelDelta != 0) {
        window.wheelDelta = 0;
    } else if (window.buttonDown) {
        if (window.leftButton) {
            scaleUp();
        } else {
            scaleDown();
        }
        gameState.buttonHoldTicks += 1;
    } else {
        gameState.buttonHoldTicks = 0;
    }
}

void rescale(int step) {
    if (gameState.buttonHoldTicks != 0) return;
    playerShip.setScale(playerShip.getScale() + step);
    for (int i = 0; i < saucers.count; ++i) {
        SpaceObject saucer = *saucers.at(i);
        saucer.setScale(saucer.getScale() + step);
        saucers.putAt(i, saucer);
    }
}

}  // namespace

void tick() {
    if (!tickInput) return;
    TickInput& window = *tickInput;
    if (window.startCountdown >= 0) {
        if (window.startCountdown == 0) startUp(window.window);
        window.startCountdown -= 1;
        return;
    }
    mouseActions(window);
    if (!gameState.shipDestroyed) simulationStep();
    presentFrame(window.window);
}

void startUp(WindowHandle window) {
    rng::srand(platform().clock->randomSeed());

    // A minimised start reports an empty client area; a field of at least one
    // pixel keeps every "% fieldHeight" defined.
    const Rect client = platform().windows->clientRect(window);
    gameState.fieldWidth = std::max(client.right, 1);
    gameState.fieldHeight = std::max(client.bottom, 1);

    createBackBuffer(window);
    spawnAsteroids(rules::kFirstWaveRocks, 64, 32, 32);

    playerShip.reset();
    playerShip.setup(static_cast<float>(gameState.fieldWidth / 2),
                     static_cast<float>(gameState.fieldHeight / 2), 0.0f, 0.0f, 8, 0.0f, 1);
    playerShip.setScale(1);

    startNewGame();
    loadHighScores();
}

void restartGame() {
    gameState.shipDestroyed = 0;
    startNewGame();

    returnShipToCentre();

    asteroids.clear();
    playerBullets.clear();
    saucers.clear();
    saucerBullets.clear();

    gameState.asteroidSpeedFactor = 1;
    spawnAsteroids(rules::kFirstWaveRocks, 64, 32, 32);
}

void scaleUp() { rescale(+1); }

void scaleDown() { rescale(-1); }
