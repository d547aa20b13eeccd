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
