#include "app/RunGame.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <utility>

#include "app/GameWindow.h"
#include "app/host/HostControls.h"
#include "app/host/Settings.h"
#include "app/online/Leaderboard.h"
#include "app/online/RankedContract.h"
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
    plan.player = commandLine.player;
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
    setReplayEnd(host.replayEndBox, host.onReplayEnded);
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
        const HostSettings settings = loadSettings();
        // The name: the command line's, the host's (the page's prompt), or
        // settings.txt's, whose key goes with it.
        std::string player = !plan.player.empty() ? plan.player : host.player;
        std::string key = host.playerKey;
        if (player.empty()) {
            player = settings.player;
            key = settings.playerKey;
        } else if (player == settings.player && key.empty()) {
            key = settings.playerKey;
        }
        player = composedName(player);
        const std::string server = host.leaderboard.empty() ? settings.leaderboard
                                                            : host.leaderboard;
        setTopTenSource(host.http, host.leaderboard, player, plan.daily);
        // --player NAME alone claims the name now (a ranked game would too).
        if (!plan.ranked && !plan.daily && !plan.player.empty() && key.empty() && host.http &&
            !server.empty()) {
            Leaderboard claim(*host.http, server, player);
            std::string said;
            if (claim.claim(said) == Leaderboard::Claim::Claimed &&
                !saveSetting("player", playerSetting(player, claim.key())))
                said += "; its key could not be kept in settings.txt";
            std::printf("voidrunner: %s\n", said.c_str());
            noteLeaderboardMessage(said);
        }
        if (plan.ranked || plan.daily) {
            const auto say = [&host](const std::string& text) {
                std::printf("voidrunner: %s\n", text.c_str());
                noteLeaderboardMessage(text);
                if (host.onLeaderboardMessage) host.onLeaderboardMessage(text);
            };
            if (!host.http) {
                say("this build has no network: this game is not ranked");
                noteRankedSign("Not ranked: no network in this build");
            } else if (server.empty()) {
                say("no \"leaderboard URL\" line in settings.txt: this game is not ranked");
                noteRankedSign("Not ranked: no leaderboard named");
            } else {
                board = std::make_unique<Leaderboard>(*host.http, server, player, key);
                board->onMessage = [said = host.onLeaderboardMessage](const std::string& text) {
                    noteLeaderboardMessage(text);
                    if (said) said(text);
                };
                board->onUnsent = [](const std::string& expires) { noteUnsentRun(expires); };
                board->onSign = [](const std::string& text) { noteRankedSign(text); };
                // The key is the player's: kept beside the name, one line
                // to copy to another device.
                board->onClaimed = [](const std::string& name, const std::string& claimed) {
                    if (!saveSetting("player", playerSetting(name, claimed)))
                        std::printf("voidrunner: the key of %s could not be kept in %s\n",
                                    name.c_str(), kSettingsFile);
                };
                std::string message;
                const bool ranked =
                    board->begin(plan.daily ? RankedMode::Daily : RankedMode::Ranked, message);
                std::printf("voidrunner: %s\n", message.c_str());
                board->onMessage(message);
                board->sendKept();
                recorded = board->wrap(services,
                                       [] { return tickInput && tickInput->startCountdown < 0; });
                recorder.onGameOver = [&board](const ReplayRecorder& r) { board->gameOver(r); };
                // One ticket, one game: the games after it are practice.
                if (ranked)
                    recorder.onNewGame = [] {
                        noteRankedSign("Not ranked: one ranked game a launch");
                    };
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
