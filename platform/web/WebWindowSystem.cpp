#include <emscripten/emscripten.h>
#include <emscripten/html5.h>

#include <cstdio>
#include <cstring>

#include "platform/web/WebPlatform.h"

namespace {

constexpr const char* kCanvas = "#canvas";
WebWindowSystem* active = nullptr;  // the page's one window system

// The character a key types, when it types exactly one with a code below
// 256 (the game's character range); -1 for keys that type nothing.
int typedCode(const char* key) {
    const auto* p = reinterpret_cast<const unsigned char*>(key);
    if (!p[0]) return -1;
    if (p[0] < 0x80) return p[1] ? -1 : p[0];
    // Two UTF-8 bytes reach up to U+07FF: enough for the Latin-1 range.
    if ((p[0] & 0xE0) == 0xC0 && (p[1] & 0xC0) == 0x80 && !p[2]) {
        const int code = ((p[0] & 0x1F) << 6) | (p[1] & 0x3F);
        return code < 256 ? code : -1;
    }
    return -1;
}

// W, A and D as a second set of arrows during play, by their place on the
// keyboard whatever its layout: W thrusts, A and D turn. S stays a letter
// (its arrow, Down, does nothing in play).
bool letterKey(const char* code, Key& out) {
    if (!std::strcmp(code, "KeyW"))
        out = Key::Up;
    else if (!std::strcmp(code, "KeyA"))
        out = Key::Left;
    else if (!std::strcmp(code, "KeyD"))
        out = Key::Right;
    else
        return false;
    return true;
}

uint32_t arrowKey(Key key) {
    return key == Key::Left ? vk::left : key == Key::Right ? vk::right : vk::up;
}

bool heldKey(const char* key, Key& out) {
    if (!std::strcmp(key, "ArrowLeft"))
        out = Key::Left;
    else if (!std::strcmp(key, "ArrowRight"))
        out = Key::Right;
    else if (!std::strcmp(key, "ArrowUp"))
        out = Key::Up;
    else if (!std::strcmp(key, " "))
        out = Key::Space;
    else
        return false;
    return true;
}

// Keys the host reacts to before the game (pause, help, arrows that end a
// pause), as the desktop's virtual key codes; 0 for others.
uint32_t virtualKey(const char* key) {
    if (!std::strcmp(key, "Pause")) return vk::pause;
    if (!std::strcmp(key, "F1")) return vk::f1;
    if (!std::strcmp(key, "F2")) return vk::f2;
    if (!std::strcmp(key, "F3")) return vk::f3;
    if (!std::strcmp(key, "ArrowLeft")) return vk::left;
    if (!std::strcmp(key, "ArrowUp")) return vk::up;
    if (!std::strcmp(key, "ArrowRight")) return vk::right;
    if (!std::strcmp(key, "ArrowDown")) return vk::down;
    return 0;
}

int controlCode(const char* key) {
    if (!std::strcmp(key, "Backspace")) return 8;
    if (!std::strcmp(key, "Tab")) return 9;
    if (!std::strcmp(key, "Enter")) return 13;
    if (!std::strcmp(key, "Escape")) return 27;
    return -1;
}

EM_JS(int, vr_stage_left, (), { return Module.vr.stageLeft(); });
EM_JS(int, vr_stage_top, (), { return Module.vr.stageTop(); });
EM_JS(int, vr_typing_field_focused, (), { return Module.vr.typingFocused() ? 1 : 0; });

// Returning true keeps the browser from acting on the key (scrolling on
// the arrows and the space bar, moving focus on Tab).
EM_BOOL onKey(int type, const EmscriptenKeyboardEvent* e, void*) {
    if (!active) return EM_FALSE;
    Key key;
    Key letter;
    const bool isLetter = letterKey(e->code, letter);
    if (type == EMSCRIPTEN_EVENT_KEYUP && isLetter) active->keys.setLetter(letter, false);
    const bool held = heldKey(e->key, key);
    if (type == EMSCRIPTEN_EVENT_KEYUP) {
        if (held) active->keys.setKeyboard(key, false);
        return held ? EM_TRUE : EM_FALSE;
    }
    // During play the host takes the letter as its arrow, as it takes P
    // and M; initials are typed as ever.
    if (isLetter && !e->ctrlKey && !e->metaKey && !e->altKey && active->keys.lettersMove()) {
        active->keys.setLetter(letter, true);
        if (!e->repeat) active->post(wm::keyDown, arrowKey(letter));
        return EM_TRUE;
    }
    if (held) active->keys.setKeyboard(key, true);
    // Shortcuts of the browser (reload, close, zoom) stay the browser's.
    if (e->ctrlKey || e->metaKey || e->altKey) return held ? EM_TRUE : EM_FALSE;
    const uint32_t virtualCode = virtualKey(e->key);
    if (virtualCode) active->post(wm::keyDown, virtualCode);
    int code = controlCode(e->key);
    // In the touch screen's text field a character comes as the field's
    // input (page.js), whatever sent it: taking it here too would type it
    // twice on device keyboards that also send the key.
    if (code < 0 && !vr_typing_field_focused()) code = typedCode(e->key);
    // As on the desktop, a key that types a character (the space bar too,
    // and each repeat while it is held) is a character message.
    if (code >= 0) active->post(wm::character, static_cast<uintptr_t>(code));
    return (held || virtualCode || code >= 0) ? EM_TRUE : EM_FALSE;
}

EM_BOOL onMouse(int type, const EmscriptenMouseEvent* e, void*) {
    if (!active) return EM_FALSE;
    // The window's client area is the stage, which the controls may push
    // away from the page's corner.
    const intptr_t at = packPosition(static_cast<int>(e->clientX) - vr_stage_left(),
                                     static_cast<int>(e->clientY) - vr_stage_top());
    const bool left = e->button == 0, right = e->button == 2;
    switch (type) {
    case EMSCRIPTEN_EVENT_MOUSEMOVE: active->post(wm::mouseMove, 0, at); return EM_FALSE;
    case EMSCRIPTEN_EVENT_MOUSEDOWN:
        if (left) active->post(wm::leftButtonDown, 0, at);
        if (right) active->post(wm::rightButtonDown, 0, at);
        break;
    case EMSCRIPTEN_EVENT_MOUSEUP:
        if (left) active->post(wm::leftButtonUp, 0, at);
        if (right) active->post(wm::rightButtonUp, 0, at);
        break;
    default: return EM_FALSE;
    }
    return (left || right) ? EM_TRUE : EM_FALSE;
}

EM_BOOL onWheel(int, const EmscriptenWheelEvent* e, void*) {
    if (!active || e->deltaY == 0) return EM_FALSE;
    // Up, away from the user, is +120. The message carries screen
    // coordinates.
    const auto delta = static_cast<uint16_t>(e->deltaY < 0 ? 120 : -120);
    active->post(
        wm::mouseWheel, static_cast<uintptr_t>(delta) << 16,
        packPosition(static_cast<int>(e->mouse.screenX), static_cast<int>(e->mouse.screenY)));
    return EM_TRUE;
}

// Focus moving between the page's own elements (the canvas, the touch
// buttons, the text field) reaches the window's listener too: only the
// window's own focus and blur are the window's.
EM_BOOL onFocus(int type, const EmscriptenFocusEvent* e, void*) {
    if (!active || std::strcmp(e->nodeName, "#window") != 0) return EM_FALSE;
    const bool gained = type == EMSCRIPTEN_EVENT_FOCUS;
    if (!gained) active->keys.releaseAll();
    active->post(wm::activate, gained ? 1 : 0);
    return EM_FALSE;
}

// A hidden tab (another tab chosen, the window minimised) counts as a
// minimised window: the host pauses the game.
EM_BOOL onVisibility(int, const EmscriptenVisibilityChangeEvent* e, void*) {
    if (active && e->hidden) {
        active->keys.releaseAll();
        active->post(wm::size, kSizeMinimized, 0);
    }
    return EM_FALSE;
}

EM_BOOL onResize(int, const EmscriptenUiEvent* e, void*) {
    if (active) active->post(wm::size, 0, packPosition(e->windowInnerWidth, e->windowInnerHeight));
    return EM_FALSE;
}

// Suspends the program (Asyncify) until an event is posted or the time is
// up: a paused game costs the browser nothing between events.
EM_ASYNC_JS(void, vr_wait_for_event, (int milliseconds),
            { await Module.vr.waitForEvent(milliseconds, true); });
EM_JS(void, vr_event_posted, (), { Module.vr.eventPosted(); });

EM_JS(int, vr_client_width, (), { return Module.vr.clientWidth(); });
EM_JS(int, vr_client_height, (), { return Module.vr.clientHeight(); });
EM_JS(int, vr_screen_width, (), { return screen.width | 0; });
EM_JS(void, vr_set_title, (const char* title), { document.title = UTF8ToString(title); });
EM_JS(void, vr_alert, (const char* caption, const char* text),
      { Module.vr.alert(UTF8ToString(caption), UTF8ToString(text)); });

}  // namespace

// The touch controls and the touch screen's text field (page.js).
extern "C" EMSCRIPTEN_KEEPALIVE void voidrunner_touch_key(int key, int down) {
    if (active && key >= 0 && key < 4) active->keys.setTouch(static_cast<Key>(key), down != 0);
}

// The touch screen's pause (0) and help (1) buttons: the keys P and F1 do
// the same.
extern "C" EMSCRIPTEN_KEEPALIVE void voidrunner_host_key(int which) {
    if (active && (which == 0 || which == 1)) active->post(wm::keyDown, which ? vk::f1 : vk::pause);
}

// The page asks to turn the phone: the game waits meanwhile, as when the
// window loses the focus.
extern "C" EMSCRIPTEN_KEEPALIVE void voidrunner_leave() {
    if (active) active->post(wm::activate, 0);
}

extern "C" EMSCRIPTEN_KEEPALIVE void voidrunner_type(int code) {
    if (active && code >= 0 && code < 256) active->typed(static_cast<unsigned>(code));
}

void WebKeyState::releaseAll() {
    for (bool& k : keyboard) k = false;
    for (bool& k : letters) k = false;
    for (bool& k : touch) k = false;
}

WebWindowSystem::~WebWindowSystem() {
    if (active == this) active = nullptr;
}

bool WebWindowSystem::registerClass(const WindowClassDesc& desc) {
    // The page has one class, as it has one canvas.
    procedure = desc.procedure;
    return true;
}

int WebWindowSystem::systemMetric(int index) {
    return index == metric::cxScreen ? vr_screen_width() : 0;
}

WindowHandle WebWindowSystem::createWindow(const WindowCreateDesc& desc) {
    if (window) return nullptr;  // the page has one canvas
    // Any non-null value serves as the handle of the one window.
    window = this;
    active = this;
    vr_set_title(desc.title);
    const char* page = EMSCRIPTEN_EVENT_TARGET_WINDOW;
    emscripten_set_keydown_callback(page, nullptr, EM_TRUE, onKey);
    emscripten_set_keyup_callback(page, nullptr, EM_TRUE, onKey);
    emscripten_set_mousedown_callback(kCanvas, nullptr, EM_TRUE, onMouse);
    emscripten_set_mouseup_callback(kCanvas, nullptr, EM_TRUE, onMouse);
    emscripten_set_mousemove_callback(kCanvas, nullptr, EM_TRUE, onMouse);
    emscripten_set_wheel_callback(kCanvas, nullptr, EM_TRUE, onWheel);
    emscripten_set_focus_callback(page, nullptr, EM_TRUE, onFocus);
    emscripten_set_blur_callback(page, nullptr, EM_TRUE, onFocus);
    emscripten_set_resize_callback(page, nullptr, EM_TRUE, onResize);
    emscripten_set_visibilitychange_callback(nullptr, EM_TRUE, onVisibility);
    dispatchMessage({window, wm::create, 0, 0});
    dispatchMessage({window, wm::size, 0, packPosition(vr_client_width(), vr_client_height())});
    return window;
}

void WebWindowSystem::messageBox(const char* text, const char* caption) { vr_alert(caption, text); }

void WebWindowSystem::post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (!window) return;
    queue.push_back(Message{window, message, wParam, lParam});
    vr_event_posted();
}

bool WebWindowSystem::peekMessage(Message& out) {
    if (queue.empty()) return false;
    out = queue.front();
    queue.pop_front();
    return true;
}

int WebWindowSystem::getMessage(Message& out) {
    // Events come in while the page has the thread: wait until one has.
    while (!peekMessage(out)) vr_wait_for_event(1000);
    return out.message == wm::quit ? 0 : 1;
}

intptr_t WebWindowSystem::dispatchMessage(const Message& msg) {
    if (msg.message == wm::quit || !procedure) return 0;
    return procedure(msg.window, msg.message, msg.wParam, msg.lParam);
}

intptr_t WebWindowSystem::defaultHandling(const Message& msg) {
    if (msg.message == wm::close && window && msg.window == window) {
        // What the closed window still had queued is moot; the destroy
        // message queues the quit.
        queue.clear();
        dispatchMessage({window, wm::destroy, 0, 0});
        window = nullptr;
    }
    return 0;
}

void WebWindowSystem::postQuitMessage(int exitCode) {
    queue.push_back(Message{nullptr, wm::quit, static_cast<uintptr_t>(exitCode), 0});
}

Rect WebWindowSystem::clientRect(WindowHandle handle) {
    if (!handle || handle != window) return {};
    return Rect{0, 0, vr_client_width(), vr_client_height()};
}

Rect WebWindowSystem::clientRectOnScreen(WindowHandle handle) { return clientRect(handle); }
