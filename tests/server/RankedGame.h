// A ranked game played headless on a leaderboard's ticket, from start-up to
// its first game over, as the desktop game plays it: the ticket's seed and
// the standard field reach start-up whatever the window. UP is held: on the
// test seed 43 the last ship meets a rock some 560 ticks in.
#pragma once

#include <functional>

#include "app/GameWindow.h"
#include "app/online/Leaderboard.h"
#include "app/replay/ReplayRecorder.h"
#include "platform/headless/Headless.h"

// `atGameOver` is told of the first game over (and sends the run). False
// when no game ended.
inline bool playRankedGame(Leaderboard& board, ReplayRecorder& recorder,
                           const std::function<void(const ReplayRecorder&)>& atGameOver) {
    HeadlessPlatform host;
    host.windows.clientWidth = 500;
    host.windows.clientHeight = 400;
    host.clock.seed = 77;
    // The game down, and the services it used, however this ends.
    struct Down {
        ~Down() {
            replayHooks = nullptr;
            shutDown();
            resetPlatform();
        }
    } down;
    const PlatformServices s =
        board.wrap({&host.windows, &host.keys, &host.display, &host.sound, &host.clock},
                   [] { return gameWindow && gameWindow->startCountdown < 0; });
    installPlatform(
        {s.windows, &recorder.keys(host.keys), s.display, s.sound, &recorder.clock(*s.clock)});
    replayHooks = &recorder;
    int overs = 0;
    recorder.onGameOver = [&](const ReplayRecorder& r) {
        if (overs++ == 0 && atGameOver) atGameOver(r);
    };
    if (!createGameWindow(nullptr) || !gameWindow->createMainWindow()) return false;
    for (long long t = 0; t < 50000 && overs == 0; ++t) {
        host.keys.setAll("U");
        host.clock.now += 63;
        runTickIfDue();
    }
    return overs > 0;
}
