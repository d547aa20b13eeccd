#include "platform/sdl/VectorCanvas.h"

#include <SDL.h>
#include <SDL_ttf.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>

#include "platform/sdl/TextFont.h"

namespace {

constexpr size_t kMaxCachedTexts = 256;
constexpr double kPi = 3.14159265358979323846;
// The field's edge, dimmer than anything the game draws.
constexpr Rgb kBorder{90, 90, 90};
// A line's glow: this many line widths beyond it, this bright at most.
constexpr double kGlowWidths = 1.5;
constexpr double kGlowAlpha = 0.22;

void setColour(cairo_t* cr, Rgb c) {
    cairo_set_source_rgb(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0);
}

Rect intersect(const Rect& a, const Rect& b) {
    return Rect{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                std::min(a.bottom, b.bottom)};
}

bool empty(const Rect& r) { return r.right <= r.left || r.bottom <= r.top; }

}  // namespace

VectorCanvas::~VectorCanvas() {
    clearTextCache();
    if (cr) cairo_destroy(cr);
    if (surface) cairo_surface_destroy(surface);
    SDL_FreeSurface(canvas);
}

bool VectorCanvas::resize(int width, int height) {
    if (canvas && canvas->w == width && canvas->h == height) return true;
    if (cr) cairo_destroy(cr);
    if (surface) cairo_surface_destroy(surface);
    SDL_FreeSurface(canvas);
    cr = nullptr;
    surface = nullptr;
    lastValid = false;
    canvas = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_RGB888);
    if (!canvas) return false;
    // The same bytes as cairo's RGB24: 0x00RRGGBB in a native 32-bit word.
    surface = cairo_image_surface_create_for_data(static_cast<unsigned char*>(canvas->pixels),
                                                  CAIRO_FORMAT_RGB24, width, height, canvas->pitch);
    cr = cairo_create(surface);
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
        SDL_FreeSurface(canvas);
        cr = nullptr;
        surface = nullptr;
        canvas = nullptr;
        return false;
    }
    return true;
}

const std::vector<SDL_Rect>& VectorCanvas::draw(const DrawList& frame, int fieldWidth,
                                                int fieldHeight, const Rect& where, int windowWidth,
                                                int windowHeight) {
    changed.clear();
    if (windowWidth <= 0 || windowHeight <= 0 || fieldWidth <= 0 || fieldHeight <= 0 ||
        !resize(windowWidth, windowHeight))
        return changed;
    place = where;
    view = FieldView(where, fieldWidth, fieldHeight);
    if (glow) view.glow = kGlowWidths * view.lineWidth;
    const bool whole = !lastValid || view != lastView || place != lastPlace;
    drawn.clear();
    if (whole) {
        drawn.push_back(Rect{0, 0, windowWidth, windowHeight});
    } else {
        tiles.find(last, frame, view, windowWidth, windowHeight);
        drawn = tiles.runs();
    }
    if (!drawn.empty()) {
        cairo_save(cr);
        cairo_new_path(cr);
        for (const Rect& r : drawn) {
            cairo_rectangle(cr, r.left, r.top, r.right - r.left, r.bottom - r.top);
            changed.push_back(SDL_Rect{r.left, r.top, r.right - r.left, r.bottom - r.top});
        }
        cairo_clip(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_paint(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
        drawBorder();
        // Nothing of the frame outside the field, as in the exact frame.
        cairo_rectangle(cr, place.left, place.top, place.right - place.left,
                        place.bottom - place.top);
        cairo_clip(cr);
        // One to one, lines stay one sharp pixel wide, as in the exact
        // frame; at any other scale their edges are smoothed.
        cairo_set_antialias(cr, view.scaleX == 1 && view.scaleY == 1 ? CAIRO_ANTIALIAS_NONE
                                                                     : CAIRO_ANTIALIAS_DEFAULT);
        drawItems(frame, whole);
        cairo_restore(cr);
        cairo_surface_flush(surface);
    }
    if (&frame != &last) last = frame;
    lastFieldWidth = fieldWidth;
    lastFieldHeight = fieldHeight;
    lastView = view;
    lastPlace = place;
    lastValid = true;
    return changed;
}

const std::vector<SDL_Rect>& VectorCanvas::redraw(const Rect& where, int windowWidth,
                                                  int windowHeight) {
    lastValid = false;  // drawn whole
    return draw(last, lastFieldWidth, lastFieldHeight, where, windowWidth, windowHeight);
}

void VectorCanvas::drawBorder() {
    if (place.left <= 0 && place.top <= 0 && place.right >= canvas->w && place.bottom >= canvas->h)
        return;
    // As thick as a line of the field at most, a gap as wide inside it.
    const double width = std::max(1.0, std::floor(view.lineWidth * 0.75));
    const double out = width * 1.5;
    cairo_set_line_width(cr, width);
    setColour(cr, kBorder);
    cairo_rectangle(cr, place.left - out, place.top - out, place.right - place.left + 2 * out,
                    place.bottom - place.top + 2 * out);
    cairo_stroke(cr);
}

void VectorCanvas::drawItems(const DrawList& frame, bool whole) {
    const double lineWidth = view.lineWidth;
    cairo_set_line_width(cr, lineWidth);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    // Round ends and joins of lines a pixel or two wide need no finer
    // arcs than this; the default tenth of a pixel only costs time.
    cairo_set_tolerance(cr, 0.5);
    // Lines of one colour are stroked as one path, joined where one ends
    // where the next begins.
    int32_t pathColour = -1;
    int endX = 0, endY = 0;
    bool fresh = true;
    // The glow: the same path first, wider and faint, under the line.
    const auto glowUnder = [&](Rgb colour, double width) {
        if (!glow) return;
        cairo_set_source_rgba(cr, colour.r / 255.0, colour.g / 255.0, colour.b / 255.0, kGlowAlpha);
        cairo_set_line_width(cr, width);
        cairo_stroke_preserve(cr);
        cairo_set_line_width(cr, lineWidth);
        setColour(cr, colour);
    };
    const auto stroke = [&] {
        if (pathColour >= 0) {
            glowUnder(unpackColour(pathColour), lineWidth * (1 + 2 * kGlowWidths));
            cairo_stroke(cr);
        }
        pathColour = -1;
    };
    forEachDrawItem(frame, [&](const DrawItem& item) {
        if (!whole && !tiles.touches(windowBox(item, view))) return;
        if (item.op == DrawList::line) {
            const int32_t colour = packColour(item.colour);
            if (colour != pathColour) {
                stroke();
                setColour(cr, item.colour);
                pathColour = colour;
                fresh = true;
            }
            if (fresh || item.a != endX || item.b != endY) {
                // Each outline a path of its own: one path of thousands of
                // crossing lines costs the rasteriser far more.
                if (!fresh) {
                    stroke();
                    setColour(cr, item.colour);
                    pathColour = colour;
                }
                cairo_move_to(cr, view.x(item.a + 0.5), view.y(item.b + 0.5));
            }
            cairo_line_to(cr, view.x(item.c + 0.5), view.y(item.d + 0.5));
            endX = item.c;
            endY = item.d;
            fresh = false;
            return;
        }
        stroke();
        switch (item.op) {
        case DrawList::fill:
        case DrawList::pixel: {
            const int right = item.op == DrawList::fill ? item.c : item.a + 1;
            const int bottom = item.op == DrawList::fill ? item.d : item.b + 1;
            if (right <= item.a || bottom <= item.b) break;
            if (item.op == DrawList::pixel && glow) {
                cairo_arc(cr, view.x(item.a + 0.5), view.y(item.b + 0.5),
                          lineWidth * (0.5 + kGlowWidths), 0, 2 * kPi);
                cairo_set_source_rgba(cr, item.colour.r / 255.0, item.colour.g / 255.0,
                                      item.colour.b / 255.0, kGlowAlpha);
                cairo_fill(cr);
            }
            setColour(cr, item.colour);
            cairo_rectangle(cr, view.x(item.a), view.y(item.b), view.x(right) - view.x(item.a),
                            view.y(bottom) - view.y(item.b));
            cairo_fill(cr);
            break;
        }
        case DrawList::ellipse: {
            // Inscribed in the box, filled white, outlined with the pen
            // inside the box.
            const double rx = (view.x(item.c) - view.x(item.a) - lineWidth) / 2;
            const double ry = (view.y(item.d) - view.y(item.b) - lineWidth) / 2;
            if (rx <= 0 || ry <= 0) break;
            cairo_save(cr);
            cairo_translate(cr, (view.x(item.a) + view.x(item.c)) / 2,
                            (view.y(item.b) + view.y(item.d)) / 2);
            cairo_scale(cr, rx, ry);
            cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
            cairo_restore(cr);
            cairo_set_source_rgb(cr, 1, 1, 1);
            cairo_fill_preserve(cr);
            setColour(cr, item.colour);
            cairo_stroke(cr);
            break;
        }
        case DrawList::text: drawText(item); break;
        case DrawList::line: break;
        }
    });
    stroke();
}

SDL_Surface* VectorCanvas::renderedText(const DrawItem& item, double scale) {
    if (scale != textScale) {
        clearTextCache();
        textScale = scale;
    }
    std::string& key = lookupKey;
    key.assign(item.text);
    key.push_back('\0');
    key.push_back(static_cast<char>(item.colour.r));
    key.push_back(static_cast<char>(item.colour.g));
    key.push_back(static_cast<char>(item.colour.b));
    const auto found = texts.find(key);
    if (found != texts.end()) return found->second;
    if (texts.size() >= kMaxCachedTexts) clearTextCache();
    TTF_Font* font = TextFont::instance().scaled(scale);
    SDL_Surface* glyphs = nullptr;
    if (font) {
        // Latin-1 bytes, as the exact frame renders them.
        const std::string text(item.text);
        glyphs = TTF_RenderText_Blended(
            font, text.c_str(), SDL_Color{item.colour.r, item.colour.g, item.colour.b, 255});
        if (glyphs) SDL_SetSurfaceBlendMode(glyphs, SDL_BLENDMODE_BLEND);
    }
    return texts.emplace(key, glyphs).first->second;
}

void VectorCanvas::drawText(const DrawItem& item) {
    if (item.text.empty() || item.c <= item.a || item.d <= item.b) return;
    SDL_Surface* glyphs = renderedText(item, view.lineWidth);
    if (!glyphs) return;
    // Placed in the scaled box as the exact frame places it in its own.
    const int left = static_cast<int>(std::lround(view.x(item.a)));
    const int right = static_cast<int>(std::lround(view.x(item.c)));
    const int top = static_cast<int>(std::lround(view.y(item.b)));
    const int bottom = static_cast<int>(std::lround(view.y(item.d)));
    int x = left;
    if (item.align == TextAlign::Center)
        x = left + (right - left - glyphs->w) / 2;
    else if (item.align == TextAlign::Right)
        x = right - glyphs->w;
    const int y = top + (bottom - top - glyphs->h) / 2;
    const Rect box = intersect(Rect{left, top, right, bottom}, place);
    cairo_surface_flush(surface);
    for (const Rect& area : drawn) {
        const Rect clip = intersect(box, area);
        if (empty(clip)) continue;
        SDL_Rect sdlClip{clip.left, clip.top, clip.right - clip.left, clip.bottom - clip.top};
        SDL_SetClipRect(canvas, &sdlClip);
        SDL_Rect to{x, y, glyphs->w, glyphs->h};
        SDL_BlitSurface(glyphs, nullptr, canvas, &to);
    }
    SDL_SetClipRect(canvas, nullptr);
    cairo_surface_mark_dirty(surface);
}

void VectorCanvas::clearTextCache() {
    for (auto& [key, glyphs] : texts) SDL_FreeSurface(glyphs);
    texts.clear();
}
