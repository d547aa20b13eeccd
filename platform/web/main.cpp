// The browser program: the game on the page's canvas. The main loop is the
// desktop's, unchanged: built with Asyncify, its sleeps give the tab back to
// the browser, which delivers the page's events in between.
#include <emscripten/emscripten.h>

#include <string>

#include "app/GameWindow.h"
#include "app/ReplayRecorder.h"
#include "platform/web/WebPlatform.h"

// The run so far as a replay (page.js offers it as a download); empty before
// start-up.
extern "C" EMSCRIPTEN_KEEPALIVE const char* voidrunner_replay() {
    static std::string text;
    text = (replayRecorder && replayRecorder->started()) ? replayRecorder->text() : std::string();
    return text.c_str();
}

int main() {
    WebDisplay display;
    WebKeyState keys;
    WebWindowSystem windows(keys);
    WebSound sound;
    WebClock clock;
    WebSaveStorage saves;
    // The run is recorded in memory only: the page has no folder to keep
    // replays in; the player downloads the one of this run.
    ReplayRecorder recorder;
    replayRecorder = &recorder;
    installPlatform(
        {&windows, &recorder.keys(keys), &display, &sound, &recorder.clock(clock), &saves});
    const int code = runMainLoop(nullptr);
    replayRecorder = nullptr;
    resetPlatform();
    return code;
}
