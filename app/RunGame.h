// How every program starts the game. The command line is read once: help,
// version and its errors are answered and a replay is checked whole before
// the host opens anything; runGame then shows the replay or plays, every
// run recorded.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "app/CommandLine.h"
#include "app/replay/ReplayPlayer.h"
#include "platform/Http.h"
#include "platform/Platform.h"

struct GamePlan {
    // done: the program shows reply.text (an error when isError) and ends
    // with reply.exitCode, before it opens a window.
    CommandLineReply reply;
    bool fullscreen = false;
    bool ranked = false, daily = false;  // asked for a leaderboard ticket
    std::string player;                  // --player: the name for ranked runs
    std::optional<Replay> replay;        // shown instead of play
};

GamePlan planGame(const CommandLine& commandLine);

struct GameHost {
    PlatformServices services{};  // members left out are the null services
    InstanceHandle instance = nullptr;
    // Recorded runs are kept in replays/ beside save.txt; without, only in
    // memory (the page offers its run as a download).
    bool keepReplays = true;
    int replaysKeptAtMost = -1;  // -1: as settings.txt says
    bool pruneAside = true;      // old replays pruned on a thread of their own
    // Requests to the online leaderboard; none: this build has no network.
    HttpService* http = nullptr;
    // The first launch in a folder (no save.txt, no settings file) greets
    // the player with the keys.
    bool welcome = false;
    // The leaderboard and player when the host knows them (the page: its
    // own origin); empty: as settings.txt says.
    std::string leaderboard = {}, player = {};
    std::string playerKey = {};  // the key of `player`, when the host keeps it
    // Also told what becomes of a ranked run (the page shows it).
    std::function<void(const std::string&)> onLeaderboardMessage = {};
    // The end of a replay shown: whether the host's box says how to close
    // the window, and who is told (the page offers its own choices).
    bool replayEndBox = true;
    std::function<void()> onReplayEnded = {};
};

// Installs the host's services (wrapped by the player or the recorder),
// runs the main loop and takes the services down again. The exit code.
int runGame(GamePlan& plan, const GameHost& host);

// The run so far as a replay, with its check line; "" before start-up and
// while a replay is shown.
std::string recordedRun();
