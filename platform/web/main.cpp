// The browser program: the game on the page's canvas. The main loop is the
// desktop's, unchanged: built with Asyncify, its sleeps give the tab back to
// the browser, which delivers the page's events in between.
#include <emscripten/emscripten.h>

#include <string>

#include "app/RunGame.h"
#include "platform/web/WebPlatform.h"

// The run so far as a replay (page.js offers it as a download); empty before
// start-up.
extern "C" EMSCRIPTEN_KEEPALIVE const char* voidrunner_replay() {
    static std::string text;
    text = recordedRun();
    return text.c_str();
}

int main() {
    WebDisplay display;
    WebKeyState keys;
    WebWindowSystem windows(keys);
    WebSound sound;
    WebClock clock;
    WebSaveStorage saves;
    // The page has no command line, and no folder to keep replays in: the
    // run is recorded in memory and the player downloads it.
    GamePlan plan = planGame(CommandLine{});
    return runGame(plan, {.services = {.windows = &windows,
                                       .keys = &keys,
                                       .display = &display,
                                       .sound = &sound,
                                       .clock = &clock,
                                       .saves = &saves},
                          .keepReplays = false});
}
