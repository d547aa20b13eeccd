// Records one run of the program (launch to close, every game in it) as a
// trace script: the field and seed start-up used, the table it loaded, and
// every input in the order the game consumed it. `voidrunner-trace REPLAY`
// and `voidrunner --replay REPLAY` play it back exactly.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/GameWindow.h"
#include "platform/Platform.h"

class ReplayRecorder;

// Where a recorder's replay is written (ReplayFolder: files in replays/).
class ReplaySink {
public:
    virtual ~ReplaySink() = default;
    virtual bool write(const ReplayRecorder& recorder) = 0;
};

// The line after the header: "# version 1.2.3", the game that made the run
// (a comment to the script reader, kept by the leaderboard beside the run).
// The rules line (kReplayRulesPrefix) follows it.
constexpr const char* kReplayVersionPrefix = "# version ";

class ReplayRecorder final : public ReplayHooks {
public:
    // Stand-ins for the host's key state and clock: every read of a key in
    // one poll gets the answer of its first read in that poll (so the rows of
    // the key step see one consistent set, the one the replay keeps), and the
    // seed start-up takes is noted.
    KeyState& keys(KeyState& inner);
    Clock& clock(Clock& inner);

    // Called by the main loop and the window procedure around the game.
    void beginPoll() override;
    void tickRan() override;
    void typed(uintptr_t code) override;
    void mouse(uint32_t message) override;
    void wheel(uintptr_t wParam) override;
    void loopEnded() override { save(); }

    // Start-up has run: field, seed and table are known.
    bool started() const { return started_; }
    long long ticks() const { return ticks_; }
    int bestScore() const { return best_; }
    // Where the replay is written: at every game over, after a signing and
    // when the window closes (save). None: kept in memory only.
    ReplaySink* folder = nullptr;
    void save();
    // Told at every game over, after the save (a ranked run ends there).
    std::function<void(const ReplayRecorder&)> onGameOver;
    // Told when a game starts after a game over (SPACE twice).
    std::function<void()> onNewGame;

    // The whole replay up to now, with its closing check line.
    std::string text() const;

private:
    class LatchingKeys final : public KeyState {
    public:
        bool isHeld(Key key) override;
        KeyState* inner = nullptr;
        bool read[4] = {};
        bool value[4] = {};
    };
    class RecordingClock final : public ForwardingClock {  // notes the seed the host gives
    public:
        unsigned randomSeed() override;
        unsigned seed = 1;
    };

    void noteStartUp();
    void flushTicks();
    void writeKeys();

    LatchingKeys keys_;
    RecordingClock clock_;
    std::string head_;  // field, seed, table
    std::string body_;
    unsigned written_ = 0;  // the key set (keyBit) the body last gave
    long long pendingTicks_ = 0;
    long long ticks_ = 0;
    int best_ = 0;
    bool started_ = false;
    bool wasOver_ = false;
    bool wasEntering_ = false;
};
