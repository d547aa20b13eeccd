#include "app/GameWindow.h"

#include "app/FramePlacement.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "app/host/HostControls.h"
#include "app/online/RankedContract.h"
#include "game/GameState.h"
#include "game/ShipControls.h"
#include "game/Tick.h"
#include "present/Renderer.h"
#include "present/Sound.h"
#include "scores/HighScores.h"
#include "scores/Initials.h"

GameWindow* gameWindow = nullptr;
ReplayHooks* replayHooks = nullptr;
uint32_t nextTickTime = 0;

namespace {

// Copies a name into a 32-character field: only when not empty, cut to fit.
void copyName(char (&field)[32], const char* name) {
    if (!name || !*name) return;
    const size_t n = std::min(std::strlen(name), sizeof field - 1);
    std::memcpy(field, name, n);
    field[n] = '\0';
}

int lowWord(intptr_t v) { return static_cast<int>(static_cast<uint32_t>(v) & 0xFFFFu); }
int highWord(intptr_t v) { return static_cast<int>((static_cast<uint32_t>(v) >> 16) & 0xFFFFu); }

}  // namespace

GameWindow::GameWindow(InstanceHandle inst, const char* name, const char* caption, uint16_t icon,
                       uint16_t smallIcon, uint32_t windowStyle, int show)
    : instance(inst),
      style(windowStyle),
      iconId(icon),
      smallIconId(smallIcon),
      showCommand(show),
      host_(std::make_unique<HostControls>()) {
    copyName(className, name);
    copyName(title, caption);
    gameWindow = this;
    tickInput = this;
}

GameWindow::~GameWindow() {
    if (gameWindow == this) gameWindow = nullptr;
    if (tickInput == this) tickInput = nullptr;
}

bool GameWindow::createMainWindow() {
    WindowSystem& ws = *platform().windows;

    WindowClassDesc cls;
    cls.classStyle = 3;  // CS_HREDRAW | CS_VREDRAW
    cls.procedure = &GameWindow::windowProcedure;
    cls.instance = instance;
    cls.iconId = iconId;
    cls.smallIconId = smallIconId;
    cls.backgroundBrush = 6;  // COLOR_WINDOW + 1
    cls.className = className;
    if (!ws.registerClass(cls)) return false;

    WindowCreateDesc desc;
    desc.exStyle = kOverlappedWindowExStyle;
    desc.className = className;
    desc.title = title;
    desc.style = style;
    desc.width = width + 2 * ws.systemMetric(metric::cxFixedFrame);
    desc.height = height;  // the class has no menu
    desc.x = (ws.systemMetric(metric::cxScreen) - desc.width) / 2;
    desc.y = 0;
    desc.instance = instance;
    window = ws.createWindow(desc);
    if (!window) {
        ws.messageBox("Failed to Create Main Window", "Programming Error");
        return false;
    }
    ws.showWindow(window, showCommand);
    if (startFullscreen()) ws.setFullscreen(window, true);
    ws.updateWindow(window);
    return true;
}

void GameWindow::placeFrameInWindow(WindowHandle handle) {
    if (gameState.fieldWidth <= 0 || gameState.fieldHeight <= 0) return;
    WindowSystem& ws = *platform().windows;
    const Rect client = ws.clientRectInPixels(handle);
    const int clientWidth = client.right - client.left;
    const int clientHeight = client.bottom - client.top;
    Rect place;
    if (host().vectorShown()) {
        // A border of a logical pixel and a gap as wide, in device pixels.
        const int logical = ws.clientRect(handle).right;
        const int density = logical > 0 ? std::max((clientWidth + logical / 2) / logical, 1) : 1;
        place = placeVectorFrame(gameState.fieldWidth, gameState.fieldHeight, clientWidth,
                                 clientHeight, 2 * density);
    } else {
        place = placeFrame(gameState.fieldWidth, gameState.fieldHeight, clientWidth, clientHeight);
    }
    placedWidth = gameState.fieldWidth;
    placedHeight = gameState.fieldHeight;
    // A minimised window has no room: keep the last place for its return.
    if (place == Rect{} || place == framePlace) return;
    framePlace = place;
    platform().display->placeFrame(handle, place);
}

void GameWindow::readClientSize(WindowHandle handle) {
    const Rect client = platform().windows->clientRectOnScreen(handle);
    width = client.right - client.left;
    height = client.bottom - client.top;
}

intptr_t GameWindow::windowProcedure(WindowHandle handle, uint32_t message, uintptr_t wParam,
                                     intptr_t lParam) {
    if (!gameWindow) return platform().windows->defaultHandling({handle, message, wParam, lParam});
    return gameWindow->handleMessage(handle, message, wParam, lParam);
}

intptr_t GameWindow::handleMessage(WindowHandle handle, uint32_t message, uintptr_t wParam,
                                   intptr_t lParam) {
    WindowSystem& ws = *platform().windows;
    auto recordButton = [&](uint8_t down, uint8_t left) {
        buttonDown = down;
        leftButton = left;
        buttonReleased = down ? 0 : 1;
        mouseX = lowWord(lParam);
        mouseY = highWord(lParam);
        windowToFrame(framePlace, placedWidth, placedHeight, mouseX, mouseY);
    };

    switch (message) {
    case wm::create: window = handle; return 0;
    case wm::destroy:
        ws.postQuitMessage(0);
        return ws.defaultHandling({handle, message, wParam, lParam});
    case wm::size:
        if (wParam == kSizeMinimized)
            host_->windowLeft(handle);
        else
            placeFrameInWindow(handle);
        readClientSize(handle);
        return 0;
    case wm::move: readClientSize(handle); return 0;
    case wm::activate:
        inactive = (wParam == 0) ? 1 : 0;
        if (inactive) host_->windowLeft(handle);
        readClientSize(handle);
        return 0;
    case wm::paint:
        ws.validate(handle);
        host_->refresh(handle);
        return 0;
    case wm::keyDown:
    case wm::command: return 0;
    case wm::character:
        if (replayHooks) replayHooks->beginPoll();
        if (pollKeys() == 0 && wParam < 256) handleTypedCharacter(static_cast<int>(wParam));
        if (replayHooks) replayHooks->typed(wParam);
        return 0;
    case wm::mouseMove:
        mouseX = lowWord(lParam);
        mouseY = highWord(lParam);
        windowToFrame(framePlace, placedWidth, placedHeight, mouseX, mouseY);
        return 0;
    case wm::leftButtonDown:
        recordButton(1, 1);
        if (replayHooks) replayHooks->mouse(message);
        return 0;
    case wm::leftButtonUp:
        recordButton(0, 1);
        if (replayHooks) replayHooks->mouse(message);
        return 0;
    case wm::rightButtonDown:
        recordButton(1, 0);
        if (replayHooks) replayHooks->mouse(message);
        return 0;
    case wm::rightButtonUp:
        recordButton(0, 0);
        if (replayHooks) replayHooks->mouse(message);
        return 0;
    case wm::mouseWheel:
        // The wheel message carries screen coordinates.
        mouseX = lowWord(lParam) - 2;
        mouseY = highWord(lParam) - 21;
        wheelDelta = (highWord(static_cast<intptr_t>(wParam)) == 120) ? 120 : -120;
        if (replayHooks) replayHooks->wheel(wParam);
        return 0;
    default: return ws.defaultHandling({handle, message, wParam, lParam});
    }
}

bool createGameWindow(InstanceHandle instance) {
    // Resource 1 is the ship icon of the Windows exe; other backends ignore it.
    constexpr uint16_t shipIcon = 1;
    auto* created = new (std::nothrow) GameWindow(instance, "Voidrunner", "Voidrunner", shipIcon,
                                                  shipIcon, kOverlappedWindowStyle, kShowMaximized);
    if (!created) return false;
    created->frameInterval = kTickMs;
    created->useGameLoop = 1;
    return true;
}

bool typingInitials() { return gameState.enteringInitials != 0; }

bool runTickIfDue() {
    Clock& clock = *platform().clock;
    const auto interval = static_cast<uint32_t>(gameWindow->frameInterval);
    const uint32_t now = clock.tickCount();
    // Signed difference: keeps working when the 32-bit counter wraps.
    const auto late = static_cast<int32_t>(now - nextTickTime);
    if (late > 0) {
        nextTickTime = now + interval;
        if (!replayHooks || !replayHooks->playTick()) {
            if (replayHooks) replayHooks->beginPoll();
            pollKeys();
            tick();
            if (replayHooks) replayHooks->tickRan();
        }
        // The playfield's size is known from the start-up tick on.
        if (gameWindow->placedWidth != gameState.fieldWidth ||
            gameWindow->placedHeight != gameState.fieldHeight)
            gameWindow->placeFrameInWindow(gameWindow->window);
        gameWindow->host().afterTick(gameWindow->window, replayHooks ? replayHooks->shownPace() : 0,
                                     replayHooks && replayHooks->shownEnded());
        return true;
    }
    // Sleep half an interval at most, and never past the moment the next tick
    // falls due (one millisecond after nextTickTime): a fixed half-interval
    // sleep would stretch every tick to about one and a half intervals. A
    // sleep that a message ends sleeps until then: one wake-up a tick.
    const uint32_t untilDue = static_cast<uint32_t>(1 - static_cast<int64_t>(late));
    clock.sleep(clock.sleepEndsOnMessage() ? untilDue : std::min(interval / 2, untilDue));
    return false;
}

int runMainLoop(InstanceHandle instance) {
    int exitCode = 1;  // no game window could be made
    if (createGameWindow(instance)) {
        // No window, no game: a failure, whatever the message box said.
        if (!gameWindow->createMainWindow()) return 1;
        WindowSystem& ws = *platform().windows;
        nextTickTime = platform().clock->tickCount();
        Message msg;
        HostControls& host = gameWindow->host();
        host.attach();
        if (gameWindow->useGameLoop) {
            for (;;) {
                if (host.paused()) {
                    // No ticks: sleep until the window system has something,
                    // or, while the top ten is on its way, look in now and then.
                    if (!host.showAnswers(gameWindow->window)) {
                        ws.getMessage(msg);
                    } else if (!ws.peekMessage(msg)) {
                        platform().clock->sleep(
                            static_cast<uint32_t>(gameWindow->frameInterval / 2));
                        continue;
                    }
                } else if (!ws.peekMessage(msg)) {
                    runTickIfDue();
                    continue;
                }
                if (msg.message == wm::quit) break;
                if (host.takes(msg, gameState.enteringInitials != 0)) {
                    if (host.takeLookChange()) {
                        gameWindow->placeFrameInWindow(gameWindow->window);
                        host.refresh(gameWindow->window);
                    }
                    continue;
                }
                ws.translateMessage(msg);
                ws.dispatchMessage(msg);
            }
        } else {
            while (ws.getMessage(msg) != 0) {
                ws.translateMessage(msg);
                ws.dispatchMessage(msg);
            }
        }
        exitCode = static_cast<int>(msg.wParam);
        if (replayHooks) replayHooks->loopEnded();
    }
    shutDown();
    return exitCode;
}

// The one list of everything that holds state from program start to exit,
// each module resetting its own; the tests' resetToProgramStart runs it too,
// so new program-wide state is added here once.
void shutDown() {
    stopSound();
    resetGame();  // the five lists first
    destroyBackBuffer();
    delete gameWindow;  // its destructor clears gameWindow
    nextTickTime = 0;
    replayHooks = nullptr;
    setStartFullscreen(false);
    setWelcomeOnFirstLaunch(false);
    setTopTenSource(nullptr);
    setReplayEnd(true);
    resetHighScores();
    resetInitials();
}

void resetToProgramStart() { shutDown(); }
