#include "platform/sdl/SdlKeyState.h"

#include <SDL.h>

bool SdlKeyState::isHeld(Key key) {
    const Uint8* state = SDL_GetKeyboardState(nullptr);
    switch (key) {
    case Key::Left: return state[SDL_SCANCODE_LEFT] != 0;
    case Key::Right: return state[SDL_SCANCODE_RIGHT] != 0;
    case Key::Up: return state[SDL_SCANCODE_UP] != 0;
    case Key::Space: return state[SDL_SCANCODE_SPACE] != 0;
    }
    return false;
}
