// Frame pixels packed into an XImage in the layout of the window's visual,
// straight into the image's memory for the usual layouts (8, 16 and 32
// bits a pixel, either byte order) and through XPutPixel for the rest.
// Needs no X server: the tests compare it with XPutPixel.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>

class X11PixelPacker {
public:
    // A true-colour visual: each 8-bit channel scaled to its mask's bits.
    void useMasks(unsigned long redMask, unsigned long greenMask, unsigned long blueMask);
    // A colour-map visual: map(context, 0xRRGGBB) gives the pixel.
    using MapColour = unsigned long (*)(void* context, uint32_t rgb);
    void useMap(MapColour mapColour, void* mapContext);

    unsigned long pixelFor(uint32_t rgb) {
        if (map) return map(context, rgb);
        return red[(rgb >> 16) & 255] | green[(rgb >> 8) & 255] | blue[rgb & 255];
    }

    // Packs w x h pixels from `from` (0x??RRGGBB each, rows `pitch` bytes
    // apart) into `image` at (x, y). Returns whether any pixel of the image
    // changed.
    bool pack(XImage& image, const uint32_t* from, int pitch, int x, int y, int w, int h);

private:
    template <typename Pixel, bool swap>
    bool packRows(XImage& image, const uint32_t* from, int pitch, int x, int y, int w, int h);

    unsigned long red[256] = {}, green[256] = {}, blue[256] = {};
    MapColour map = nullptr;
    void* context = nullptr;
};
