#include "platform/win32/Win32Platform.h"

namespace {

COLORREF colorRef(Rgb c) { return RGB(c.r, c.g, c.b); }

}  // namespace

Win32Surface::~Win32Surface() {
    releasePen();
    // A bitmap still selected into a DC cannot be deleted: put the DC's
    // own one back first.
    SelectObject(dc_, oldBitmap_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
}

void Win32Surface::setTransparentText() { SetBkMode(dc_, TRANSPARENT); }

void Win32Surface::fillRect(int left, int top, int right, int bottom, Rgb colour) {
    HBRUSH brush = CreateSolidBrush(colorRef(colour));
    RECT r;
    SetRect(&r, left, top, right, bottom);
    FillRect(dc_, &r, brush);
    DeleteObject(brush);
}

void Win32Surface::setTextColor(Rgb colour) { SetTextColor(dc_, colorRef(colour)); }

void Win32Surface::selectPen(Rgb colour) {
    releasePen();  // one pen at a time; a forgotten release must not leak
    pen_ = CreatePen(PS_SOLID, 1, colorRef(colour));
    oldPen_ = SelectObject(dc_, pen_);
}

void Win32Surface::releasePen() {
    if (pen_ == nullptr) return;
    SelectObject(dc_, oldPen_);
    DeleteObject(pen_);
    pen_ = nullptr;
    oldPen_ = nullptr;
}

void Win32Surface::moveTo(int x, int y) { MoveToEx(dc_, x, y, nullptr); }

void Win32Surface::lineTo(int x, int y) { LineTo(dc_, x, y); }

void Win32Surface::setPixel(int x, int y, Rgb colour) { SetPixel(dc_, x, y, colorRef(colour)); }

// Filled with the memory DC's default brush, which is solid white.
void Win32Surface::ellipse(int left, int top, int right, int bottom) {
    Ellipse(dc_, left, top, right, bottom);
}

void Win32Surface::drawText(const char* text, int left, int top, int right, int bottom,
                            TextAlign align) {
    UINT horizontal = align == TextAlign::Left ? DT_LEFT
                      : align == TextAlign::Center ? DT_CENTER
                                                   : DT_RIGHT;
    RECT r;
    SetRect(&r, left, top, right, bottom);
    DrawTextA(dc_, text, -1, &r, DT_SINGLELINE | DT_VCENTER | horizontal);
}

DrawSurface* Win32Display::createBackBuffer(WindowHandle window, int width, int height) {
    HWND hwnd = static_cast<HWND>(window);
    HDC windowDc = GetDC(hwnd);
    if (windowDc == nullptr) return nullptr;
    HDC memDc = CreateCompatibleDC(windowDc);
    HBITMAP bitmap = memDc ? CreateCompatibleBitmap(windowDc, width, height) : nullptr;
    Win32Surface* surface = nullptr;
    if (bitmap != nullptr) {
        HGDIOBJ old = SelectObject(memDc, bitmap);
        surface = new Win32Surface(memDc, bitmap, old);
    } else if (memDc != nullptr) {
        DeleteDC(memDc);
    }
    ReleaseDC(hwnd, windowDc);
    return surface;
}

void Win32Display::present(WindowHandle window, DrawSurface& surface, int width, int height) {
    HWND hwnd = static_cast<HWND>(window);
    HDC windowDc = GetDC(hwnd);
    if (windowDc == nullptr) return;
    BitBlt(windowDc, 0, 0, width, height, static_cast<Win32Surface&>(surface).dc(), 0, 0,
           SRCCOPY);
    ReleaseDC(hwnd, windowDc);
}

void Win32Display::destroyBackBuffer(DrawSurface* surface) { delete surface; }
