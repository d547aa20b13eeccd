// The one font of the game's texts, found through fontconfig.
#pragma once

#include <string>

typedef struct _TTF_Font TTF_Font;

// Without a font texts are skipped (one warning on standard error).
class TextFont {
public:
    static TextFont& instance();
    TTF_Font* font();  // nullptr when no font could be opened
    // The same font for texts `scale` times as large (the vector look); one
    // size is kept open at a time. nullptr when there is no font.
    TTF_Font* scaled(double scale);
    // Closes the font (before TTF_Quit); a later font() opens it again.
    void close();
    ~TextFont();

private:
    TextFont() = default;
    bool tried = false;
    TTF_Font* opened = nullptr;
    std::string path;
    TTF_Font* other = nullptr;
    int otherSize = 0;
};
