// The host around the game: frame placement in any window, the settings
// file, and pause, help and mute keys.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "GameFixture.h"
#include "app/FramePlacement.h"
#include "app/host/Settings.h"
#include "game/Tick.h"

TEST(FramePlacement, CentredShrunkToFitOrEnlargedByWholeSteps) {
    EXPECT_EQ(placeFrame(800, 600, 800, 600), (Rect{0, 0, 800, 600}));
    // Smaller: the tighter side fits, the aspect stays, centred the other way.
    EXPECT_EQ(placeFrame(800, 600, 400, 600), (Rect{0, 150, 400, 450}));
    EXPECT_EQ(placeFrame(800, 600, 1000, 300), (Rect{300, 0, 700, 300}));
    // Larger but not twice as large: as it is, centred on black.
    EXPECT_EQ(placeFrame(800, 600, 1500, 1000), (Rect{350, 200, 1150, 800}));
    EXPECT_EQ(placeFrame(320, 240, 1000, 1000), (Rect{20, 140, 980, 860}));
    // Nothing to show into or from.
    EXPECT_EQ(placeFrame(800, 600, 0, 600), Rect{});
    EXPECT_EQ(placeFrame(0, 600, 800, 600), Rect{});
    // Extreme sizes neither overflow nor vanish.
    const Rect thin = placeFrame(16384, 16384, 1, 30000);
    EXPECT_EQ(thin.right - thin.left, 1);
    EXPECT_EQ(thin.bottom - thin.top, 1);

    // Mouse positions go back to the playfield, clamped to it.
    const Rect place = placeFrame(320, 240, 1000, 1000);  // three times
    int x = 20 + 3 * 100, y = 140 + 3 * 50;
    windowToFrame(place, 320, 240, x, y);
    EXPECT_EQ(x, 100);
    EXPECT_EQ(y, 50);
    x = 0, y = 999;
    windowToFrame(place, 320, 240, x, y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 239);
    x = 7, y = 9;  // no place yet: unchanged
    windowToFrame(Rect{}, 320, 240, x, y);
    EXPECT_EQ(x, 7);
    EXPECT_EQ(y, 9);
}

TEST(HostSettings, BadContentsGiveTheDefaultAndAChoiceSurvivesARestart) {
    WorkFolder folder;
    EXPECT_FALSE(loadSettings().muted);  // no file
    for (const char* bad : {"mute 2\n", "mute\n", "mute 1 1\n", "MUTE 1\n", "\xff\xfe\x00mute 1",
                            "mute -1\n", "mute 1x\n"}) {
        std::ofstream(kSettingsFile, std::ios::binary) << bad;
        EXPECT_FALSE(loadSettings().muted) << bad;
    }
    std::ofstream(kSettingsFile) << "volume 3\n\n  mute   1  \r\n";
    EXPECT_TRUE(loadSettings().muted);  // unknown names and blanks are passed over

    ASSERT_TRUE(saveSettings(HostSettings{false}));
    EXPECT_FALSE(loadSettings().muted);
    ASSERT_TRUE(saveSettings(HostSettings{true}));
    EXPECT_TRUE(loadSettings().muted);
    // A folder in the file's place: the write fails, nothing crashes.
    EXPECT_FALSE(saveSettings(HostSettings{true}, "."));
}

// settings.txt as a pipe is not waited on (a writer the test opens after
// five seconds would free a blocked read); one past what settings can hold
// is not read; a link planted where the temporary file once went changes
// nothing outside.
TEST(HostSettings, OnlyAPlainSmallFileIsReadAndItIsWrittenTheSafeWay) {
    WorkFolder folder;
    ASSERT_EQ(mkfifo(kSettingsFile, 0644), 0);
    std::atomic<bool> done{false}, freed{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 500 && !done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (done) return;
        freed = true;
        ::close(::open(kSettingsFile, O_WRONLY | O_NONBLOCK));
    });
    testing::internal::CaptureStderr();
    EXPECT_FALSE(loadSettings().muted);
    done = true;
    watchdog.join();
    EXPECT_FALSE(freed) << "the read waited on the pipe";
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find(kSettingsFile), std::string::npos) << said;
    std::filesystem::remove(kSettingsFile);

    std::ofstream(kSettingsFile) << "mute 1\n" << std::string(100000, '#') << '\n';
    EXPECT_FALSE(loadSettings().muted);

    std::ofstream("victim") << "precious";
    std::filesystem::create_symlink("victim", "settings.txt.new");
    ASSERT_TRUE(saveSettings(HostSettings{true}));
    EXPECT_EQ(readFile("victim"), "precious");
    EXPECT_TRUE(loadSettings().muted);
}

using Host = GameTest;

namespace {
Message typed(char c) { return Message{nullptr, wm::character, static_cast<uintptr_t>(c), 0}; }
Message key(uint32_t code) { return Message{nullptr, wm::keyDown, code, 0}; }
bool shows(const std::vector<DrawOp>& ops, const char* text) {
    for (const DrawOp& op : ops)
        if (op.kind == DrawOp::Text && op.text == text) return true;
    return false;
}
}  // namespace

TEST_F(Host, PauseAndMuteKeysAreTheHostsOnlyWhileNoInitialsAreTyped) {
    playing();
    HostControls& host = gameWindow->host;
    host.attach();
    tick();

    // P pauses: the sound stops, the frame comes again with "Paused" over it.
    const int presents = display.presentCount;
    EXPECT_TRUE(host.takes(typed('P'), false));
    EXPECT_EQ(host.shown(), Overlay::Paused);
    EXPECT_EQ(sound.stops, 1);
    EXPECT_EQ(display.presentCount, presents + 1);
    EXPECT_TRUE(shows(display.presented, "Paused"));
    EXPECT_TRUE(shows(display.presented, "Throttle: 100 %"));  // the game's frame under it
    // Paused: sounds are not heard, mouse buttons do not reach the game,
    // and the next key only resumes.
    platform().sound->play("snd\\fire.wav");
    EXPECT_TRUE(sound.started.empty());
    EXPECT_TRUE(host.takes(Message{nullptr, wm::leftButtonDown, 0, 0}, false));
    EXPECT_TRUE(host.takes(typed('5'), false));
    EXPECT_FALSE(host.paused());
    EXPECT_EQ(gameState.throttle, 10);

    // F1 shows the controls and pauses; F1 again plays on; so do arrows.
    EXPECT_TRUE(host.takes(key(vk::f1), false));
    EXPECT_EQ(host.shown(), Overlay::Help);
    EXPECT_TRUE(shows(display.presented, "Controls"));
    EXPECT_TRUE(host.takes(key(vk::f1), false));
    EXPECT_FALSE(host.paused());
    EXPECT_TRUE(host.takes(key(vk::pause), false));
    EXPECT_TRUE(host.takes(key(vk::left), false));
    EXPECT_FALSE(host.paused());
    EXPECT_FALSE(host.takes(key('P'), false));  // its character comes next

    // M mutes and is remembered; M again unmutes.
    EXPECT_TRUE(host.takes(typed('m'), false));
    EXPECT_TRUE(host.muted());
    platform().sound->play("snd\\fire.wav");
    EXPECT_TRUE(sound.started.empty());
    EXPECT_TRUE(loadSettings().muted);
    EXPECT_TRUE(host.takes(typed('M'), false));
    platform().sound->play("snd\\fire.wav");
    EXPECT_EQ(sound.started.size(), 1u);
    EXPECT_FALSE(loadSettings().muted);

    // Typing initials: P and M are initials, the game gets them.
    EXPECT_FALSE(host.takes(typed('p'), true));
    EXPECT_FALSE(host.takes(typed('M'), true));
    EXPECT_FALSE(host.paused());
    EXPECT_FALSE(host.muted());
    // Other characters and the digits always go to the game.
    EXPECT_FALSE(host.takes(typed('7'), false));
    host.detach();
    EXPECT_EQ(platform().sound, &sound);
}

TEST_F(Host, LosingTheWindowPausesTheLoopWhichThenWaitsInsteadOfTicking) {
    // Before the first frame there is nothing to pause.
    ASSERT_TRUE(createGameWindow(nullptr));
    gameWindow->handleMessage(nullptr, wm::activate, 0, 0);
    EXPECT_FALSE(gameWindow->host.paused());
    resetToProgramStart();

    // The real loop: after some ticks the window is minimised; the loop
    // then takes messages with the blocking call (the fake's empty queue
    // ends it) and neither sleeps nor ticks any more.
    struct MinimisingClock final : public Clock {
        FakeWindowSystem& windows;
        explicit MinimisingClock(FakeWindowSystem& w) : windows(w) {}
        uint32_t tickCount() override { return now; }
        void sleep(uint32_t ms) override {
            now += ms;
            if (++sleeps == 40) windows.post(wm::size, kSizeMinimized, 0);
        }
        unsigned randomSeed() override { return 1; }
        uint32_t now = 1000;
        int sleeps = 0;
    } minimising(windows);
    installPlatform({&windows, &keys, &display, &sound, &minimising});
    EXPECT_EQ(runMainLoop(nullptr), 0);
    EXPECT_EQ(minimising.sleeps, 40);
    EXPECT_EQ(windows.calls.back(), "getMessage");
    EXPECT_TRUE(shows(display.presented, "Paused"));
    EXPECT_GE(sound.stops, 2);  // the pause, then the shutdown
}
