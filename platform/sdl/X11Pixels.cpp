#include "platform/sdl/X11Pixels.h"

#include <X11/Xutil.h>

#include <cstring>

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

int hostByteOrder() {
    const uint16_t one = 1;
    unsigned char first = 0;
    std::memcpy(&first, &one, 1);
    return first ? LSBFirst : MSBFirst;
}

uint16_t swapped(uint16_t v) { return static_cast<uint16_t>((v >> 8) | (v << 8)); }
uint32_t swapped(uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}
uint8_t swapped(uint8_t v) { return v; }

}  // namespace

void X11PixelPacker::useMasks(unsigned long redMask, unsigned long greenMask,
                              unsigned long blueMask) {
    map = nullptr;
    const unsigned long masks[3] = {redMask, greenMask, blueMask};
    unsigned long* tables[3] = {red, green, blue};
    for (int c = 0; c < 3; ++c) {
        int shift = 0, bits = 0;
        maskBits(masks[c], shift, bits);
        const unsigned long top = bits > 0 ? (1ul << bits) - 1 : 0;
        for (unsigned long v = 0; v < 256; ++v) tables[c][v] = ((v * top + 127) / 255) << shift;
    }
}

void X11PixelPacker::useMap(MapColour mapColour, void* mapContext) {
    map = mapColour;
    context = mapContext;
}

// Most of a frame is runs of one colour: a pixel is looked up only when
// the colour changes along the row.
template <typename Pixel, bool swap>
bool X11PixelPacker::packRows(XImage& image, const uint32_t* from, int pitch, int x, int y, int w,
                              int h) {
    Pixel differ = 0;
    for (int row = 0; row < h; ++row) {
        const auto* in = reinterpret_cast<const uint32_t*>(
            reinterpret_cast<const char*>(from) + static_cast<std::ptrdiff_t>(row) * pitch);
        auto* out = reinterpret_cast<Pixel*>(image.data + static_cast<std::ptrdiff_t>(y + row) *
                                                              image.bytes_per_line) +
                    x;
        uint32_t lastRgb = in[0] & 0xFFFFFFu;
        Pixel pixel = static_cast<Pixel>(pixelFor(lastRgb));
        if (swap) pixel = swapped(pixel);
        for (int i = 0; i < w; ++i) {
            const uint32_t rgb = in[i] & 0xFFFFFFu;
            if (rgb != lastRgb) {
                lastRgb = rgb;
                pixel = static_cast<Pixel>(pixelFor(rgb));
                if (swap) pixel = swapped(pixel);
            }
            differ |= static_cast<Pixel>(out[i] ^ pixel);
            out[i] = pixel;
        }
    }
    return differ != 0;
}

bool X11PixelPacker::pack(XImage& image, const uint32_t* from, int pitch, int x, int y, int w,
                          int h) {
    if (w <= 0 || h <= 0) return false;
    const bool swap = image.byte_order != hostByteOrder();
    if (image.format == ZPixmap) {
        switch (image.bits_per_pixel) {
        case 32:
            return swap ? packRows<uint32_t, true>(image, from, pitch, x, y, w, h)
                        : packRows<uint32_t, false>(image, from, pitch, x, y, w, h);
        case 16:
            return swap ? packRows<uint16_t, true>(image, from, pitch, x, y, w, h)
                        : packRows<uint16_t, false>(image, from, pitch, x, y, w, h);
        case 8: return packRows<uint8_t, false>(image, from, pitch, x, y, w, h);
        default: break;
        }
    }
    // Any other layout, pixel by pixel.
    bool changed = false;
    for (int row = 0; row < h; ++row) {
        const auto* in = reinterpret_cast<const uint32_t*>(
            reinterpret_cast<const char*>(from) + static_cast<std::ptrdiff_t>(row) * pitch);
        for (int i = 0; i < w; ++i) {
            const unsigned long pixel = pixelFor(in[i] & 0xFFFFFFu);
            if (XGetPixel(&image, x + i, y + row) != pixel) {
                XPutPixel(&image, x + i, y + row, pixel);
                changed = true;
            }
        }
    }
    return changed;
}
