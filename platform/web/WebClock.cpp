#include <emscripten/emscripten.h>

#include <cmath>

#include "platform/web/WebPlatform.h"

uint32_t WebClock::tickCount() {
    // The page's monotonic clock in milliseconds, wrapping as a 32-bit
    // counter does.
    return static_cast<uint32_t>(static_cast<uint64_t>(std::floor(emscripten_get_now())));
}

// Gives the tab back to the browser until the time is up or the page posts
// the program an event: a timer wakes the game once a tick, not in halves.
EM_ASYNC_JS(void, vr_sleep, (int milliseconds),
            { await Module.vr.waitForEvent(milliseconds, false); });

void WebClock::sleep(uint32_t milliseconds) { vr_sleep(static_cast<int>(milliseconds)); }
