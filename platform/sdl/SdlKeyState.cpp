#include "platform/sdl/SdlKeyState.h"

#include <SDL.h>

bool SdlKeyState::isHeld(Key key) {
    const Uint8* state = SDL_GetKeyboardState(nullptr);
    SDL_Scancode code = SDL_SCANCODE_SPACE;
    switch (key) {
    case Key::Left: code = SDL_SCANCODE_LEFT; break;
    case Key::Right: code = SDL_SCANCODE_RIGHT; break;
    case Key::Up: code = SDL_SCANCODE_UP; break;
    case Key::Space: code = SDL_SCANCODE_SPACE; break;
    }
    return state[code] != 0 || (pads && anyPadHolds(*pads, key));
}

bool SdlKeyState::isLetterHeld(char wasd) {
    // Scan codes are places on the keyboard, whatever letter the layout puts there.
    SDL_Scancode code = SDL_SCANCODE_UNKNOWN;
    switch (wasd) {
    case 'W': code = SDL_SCANCODE_W; break;
    case 'A': code = SDL_SCANCODE_A; break;
    case 'S': code = SDL_SCANCODE_S; break;
    case 'D': code = SDL_SCANCODE_D; break;
    default: return false;
    }
    return SDL_GetKeyboardState(nullptr)[code] != 0;
}
