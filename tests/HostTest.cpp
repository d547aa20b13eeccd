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
#include "app/host/HostControls.h"
#include "app/host/Settings.h"
#include "app/online/Leaderboard.h"
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

TEST(FramePlacement, OnAHighDensityScreenTheLogicalFieldIsShownInWholeDevicePixels) {
    // A 640x360 field (the window's logical size) on a 2x and a 1.5x screen:
    // twice as large, or as it is; never a blurred 1.5.
    EXPECT_EQ(placeFrame(640, 360, rescale(640, 96, 192), rescale(360, 96, 192)),
              (Rect{0, 0, 1280, 720}));
    EXPECT_EQ(placeFrame(640, 360, rescale(640, 96, 144), rescale(360, 96, 144)),
              (Rect{160, 90, 800, 450}));
    // Windows reports the real pixels; the field is them taken back to 96 DPI.
    EXPECT_EQ(rescale(1920, 144, 96), 1280);
    EXPECT_EQ(rescale(1279, 192, 96), 639);
    EXPECT_EQ(rescale(5, 0, 96), 5);
    // A pointer in logical pixels, taken to the device's, lands on its spot.
    const Rect place = placeFrame(640, 360, 1280, 720);
    int x = rescale(100, 640, 1280), y = rescale(50, 360, 720);
    windowToFrame(place, 640, 360, x, y);
    EXPECT_EQ(x, 100);
    EXPECT_EQ(y, 50);
}

TEST(FramePlacement, TheVectorLookFillsTheWindowAtAnyScaleWithRoomForItsBorder) {
    // The field's own window is the field; the ranked field fills a 1080p
    // screen's height less the border's margin, centred.
    EXPECT_EQ(placeVectorFrame(800, 600, 800, 600, 2), (Rect{0, 0, 800, 600}));
    EXPECT_EQ(placeVectorFrame(1280, 720, 1920, 1080, 2), (Rect{3, 2, 1916, 1078}));
    EXPECT_EQ(placeVectorFrame(1280, 720, 1366, 748, 2), (Rect{21, 2, 1344, 746}));
    // Upright: the width fits.
    EXPECT_EQ(placeVectorFrame(1280, 720, 390, 800, 3), (Rect{3, 292, 387, 508}));
    EXPECT_EQ(placeVectorFrame(1280, 720, 0, 800, 3), Rect{});
    // A margin larger than a tiny window leaves the field some room.
    const Rect tiny = placeVectorFrame(100, 100, 6, 6, 50);
    EXPECT_GT(tiny.right - tiny.left, 0);
}

TEST(HostSettings, BadContentsGiveTheDefaultAndAChoiceSurvivesARestart) {
    WorkFolder folder;
    EXPECT_FALSE(loadSettings().muted);  // no file
    for (const char* bad : {"mute 2\n", "mute\n", "mute 1 1\n", "MUTE 1\n", "\xff\xfe\x00mute 1",
                            "mute -1\n", "mute 1x\n"}) {
        std::ofstream(kSettingsFile, std::ios::binary) << bad;
        EXPECT_FALSE(loadSettings().muted) << bad;
    }
    std::ofstream(kSettingsFile) << "loudness 3\n\n  mute   1  \r\nvolume 3\n";
    EXPECT_TRUE(loadSettings().muted);  // unknown names and blanks are passed over
    EXPECT_EQ(loadSettings().volume, 3);
    for (const char* bad : {"volume 11\n", "volume -1\n", "volume 5x\n", "volume 007\n"}) {
        std::ofstream(kSettingsFile, std::ios::binary) << bad;
        EXPECT_EQ(loadSettings().volume, 10) << bad;
    }

    EXPECT_TRUE(loadSettings().vectorLook);
    EXPECT_FALSE(loadSettings().glow);
    for (const char* look : {"look pixel\n", "look Vector\n", "look\n"}) {
        std::ofstream(kSettingsFile, std::ios::binary) << look;
        EXPECT_TRUE(loadSettings().vectorLook) << look;
    }

    ASSERT_TRUE(saveSettings(HostSettings{false}));
    EXPECT_FALSE(loadSettings().muted);
    HostSettings quiet{true};
    quiet.volume = 0;
    quiet.vectorLook = false;
    quiet.glow = true;
    ASSERT_TRUE(saveSettings(quiet));
    EXPECT_TRUE(loadSettings().glow);
    EXPECT_TRUE(loadSettings().muted);
    EXPECT_EQ(loadSettings().volume, 0);
    EXPECT_FALSE(loadSettings().vectorLook);
    // A folder in the file's place: the write fails, nothing crashes.
    EXPECT_FALSE(saveSettings(HostSettings{true}, "."));
}

// The file is the player's: a save keeps every line and comment it does
// not know, says which line it did not take and why, and the player line
// (name and key, the one line to copy to another device) reads back.
TEST(HostSettings, ARoundTripKeepsWhatItDoesNotKnowAndSaysWhy) {
    WorkFolder folder;
    const std::string key = "Ab-_0123456789abcdefXYZ";
    std::ofstream(kSettingsFile) << "# my settings\ncolour green\nvolume 11\n"
                                 << "player " << std::string(33, 'N') << "\n\nmute 1\n";
    HostSettings s = loadSettings();
    EXPECT_TRUE(s.muted);
    ASSERT_EQ(s.notTaken.size(), 3u);
    EXPECT_EQ(s.notTaken[0],
              "settings.txt line 2, \"colour green\", is not taken: not a setting "
              "this game knows");
    EXPECT_NE(s.notTaken[1].find("line 3, \"volume 11\", is not taken: volume is 0 to 10"),
              std::string::npos);
    EXPECT_NE(s.notTaken[2].find("1 to 16 characters"), std::string::npos) << s.notTaken[2];
    ASSERT_TRUE(saveSetting("mute", "0"));
    ASSERT_TRUE(saveSetting("player", playerSetting("Zo\xC3\xAB R", key)));
    EXPECT_EQ(readFile(kSettingsFile), "# my settings\ncolour green\nvolume 11\nplayer " +
                                           std::string(33, 'N') +
                                           "\n\nmute 0\nplayer Zo\xC3\xAB R key " + key + "\n");
    s = loadSettings();
    EXPECT_EQ(s.player, "Zo\xC3\xAB R");
    EXPECT_EQ(s.playerKey, key);
    // Another name claimed later: the first name's line stays, as a comment.
    ASSERT_TRUE(saveSetting("player", playerSetting("ACE", key + "2")));
    EXPECT_NE(
        readFile(kSettingsFile).find("# player Zo\xC3\xAB R key " + key + "\nplayer ACE key "),
        std::string::npos)
        << readFile(kSettingsFile);
    // A pasted line, decomposed as some systems type it, reads composed.
    std::string name, pasted, why;
    ASSERT_TRUE(readPlayerSetting("player ACE\xCC\x81 key " + key, name, pasted, why)) << why;
    EXPECT_EQ(name, "AC\xC3\x89");
    EXPECT_EQ(pasted, key);
    EXPECT_FALSE(
        readPlayerSetting("player \xE2\x80\xAE"
                          "ECA",
                          name, pasted, why));
    EXPECT_NE(why.find("U+202E"), std::string::npos) << why;
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
    HostControls& host = gameWindow->host();
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

// The vector look is the host's: each frame's operations go to a display
// that draws them again, and the exact back buffer is left alone; F3 gives
// the exact pixels back, and the choice is kept.
TEST_F(Host, F3SwitchesBetweenTheVectorLookAndTheExactPixelsAndKeepsTheChoice) {
    struct Vectors final : Display {
        DrawSurface* createBackBuffer(WindowHandle w, int width, int height) override {
            return inner->createBackBuffer(w, width, height);
        }
        void present(WindowHandle w, DrawSurface& s, int width, int height) override {
            inner->present(w, s, width, height);
        }
        void destroyBackBuffer(DrawSurface* s) override { inner->destroyBackBuffer(s); }
        bool drawsVectors() override { return true; }
        void presentVectors(WindowHandle, const DrawList& frame, int, int) override {
            ++frames;
            last = frame;
        }
        Display* inner = nullptr;
        int frames = 0;
        DrawList last;
    } vectors;
    vectors.inner = &display;
    platform().display = &vectors;
    playing();
    HostControls& host = gameWindow->host();
    host.attach();
    createBackBuffer(gameWindow->window);  // through the host, as start-up makes it

    tick();
    EXPECT_EQ(vectors.frames, 1);
    EXPECT_EQ(display.presentCount, 0);
    EXPECT_TRUE(display.surface->ops.empty());
    bool throttle = false;
    forEachDrawItem(vectors.last,
                    [&](const DrawItem& i) { throttle = throttle || i.text == "Throttle: 100 %"; });
    EXPECT_TRUE(throttle);

    EXPECT_TRUE(host.takes(key(vk::f3), false));
    EXPECT_TRUE(host.takeLookChange());
    EXPECT_FALSE(host.takeLookChange());
    EXPECT_FALSE(loadSettings().vectorLook);
    tick();
    EXPECT_EQ(vectors.frames, 1);
    EXPECT_EQ(display.presentCount, 1);
    EXPECT_TRUE(shows(display.presented, "Throttle: 100 %"));

    // Paused, the box goes the same way as the frame under it.
    EXPECT_TRUE(host.takes(key(vk::f3), false));
    EXPECT_TRUE(loadSettings().vectorLook);
    EXPECT_TRUE(host.takes(typed('P'), false));
    EXPECT_EQ(vectors.frames, 2);
    bool paused = false;
    forEachDrawItem(vectors.last,
                    [&](const DrawItem& i) { paused = paused || i.text == "Paused"; });
    EXPECT_TRUE(paused);
    host.detach();
    resetToProgramStart();  // the back buffer goes back through `vectors`
}

TEST_F(Host, LosingTheWindowPausesTheLoopWhichThenWaitsInsteadOfTicking) {
    // Before the first frame there is nothing to pause.
    ASSERT_TRUE(createGameWindow(nullptr));
    gameWindow->handleMessage(nullptr, wm::activate, 0, 0);
    EXPECT_FALSE(gameWindow->host().paused());
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
    installPlatform({.windows = &windows,
                     .keys = &keys,
                     .display = &display,
                     .sound = &sound,
                     .clock = &minimising});
    EXPECT_EQ(runMainLoop(nullptr), 0);
    EXPECT_EQ(minimising.sleeps, 40);
    EXPECT_EQ(windows.calls.back(), "getMessage");
    EXPECT_TRUE(shows(display.presented, "Paused"));
    EXPECT_GE(sound.stops, 2);  // the pause, then the shutdown
}

TEST_F(Host, VolumeWasdPointerAndSignsStayAroundTheGame) {
    playing();
    HostControls& host = gameWindow->host();
    host.attach();
    createBackBuffer(gameWindow->window);  // shown through the host, as in a run

    // - and + step the volume, kept in the settings; typed initials keep them.
    EXPECT_TRUE(host.takes(typed('-'), false));
    EXPECT_TRUE(host.takes(typed('-'), false));
    EXPECT_TRUE(host.takes(typed('='), false));
    EXPECT_EQ(sound.volume, 9);
    EXPECT_EQ(loadSettings().volume, 9);
    for (int i = 0; i < 3; ++i) host.takes(typed('+'), false);
    EXPECT_EQ(host.volume(), 10);  // no louder than recorded
    EXPECT_FALSE(host.takes(typed('-'), true));
    tick();
    EXPECT_TRUE(shows(display.presented, "Volume 10/10"));
    clock.now += HostControls::kSignTime;
    tick();
    EXPECT_FALSE(shows(display.presented, "Volume 10/10"));
    // Muted: a sign over every frame, not part of the game's drawing.
    host.takes(typed('m'), false);
    tick();
    EXPECT_TRUE(shows(display.presented, "Sound off (M)"));

    // W, A, D steer while a ship flies; their characters stay the host's.
    SteeringKeys steering(keys);
    keys.heldLetters = "WD";
    EXPECT_TRUE(steering.isHeld(Key::Up));
    EXPECT_TRUE(steering.isHeld(Key::Right));
    EXPECT_FALSE(steering.isHeld(Key::Left));
    EXPECT_TRUE(host.takes(typed('w'), false));
    EXPECT_FALSE(host.takes(typed('s'), false));
    // After the last ship they are letters only.
    gameState.shipDestroyed = 1;
    EXPECT_FALSE(steering.isHeld(Key::Up));
    EXPECT_FALSE(host.takes(typed('W'), true));

    // The pointer hides when still, and shows again when moved.
    clock.now += HostControls::kPointerRest;
    host.afterTick(gameWindow->window);
    EXPECT_FALSE(windows.pointerShown);
    host.takes(Message{nullptr, wm::mouseMove, 0, 0}, false);
    EXPECT_TRUE(windows.pointerShown);
}

TEST_F(Host, F2ShowsTheTopTenFetchedWithoutWaitingAndStrangersNamesDrawnSafely) {
    // Answered by the test, as a real service would on its own thread.
    struct HeldHttp final : public HttpService {
        std::vector<std::pair<std::string, std::function<void(const HttpReply&)>>> asked;
        void send(const std::string&, const std::string& url, const std::string&,
                  std::function<void(const HttpReply&)> done) override {
            asked.emplace_back(url, std::move(done));
        }
        HttpReply sendAndWait(const std::string&, const std::string&, const std::string&) override {
            ADD_FAILURE() << "the overlay waited on the network";
            return {};
        }
    } http;
    playing(1280, 720);
    HostControls& host = gameWindow->host();
    host.attach();
    EXPECT_TRUE(host.takes(key(vk::f2), false));
    EXPECT_TRUE(shows(display.presented, "This build has no network"));
    EXPECT_TRUE(shows(display.presented, "Throttle: 100 %"));  // over the game's own frame
    EXPECT_TRUE(host.takes(key(vk::f2), false));
    EXPECT_FALSE(host.paused());
    host.detach();

    setTopTenSource(&http, "http://lb.test/");
    noteLeaderboardMessage("the run is listed");  // a menu-started game has no console
    host.attach();
    host.takes(key(vk::f2), false);
    EXPECT_TRUE(shows(display.presented, "the run is listed"));
    ASSERT_EQ(http.asked.size(), 2u);
    EXPECT_EQ(http.asked[1].first, "http://lb.test/api/v1/top?limit=10&day=" + utcToday())
        << "today's runs of the standard board";
    EXPECT_TRUE(shows(display.presented, "Loading..."));
    EXPECT_TRUE(host.showAnswers(gameWindow->window));
    // Names as a server may send them: markup escaped, a control character,
    // other scripts, one far too long, Latin-1 in UTF-8.
    http.asked[0].second(
        {200,
         "[{\"id\":1,\"player\":\"\\u003cb\\u003eACE\\u0007\",\"score\":1230,\"ticks\":9},"
         " {\"player\":\"\\u65e5\\ud83d\\ude00x\",\"score\":900,\"version\":\"1.0.0\"},"
         " {\"player\":\"" +
             std::string(40, 'Z') +
             "\",\"score\":5},"
             " {\"player\":\"J\xc3\xb6rg\",\"score\":0,\"hidden\":false}]",
         ""});
    http.asked[1].second({0, "", "refused"});
    EXPECT_FALSE(host.showAnswers(gameWindow->window));
    for (const std::string& text :
         {std::string("<b>ACE?"), std::string("1230"), std::string("???x"),
          std::string(kShownNameLength, 'Z'), std::string("J\xf6rg"),
          std::string("Offline: the leaderboard cannot be reached")})
        EXPECT_TRUE(shows(display.presented, text.c_str())) << text;
    EXPECT_TRUE(host.takes(typed(27), true));  // Esc, even while initials are typed
    tick();
    EXPECT_FALSE(shows(display.presented, "Top ten"));
    host.detach();

    // A player's own row is marked; out of the ten, their place shows.
    http.asked.clear();
    setTopTenSource(&http, "http://lb.test", "Zo\xc3\xab");
    host.attach();
    host.takes(key(vk::f2), false);
    ASSERT_EQ(http.asked.size(), 3u);
    EXPECT_EQ(http.asked[2].first, "http://lb.test/api/v1/players/Zo%C3%AB");
    http.asked[0].second({200, "[{\"player\":\"Zo\\u00eb\",\"score\":70}]", ""});
    http.asked[1].second({200, "[{\"player\":\"ACE\",\"score\":90}]", ""});
    http.asked[2].second(
        {200, "{\"bestScore\":70,\"bestRank\":1,\"todayScore\":40,\"todayRank\":12}", ""});
    host.showAnswers(gameWindow->window);
    EXPECT_TRUE(shows(display.presented, "Zo\xeb (you)"));
    EXPECT_TRUE(shows(display.presented, "You: #12, 40")) << "not among today's ten";
    EXPECT_FALSE(shows(display.presented, "You: #1, 70")) << "marked in the table instead";
    host.detach();

    std::vector<TopRow> rows;
    for (const char* bad : {"", "{}", "[{\"player\":\"A\"", "[1]", "[{\"a\":\"\\q\"}]", "[]x"})
        EXPECT_FALSE(parseTopRows(bad, rows)) << bad;
}

TEST(LeaderboardClient, ATicketIsTakenOnlyWithASeedTheGameReads) {
    struct Answering final : public HttpService {
        HttpReply reply;
        void send(const std::string&, const std::string&, const std::string&,
                  std::function<void(const HttpReply&)>) override {}
        HttpReply sendAndWait(const std::string&, const std::string&, const std::string&) override {
            return reply;
        }
    } http;
    Leaderboard board(http, "http://lb.test/", "ACE", "key-of-ace-0123456789");
    std::string message;
    for (const char* body :
         {"{\"ticket\":\"t\",\"seed\":\"abc\"}", "{\"ticket\":\"t\",\"seed\":4294967296}",
          "{\"ticket\":\"t\",\"seed\":-1}", "{\"ticket\":\"t\\u00e9\",\"seed\":1}", "not json"}) {
        http.reply = {200, body, ""};
        EXPECT_FALSE(board.begin(RankedMode::Ranked, message)) << body;
        EXPECT_FALSE(board.ranked()) << body;
    }
    http.reply = {200, "{\"ticket\":\"t\",\"seed\":1,\"a\":" + std::string(100000, '['), ""};
    EXPECT_FALSE(board.begin(RankedMode::Ranked, message));  // and the stack holds
    // A refusal's reason is shown as printable text, escapes and all.
    http.reply = {503, "{\"error\":\"busy \\\"now\\\"\\u0007\"}", ""};
    EXPECT_FALSE(board.begin(RankedMode::Daily, message));
    EXPECT_NE(message.find("(busy \"now\"?)"), std::string::npos) << message;

    http.reply = {200,
                  "{\"ticket\":\"r.-.42.9\",\"seed\":4294967295,\"field\":[1280,720],"
                  "\"x\":{\"y\":[{}]}}",
                  ""};
    EXPECT_TRUE(board.begin(RankedMode::Ranked, message)) << message;
    EXPECT_EQ(board.seed(), 4294967295u);
}
