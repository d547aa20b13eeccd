#include "app/RunGame.h"

#include <utility>

#include "app/GameWindow.h"
#include "app/host/HostControls.h"
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
    if (plan.reply.done || commandLine.replayFile.empty()) return plan;
    Replay replay;
    std::string error;
    if (loadReplayFile(commandLine.replayFile, replay, error)) {
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
            recorder.folder = &folder;
        }
        // W, A and D steer under the recorder: it notes the arrows they hold.
        SteeringKeys steering(*services.keys);
        PlatformServices recorded = services;
        recorded.keys = &recorder.keys(steering);
        recorded.clock = &recorder.clock(*services.clock);
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
