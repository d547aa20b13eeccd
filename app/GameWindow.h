// The application object: the one window, its mouse and activation state,
// the start countdown, and the main loop.
#pragma once

#include <cstdint>
#include <memory>

#include "game/Tick.h"
#include "platform/Platform.h"

class HostControls;

// What the tick reads (the window, the countdown, the mouse) is the
// TickInput part, which the window procedure fills.
class GameWindow : public TickInput {
public:
    GameWindow(InstanceHandle instance, const char* className, const char* title, uint16_t iconId,
               uint16_t smallIconId, uint32_t style, int showCommand);
    virtual ~GameWindow();

    bool createMainWindow();
    intptr_t handleMessage(WindowHandle window, uint32_t message, uintptr_t wParam,
                           intptr_t lParam);
    // The procedure registered with the window class: hands every message to
    // the game window, or to the default handling while there is none.
    static intptr_t windowProcedure(WindowHandle window, uint32_t message, uintptr_t wParam,
                                    intptr_t lParam);

    InstanceHandle instance = nullptr;
    char className[32] = {};
    char title[32] = {};
    uint32_t style = 0;
    uint16_t iconId = 0;
    uint16_t smallIconId = 0;
    int width = 200;
    int height = 200;
    int frameInterval = 20;
    int mouseX = 0;
    int mouseY = 0;
    int showCommand = 0;
    uint8_t buttonReleased = 0;
    uint8_t useGameLoop = 1;
    int32_t inactive = 1;

    // Pause, help, mute and fullscreen around the game. Held by pointer, so
    // that what includes the window (the rules' tools, the server) does not
    // build again with every change of the host.
    HostControls& host() { return *host_; }
    // Shows the frame centred and scaled in the window as it is now.
    void placeFrameInWindow(WindowHandle window);
    // The playfield size the placement was made for (0 before start-up).
    int placedWidth = 0;
    int placedHeight = 0;

private:
    void readClientSize(WindowHandle window);
    Rect framePlace;
    std::unique_ptr<HostControls> host_;
};

// A replay's part in the loop: a recorder notes every input the game
// consumes, a player gives them in place of the host's. The loop and the
// window procedure call it; none outside a program's run.
class ReplayHooks {
public:
    virtual ~ReplayHooks() = default;
    // A tick is due. True when the hooks ran it (a player's own steps); false
    // leaves the key step and tick to the loop.
    virtual bool playTick() { return false; }
    // Before the key step of a tick or of a typed character.
    virtual void beginPoll() {}
    virtual void tickRan() {}
    virtual void typed(uintptr_t) {}
    virtual void mouse(uint32_t) {}
    virtual void wheel(uintptr_t) {}
    // The loop is over: the window closed.
    virtual void loopEnded() {}
    // While a replay is shown: ticks per frame (0 when none is shown), and
    // whether it has ended.
    virtual int shownPace() const { return 0; }
    virtual bool shownEnded() const { return false; }
};
extern ReplayHooks* replayHooks;

// The one instance; the window procedure reaches it here, the tick through
// tickInput.
extern GameWindow* gameWindow;

// Milliseconds of the tick counter after which the next tick is due.
extern uint32_t nextTickTime;

// Creates gameWindow ("Voidrunner", maximised, 62 ms ticks).
bool createGameWindow(InstanceHandle instance);
// The program run: create, loop, shut down. Returns the exit code.
int runMainLoop(InstanceHandle instance);
// Whether the game is reading typed initials: a host that takes letters
// as keys of its own leaves them to the game then.
bool typingInitials();

// One pass of the tick loop's idle decision; exposed for tests. Returns
// true when a tick ran.
bool runTickIfDue();
// Releases what the game holds at exit (sound, lists, back buffer, the game
// window) and brings every module's state back to how the program starts.
void shutDown();
// The same, for tests and tools that run many games in one process.
void resetToProgramStart();
