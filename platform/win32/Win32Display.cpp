#include "platform/win32/Win32Platform.h"

namespace {

COLORREF colorRef(Rgb c) { return RGB(c.r, c.g, c.b); }

}  // namespace

Win32Surface::~Win32Surface() {
    releasePen();
    if (font_) {
        SelectObject(dc_, oldFont_);
        DeleteObject(font_);
    }
    // A bitmap still selected into a DC cannot be deleted: put the DC's
    // own one back first.
    SelectObject(dc_, oldBitmap_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
}

void Win32Surface::useUnscaledFont(int systemDpi) {
    LOGFONTA shape{};
    if (systemDpi <= 96 || font_ ||
        !GetObjectA(GetCurrentObject(dc_, OBJ_FONT), sizeof shape, &shape))
        return;
    shape.lfHeight = MulDiv(shape.lfHeight, 96, systemDpi);
    shape.lfWidth = MulDiv(shape.lfWidth, 96, systemDpi);
    font_ = CreateFontIndirectA(&shape);
    if (font_) oldFont_ = SelectObject(dc_, font_);
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
    UINT horizontal = align == TextAlign::Left     ? DT_LEFT
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
        surface->useUnscaledFont(GetDeviceCaps(windowDc, LOGPIXELSY));
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
    HDC frame = static_cast<Win32Surface&>(surface).dc();
    const int placedWidth = place_.right - place_.left;
    const int placedHeight = place_.bottom - place_.top;
    if (!placed_) {
        BitBlt(windowDc, 0, 0, width, height, frame, 0, 0, SRCCOPY);
    } else if (placedWidth == width && placedHeight == height) {
        BitBlt(windowDc, place_.left, place_.top, width, height, frame, 0, 0, SRCCOPY);
    } else {
        // Shrinking averages, so one-pixel lines fade instead of vanishing;
        // whole-step enlarging repeats pixels.
        if (placedWidth < width) {
            SetStretchBltMode(windowDc, HALFTONE);
            SetBrushOrgEx(windowDc, 0, 0, nullptr);
        } else {
            SetStretchBltMode(windowDc, COLORONCOLOR);
        }
        StretchBlt(windowDc, place_.left, place_.top, placedWidth, placedHeight, frame, 0, 0, width,
                   height, SRCCOPY);
    }
    if (placed_) {
        // Black around the frame.
        RECT client{};
        GetClientRect(hwnd, &client);
        HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        const RECT sides[] = {
            {0, 0, client.right, place_.top},
            {0, place_.bottom, client.right, client.bottom},
            {0, place_.top, place_.left, place_.bottom},
            {place_.right, place_.top, client.right, place_.bottom},
        };
        for (const RECT& side : sides)
            if (side.right > side.left && side.bottom > side.top) FillRect(windowDc, &side, black);
    }
    ReleaseDC(hwnd, windowDc);
}

void Win32Display::placeFrame(WindowHandle, const Rect& place) {
    placed_ = true;
    place_ = place;
}

void Win32Display::destroyBackBuffer(DrawSurface* surface) { delete surface; }
