// The Linux program: the game in an SDL window.
#define SDL_MAIN_HANDLED
#include <SDL.h>
#include <SDL_ttf.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "app/CommandLine.h"
#include "app/GameWindow.h"
#include "app/Leaderboard.h"
#include "app/ReplayFolder.h"
#include "app/ReplayPlayer.h"
#include "app/ReplayRecorder.h"
#include "app/Settings.h"
#include "platform/SystemClock.h"
#ifdef VR_CURL
#include "platform/curl/CurlHttp.h"
#endif
#include "platform/sdl/SdlDisplay.h"
#include "platform/sdl/SdlGamepads.h"
#include "platform/sdl/SdlKeyState.h"
#include "platform/sdl/SdlSound.h"
#include "platform/sdl/SdlWindowSystem.h"
#include "platform/sdl/TextFont.h"

int main(int argc, char** argv) {
    // Answered before SDL is touched, so they work without a display.
    const CommandLine options = parseCommandLine(argc, argv);
    const CommandLineReply reply = replyTo(options);
    if (reply.done) {
        std::fputs(reply.text.c_str(), reply.isError ? stderr : stdout);
        return reply.exitCode;
    }
    // A replay is checked whole before any window opens.
    Replay replay;
    if (!options.replayFile.empty()) {
        std::string error;
        if (!loadReplayFile(options.replayFile, replay, error)) {
            std::fprintf(stderr, "voidrunner: %s: %s\n", options.replayFile.c_str(), error.c_str());
            return 2;
        }
    }
    SDL_SetMainReady();
    // Copy frames to the window with the X server's shared memory rather than
    // through an OpenGL texture: without a GPU (a virtual display, a remote
    // desktop) SDL's default goes through software OpenGL, which costs more
    // processor time than the whole game. SDL_FRAMEBUFFER_ACCELERATION=1 in
    // the environment brings the default back.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    // With no display SDL falls back to its invisible offscreen driver and the
    // game would run unseen forever: say so and stop, unless that driver was
    // asked for by name. (Not even trying also spares a second message from
    // the Wayland library.)
    const char* chosen = SDL_getenv("SDL_VIDEODRIVER");
    if (!chosen && !SDL_getenv("DISPLAY") && !SDL_getenv("WAYLAND_DISPLAY")) {
        std::fputs(
            "voidrunner: cannot open a display: neither DISPLAY nor WAYLAND_DISPLAY is set\n",
            stderr);
        return 1;
    }
    // X11 only, when there is no Wayland to try.
    if (!chosen && !SDL_getenv("WAYLAND_DISPLAY")) SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "voidrunner: cannot open a display: %s\n", SDL_GetError());
        return 1;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!chosen && driver &&
        (SDL_strcmp(driver, "offscreen") == 0 || SDL_strcmp(driver, "dummy") == 0)) {
        std::fprintf(stderr, "voidrunner: cannot open a display: %s is not reachable\n",
                     SDL_getenv("DISPLAY") ? SDL_getenv("DISPLAY") : SDL_getenv("WAYLAND_DISPLAY"));
        SDL_Quit();
        return 1;
    }
    setStartFullscreen(options.fullscreen);
    int code = 0;
    {
        SdlDisplay display;
        SdlWindowSystem windows(display);
        SdlGamepads pads;
        SdlKeyState keys(&pads);
        SdlSound sound;
        SystemClock clock;
        const PlatformServices host{&windows, &keys, &display, &sound, &clock};
        if (!options.replayFile.empty()) {
            ReplayPlayer player(std::move(replay));
            installPlatform(player.wrap(host));
            replayPlayer = &player;
            code = runMainLoop(nullptr);
            replayPlayer = nullptr;
        } else {
            // Every run is recorded into replays/ beside save.txt.
            ReplayRecorder recorder;
            ReplayFolder folder;
            folder.keep = replayKeepLimit();
            recorder.folder = &folder;
            replayRecorder = &recorder;
            PlatformServices services = host;
#ifdef VR_CURL
            // Online only when asked: the ticket comes before the window,
            // later requests on the HTTP thread.
            std::unique_ptr<CurlHttp> http;
            std::unique_ptr<Leaderboard> board;
            const HostSettings settings = loadSettings();
            if ((options.ranked || options.daily) && settings.leaderboard.empty()) {
                std::puts(
                    "voidrunner: no \"leaderboard URL\" line in settings.txt: this game "
                    "is not ranked");
            } else if (options.ranked || options.daily) {
                http = std::make_unique<CurlHttp>();
                board = std::make_unique<Leaderboard>(*http, settings.leaderboard, settings.player);
                std::string message;
                board->begin(options.daily ? RankedMode::Daily : RankedMode::Ranked, message);
                std::printf("voidrunner: %s\n", message.c_str());
                board->sendKept();
                services = board->wrap(host);
                recorder.onGameOver = [&board](const ReplayRecorder& r) { board->gameOver(r); };
            }
#else
            if (options.ranked || options.daily)
                std::puts("voidrunner: this build has no network: this game is not ranked");
#endif
            std::fflush(stdout);
            installPlatform({services.windows, &recorder.keys(keys), &display, &sound,
                             &recorder.clock(*services.clock)});
            code = runMainLoop(nullptr);
            replayRecorder = nullptr;
        }
        resetPlatform();
    }
    TextFont::instance().close();
    if (TTF_WasInit()) TTF_Quit();
    SDL_Quit();
    return code;
}
