// What the host does around the game, on every platform: pause (P, the
// Pause key, a minimised or unfocused window), the controls shown over the
// game (F1), mute (M, kept in the settings file) and fullscreen (F11,
// Alt+Enter). None of it touches the game's rules: while paused no tick
// runs, and the keys the host keeps never reach the game.
#pragma once

#include <cstdint>

#include "app/host/Settings.h"
#include "platform/Platform.h"

enum class Overlay { None, Paused, Help };

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

    bool paused() const { return overlay != Overlay::None; }
    Overlay shown() const { return overlay; }
    bool muted() const { return settings.muted; }

private:
    void pause(WindowHandle window, Overlay what);
    void resume();
    void toggleMute();
    void toggleFullscreen(WindowHandle window);

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
    Overlay overlay = Overlay::None;
    HostSettings settings;
};

// --fullscreen: the window goes fullscreen as soon as it is shown, before
// the game reads the playfield's size.
void setStartFullscreen(bool on);
bool startFullscreen();
