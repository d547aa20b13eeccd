#include "app/RunGame.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <utility>

#include "app/GameWindow.h"
#include "app/host/HostControls.h"
#include "app/host/Settings.h"
#include "app/online/Leaderboard.h"
#include "app/replay/ReplayFolder.h"
#include "app/replay/ReplayRecorder.h"
#include "app/replay/Script.h"

namespace {

const ReplayRecorder* recording = nullptr;

}  // namespace

GamePlan planGame(const CommandLine& commandLine) {
    GamePlan plan;
    plan.reply = replyTo(commandLine);
    plan.fullscreen = commandLine.fullscreen;
    plan.ranked = commandLine.ranked;
    plan.daily = commandLine.daily;
    if (plan.reply.done || commandLine.replayFile.empty()) return plan;
    Replay replay;
    std::string error;
    // A replay of other rules would play another game than the one recorded.
    if (loadReplayFile(commandLine.replayFile, replay, error) &&
        (error = replayRulesProblem(replay)).empty()) {
        plan.replay = std::move(replay);
    } else {
        plan.reply = {
            true, true, 2,
            "voidrunner: " + quoteScriptLine(commandLine.replayFile) + ": " + error + "\n"};
    }
    return plan;
}

int runGame(GamePlan& plan, const GameHost& host) {
    setStartFullscreen(plan.fullscreen);
    setTopTenSource(host.http, host.leaderboard);
    // Installed first: the wrappers then stand in front of real services,
    // the null ones where the host gave none.
    installPlatform(host.services);
    const PlatformServices services = platform();
    int code = 0;
    if (plan.replay) {
        ReplayPlayer player(std::move(*plan.replay));
        plan.replay.reset();
        installPlatform(player.wrap(services));
        replayHooks = &player;
        code = runMainLoop(host.instance);
    } else {
        ReplayRecorder recorder;
        ReplayFolder folder;
        if (host.keepReplays) {
            folder.keep = replayKeepLimit();
            if (host.replaysKeptAtMost >= 0)
                folder.keep = std::min(folder.keep, host.replaysKeptAtMost);
            folder.pruneAside = host.pruneAside;
            recorder.folder = &folder;
        }
        // Online only when asked: the ticket comes before the window, later
        // requests on the HTTP service's thread.
        std::unique_ptr<Leaderboard> board;
        PlatformServices recorded = services;
        if (plan.ranked || plan.daily) {
            const HostSettings settings = loadSettings();
            const std::string server = host.leaderboard.empty() ? settings.leaderboard
                                                                : host.leaderboard;
            if (!host.http) {
                std::puts("voidrunner: this build has no network: this game is not ranked");
            } else if (server.empty()) {
                std::puts(
                    "voidrunner: no \"leaderboard URL\" line in settings.txt: this game "
                    "is not ranked");
            } else {
                board = std::make_unique<Leaderboard>(
                    *host.http, server, host.player.empty() ? settings.player : host.player);
                board->onMessage = [said = host.onLeaderboardMessage](const std::string& text) {
                    noteLeaderboardMessage(text);
                    if (said) said(text);
                };
                board->onUnsent = [](const std::string& expires) { noteUnsentRun(expires); };
                std::string message;
                board->begin(plan.daily ? RankedMode::Daily : RankedMode::Ranked, message);
                std::printf("voidrunner: %s\n", message.c_str());
                board->onMessage(message);
                board->sendKept();
                recorded = board->wrap(services,
                                       [] { return tickInput && tickInput->startCountdown < 0; });
                recorder.onGameOver = [&board](const ReplayRecorder& r) { board->gameOver(r); };
            }
            std::fflush(stdout);
        }
        // W, A and D steer under the recorder: it notes the arrows they hold.
        SteeringKeys steering(*recorded.keys);
        recorded.keys = &recorder.keys(steering);
        recorded.clock = &recorder.clock(*recorded.clock);
        installPlatform(recorded);
        replayHooks = &recorder;
        recording = &recorder;
        setWelcomeOnFirstLaunch(host.welcome);
        code = runMainLoop(host.instance);
        recording = nullptr;
    }
    replayHooks = nullptr;
    resetPlatform();
    return code;
}

std::string recordedRun() {
    return recording && recording->started() ? recording->text() : std::string();
}
