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
    WebFileStorage files;
    // The page has no command line. Runs are recorded into the page's
    // storage, which keeps the last few (a replay is tens of kilobytes; the
    // storage holds a few megabytes); the page offers them, and the run so
    // far, for download. No threads here: the prune runs in the tick.
    GamePlan plan = planGame(CommandLine{});
    return runGame(plan, {.services = {.windows = &windows,
                                       .keys = &keys,
                                       .display = &display,
                                       .sound = &sound,
                                       .clock = &clock,
                                       .saves = &files,
                                       .files = &files},
                          .replaysKeptAtMost = 5,
                          .pruneAside = false});
}
