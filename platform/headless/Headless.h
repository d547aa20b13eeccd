// Headless services: no window, no screen, no speaker. The tests and the
// trace tool run the real game against these.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"

// One drawing operation as it reached the surface.
struct DrawOp {
    enum Kind { Fill, Line, Pixel, Ellipse, Text } kind = Fill;
    int a = 0, b = 0, c = 0, d = 0;  // fill/ellipse: l t r b; line: x1 y1 x2 y2; pixel: x y
    Rgb colour;                      // fill, line (pen), pixel, ellipse (pen), text colour
    Rgb fill;                        // ellipse only: the brush (white)
    std::string text;                // text only
    TextAlign align = TextAlign::Left;
};

// Records every operation of a frame; knows the current pen and text colour.
class RecordingSurface final : public DrawSurface {
public:
    void setTransparentText() override;
    void fillRect(int left, int top, int right, int bottom, Rgb colour) override;
    void setTextColor(Rgb colour) override;
    void selectPen(Rgb colour) override;
    void releasePen() override;
    void moveTo(int x, int y) override;
    void lineTo(int x, int y) override;
    void setPixel(int x, int y, Rgb colour) override;
    void ellipse(int left, int top, int right, int bottom) override;
    void drawText(const char* text, int left, int top, int right, int bottom,
                  TextAlign align) override;

    std::vector<DrawOp> ops;
    int pensSelected = 0;  // pens alive now: must be 0 after every frame
    bool transparentText = false;

private:
    DrawOp& record(DrawOp::Kind kind, int a, int b, int c, int d, Rgb colour);

    Rgb pen{};
    std::vector<Rgb> penStack;
    Rgb textColour{};
    int curX = 0, curY = 0;
};

// Hands out one RecordingSurface; each present moves the frame's operations
// to `presented`.
class RecordingDisplay final : public Display {
public:
    DrawSurface* createBackBuffer(WindowHandle window, int width, int height) override;
    void present(WindowHandle window, DrawSurface& surface, int width, int height) override;
    void destroyBackBuffer(DrawSurface* surface) override;

    RecordingSurface* surface = nullptr;  // the live back buffer, if any
    int width = 0, height = 0;
    int created = 0, destroyed = 0, presentCount = 0;
    std::vector<DrawOp> presented;  // the last presented frame

    ~RecordingDisplay() override;

private:
    std::vector<std::unique_ptr<RecordingSurface>> owned;  // every live surface
};

class RecordingSound final : public Sound {
public:
    void play(const char* name) override { started.emplace_back(name); }
    void stop() override { ++stops; }
    void setVolume(int tenths) override { volume = tenths; }
    std::vector<std::string> started;
    int stops = 0;
    int volume = 10;
};

class ScriptedKeys final : public KeyState {
public:
    bool isHeld(Key key) override { return held[static_cast<int>(key)]; }
    bool isLetterHeld(char wasd) override { return heldLetters.find(wasd) != std::string::npos; }
    void set(Key key, bool down) { held[static_cast<int>(key)] = down; }
    std::string heldLetters;  // of "WASD"
    // The keys whose letters (kKeyLetters) are given; "-" or "" for none.
    void setAll(const std::string& letters);
    bool held[4] = {false, false, false, false};
};

// Time moves only when told to, or by sleeping.
class FakeClock final : public Clock {
public:
    uint32_t tickCount() override { return now; }
    void sleep(uint32_t milliseconds) override {
        sleeps.push_back(milliseconds);
        now += milliseconds;
    }
    unsigned randomSeed() override { return seed; }
    uint32_t now = 0;
    unsigned seed = 1;
    std::vector<uint32_t> sleeps;
};

// A window system with a message queue of its own. dispatchMessage hands
// messages to the procedure registered with the window's class; the quit
// message ends the loop.
class FakeWindowSystem final : public WindowSystem {
public:
    bool registerClass(const WindowClassDesc& desc) override;
    int systemMetric(int index) override;
    WindowHandle createWindow(const WindowCreateDesc& desc) override;
    void showWindow(WindowHandle window, int showCommand) override;
    void updateWindow(WindowHandle window) override;
    void messageBox(const char* text, const char* caption) override;
    bool peekMessage(Message& out) override;
    int getMessage(Message& out) override;
    void translateMessage(const Message& msg) override;
    intptr_t dispatchMessage(const Message& msg) override;
    intptr_t defaultHandling(const Message& msg) override;
    void postQuitMessage(int exitCode) override;
    void validate(WindowHandle window) override;
    Rect clientRectOnScreen(WindowHandle window) override;
    Rect clientRect(WindowHandle window) override;
    void showPointer(WindowHandle, bool shown) override { pointerShown = shown; }

    // Queues a message for the window.
    void post(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);

    bool pointerShown = true;
    int clientWidth = 800;  // what clientRect reports
    int clientHeight = 600;
    int screenWidth = 1024;  // what systemMetric(cxScreen) reports
    bool failRegister = false;
    bool failCreate = false;
    WindowHandle handle = reinterpret_cast<WindowHandle>(0x1);  // the window it creates
    std::deque<Message> queue;
    std::vector<std::string> calls;       // "registerClass", "createWindow", ... in order
    WindowClassDesc registered{};         // the last class registered
    WindowProcedure procedure = nullptr;  // that of the window it created
    WindowCreateDesc created{};
    int shownWith = -1;
    int quitCode = -1;
    std::string messageText;  // the last message box
    std::string messageCaption;
    std::map<std::string, WindowProcedure> classes;  // registered, by name
    int screenLeft = 3;  // where clientRectOnScreen puts the client area
    int screenTop = 23;
};

// All headless services in one place; install() makes them the platform's.
struct HeadlessPlatform {
    FakeWindowSystem windows;
    ScriptedKeys keys;
    RecordingDisplay display;
    RecordingSound sound;
    FakeClock clock;
    void install();
};
