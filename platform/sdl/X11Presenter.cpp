#include "platform/sdl/X11Presenter.h"

#ifdef VR_X11
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#ifdef VR_XSHM
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "platform/sdl/X11Pixels.h"

namespace {

// Frames are compared and sent in tiles this wide and high.
constexpr int kTile = 64;

#ifdef VR_XSHM
bool attachFailed = false;
int noteAttachFailure(Display*, XErrorEvent*) {
    attachFailed = true;
    return 0;
}
#endif

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
    X11PixelPacker packer;
    // Colour-map visuals: each colour asked for once.
    std::unordered_map<uint32_t, unsigned long> allocated;
    std::vector<XColor> mapEntries;
    // The image as the window has it, tile by tile: 1 where it must be sent.
    int tilesX = 0, tilesY = 0;
    std::vector<unsigned char> toSend;
    // The frame's pixels as last packed: a row that has not changed is
    // found with a memcmp, not packed again.
    std::vector<uint32_t> packedFrom;
#ifdef VR_XSHM
    bool shmAvailable = false;
    XShmSegmentInfo shm{};
#endif
    bool inShm = false;  // the image lives in memory shared with the server

    void freeImage() {
        if (!image) return;
#ifdef VR_XSHM
        if (inShm) {
            XShmDetach(display, &shm);
            XSync(display, False);
            image->data = nullptr;  // not XDestroyImage's to free
            XDestroyImage(image);
            shmdt(shm.shmaddr);
            image = nullptr;
            inShm = false;
            return;
        }
#endif
        XDestroyImage(image);  // frees its pixels too
        image = nullptr;
    }

    // An image in shared memory where the server takes it (not over a
    // network), else one in our own memory.
    bool makeImage(int width, int height) {
        freeImage();
#ifdef VR_XSHM
        if (shmAvailable && makeSharedImage(width, height)) return true;
#endif
        image = XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                             static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
        if (!image) return false;
        image->data = static_cast<char*>(std::calloc(
            static_cast<std::size_t>(image->bytes_per_line) * static_cast<std::size_t>(height), 1));
        if (!image->data) {
            freeImage();
            return false;
        }
        return true;
    }

#ifdef VR_XSHM
    bool makeSharedImage(int width, int height) {
        image = XShmCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, nullptr,
                                &shm, static_cast<unsigned>(width), static_cast<unsigned>(height));
        if (!image) return false;
        shm.shmid = shmget(
            IPC_PRIVATE,
            static_cast<std::size_t>(image->bytes_per_line) * static_cast<std::size_t>(height),
            IPC_CREAT | 0600);
        void* memory = shm.shmid >= 0 ? shmat(shm.shmid, nullptr, 0) : reinterpret_cast<void*>(-1);
        if (memory == reinterpret_cast<void*>(-1)) {
            if (shm.shmid >= 0) shmctl(shm.shmid, IPC_RMID, nullptr);
            XDestroyImage(image);
            image = nullptr;
            shmAvailable = false;
            return false;
        }
        shm.shmaddr = image->data = static_cast<char*>(memory);
        shm.readOnly = False;
        // A server elsewhere refuses the segment with an error, not a status.
        attachFailed = false;
        XErrorHandler before = XSetErrorHandler(noteAttachFailure);
        const bool attached = XShmAttach(display, &shm);
        XSync(display, False);
        XSetErrorHandler(before);
        shmctl(shm.shmid, IPC_RMID, nullptr);  // freed once both have let go
        if (!attached || attachFailed) {
            image->data = nullptr;
            XDestroyImage(image);
            shmdt(memory);
            image = nullptr;
            shmAvailable = false;
            return false;
        }
        inShm = true;
        return true;
    }
#endif

    void send(int x, int y, int w, int h) {
#ifdef VR_XSHM
        if (inShm) {
            XShmPutImage(display, xwindow, gc, image, x, y, x, y, static_cast<unsigned>(w),
                         static_cast<unsigned>(h), False);
            return;
        }
#endif
        XPutImage(display, xwindow, gc, image, x, y, x, y, static_cast<unsigned>(w),
                  static_cast<unsigned>(h));
    }

    unsigned long pixelFor(uint32_t rgb) {
        const auto found = allocated.find(rgb);
        if (found != allocated.end()) return found->second;
        const auto r = static_cast<uint8_t>(rgb >> 16), g = static_cast<uint8_t>(rgb >> 8),
                   b = static_cast<uint8_t>(rgb);
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
        allocated.emplace(rgb, pixel);
        return pixel;
    }
    static unsigned long mapColour(void* state, uint32_t rgb) {
        return static_cast<State*>(state)->pixelFor(rgb);
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
        s->packer.useMasks(s->visual->red_mask, s->visual->green_mask, s->visual->blue_mask);
        if (visualClass == DirectColor) {
            // Each channel's cells a straight ramp, as the packer assumes.
            const unsigned long masks[3] = {s->visual->red_mask, s->visual->green_mask,
                                            s->visual->blue_mask};
            int shifts[3] = {}, tops[3] = {};
            for (int c = 0; c < 3; ++c) {
                unsigned long mask = masks[c];
                while (mask && !(mask & 1)) {
                    mask >>= 1;
                    ++shifts[c];
                }
                tops[c] = static_cast<int>(mask);
            }
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
    } else {
        s->packer.useMap(State::mapColour, s.get());
    }
#ifdef VR_XSHM
    s->shmAvailable = XShmQueryExtension(s->display);
#endif
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
    const SDL_Rect all{0, 0, width, height};
    present(frame, &all, 1, true);
}

void X11Presenter::present(SDL_Surface* frame, const SDL_Rect* changed, int count, bool resend) {
    if (!state || !frame || frame->format->BytesPerPixel != 4) return;
    State& s = *state;
    int windowWidth = 0, windowHeight = 0;
    SDL_GetWindowSize(s.window, &windowWidth, &windowHeight);
    if (windowWidth <= 0 || windowHeight <= 0) return;
    bool whole = resend;
    bool fresh = false;  // a new image: every row packed
    const int w = std::min(windowWidth, frame->w), h = std::min(windowHeight, frame->h);
    const SDL_Rect all{0, 0, w, h};
    if (!s.image || s.image->width != windowWidth || s.image->height != windowHeight) {
        if (!s.makeImage(windowWidth, windowHeight)) return;
        s.tilesX = (windowWidth + kTile - 1) / kTile;
        s.tilesY = (windowHeight + kTile - 1) / kTile;
        s.toSend.assign(static_cast<std::size_t>(s.tilesX * s.tilesY), 0);
        s.packedFrom.assign(static_cast<std::size_t>(windowWidth) * windowHeight, 0);
        fresh = whole = true;
        changed = &all;
        count = 1;
    }
    // Outside the frame the window is black.
    if (whole && (w < windowWidth || h < windowHeight)) {
        const uint32_t black = 0;
        for (int y = 0; y < windowHeight; ++y)
            for (int x = y < h ? w : 0; x < windowWidth; ++x)
                s.packer.pack(*s.image, &black, 4, x, y, 1, 1);
    }

    if (SDL_MUSTLOCK(frame)) SDL_LockSurface(frame);
    // Each changed area is packed tile by tile; a tile goes to the server
    // only if one of its pixels differs from what the image held.
    for (int i = 0; i < count; ++i) {
        const int left = std::max(changed[i].x, 0), top = std::max(changed[i].y, 0);
        const int right = std::min(changed[i].x + changed[i].w, w);
        const int bottom = std::min(changed[i].y + changed[i].h, h);
        for (int ty = top / kTile; ty * kTile < bottom; ++ty) {
            const int y0 = std::max(top, ty * kTile), y1 = std::min(bottom, (ty + 1) * kTile);
            for (int tx = left / kTile; tx * kTile < right; ++tx) {
                const int x0 = std::max(left, tx * kTile), x1 = std::min(right, (tx + 1) * kTile);
                const auto bytes = static_cast<std::size_t>(x1 - x0) * 4;
                bool differs = false;
                for (int y = y0; y < y1; ++y) {
                    const auto* from = reinterpret_cast<const uint32_t*>(
                                           static_cast<const char*>(frame->pixels) +
                                           static_cast<std::ptrdiff_t>(y) * frame->pitch) +
                                       x0;
                    uint32_t* before =
                        &s.packedFrom[static_cast<std::size_t>(y) * windowWidth + x0];
                    if (!fresh && std::memcmp(from, before, bytes) == 0) continue;
                    std::memcpy(before, from, bytes);
                    differs |= s.packer.pack(*s.image, from, frame->pitch, x0, y, x1 - x0, 1);
                }
                if (differs) s.toSend[static_cast<std::size_t>(ty * s.tilesX + tx)] = 1;
            }
        }
    }
    if (SDL_MUSTLOCK(frame)) SDL_UnlockSurface(frame);

    // Runs of neighbouring tiles in a row go out as one request.
    bool sent = false;
    if (whole) {
        s.send(0, 0, windowWidth, windowHeight);
        std::fill(s.toSend.begin(), s.toSend.end(), 0);
        sent = true;
    }
    for (int ty = 0; ty < s.tilesY; ++ty) {
        for (int tx = 0; tx < s.tilesX;) {
            unsigned char* tile = &s.toSend[static_cast<std::size_t>(ty * s.tilesX + tx)];
            if (!*tile) {
                ++tx;
                continue;
            }
            const int start = tx;
            while (tx < s.tilesX && *tile) {
                *tile++ = 0;
                ++tx;
            }
            const int x = start * kTile, y = ty * kTile;
            s.send(x, y, std::min(tx * kTile, windowWidth) - x,
                   std::min(y + kTile, windowHeight) - y);
            sent = true;
        }
    }
    if (!sent) return;
    // Shared memory is read by the server later: wait for it before the
    // next frame is packed into it.
    if (s.inShm)
        XSync(s.display, False);
    else
        XFlush(s.display);
}

#else  // no X11 at build time: never attaches

struct X11Presenter::State {};
X11Presenter::X11Presenter() = default;
X11Presenter::~X11Presenter() = default;
bool X11Presenter::attach(SDL_Window*) { return false; }
void X11Presenter::detach() {}
void X11Presenter::present(SDL_Surface*, int, int) {}
void X11Presenter::present(SDL_Surface*, const SDL_Rect*, int, bool) {}

#endif
