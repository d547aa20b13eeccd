/* The floor for the game's launch: a minimal SDL2 program that opens a
 * window as the game does (maximised, its surface filled black), presents
 * it once, logs the wall-clock time of that present in microseconds to the
 * file VOIDRUNNER_PRESENT_LOG names, and quits. Built by
 * scripts/measure-launch.sh. */
#include <SDL.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/time.h>

int main(void) {
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
    SDL_Window* w = SDL_CreateWindow("floor", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 800,
                                     600, SDL_WINDOW_RESIZABLE | SDL_WINDOW_HIDDEN);
    if (!w) return 1;
    SDL_MaximizeWindow(w);
    SDL_ShowWindow(w);
    SDL_Surface* s = SDL_GetWindowSurface(w);
    if (!s) return 1;
    SDL_FillRect(s, NULL, SDL_MapRGB(s->format, 0, 0, 0));
    SDL_UpdateWindowSurface(w);
    struct timeval now;
    gettimeofday(&now, NULL);
    const char* path = getenv("VOIDRUNNER_PRESENT_LOG");
    FILE* log = path ? fopen(path, "w") : NULL;
    if (log) {
        fprintf(log, "%lld\n", (long long)now.tv_sec * 1000000 + now.tv_usec);
        fclose(log);
    }
    SDL_DestroyWindow(w);
    SDL_Quit();
    return 0;
}
