#include <gtest/gtest.h>

#include <vector>

#include "GameFixture.h"
#include "app/host/HostControls.h"
#include "game/ShipControls.h"
#include "game/Tick.h"
#include "scores/HighScores.h"
#include "scores/Initials.h"
#include "space/AdditiveFeedbackRandom.h"

using MainLoop = GameTest;

namespace {

// A clock that closes the window after a number of sleeps, so that the real
// loop can run from its start to its end.
class ClosingClock final : public Clock {
public:
    explicit ClosingClock(FakeWindowSystem& w, int sleepsBeforeClose)
        : windows(w), left(sleepsBeforeClose) {}
    uint32_t tickCount() override { return now; }
    void sleep(uint32_t ms) override {
        now += ms;
        if (--left == 0) windows.post(wm::close);
    }
    unsigned randomSeed() override { return 1; }
    uint32_t now = 1000;

private:
    FakeWindowSystem& windows;
    int left;
};

}  // namespace

TEST_F(MainLoop, TheWindowIsMadeWithTheClassAndPlaceOfTheGame) {
    windows.screenWidth = 1024;
    ASSERT_TRUE(createGameWindow(nullptr));
    EXPECT_EQ(gameWindow->frameInterval, 62);
    EXPECT_STREQ(gameWindow->className, "Voidrunner");
    ASSERT_TRUE(gameWindow->createMainWindow());
    EXPECT_EQ(windows.registered.classStyle, 3u);
    EXPECT_EQ(windows.registered.backgroundBrush, 6);
    EXPECT_STREQ(windows.registered.className, "Voidrunner");
    EXPECT_EQ(windows.created.exStyle, 0x300u);
    EXPECT_EQ(windows.created.style, 0x00CF0000u);
    EXPECT_STREQ(windows.created.title, "Voidrunner");
    const int width = 200 + 2 * windows.systemMetric(metric::cxFixedFrame);
    EXPECT_EQ(windows.created.width, width);
    EXPECT_EQ(windows.created.height, 200);
    EXPECT_EQ(windows.created.x, (1024 - width) / 2);
    EXPECT_EQ(windows.created.y, 0);
    EXPECT_EQ(windows.shownWith, 3);
    EXPECT_EQ(gameWindow->window, windows.handle);  // set by the create message
}

TEST_F(MainLoop, AFailedWindowIsReportedOnceAndEndsTheProgram) {
    windows.failCreate = true;
    EXPECT_EQ(runMainLoop(nullptr), 1);
    int boxes = 0;
    for (const auto& call : windows.calls) boxes += call == "messageBox";
    EXPECT_EQ(boxes, 1);

    resetToProgramStart();
    windows.calls.clear();
    windows.failCreate = false;
    windows.failRegister = true;
    EXPECT_EQ(runMainLoop(nullptr), 1);
    for (const auto& call : windows.calls) EXPECT_NE(call, "messageBox");
}

TEST_F(MainLoop, ClosingTheWindowShutsDownAndExitsWithZero) {
    ClosingClock closing(windows, 200);
    installPlatform({.windows = &windows,
                     .keys = &keys,
                     .display = &display,
                     .sound = &sound,
                     .clock = &closing});
    EXPECT_EQ(runMainLoop(nullptr), 0);
    EXPECT_EQ(gameWindow, nullptr);
    EXPECT_EQ(sound.stops, 1);
    EXPECT_EQ(display.created, 1);
    EXPECT_EQ(display.destroyed, 1);
    EXPECT_GT(display.presentCount, 50);
    EXPECT_EQ(asteroids.count, 0);
    EXPECT_EQ(reserveShips.count, 0);
}

TEST_F(MainLoop, ShutDownBringsEveryModuleBackToProgramStart) {
    // What the next draw is at program start: the generator unseeded, after
    // the global ship's outline.
    rng::srand(1);
    const SpaceObject ship;
    const int firstDraw = rng::rand();

    // A game in full swing, then the end of the program.
    playing();
    for (int i = 0; i < 40; ++i) {
        keys.setAll(i % 2 ? "US" : "L");
        pollKeys();
        tick();
    }
    gameState.throttle = 3;
    gameState.enteringInitials = 1;
    recordHighScore(900, 2, "AB");
    typedInitials = "AB";
    nextTickTime = 77;
    setStartFullscreen(true);
    shutDown();

    EXPECT_EQ(rng::rand(), firstDraw);
    EXPECT_EQ(gameWindow, nullptr);
    EXPECT_EQ(display.destroyed, display.created);
    EXPECT_EQ(reserveShips.count + asteroids.count + saucers.count + playerBullets.count +
                  saucerBullets.count,
              0);
    EXPECT_TRUE(gameState == GameState{});
    EXPECT_EQ(playerShip.getX(), 0.0f);
    EXPECT_EQ(highScoreTable.rows[0].score, 0);
    EXPECT_EQ(highScoreTable.rows[0].initials, "");
    EXPECT_EQ(typedInitials, "");
    EXPECT_EQ(nextTickTime, 0u);
    EXPECT_FALSE(startFullscreen());
}

TEST_F(MainLoop, TicksComeEverySixtyThreeMillisecondsWithoutDrift) {
    ASSERT_TRUE(createGameWindow(nullptr));
    ASSERT_TRUE(gameWindow->createMainWindow());
    clock.now = 5000;
    nextTickTime = clock.now;
    std::vector<uint32_t> tickTimes;
    while (tickTimes.size() < 40) {
        if (runTickIfDue()) tickTimes.push_back(clock.now);
    }
    for (size_t i = 1; i < tickTimes.size(); ++i) EXPECT_EQ(tickTimes[i] - tickTimes[i - 1], 63u);
    for (uint32_t ms : clock.sleeps) EXPECT_LE(ms, 31u);

    // A late tick is not caught up: the next is due an interval after it ran.
    clock.now += 500;
    ASSERT_TRUE(runTickIfDue());
    const uint32_t late = clock.now;
    while (!runTickIfDue()) {
    }
    EXPECT_EQ(clock.now - late, 63u);
}

TEST_F(MainLoop, TicksKeepComingAcrossTheCounterWrap) {
    ASSERT_TRUE(createGameWindow(nullptr));
    ASSERT_TRUE(gameWindow->createMainWindow());
    clock.now = 0xFFFFFF00u;
    nextTickTime = clock.now;
    int ticked = 0;
    for (int pass = 0; pass < 1000 && ticked < 20; ++pass) ticked += runTickIfDue();
    EXPECT_EQ(ticked, 20);
    EXPECT_LT(clock.now, 0x1000u);  // wrapped
}

TEST_F(MainLoop, TheWindowProcedureRecordsMouseAndWindowState) {
    ASSERT_TRUE(createGameWindow(nullptr));
    ASSERT_TRUE(gameWindow->createMainWindow());
    GameWindow& w = *gameWindow;
    WindowHandle h = w.window;

    w.handleMessage(h, wm::leftButtonDown, 0, packPosition(30, 40));
    w.handleMessage(h, wm::rightButtonDown, 0, packPosition(31, 41));
    EXPECT_EQ(w.buttonDown, 1);
    EXPECT_EQ(w.leftButton, 0);
    EXPECT_EQ(w.buttonReleased, 0);
    EXPECT_EQ(w.mouseX, 31);
    w.handleMessage(h, wm::rightButtonUp, 0, packPosition(32, 42));
    EXPECT_EQ(w.buttonDown, 0);
    EXPECT_EQ(w.buttonReleased, 1);

    w.handleMessage(h, wm::mouseWheel, static_cast<uintptr_t>(120) << 16, packPosition(100, 100));
    EXPECT_EQ(w.wheelDelta, 120);
    EXPECT_EQ(w.mouseX, 98);
    EXPECT_EQ(w.mouseY, 79);
    w.handleMessage(h, wm::mouseWheel, static_cast<uintptr_t>(0xFF10) << 16, 0);  // -240
    EXPECT_EQ(w.wheelDelta, -120);

    w.handleMessage(h, wm::mouseMove, 0, packPosition(640, 480));
    EXPECT_EQ(w.mouseX, 640);
    EXPECT_EQ(w.mouseY, 480);

    w.handleMessage(h, wm::activate, 0, 0);
    EXPECT_EQ(w.inactive, 1);
    w.handleMessage(h, wm::activate, 1, 0);
    EXPECT_EQ(w.inactive, 0);
    EXPECT_EQ(w.width, windows.clientWidth);
    EXPECT_EQ(w.height, windows.clientHeight);

    // A typed digit runs a key step, then sets the throttle.
    keys.setAll("L");
    w.handleMessage(h, wm::character, '4', 0);
    EXPECT_EQ(gameState.throttle, 4);
    EXPECT_FLOAT_EQ(playerShip.getAngle(), -0.2f);
    w.handleMessage(h, wm::character, 0x134, 0);  // not a character code
    EXPECT_EQ(gameState.throttle, 4);
}

TEST_F(MainLoop, ResizingAfterStartKeepsThePlayfield) {
    ClosingClock closing(windows, 100);
    installPlatform({.windows = &windows,
                     .keys = &keys,
                     .display = &display,
                     .sound = &sound,
                     .clock = &closing});
    windows.clientWidth = 320;
    windows.clientHeight = 200;
    ASSERT_TRUE(createGameWindow(nullptr));
    ASSERT_TRUE(gameWindow->createMainWindow());
    for (int i = 0; i < 6; ++i) tick();
    windows.clientWidth = 1000;
    windows.clientHeight = 700;
    gameWindow->handleMessage(gameWindow->window, wm::size, 0, 0);
    tick();
    EXPECT_EQ(gameWindow->width, 1000);
    EXPECT_EQ(gameState.fieldWidth, 320);
    EXPECT_EQ(display.width, 320);
}
