// The SDL2 services: a real window with its event queue, the keyboard
// state, a software back buffer with SDL2_ttf texts, one-voice SDL2_mixer
// sound; the clock is the shared SystemClock.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Platform.h"

struct SDL_Point;
struct SDL_Rect;
struct SDL_Surface;
struct SDL_Renderer;
struct SDL_Texture;
struct SDL_Window;
union SDL_Event;
struct Mix_Chunk;
typedef struct _TTF_Font TTF_Font;

// The one font of the game's texts, found through fontconfig. Without a
// font texts are skipped (one warning on standard error).
class TextFont {
public:
    static TextFont& instance();
    TTF_Font* font();  // nullptr when no font could be opened
    // Closes the font (before TTF_Quit); a later font() opens it again.
    void close();
    ~TextFont();

private:
    TextFont() = default;
    bool tried = false;
    TTF_Font* opened = nullptr;
};

// A software surface of the playfield's size, drawn through SDL's software
// renderer. Rendered texts are kept as textures: the HUD repeats them every
// frame and rendering glyphs each time would dominate the frame's cost.
class SdlSurface final : public DrawSurface {
public:
    // pixelFormat: an SDL_PIXELFORMAT_* value (that of the window, for a
    // straight copy).
    SdlSurface(int width, int height, uint32_t pixelFormat);
    ~SdlSurface() override;
    SdlSurface(const SdlSurface&) = delete;
    SdlSurface& operator=(const SdlSurface&) = delete;

    bool valid() const { return renderer != nullptr; }
    // The pixels as drawn so far (pending drawing is flushed first).
    SDL_Surface* pixels();
    // The parts of the surface that may differ from what it held at the
    // last markShown (all of it before the first), within width x height.
    const std::vector<SDL_Rect>& changedSinceShown(int width, int height);
    void markShown();

    void setTransparentText() override {}
    void fillRect(int left, int top, int right, int bottom, Rgb colour) override;
    void setTextColor(Rgb colour) override { textColour = colour; }
    void selectPen(Rgb colour) override;
    void releasePen() override;
    void moveTo(int x, int y) override;
    void lineTo(int x, int y) override;
    void setPixel(int x, int y, Rgb colour) override;
    void ellipse(int left, int top, int right, int bottom) override;
    void drawText(const char* text, int left, int top, int right, int bottom,
                  TextAlign align) override;

private:
    struct CachedText {
        SDL_Texture* texture = nullptr;
        int width = 0, height = 0;
    };
    CachedText& renderedText(const char* text, Rgb colour);
    void setColour(Rgb colour);
    void clearTextCache();

    SDL_Surface* surface = nullptr;
    SDL_Renderer* renderer = nullptr;
    Rgb pen{255, 255, 255};
    Rgb previousPen{255, 255, 255};
    Rgb textColour{};
    int curX = 0, curY = 0;
    std::unordered_map<std::string, CachedText> texts;
    // Reused every frame, so drawing allocates nothing once texts are cached.
    std::string lookupKey;
    std::vector<SDL_Point> ellipsePoints;

    // Every frame starts by filling the whole surface black, but a frame
    // draws on a small part of it. The surface notes which tiles were drawn
    // on since it was last all black, and that fill blackens only those:
    // the same pixels for a fraction of the memory traffic.
    void markDrawn(int left, int top, int right, int bottom);
    bool clearToBlack();
    static constexpr int kTile = 64;
    int width = 0, height = 0, tilesX = 0, tilesY = 0;
    bool allBlack = false;  // black but for the tiles marked drawn
    std::vector<unsigned char> drawnTiles;
    std::vector<SDL_Rect> blackRuns;
    // The same for the copy to the window: tiles drawn on or blackened
    // since the window last got the surface, or all of them.
    bool allChanged = true;
    std::vector<unsigned char> changedTiles;
    std::vector<SDL_Rect> changedRuns;
};

// Back buffers for the window and their copy to it. Remembers the last
// presented frame so that an exposed window is repainted from it.
class SdlDisplay final : public Display {
public:
    DrawSurface* createBackBuffer(WindowHandle window, int width, int height) override;
    void present(WindowHandle window, DrawSurface& surface, int width, int height) override;
    void destroyBackBuffer(DrawSurface* surface) override;

    // Called by the window system.
    void repaint(SDL_Window* window);
    void windowDestroyed(SDL_Window* window);

private:
    // partial: copy only what changed since the window last got this frame,
    // when the window surface is still the one it went to.
    void copyToWindow(SDL_Window* window, SdlSurface* frame, int width, int height, bool partial);
    SDL_Window* lastWindow = nullptr;
    SdlSurface* lastFrame = nullptr;
    int lastWidth = 0, lastHeight = 0;
    // What the window surface holds: the frame last copied there, whole.
    SdlSurface* shownFrame = nullptr;
    SDL_Surface* shownTarget = nullptr;
    int shownTargetWidth = 0, shownTargetHeight = 0, shownWidth = 0, shownHeight = 0;
};

// The window and its events, translated into the game's messages.
class SdlWindowSystem final : public WindowSystem {
public:
    explicit SdlWindowSystem(SdlDisplay& display) : display(display) {}
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

    // The game's messages for one SDL event (none, one or several), queued.
    void translate(const SDL_Event& event);

private:
    bool takeQueued(Message& out);
    void post(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);
    intptr_t deliver(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);

    SdlDisplay& display;
    std::map<std::string, WindowProcedure> classes;  // registered, by name
    SDL_Window* window = nullptr;
    WindowProcedure procedure = nullptr;  // that of the window's class
    std::deque<Message> queue;
};

// The arrow keys and the space bar, as of the last event taken.
class SdlKeyState final : public KeyState {
public:
    bool isHeld(Key key) override;
};

// One voice: a new sound stops the one that plays. Loaded sounds are kept,
// so the hum and thrust that restart every tick are read from disk once.
class SdlSound final : public Sound {
public:
    SdlSound();
    ~SdlSound() override;
    void play(const char* name) override;
    void stop() override;
    bool available() const { return open; }

private:
    bool open = false;
    std::unordered_map<std::string, Mix_Chunk*> chunks;
};

// "snd\fire.wav" -> "snd/fire.wav".
std::string soundPath(const char* name);

// A display for headless runs: every presented frame is drawn with the
// same SDL code into a software surface and saved as DIR/frame-NNNNN.png
// (numbered from 1). When `also` is given, every surface operation and
// every present goes to it too, so a recording display keeps working.
std::unique_ptr<Display> makePngFrameWriter(const std::string& dir, Display* also = nullptr);
