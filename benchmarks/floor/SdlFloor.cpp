// The floor for the game's window: a minimal SDL2 program that presents a
// full-window texture 16 times a second, one pixel of it changed each time,
// through SDL's software renderer (the game's windows go through the same
// window surface). scripts/measure-look.sh builds and runs it.
//   sdl-floor SECONDS
#include <SDL.h>

#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
    SDL_DisplayMode mode{};
    SDL_GetDesktopDisplayMode(0, &mode);
    SDL_Window* window = SDL_CreateWindow("floor", 0, 0, mode.w, mode.h, SDL_WINDOW_SHOWN);
    SDL_Renderer* renderer = window ? SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE)
                                    : nullptr;
    SDL_Texture* texture = renderer ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888,
                                                        SDL_TEXTUREACCESS_STREAMING, mode.w, mode.h)
                                    : nullptr;
    if (!texture) return 1;
    std::vector<Uint32> pixels(static_cast<size_t>(mode.w) * static_cast<size_t>(mode.h), 0);
    const Uint32 end = SDL_GetTicks() + static_cast<Uint32>(seconds) * 1000;
    for (Uint32 frame = 0; SDL_GetTicks() < end; ++frame) {
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
        }
        pixels[frame % pixels.size()] ^= 0xFFFFFF;
        SDL_UpdateTexture(texture, nullptr, pixels.data(), mode.w * 4);
        SDL_RenderCopy(renderer, texture, nullptr, nullptr);
        SDL_RenderPresent(renderer);
        SDL_Delay(62);
    }
    SDL_DestroyTexture(texture);
    SDL_DestroyRenderer(renderer);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
