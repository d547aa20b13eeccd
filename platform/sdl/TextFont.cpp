#include "platform/sdl/TextFont.h"

#include <SDL_ttf.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

// Pixel height of the texts: the HUD's boxes are 16 to 20 pixels high.
constexpr int kFontSize = 13;

std::string findSansFont() {
    std::string path;
    if (!FcInit()) return path;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("sans"));
    if (!pattern) return path;
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    if (match) {
        FcChar8* file = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file)
            path = reinterpret_cast<const char*>(file);
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return path;
}

}  // namespace

TextFont& TextFont::instance() {
    static TextFont font;
    return font;
}

TTF_Font* TextFont::font() {
    if (tried) return opened;
    tried = true;
    if (TTF_WasInit() || TTF_Init() == 0) {
        path = findSansFont();
        if (!path.empty()) opened = TTF_OpenFont(path.c_str(), kFontSize);
    }
    if (!opened)
        std::fprintf(stderr, "voidrunner: no usable sans font found (%s); texts are not shown\n",
                     path.empty() ? "fontconfig has no match for \"sans\"" : TTF_GetError());
    return opened;
}

TTF_Font* TextFont::scaled(double scale) {
    const int size = std::max(static_cast<int>(std::lround(kFontSize * scale)), 1);
    if (size == kFontSize || !font()) return opened;
    if (other && otherSize == size) return other;
    if (other) TTF_CloseFont(other);
    other = TTF_OpenFont(path.c_str(), size);
    otherSize = size;
    return other ? other : opened;
}

void TextFont::close() {
    if (opened) TTF_CloseFont(opened);
    if (other) TTF_CloseFont(other);
    opened = other = nullptr;
    otherSize = 0;
    tried = false;
}

TextFont::~TextFont() {
    // Normally closed already; at exit SDL_ttf may be gone.
    if (opened && TTF_WasInit()) TTF_CloseFont(opened);
    if (other && TTF_WasInit()) TTF_CloseFont(other);
}
