// The program's entry on Windows: the Win32 services, then the game.
#include "platform/win32/Win32Platform.h"

#include <cstdlib>
#include <string>
#include <utility>

#include "app/CommandLine.h"
#include "app/GameWindow.h"
#include "app/ReplayFolder.h"
#include "app/ReplayPlayer.h"
#include "app/ReplayRecorder.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // A GUI program has no console to print to: help, version and
    // option errors show in a message box.
    const CommandLine options = parseCommandLine(__argc, __argv);
    const CommandLineReply reply = replyTo(options);
    if (reply.done) {
        MessageBoxA(nullptr, reply.text.c_str(), "Voidrunner",
                    MB_OK | (reply.isError ? MB_ICONERROR : MB_ICONINFORMATION));
        return reply.exitCode;
    }
    setStartFullscreen(options.fullscreen);
    const PlatformServices host = win32Services();
    if (!options.replayFile.empty()) {
        Replay replay;
        std::string error;
        if (!loadReplayFile(options.replayFile, replay, error)) {
            const std::string text = options.replayFile + ": " + error;
            MessageBoxA(nullptr, text.c_str(), "Voidrunner", MB_OK | MB_ICONERROR);
            return 2;
        }
        ReplayPlayer player(std::move(replay));
        installPlatform(player.wrap(host));
        replayPlayer = &player;
        const int code = runMainLoop(instance);
        replayPlayer = nullptr;
        return code;
    }
    // Every run is recorded into replays\ beside save.txt.
    ReplayRecorder recorder;
    ReplayFolder folder;
    folder.keep = replayKeepLimit();
    recorder.folder = &folder;
    replayRecorder = &recorder;
    PlatformServices services = host;
    services.keys = &recorder.keys(*host.keys);
    services.clock = &recorder.clock(*host.clock);
    installPlatform(services);
    const int code = runMainLoop(instance);
    replayRecorder = nullptr;
    return code;
}
