// A clean game for each test: program-start state, headless services, a
// game window past its start countdown, and a private working folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "WorkFolder.h"

#include "app/GameWindow.h"
#include "game/GameState.h"
#include "platform/headless/Headless.h"
#include "present/Renderer.h"
#include "space/AdditiveFeedbackRandom.h"

class GameTest : public ::testing::Test {
protected:
    FakeWindowSystem windows;
    ScriptedKeys keys;
    RecordingDisplay display;
    RecordingSound sound;
    FakeClock clock;

    void SetUp() override {
        resetToProgramStart();
        installPlatform({.windows = &windows,
                         .keys = &keys,
                         .display = &display,
                         .sound = &sound,
                         .clock = &clock});
        rng::srand(1);
        folder = std::make_unique<WorkFolder>();
    }

    void TearDown() override {
        resetToProgramStart();
        resetPlatform();
        folder.reset();
    }

    // A window whose countdown is over, so tick() runs full ticks.
    void playing(int width = 800, int height = 600) {
        new GameWindow(nullptr, "Voidrunner", "Voidrunner", 0, 0, 0, 3);
        gameWindow->startCountdown = -1;
        gameState.fieldWidth = width;
        gameState.fieldHeight = height;
        playerShip.setup(static_cast<float>(width / 2), static_cast<float>(height / 2), 0, 0, 8, 0,
                         1);
        startNewGame();
        createBackBuffer(gameWindow->window);
    }

    static SpaceObject body(float x, float y, int size, float vx = 0, float vy = 0, int scale = 1) {
        SpaceObject o;
        o.setup(x, y, vx, vy, size, 0.0f, scale);
        return o;
    }

    static SpaceObject shot(float x, float y, float vx, float vy, int life = 35) {
        SpaceObject o;
        o.setX(x);
        o.setY(y);
        o.setVX(vx);
        o.setVY(vy);
        o.setSize(1);
        o.setLife(life);
        return o;
    }

    // A rock far from everything, so a field is not cleared by accident.
    static void parkRock() { asteroids.append(body(700, 100, 8)); }

    std::unique_ptr<WorkFolder> folder;
};
