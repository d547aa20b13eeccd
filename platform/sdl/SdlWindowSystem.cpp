#include "platform/sdl/SdlWindowSystem.h"

#include <SDL.h>
#include <cairo.h>

#include <algorithm>
#include <cstdio>

#include "platform/sdl/SdlDisplay.h"
#include "platform/sdl/X11WindowState.h"

namespace {

SDL_Window* sdlWindow(WindowHandle window) { return static_cast<SDL_Window*>(window); }

SDL_Rect usableArea() {
    SDL_Rect area{0, 0, 800, 600};
    if (SDL_GetDisplayUsableBounds(0, &area) != 0) SDL_GetDisplayBounds(0, &area);
    return area;
}

// Decodes UTF-8 text into the game's character codes: ASCII as is, the
// Latin-1 range as codes 128-255; anything else has no code and is dropped.
template <typename Emit>
void latin1Codes(const char* text, Emit emit) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p) {
        unsigned code = *p;
        int extra = 0;
        if (code < 0x80) {
            extra = 0;
        } else if ((code & 0xE0) == 0xC0) {
            code &= 0x1F;
            extra = 1;
        } else if ((code & 0xF0) == 0xE0) {
            code &= 0x0F;
            extra = 2;
        } else if ((code & 0xF8) == 0xF0) {
            code &= 0x07;
            extra = 3;
        } else {
            ++p;  // a stray continuation byte
            continue;
        }
        ++p;
        bool whole = true;
        for (int i = 0; i < extra; ++i, ++p) {
            if ((*p & 0xC0) != 0x80) {
                whole = false;
                break;
            }
            code = (code << 6) | (*p & 0x3F);
        }
        if (whole && code < 256) emit(code);
    }
}

}  // namespace

SdlWindowSystem::~SdlWindowSystem() {
    if (window) {
        display.windowDestroyed(window);
        SDL_DestroyWindow(window);
    }
}

bool SdlWindowSystem::registerClass(const WindowClassDesc& desc) {
    classes[desc.className ? desc.className : ""] = desc.procedure;
    return true;
}

int SdlWindowSystem::systemMetric(int index) {
    switch (index) {
    case metric::cxScreen: return usableArea().w;
    case metric::cxFixedFrame: return 3;
    case metric::cyMenu: return 20;
    default: return 0;
    }
}

WindowHandle SdlWindowSystem::createWindow(const WindowCreateDesc& desc) {
    if (window) return nullptr;  // the game has one window
    const auto cls = classes.find(desc.className ? desc.className : "");
    if (cls == classes.end()) return nullptr;
    // The size asked for is a placeholder the maximised window replaces; a
    // desktop without a window manager does not maximise, so start at the
    // full usable area.
    SDL_Rect area = usableArea();
    // SDL makes no window larger than this: a bigger screen still gets one.
    constexpr int largestWindow = 16384;
    area.w = std::min(area.w, largestWindow);
    area.h = std::min(area.h, largestWindow);
    window = SDL_CreateWindow(desc.title, area.x, area.y, area.w, area.h,
                              SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    if (!window) return nullptr;
    procedure = cls->second;
    setIcon();
    SDL_StartTextInput();
    deliver(wm::create);
    int w = 0, h = 0;
    SDL_GetWindowSize(window, &w, &h);
    deliver(wm::size, 0, packPosition(w, h));
    return window;
}

void SdlWindowSystem::setIcon() {
    if (icon.lines.empty()) return;
    SDL_Surface* pixels =
        SDL_CreateRGBSurfaceWithFormat(0, kIconSize, kIconSize, 32, SDL_PIXELFORMAT_ARGB8888);
    if (!pixels) return;
    // cairo's ARGB32 is premultiplied, SDL's straight: the same bytes where
    // alpha is 0 or 255, and the rounded corners' edges are near enough.
    cairo_surface_t* target = cairo_image_surface_create_for_data(
        static_cast<unsigned char*>(pixels->pixels), CAIRO_FORMAT_ARGB32, kIconSize, kIconSize,
        pixels->pitch);
    cairo_t* cr = cairo_create(target);
    const double k = kIconSize / LineIcon::kSide, r = LineIcon::kCorner * k;
    constexpr double quarter = 1.57079632679489662;
    cairo_new_sub_path(cr);
    cairo_arc(cr, kIconSize - r, r, r, -quarter, 0);
    cairo_arc(cr, kIconSize - r, kIconSize - r, r, 0, quarter);
    cairo_arc(cr, r, kIconSize - r, r, quarter, 2 * quarter);
    cairo_arc(cr, r, r, r, 2 * quarter, 3 * quarter);
    cairo_close_path(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_fill(cr);
    cairo_set_line_width(cr, LineIcon::kStroke * k);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    for (const IconLine& line : icon.lines) {
        for (std::size_t i = 0; i + 1 < line.xy.size(); i += 2)
            cairo_line_to(cr, line.xy[i] * k, line.xy[i + 1] * k);
        if (line.closed) cairo_close_path(cr);
        cairo_set_source_rgb(cr, line.colour.r / 255.0, line.colour.g / 255.0,
                             line.colour.b / 255.0);
        cairo_stroke(cr);
    }
    cairo_destroy(cr);
    cairo_surface_flush(target);
    cairo_surface_destroy(target);
    SDL_SetWindowIcon(window, pixels);
    SDL_FreeSurface(pixels);
}

void SdlWindowSystem::showWindow(WindowHandle handle, int showCommand) {
    if (!handle || sdlWindow(handle) != window) return;
    if (showCommand == kShowMaximized) {
        SDL_MaximizeWindow(window);
        maximising = true;
    }
    SDL_ShowWindow(window);
    if (showCommand == kShowMaximized) SDL_MaximizeWindow(window);
    SDL_RaiseWindow(window);
}

void SdlWindowSystem::updateWindow(WindowHandle handle) {
    // Black until the first frame arrives.
    if (handle && sdlWindow(handle) == window) display.repaint(window);
}

void SdlWindowSystem::messageBox(const char* text, const char* caption) {
    if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, nullptr) != 0)
        std::fprintf(stderr, "voidrunner: %s: %s\n", caption, text);
}

void SdlWindowSystem::post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    queue.push_back(Message{window, message, wParam, lParam});
}

intptr_t SdlWindowSystem::deliver(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return dispatchMessage(Message{window, message, wParam, lParam});
}

bool SdlWindowSystem::takeQueued(Message& out) {
    if (queue.empty()) return false;
    out = queue.front();
    queue.pop_front();
    return true;
}

void SdlWindowSystem::translate(const SDL_Event& event) {
    if (!window) {
        return;  // after the window is gone only the quit message matters
    }
    const auto position = [](int x, int y) { return packPosition(x, y); };
    // Mouse positions come in the window's logical pixels, and go on in the
    // device's, the frame's place being in those.
    const auto pointer = [this](int x, int y) {
        const Rect logical = clientRect(window), pixels = clientRectInPixels(window);
        return packPosition(rescale(x, logical.right, pixels.right),
                            rescale(y, logical.bottom, pixels.bottom));
    };
    switch (event.type) {
    case SDL_TEXTINPUT:
        latin1Codes(event.text.text, [&](unsigned code) { post(wm::character, code); });
        break;
    case SDL_KEYDOWN: {
        const bool alt = (event.key.keysym.mod & KMOD_ALT) != 0;
        const bool fresh = event.key.repeat == 0;
        // Keys that type a control character; repeats type it again. With
        // Alt held, Enter is a key of the host's (as Alt+Enter is on Windows).
        switch (event.key.keysym.sym) {
        case SDLK_BACKSPACE: post(wm::character, 8); break;
        case SDLK_TAB: post(wm::character, 9); break;
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
            if (!alt)
                post(wm::character, 13);
            else if (fresh)
                post(wm::sysKeyDown, vk::returnKey);
            break;
        case SDLK_ESCAPE: post(wm::character, 27); break;
        // Keys that type nothing, for the host.
        case SDLK_F1:
            if (fresh) post(wm::keyDown, vk::f1);
            break;
        case SDLK_F2:
            if (fresh) post(wm::keyDown, vk::f2);
            break;
        case SDLK_F3:
            if (fresh) post(wm::keyDown, vk::f3);
            break;
        case SDLK_F11:
            if (fresh) post(wm::keyDown, vk::f11);
            break;
        case SDLK_PAUSE:
            if (fresh) post(wm::keyDown, vk::pause);
            break;
        case SDLK_LEFT: post(wm::keyDown, vk::left); break;
        case SDLK_UP: post(wm::keyDown, vk::up); break;
        case SDLK_RIGHT: post(wm::keyDown, vk::right); break;
        case SDLK_DOWN: post(wm::keyDown, vk::down); break;
        default: break;
        }
        break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        const bool down = event.type == SDL_MOUSEBUTTONDOWN;
        if (event.button.button == SDL_BUTTON_LEFT)
            post(down ? wm::leftButtonDown : wm::leftButtonUp, 0,
                 pointer(event.button.x, event.button.y));
        else if (event.button.button == SDL_BUTTON_RIGHT)
            post(down ? wm::rightButtonDown : wm::rightButtonUp, 0,
                 pointer(event.button.x, event.button.y));
        break;
    }
    case SDL_MOUSEMOTION: post(wm::mouseMove, 0, pointer(event.motion.x, event.motion.y)); break;
    case SDL_MOUSEWHEEL: {
        int notches = event.wheel.y;
        if (event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) notches = -notches;
        if (notches == 0) break;
        // The wheel message carries screen coordinates.
        int x = 0, y = 0;
        SDL_GetGlobalMouseState(&x, &y);
        const auto delta = static_cast<uint16_t>(notches * 120);
        post(wm::mouseWheel, static_cast<uintptr_t>(delta) << 16, position(x, y));
        break;
    }
    case SDL_WINDOWEVENT:
        switch (event.window.event) {
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            keepOnScreen();
            post(wm::size, 0, position(event.window.data1, event.window.data2));
            break;
        case SDL_WINDOWEVENT_DISPLAY_CHANGED: {
            // Onto a screen of another density: as many pixels more or fewer.
            const Rect logical = clientRect(window);
            post(wm::size, 0, position(logical.right, logical.bottom));
            break;
        }
        case SDL_WINDOWEVENT_MINIMIZED: post(wm::size, kSizeMinimized); break;
        case SDL_WINDOWEVENT_MAXIMIZED: maximising = false; break;
        case SDL_WINDOWEVENT_RESTORED: keepOnScreen(); break;
        case SDL_WINDOWEVENT_MOVED:
            post(wm::move, 0, position(event.window.data1, event.window.data2));
            break;
        case SDL_WINDOWEVENT_FOCUS_GAINED: post(wm::activate, 1); break;
        case SDL_WINDOWEVENT_FOCUS_LOST: post(wm::activate, 0); break;
        case SDL_WINDOWEVENT_CLOSE: post(wm::close); break;
        case SDL_WINDOWEVENT_EXPOSED: display.repaint(window); break;
        default: break;
        }
        break;
    case SDL_QUIT:
        // Also what SDL makes of SIGINT and SIGTERM: close the window.
        post(wm::close);
        break;
    default: break;
    }
}

bool SdlWindowSystem::peekMessage(Message& out) {
    if (takeQueued(out)) return true;
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        translate(event);
        if (takeQueued(out)) return true;
    }
    return false;
}

int SdlWindowSystem::getMessage(Message& out) {
    // Not SDL's own wait on X11: it wakes itself by sending the window an
    // event over a second connection, and a window closed meanwhile can be
    // destroyed on the first before the server takes that event. The server
    // then refuses it with BadWindow, which comes back when SDL_Quit closes
    // that connection, with Xlib's default handler in place again: the game
    // would end with status 1 instead of 0. SDL only polls here, and the
    // wait is on the X connection (a while at most, for what SDL finds by
    // polling alone: controllers, signals).
    constexpr int kPollMs = 100;
    while (!takeQueued(out)) {
        SDL_Event event;
        if (SDL_PollEvent(&event)) {
            translate(event);
            continue;
        }
        if (x11AwaitEvents(window, kPollMs)) continue;
        if (!SDL_WaitEvent(&event)) {
            out = Message{nullptr, wm::quit, 0, 0};
            return 0;
        }
        translate(event);
    }
    return out.message == wm::quit ? 0 : 1;
}

intptr_t SdlWindowSystem::dispatchMessage(const Message& msg) {
    if (!procedure || msg.message == wm::quit) return 0;
    return procedure(msg.window, msg.message, msg.wParam, msg.lParam);
}

intptr_t SdlWindowSystem::defaultHandling(const Message& msg) {
    if (msg.message == wm::close && window && sdlWindow(msg.window) == window) {
        deliver(wm::destroy);
        display.windowDestroyed(window);
        SDL_DestroyWindow(window);
        window = nullptr;
        // Whatever the closed window had still queued is moot now.
        std::deque<Message> kept;
        for (const Message& m : queue)
            if (m.message == wm::quit) kept.push_back(m);
        queue.swap(kept);
    }
    return 0;
}

void SdlWindowSystem::postQuitMessage(int exitCode) {
    queue.push_back(Message{nullptr, wm::quit, static_cast<uintptr_t>(exitCode), 0});
}

Rect SdlWindowSystem::clientRect(WindowHandle handle) {
    Rect rect;
    if (!handle || sdlWindow(handle) != window) return rect;
    SDL_GetWindowSize(window, &rect.right, &rect.bottom);
    return rect;
}

Rect SdlWindowSystem::clientRectInPixels(WindowHandle handle) {
    Rect rect;
    if (!handle || sdlWindow(handle) != window) return rect;
    SDL_GetWindowSizeInPixels(window, &rect.right, &rect.bottom);
    return rect;
}

Rect SdlWindowSystem::clientRectOnScreen(WindowHandle handle) {
    Rect rect;
    if (!handle || sdlWindow(handle) != window) return rect;
    int x = 0, y = 0, w = 0, h = 0;
    SDL_GetWindowPosition(window, &x, &y);
    SDL_GetWindowSize(window, &w, &h);
    return Rect{x, y, x + w, y + h};
}

void SdlWindowSystem::setFullscreen(WindowHandle handle, bool on) {
    if (!handle || sdlWindow(handle) != window || on == isFullscreen(handle)) return;
    // A window manager forgets the maximised state under fullscreen, and SDL
    // brings the window back at the size it was made with: maximise again on
    // the way back, or the frame would be shown shrunk.
    if (on) maximisedBeforeFullscreen = maximised();
    SDL_SetWindowFullscreen(window, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    if (!on && maximisedBeforeFullscreen) {
        maximising = true;
        SDL_MaximizeWindow(window);
    }
}

bool SdlWindowSystem::maximised() {
    const int told = x11Maximised(window);
    const bool flagged = (SDL_GetWindowFlags(window) & SDL_WINDOW_MAXIMIZED) != 0;
    const bool now = told >= 0 ? told == 1 : flagged;
    if (now) maximising = false;
    return now || maximising;
}

bool SdlWindowSystem::isFullscreen(WindowHandle handle) {
    if (!handle || sdlWindow(handle) != window) return false;
    return (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN) != 0;
}

void SdlWindowSystem::showPointer(WindowHandle, bool shown) {
    SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE);
}

void SdlWindowSystem::keepOnScreen() {
    // The window was made as large as the usable area, to be maximised; left
    // at that size with a frame around it, it would be taller than the screen.
    const Uint32 flags = SDL_GetWindowFlags(window);
    if (flags & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_FULLSCREEN) || maximised()) return;
    int top = 0, left = 0, bottom = 0, right = 0;
    if (SDL_GetWindowBordersSize(window, &top, &left, &bottom, &right) != 0) return;  // no frame
    const SDL_Rect area = usableArea();
    int w = 0, h = 0;
    SDL_GetWindowSize(window, &w, &h);
    const int roomW = area.w - left - right;
    const int roomH = area.h - top - bottom;
    if (w <= roomW && h <= roomH) return;
    SDL_SetWindowSize(window, std::min(w, roomW), std::min(h, roomH));
    SDL_SetWindowPosition(window, area.x + left, area.y + top);
}
