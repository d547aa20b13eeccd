// The browser program: the game on the page's canvas. The main loop is the
// desktop's, unchanged: built with Asyncify, its sleeps give the tab back to
// the browser, which delivers the page's events in between.
#include "app/GameWindow.h"
#include "platform/web/WebPlatform.h"

int main() {
    WebDisplay display;
    WebKeyState keys;
    WebWindowSystem windows(keys);
    WebSound sound;
    WebClock clock;
    WebSaveStorage saves;
    installPlatform({&windows, &keys, &display, &sound, &clock, &saves});
    const int code = runMainLoop(nullptr);
    resetPlatform();
    return code;
}
