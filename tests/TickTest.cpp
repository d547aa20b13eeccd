#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "GameFixture.h"
#include "game/ShipControls.h"
#include "game/Tick.h"
#include "scores/HighScores.h"
#include "scores/Initials.h"

using Tick = GameTest;

namespace {

void ticks(int n) {
    for (int i = 0; i < n; ++i) {
        pollKeys();
        tick();
    }
}

}  // namespace

TEST_F(Tick, FourTicksCountDownTheFifthStartsTheSixthDraws) {
    windows.clientWidth = 640;
    windows.clientHeight = 480;
    clock.seed = 7;
    ASSERT_TRUE(createGameWindow(nullptr));
    ASSERT_TRUE(gameWindow->createMainWindow());
    for (int i = 0; i < 4; ++i) {
        tick();
        EXPECT_EQ(gameWindow->startCountdown, 3 - i);
        EXPECT_EQ(gameState.fieldWidth, 0);
    }
    tick();
    EXPECT_EQ(gameWindow->startCountdown, -1);
    EXPECT_EQ(gameState.fieldWidth, 640);
    EXPECT_EQ(gameState.fieldHeight, 480);
    EXPECT_EQ(asteroids.count, 2);
    EXPECT_EQ(reserveShips.count, 3);
    EXPECT_EQ(playerShip.getX(), 320.0f);
    EXPECT_EQ(display.created, 1);
    EXPECT_EQ(display.presentCount, 0);
    // The table came from a missing save file: the default rows.
    EXPECT_EQ(highScoreTable.rows[9].initials, "AAA");
    const float firstRockY = asteroids.at(0)->getY();
    tick();
    EXPECT_EQ(display.presentCount, 1);

    // The same seed gives the same field.
    resetToProgramStart();
    ASSERT_TRUE(createGameWindow(nullptr));
    ASSERT_TRUE(gameWindow->createMainWindow());
    ticks(5);
    EXPECT_EQ(asteroids.at(0)->getY(), firstRockY);
}

TEST_F(Tick, AnEmptyClientAreaStillGivesAPlayfield) {
    windows.clientWidth = 0;
    windows.clientHeight = 0;
    ASSERT_TRUE(createGameWindow(nullptr));
    ASSERT_TRUE(gameWindow->createMainWindow());
    ticks(20);
    EXPECT_EQ(gameState.fieldWidth, 1);
    EXPECT_EQ(gameState.fieldHeight, 1);
}

TEST_F(Tick, ARemovedShotLetsItsSuccessorWaitATick) {
    playing();
    parkRock();
    playerBullets.append(shot(100, 100, 1, 0, 1));  // dies this tick
    playerBullets.append(shot(200, 100, 1, 0));
    playerBullets.append(shot(300, 100, 1, 0));
    tick();
    ASSERT_EQ(playerBullets.count, 2);
    EXPECT_EQ(playerBullets.at(0)->getX(), 200.0f);  // skipped
    EXPECT_EQ(playerBullets.at(0)->getLife(), 35);
    EXPECT_EQ(playerBullets.at(1)->getX(), 301.0f);
    EXPECT_EQ(playerBullets.at(1)->getLife(), 34);
}

TEST_F(Tick, ShotsDieNearTheEdgesAndAfterThirtyFiveMoves) {
    playing();
    parkRock();
    playerBullets.append(shot(12, 300, -2, 0));  // ends at x = 10
    tick();
    EXPECT_EQ(playerBullets.count, 0);

    playerBullets.append(shot(100, 300, 0.5f, 0));
    for (int pass = 1; pass <= 35; ++pass) {
        ASSERT_EQ(playerBullets.count, 1) << pass;
        tick();
    }
    EXPECT_EQ(playerBullets.count, 0);

    saucerBullets.append(shot(300, 589, 0, 1));  // reaches H - 10
    tick();
    EXPECT_EQ(saucerBullets.count, 0);
}

TEST_F(Tick, AClearedFieldPaysLevelsUpAndBringsTheNextWave) {
    playing();
    tick();
    EXPECT_EQ(gameState.score, 50);
    EXPECT_EQ(gameState.bonusPoints, 50);
    EXPECT_EQ(gameState.level, 2);
    EXPECT_EQ(asteroids.count, 4);
    EXPECT_EQ(gameState.saucerTimer, 1);  // reset, then stepped in the same tick

    asteroids.clear();
    gameState.level = 3;
    gameState.score = 0;
    gameState.bonusPoints = 480;
    tick();
    EXPECT_EQ(gameState.score, 150);
    EXPECT_EQ(asteroids.count, 8);
    EXPECT_EQ(gameState.bonusPoints, 630);  // below the raised threshold of 2000
    EXPECT_EQ(reserveShips.count, 3);

    // 480 on level 1: the clear makes 530, but level 2 asks for 1000.
    asteroids.clear();
    gameState.level = 1;
    gameState.bonusPoints = 480;
    tick();
    EXPECT_EQ(gameState.bonusPoints, 530);
    EXPECT_EQ(reserveShips.count, 3);
}

TEST_F(Tick, SaucerTimerLimitsGrowWithTheLevel) {
    playing();
    parkRock();
    const int limits[] = {0, 0, 320, 640, 960, 960, 1280, 1600, 1920};
    for (int level = 1; level <= 8; ++level) {
        gameState.level = level;
        gameState.saucerTimer = limits[level] - 1;
        if (limits[level] > 0) {
            tick();
            EXPECT_EQ(gameState.saucerTimer, limits[level]) << level;
        }
        tick();
        EXPECT_EQ(gameState.saucerTimer, 0) << level;
        saucers.clear();
        saucerBullets.clear();
    }
}

TEST_F(Tick, GameOverAsksForInitialsOnlyForAQualifyingScore) {
    playing();
    reserveShips.removeLast();
    reserveShips.removeLast();
    gameState.reserveShipCount = 1;
    gameState.score = 120;
    asteroids.append(body(405, 300, 8));
    parkRock();
    tick();
    EXPECT_TRUE(gameState.shipDestroyed);
    EXPECT_TRUE(gameState.enteringInitials);  // the empty table takes anything
    EXPECT_FALSE(gameState.restartArmed);
    EXPECT_EQ(gameState.score, 160);

    // Frozen: nothing moves, frames still come.
    const int frames = display.presentCount;
    playerBullets.append(shot(100, 100, 5, 0));
    tick();
    EXPECT_EQ(playerBullets.at(0)->getX(), 100.0f);
    EXPECT_EQ(display.presentCount, frames + 1);

    // Space does nothing while initials are typed.
    keys.set(Key::Space, true);
    ticks(2);
    keys.set(Key::Space, false);
    ticks(1);
    EXPECT_FALSE(gameState.restartArmed);
    for (int c : {int{'K'}, 8, int{'.'}, int{'M'}}) handleTypedCharacter(c);
    EXPECT_FALSE(gameState.enteringInitials);
    EXPECT_EQ(highScoreTable.rows[0].score, 160);
    EXPECT_EQ(highScoreTable.rows[0].initials, "K.M");
    std::ifstream saved("save.txt");
    std::stringstream text;
    text << saved.rdbuf();
    EXPECT_EQ(text.str().substr(0, 10), "160 1 K.M\n");

    // Two fresh presses: the first arms, the second restarts.
    gameState.throttle = 3;
    keys.set(Key::Space, true);
    ticks(3);
    EXPECT_TRUE(gameState.restartArmed);
    EXPECT_TRUE(gameState.shipDestroyed);
    keys.set(Key::Space, false);
    ticks(1);
    keys.set(Key::Space, true);
    ticks(1);
    EXPECT_FALSE(gameState.shipDestroyed);
    EXPECT_EQ(gameState.score, 0);
    EXPECT_EQ(gameState.level, 1);
    EXPECT_EQ(reserveShips.count, 3);
    EXPECT_EQ(asteroids.count, 2);
    EXPECT_EQ(playerBullets.count, 0);
    EXPECT_EQ(gameState.throttle, 3);
    EXPECT_TRUE(gameState.restartArmed);

    // A table of better scores does not ask.
    for (auto& row : highScoreTable.rows) row.score = 1000;
    keys.set(Key::Space, false);
    while (reserveShips.count > 1) reserveShips.removeLast();
    asteroids.clear();
    asteroids.append(body(405, 300, 8));
    parkRock();
    ticks(1);
    EXPECT_TRUE(gameState.shipDestroyed);
    EXPECT_FALSE(gameState.enteringInitials);
    EXPECT_FALSE(gameState.restartArmed);
}

TEST_F(Tick, AnExtraShipWonAsTheLastIsLostCarriesIntoTheNextGame) {
    playing();
    while (reserveShips.count > 1) reserveShips.removeLast();
    gameState.bonusPoints = 490;
    asteroids.append(body(405, 300, 32));  // ten points: the threshold
    tick();
    EXPECT_TRUE(gameState.shipDestroyed);
    EXPECT_EQ(reserveShips.count, 1);
    restartGame();
    EXPECT_EQ(reserveShips.count, 4);
}

TEST_F(Tick, KeyRowsApplyInOrder) {
    playing();
    keys.setAll("LR");
    pollKeys();
    EXPECT_FLOAT_EQ(playerShip.getAngle(), -0.2f);  // left wins

    keys.setAll("US");
    sound.started.clear();
    pollKeys();
    pollKeys();
    EXPECT_EQ(playerBullets.count, 2);
    EXPECT_TRUE(playerShip.isThrusting());
    EXPECT_EQ(sound.started, (std::vector<std::string>{"snd\\fire.wav", "snd\\fire.wav"}));

    // Up released while Left stays: the flame stays on.
    keys.setAll("L");
    pollKeys();
    EXPECT_TRUE(playerShip.isThrusting());
    // Straight from Left to Space alone: no shot until everything is let go.
    keys.setAll("S");
    pollKeys();
    EXPECT_EQ(playerBullets.count, 2);
    keys.setAll("-");
    pollKeys();
    EXPECT_FALSE(playerShip.isThrusting());
    EXPECT_EQ(gameState.keyHoldTicks, 0);
    keys.setAll("S");
    for (int i = 0; i < 5; ++i) pollKeys();
    EXPECT_EQ(playerBullets.count, 3);  // one per press

    // The limit: four on level 1 and nothing, not even a sound, beyond.
    keys.setAll("RS");
    pollKeys();
    sound.started.clear();
    pollKeys();
    EXPECT_EQ(playerBullets.count, 4);
    EXPECT_TRUE(sound.started.empty());
    gameState.level = 2;
    pollKeys();
    EXPECT_EQ(playerBullets.count, 5);

    // Up alone: thrust with its sound, and the hold count stands still.
    keys.setAll("U");
    const int hold = gameState.keyHoldTicks;
    pollKeys();
    EXPECT_EQ(sound.started.back(), "snd\\thrust.wav");
    EXPECT_EQ(gameState.keyHoldTicks, hold);
}

TEST_F(Tick, ThrustAddsTheThrottleAlongTheHeading) {
    playing();
    gameState.throttle = 1;
    keys.setAll("U");
    for (int i = 0; i < 10; ++i) pollKeys();
    EXPECT_NEAR(playerShip.getVY(), -1.0f, 1e-6);
    EXPECT_EQ(playerShip.getVX(), 0.0f);

    playerShip.setVX(0);
    playerShip.setVY(0);
    playerShip.setAngle(1.5707964f);  // nose to the right
    gameState.throttle = 10;
    pollKeys();
    EXPECT_NEAR(playerShip.getVX(), 1.0f, 1e-6);
    EXPECT_NEAR(playerShip.getVY(), 0.0f, 1e-6);
}

TEST_F(Tick, MouseButtonsScaleOncePerHoldAndTheWheelCancels) {
    playing();
    parkRock();
    saucers.append(body(100, 100, 8, 6, 0, 2));
    gameWindow->buttonDown = 1;
    gameWindow->leftButton = 1;
    tick();
    tick();
    tick();
    EXPECT_EQ(playerShip.getScale(), 2);
    EXPECT_EQ(saucers.at(0)->getScale(), 3);
    EXPECT_EQ(gameState.buttonHoldTicks, 3);

    gameWindow->buttonDown = 0;
    tick();
    EXPECT_EQ(gameState.buttonHoldTicks, 0);
    gameWindow->wheelDelta = -120;
    gameWindow->buttonDown = 1;
    gameWindow->leftButton = 0;
    tick();
    EXPECT_EQ(gameWindow->wheelDelta, 0);
    EXPECT_EQ(playerShip.getScale(), 2);  // cancelled
    tick();
    EXPECT_EQ(playerShip.getScale(), 1);
    EXPECT_EQ(saucers.at(0)->getScale(), 2);

    // Growing past 4 wraps to 1; shrinking from 1 stays at 1.
    gameWindow->buttonDown = 0;
    tick();
    gameWindow->buttonDown = 1;
    tick();
    EXPECT_EQ(playerShip.getScale(), 1);
    playerShip.setScale(4);
    gameWindow->buttonDown = 0;
    tick();
    gameWindow->buttonDown = 1;
    gameWindow->leftButton = 1;
    tick();
    EXPECT_EQ(playerShip.getScale(), 1);
}
