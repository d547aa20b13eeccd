// One frame's drawing as a list of operations in the field's coordinates:
// what a host draws again at the window's own pixels and any scale (the
// vector look), while the exact frame stays the field's pixels.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

struct DrawList {
    enum Op : int32_t { fill = 1, line = 2, pixel = 3, ellipse = 4, text = 5 };
    // Six numbers an operation: its Op, four coordinates (fill and
    // ellipse: left, top, right, bottom; line: from x, y to x, y; pixel:
    // x, y) and its colour as 0xRRGGBB (a line's and an ellipse's: the
    // pen). A text has three more: its TextAlign, and the offset and
    // length of its bytes in `texts`. The browser's page reads this as it is.
    std::vector<int32_t> words;
    std::string texts;

    void clear() {
        words.clear();
        texts.clear();
    }
    bool operator==(const DrawList&) const = default;
};

// One operation of a list, read back.
struct DrawItem {
    DrawList::Op op = DrawList::fill;
    int a = 0, b = 0, c = 0, d = 0;
    Rgb colour;
    TextAlign align = TextAlign::Left;
    std::string_view text;
};

inline int32_t packColour(Rgb c) { return (c.r << 16) | (c.g << 8) | c.b; }
inline Rgb unpackColour(int32_t c) {
    return {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c)};
}

// Calls f(item) for each operation in order; stops at a malformed tail.
template <typename F>
void forEachDrawItem(const DrawList& list, F&& f) {
    const std::vector<int32_t>& w = list.words;
    for (std::size_t i = 0; i + 6 <= w.size();) {
        DrawItem item;
        item.op = static_cast<DrawList::Op>(w[i]);
        item.a = w[i + 1];
        item.b = w[i + 2];
        item.c = w[i + 3];
        item.d = w[i + 4];
        item.colour = unpackColour(w[i + 5]);
        i += 6;
        if (item.op == DrawList::text) {
            if (i + 3 > w.size()) return;
            const auto offset = static_cast<std::size_t>(w[i + 1]);
            const auto length = static_cast<std::size_t>(w[i + 2]);
            if (offset > list.texts.size() || length > list.texts.size() - offset) return;
            item.align = static_cast<TextAlign>(w[i]);
            item.text = std::string_view(list.texts).substr(offset, length);
            i += 3;
        }
        f(item);
    }
}

// A surface that notes every operation in `list`, pens and text colour
// resolved, and draws it on `exact` too when one is given.
class DrawListSurface final : public DrawSurface {
public:
    void setTransparentText() override;
    void fillRect(int left, int top, int right, int bottom, Rgb colour) override;
    void setTextColor(Rgb colour) override;
    void selectPen(Rgb colour) override;
    void releasePen() override;
    void moveTo(int x, int y) override;
    void lineTo(int x, int y) override;
    void setPixel(int x, int y, Rgb colour) override;
    void ellipse(int left, int top, int right, int bottom) override;
    void drawText(const char* text, int left, int top, int right, int bottom,
                  TextAlign align) override;

    DrawList list;
    DrawSurface* exact = nullptr;

private:
    void put(DrawList::Op op, int a, int b, int c, int d, Rgb colour);
    Rgb pen{255, 255, 255};
    std::vector<Rgb> pens;
    Rgb textColour{};
    int curX = 0, curY = 0;
};

// Draws a list on a surface as the renderer drew it.
void replayDrawList(const DrawList& list, DrawSurface& surface);

// The field's coordinates in a window's pixels: the field (0, 0) to
// (width, height) shown at `place`. A field pixel is `scaleX` by `scaleY`
// window pixels; lines are `lineWidth` wide, and their glow, if any,
// reaches `glow` pixels beyond them.
struct FieldView {
    FieldView() = default;
    FieldView(const Rect& place, int fieldWidth, int fieldHeight);
    double x(double fieldX) const { return left + fieldX * scaleX; }
    double y(double fieldY) const { return top + fieldY * scaleY; }
    double left = 0, top = 0, scaleX = 1, scaleY = 1, lineWidth = 1, glow = 0;
    bool operator==(const FieldView&) const = default;
};

// The window pixels an operation can touch once drawn through `view`,
// anti-aliasing and line ends included.
Rect windowBox(const DrawItem& item, const FieldView& view);

// Which tiles of a window must be drawn again when the frame `before` is
// followed by `now` through the same view: those an operation of one and
// not the other can touch. Operations are matched as a multiset, so that a
// list drawn in another order costs nothing.
class ChangedTiles {
public:
    static constexpr int kTile = 64;
    // Another view or window size than the last frame's is not this
    // one's to find: everything changed then.
    void find(const DrawList& before, const DrawList& now, const FieldView& view, int windowWidth,
              int windowHeight);
    // Runs of changed tiles along each row, in window pixels, inside the window.
    const std::vector<Rect>& runs() const { return runs_; }
    // Whether the box touches a changed tile.
    bool touches(const Rect& box) const;

private:
    void mark(const Rect& box);
    int across_ = 0, down_ = 0, width_ = 0, height_ = 0;
    std::vector<unsigned char> grid_;
    std::vector<Rect> runs_;
    std::vector<uint64_t> hashes_;
    std::vector<std::size_t> order_, starts_;
    std::vector<unsigned char> taken_;
};
