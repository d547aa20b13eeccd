// The heaviest frame of play, and the game-over view, drawn and shown on the
// page's canvas, timed inside the page: the drawing, the hand-over to the
// canvas and its rasterisation (the canvas is read back one pixel to wait
// for it). The figures go to the page as window.voidrunnerBench.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "benchmarks/Load.h"
#include "platform/web/WebPlatform.h"
#include "present/Renderer.h"

namespace {

EM_JS(void, vr_finish, (), { Module.vr.finish(); });
EM_JS(void, vr_report, (const char* json), { Module.vr.report(UTF8ToString(json)); });

struct Figures {
    double first = 0, median = 0, worst = 0;  // worst after the first ten
};

Figures timeFrames(WebDisplay& display, DrawSurface& surface, int width, int height, int runs) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const double start = emscripten_get_now();
        drawFrame(surface);
        display.present(&display, surface, width, height);
        vr_finish();
        ms.push_back(emscripten_get_now() - start);
    }
    // The first frames also pay for compiling the drawing code and loading
    // the font: reported apart.
    const double first = ms.front();
    ms.erase(ms.begin(), ms.begin() + 10);
    std::sort(ms.begin(), ms.end());
    return {first, ms[ms.size() / 2], ms.back()};
}

}  // namespace

int main() {
    constexpr int kWidth = 1920, kHeight = 1080, kRocks = 200, kRuns = 200;
    WebDisplay display;
    DrawSurface* surface = display.createBackBuffer(&display, kWidth, kHeight);
    if (!surface) return 1;

    buildWorstLoad(kWidth, kHeight, kRocks);
    const Figures play = timeFrames(display, *surface, kWidth, kHeight, kRuns);
    buildGameOver(kWidth, kHeight);
    const Figures over = timeFrames(display, *surface, kWidth, kHeight, kRuns);

    char json[320];
    std::snprintf(json, sizeof json,
                  "{\"width\":%d,\"height\":%d,\"rocks\":%d,\"runs\":%d,"
                  "\"playFirstMs\":%.3f,\"playMedianMs\":%.3f,\"playWorstMs\":%.3f,"
                  "\"gameOverMedianMs\":%.3f,\"gameOverWorstMs\":%.3f}",
                  kWidth, kHeight, kRocks, kRuns, play.first, play.median, play.worst, over.median,
                  over.worst);
    vr_report(json);
    return 0;
}
