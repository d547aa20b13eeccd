// What the host does around the game, on every platform: pause (P, the
// Pause key, a minimised or unfocused window), the controls shown over the
// game (F1, and a welcome on the first launch), the leaderboard's top ten
// (F2), mute (M) and volume (- and +, both kept in the settings file),
// fullscreen (F11, Alt+Enter), the look (F3: the frame's drawing done again
// at the window's own pixels, or its exact pixels enlarged), W A D as
// arrows, a pointer that hides when still, and signs over the frame (muted,
// the volume, a replay). None of it touches the game's rules: while paused
// no tick runs, the keys the host keeps never reach the game, and the signs
// are drawn over each frame as it goes to the screen.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/host/Settings.h"
#include "app/online/TopTen.h"
#include "platform/DrawList.h"
#include "platform/Platform.h"

enum class Overlay { None, Paused, Help, Welcome, TopTen };

class HostControls {
public:
    HostControls() = default;
    ~HostControls();
    HostControls(const HostControls&) = delete;
    HostControls& operator=(const HostControls&) = delete;

    // Loads the settings and stands between the game and the installed
    // sound, so that muting and pausing silence it; detach undoes it.
    void attach();
    void detach();

    // A message taken from the queue, before the game's window procedure
    // sees it. True when the host kept it for itself. typingInitials: every
    // character is then the game's.
    bool takes(const Message& msg, bool typingInitials);

    // The window was minimised or lost the focus: the game waits.
    void windowLeft(WindowHandle window);
    // Shows the pause or help again (after a repaint or a new size).
    void refresh(WindowHandle window);
    // After each pass of the tick step: the welcome once the first frame is
    // there, the pointer hidden when still; while a replay is shown, its
    // ticks per frame (pace) and whether it has ended, told in signs.
    void afterTick(WindowHandle window, int pace = 0, bool ended = false);
    // While paused: shows what has come of the top ten since it was last
    // drawn. True while more is on its way (the loop then looks in again
    // soon instead of waiting for the window system).
    bool showAnswers(WindowHandle window);

    bool paused() const { return overlay != Overlay::None; }
    Overlay shown() const { return overlay; }
    bool muted() const { return settings.muted; }
    int volume() const { return settings.volume; }
    // Whether frames are shown in the vector look: chosen, and drawn so
    // by the installed display.
    bool vectorShown() const;
    // True once after F3 changed the look: the frame's place changes too.
    bool takeLookChange();

    static constexpr uint32_t kPointerRest = 2000;  // ms without motion
    static constexpr uint32_t kSignTime = 1500;     // ms a new volume shows

private:
    void pause(WindowHandle window, Overlay what);
    void resume();
    void toggleMute();
    void changeVolume(WindowHandle window, int step);
    void toggleFullscreen(WindowHandle window);
    void toggleLook(WindowHandle window);
    void redraw(WindowHandle window);
    // Mute, volume and replay, in the top left corner, and a replay's end.
    void drawSigns(DrawSurface& surface) const;

    // Draws the signs over each frame on its way to the screen, and notes
    // what the frame draws: the vector look shows that again at the
    // window's pixels (and then the exact back buffer is left alone).
    class Frames final : public Display {
    public:
        explicit Frames(const HostControls& host) : owner(host) {}
        DrawSurface* createBackBuffer(WindowHandle w, int width, int height) override;
        void present(WindowHandle w, DrawSurface& s, int width, int height) override;
        void destroyBackBuffer(DrawSurface* s) override;
        void placeFrame(WindowHandle w, const Rect& place) override { inner->placeFrame(w, place); }
        void setGlow(bool on) override { inner->setGlow(on); }
        // After a change of look: the exact back buffer drawn on or not.
        void followLook() { noted.exact = owner.vectorShown() ? nullptr : exact; }
        Display* inner = nullptr;

    private:
        const HostControls& owner;
        DrawListSurface noted;
        DrawSurface* exact = nullptr;
    };

    // Passes sounds on unless muted or paused.
    class Gate final : public Sound {
    public:
        explicit Gate(const HostControls& host) : owner(host) {}
        void play(const char* name) override;
        void stop() override;
        Sound* inner = nullptr;

    private:
        const HostControls& owner;
    };

    Gate gate{*this};
    Frames frames{*this};
    Overlay overlay = Overlay::None;
    HostSettings settings;
    TopTen topTen;
    unsigned answersShown = 0;
    bool welcomeDue = false;
    uint32_t volumeShownAt = 0;
    bool volumeShown = false;
    uint32_t pointerMovedAt = 0;
    bool pointerHidden = false;
    int replayPace = 0;
    bool replayEnded = false;
    bool replayEndShown = false;
    std::string settingsNote;  // the first line of settings.txt not taken
    uint32_t settingsNoteAt = 0;
    bool lookChanged = false;
};

// W, A and D as a second set of Up, Left and Right while a ship is in play;
// after it, while initials are typed, they are letters only.
class SteeringKeys final : public KeyState {
public:
    explicit SteeringKeys(KeyState& keys) : inner(keys) {}
    bool isHeld(Key key) override;
    bool isLetterHeld(char wasd) override { return inner.isLetterHeld(wasd); }

private:
    KeyState& inner;
};

// --fullscreen: the window goes fullscreen as soon as it is shown, before
// the game reads the playfield's size.
void setStartFullscreen(bool on);
bool startFullscreen();
// The desktop programs: on the first launch (no save.txt and no settings
// file in the folder yet) a few lines on the keys greet the player.
void setWelcomeOnFirstLaunch(bool on);
// Where F2's top ten comes from: the HTTP service (none: no network in this
// build) and the leaderboard when the host names it (empty: settings.txt's);
// whose row is marked (empty: settings.txt's player); `daily`: the second
// table is the day's board.
void setTopTenSource(HttpService* http, const std::string& leaderboard = {},
                     const std::string& player = {}, bool daily = false);
// The sign at the top right: "Ranked", then what became of the run ("Listed
// #12", "Kept: will be sent", why it was refused); "" for none. Any thread.
void noteRankedSign(const std::string& text);
// At the end of a replay shown: whether the host's box says how to close
// (the page offers choices of its own instead), and who is told.
void setReplayEnd(bool box, std::function<void()> told = {});
// What the leaderboard last said of this run ("listed", "kept"): shown in
// F2's box, since a program started from a menu has no console. Any thread.
void noteLeaderboardMessage(const std::string& text);
// When the first ranked run still waiting to be sent can no longer be
// listed ("14:32"; "" while none waits): the pause box says so. Any thread.
void noteUnsentRun(const std::string& expires);
