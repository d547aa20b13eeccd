// Frames of a headless run as PNG pictures, drawn by the same code that
// draws into the game's window.
#include "platform/sdl/PngFrameWriter.h"

#include <SDL.h>
#include <SDL_image.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

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

// A display that draws every frame into a picture of its own as well as
// into the display the run would have used anyway; `write` takes the
// finished picture.
class FrameTee : public Display {
public:
    FrameTee(Display* alsoTo, bool* failedTo) : also(alsoTo), failed(failedTo) {}

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
        write(tee->picture->pixels());
    }

    void destroyBackBuffer(DrawSurface* surface) override {
        auto* tee = dynamic_cast<TeeSurface*>(surface);
        if (!tee) return;
        if (also && tee->other) also->destroyBackBuffer(tee->other);
        delete tee;
    }

protected:
    virtual void write(SDL_Surface* pixels) = 0;

    Display* also;
    bool* failed;
};

class PngFrameWriter final : public FrameTee {
public:
    PngFrameWriter(std::string folder, Display* alsoTo, bool* failedTo)
        : FrameTee(alsoTo, failedTo), dir(std::move(folder)) {
        std::error_code ignored;
        std::filesystem::create_directories(dir, ignored);
    }

private:
    void write(SDL_Surface* pixels) override {
        char name[32];
        std::snprintf(name, sizeof name, "/frame-%05d.png", ++frames);
        const std::string path = dir + name;
        if (IMG_SavePNG(pixels, path.c_str()) != 0 && !warned) {
            warned = true;
            if (failed) *failed = true;
            std::fprintf(stderr, "voidrunner: cannot write %s: %s\n", path.c_str(), SDL_GetError());
        }
    }

    std::string dir;
    int frames = 0;
    bool warned = false;
};

// Every frame as bgr0 bytes (blue, green, red, padding), rows top to
// bottom, no header: what `ffmpeg -f rawvideo -pix_fmt bgr0` reads. It is
// the surface's own layout on a little-endian machine, so the rows go out
// as they are; ffmpeg encodes them exactly as it would the same pixels in
// PNG files.
class RawFrameWriter final : public FrameTee {
public:
    RawFrameWriter(std::FILE* to, std::string name, Display* alsoTo, bool* failedTo)
        : FrameTee(alsoTo, failedTo), out(to), target(std::move(name)) {}
    ~RawFrameWriter() override {
        if (out && out != stdout) std::fclose(out);
    }

private:
    void write(SDL_Surface* pixels) override {
        if (broken) return;
        const auto rowBytes = static_cast<std::size_t>(pixels->w) * 4;
        const auto rows = static_cast<std::size_t>(pixels->h);
        const auto* base = static_cast<const unsigned char*>(pixels->pixels);
        errno = 0;
        bool ok = true;
        if (SDL_BYTEORDER == SDL_LIL_ENDIAN &&
            static_cast<std::size_t>(pixels->pitch) == rowBytes) {
            ok = std::fwrite(base, 1, rowBytes * rows, out) == rowBytes * rows;
        } else {
            row.resize(rowBytes);
            for (std::size_t y = 0; ok && y < rows; ++y) {
                const unsigned char* from = base + y * static_cast<std::size_t>(pixels->pitch);
                for (std::size_t x = 0; x < rowBytes; x += 4) {
                    uint32_t p = 0;  // 0x00RRGGBB in the machine's order
                    std::memcpy(&p, from + x, 4);
                    row[x] = static_cast<unsigned char>(p);
                    row[x + 1] = static_cast<unsigned char>(p >> 8);
                    row[x + 2] = static_cast<unsigned char>(p >> 16);
                    row[x + 3] = 0;
                }
                ok = std::fwrite(row.data(), 1, rowBytes, out) == rowBytes;
            }
        }
        if (!ok || std::fflush(out) != 0) {
            broken = true;
            if (failed) *failed = true;
            std::fprintf(stderr, "voidrunner: cannot write the frames to %s: %s\n", target.c_str(),
                         std::strerror(errno));
        }
    }

    std::FILE* out;
    std::string target;
    std::vector<unsigned char> row;  // a row in bgr0 order, where the surface's is not
    bool broken = false;
};

}  // namespace

std::unique_ptr<Display> makeRawFrameWriter(const std::string& path, Display* also, bool* failed) {
    std::FILE* out = path == "-" ? stdout : std::fopen(path.c_str(), "wb");
    if (!out) {
        std::fprintf(stderr, "voidrunner: cannot write the frames to %s: %s\n", path.c_str(),
                     std::strerror(errno));
        if (failed) *failed = true;
        return nullptr;
    }
    return std::make_unique<RawFrameWriter>(out, path, also, failed);
}

std::unique_ptr<Display> makePngFrameWriter(const std::string& dir, Display* also, bool* failed) {
    return std::make_unique<PngFrameWriter>(dir, also, failed);
}
