#include "platform/sdl/X11Presenter.h"

#ifdef VR_X11
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <unordered_map>
#include <vector>

namespace {

// The bits of a channel mask: where they start and how many there are.
void maskBits(unsigned long mask, int& shift, int& bits) {
    shift = bits = 0;
    if (!mask) return;
    while (!(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    while (mask & 1) {
        mask >>= 1;
        ++bits;
    }
}

}  // namespace

struct X11Presenter::State {
    SDL_Window* window = nullptr;
    Display* display = nullptr;
    Window xwindow = 0;
    Visual* visual = nullptr;
    int depth = 0;
    Colormap colormap = 0;
    GC gc = nullptr;
    XImage* image = nullptr;
    bool trueColour = false;
    unsigned long red[256] = {}, green[256] = {}, blue[256] = {};
    // Colour-map visuals: each colour asked for once.
    std::unordered_map<uint32_t, unsigned long> allocated;
    std::vector<XColor> mapEntries;

    void freeImage() {
        if (image) XDestroyImage(image);  // frees its pixels too
        image = nullptr;
    }

    unsigned long pixelFor(uint8_t r, uint8_t g, uint8_t b) {
        if (trueColour) return red[r] | green[g] | blue[b];
        const uint32_t key = (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
        const auto found = allocated.find(key);
        if (found != allocated.end()) return found->second;
        XColor colour{};
        colour.red = static_cast<unsigned short>(r * 257);
        colour.green = static_cast<unsigned short>(g * 257);
        colour.blue = static_cast<unsigned short>(b * 257);
        colour.flags = DoRed | DoGreen | DoBlue;
        unsigned long pixel = 0;
        if (XAllocColor(display, colormap, &colour)) {
            pixel = colour.pixel;
        } else {
            // The map is full: the nearest colour in it.
            if (mapEntries.empty()) {
                mapEntries.resize(static_cast<std::size_t>(std::min(visual->map_entries, 4096)));
                for (std::size_t i = 0; i < mapEntries.size(); ++i) mapEntries[i].pixel = i;
                XQueryColors(display, colormap, mapEntries.data(),
                             static_cast<int>(mapEntries.size()));
            }
            long best = -1;
            for (const XColor& entry : mapEntries) {
                const long dr = entry.red / 257 - r, dg = entry.green / 257 - g,
                           db = entry.blue / 257 - b;
                const long distance = dr * dr + dg * dg + db * db;
                if (best < 0 || distance < best) {
                    best = distance;
                    pixel = entry.pixel;
                }
            }
        }
        allocated.emplace(key, pixel);
        return pixel;
    }
};

X11Presenter::X11Presenter() = default;

X11Presenter::~X11Presenter() { detach(); }

bool X11Presenter::attach(SDL_Window* window) {
    if (state && state->window == window) return true;
    detach();
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
        return false;
    auto s = std::make_unique<State>();
    s->window = window;
    s->display = info.info.x11.display;
    s->xwindow = info.info.x11.window;
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(s->display, s->xwindow, &attributes)) return false;
    s->visual = attributes.visual;
    s->depth = attributes.depth;
    s->colormap = attributes.colormap;
    const int visualClass = s->visual->c_class;
    s->trueColour = visualClass == TrueColor || visualClass == DirectColor;
    // On a colour-map screen SDL gives its window a map of its own (a
    // DirectColor ramp), seen only while installed: a window manager does
    // that when the window has the focus; without one, do it here.
    const int screen = XScreenNumberOfScreen(attributes.screen);
    if (s->colormap != DefaultColormap(s->display, screen))
        XInstallColormap(s->display, s->colormap);
    if (s->trueColour) {
        const unsigned long masks[3] = {s->visual->red_mask, s->visual->green_mask,
                                        s->visual->blue_mask};
        unsigned long* tables[3] = {s->red, s->green, s->blue};
        int shifts[3] = {}, tops[3] = {};
        for (int c = 0; c < 3; ++c) {
            int bits = 0;
            maskBits(masks[c], shifts[c], bits);
            tops[c] = bits > 0 ? (1 << bits) - 1 : 0;
            const unsigned long top = static_cast<unsigned long>(tops[c]);
            for (unsigned v = 0; v < 256; ++v) tables[c][v] = ((v * top + 127) / 255) << shifts[c];
        }
        if (visualClass == DirectColor) {
            // Each channel's cells a straight ramp, as the tables assume.
            std::vector<XColor> ramp(static_cast<std::size_t>(s->visual->map_entries));
            for (std::size_t i = 0; i < ramp.size(); ++i) {
                XColor& cell = ramp[i];
                unsigned short* values[3] = {&cell.red, &cell.green, &cell.blue};
                cell.pixel = 0;
                for (int c = 0; c < 3; ++c) {
                    const int level = std::min(static_cast<int>(i), tops[c]);
                    cell.pixel |= static_cast<unsigned long>(level) << shifts[c];
                    *values[c] = static_cast<unsigned short>(tops[c] ? level * 65535 / tops[c] : 0);
                }
                cell.flags = DoRed | DoGreen | DoBlue;
            }
            XStoreColors(s->display, s->colormap, ramp.data(), static_cast<int>(ramp.size()));
        }
    }
    s->gc = XCreateGC(s->display, s->xwindow, 0, nullptr);
    if (!s->gc) return false;
    state = std::move(s);
    return true;
}

void X11Presenter::detach() {
    if (!state) return;
    state->freeImage();
    if (state->gc) XFreeGC(state->display, state->gc);
    state.reset();
}

void X11Presenter::present(SDL_Surface* frame, int width, int height) {
    if (!state) return;
    State& s = *state;
    int windowWidth = 0, windowHeight = 0;
    SDL_GetWindowSize(s.window, &windowWidth, &windowHeight);
    if (windowWidth <= 0 || windowHeight <= 0) return;
    if (!s.image || s.image->width != windowWidth || s.image->height != windowHeight) {
        s.freeImage();
        s.image = XCreateImage(s.display, s.visual, static_cast<unsigned>(s.depth), ZPixmap, 0,
                               nullptr, static_cast<unsigned>(windowWidth),
                               static_cast<unsigned>(windowHeight), 32, 0);
        if (!s.image) return;
        s.image->data =
            static_cast<char*>(std::calloc(static_cast<std::size_t>(s.image->bytes_per_line) *
                                               static_cast<std::size_t>(windowHeight),
                                           1));
        if (!s.image->data) {
            s.freeImage();
            return;
        }
    }
    const unsigned long black = s.pixelFor(0, 0, 0);
    const int w = frame ? std::min({width, windowWidth, frame->w}) : 0;
    const int h = frame ? std::min({height, windowHeight, frame->h}) : 0;
    if (frame && SDL_MUSTLOCK(frame)) SDL_LockSurface(frame);
    for (int y = 0; y < windowHeight; ++y) {
        int x = 0;
        if (y < h) {
            const auto* row = static_cast<const uint8_t*>(frame->pixels) + y * frame->pitch;
            const int bytes = frame->format->BytesPerPixel;
            uint32_t lastRaw = 0;
            unsigned long lastPixel = black;
            bool haveLast = false;
            for (; x < w; ++x) {
                uint32_t raw = 0;
                SDL_memcpy(&raw, row + x * bytes, static_cast<std::size_t>(bytes));
                if (!haveLast || raw != lastRaw) {
                    uint8_t r = 0, g = 0, b = 0;
                    SDL_GetRGB(raw, frame->format, &r, &g, &b);
                    lastPixel = s.pixelFor(r, g, b);
                    lastRaw = raw;
                    haveLast = true;
                }
                XPutPixel(s.image, x, y, lastPixel);
            }
        }
        for (; x < windowWidth; ++x) XPutPixel(s.image, x, y, black);
    }
    if (frame && SDL_MUSTLOCK(frame)) SDL_UnlockSurface(frame);
    XPutImage(s.display, s.xwindow, s.gc, s.image, 0, 0, 0, 0, static_cast<unsigned>(windowWidth),
              static_cast<unsigned>(windowHeight));
    XFlush(s.display);
}

#else  // no X11 at build time: never attaches

struct X11Presenter::State {};
X11Presenter::X11Presenter() = default;
X11Presenter::~X11Presenter() = default;
bool X11Presenter::attach(SDL_Window*) { return false; }
void X11Presenter::detach() {}
void X11Presenter::present(SDL_Surface*, int, int) {}

#endif
