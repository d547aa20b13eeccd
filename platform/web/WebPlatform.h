// The browser services: the page's canvas and its events, the keyboard
// (and the touch controls) as held keys, WebAudio sound and the page's
// clock. The JavaScript half lives in page.js; the functions here reach it
// through small EM_JS calls.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/DrawList.h"
#include "platform/Gamepad.h"
#include "platform/Platform.h"
#include "platform/SystemClock.h"

// The back buffer notes the frame's drawing as a list of numbers
// (DrawList), handed to the page in one call at present: one crossing into
// JavaScript a frame instead of thousands. The page draws straight onto the
// visible canvas; a browser shows a canvas only when the script yields, so
// each frame appears whole. The page draws a list at the field's own pixels
// (present) or at the screen's (presentVectors).
class WebDisplay final : public Display {
public:
    DrawSurface* createBackBuffer(WindowHandle window, int width, int height) override;
    void present(WindowHandle window, DrawSurface& surface, int width, int height) override;
    void destroyBackBuffer(DrawSurface* surface) override;
    void placeFrame(WindowHandle window, const Rect& place) override;
    bool drawsVectors() override { return true; }
    void setGlow(bool on) override;
    void presentVectors(WindowHandle window, const DrawList& frame, int width, int height) override;

private:
    DrawListSurface* live = nullptr;
};

// Game controllers through the browser's Gamepad API, read in its standard
// layout. Browsers show a pad only after one of its buttons was pressed.
class WebGamepads final : public PadSource {
public:
    int slots() override;
    bool read(int slot, PadState& out) override;
};

// The arrow keys and the space bar held on the keyboard, on the touch
// controls or on a game controller.
class WebKeyState final : public KeyState {
public:
    bool isHeld(Key key) override;
    void setKeyboard(Key key, bool down) { keyboard[index(key)] = down; }
    // W, A or D held as an arrow (counted only while lettersMove says so).
    void setLetter(Key key, bool down) { letters[index(key)] = down; }
    bool lettersMove() const { return lettersMoveNow && lettersMoveNow(); }
    // Whether letters are arrows now: during play, not while initials are
    // typed. Set by the program (main.cpp); without it letters only type.
    bool (*lettersMoveNow)() = nullptr;
    void setTouch(Key key, bool down) { touch[index(key)] = down; }
    // Focus went elsewhere: the key-up events will not come to this page.
    void releaseAll();

private:
    static int index(Key key) { return static_cast<int>(key); }
    bool keyboard[4] = {};
    bool letters[4] = {};
    bool touch[4] = {};
    WebGamepads pads;
};

// The page's one window: the canvas, sized to the browser window's client
// area when it is created. Events arrive through html5.h callbacks, become
// the game's messages and wait in a queue for the main loop.
class WebWindowSystem final : public WindowSystem {
public:
    explicit WebWindowSystem(WebKeyState& keys) : keys(keys) {}
    ~WebWindowSystem() override;

    bool registerClass(const WindowClassDesc& desc) override;
    int systemMetric(int index) override;
    WindowHandle createWindow(const WindowCreateDesc& desc) override;
    void showWindow(WindowHandle, int) override {}
    void updateWindow(WindowHandle) override {}
    void messageBox(const char* text, const char* caption) override;
    bool peekMessage(Message& out) override;
    int getMessage(Message& out) override;
    void translateMessage(const Message&) override {}
    intptr_t dispatchMessage(const Message& msg) override;
    intptr_t defaultHandling(const Message& msg) override;
    void postQuitMessage(int exitCode) override;
    void validate(WindowHandle) override {}
    Rect clientRectOnScreen(WindowHandle window) override;
    Rect clientRect(WindowHandle window) override;

    void post(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);
    // A typed character from the touch screen's text field.
    void typed(unsigned code) { post(wm::character, code); }
    WebKeyState& keys;

private:
    WindowProcedure procedure = nullptr;  // registered with the class
    WindowHandle window = nullptr;
    std::deque<Message> queue;
};

// One voice over WebAudio. The page fetches and decodes the sound files
// once; audio starts with the first key press or click (a browser's rule),
// and sounds started before that are not heard.
class WebSound final : public Sound {
public:
    void play(const char* name) override;
    void stop() override;
    void setVolume(int tenths) override;
};

// The game's files as items of the page's local storage, with the same
// text: "save.txt", "settings.txt" and "replays/NAME". Storage that is
// disabled reads as unreadable (the default table, never written over); a
// write the browser refuses (storage full) fails and leaves the stored item
// as it was. Writing an item is atomic; the lock is an item with an owner
// and a time, so that two tabs of the game do not sign over each other.
class WebFileStorage final : public FileStorage {
public:
    StoredFile read(const char* name, std::string& contents, std::size_t limit) override;
    FileLock lock(const char* name) override;
    void unlock() override;
    bool replace(const char* name, const std::string& contents) override;
    bool list(const char* folder, std::vector<std::string>& names) override;
    bool remove(const char* name) override;
    bool makeFolder(const char* name) override;

private:
    std::string locked;
};

// The shared real clock, counting with the page's clock and sleeping by
// giving the tab back to the browser (the main loop is built with Asyncify,
// so it runs unchanged).
class WebClock final : public SystemClock {
public:
    uint32_t tickCount() override;
    // Ends early when an event is posted (WebWindowSystem).
    void sleep(uint32_t milliseconds) override;
    bool sleepEndsOnMessage() override { return true; }
};
