// Frames of a headless run as PNG pictures, drawn by the same code that
// draws into the game's window.
#include "platform/sdl/PngFrameWriter.h"

#include <SDL.h>
#include <SDL_image.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/sdl/SdlSurface.h"

namespace {

// Hands every operation to both surfaces: the picture and, when there is
// one, the surface of the display the run would have used anyway.
class TeeSurface final : public DrawSurface {
public:
    TeeSurface(SdlSurface* picturedOn, DrawSurface* alsoOn) : picture(picturedOn), other(alsoOn) {}
    ~TeeSurface() override { delete picture; }

    template <typename F>
    void both(F f) {
        f(*picture);
        if (other) f(*other);
    }
    void setTransparentText() override {
        both([](DrawSurface& s) { s.setTransparentText(); });
    }
    void fillRect(int l, int t, int r, int b, Rgb c) override {
        both([&](DrawSurface& s) { s.fillRect(l, t, r, b, c); });
    }
    void setTextColor(Rgb c) override {
        both([&](DrawSurface& s) { s.setTextColor(c); });
    }
    void selectPen(Rgb c) override {
        both([&](DrawSurface& s) { s.selectPen(c); });
    }
    void releasePen() override {
        both([](DrawSurface& s) { s.releasePen(); });
    }
    void moveTo(int x, int y) override {
        both([&](DrawSurface& s) { s.moveTo(x, y); });
    }
    void lineTo(int x, int y) override {
        both([&](DrawSurface& s) { s.lineTo(x, y); });
    }
    void setPixel(int x, int y, Rgb c) override {
        both([&](DrawSurface& s) { s.setPixel(x, y, c); });
    }
    void ellipse(int l, int t, int r, int b) override {
        both([&](DrawSurface& s) { s.ellipse(l, t, r, b); });
    }
    void drawText(const char* text, int l, int t, int r, int b, TextAlign a) override {
        both([&](DrawSurface& s) { s.drawText(text, l, t, r, b, a); });
    }

    SdlSurface* picture;
    DrawSurface* other;
};

class PngFrameWriter final : public Display {
public:
    PngFrameWriter(std::string folder, Display* alsoTo, bool* failedTo)
        : dir(std::move(folder)), also(alsoTo), failed(failedTo) {
        std::error_code ignored;
        std::filesystem::create_directories(dir, ignored);
    }

    DrawSurface* createBackBuffer(WindowHandle window, int width, int height) override {
        auto* picture = new SdlSurface(width, height, SDL_PIXELFORMAT_RGB888);
        if (!picture->valid()) {
            delete picture;
            return nullptr;
        }
        DrawSurface* other = also ? also->createBackBuffer(window, width, height) : nullptr;
        return new TeeSurface(picture, other);
    }

    void present(WindowHandle window, DrawSurface& surface, int width, int height) override {
        auto* tee = dynamic_cast<TeeSurface*>(&surface);
        if (!tee) return;
        if (also && tee->other) also->present(window, *tee->other, width, height);
        char name[32];
        std::snprintf(name, sizeof name, "/frame-%05d.png", ++frames);
        const std::string path = dir + name;
        if (IMG_SavePNG(tee->picture->pixels(), path.c_str()) != 0 && !warned) {
            warned = true;
            if (failed) *failed = true;
            std::fprintf(stderr, "voidrunner: cannot write %s: %s\n", path.c_str(), SDL_GetError());
        }
    }

    void destroyBackBuffer(DrawSurface* surface) override {
        auto* tee = dynamic_cast<TeeSurface*>(surface);
        if (!tee) return;
        if (also && tee->other) also->destroyBackBuffer(tee->other);
        delete tee;
    }

private:
    std::string dir;
    Display* also;
    bool* failed;
    int frames = 0;
    bool warned = false;
};

}  // namespace

std::unique_ptr<Display> makePngFrameWriter(const std::string& dir, Display* also, bool* failed) {
    return std::make_unique<PngFrameWriter>(dir, also, failed);
}
