#include <emscripten/emscripten.h>

#include <string_view>

#include "platform/web/WebPlatform.h"

namespace {

// The operations as page.js reads them: five numbers and a colour each,
// texts with three more (alignment, offset and length in the text bytes).
enum Op : int32_t { opFill = 1, opLine = 2, opPixel = 3, opEllipse = 4, opText = 5 };

int32_t packed(Rgb c) { return (c.r << 16) | (c.g << 8) | c.b; }

}  // namespace

EM_JS(void, vr_draw, (const int32_t* ops, int count, const char* texts),
      { Module.vr.draw(ops, count, texts); });

EM_JS(void, vr_resize, (int width, int height), { Module.vr.resize(width, height); });

EM_JS(void, vr_place, (int left, int top, int width, int height),
      { Module.vr.place(left, top, width, height); });

void WebSurface::put(int op, int a, int b, int c, int d, Rgb colour) {
    ops.insert(ops.end(), {op, a, b, c, d, packed(colour)});
}

void WebSurface::fillRect(int left, int top, int right, int bottom, Rgb colour) {
    put(opFill, left, top, right, bottom, colour);
}

void WebSurface::selectPen(Rgb colour) {
    pens.push_back(pen);
    pen = colour;
}

void WebSurface::releasePen() {
    if (pens.empty()) return;
    pen = pens.back();
    pens.pop_back();
}

void WebSurface::moveTo(int x, int y) {
    curX = x;
    curY = y;
}

void WebSurface::lineTo(int x, int y) {
    put(opLine, curX, curY, x, y, pen);
    curX = x;
    curY = y;
}

void WebSurface::setPixel(int x, int y, Rgb colour) { put(opPixel, x, y, 0, 0, colour); }

void WebSurface::ellipse(int left, int top, int right, int bottom) {
    put(opEllipse, left, top, right, bottom, pen);
}

void WebSurface::drawText(const char* text, int left, int top, int right, int bottom,
                          TextAlign align) {
    if (!text || !*text) return;
    put(opText, left, top, right, bottom, textColour);
    const std::string_view bytes(text);
    ops.insert(ops.end(), {static_cast<int32_t>(align), static_cast<int32_t>(texts.size()),
                           static_cast<int32_t>(bytes.size())});
    texts.append(bytes);
}

void WebSurface::flush() {
    vr_draw(ops.data(), static_cast<int>(ops.size()), texts.data());
    ops.clear();
    texts.clear();
}

DrawSurface* WebDisplay::createBackBuffer(WindowHandle window, int width, int height) {
    // The page has one canvas and so one back buffer, of the playfield's size.
    if (!window || live) return nullptr;
    vr_resize(width, height);
    live = new WebSurface;
    return live;
}

void WebDisplay::present(WindowHandle, DrawSurface& surface, int, int) {
    if (&surface != live) return;
    live->flush();
}

void WebDisplay::destroyBackBuffer(DrawSurface* surface) {
    if (!surface || surface != live) return;
    delete live;
    live = nullptr;
}

void WebDisplay::placeFrame(WindowHandle, const Rect& place) {
    // The canvas keeps the playfield's pixels; the page scales it.
    vr_place(place.left, place.top, place.right - place.left, place.bottom - place.top);
}
