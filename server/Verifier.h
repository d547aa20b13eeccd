// Re-plays a submitted replay with the game's own core. The core keeps its
// state in globals, so each replay runs in a process of its own, with CPU,
// memory and wall-clock limits; a bounded number run at once and a bounded
// number wait. The processes are forked by a zygote made at start
// (startWorkerZygote), or else started from the program file.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>

#include "app/online/RankedContract.h"
#include "app/replay/ReplayPlayer.h"

// What the server can tell from the text alone, before any play: a replay
// of this server's rules (whichever version of the game made it), on the
// ranked field, with the ticket's seed.
struct ReplayCheck {
    bool ok = false;
    std::string error;
    bool otherRules = false;  // played by rules other than this server's
    std::string version;
    Replay replay;
};
ReplayCheck checkReplay(const std::string& text, uint32_t seed);

struct Verdict {
    enum Kind { Reproduced, Refused, TooLong, Failed, Closed } kind = Failed;
    long long score = 0;  // the score at the first game over (or the end)
    long long ticks = 0;
    std::string error;
};

// Plays the replay in this process (the worker's part): the score is that
// of the first game, at its game over or where the replay ends. It leaves
// the core as at program start, so it may be called again.
Verdict simulate(const Replay& replay);

// The worker's main: the replay on standard input, the verdict on fd 3.
int verifierMain();

// Forks the process that forks every Verifier's workers from now on: call
// it while this process has one thread (before the server starts). False
// if it could not; workers are then started from the program file.
bool startWorkerZygote();

struct VerifierLimits {
    double wallSeconds = 10;
    long long memoryBytes = 512ll << 20;
};

class Verifier {
public:
    // The program is opened here, once: workers run this very file even
    // when another is put at its path later (a package upgrade). Throws
    // std::runtime_error when it cannot be opened.
    Verifier(const std::string& program, int workers, int waiting, VerifierLimits limits);
    ~Verifier();
    Verifier(const Verifier&) = delete;
    Verifier& operator=(const Verifier&) = delete;

    // A place in the queue; false when it is full (the caller answers 503).
    bool enter();
    // Gives the place up unused.
    void cancel();
    // Runs the replay in a worker process; only after enter() returned true.
    Verdict run(const std::string& text);
    // Stopping: what waits for a worker is answered Closed at once, and no
    // place is given any more; runs under way finish.
    void stop();

private:
    Verdict spawn(const std::string& text);

    int program_ = -1;
    int workers_;
    int waitingMax_;
    VerifierLimits limits_;
    std::mutex mutex_;
    std::condition_variable freed_;
    int running_ = 0;
    int waiting_ = 0;
    bool closed_ = false;
};
