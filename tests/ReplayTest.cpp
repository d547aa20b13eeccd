#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "GameFixture.h"
#include "app/RunGame.h"
#include "app/replay/ReplayFolder.h"
#include "app/replay/ReplayPlayer.h"
#include "app/replay/ReplayRecorder.h"
#include "game/Rules.h"
#include "game/ShipControls.h"
#include "scores/HighScores.h"
#include "scores/Initials.h"

using Replays = GameTest;

namespace {

// Held keys that change from one read to the next, like a player's fingers
// between the rows of the key step.
class RestlessKeys final : public KeyState {
public:
    bool isHeld(Key key) override {
        state = state * 1103515245u + 12345u;
        const unsigned bit = (state >> 16) & 7u;
        return key == Key::Space ? bit < 3 : bit < 2;
    }
    unsigned state = 7;
};

// What a run leaves behind, enough to tell two runs apart.
std::string snapshot() {
    std::ostringstream s;
    const GameState& g = gameState;
    s << g.score << ' ' << g.level << ' ' << g.reserveShipCount << ' ' << +g.shipDestroyed << ' '
      << g.throttle << ' ' << g.bonusPoints << ' ' << playerShip.getX() << ' ' << playerShip.getY()
      << ' ' << playerShip.getAngle() << ' ' << asteroids.count << ' ' << saucers.count << ' '
      << playerBullets.count << ' ' << playerShip.getScale() << ' ' << typedInitials << '|';
    for (const HighScoreEntry& row : highScoreTable.rows)
        s << row.score << ',' << row.level << ',' << row.initials << ';';
    return s.str();
}

}  // namespace

// A run through the real loop and window procedure, with keys that change
// inside a poll, typed digits and initials, mouse buttons and the wheel, on
// a small field so that games end: the replay of it ends in the same state,
// in the player and in the trace tool, and sits in replays/ named by its
// best score.
TEST_F(Replays, ARecordedRunPlaysBackExactly) {
    windows.clientWidth = 240;
    windows.clientHeight = 180;
    clock.seed = 987654321u;
    RestlessKeys restless;
    ReplayRecorder recorder;
    ReplayFolder replays;
    recorder.folder = &replays;
    installPlatform({.windows = &windows,
                     .keys = &recorder.keys(restless),
                     .display = &display,
                     .sound = &sound,
                     .clock = &recorder.clock(clock)});
    replayHooks = &recorder;
    ASSERT_TRUE(createGameWindow(nullptr));
    ASSERT_TRUE(gameWindow->createMainWindow());
    int games = 0;
    for (int i = 0; i < 6000; ++i) {
        clock.now += 63;
        runTickIfDue();
        GameWindow& w = *gameWindow;
        if (i % 97 == 5) w.handleMessage(w.window, wm::character, '0' + i % 10, 0);
        if (i % 211 == 7) w.handleMessage(w.window, wm::leftButtonDown, 0, 0);
        if (i % 211 == 9) w.handleMessage(w.window, wm::leftButtonUp, 0, 0);
        if (i % 307 == 11) w.handleMessage(w.window, wm::mouseWheel, 0xFF880000u, 0);
        if (gameState.enteringInitials) {
            w.handleMessage(w.window, wm::character, 'A' + games % 26, 0);
            if (!gameState.enteringInitials) ++games;
        }
    }
    replayHooks = nullptr;
    const std::string text = recorder.text();
    const std::string expected = snapshot();
    ASSERT_GE(games, 2) << "the run should sign the table more than once";

    // The file on disk is the replay as it stood at the last signing or game
    // over, named by the best score.
    ASSERT_FALSE(replays.current.empty());
    EXPECT_NE(replays.current.find("_best-" + std::to_string(recorder.bestScore()) + ".txt"),
              std::string::npos);
    Replay fromDisk;
    std::string error;
    EXPECT_TRUE(loadReplayFile("replays/" + replays.current, fromDisk, error)) << error;

    // Played back in the game.
    resetToProgramStart();
    std::filesystem::remove("save.txt");
    Replay replay;
    ASSERT_TRUE(parseReplay(text, replay, error)) << error;
    EXPECT_NE(text.find("\n# rules " + std::to_string(kRulesVersion) + "\n"), std::string::npos);
    EXPECT_EQ(replay.rules, kRulesVersion);
    ScriptedKeys none;
    ReplayPlayer player(replay);
    installPlatform(player.wrap({&windows, &none, &display, &sound, &clock}));
    ASSERT_TRUE(createGameWindow(nullptr));
    ASSERT_TRUE(gameWindow->createMainWindow());
    while (!player.finished()) player.step();
    EXPECT_EQ(player.ticksPlayed(), recorder.ticks());
    EXPECT_EQ(snapshot(), expected);

#ifdef VR_TRACE_PATH
    // And by the trace tool: its last line ends with the same score and table.
    std::ofstream("replay.txt", std::ios::binary) << text;
    const std::string command = std::string(VR_TRACE_PATH) + " replay.txt > out.jsonl";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream out("out.jsonl");
    std::string line, last;
    while (std::getline(out, line)) last = line;
    EXPECT_NE(last.find("\"score\":" + std::to_string(gameState.score) + ","), std::string::npos);
    std::string table = "\"table\":[";
    for (int r = 0; r < 10; ++r) {
        const HighScoreEntry& row = highScoreTable.rows[r];
        table += (r ? ",[" : "[") + std::to_string(row.score) + "," + std::to_string(row.level) +
                 ",\"" + row.initials + "\"]";
    }
    EXPECT_NE(last.find(table + "]"), std::string::npos) << table;
#endif
}

TEST_F(Replays, BadFilesAreRefusedWithOneLine) {
    const std::string good = std::string(kReplayHeader) + "\nfield 300 200\nseed 5\ntick 7\n";
    const std::string sealed = good + replayChecksumLine(good);
    std::string edited = sealed;
    edited[edited.find("tick 7")] = 'T';
    const std::string badLine = good + "jump 3\n";
    const std::string evil = good + "\x1b]0;owned\x07\n";
    const struct {
        std::string text;
        const char* says;
    } cases[] = {
        {"", "not a voidrunner replay"},
        {"\x7f"
         "ELF\x02\x01",
         "not a voidrunner replay"},
        {"# voidrunner replay 2\ntick\n", "newer version"},
        {sealed.substr(0, sealed.size() - 12), "cut short"},
        {good, "cut short"},
        {edited, "changed after it was recorded"},
        {badLine + replayChecksumLine(badLine), "line 5: unknown command"},
        // A format number past what 64 bits hold is still a later format.
        {"# voidrunner replay 18446744073709551616\ntick\n", "newer version"},
        // Bytes that would steer a terminal are quoted, not echoed.
        {evil + replayChecksumLine(evil), "line 5: unknown command: \\x1b]0;owned\\x07"},
    };
    for (const auto& c : cases) {
        Replay r;
        std::string error;
        EXPECT_FALSE(parseReplay(c.text, r, error)) << c.says;
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
        EXPECT_EQ(error.find_first_of("\n\x07\x1b"), std::string::npos) << error;
    }
    Replay r;
    std::string error;
    ASSERT_TRUE(parseReplay(sealed, r, error)) << error;
    EXPECT_EQ(r.ticks, 7);
    EXPECT_EQ(r.fieldWidth, 300);
    // Line ends changed on the way (a mail program) keep it a replay.
    std::string crlf;
    for (const char c : sealed) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_TRUE(parseReplay(crlf, r, error)) << error;
    // The trace tool's rules: a minimised window's empty field is a replay too.
    const std::string minimised = std::string(kReplayHeader) + "\nfield 0 0\ntick 5\n";
    EXPECT_TRUE(parseReplay(minimised + replayChecksumLine(minimised), r, error)) << error;
    EXPECT_FALSE(loadReplayFile(".", r, error));
    EXPECT_FALSE(loadReplayFile("missing.txt", r, error));
}

// The header's rules line: read when there, rules 1 when not (replays kept
// from before it), refused when it names no version; --replay and the
// leaderboard decline a run of other rules instead of playing another game.
TEST_F(Replays, TheRulesLineNamesTheRulesARunNeeds) {
    const auto sealed = [](const std::string& header) {
        const std::string t = std::string(kReplayHeader) + "\n# version 0.1\n" + header +
                              "field 300 200\nseed 5\ntick 7\n# rules 9\n";
        return t + replayChecksumLine(t);
    };
    Replay r;
    std::string error;
    ASSERT_TRUE(parseReplay(sealed(""), r, error)) << error;
    EXPECT_EQ(r.rules, 1);
    ASSERT_TRUE(parseReplay(sealed("# rules 7\n"), r, error)) << error;
    EXPECT_EQ(r.rules, 7);
    EXPECT_EQ(r.ticks, 7);
    for (const char* bad : {"# rules x\n", "# rules 0\n", "# rules 1234567890\n"}) {
        EXPECT_FALSE(parseReplay(sealed(bad), r, error)) << bad;
        EXPECT_NE(error.find("line 3: not a rules version"), std::string::npos) << error;
    }

    r.rules = kRulesVersion;
    EXPECT_EQ(replayRulesProblem(r), "");
    r.rules = kRulesVersion + 1;
    EXPECT_NE(replayRulesProblem(r).find("update the game"), std::string::npos);
    std::ofstream("newer.txt", std::ios::binary) << sealed("# rules 999\n");
    const GamePlan plan = planGame(parseCommandLine({"--replay", "newer.txt"}));
    EXPECT_TRUE(plan.reply.done && plan.reply.isError);
    EXPECT_EQ(plan.reply.exitCode, 2);
    EXPECT_NE(plan.reply.text.find("played by the game's rules 999"), std::string::npos)
        << plan.reply.text;
}

// Hours of play are mostly runs of ticks: they are kept as one step, so a
// large replay costs memory in proportion to what it holds.
TEST_F(Replays, RunsOfTicksAreKeptAsOneStep) {
    std::string text = std::string(kReplayHeader) + "\nfield 300 200\n";
    for (int i = 0; i < 100000; ++i) text += "tick\n";
    text += "keys LS\ntick 3\ntick\nchar 65\n";
    text += replayChecksumLine(text);
    Replay r;
    std::string error;
    ASSERT_TRUE(parseReplay(text, r, error)) << error;
    EXPECT_EQ(r.ticks, 100004);
    EXPECT_EQ(r.steps.size(), 4u);
}

// A replays folder that cannot be written changes nothing else; old replays
// past the limit are pruned, other files never.
TEST_F(Replays, TheFolderIsPrunedAndItsFailuresIgnored) {
    playing();
    ReplayRecorder recorder;
    recorder.tickRan();  // past start-up: there is something to write
    ReplayFolder replays;
    std::ofstream("replays") << "a file in the folder's place";
    EXPECT_FALSE(replays.write(recorder));
    EXPECT_EQ(readFile("replays"), "a file in the folder's place");
    std::filesystem::remove("replays");

    std::filesystem::create_directory("replays");
    for (const char* old : {"2020-01-01_00-00-00_best-10.txt", "2020-01-02_00-00-00_best-0.txt",
                            "2020-01-03_00-00-00_best-5.txt", "notes.txt"})
        std::ofstream(std::string("replays/") + old) << "old";
    replays.keep = 2;
    ASSERT_TRUE(replays.write(recorder));
    replays.waitPruned();
    EXPECT_FALSE(std::filesystem::exists("replays/2020-01-01_00-00-00_best-10.txt"));
    EXPECT_FALSE(std::filesystem::exists("replays/2020-01-02_00-00-00_best-0.txt"));
    EXPECT_TRUE(std::filesystem::exists("replays/2020-01-03_00-00-00_best-5.txt"));
    EXPECT_TRUE(std::filesystem::exists("replays/notes.txt"));
    EXPECT_TRUE(std::filesystem::exists("replays/" + replays.current));

    // The player's limit: a line of settings.txt; anything unreadable keeps
    // the default.
    EXPECT_EQ(replayKeepLimit(), 50);
    std::ofstream("settings.txt") << "mute 1\nreplays 3\n";
    EXPECT_EQ(replayKeepLimit(), 3);
    std::ofstream("settings.txt") << "replays -4\nreplays 9999999\nreplays x\n";
    EXPECT_EQ(replayKeepLimit(), 50);
}

// Two runs that start in the same second with the same best score keep a
// file each, and a link planted where a temporary file once went (the final
// name and ".tmp") changes nothing outside the folder.
TEST_F(Replays, EveryRunKeepsAFileOfItsOwnWrittenTheSafeWay) {
    playing();
    ReplayRecorder recorder;
    recorder.tickRan();
    ReplayFolder first, second;
    second.startedAt = first.startedAt = "2021-05-05_12-00-00";
    std::filesystem::create_directory("replays");
    std::ofstream("victim") << "precious";
    const std::string once = "2021-05-05_12-00-00_best-" + std::to_string(recorder.bestScore());
    std::filesystem::create_symlink("../victim", "replays/" + once + ".txt.tmp");
    ASSERT_TRUE(first.write(recorder));
    ASSERT_TRUE(second.write(recorder));
    EXPECT_NE(first.current, second.current);
    EXPECT_TRUE(std::filesystem::exists("replays/" + first.current));
    EXPECT_TRUE(std::filesystem::exists("replays/" + second.current));
    EXPECT_EQ(readFile("victim"), "precious");
}

namespace {

// Replays in memory whose removal waits until the test lets it go (or five
// seconds pass): a prune that ran inside the tick would hold it that long.
class StalledRemoval final : public FileStorage {
public:
    StoredFile read(const char* name, std::string& out, std::size_t limit) override {
        std::lock_guard<std::mutex> hold(mutex);
        return files.read(name, out, limit);
    }
    FileLock lock(const char*) override { return FileLock::taken; }
    void unlock() override {}
    bool replace(const char* name, const std::string& text) override {
        std::lock_guard<std::mutex> hold(mutex);
        return files.replace(name, text);
    }
    bool list(const char* folder, std::vector<std::string>& names) override {
        std::lock_guard<std::mutex> hold(mutex);
        return files.list(folder, names);
    }
    bool remove(const char* name) override {
        std::unique_lock<std::mutex> hold(mutex);
        if (!released.wait_for(hold, std::chrono::seconds(5), [this] { return letGo; }))
            stalled = true;
        return files.remove(name);
    }
    bool makeFolder(const char*) override { return true; }
    void letItGo() {
        std::lock_guard<std::mutex> hold(mutex);
        letGo = true;
        released.notify_all();
    }
    MemoryFileStorage files;
    std::mutex mutex;
    std::condition_variable released;
    bool letGo = false;
    bool stalled = false;
};

}  // namespace

TEST_F(Replays, PruningAFullFolderNeverHoldsTheTick) {
    playing();
    ReplayRecorder recorder;
    recorder.tickRan();
    StalledRemoval storage;
    for (int day = 1; day <= 9; ++day)
        storage.files.files["replays/2020-01-0" + std::to_string(day) + "_00-00-00_best-1.txt"] =
            "old";
    installPlatform({nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &storage});
    {
        ReplayFolder replays;
        replays.keep = 3;
        ASSERT_TRUE(replays.write(recorder));
        EXPECT_FALSE(storage.stalled) << "the write waited for the prune";
        storage.letItGo();
        replays.waitPruned();
    }
    resetPlatform();
    std::vector<std::string> kept;
    storage.files.list("replays", kept);
    EXPECT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept[0], "2020-01-08_00-00-00_best-1.txt");
}
