#include "platform/DrawList.h"

#include <algorithm>
#include <cmath>
#include <cstring>

void DrawListSurface::put(DrawList::Op op, int a, int b, int c, int d, Rgb colour) {
    list.words.insert(list.words.end(), {op, a, b, c, d, packColour(colour)});
}

void DrawListSurface::setTransparentText() {
    if (exact) exact->setTransparentText();
}

void DrawListSurface::fillRect(int left, int top, int right, int bottom, Rgb colour) {
    put(DrawList::fill, left, top, right, bottom, colour);
    if (exact) exact->fillRect(left, top, right, bottom, colour);
}

void DrawListSurface::setTextColor(Rgb colour) {
    textColour = colour;
    if (exact) exact->setTextColor(colour);
}

void DrawListSurface::selectPen(Rgb colour) {
    pens.push_back(pen);
    pen = colour;
    if (exact) exact->selectPen(colour);
}

void DrawListSurface::releasePen() {
    if (!pens.empty()) {
        pen = pens.back();
        pens.pop_back();
    }
    if (exact) exact->releasePen();
}

void DrawListSurface::moveTo(int x, int y) {
    curX = x;
    curY = y;
    if (exact) exact->moveTo(x, y);
}

void DrawListSurface::lineTo(int x, int y) {
    put(DrawList::line, curX, curY, x, y, pen);
    curX = x;
    curY = y;
    if (exact) exact->lineTo(x, y);
}

void DrawListSurface::setPixel(int x, int y, Rgb colour) {
    put(DrawList::pixel, x, y, 0, 0, colour);
    if (exact) exact->setPixel(x, y, colour);
}

void DrawListSurface::ellipse(int left, int top, int right, int bottom) {
    put(DrawList::ellipse, left, top, right, bottom, pen);
    if (exact) exact->ellipse(left, top, right, bottom);
}

void DrawListSurface::drawText(const char* text, int left, int top, int right, int bottom,
                               TextAlign align) {
    if (!text || !*text) return;
    put(DrawList::text, left, top, right, bottom, textColour);
    const std::size_t length = std::strlen(text);
    list.words.insert(list.words.end(),
                      {static_cast<int32_t>(align), static_cast<int32_t>(list.texts.size()),
                       static_cast<int32_t>(length)});
    list.texts.append(text, length);
    if (exact) exact->drawText(text, left, top, right, bottom, align);
}

void replayDrawList(const DrawList& list, DrawSurface& s) {
    s.setTransparentText();
    forEachDrawItem(list, [&](const DrawItem& i) {
        switch (i.op) {
        case DrawList::fill: s.fillRect(i.a, i.b, i.c, i.d, i.colour); break;
        case DrawList::line:
            s.selectPen(i.colour);
            s.moveTo(i.a, i.b);
            s.lineTo(i.c, i.d);
            s.releasePen();
            break;
        case DrawList::pixel: s.setPixel(i.a, i.b, i.colour); break;
        case DrawList::ellipse:
            s.selectPen(i.colour);
            s.ellipse(i.a, i.b, i.c, i.d);
            s.releasePen();
            break;
        case DrawList::text: {
            s.setTextColor(i.colour);
            const std::string text(i.text);
            s.drawText(text.c_str(), i.a, i.b, i.c, i.d, i.align);
            break;
        }
        }
    });
}

FieldView::FieldView(const Rect& place, int fieldWidth, int fieldHeight) {
    left = place.left;
    top = place.top;
    if (fieldWidth > 0) scaleX = static_cast<double>(place.right - place.left) / fieldWidth;
    if (fieldHeight > 0) scaleY = static_cast<double>(place.bottom - place.top) / fieldHeight;
    lineWidth = std::min(scaleX, scaleY);
}

namespace {

int down(double v) { return static_cast<int>(std::clamp(std::floor(v), -1e9, 1e9)); }
int up(double v) { return static_cast<int>(std::clamp(std::ceil(v), -1e9, 1e9)); }

// Where each operation starts in the list's words.
void operationStarts(const DrawList& list, std::vector<std::size_t>& starts) {
    starts.clear();
    const std::vector<int32_t>& w = list.words;
    for (std::size_t i = 0; i + 6 <= w.size();) {
        starts.push_back(i);
        i += w[i] == DrawList::text ? 9 : 6;
    }
}

std::size_t lengthAt(const DrawList& list, std::size_t start) {
    return list.words[start] == DrawList::text ? 9 : 6;
}

std::string_view textAt(const DrawList& list, std::size_t start) {
    if (list.words[start] != DrawList::text || start + 9 > list.words.size()) return {};
    const auto offset = static_cast<std::size_t>(list.words[start + 7]);
    const auto length = static_cast<std::size_t>(list.words[start + 8]);
    if (offset > list.texts.size() || length > list.texts.size() - offset) return {};
    return std::string_view(list.texts).substr(offset, length);
}

uint64_t hashAt(const DrawList& list, std::size_t start) {
    uint64_t h = 1469598103934665603u;
    const auto mix = [&h](uint64_t v) { h = (h ^ v) * 1099511628211u; };
    for (std::size_t i = start; i < start + lengthAt(list, start) && i < list.words.size(); ++i)
        if (i < start + 7 || i > start + 7)  // not the text's offset
            mix(static_cast<uint32_t>(list.words[i]));
    for (char c : textAt(list, start)) mix(static_cast<unsigned char>(c));
    return h;
}

bool sameAt(const DrawList& x, std::size_t i, const DrawList& y, std::size_t j) {
    const std::size_t n = lengthAt(x, i);
    if (n != lengthAt(y, j) || i + n > x.words.size() || j + n > y.words.size()) return false;
    for (std::size_t k = 0; k < 6; ++k)
        if (x.words[i + k] != y.words[j + k]) return false;
    if (n == 6) return true;
    return x.words[i + 6] == y.words[j + 6] && textAt(x, i) == textAt(y, j);
}

DrawItem itemAt(const DrawList& list, std::size_t start) {
    DrawItem item;
    const std::vector<int32_t>& w = list.words;
    item.op = static_cast<DrawList::Op>(w[start]);
    item.a = w[start + 1];
    item.b = w[start + 2];
    item.c = w[start + 3];
    item.d = w[start + 4];
    return item;
}

}  // namespace

Rect windowBox(const DrawItem& item, const FieldView& view) {
    // Anti-aliasing reaches a pixel beyond what is covered.
    constexpr double aa = 1.0;
    const double half = view.lineWidth / 2 + view.glow + aa;
    switch (item.op) {
    case DrawList::line: {
        const double x0 = view.x(item.a + 0.5), x1 = view.x(item.c + 0.5);
        const double y0 = view.y(item.b + 0.5), y1 = view.y(item.d + 0.5);
        return Rect{down(std::min(x0, x1) - half), down(std::min(y0, y1) - half),
                    up(std::max(x0, x1) + half), up(std::max(y0, y1) + half)};
    }
    case DrawList::pixel:
        return Rect{down(view.x(item.a) - view.glow - aa), down(view.y(item.b) - view.glow - aa),
                    up(view.x(item.a + 1.0) + view.glow + aa),
                    up(view.y(item.b + 1.0) + view.glow + aa)};
    case DrawList::ellipse:
        return Rect{down(view.x(item.a) - half), down(view.y(item.b) - half),
                    up(view.x(item.c) + half), up(view.y(item.d) + half)};
    case DrawList::fill:
    case DrawList::text:
    default:
        return Rect{down(view.x(item.a) - aa), down(view.y(item.b) - aa), up(view.x(item.c) + aa),
                    up(view.y(item.d) + aa)};
    }
}

void ChangedTiles::mark(const Rect& box) {
    const int x0 = std::max(box.left, 0), y0 = std::max(box.top, 0);
    const int x1 = std::min(box.right, width_), y1 = std::min(box.bottom, height_);
    if (x0 >= x1 || y0 >= y1) return;
    for (int ty = y0 / kTile; ty <= (y1 - 1) / kTile; ++ty)
        for (int tx = x0 / kTile; tx <= (x1 - 1) / kTile; ++tx)
            grid_[static_cast<std::size_t>(ty * across_ + tx)] = 1;
}

bool ChangedTiles::touches(const Rect& box) const {
    const int x0 = std::max(box.left, 0), y0 = std::max(box.top, 0);
    const int x1 = std::min(box.right, width_), y1 = std::min(box.bottom, height_);
    if (x0 >= x1 || y0 >= y1) return false;
    for (int ty = y0 / kTile; ty <= (y1 - 1) / kTile; ++ty)
        for (int tx = x0 / kTile; tx <= (x1 - 1) / kTile; ++tx)
            if (grid_[static_cast<std::size_t>(ty * across_ + tx)]) return true;
    return false;
}

void ChangedTiles::find(const DrawList& before, const DrawList& now, const FieldView& view,
                        int windowWidth, int windowHeight) {
    width_ = std::max(windowWidth, 0);
    height_ = std::max(windowHeight, 0);
    across_ = (width_ + kTile - 1) / kTile;
    down_ = (height_ + kTile - 1) / kTile;
    grid_.assign(static_cast<std::size_t>(across_) * static_cast<std::size_t>(down_), 0);
    runs_.clear();

    // The last frame's operations by hash, each matched at most once.
    operationStarts(before, starts_);
    const std::vector<std::size_t> beforeStarts = starts_;
    hashes_.resize(beforeStarts.size());
    for (std::size_t k = 0; k < beforeStarts.size(); ++k)
        hashes_[k] = hashAt(before, beforeStarts[k]);
    order_.resize(beforeStarts.size());
    for (std::size_t k = 0; k < order_.size(); ++k) order_[k] = k;
    std::sort(order_.begin(), order_.end(),
              [&](std::size_t p, std::size_t q) { return hashes_[p] < hashes_[q]; });
    taken_.assign(beforeStarts.size(), 0);

    operationStarts(now, starts_);
    for (const std::size_t start : starts_) {
        const uint64_t h = hashAt(now, start);
        auto it = std::lower_bound(order_.begin(), order_.end(), h,
                                   [&](std::size_t k, uint64_t v) { return hashes_[k] < v; });
        bool found = false;
        for (; it != order_.end() && hashes_[*it] == h; ++it) {
            if (!taken_[*it] && sameAt(before, beforeStarts[*it], now, start)) {
                taken_[*it] = 1;
                found = true;
                break;
            }
        }
        if (!found) mark(windowBox(itemAt(now, start), view));
    }
    for (std::size_t k = 0; k < beforeStarts.size(); ++k)
        if (!taken_[k]) mark(windowBox(itemAt(before, beforeStarts[k]), view));

    for (int ty = 0; ty < down_; ++ty) {
        for (int tx = 0; tx < across_;) {
            if (!grid_[static_cast<std::size_t>(ty * across_ + tx)]) {
                ++tx;
                continue;
            }
            const int start = tx;
            while (tx < across_ && grid_[static_cast<std::size_t>(ty * across_ + tx)]) ++tx;
            runs_.push_back(Rect{start * kTile, ty * kTile, std::min(tx * kTile, width_),
                                 std::min((ty + 1) * kTile, height_)});
        }
    }
}
