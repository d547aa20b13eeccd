// Frames packed straight into an XImage must be the bytes XPutPixel gives,
// for every layout of visual the game draws to through X11 (30-bit, 16-bit
// and 8-bit colour-map screens, both byte orders), frame after frame, and
// say whether anything changed.
// gtest before Xlib: Xlib's macros (None, Bool) break gtest's names.
// clang-format off
#include <gtest/gtest.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// clang-format on

#include <cstdint>
#include <random>
#include <vector>

#include "platform/sdl/X11Pixels.h"

namespace {

constexpr int kWidth = 150, kHeight = 100, kTile = 64;  // not whole tiles

struct Layout {
    const char* name;
    int depth, bitsPerPixel, byteOrder;
    unsigned long red, green, blue;  // all 0: a colour map
};

struct Image {
    std::vector<char> bytes;
    XImage image{};
    explicit Image(const Layout& l) {
        image.width = kWidth;
        image.height = kHeight;
        image.format = ZPixmap;
        image.byte_order = l.byteOrder;
        image.bitmap_unit = 32;
        image.bitmap_bit_order = MSBFirst;
        image.bitmap_pad = 32;
        image.depth = l.depth;
        image.bits_per_pixel = l.bitsPerPixel;
        image.bytes_per_line = (kWidth * l.bitsPerPixel + 31) / 32 * 4;
        image.red_mask = l.red;
        image.green_mask = l.green;
        image.blue_mask = l.blue;
        bytes.assign(static_cast<std::size_t>(image.bytes_per_line) * kHeight, 0);
        image.data = bytes.data();
        XInitImage(&image);
    }
};

// A colour map that hands out cells in order of first use.
unsigned long mapColour(void* context, uint32_t rgb) {
    auto& cells = *static_cast<std::vector<uint32_t>*>(context);
    for (std::size_t i = 0; i < cells.size(); ++i)
        if (cells[i] == rgb) return i;
    cells.push_back(rgb);
    return cells.size() - 1;
}

// The game's black, white, green and grey in runs, and a few odd colours;
// 0xFF in the unused top byte must not matter.
std::vector<uint32_t> frame(unsigned seed) {
    std::mt19937 rng(seed);
    const uint32_t colours[] = {0x000000, 0xFFFFFF, 0x00FF00, 0xC8C8C8, 0x123456, 0xFF000000};
    std::vector<uint32_t> pixels(kWidth * kHeight, 0);
    for (int run = 0; run < 60; ++run) {
        const std::size_t at = rng() % pixels.size();
        const uint32_t colour = colours[rng() % 6];
        for (std::size_t i = at; i < std::min(pixels.size(), at + rng() % 90); ++i)
            pixels[i] = colour;
    }
    return pixels;
}

TEST(X11Pixels, PackedFramesEqualXPutPixel) {
    const Layout layouts[] = {
        {"30-bit", 30, 32, LSBFirst, 0x3FF00000, 0xFFC00, 0x3FF},
        {"30-bit, MSB first", 30, 32, MSBFirst, 0x3FF00000, 0xFFC00, 0x3FF},
        {"24-bit", 24, 32, LSBFirst, 0xFF0000, 0xFF00, 0xFF},
        {"16-bit", 16, 16, LSBFirst, 0xF800, 0x7E0, 0x1F},
        {"15-bit, MSB first", 15, 16, MSBFirst, 0x7C00, 0x3E0, 0x1F},
        {"8-bit colour map", 8, 8, LSBFirst, 0, 0, 0},
        {"24-bit, 3 bytes a pixel", 24, 24, MSBFirst, 0xFF0000, 0xFF00, 0xFF},
    };
    for (const Layout& l : layouts) {
        SCOPED_TRACE(l.name);
        X11PixelPacker packer;
        std::vector<uint32_t> cells;
        if (l.red)
            packer.useMasks(l.red, l.green, l.blue);
        else
            packer.useMap(mapColour, &cells);
        Image packed(l), expected(l);
        const unsigned seeds[] = {1, 2, 3, 3};  // the last frame changes nothing
        for (int f = 0; f < 4; ++f) {
            const std::vector<uint32_t> pixels = frame(seeds[f]);
            bool changed = false;
            // Tile by tile, as the presenter packs.
            for (int y = 0; y < kHeight; y += kTile)
                for (int x = 0; x < kWidth; x += kTile)
                    changed |= packer.pack(packed.image, &pixels[y * kWidth + x], kWidth * 4, x, y,
                                           std::min(kTile, kWidth - x),
                                           std::min(kTile, kHeight - y));
            for (int y = 0; y < kHeight; ++y)
                for (int x = 0; x < kWidth; ++x)
                    XPutPixel(&expected.image, x, y,
                              packer.pixelFor(pixels[y * kWidth + x] & 0xFFFFFF));
            EXPECT_EQ(packed.bytes, expected.bytes) << "frame " << f;
            EXPECT_EQ(changed, f != 3) << "frame " << f;
        }
    }
}

TEST(X11Pixels, ChannelsScaleToTheirMasks) {
    X11PixelPacker p;
    p.useMasks(0x3FF00000, 0xFFC00, 0x3FF);
    EXPECT_EQ(p.pixelFor(0xFFFFFF), 0x3FFFFFFFul);
    EXPECT_EQ(p.pixelFor(0x00FF00), 0xFFC00ul);
    EXPECT_EQ(p.pixelFor(0xC8C8C8), (802ul << 20) | (802ul << 10) | 802ul);  // 200 of 255
    p.useMasks(0xF800, 0x7E0, 0x1F);
    EXPECT_EQ(p.pixelFor(0xC8C8C8), (24ul << 11) | (49ul << 5) | 24ul);  // nearest of 31, 63
}

}  // namespace
