// The SDL window and its event queue as the game's window system.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <utility>

#include "platform/LineIcon.h"
#include "platform/Platform.h"

struct SDL_Window;
union SDL_Event;
class SdlDisplay;

// The window and its events, translated into the game's messages.
class SdlWindowSystem final : public WindowSystem {
public:
    explicit SdlWindowSystem(SdlDisplay& frames, LineIcon windowIcon = {})
        : display(frames), icon(std::move(windowIcon)) {}
    ~SdlWindowSystem() override;

    bool registerClass(const WindowClassDesc& desc) override;
    int systemMetric(int index) override;
    WindowHandle createWindow(const WindowCreateDesc& desc) override;
    void showWindow(WindowHandle window, int showCommand) override;
    void updateWindow(WindowHandle window) override;
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
    Rect clientRectInPixels(WindowHandle window) override;
    // Fullscreen on the desktop's own resolution.
    void setFullscreen(WindowHandle window, bool on) override;
    bool isFullscreen(WindowHandle window) override;
    void showPointer(WindowHandle, bool shown) override;

    // The game's messages for one SDL event (none, one or several), queued.
    void translate(const SDL_Event& event);

private:
    bool takeQueued(Message& out);
    // A window that is neither maximised nor fullscreen fits the usable
    // area of the screen, frame included.
    void keepOnScreen();
    // As the window manager has it, or is about to.
    bool maximised();
    void post(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);
    intptr_t deliver(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);

    // The window's icon, drawn at this size for the window manager.
    void setIcon();
    static constexpr int kIconSize = 64;

    SdlDisplay& display;
    LineIcon icon;
    std::map<std::string, WindowProcedure> classes;  // registered, by name
    SDL_Window* window = nullptr;
    WindowProcedure procedure = nullptr;  // that of the window's class
    std::deque<Message> queue;
    // Whether to maximise again when fullscreen ends; a maximise asked for
    // and not yet done.
    bool maximisedBeforeFullscreen = false;
    bool maximising = false;
};
