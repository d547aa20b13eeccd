#include "app/FramePlacement.h"

#include <algorithm>
#include <cstdint>

Rect placeFrame(int frameWidth, int frameHeight, int windowWidth, int windowHeight) {
    if (frameWidth <= 0 || frameHeight <= 0 || windowWidth <= 0 || windowHeight <= 0) return {};
    int width = frameWidth;
    int height = frameHeight;
    if (frameWidth > windowWidth || frameHeight > windowHeight) {
        // Shrink by the tighter side; 64-bit products, sizes can be large.
        if (static_cast<int64_t>(windowWidth) * frameHeight <=
            static_cast<int64_t>(windowHeight) * frameWidth) {
            width = windowWidth;
            height = static_cast<int>(static_cast<int64_t>(frameHeight) * windowWidth / frameWidth);
        } else {
            height = windowHeight;
            width = static_cast<int>(static_cast<int64_t>(frameWidth) * windowHeight / frameHeight);
        }
        width = std::max(width, 1);
        height = std::max(height, 1);
    } else {
        // Whole steps only: one-pixel lines stay sharp and even.
        const int step = std::min(windowWidth / frameWidth, windowHeight / frameHeight);
        width = frameWidth * step;
        height = frameHeight * step;
    }
    const int left = (windowWidth - width) / 2;
    const int top = (windowHeight - height) / 2;
    return Rect{left, top, left + width, top + height};
}

Rect placeVectorFrame(int frameWidth, int frameHeight, int windowWidth, int windowHeight,
                      int margin) {
    if (frameWidth <= 0 || frameHeight <= 0 || windowWidth <= 0 || windowHeight <= 0) return {};
    if (frameWidth == windowWidth && frameHeight == windowHeight)
        return Rect{0, 0, windowWidth, windowHeight};
    margin = std::clamp(margin, 0, std::min(windowWidth, windowHeight) / 4);
    const int64_t roomWidth = windowWidth - 2 * margin, roomHeight = windowHeight - 2 * margin;
    int64_t width = roomWidth, height = roomHeight;
    // The tighter side fits; 64-bit products, sizes can be large.
    if (roomWidth * frameHeight <= roomHeight * frameWidth)
        height = (frameHeight * roomWidth + frameWidth / 2) / frameWidth;
    else
        width = (frameWidth * roomHeight + frameHeight / 2) / frameHeight;
    width = std::clamp<int64_t>(width, 1, roomWidth);
    height = std::clamp<int64_t>(height, 1, roomHeight);
    const auto left = static_cast<int>((windowWidth - width) / 2);
    const auto top = static_cast<int>((windowHeight - height) / 2);
    return Rect{left, top, left + static_cast<int>(width), top + static_cast<int>(height)};
}

void windowToFrame(const Rect& place, int frameWidth, int frameHeight, int& x, int& y) {
    const int width = place.right - place.left;
    const int height = place.bottom - place.top;
    if (width <= 0 || height <= 0 || frameWidth <= 0 || frameHeight <= 0) return;
    const auto map = [](int v, int origin, int shown, int size) {
        const int64_t scaled = (static_cast<int64_t>(v) - origin) * size / shown;
        return static_cast<int>(std::clamp<int64_t>(scaled, 0, size - 1));
    };
    x = map(x, place.left, width, frameWidth);
    y = map(y, place.top, height, frameHeight);
}
