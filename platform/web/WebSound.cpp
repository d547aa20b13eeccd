#include <emscripten/emscripten.h>

#include "platform/web/WebPlatform.h"

EM_JS(void, vr_play, (const char* name), { Module.vr.play(UTF8ToString(name)); });
EM_JS(void, vr_stop, (), { Module.vr.stop(); });
EM_JS(void, vr_volume, (int tenths), { Module.vr.setVolume(tenths); });

void WebSound::play(const char* name) {
    if (name) vr_play(name);
}

void WebSound::stop() { vr_stop(); }

void WebSound::setVolume(int tenths) { vr_volume(tenths); }
