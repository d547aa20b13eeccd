#include "game/Saucers.h"

#include "game/GameState.h"
#include "game/Rules.h"
#include "space/AdditiveFeedbackRandom.h"

namespace {

void addSaucer(bool small, float vx) {
    SpaceObject saucer;
    const auto y = static_cast<float>(rng::rand() % gameState.fieldHeight);
    saucer.setup(10.0f, y, vx, 0.0f, 8, 0.0f, small ? 1 : 2);
    saucer.setSmallSaucer(small);
    // Drawn in the frame of the tick that spawns it, before its first move.
    saucer.updateSaucerPoints();
    saucers.append(saucer);
}

}  // namespace

void spawnSaucer() {
    const int level = gameState.level;
    if (saucers.count >= rules::kMostSaucers || level < rules::kFirstSaucerLevel) return;

    if (saucers.count == 1) {
        if (level <= 5) {
            addSaucer(true, 8.0f);
        } else if (saucers.at(0)->isSmallSaucer()) {
            addSaucer(true, 8.0f);
        } else {
            addSaucer(false, 4.0f);
        }
        return;
    }

    if (level <= 5) {
        addSaucer(false, 6.0f);
    } else if (rng::rand() % 2 == 0) {
        addSaucer(false, 3.0f);
    } else {
        addSaucer(true, 6.0f);
    }
}

void steerSaucer(int index) {
    const SpaceObject* found = saucers.at(index);
    if (!found || found->getPhase() != 0) return;
    SpaceObject saucer = *found;

    const int steer = rng::rand() % 3;
    saucer.setSteer(steer);
    const float vy = saucer.getVY();
    if (steer == 0) {
        saucer.setVY(vy == 3.0f ? 0.0f : -3.0f);
    } else if (steer == 1) {
        saucer.setVY(0.0f);
    } else {
        saucer.setVY(vy == -3.0f ? 0.0f : 3.0f);
    }
    saucers.putAt(index, saucer);
}

void saucerFire(int index) {
    const SpaceObject* found = saucers.at(index);
    if (!found) return;
    const SpaceObject saucer = *found;

    SpaceObject shot;
    shot.setX(saucer.getX());
    shot.setY(saucer.getY());
    shot.setSize(1);
    // Aimed to arrive in 30 ticks: 0.033333335f is the float nearest 1/30, and
    // the product stays in float; dividing by 30 can give other last bits.
    shot.setVX((playerShip.getX() - saucer.getX()) * 0.033333335f);
    shot.setVY((playerShip.getY() - saucer.getY()) * 0.033333335f);
    shot.setLife(rules::kShotLife);
    saucerBullets.append(shot);
}
