#include "game/ShipControls.h"

#include <cmath>

#include "game/GameState.h"
#include "game/Rules.h"
#include "game/Tick.h"
#include "platform/Platform.h"
#include "present/Sound.h"
#include "space/ExactTrig.h"
#include "space/Extended80.h"

namespace {

bool held(Key key) { return platform().keys->isHeld(key); }

void turn(float step) { playerShip.setAngle(playerShip.getAngle() + step); }

void thrustWithSound() {
    applyThrust();
    playSound(soundFile::thrust);
}

// The space bar alone: one shot per press in play; after a game over, the
// first fresh press arms the restart and the second starts it.
void spaceAlone() {
    if (!gameState.shipDestroyed) {
        if (gameState.keyHoldTicks == 0) {
            firePlayerBullet();
            gameState.keyHoldTicks += 1;
        }
        return;
    }
    if (gameState.keyHoldTicks != 0) return;
    if (gameState.enteringInitials) {
        gameState.keyHoldTicks += 1;
    } else if (!gameState.restartArmed) {
        gameState.restartArmed = 1;
        gameState.keyHoldTicks += 1;
    } else {
        restartGame();
        gameState.keyHoldTicks += 1;
    }
}

}  // namespace

int pollKeys() {
    const float step = gameState.turnStep;
    // Rows are tried in order and each test reads the keys at that moment.
    if (held(Key::Left) && held(Key::Up) && held(Key::Space)) {
        turn(-step);
        applyThrust();
        firePlayerBullet();
    } else if (held(Key::Right) && held(Key::Up) && held(Key::Space)) {
        turn(step);
        applyThrust();
        firePlayerBullet();
    } else if (held(Key::Left) && held(Key::Up)) {
        turn(-step);
        thrustWithSound();
    } else if (held(Key::Right) && held(Key::Up)) {
        turn(step);
        thrustWithSound();
    } else if (held(Key::Left) && held(Key::Space)) {
        turn(-step);
        firePlayerBullet();
    } else if (held(Key::Right) && held(Key::Space)) {
        turn(step);
        firePlayerBullet();
    } else if (held(Key::Up) && held(Key::Space)) {
        applyThrust();
        firePlayerBullet();
    } else if (held(Key::Left)) {
        turn(-step);
    } else if (held(Key::Right)) {
        turn(step);
    } else if (held(Key::Up)) {
        thrustWithSound();
        return 0;
    } else if (held(Key::Space)) {
        spaceAlone();
        return 0;
    } else {
        playerShip.setThrusting(false);
        gameState.keyHoldTicks = 0;
        return 0;
    }
    gameState.keyHoldTicks += 1;
    return 0;
}

void applyThrust() {
    // The thrust is summed in x86's 80-bit format, with 0.1 the double widened,
    // and rounded to float once: a float, double or quad sum rounds differently,
    // and the velocities (and every trace) would drift. Emulated on every build
    // so that no compiler's long double nor x87 precision setting can change it.
    const SinCos angle = exactSinCos(playerShip.getAngle());
    const float s = static_cast<float>(angle.sin);
    playerShip.setVX(extendedThrust(playerShip.getVX(), gameState.throttle, 0.1, s));

    const float c = static_cast<float>(angle.cos);
    playerShip.setVY(extendedThrust(playerShip.getVY(), gameState.throttle, -0.1, c));

    playerShip.setThrusting(true);
}

void firePlayerBullet() {
    if (playerBullets.count >=
        gameState.baseBulletLimit + gameState.level / rules::kLevelsPerExtraShot)
        return;
    SpaceObject shot;
    shot.setX(playerShip.getX());
    shot.setY(playerShip.getY());
    shot.setSize(1);
    const SinCos angle = exactSinCos(playerShip.getAngle());
    shot.setVX(static_cast<float>(angle.sin * 20));
    shot.setVY(static_cast<float>(angle.cos * -20));
    shot.setLife(rules::kShotLife);
    playerBullets.append(shot);
    playSound(soundFile::fire);
}
