#include "platform/Platform.h"

#include "platform/SystemClock.h"

namespace {

class NullWindowSystem final : public WindowSystem {
public:
    bool registerClass(const WindowClassDesc&) override { return false; }
    int systemMetric(int) override { return 0; }
    WindowHandle createWindow(const WindowCreateDesc&) override { return nullptr; }
    void showWindow(WindowHandle, int) override {}
    void updateWindow(WindowHandle) override {}
    void messageBox(const char*, const char*) override {}
    bool peekMessage(Message&) override { return false; }
    int getMessage(Message& out) override {
        out = Message{};
        out.message = wm::quit;
        return 0;
    }
    void translateMessage(const Message&) override {}
    intptr_t dispatchMessage(const Message&) override { return 0; }
    intptr_t defaultHandling(const Message&) override { return 0; }
    void postQuitMessage(int) override {}
    void validate(WindowHandle) override {}
    Rect clientRectOnScreen(WindowHandle) override { return {}; }
    Rect clientRect(WindowHandle) override { return {}; }
};

class NullKeyState final : public KeyState {
public:
    bool isHeld(Key) override { return false; }
};

class NullDisplay final : public Display {
public:
    DrawSurface* createBackBuffer(WindowHandle, int, int) override { return nullptr; }
    void present(WindowHandle, DrawSurface&, int, int) override {}
    void destroyBackBuffer(DrawSurface*) override {}
};

class NullSound final : public Sound {
public:
    void play(const char*) override {}
    void stop() override {}
};

NullWindowSystem nullWindows;
NullKeyState nullKeys;
NullDisplay nullDisplay;
NullSound nullSound;
SystemClock systemClock;

PlatformServices nullServices() {
    return {&nullWindows,         &nullKeys,           &nullDisplay, &nullSound, &systemClock,
            &systemFileStorage(), &systemFileStorage()};
}

PlatformServices installed = nullServices();

}  // namespace

PlatformServices& platform() { return installed; }

void installPlatform(const PlatformServices& services) {
    PlatformServices base = nullServices();
    installed.windows = services.windows ? services.windows : base.windows;
    installed.keys = services.keys ? services.keys : base.keys;
    installed.display = services.display ? services.display : base.display;
    installed.sound = services.sound ? services.sound : base.sound;
    installed.clock = services.clock ? services.clock : base.clock;
    installed.saves = services.saves ? services.saves : base.saves;
    installed.files = services.files ? services.files : base.files;
}

void resetPlatform() { installed = nullServices(); }
