// The services the game takes from its host: window and events, key state,
// drawing, sound and a clock. The game core only ever talks to these
// interfaces; each backend (sdl/, win32/, headless/) implements them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Opaque handles: a backend casts them to its own types.
using InstanceHandle = void*;
using WindowHandle = void*;

// ---------------------------------------------------------------------------
// Window and events

// Window messages, with the values the window procedure is written against.
namespace wm {
constexpr uint32_t create = 0x01;
constexpr uint32_t destroy = 0x02;
constexpr uint32_t move = 0x03;
constexpr uint32_t size = 0x05;
constexpr uint32_t activate = 0x06;
constexpr uint32_t close = 0x10;
constexpr uint32_t paint = 0x0F;
constexpr uint32_t quit = 0x12;
constexpr uint32_t keyDown = 0x100;
constexpr uint32_t character = 0x102;
constexpr uint32_t sysKeyDown = 0x104;  // a key pressed with Alt held
constexpr uint32_t sysCharacter = 0x106;
constexpr uint32_t command = 0x111;
constexpr uint32_t mouseMove = 0x200;
constexpr uint32_t leftButtonDown = 0x201;
constexpr uint32_t leftButtonUp = 0x202;
constexpr uint32_t rightButtonDown = 0x204;
constexpr uint32_t rightButtonUp = 0x205;
constexpr uint32_t mouseWheel = 0x20A;
}  // namespace wm

// wParam of wm::size when the window was minimised (SIZE_MINIMIZED).
constexpr uintptr_t kSizeMinimized = 1;

// Virtual key codes of wm::keyDown and wm::sysKeyDown, as Win32 numbers them.
namespace vk {
constexpr uint32_t returnKey = 0x0D;
constexpr uint32_t pause = 0x13;
constexpr uint32_t left = 0x25;
constexpr uint32_t up = 0x26;
constexpr uint32_t right = 0x27;
constexpr uint32_t down = 0x28;
constexpr uint32_t f1 = 0x70;
constexpr uint32_t f2 = 0x71;
constexpr uint32_t f3 = 0x72;
constexpr uint32_t f11 = 0x7A;
}  // namespace vk

struct Message {
    WindowHandle window = nullptr;
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

// Packs a position the way mouse messages carry it: x low 16 bits, y high.
inline intptr_t packPosition(int x, int y) {
    return static_cast<intptr_t>((static_cast<uint32_t>(x) & 0xFFFFu) |
                                 ((static_cast<uint32_t>(y) & 0xFFFFu) << 16));
}

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

// A length measured in a unit of which `from` make `to` (logical pixels to
// a high-density screen's pixels and back); as it is when `from` is empty.
inline int rescale(int length, int from, int to) {
    if (from <= 0 || from == to) return length;
    return static_cast<int>(static_cast<int64_t>(length) * to / from);
}

// The window procedure of a class: the window system hands it every message
// for the class's windows, as Win32's lpfnWndProc.
using WindowProcedure = intptr_t (*)(WindowHandle window, uint32_t message, uintptr_t wParam,
                                     intptr_t lParam);

struct WindowClassDesc {
    uint32_t classStyle = 0;  // CS_HREDRAW | CS_VREDRAW = 3
    WindowProcedure procedure = nullptr;
    InstanceHandle instance = nullptr;
    uint16_t iconId = 0;
    uint16_t smallIconId = 0;
    int backgroundBrush = 0;  // COLOR_WINDOW + 1 = 6
    const char* className = "";
};

struct WindowCreateDesc {
    uint32_t exStyle = 0;  // WS_EX_OVERLAPPEDWINDOW = 0x300
    const char* className = "";
    const char* title = "";
    uint32_t style = 0;  // WS_OVERLAPPEDWINDOW = 0x00CF0000
    int x = 0, y = 0, width = 0, height = 0;
    InstanceHandle instance = nullptr;
};

namespace metric {
constexpr int cxScreen = 0;      // SM_CXSCREEN
constexpr int cxFixedFrame = 7;  // SM_CXFIXEDFRAME
constexpr int cyMenu = 15;       // SM_CYMENU
}  // namespace metric

constexpr uint32_t kOverlappedWindowStyle = 0x00CF0000;  // WS_OVERLAPPEDWINDOW
constexpr uint32_t kOverlappedWindowExStyle = 0x300;     // WS_EX_OVERLAPPEDWINDOW
constexpr int kShowMaximized = 3;                        // SW_SHOWMAXIMIZED

// The user32 side of the host. Messages reach the game only through the
// procedure registered with the window's class: dispatchMessage and the
// messages sent during creation and closing call it.
class WindowSystem {
public:
    virtual ~WindowSystem() = default;
    virtual bool registerClass(const WindowClassDesc& desc) = 0;
    virtual int systemMetric(int index) = 0;
    // Returns the new window, or nullptr (also for a class not registered).
    // May deliver wm::create (and others) to the class's procedure before it
    // returns, as the real call does.
    virtual WindowHandle createWindow(const WindowCreateDesc& desc) = 0;
    virtual void showWindow(WindowHandle window, int showCommand) = 0;
    virtual void updateWindow(WindowHandle window) = 0;
    virtual void messageBox(const char* text, const char* caption) = 0;
    // Non-blocking: takes one waiting message, false when none waits.
    virtual bool peekMessage(Message& out) = 0;
    // Blocking: 0 for the quit message, else non-zero.
    virtual int getMessage(Message& out) = 0;
    virtual void translateMessage(const Message& msg) = 0;
    virtual intptr_t dispatchMessage(const Message& msg) = 0;
    virtual intptr_t defaultHandling(const Message& msg) = 0;
    virtual void postQuitMessage(int exitCode) = 0;
    // BeginPaint + EndPaint: validates the window, draws nothing.
    virtual void validate(WindowHandle window) = 0;
    // The client rectangle in screen coordinates (GetWindowInfo's rcClient).
    virtual Rect clientRectOnScreen(WindowHandle window) = 0;
    // The client rectangle in client coordinates (GetClientRect), in the
    // window's logical pixels: the playfield's size.
    virtual Rect clientRect(WindowHandle window) = 0;
    // The same in the device's pixels, which the frame is placed in and mouse
    // positions are given in: more than clientRect on a high-density screen.
    virtual Rect clientRectInPixels(WindowHandle window) { return clientRect(window); }
    // The mouse pointer over the window shown or hidden.
    virtual void showPointer(WindowHandle, bool) {}
    // Borderless over the whole screen, or back to the window it was.
    virtual void setFullscreen(WindowHandle, bool) {}
    virtual bool isFullscreen(WindowHandle) { return false; }
};

// Hands every call on to `inner`: a wrapper overrides only what it changes.
class ForwardingWindowSystem : public WindowSystem {
public:
    bool registerClass(const WindowClassDesc& d) override { return inner->registerClass(d); }
    int systemMetric(int i) override { return inner->systemMetric(i); }
    WindowHandle createWindow(const WindowCreateDesc& d) override { return inner->createWindow(d); }
    void showWindow(WindowHandle w, int c) override { inner->showWindow(w, c); }
    void updateWindow(WindowHandle w) override { inner->updateWindow(w); }
    void messageBox(const char* t, const char* c) override { inner->messageBox(t, c); }
    bool peekMessage(Message& m) override { return inner->peekMessage(m); }
    int getMessage(Message& m) override { return inner->getMessage(m); }
    void translateMessage(const Message& m) override { inner->translateMessage(m); }
    intptr_t dispatchMessage(const Message& m) override { return inner->dispatchMessage(m); }
    intptr_t defaultHandling(const Message& m) override { return inner->defaultHandling(m); }
    void postQuitMessage(int code) override { inner->postQuitMessage(code); }
    void validate(WindowHandle w) override { inner->validate(w); }
    Rect clientRectOnScreen(WindowHandle w) override { return inner->clientRectOnScreen(w); }
    Rect clientRect(WindowHandle w) override { return inner->clientRect(w); }
    Rect clientRectInPixels(WindowHandle w) override { return inner->clientRectInPixels(w); }
    void showPointer(WindowHandle w, bool shown) override { inner->showPointer(w, shown); }
    void setFullscreen(WindowHandle w, bool on) override { inner->setFullscreen(w, on); }
    bool isFullscreen(WindowHandle w) override { return inner->isFullscreen(w); }

    WindowSystem* inner = nullptr;
};

// ---------------------------------------------------------------------------
// Key state

enum class Key { Left, Up, Right, Space };

// The letters scripts, replays and tests name the keys by, in the order a
// script writes them.
struct KeyLetter {
    Key key;
    char letter;
};
inline constexpr KeyLetter kKeyLetters[] = {
    {Key::Left, 'L'}, {Key::Right, 'R'}, {Key::Up, 'U'}, {Key::Space, 'S'}};

class KeyState {
public:
    virtual ~KeyState() = default;
    // Whether the key is physically held at the moment of the call.
    virtual bool isHeld(Key key) = 0;
    // The same for the key where W, A, S or D sits on a US keyboard (the
    // host's second set of arrows), wherever the layout puts the letter.
    virtual bool isLetterHeld(char /*wasd*/) { return false; }
};

// ---------------------------------------------------------------------------
// Drawing

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

enum class TextAlign { Left, Center, Right };

struct DrawList;  // platform/DrawList.h

// The back buffer's drawing context. Mirrors what the renderer needs and
// nothing more; coordinates are whole pixels.
class DrawSurface {
public:
    virtual ~DrawSurface() = default;
    // Texts are drawn without filling their background.
    virtual void setTransparentText() = 0;
    // Fills (left, top) .. (right, bottom), right and bottom excluded.
    virtual void fillRect(int left, int top, int right, int bottom, Rgb colour) = 0;
    virtual void setTextColor(Rgb colour) = 0;
    // A solid one-pixel pen for the following lines and ellipses; it lives
    // until releasePen, which restores the previous pen.
    virtual void selectPen(Rgb colour) = 0;
    virtual void releasePen() = 0;
    virtual void moveTo(int x, int y) = 0;
    // A line from the current position to (x, y), which becomes current.
    virtual void lineTo(int x, int y) = 0;
    virtual void setPixel(int x, int y, Rgb colour) = 0;
    // The ellipse inscribed in the box, outlined with the current pen and
    // filled with the surface's default brush (solid white).
    virtual void ellipse(int left, int top, int right, int bottom) = 0;
    // One line of text in the box, vertically centred, aligned as asked,
    // in the current text colour, clipped to the box.
    virtual void drawText(const char* text, int left, int top, int right, int bottom,
                          TextAlign align) = 0;
};

// The window side of drawing: the off-screen surface and its copy to the
// window.
class Display {
public:
    virtual ~Display() = default;
    // A surface of width x height pixels compatible with the window; nullptr
    // when none can be made.
    virtual DrawSurface* createBackBuffer(WindowHandle window, int width, int height) = 0;
    // Copies the surface's width x height pixels to the window: to (0, 0),
    // or scaled into the place placeFrame last gave, on black.
    virtual void present(WindowHandle window, DrawSurface& surface, int width, int height) = 0;
    virtual void destroyBackBuffer(DrawSurface* surface) = 0;
    // Where in the window's client area the frame goes from now on.
    virtual void placeFrame(WindowHandle, const Rect&) {}
    // The vector look: whether presentVectors can show a frame.
    virtual bool drawsVectors() { return false; }
    // Draws the frame's operations (a field of width x height, in its own
    // coordinates) again at the window's own pixels, scaled into the place
    // placeFrame last gave, on black, with a thin border round the place
    // where it does not fill the window.
    virtual void presentVectors(WindowHandle, const DrawList&, int /*width*/, int /*height*/) {}
    // A soft glow round the vector look's lines and dots, as vector screens
    // had; a display that has none ignores it.
    virtual void setGlow(bool) {}
};

// ---------------------------------------------------------------------------
// Sound

class Sound {
public:
    virtual ~Sound() = default;
    // Starts the named wave file ("snd\fire.wav") asynchronously, stopping
    // whatever plays. Failures are silent.
    virtual void play(const char* name) = 0;
    virtual void stop() = 0;
    // The loudness of what plays from now on, 0 (silent) to 10 (as recorded).
    virtual void setVolume(int /*tenths*/) {}
};

// ---------------------------------------------------------------------------
// Clock

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since some fixed start, 32-bit, wrapping.
    virtual uint32_t tickCount() = 0;
    virtual void sleep(uint32_t milliseconds) = 0;
    // Whether sleep() ends as soon as the window system has a message; the
    // main loop then sleeps until the next tick instead of in halves.
    virtual bool sleepEndsOnMessage() { return false; }
    // The value the game seeds its random numbers with: the calendar time
    // in seconds on a real host, a chosen seed in a headless run.
    virtual unsigned randomSeed() = 0;
};

// Passes everything to `inner`; a wrapper overrides only what it changes.
class ForwardingClock : public Clock {
public:
    uint32_t tickCount() override { return inner->tickCount(); }
    void sleep(uint32_t ms) override { inner->sleep(ms); }
    bool sleepEndsOnMessage() override { return inner->sleepEndsOnMessage(); }
    unsigned randomSeed() override { return inner->randomSeed(); }

    Clock* inner = nullptr;
};

// The host's time and sleep, with a seed of its own (a replay's, a ticket's).
class SeedClock final : public ForwardingClock {
public:
    unsigned randomSeed() override { return seed; }

    unsigned seed = 1;
};

// ---------------------------------------------------------------------------
// File storage

enum class StoredFile { read, missing, unreadable };
enum class FileLock { taken, busy, refused };

// Where the game's files live between runs: "save.txt", "settings.txt" and
// the folder "replays". The default is the system's own files (POSIX or
// Win32); a browser keeps them in its storage, a replay and the tests in
// memory. Names are relative, with '/' between a folder and its file.
class FileStorage {
public:
    virtual ~FileStorage() = default;
    // The whole file in `contents` (read); no such file (missing); or a file
    // that is there but cannot be read now: no permission, held by another
    // program, a directory or a pipe in its place, or longer than `limit`
    // bytes (unreadable). Never waits on a pipe or a device.
    virtual StoredFile read(const char* name, std::string& contents, std::size_t limit) = 0;
    // Takes the lock that games sharing the file take before changing it,
    // waiting a short bounded time at most: busy when another game kept it,
    // refused when no lock can ever be had there (its lock file is a
    // folder, a pipe or a link, or cannot be made).
    virtual FileLock lock(const char* name) = 0;
    virtual void unlock() = 0;
    // Replaces the file whole and durably: a reader sees the old contents
    // or the new, never a mix, also after a crash or a power cut. On failure
    // the old file stays as it was. The new contents go to a fresh file of
    // an unpredictable name first, never through a link or into a pipe.
    virtual bool replace(const char* name, const std::string& contents) = 0;
    // The names of the plain files in a folder; false when it cannot be read.
    // Safe to call from another thread while the game runs. (A storage that
    // holds no folders answers false to these three.)
    virtual bool list(const char*, std::vector<std::string>&) { return false; }
    // Also safe from another thread.
    virtual bool remove(const char*) { return false; }
    // True when the folder is there afterwards.
    virtual bool makeFolder(const char*) { return false; }
};

// How long a save file can be: ten short lines, with room for junk.
constexpr std::size_t kSaveFileLimit = std::size_t{64} << 20;

// The system's files; defined by the platform's file library.
FileStorage& systemFileStorage();

// Files that live in memory only: nothing on disk is read or written. It
// starts as if no file existed.
class MemoryFileStorage final : public FileStorage {
public:
    StoredFile read(const char* name, std::string& out, std::size_t limit) override {
        const auto it = files.find(name);
        if (it == files.end()) return StoredFile::missing;
        if (it->second.size() > limit) return StoredFile::unreadable;
        out = it->second;
        return StoredFile::read;
    }
    FileLock lock(const char*) override { return FileLock::taken; }
    void unlock() override {}
    bool replace(const char* name, const std::string& in) override {
        files[name] = in;
        return true;
    }
    bool list(const char* folder, std::vector<std::string>& names) override {
        const std::string prefix = std::string(folder) + "/";
        for (const auto& [name, text] : files)
            if (name.compare(0, prefix.size(), prefix) == 0 &&
                name.find('/', prefix.size()) == std::string::npos)
                names.push_back(name.substr(prefix.size()));
        return true;
    }
    bool remove(const char* name) override { return files.erase(name) > 0; }
    bool makeFolder(const char*) override { return true; }
    std::map<std::string, std::string> files;
};

// ---------------------------------------------------------------------------
// The installed services. Every pointer is always valid: by default each is
// a null service that does nothing (no window, no keys held, silence);
// only the clock (SystemClock) and the file storages are the system's own.

struct PlatformServices {
    WindowSystem* windows = nullptr;
    KeyState* keys = nullptr;
    Display* display = nullptr;
    Sound* sound = nullptr;
    Clock* clock = nullptr;
    // save.txt; a replay keeps its table apart in memory.
    FileStorage* saves = nullptr;
    // settings.txt and replays/.
    FileStorage* files = nullptr;
};

PlatformServices& platform();
// Installs the given services; a nullptr member keeps the null service.
void installPlatform(const PlatformServices& services);
// Back to the null services.
void resetPlatform();
