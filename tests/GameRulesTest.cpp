#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "GameFixture.h"
#include "game/Asteroids.h"
#include "game/Collisions.h"
#include "game/Saucers.h"
#include "game/Tick.h"
#include "space/AdditiveFeedbackRandom.h"

using Rules = GameTest;

TEST_F(Rules, HitCirclesAreTestedOnWholePixels) {
    playing();
    asteroids.append(body(100.9f, 100.2f, 32));
    EXPECT_EQ(asteroidAt(140, 105), 0);  // d = trunc(40.3) = 40 < 41
    EXPECT_EQ(asteroidAt(141, 100), -1);
    asteroids.clear();
    asteroids.append(body(100, 100, 8));
    EXPECT_EQ(asteroidAt(109, 100), 0);  // 10 for size 8
    EXPECT_EQ(asteroidAt(110, 100), -1);

    saucers.append(body(100, 100, 8, 6, 0, 1));
    EXPECT_EQ(saucerAt(110, 104), 0);  // d = 10 < 10.4
    EXPECT_EQ(saucerAt(111, 100), -1);
    saucers.clear();
    saucers.append(body(100, 100, 8, 6, 0, 2));
    EXPECT_EQ(saucerAt(120, 104), 0);  // d = 20 < 20.8
    EXPECT_EQ(saucerAt(121, 100), -1);

    EXPECT_FLOAT_EQ(distance(0, 0, 3, 4), 5.0f);
}

TEST_F(Rules, FirstTargetFromTheHeadWins) {
    playing();
    asteroids.append(body(100, 100, 32));
    asteroids.prepend(body(105, 100, 32));  // the newer rock stands first
    EXPECT_EQ(asteroidAt(102, 100), 0);

    // A shot in a saucer's and a rock's circles at once takes only the saucer.
    saucers.append(body(150, 300, 8, 0, 0, 2));
    asteroids.clear();
    asteroids.append(body(150, 300, 32));
    parkRock();
    playerBullets.append(shot(148, 300, 2, 0));
    tick();
    EXPECT_EQ(saucers.count, 0);
    EXPECT_EQ(asteroids.count, 2);
    EXPECT_EQ(playerBullets.count, 0);
    EXPECT_EQ(gameState.score, 50);
    ASSERT_FALSE(sound.started.empty());
    EXPECT_EQ(sound.started.back(), "snd\\bangLarge.wav");
}

TEST_F(Rules, RammingARockCostsAShipAndPaysItsPoints) {
    struct Case {
        int size;
        int points;
        const char* bang;
        int pieces;
    };
    for (Case c : {Case{32, 10, "snd\\bangLarge.wav", 2}, Case{16, 20, "snd\\bangMedium.wav", 2},
                   Case{8, 40, "snd\\bangSmall.wav", 0}}) {
        SCOPED_TRACE(c.size);
        resetToProgramStart();
        sound.started.clear();
        playing();
        playerShip.setX(200.5f);
        playerShip.setY(150.7f);
        playerShip.setVX(3);
        playerShip.setAngle(1);
        asteroids.append(body(210, 150, c.size));
        playerBullets.append(shot(500, 500, 1, 1));
        saucerBullets.append(shot(600, 500, 1, 1));

        EXPECT_FALSE(shipHitsAsteroid(200, 150));
        EXPECT_EQ(gameState.score, c.points);
        EXPECT_EQ(gameState.bonusPoints, c.points);
        EXPECT_EQ(sound.started, std::vector<std::string>{c.bang});
        EXPECT_EQ(asteroids.count, c.pieces);
        for (int i = 0; i < asteroids.count; ++i) EXPECT_EQ(asteroids.at(i)->getSize(), c.size / 2);
        EXPECT_EQ(reserveShips.count, 2);
        EXPECT_EQ(gameState.reserveShipCount, 2);
        EXPECT_EQ(playerShip.getX(), 400.0f);
        EXPECT_EQ(playerShip.getY(), 300.0f);
        EXPECT_EQ(playerShip.getVX(), 0.0f);
        EXPECT_EQ(playerShip.getAngle(), 0.0f);
        EXPECT_EQ(playerBullets.count, 0);
        EXPECT_EQ(saucerBullets.count, 1);  // a rock leaves the saucers' shots flying
    }
}

TEST_F(Rules, TheRingsOfTheShipTestsAreItsOwnSizePlusTheTarget) {
    playing();
    asteroids.append(body(139, 100, 32));
    EXPECT_FALSE(shipHitsAsteroid(100, 100));  // d = 39 < 40: hit, ships remain
    EXPECT_EQ(reserveShips.count, 2);
    asteroids.clear();
    asteroids.append(body(140, 100, 32));
    EXPECT_FALSE(shipHitsAsteroid(100, 100));
    EXPECT_EQ(asteroids.count, 1);

    saucerBullets.append(shot(108, 100, 0, 0));
    playerBullets.append(shot(300, 300, 0, 0));
    EXPECT_FALSE(shipHitsSaucerBullet(100, 100));  // 8 < 9
    EXPECT_EQ(saucerBullets.count, 0);
    EXPECT_EQ(playerBullets.count, 0);
    EXPECT_EQ(reserveShips.count, 1);

    saucers.append(body(116, 100, 8, 6, 0, 2));
    EXPECT_TRUE(shipHitsSaucer(100, 100));  // 16 < 17, and that was the last ship
    EXPECT_EQ(saucers.count, 0);
    EXPECT_EQ(reserveShips.count, 0);
    EXPECT_EQ(gameState.reserveShipCount, 0);
    EXPECT_EQ(gameState.score, 10);  // the rammed rock pays; bullets and saucers do not
}

TEST_F(Rules, ExtraShipsComeFromTheBonusAccountOnePerTick) {
    playing();
    parkRock();
    gameState.bonusPoints = 500;
    tick();
    EXPECT_EQ(gameState.bonusPoints, 0);
    // The icons below are read by index: stop here when one is missing.
    ASSERT_EQ(reserveShips.count, 4);
    ASSERT_FALSE(sound.started.empty());
    EXPECT_EQ(sound.started.back(), "snd\\extraShip.wav");
    // Icons are rebuilt right to left at the bottom right.
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(reserveShips.at(i)->getX(), 780.0f - 20.0f * static_cast<float>(i));
        EXPECT_EQ(reserveShips.at(i)->shipModel[1].y, 580.0f - 12.0f);
    }

    gameState.bonusPoints = 1250;
    tick();
    EXPECT_EQ(gameState.bonusPoints, 750);
    tick();
    EXPECT_EQ(gameState.bonusPoints, 250);
    EXPECT_EQ(reserveShips.count, 6);
    EXPECT_EQ(gameState.reserveShipCount, 6);
}

TEST_F(Rules, TheRockLimitIsCheckedOncePerCall) {
    playing();
    for (int i = 0; i < 199; ++i) asteroids.append(body(700, 100, 8));
    spawnAsteroids(5, 64, 32, 32);
    EXPECT_EQ(asteroids.count, 204);
    asteroids.clear();
    for (int i = 0; i < 200; ++i) asteroids.append(body(700, 100, 8));
    spawnAsteroids(5, 64, 32, 32);
    EXPECT_EQ(asteroids.count, 200);

    // A broken large rock at the limit leaves 199 and then its two pieces.
    asteroids.putAt(7, body(100.9f, 50.2f, 32));
    breakAsteroid(7);
    EXPECT_EQ(asteroids.count, 201);
}

TEST_F(Rules, WaveRocksStandAcrossTheFieldAfterTheirFirstMove) {
    playing(800, 600);
    for (unsigned seed = 1; seed < 40; ++seed) {
        asteroids.clear();
        rng::srand(seed);
        spawnAsteroids(6, 64, 32, 32);
        ASSERT_EQ(asteroids.count, 6);
        EXPECT_EQ(gameState.asteroidSpeedFactor, 1);
        for (int i = 0; i < 6; ++i) {
            const SpaceObject& rock = *asteroids.at(i);
            EXPECT_TRUE(rock.getX() == 33.0f || rock.getX() == 767.0f) << rock.getX();
            EXPECT_EQ(rock.getSize(), 32);
            const double a = rock.getAngle();
            EXPECT_TRUE(a >= 1 && a <= 59 && a == std::floor(a));
            EXPECT_FLOAT_EQ(rock.getVX(), static_cast<float>(std::sin(a) * 2));
            EXPECT_FLOAT_EQ(rock.getVY(), static_cast<float>(-std::cos(a) * 2));
        }
    }
}

TEST_F(Rules, BrokenRocksLeaveFasterPiecesWhereTheyWere) {
    playing();
    asteroids.append(body(100.9f, 50.2f, 32));
    breakAsteroid(0);
    ASSERT_EQ(asteroids.count, 2);
    EXPECT_EQ(gameState.asteroidSpeedFactor, 2);
    EXPECT_EQ(gameState.score, 10);
    for (int i = 0; i < 2; ++i) {
        const SpaceObject& piece = *asteroids.at(i);
        EXPECT_EQ(piece.getSize(), 16);
        // Set up at the truncated position, then one step of 4 pixels.
        EXPECT_NEAR(std::hypot(piece.getX() - 100.0f, piece.getY() - 50.0f), 4.0, 1e-4);
    }
    asteroids.clear();
    asteroids.append(body(300, 300, 8));
    breakAsteroid(0);
    EXPECT_EQ(asteroids.count, 0);
    EXPECT_EQ(gameState.score, 50);
    EXPECT_EQ(sound.started.back(), "snd\\bangSmall.wav");
}

TEST_F(Rules, SaucersAppearByLevelAndByWhatFlies) {
    playing();
    for (int level : {1, 2}) {
        gameState.level = level;
        spawnSaucer();
        EXPECT_EQ(saucers.count, 0);
    }
    gameState.level = 3;
    spawnSaucer();
    ASSERT_EQ(saucers.count, 1);
    const SpaceObject big = *saucers.at(0);
    EXPECT_EQ(big.getX(), 10.0f);
    EXPECT_EQ(big.getVX(), 6.0f);
    EXPECT_EQ(big.getScale(), 2);
    EXPECT_EQ(big.getSize(), 8);
    EXPECT_FALSE(big.isSmallSaucer());
    EXPECT_EQ(big.saucerPoints[1].x, 26.0f);  // placed at birth, drawable at once
    spawnSaucer();
    ASSERT_EQ(saucers.count, 2);
    EXPECT_EQ(saucers.at(1)->getVX(), 8.0f);
    EXPECT_TRUE(saucers.at(1)->isSmallSaucer());
    spawnSaucer();
    EXPECT_EQ(saucers.count, 2);

    // Level 6: a big one gets a big companion, a small one a small companion.
    gameState.level = 6;
    saucers.clear();
    saucers.append(big);
    spawnSaucer();
    EXPECT_EQ(saucers.at(1)->getVX(), 4.0f);
    EXPECT_FALSE(saucers.at(1)->isSmallSaucer());
    saucers.removeAt(0);
    saucers.removeAt(0);
    SpaceObject small = big;
    small.setSmallSaucer(true);
    saucers.append(small);
    spawnSaucer();
    EXPECT_EQ(saucers.at(1)->getVX(), 8.0f);
    EXPECT_TRUE(saucers.at(1)->isSmallSaucer());

    // Level 6, none flying: the parity of one draw picks the kind.
    for (unsigned seed = 1; seed < 8; ++seed) {
        saucers.clear();
        rng::srand(seed);
        const bool even = rng::rand() % 2 == 0;
        rng::srand(seed);
        spawnSaucer();
        ASSERT_EQ(saucers.count, 1);
        EXPECT_EQ(saucers.at(0)->getVX(), even ? 3.0f : 6.0f);
        EXPECT_EQ(saucers.at(0)->isSmallSaucer(), !even);
    }
}

TEST_F(Rules, SaucersLevelOffBeforeTheyTurnAround) {
    playing();
    // steer: 0 up, 1 level, 2 down; never a reversal in one step.
    auto expected = [](int steer, float vy) {
        if (steer == 1) return 0.0f;
        if (steer == 0) return vy == 3.0f ? 0.0f : -3.0f;
        return vy == -3.0f ? 0.0f : 3.0f;
    };
    int seen[3] = {0, 0, 0};
    for (unsigned seed = 1; seed < 30; ++seed) {
        for (float vy : {-3.0f, 0.0f, 3.0f}) {
            saucers.clear();
            saucers.append(body(100, 100, 8, 6, vy, 2));
            rng::srand(seed);
            const int steer = rng::rand() % 3;
            rng::srand(seed);
            steerSaucer(0);
            EXPECT_EQ(saucers.at(0)->getSteer(), steer);
            EXPECT_EQ(saucers.at(0)->getVY(), expected(steer, vy));
            ++seen[steer];
        }
    }
    EXPECT_GT(seen[0] * seen[1] * seen[2], 0);

    // Only on phase 0, and then without drawing.
    SpaceObject moved = body(100, 100, 8, 6, 3, 2);
    moved.moveSaucer(800, 600);
    saucers.clear();
    saucers.append(moved);
    rng::srand(5);
    const int next = rng::rand();
    rng::srand(5);
    steerSaucer(0);
    EXPECT_EQ(saucers.at(0)->getVY(), 3.0f);
    EXPECT_EQ(rng::rand(), next);
}

TEST_F(Rules, SaucersAimAtTheShipWithoutLead) {
    playing();
    playerShip.setX(410);
    playerShip.setY(200);
    playerShip.setVX(5);
    saucers.append(body(110, 200, 8, 6, 0, 2));
    saucerFire(0);
    ASSERT_EQ(saucerBullets.count, 1);
    const SpaceObject& bullet = *saucerBullets.at(0);
    EXPECT_EQ(bullet.getX(), 110.0f);
    EXPECT_FLOAT_EQ(bullet.getVX(), 10.0f);
    EXPECT_EQ(bullet.getVY(), 0.0f);
    EXPECT_EQ(bullet.getLife(), 35);
    EXPECT_EQ(bullet.getSize(), 1);
}

TEST_F(Rules, SmallSaucersSoundAndPayAsSmallOnes) {
    playing();
    parkRock();
    SpaceObject small = body(100, 100, 8, 8, 0, 1);
    small.setSmallSaucer(true);
    saucers.append(small);
    tick();
    EXPECT_EQ(gameState.saucerHumKind, 1);
    EXPECT_EQ(sound.started.back(), "snd\\saucerSmall.wav");

    // Grown by the mouse, it is still a small saucer.
    SpaceObject grown = *saucers.at(0);
    grown.setScale(3);
    saucers.putAt(0, grown);
    playerBullets.append(shot(grown.getX() + 1, grown.getY(), 0, 0));
    sound.started.clear();
    tick();
    EXPECT_EQ(saucers.count, 0);
    EXPECT_EQ(gameState.score, 100);
    EXPECT_EQ(sound.started.back(), "snd\\bangSmall.wav");
}

TEST_F(Rules, NewGamesAddThreeIconsToWhatIsLeft) {
    playing();  // three icons
    startNewGame();
    EXPECT_EQ(reserveShips.count, 6);
    EXPECT_EQ(gameState.reserveShipCount, 6);
    EXPECT_EQ(reserveShips.at(5)->getX(), 740.0f);  // leftmost of the new three
    EXPECT_EQ(gameState.level, 1);

    scorePoints("snd\\bangSmall.wav", 40);
    gameState.bonusPoints = 7;
    scorePoints("snd\\bangSmall.wav", 40);
    EXPECT_EQ(gameState.score, 80);
    EXPECT_EQ(gameState.bonusPoints, 47);
}
