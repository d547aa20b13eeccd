#include "platform/SystemClock.h"

#include <chrono>
#include <ctime>
#include <thread>

uint32_t SystemClock::tickCount() {
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    // Cut to 32 bits on purpose: the counter wraps, as the loop expects.
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

void SystemClock::sleep(uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

unsigned SystemClock::randomSeed() { return static_cast<unsigned>(std::time(nullptr)); }
