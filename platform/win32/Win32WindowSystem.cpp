#include "platform/win32/Win32Platform.h"

#include <map>

namespace {

HWND hwnd(WindowHandle window) { return static_cast<HWND>(window); }

Rect toRect(const RECT& r) { return Rect{r.left, r.top, r.right, r.bottom}; }

Message fromNative(const MSG& msg) {
    Message out;
    out.window = msg.hwnd;
    out.message = msg.message;
    out.wParam = msg.wParam;
    out.lParam = msg.lParam;
    return out;
}

// The procedures registered with our classes, by class atom.
std::map<ATOM, WindowProcedure>& procedures() {
    static std::map<ATOM, WindowProcedure> registered;
    return registered;
}

// The system calls this one for every class; it hands each message to the
// procedure registered with the window's class.
LRESULT CALLBACK forwardToClassProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    constexpr UINT dpiChanged = 0x02E0;  // WM_DPICHANGED
    if (message == dpiChanged && lParam) {
        // Onto a screen of another scaling: the size Windows suggests keeps
        // the window's logical size; the new size then places the frame.
        const RECT* r = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(window, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    const auto atom = static_cast<ATOM>(GetClassWord(window, GCW_ATOM));
    const auto found = procedures().find(atom);
    if (found == procedures().end() || found->second == nullptr)
        return DefWindowProcA(window, message, wParam, lParam);
    return found->second(window, message, wParam, lParam);
}

// The window's dots per inch: its monitor's (Windows 10 and later), else
// the system's; 96 is 100 %.
int windowDpi(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
    int dpi = 0;
    if (getDpiForWindow && window) dpi = static_cast<int>(getDpiForWindow(window));
    if (dpi <= 0) {
        HDC screen = GetDC(nullptr);
        if (screen) {
            dpi = GetDeviceCaps(screen, LOGPIXELSX);
            ReleaseDC(nullptr, screen);
        }
    }
    return dpi >= 96 ? dpi : 96;
}

}  // namespace

bool Win32WindowSystem::registerClass(const WindowClassDesc& desc) {
    HINSTANCE instance = static_cast<HINSTANCE>(desc.instance);
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = desc.classStyle;
    wc.lpfnWndProc = forwardToClassProcedure;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = instance;
    // The small icon is loaded at the small size, so that Windows picks the
    // 16 px picture of the .ico instead of shrinking the big one.
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(desc.iconId));
    wc.hIconSm = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(desc.smallIconId),
                                               IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(desc.backgroundBrush));
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = desc.className;
    const ATOM atom = RegisterClassExA(&wc);
    if (atom == 0) return false;
    procedures()[atom] = desc.procedure;
    return true;
}

int Win32WindowSystem::systemMetric(int index) { return GetSystemMetrics(index); }

WindowHandle Win32WindowSystem::createWindow(const WindowCreateDesc& desc) {
    // Never larger than the system lets a window grow: a huge screen still
    // gives a game (the window is maximised right after anyway).
    int width = desc.width, height = desc.height;
    const int maxWidth = GetSystemMetrics(SM_CXMAXTRACK),
              maxHeight = GetSystemMetrics(SM_CYMAXTRACK);
    if (maxWidth > 0 && width > maxWidth) width = maxWidth;
    if (maxHeight > 0 && height > maxHeight) height = maxHeight;
    return CreateWindowExA(desc.exStyle, desc.className, desc.title, desc.style, desc.x, desc.y,
                           width, height, nullptr, nullptr, static_cast<HINSTANCE>(desc.instance),
                           nullptr);
}

void Win32WindowSystem::showWindow(WindowHandle window, int showCommand) {
    ShowWindow(hwnd(window), showCommand);
}

void Win32WindowSystem::updateWindow(WindowHandle window) { UpdateWindow(hwnd(window)); }

void Win32WindowSystem::messageBox(const char* text, const char* caption) {
    MessageBoxA(nullptr, text, caption, MB_OK);
}

bool Win32WindowSystem::peekMessage(Message& out) {
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    last_ = msg;
    out = fromNative(msg);
    return true;
}

int Win32WindowSystem::getMessage(Message& out) {
    MSG msg;
    BOOL result = GetMessageA(&msg, nullptr, 0, 0);
    if (result == -1) {
        // Only a bad window handle fails here, and none is passed; end the
        // loop rather than spin on the error.
        out = Message{};
        out.message = wm::quit;
        return 0;
    }
    last_ = msg;
    out = fromNative(msg);
    return result;
}

MSG Win32WindowSystem::toNative(const Message& msg) const {
    if (msg.window == last_.hwnd && msg.message == last_.message && msg.wParam == last_.wParam &&
        msg.lParam == last_.lParam) {
        return last_;
    }
    MSG native{};
    native.hwnd = hwnd(msg.window);
    native.message = msg.message;
    native.wParam = msg.wParam;
    native.lParam = msg.lParam;
    native.time = static_cast<DWORD>(GetMessageTime());
    DWORD pos = GetMessagePos();
    native.pt.x = static_cast<short>(LOWORD(pos));
    native.pt.y = static_cast<short>(HIWORD(pos));
    return native;
}

void Win32WindowSystem::translateMessage(const Message& msg) {
    MSG native = toNative(msg);
    TranslateMessage(&native);
}

intptr_t Win32WindowSystem::dispatchMessage(const Message& msg) {
    MSG native = toNative(msg);
    return DispatchMessageA(&native);
}

intptr_t Win32WindowSystem::defaultHandling(const Message& msg) {
    return DefWindowProcA(hwnd(msg.window), msg.message, msg.wParam, msg.lParam);
}

void Win32WindowSystem::postQuitMessage(int exitCode) { PostQuitMessage(exitCode); }

void Win32WindowSystem::validate(WindowHandle window) {
    PAINTSTRUCT ps;
    BeginPaint(hwnd(window), &ps);
    EndPaint(hwnd(window), &ps);
}

Rect Win32WindowSystem::clientRectOnScreen(WindowHandle window) {
    WINDOWINFO info{};
    info.cbSize = sizeof info;
    if (!GetWindowInfo(hwnd(window), &info)) return {};
    return toRect(info.rcClient);
}

Rect Win32WindowSystem::clientRect(WindowHandle window) {
    const Rect pixels = clientRectInPixels(window);
    const int dpi = windowDpi(hwnd(window));
    return Rect{0, 0, rescale(pixels.right, dpi, 96), rescale(pixels.bottom, dpi, 96)};
}

Rect Win32WindowSystem::clientRectInPixels(WindowHandle window) {
    RECT r{};
    if (!GetClientRect(hwnd(window), &r)) return {};
    return toRect(r);
}

void Win32WindowSystem::setFullscreen(WindowHandle window, bool on) {
    HWND h = hwnd(window);
    if (!h || on == fullscreen_) return;
    if (on) {
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        windowed_.length = sizeof windowed_;
        if (!GetWindowPlacement(h, &windowed_) ||
            !GetMonitorInfoA(MonitorFromWindow(h, MONITOR_DEFAULTTONEAREST), &monitor))
            return;
        windowedStyle_ = GetWindowLongPtrA(h, GWL_STYLE);
        windowedExStyle_ = GetWindowLongPtrA(h, GWL_EXSTYLE);
        SetWindowLongPtrA(h, GWL_STYLE,
                          windowedStyle_ & ~static_cast<LONG_PTR>(WS_OVERLAPPEDWINDOW));
        SetWindowLongPtrA(h, GWL_EXSTYLE,
                          windowedExStyle_ & ~static_cast<LONG_PTR>(WS_EX_OVERLAPPEDWINDOW));
        const RECT& r = monitor.rcMonitor;
        SetWindowPos(h, HWND_TOP, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOOWNERZORDER | SWP_FRAMECHANGED);
    } else {
        SetWindowLongPtrA(h, GWL_STYLE, windowedStyle_);
        SetWindowLongPtrA(h, GWL_EXSTYLE, windowedExStyle_);
        SetWindowPlacement(h, &windowed_);
        SetWindowPos(h, nullptr, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_FRAMECHANGED);
    }
    fullscreen_ = on;
}

void Win32WindowSystem::showPointer(WindowHandle, bool shown) {
    // ShowCursor counts: change it only when the state changes.
    if (shown == !pointerHidden_) return;
    pointerHidden_ = !shown;
    ShowCursor(shown ? TRUE : FALSE);
}
