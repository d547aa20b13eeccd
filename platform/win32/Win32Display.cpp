#include "platform/win32/Win32Platform.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

COLORREF colorRef(Rgb c) { return RGB(c.r, c.g, c.b); }

int px(double v) { return static_cast<int>(std::lround(v)); }

// The field's edge, dimmer than anything the game draws.
constexpr Rgb kBorder{90, 90, 90};

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

Win32Display::~Win32Display() { freeCanvas(); }

void Win32Display::freeCanvas() {
    if (canvas_) {
        SelectObject(canvas_, canvasOld_);
        DeleteDC(canvas_);
    }
    if (canvasBitmap_) DeleteObject(canvasBitmap_);
    if (font_) DeleteObject(font_);
    canvas_ = nullptr;
    canvasBitmap_ = nullptr;
    font_ = nullptr;
    fontHeight_ = 0;
    canvasWidth_ = canvasHeight_ = 0;
}

bool Win32Display::canvasFor(HDC windowDc, int width, int height) {
    if (canvas_ && width == canvasWidth_ && height == canvasHeight_) return true;
    freeCanvas();
    canvas_ = CreateCompatibleDC(windowDc);
    canvasBitmap_ = canvas_ ? CreateCompatibleBitmap(windowDc, width, height) : nullptr;
    if (!canvasBitmap_) {
        freeCanvas();
        return false;
    }
    canvasOld_ = SelectObject(canvas_, canvasBitmap_);
    SetBkMode(canvas_, TRANSPARENT);
    canvasWidth_ = width;
    canvasHeight_ = height;
    return true;
}

void Win32Display::presentVectors(WindowHandle window, const DrawList& frame, int width,
                                  int height) {
    HWND hwnd = static_cast<HWND>(window);
    RECT client{};
    if (!GetClientRect(hwnd, &client) || client.right <= 0 || client.bottom <= 0) return;
    HDC windowDc = GetDC(hwnd);
    if (windowDc == nullptr) return;
    if (canvasFor(windowDc, client.right, client.bottom)) {
        const Rect place = placed_ ? place_ : Rect{0, 0, width, height};
        const FieldView view(place, width, height);
        RECT all{0, 0, client.right, client.bottom};
        FillRect(canvas_, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        if (place.left > 0 || place.top > 0 || place.right < client.right ||
            place.bottom < client.bottom) {
            // A thin line a little outside the field.
            const int line = std::max(1, static_cast<int>(view.lineWidth * 0.75));
            const int out = line + line / 2;
            HPEN pen = CreatePen(PS_SOLID, line, colorRef(kBorder));
            HGDIOBJ oldPen = SelectObject(canvas_, pen);
            HGDIOBJ oldBrush = SelectObject(canvas_, GetStockObject(NULL_BRUSH));
            Rectangle(canvas_, place.left - out, place.top - out, place.right + out,
                      place.bottom + out);
            SelectObject(canvas_, oldBrush);
            SelectObject(canvas_, oldPen);
            DeleteObject(pen);
        }
        // Nothing of the frame outside the field, as in the exact frame.
        const int saved = SaveDC(canvas_);
        IntersectClipRect(canvas_, place.left, place.top, place.right, place.bottom);
        drawVectors(frame, view);
        RestoreDC(canvas_, saved);
        BitBlt(windowDc, 0, 0, client.right, client.bottom, canvas_, 0, 0, SRCCOPY);
    }
    ReleaseDC(hwnd, windowDc);
}

void Win32Display::drawVectors(const DrawList& frame, const FieldView& view) {
    // Pens as wide as a field pixel, round at their ends and joins.
    const int width = std::max(1, px(view.lineWidth));
    const int textHeight = std::max(1, px(13 * view.lineWidth));
    if (!font_ || fontHeight_ != textHeight) {
        if (font_) DeleteObject(font_);
        font_ = CreateFontA(-textHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                            OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                            VARIABLE_PITCH | FF_SWISS, "Tahoma");
        fontHeight_ = textHeight;
    }
    HGDIOBJ oldFont = font_ ? SelectObject(canvas_, font_) : nullptr;
    HGDIOBJ oldBrush = SelectObject(canvas_, GetStockObject(WHITE_BRUSH));
    HPEN pen = nullptr;
    HGDIOBJ oldPen = nullptr;
    int32_t penColour = -1;
    const auto usePen = [&](Rgb colour) {
        if (packColour(colour) == penColour) return;
        LOGBRUSH brush{BS_SOLID, colorRef(colour), 0};
        HPEN made = ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_ROUND | PS_JOIN_ROUND,
                                 static_cast<DWORD>(width), &brush, 0, nullptr);
        if (!made) return;
        HGDIOBJ before = SelectObject(canvas_, made);
        if (pen) {
            DeleteObject(pen);
        } else {
            oldPen = before;
        }
        pen = made;
        penColour = packColour(colour);
    };
    // Field coordinates to the window's: a pixel's centre for lines.
    const auto cx = [&](int x) { return px(view.x(x + 0.5) - 0.5); };
    const auto cy = [&](int y) { return px(view.y(y + 0.5) - 0.5); };
    forEachDrawItem(frame, [&](const DrawItem& item) {
        switch (item.op) {
        case DrawList::line:
            usePen(item.colour);
            MoveToEx(canvas_, cx(item.a), cy(item.b), nullptr);
            LineTo(canvas_, cx(item.c), cy(item.d));  // a wide pen's round ends: both points
            break;
        case DrawList::fill:
        case DrawList::pixel: {
            const int right = item.op == DrawList::fill ? item.c : item.a + 1;
            const int bottom = item.op == DrawList::fill ? item.d : item.b + 1;
            RECT r{px(view.x(item.a)), px(view.y(item.b)), px(view.x(right)), px(view.y(bottom))};
            HBRUSH brush = CreateSolidBrush(colorRef(item.colour));
            FillRect(canvas_, &r, brush);
            DeleteObject(brush);
            break;
        }
        case DrawList::ellipse:
            usePen(item.colour);
            Ellipse(canvas_, px(view.x(item.a)), px(view.y(item.b)), px(view.x(item.c)),
                    px(view.y(item.d)));
            break;
        case DrawList::text: {
            const std::string text(item.text);
            RECT r{px(view.x(item.a)), px(view.y(item.b)), px(view.x(item.c)), px(view.y(item.d))};
            const UINT horizontal = item.align == TextAlign::Left     ? DT_LEFT
                                    : item.align == TextAlign::Center ? DT_CENTER
                                                                      : DT_RIGHT;
            SetTextColor(canvas_, colorRef(item.colour));
            DrawTextA(canvas_, text.c_str(), -1, &r, DT_SINGLELINE | DT_VCENTER | horizontal);
            break;
        }
        }
    });
    if (pen) {
        SelectObject(canvas_, oldPen);
        DeleteObject(pen);
    }
    SelectObject(canvas_, oldBrush);
    if (oldFont) SelectObject(canvas_, oldFont);
}
