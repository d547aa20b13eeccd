// Plays a recorded replay in the game's window at the game's own pace: the
// file's keys, characters and mouse stand in for the player's, the window's
// own input only steers the playback (SPACE held: fast-forward, Esc or Q:
// quit). The table it signs stays in memory: save.txt is never touched.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/GameWindow.h"
#include "app/replay/Script.h"
#include "platform/Platform.h"
#include "scores/HighScores.h"

// One input of the run in eight bytes (a replay is mostly runs of ticks,
// each run one step): keys, ticks, a character, mouse or wheel.
struct ReplayStep {
    ScriptCommand::Kind kind = ScriptCommand::Tick;
    uint32_t value = 0;  // as in ScriptCommand (of a wheel delta, the low 16 bits count)
};

// What start-up takes (field, seed, table) and the run.
struct Replay {
    int rules = 1;  // the rules it was played by ("# rules N" in its header)
    int fieldWidth = 800;
    int fieldHeight = 600;
    unsigned seed = 1;
    std::vector<HighScoreEntry> table;
    std::vector<ReplayStep> steps;
    long long ticks = 0;
};

// Reads a replay file's text. On failure returns false with one line in
// error saying what is wrong (not a replay, a newer format, cut short,
// changed by hand, or the line it cannot understand, quoted safely).
bool parseReplay(std::string_view text, Replay& out, std::string& error);

// Reads and checks a replay file; the error names the problem (a file that
// cannot be read, one too large to be a replay, or as parseReplay says).
bool loadReplayFile(const std::string& path, Replay& out, std::string& error);

// Why this game cannot show the replay as it was played: "" when it was
// played by this game's rules, else which rules it needs.
std::string replayRulesProblem(const Replay& replay);

class ReplayPlayer final : public ReplayHooks {
public:
    explicit ReplayPlayer(Replay replay) : replay_(std::move(replay)) {}

    // The host's services as the replay needs them: the field, seed and keys
    // of the file, host input held back from the game.
    PlatformServices wrap(const PlatformServices& host);

    // One frame of playback in place of the key step and tick: one tick of
    // the replay, or several while SPACE is held.
    void step();
    bool playTick() override {
        step();
        return true;
    }
    bool finished() const { return next_ >= replay_.steps.size() && leftInTick_ == 0; }
    long long ticksPlayed() const { return played_; }
    // Ticks per frame in the last step: 1, or kFastForward while SPACE is held.
    int shownPace() const override { return speed_; }
    bool shownEnded() const override { return finished(); }

    static constexpr int kFastForward = 8;

private:
    class Keys final : public KeyState {
    public:
        bool isHeld(Key key) override;
        unsigned held = 0;  // keyBit of each
    };
    // Forwards everything to the host's window system (the frame is still
    // placed in the real window), but reports the replay's field as the
    // client area and keeps the window's typed
    // characters and mouse buttons from the game.
    class Windows final : public ForwardingWindowSystem {
    public:
        intptr_t dispatchMessage(const Message& m) override;
        Rect clientRect(WindowHandle) override { return {0, 0, width, height}; }
        int width = 800;
        int height = 600;
    };

    bool runOneTick();

    Replay replay_;
    Keys keys_;
    SeedClock clock_;
    Windows windows_;
    MemoryFileStorage saves_;
    KeyState* hostKeys_ = nullptr;
    std::size_t next_ = 0;
    long long leftInTick_ = 0;
    long long played_ = 0;
    bool tableSet_ = false;
    int speed_ = 1;
};
