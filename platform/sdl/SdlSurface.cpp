#include "platform/sdl/SdlSurface.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "platform/sdl/TextFont.h"

namespace {

// Keeps the text cache bounded; the game shows a few dozen distinct texts.
constexpr size_t kMaxCachedTexts = 256;

}  // namespace

SdlSurface::SdlSurface(int pixelsWide, int pixelsHigh, uint32_t pixelFormat)
    : width(std::max(pixelsWide, 1)), height(std::max(pixelsHigh, 1)) {
    tilesX = (width + kTile - 1) / kTile;
    tilesY = (height + kTile - 1) / kTile;
    drawnTiles.assign(static_cast<size_t>(tilesX) * static_cast<size_t>(tilesY), 0);
    changedTiles = drawnTiles;
    surface = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, pixelFormat);
    if (!surface) return;
    renderer = SDL_CreateSoftwareRenderer(surface);
    if (!renderer) return;
    SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_NONE);
}

SdlSurface::~SdlSurface() {
    clearTextCache();
    if (renderer) SDL_DestroyRenderer(renderer);
    if (surface) SDL_FreeSurface(surface);
}

SDL_Surface* SdlSurface::pixels() {
    if (renderer) SDL_RenderFlush(renderer);
    return surface;
}

void SdlSurface::setColour(Rgb colour) {
    SDL_SetRenderDrawColor(renderer, colour.r, colour.g, colour.b, 255);
}

// The pixels from (left, top) to (right, bottom), both included; anything
// outside the surface is ignored.
void SdlSurface::markDrawn(int left, int top, int right, int bottom) {
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, width - 1);
    bottom = std::min(bottom, height - 1);
    if (right < left || bottom < top) return;
    for (int ty = top / kTile; ty <= bottom / kTile; ++ty) {
        for (int tx = left / kTile; tx <= right / kTile; ++tx) {
            const auto i = static_cast<size_t>(ty * tilesX + tx);
            drawnTiles[i] = 1;
            changedTiles[i] = 1;
        }
    }
}

const std::vector<SDL_Rect>& SdlSurface::changedSinceShown(int w, int h) {
    changedRuns.clear();
    w = std::min(w, width);
    h = std::min(h, height);
    if (w <= 0 || h <= 0) return changedRuns;
    if (allChanged) {
        changedRuns.push_back({0, 0, w, h});
        return changedRuns;
    }
    for (int ty = 0; ty * kTile < h; ++ty) {
        for (int tx = 0; tx * kTile < w;) {
            if (!changedTiles[static_cast<size_t>(ty * tilesX + tx)]) {
                ++tx;
                continue;
            }
            const int start = tx;
            while (tx * kTile < w && changedTiles[static_cast<size_t>(ty * tilesX + tx)]) ++tx;
            const int x = start * kTile, y = ty * kTile;
            changedRuns.push_back({x, y, std::min(tx * kTile, w) - x, std::min(y + kTile, h) - y});
        }
    }
    return changedRuns;
}

void SdlSurface::markShown() {
    allChanged = false;
    std::fill(changedTiles.begin(), changedTiles.end(), 0);
}

// The whole surface black: only the tiles drawn on since it last was, in
// runs of neighbouring tiles. False when the surface's state is unknown.
bool SdlSurface::clearToBlack() {
    if (!allBlack) return false;
    blackRuns.clear();
    for (int ty = 0; ty < tilesY; ++ty) {
        for (int tx = 0; tx < tilesX;) {
            unsigned char* tile = &drawnTiles[static_cast<size_t>(ty * tilesX + tx)];
            if (!*tile) {
                ++tx;
                continue;
            }
            const int start = tx;
            while (tx < tilesX && *tile) {
                *tile++ = 0;
                changedTiles[static_cast<size_t>(ty * tilesX + tx)] = 1;
                ++tx;
            }
            const int x = start * kTile, y = ty * kTile;
            blackRuns.push_back(
                {x, y, std::min(tx * kTile, width) - x, std::min(y + kTile, height) - y});
        }
    }
    if (!blackRuns.empty()) {
        setColour({0, 0, 0});
        SDL_RenderFillRects(renderer, blackRuns.data(), static_cast<int>(blackRuns.size()));
    }
    return true;
}

void SdlSurface::fillRect(int left, int top, int right, int bottom, Rgb colour) {
    if (!renderer || right <= left || bottom <= top) return;
    const bool wholeSurface = left <= 0 && top <= 0 && right >= width && bottom >= height;
    if (wholeSurface && colour == Rgb{0, 0, 0}) {
        if (clearToBlack()) return;
        std::fill(drawnTiles.begin(), drawnTiles.end(), 0);
        allBlack = true;
        allChanged = true;
    } else if (wholeSurface) {
        allBlack = false;
        allChanged = true;
    } else {
        markDrawn(left, top, right - 1, bottom - 1);
    }
    setColour(colour);
    SDL_Rect rect{left, top, right - left, bottom - top};
    SDL_RenderFillRect(renderer, &rect);
}

void SdlSurface::selectPen(Rgb colour) {
    previousPen = pen;
    pen = colour;
}

void SdlSurface::releasePen() { pen = previousPen; }

void SdlSurface::moveTo(int x, int y) {
    curX = x;
    curY = y;
}

void SdlSurface::lineTo(int x, int y) {
    if (renderer) {
        setColour(pen);
        SDL_RenderDrawLine(renderer, curX, curY, x, y);
        markDrawn(std::min(curX, x), std::min(curY, y), std::max(curX, x), std::max(curY, y));
    }
    curX = x;
    curY = y;
}

void SdlSurface::setPixel(int x, int y, Rgb colour) {
    if (!renderer) return;
    setColour(colour);
    SDL_RenderDrawPoint(renderer, x, y);
    markDrawn(x, y, x, y);
}

void SdlSurface::ellipse(int left, int top, int right, int bottom) {
    if (!renderer || right - left < 1 || bottom - top < 1) return;
    markDrawn(left, top, right - 1, bottom - 1);
    // The box's right and bottom edges are outside; each row gets the span
    // of the inscribed ellipse, filled white with its ends in the pen colour.
    const double cx = (left + right) / 2.0, cy = (top + bottom) / 2.0;
    const double rx = (right - left) / 2.0, ry = (bottom - top) / 2.0;
    std::vector<SDL_Point>& outline = ellipsePoints;
    outline.clear();
    for (int y = top; y < bottom; ++y) {
        const double dy = (y + 0.5 - cy) / ry;
        const double half = rx * std::sqrt(std::max(0.0, 1.0 - dy * dy));
        const int x0 = static_cast<int>(std::lround(cx - half));
        const int x1 = static_cast<int>(std::lround(cx + half)) - 1;
        if (x1 < x0) continue;
        setColour({255, 255, 255});
        SDL_RenderDrawLine(renderer, x0, y, x1, y);
        if (y == top || y == bottom - 1) {
            for (int x = x0; x <= x1; ++x) outline.push_back({x, y});
        } else {
            outline.push_back({x0, y});
            outline.push_back({x1, y});
        }
    }
    setColour(pen);
    SDL_RenderDrawPoints(renderer, outline.data(), static_cast<int>(outline.size()));
}

SdlSurface::CachedText& SdlSurface::renderedText(const char* text, Rgb colour) {
    std::string& key = lookupKey;
    key.assign(text);
    key.push_back('\0');
    key.push_back(static_cast<char>(colour.r));
    key.push_back(static_cast<char>(colour.g));
    key.push_back(static_cast<char>(colour.b));
    auto found = texts.find(key);
    if (found != texts.end()) return found->second;
    if (texts.size() >= kMaxCachedTexts) clearTextCache();

    CachedText entry;
    // The game's texts are bytes of Latin-1, which is what RenderText takes.
    SDL_Surface* glyphs = TTF_RenderText_Blended(TextFont::instance().font(), text,
                                                 SDL_Color{colour.r, colour.g, colour.b, 255});
    if (glyphs) {
        entry.texture = SDL_CreateTextureFromSurface(renderer, glyphs);
        entry.width = glyphs->w;
        entry.height = glyphs->h;
        SDL_FreeSurface(glyphs);
        if (entry.texture) SDL_SetTextureBlendMode(entry.texture, SDL_BLENDMODE_BLEND);
    }
    return texts.emplace(key, entry).first->second;
}

void SdlSurface::clearTextCache() {
    for (auto& [key, entry] : texts)
        if (entry.texture) SDL_DestroyTexture(entry.texture);
    texts.clear();
}

void SdlSurface::drawText(const char* text, int left, int top, int right, int bottom,
                          TextAlign align) {
    if (!renderer || !text || !*text || right <= left || bottom <= top) return;
    if (!TextFont::instance().font()) return;
    const CachedText& rendered = renderedText(text, textColour);
    if (!rendered.texture) return;

    int x = left;
    if (align == TextAlign::Center)
        x = left + (right - left - rendered.width) / 2;
    else if (align == TextAlign::Right)
        x = right - rendered.width;
    const int y = top + (bottom - top - rendered.height) / 2;

    SDL_Rect box{left, top, right - left, bottom - top};
    SDL_Rect place{x, y, rendered.width, rendered.height};
    SDL_RenderSetClipRect(renderer, &box);
    SDL_RenderCopy(renderer, rendered.texture, nullptr, &place);
    markDrawn(left, top, right - 1, bottom - 1);
    SDL_RenderSetClipRect(renderer, nullptr);
}
