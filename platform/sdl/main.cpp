// The Linux program: the game in an SDL window.
#define SDL_MAIN_HANDLED
#include <SDL.h>
#include <SDL_ttf.h>

#include <cstdio>

#include "app/RunGame.h"
#include "app/ShipIcon.h"
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
    // Answered before SDL is touched, so they work without a display; a
    // replay is checked whole before any window opens.
    GamePlan plan = planGame(parseCommandLine(argc, argv));
    if (plan.reply.done) {
        std::fputs(plan.reply.text.c_str(), plan.reply.isError ? stderr : stdout);
        return plan.reply.exitCode;
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
    int code = 0;
    {
        SdlDisplay display;
        SdlWindowSystem windows(display, shipIcon());
        SdlGamepads pads;
        SdlKeyState keys(&pads);
        SdlSound sound;
        SystemClock clock;
#ifdef VR_CURL
        CurlHttp http;
        HttpService* online = &http;
#else
        HttpService* online = nullptr;
#endif
        code = runGame(plan, {.services = {.windows = &windows,
                                           .keys = &keys,
                                           .display = &display,
                                           .sound = &sound,
                                           .clock = &clock},
                              .http = online,
                              .welcome = true});
    }
    TextFont::instance().close();
    if (TTF_WasInit()) TTF_Quit();
    SDL_Quit();
    return code;
}
