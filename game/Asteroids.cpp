#include "game/Asteroids.h"

#include "game/GameState.h"
#include "game/Rules.h"
#include "present/Sound.h"
#include "space/AdditiveFeedbackRandom.h"
#include "space/ExactTrig.h"

namespace {

// A rock's bang and points, whatever destroyed it.
void scoreRock(int size) {
    switch (size) {
    case 8: scorePoints(soundFile::bangSmall, rules::kSmallRockPoints); break;
    case 16: scorePoints(soundFile::bangMedium, rules::kMediumRockPoints); break;
    case 32: scorePoints(soundFile::bangLarge, rules::kLargeRockPoints); break;
    default: break;
    }
}

}  // namespace

void spawnAsteroids(int count, int parentSize, int x, int y) {
    // Checked once per call: one call may take the field past the most.
    if (asteroids.count >= rules::kMostRocks) return;

    const int size = parentSize / 2;
    const bool wave = (size == 32);
    gameState.asteroidSpeedFactor = wave ? 1 : (size == 16 ? 2 : 3);
    const int speed = 2 * gameState.asteroidSpeedFactor;

    for (int n = 0; n < count; ++n) {
        int h = rng::rand() % 60;
        if (h == 0) h = 1;

        SpaceObject rock;
        rock.setScale(1);

        float rx = static_cast<float>(x);
        float ry = static_cast<float>(y);
        if (wave) {
            const int side = rng::rand() % 100;
            rx = static_cast<float>(side < 50 ? 16 : gameState.fieldWidth - 16);
            ry = static_cast<float>(rng::rand() % gameState.fieldHeight);
        }
        const SinCos angle = exactSinCos(static_cast<float>(h));
        rock.setup(rx, ry, 0.0f, 0.0f, size, static_cast<float>(h), 1);
        rock.setVX(static_cast<float>(angle.sin * speed));
        rock.setVY(static_cast<float>(-angle.cos * speed));
        rock.moveRock(gameState.fieldWidth, gameState.fieldHeight);
        asteroids.prepend(rock);
    }
}

// The one way a rock breaks, for a player's shot, a saucer's shot and the
// ship alike. Whether the points come before or after the removals is not
// seen: neither draws a random number; only the pieces do.
void breakAsteroid(int index) {
    const SpaceObject* found = asteroids.at(index);
    if (!found) return;
    const SpaceObject rock = *found;
    asteroids.removeAt(index);
    scoreRock(rock.getSize());
    if (rock.getSize() > 8) {
        spawnAsteroids(2, rock.getSize(), static_cast<int>(rock.getX()),
                       static_cast<int>(rock.getY()));
    }
}
