#include <emscripten/emscripten.h>

#include "platform/web/WebPlatform.h"

EM_JS(void, vr_draw, (const int32_t* ops, int count, const char* texts),
      { Module.vr.draw(ops, count, texts); });

EM_JS(void, vr_draw_vectors, (const int32_t* ops, int count, const char* texts),
      { Module.vr.drawVectors(ops, count, texts); });

EM_JS(void, vr_resize, (int width, int height), { Module.vr.resize(width, height); });

EM_JS(void, vr_glow, (int on), { Module.vr.glow = !!on; });

EM_JS(void, vr_place, (int left, int top, int width, int height),
      { Module.vr.place(left, top, width, height); });

DrawSurface* WebDisplay::createBackBuffer(WindowHandle window, int width, int height) {
    // The page has one canvas and so one back buffer, of the playfield's size.
    if (!window || live) return nullptr;
    vr_resize(width, height);
    live = new DrawListSurface;
    return live;
}

void WebDisplay::present(WindowHandle, DrawSurface& surface, int, int) {
    if (&surface != live) return;
    vr_draw(live->list.words.data(), static_cast<int>(live->list.words.size()),
            live->list.texts.data());
    live->list.clear();
}

void WebDisplay::presentVectors(WindowHandle, const DrawList& frame, int, int) {
    vr_draw_vectors(frame.words.data(), static_cast<int>(frame.words.size()), frame.texts.data());
}

void WebDisplay::setGlow(bool on) { vr_glow(on ? 1 : 0); }

void WebDisplay::destroyBackBuffer(DrawSurface* surface) {
    if (!surface || surface != live) return;
    delete live;
    live = nullptr;
}

void WebDisplay::placeFrame(WindowHandle, const Rect& place) {
    // The page scales the canvas (the field's pixels) or draws at the
    // screen's own pixels into the place.
    vr_place(place.left, place.top, place.right - place.left, place.bottom - place.top);
}
