// The Win32 services: user32 windows and messages, GDI drawing, winmm
// sound and the kernel32 clock, behind the game's service interfaces.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "platform/DrawList.h"
#include "platform/Gamepad.h"
#include "platform/Platform.h"
#include "platform/SystemClock.h"

class Win32WindowSystem final : public WindowSystem {
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
    // At 150 or 200 % scaling the window is per-monitor aware (the
    // manifest): its client area comes in real pixels, and the logical size
    // (the playfield's) is that at the window's DPI taken back to 96.
    Rect clientRect(WindowHandle window) override;
    Rect clientRectInPixels(WindowHandle window) override;
    // Borderless over the window's monitor, and back to where it was.
    void setFullscreen(WindowHandle window, bool on) override;
    bool isFullscreen(WindowHandle) override { return fullscreen_; }
    void showPointer(WindowHandle, bool shown) override;

private:
    bool fullscreen_ = false;
    bool pointerHidden_ = false;
    LONG_PTR windowedStyle_ = 0;
    LONG_PTR windowedExStyle_ = 0;
    WINDOWPLACEMENT windowed_{};
    // The last message taken from the queue, whole: the game's Message
    // drops its time and cursor position, which dispatch hands on.
    MSG last_{};
    MSG toNative(const Message& msg) const;
};

// Up to four XInput pads, when an XInput DLL is there.
class XInputPads final : public PadSource {
public:
    XInputPads();
    int slots() override;
    bool read(int slot, PadState& out) override;

private:
    using GetState = DWORD(WINAPI*)(DWORD, void*);
    GetState getState_ = nullptr;
    bool connected_[4] = {};
    DWORD retryAt_[4] = {};
};

// The keyboard, and the pads as the same keys.
class Win32KeyState final : public KeyState {
public:
    explicit Win32KeyState(PadSource* pads = nullptr) : pads_(pads) {}
    bool isHeld(Key key) override;
    bool isLetterHeld(char wasd) override;

private:
    PadSource* pads_;
};

// A memory DC with its own bitmap: the back buffer.
class Win32Surface final : public DrawSurface {
public:
    Win32Surface(HDC dc, HBITMAP bitmap, HGDIOBJ oldBitmap)
        : dc_(dc), bitmap_(bitmap), oldBitmap_(oldBitmap) {}
    ~Win32Surface() override;
    Win32Surface(const Win32Surface&) = delete;
    Win32Surface& operator=(const Win32Surface&) = delete;

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

    HDC dc() const { return dc_; }
    // Texts in the size they have at 100 %: the frame is enlarged as a
    // whole on a scaled screen, where the DC's font is already larger.
    void useUnscaledFont(int systemDpi);

private:
    HDC dc_;
    HFONT font_ = nullptr;
    HGDIOBJ oldFont_ = nullptr;
    HBITMAP bitmap_;
    HGDIOBJ oldBitmap_;
    HPEN pen_ = nullptr;
    HGDIOBJ oldPen_ = nullptr;
};

class Win32Display final : public Display {
public:
    Win32Display() = default;
    ~Win32Display() override;
    Win32Display(const Win32Display&) = delete;
    Win32Display& operator=(const Win32Display&) = delete;
    DrawSurface* createBackBuffer(WindowHandle window, int width, int height) override;
    void present(WindowHandle window, DrawSurface& surface, int width, int height) override;
    void destroyBackBuffer(DrawSurface* surface) override;
    void placeFrame(WindowHandle window, const Rect& place) override;
    // The vector look: GDI's wide pens, ellipses and a scaled font at the
    // window's own pixels, drawn whole into a picture of the window's size.
    bool drawsVectors() override { return true; }
    void presentVectors(WindowHandle window, const DrawList& frame, int width, int height) override;

private:
    // The window's picture, made again when the window's size changes.
    bool canvasFor(HDC windowDc, int width, int height);
    void drawVectors(const DrawList& frame, const FieldView& view);
    void freeCanvas();
    bool placed_ = false;
    Rect place_{};
    HDC canvas_ = nullptr;
    HBITMAP canvasBitmap_ = nullptr;
    HGDIOBJ canvasOld_ = nullptr;
    int canvasWidth_ = 0, canvasHeight_ = 0;
    HFONT font_ = nullptr;
    int fontHeight_ = 0;
};

class Win32Sound final : public Sound {
public:
    void play(const char* name) override;
    void stop() override;
    // The program's own wave-out volume, which PlaySound plays at.
    void setVolume(int tenths) override;
};

// The shared real clock, counting and sleeping with the kernel32 calls the
// tick schedule is written against (GetTickCount, Sleep).
class Win32Clock final : public SystemClock {
public:
    uint32_t tickCount() override;
    void sleep(uint32_t milliseconds) override;
};

// The services above as one set, ready for installPlatform.
PlatformServices win32Services();
