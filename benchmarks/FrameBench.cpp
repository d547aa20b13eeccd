// One frame drawn by the SDL backend's software surface, and presented to a
// real window when there is a display, next to a plain memcpy of a buffer of
// the frame's size timed in the same loop.
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "benchmarks/Allocations.h"
#include "benchmarks/Load.h"
#include "game/GameState.h"
#include "platform/DrawList.h"
#include "platform/sdl/SdlDisplay.h"
#include "platform/sdl/SdlSurface.h"
#include "platform/sdl/VectorCanvas.h"
#include "present/Renderer.h"

namespace {

using Clock = std::chrono::steady_clock;

bool haveVideo() {
    static const bool video = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    return video;
}

// present: also copy the frame to a window (skipped without a display).
// rocks: 200 for the heaviest play view, a handful for a usual one.
void frame(benchmark::State& state, int width, int height, bool gameOver, bool present, int rocks) {
    if (gameOver)
        buildGameOver(width, height);
    else
        buildWorstLoad(width, height, rocks);

    SDL_Window* window = nullptr;
    if (present) {
        if (!haveVideo()) {
            state.SkipWithError("no display to present to");
            return;
        }
        window = SDL_CreateWindow("Voidrunner bench", 0, 0, width, height, SDL_WINDOW_SHOWN);
        if (!window) {
            state.SkipWithError(SDL_GetError());
            return;
        }
    }
    SdlDisplay display;
    DrawSurface* back = display.createBackBuffer(window, width, height);
    auto* surface = dynamic_cast<SdlSurface*>(back);
    if (!surface) {
        state.SkipWithError("no software surface");
        if (window) SDL_DestroyWindow(window);
        return;
    }

    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    std::vector<char> from(bytes, 1), to(bytes, 0);

    auto draw = [&] {
        drawFrame(*surface);
        if (window)
            display.present(window, *surface, width, height);
        else
            surface->pixels();  // flushes the renderer's queued drawing
    };
    draw();  // the first frame renders and caches the texts

    double frameSeconds = 0, copySeconds = 0;
    const AllocationCount before = allocationsSoFar();
    for (auto _ : state) {
        const auto t0 = Clock::now();
        draw();
        const auto t1 = Clock::now();
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::ClobberMemory();
        const auto t2 = Clock::now();
        const double f = std::chrono::duration<double>(t1 - t0).count();
        frameSeconds += f;
        copySeconds += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(f);
        from[bytes / 2] = static_cast<char>(from[bytes / 2] + 1);
    }
    const AllocationCount after = allocationsSoFar();
    const double n = static_cast<double>(state.iterations());
    state.counters["memcpy_us"] = copySeconds / n * 1e6;
    state.counters["x_memcpy"] = frameSeconds / copySeconds;
    state.counters["allocs"] =
        static_cast<double>(after.cppNew - before.cppNew + after.sdl - before.sdl) / n;

    display.destroyBackBuffer(back);
    if (window) SDL_DestroyWindow(window);
}

// The vector look: the ranked 1280x720 field's frame noted and drawn again
// whole at 1.5 times (a 1920x1080 screen), as after a new size; a frame
// like the last one costs next to nothing, one that changed its tiles.
void vectorFrame(benchmark::State& state, int rocks, bool glow) {
    constexpr int kField = 1280, kFieldHigh = 720, kScreen = 1920, kScreenHigh = 1080;
    buildWorstLoad(kField, kFieldHigh, rocks);
    VectorCanvas canvas;
    canvas.setGlow(glow);
    DrawListSurface noted;
    int shift = 0;
    for (auto _ : state) {
        noted.list.clear();
        drawFrame(noted);
        // Another place each time: drawn whole.
        shift ^= 1;
        canvas.draw(noted.list, kField, kFieldHigh, Rect{shift, 0, shift + 1920, 1080}, kScreen,
                    kScreenHigh);
        benchmark::DoNotOptimize(canvas.pixels());
    }
}

void memcpyFrame(benchmark::State& state, int width, int height) {
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    std::vector<char> from(bytes, 1), to(bytes, 0);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

struct Size {
    int width, height;
    std::string name() const { return std::to_string(width) + "x" + std::to_string(height); }
};

const bool registered = [] {
    for (const Size s : {Size{1920, 1080}, Size{3840, 2160}}) {
        for (const bool present : {false, true}) {
            for (const char* view : {"play", "light", "gameover"}) {
                const bool over = view[0] == 'g';
                const int rocks = view[0] == 'l' ? 4 : 200;
                const std::string name = std::string("frame/") + (present ? "present" : "draw") +
                                         "/" + view + "/" + s.name();
                benchmark::RegisterBenchmark(name.c_str(), frame, s.width, s.height, over, present,
                                             rocks)
                    ->UseManualTime()
                    ->Unit(benchmark::kMicrosecond);
            }
        }
        benchmark::RegisterBenchmark(("memcpy/" + s.name()).c_str(), memcpyFrame, s.width, s.height)
            ->Unit(benchmark::kMicrosecond);
    }
    for (const bool glow : {false, true}) {
        const std::string suffix = glow ? "_glow" : "";
        benchmark::RegisterBenchmark(("frame/vector/play/1280x720_at_1920x1080" + suffix).c_str(),
                                     vectorFrame, 200, glow)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("frame/vector/light/1280x720_at_1920x1080" + suffix).c_str(),
                                     vectorFrame, 4, glow)
            ->Unit(benchmark::kMicrosecond);
    }
    return true;
}();

}  // namespace
