#include "platform/sdl/PresentLog.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

FILE* presentLog() {
    static FILE* log = [] {
        const char* path = std::getenv("VOIDRUNNER_PRESENT_LOG");
        FILE* f = path && *path ? std::fopen(path, "w") : nullptr;
        if (f) std::setvbuf(f, nullptr, _IOLBF, 0);
        return f;
    }();
    return log;
}

}  // namespace

void logPresentedFrame(const char* what) {
    FILE* log = presentLog();
    if (!log) return;
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto us =
        static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(now).count());
    if (what)
        std::fprintf(log, "%lld %s\n", us, what);
    else
        std::fprintf(log, "%lld\n", us);
}
