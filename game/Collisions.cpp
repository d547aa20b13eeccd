#include "game/Collisions.h"

#include <cmath>

#include "game/Asteroids.h"
#include "game/GameState.h"
#include "game/Rules.h"
#include "present/Sound.h"

namespace {

int truncated(float v) { return static_cast<int>(v); }

// Whole-pixel distance from (x, y) to a body's truncated position.
int pixelDistance(int x, int y, const SpaceObject& body) {
    return static_cast<int>(distance(x, y, truncated(body.getX()), truncated(body.getY())));
}

bool lastShipGone() { return reserveShips.count <= 0; }

}  // namespace

float distance(int x1, int y1, int x2, int y2) {
    const int dx = x2 - x1;
    const int dy = y2 - y1;
    return static_cast<float>(std::sqrt(static_cast<double>(dx * dx + dy * dy)));
}

int asteroidAt(int x, int y) {
    for (int i = 0; i < asteroids.count; ++i) {
        const SpaceObject& rock = *asteroids.at(i);
        const int r = static_cast<int>(rock.getSize() * 1.3);
        if (pixelDistance(x, y, rock) < r) return i;
    }
    return -1;
}

int saucerAt(int x, int y) {
    for (int i = 0; i < saucers.count; ++i) {
        const SpaceObject& saucer = *saucers.at(i);
        if (1.3 * saucer.getScale() * saucer.getSize() > pixelDistance(x, y, saucer)) return i;
    }
    return -1;
}

void scoreSaucerKill(bool smallSaucer) {
    if (smallSaucer) {
        scorePoints(soundFile::bangSmall, rules::kSmallSaucerPoints);
    } else {
        scorePoints(soundFile::bangLarge, rules::kBigSaucerPoints);
    }
}

bool shipHitsAsteroid(int x, int y) {
    for (int i = 0; i < asteroids.count; ++i) {
        const SpaceObject& rock = *asteroids.at(i);
        if (pixelDistance(x, y, rock) < playerShip.getSize() + rock.getSize()) {
            breakAsteroid(i);
            loseShip(false);
            return lastShipGone();
        }
    }
    return false;
}

bool shipHitsSaucerBullet(int x, int y) {
    for (int i = 0; i < saucerBullets.count; ++i) {
        const SpaceObject& shot = *saucerBullets.at(i);
        if (pixelDistance(x, y, shot) < playerShip.getSize() + shot.getSize()) {
            loseShip(true);
            return lastShipGone();
        }
    }
    return false;
}

bool shipHitsSaucer(int x, int y) {
    for (int i = 0; i < saucers.count; ++i) {
        const SpaceObject& saucer = *saucers.at(i);
        if (pixelDistance(x, y, saucer) < saucer.getScale() * saucer.getSize() + 1) {
            saucers.removeAt(i);
            loseShip(true);
            return lastShipGone();
        }
    }
    return false;
}

void loseShip(bool clearSaucerBullets) {
    reserveShips.removeLast();
    gameState.reserveShipCount = reserveShips.count;

    returnShipToCentre();

    playerBullets.clear();
    if (clearSaucerBullets) saucerBullets.clear();
}

void awardExtraShip() {
    const int icons = reserveShips.count + 1;
    reserveShips.clear();
    for (int i = 0; i < icons; ++i) appendReserveIcon(i);
    gameState.reserveShipCount = reserveShips.count;
    playSound(soundFile::extraShip);
}
