#include <emscripten/emscripten.h>

#include <cmath>

#include "platform/web/WebPlatform.h"

uint32_t WebClock::tickCount() {
    // The page's monotonic clock in milliseconds, wrapping as a 32-bit
    // counter does.
    return static_cast<uint32_t>(static_cast<uint64_t>(std::floor(emscripten_get_now())));
}

void WebClock::sleep(uint32_t milliseconds) { emscripten_sleep(milliseconds); }
