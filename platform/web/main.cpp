// The browser program: the game on the page's canvas. The main loop is the
// desktop's, unchanged: built with Asyncify, its sleeps give the tab back to
// the browser, which delivers the page's events in between.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <string>

#include "app/GameWindow.h"
#include "app/ReplayFolder.h"
#include "app/ReplayRecorder.h"
#include "platform/web/WebPlatform.h"

// The run so far as a replay (page.js offers it as a download); empty before
// start-up.
extern "C" EMSCRIPTEN_KEEPALIVE const char* voidrunner_replay() {
    static std::string text;
    text = (replayRecorder && replayRecorder->started()) ? replayRecorder->text() : std::string();
    return text.c_str();
}

namespace {
constexpr int kWebReplaysKept = 5;
}  // namespace

int main() {
    WebDisplay display;
    WebKeyState keys;
    WebWindowSystem windows(keys);
    WebSound sound;
    WebClock clock;
    WebFileStorage files;
    // The run is recorded into the page's storage, which keeps the last few
    // (a replay is tens of kilobytes; the storage holds a few megabytes);
    // the page offers them, and the run so far, for download.
    ReplayRecorder recorder;
    replayRecorder = &recorder;
    installPlatform(
        {&windows, &recorder.keys(keys), &display, &sound, &recorder.clock(clock), &files, &files});
    ReplayFolder folder;
    folder.keep = std::min(replayKeepLimit(), kWebReplaysKept);
    folder.pruneAside = false;  // no threads here
    recorder.folder = &folder;
    const int code = runMainLoop(nullptr);
    recorder.folder = nullptr;
    replayRecorder = nullptr;
    resetPlatform();
    return code;
}
